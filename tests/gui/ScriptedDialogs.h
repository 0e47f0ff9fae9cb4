#pragma once

// The dialogs of the window answered by the test: answers are queued before the action and
// every dialog shown is recorded, with its kind, title, text, buttons and default button.

#include <QString>
#include <QUrl>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "gui/Dialogs.h"

namespace corvanteer::testing {

struct DialogCall {
    std::string kind;  // "message", "report", "ask", "input", "open", "save", "folder"
    QString title;
    QString text;  // the message, question or prompt
    QString initial;
    DialogIcon icon = DialogIcon::Information;
    std::vector<DialogButton> buttons;
    DialogButton defaultButton = DialogButton::Ok;
};

class ScriptedDialogs final : public Dialogs {
public:
    // The next Ask returns this button.
    void QueueButton(DialogButton button);
    // The next InputBox returns this text; nullopt cancels it.
    void QueueInput(std::optional<QString> text);
    // The next file or folder dialog returns this path ("" cancels).
    void QueuePath(const QString& path);
    // True when every queued answer was used.
    bool AllAnswered() const { return answers_.empty(); }

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
    void Beep() override { ++beeps; }
    void CopyToClipboard(const QString& text) override { clipboard = text; }
    void OpenUrl(const QUrl& url) override { urls.push_back(url); }

    std::vector<DialogCall> calls;
    int beeps = 0;
    QString clipboard;
    std::vector<QUrl> urls;

private:
    struct Answer {
        std::string kind;  // "button", "input", "path"
        DialogButton button = DialogButton::Cancel;
        std::optional<QString> text;
    };
    // The next answer of that kind; a test failure (and a cancel) when none is queued.
    Answer Next(const std::string& kind, const DialogCall& call);

    std::deque<Answer> answers_;
};

}  // namespace corvanteer::testing
