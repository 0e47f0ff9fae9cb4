#include "gui/Dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QInputDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "gui/GuiUtil.h"
#include "support/AppPaths.h"

namespace corvanteer {
namespace {

QMessageBox::StandardButton ToQt(DialogButton button) {
    switch (button) {
        case DialogButton::Ok:
            return QMessageBox::Ok;
        case DialogButton::Cancel:
            return QMessageBox::Cancel;
        case DialogButton::Yes:
            return QMessageBox::Yes;
        case DialogButton::No:
            return QMessageBox::No;
    }
    return QMessageBox::Cancel;
}

QMessageBox::Icon ToQt(DialogIcon icon) {
    switch (icon) {
        case DialogIcon::Information:
            return QMessageBox::Information;
        case DialogIcon::Question:
            return QMessageBox::Question;
        case DialogIcon::Warning:
            return QMessageBox::Warning;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void QtDialogs::ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kProductTitle), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

void QtDialogs::ShowReport(QWidget* parent, const QString& title, const QString& text) {
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto* layout = Child<QVBoxLayout>(&dialog);
    auto* view = Child<QPlainTextEdit>(&dialog);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setPlainText(text);
    auto* buttons = Child<QDialogButtonBox>(&dialog, QDialogButtonBox::Ok);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(view);
    layout->addWidget(buttons);
    dialog.resize(720, 480);
    dialog.exec();
}

DialogButton QtDialogs::Ask(QWidget* parent, const QString& title, const QString& text,
                            DialogIcon icon, const std::vector<DialogButton>& buttons,
                            DialogButton defaultButton) {
    QMessageBox box(ToQt(icon), title, text, QMessageBox::NoButton, parent);
    for (DialogButton button : buttons) {
        box.addButton(ToQt(button));
    }
    box.setDefaultButton(ToQt(defaultButton));
    box.setEscapeButton(box.button(ToQt(buttons.back())));
    const int result = box.exec();
    for (DialogButton button : buttons) {
        if (result == ToQt(button)) {
            return button;
        }
    }
    return buttons.back();
}

std::optional<QString> QtDialogs::InputBox(QWidget* parent, const QString& title,
                                           const QString& prompt, const QString& initial) {
    bool ok = false;
    QString text = QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok) {
        return std::nullopt;
    }
    return text;
}

QString QtDialogs::OpenFile(QWidget* parent, const QString& startDir, const QString& pairedFilter) {
    return QFileDialog::getOpenFileName(parent, QString(), startDir, QtFileFilter(S(pairedFilter)));
}

QString QtDialogs::SaveFile(QWidget* parent, const QString& startDir, const QString& pairedFilter) {
    return QFileDialog::getSaveFileName(parent, QString(), startDir, QtFileFilter(S(pairedFilter)));
}

QString QtDialogs::SelectFolder(QWidget* parent, const QString& startDir) {
    return QFileDialog::getExistingDirectory(parent, QString(), startDir);
}

void QtDialogs::Beep() {
    QApplication::beep();
}

void QtDialogs::CopyToClipboard(const QString& text) {
    QApplication::clipboard()->setText(text);
}

void QtDialogs::OpenUrl(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

}  // namespace corvanteer
