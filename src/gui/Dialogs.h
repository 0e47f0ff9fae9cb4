#pragma once

// Every modal dialog, beep, clipboard and browser call of the window goes through this one
// interface, so tests answer the dialogs with a scripted implementation and the window runs
// unchanged under QTest.

#include <QString>
#include <QUrl>
#include <optional>
#include <vector>

class QWidget;

namespace corvanteer {

enum class DialogButton { Ok, Cancel, Yes, No };
enum class DialogIcon { Information, Question, Warning };

// The filter of the roster file dialogs, in the paired form the program was designed with.
inline constexpr const char* kTextFileFilter = "Text files (*.txt)|*.TXT|All files (*.*)|*.*";
// The filter of the trusted CA file's dialog.
inline constexpr const char* kPemFileFilter =
    "PEM certificates (*.pem;*.crt)|*.PEM;*.CRT|All files (*.*)|*.*";

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // An information box with OK; the title is the program's.
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    // A report of many lines (the connection check's), shown in a fixed-width font with OK.
    virtual void ShowReport(QWidget* parent, const QString& title, const QString& text) = 0;
    // A box with the given buttons; returns the one chosen (the default on Escape).
    virtual DialogButton Ask(QWidget* parent, const QString& title, const QString& text,
                             DialogIcon icon, const std::vector<DialogButton>& buttons,
                             DialogButton defaultButton) = 0;
    // A one-line input box; nullopt when cancelled.
    virtual std::optional<QString> InputBox(QWidget* parent, const QString& title,
                                            const QString& prompt, const QString& initial) = 0;
    // File dialogs with a paired filter (see kTextFileFilter); an empty result means cancelled.
    virtual QString OpenFile(QWidget* parent, const QString& startDir,
                             const QString& pairedFilter) = 0;
    virtual QString SaveFile(QWidget* parent, const QString& startDir,
                             const QString& pairedFilter) = 0;
    virtual QString SelectFolder(QWidget* parent, const QString& startDir) = 0;
    virtual void Beep() = 0;
    virtual void CopyToClipboard(const QString& text) = 0;
    virtual void OpenUrl(const QUrl& url) = 0;
};

// The real dialogs: QMessageBox, QInputDialog, QFileDialog, QApplication::beep, the clipboard
// and QDesktopServices.
class QtDialogs final : public Dialogs {
public:
    void ShowMessage(QWidget* parent, const QString& text) override;
    void ShowReport(QWidget* parent, const QString& title, const QString& text) override;
    DialogButton Ask(QWidget* parent, const QString& title, const QString& text, DialogIcon icon,
                     const std::vector<DialogButton>& buttons, DialogButton defaultButton) override;
    std::optional<QString> InputBox(QWidget* parent, const QString& title, const QString& prompt,
                                    const QString& initial) override;
    QString OpenFile(QWidget* parent, const QString& startDir,
                     const QString& pairedFilter) override;
    QString SaveFile(QWidget* parent, const QString& startDir,
                     const QString& pairedFilter) override;
    QString SelectFolder(QWidget* parent, const QString& startDir) override;
    void Beep() override;
    void CopyToClipboard(const QString& text) override;
    void OpenUrl(const QUrl& url) override;
};

}  // namespace corvanteer
