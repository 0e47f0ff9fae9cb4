#pragma once

// The "Responses" page: one tab per automatic reply, each with its subject (a setting of the
// list) and its text (a section of the list's data file), and the variables the texts may
// use, copied by a double-click.
//
// To add a reply: add its tab with MakeReplyTab in BuildControls and its two rows,
// Setting(subject, "...Subject") and Section(body, "Section_Name"), to the table given to
// fields_.Bind in the constructor.

#include <QWidget>

#include "gui/pages/SettingFields.h"

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTabWidget;

namespace corvanteer {

class PageHost;

class ResponsesPage : public QWidget {
    Q_OBJECT
public:
    ResponsesPage(PageHost& host, QWidget* parent);

    // Fill the subjects from the current list's settings, the texts from its data file.
    void LoadSettings() { fields_.LoadSettings(); }
    void LoadSections() { fields_.LoadSections(); }

    // The verification request and its error reply are offered only while subscriptions are
    // verified.
    void ShowVerificationTabs(bool verify);
    // The page comes into view: the variables the texts may use, with {Password} and the
    // password notice only when members post with a password.
    void tabResponsesShow(bool memberPasswords);

private:
    void BuildControls();
    void lstVariablesDblClick();

    PageHost& host_;
    QTabWidget* pagResponses = nullptr;
    QWidget* tabSubVerify = nullptr;
    QWidget* tabSubConfirm = nullptr;
    QWidget* tabUnsubConfirm = nullptr;
    QWidget* tabPasswordNotify = nullptr;
    QWidget* tabVerifyError = nullptr;
    QWidget* tabAlreadyAMember = nullptr;
    QWidget* tabNotMember = nullptr;
    QWidget* tabHelp = nullptr;
    QWidget* tabModeVerify = nullptr;
    QWidget* tabModeChanged = nullptr;
    QWidget* tabWhich = nullptr;
    QWidget* tabLists = nullptr;
    QLineEdit* edtVerifySubject = nullptr;
    QLineEdit* edtSubscribeConfirmSubject = nullptr;
    QLineEdit* edtUnsubscribeConfirmSubject = nullptr;
    QLineEdit* edtPasswordNotifySubject = nullptr;
    QLineEdit* edtVerifyErrSubject = nullptr;
    QLineEdit* edtAlreadyAMemberSubject = nullptr;
    QLineEdit* edtNotMemberSubject = nullptr;
    QLineEdit* edtHelpSubject = nullptr;
    QLineEdit* edtModeChangedSubject = nullptr;
    QLineEdit* edtWhichSubject = nullptr;
    QLineEdit* edtListsSubject = nullptr;
    QPlainTextEdit* memoSubVerify = nullptr;
    QPlainTextEdit* memoSubConfirm = nullptr;
    QPlainTextEdit* MemoUnsubConfirm = nullptr;
    QPlainTextEdit* memoPasswordNotify = nullptr;
    QPlainTextEdit* memoVerifyError = nullptr;
    QPlainTextEdit* memoAlreadyAMember = nullptr;
    QPlainTextEdit* memoNotMember = nullptr;
    QPlainTextEdit* memoHelp = nullptr;
    QPlainTextEdit* memoModeVerify = nullptr;
    QPlainTextEdit* memoModeChanged = nullptr;
    QPlainTextEdit* memoWhich = nullptr;
    QPlainTextEdit* memoLists = nullptr;
    QPlainTextEdit* memoBounceDisabled = nullptr;  // the notice to a member disabled by bounces
    QListWidget* lstVariables = nullptr;

    SettingFields fields_;
};

}  // namespace corvanteer
