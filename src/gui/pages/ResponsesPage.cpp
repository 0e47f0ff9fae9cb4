#include "gui/pages/ResponsesPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include "engine/bounce/Notices.h"
#include "engine/digest/ModeTexts.h"
#include "gui/Dialogs.h"
#include "gui/GuiUtil.h"
#include "gui/pages/PageHost.h"
#include "support/AppPaths.h"

namespace corvanteer {
namespace {

struct ReplyTab {
    QWidget* page;
    QLineEdit* subject;
    QPlainTextEdit* body;
};

ReplyTab MakeReplyTab(QTabWidget* tabs, const char* tabName, const QString& caption,
                      const char* subjectName, const char* bodyName) {
    auto* page = Named<QWidget>(tabs, tabName);
    auto* layout = Child<QGridLayout>(page);
    page->setLayout(layout);
    auto* subject = Named<QLineEdit>(page, subjectName);
    auto* body = Named<QPlainTextEdit>(page, bodyName);
    layout->addWidget(Child<QLabel>(page, QStringLiteral("Subject")), 0, 0);
    layout->addWidget(subject, 0, 1);
    layout->addWidget(body, 1, 0, 1, 2);
    tabs->addTab(page, caption);
    return {page, subject, body};
}

}  // namespace

ResponsesPage::ResponsesPage(PageHost& host, QWidget* parent)
    : QWidget(parent), host_(host), fields_(host, SettingScope::List) {
    setObjectName(QStringLiteral("tabResponses"));
    BuildControls();
    fields_.Bind({
        Setting(edtVerifySubject, "VerifySubject"),
        Setting(edtSubscribeConfirmSubject, "SubscribeConfirmSubject"),
        Setting(edtUnsubscribeConfirmSubject, "UnSubscribeConfirmSubject"),
        Setting(edtPasswordNotifySubject, "PasswordNotifySubject"),
        Setting(edtVerifyErrSubject, "VerifyErrSubject"),
        Setting(edtAlreadyAMemberSubject, "AlreadyAMemberSubject"),
        Setting(edtNotMemberSubject, "NotMemberSubject"),
        Setting(edtHelpSubject, "HelpSubject"),
        Section(memoSubVerify, "Subscribe_Verify"),
        Section(memoSubConfirm, "Subscribe_Confirm"),
        Section(MemoUnsubConfirm, "Unsubscribe_Confirm"),
        Section(memoPasswordNotify, "Password_Notify"),
        Section(memoVerifyError, "Verify_Error"),
        Section(memoAlreadyAMember, "Already_A_Member"),
        Section(memoNotMember, "Not_Member"),
        Section(memoHelp, "Help"),
        Setting(edtModeChangedSubject, "ModeChangedSubject"),
        Setting(edtWhichSubject, "WhichSubject"),
        Setting(edtListsSubject, "ListsSubject"),
        Section(memoModeVerify, kModeVerifySection),
        Section(memoModeChanged, kModeChangedSection),
        Section(memoWhich, kWhichSection),
        Section(memoLists, kListsSection),
        Section(memoBounceDisabled, "Bounce_Disabled"),
    });
    connect(lstVariables, &QListWidget::itemDoubleClicked, this,
            [this] { lstVariablesDblClick(); });
}

void ResponsesPage::BuildControls() {
    auto* layout = Child<QGridLayout>(this);
    setLayout(layout);
    pagResponses = Named<QTabWidget>(this, "pagResponses");

    ReplyTab tab = MakeReplyTab(pagResponses, "tabSubVerify", QStringLiteral("Subscribe verify"),
                                "edtVerifySubject", "memoSubVerify");
    tabSubVerify = tab.page;
    edtVerifySubject = tab.subject;
    memoSubVerify = tab.body;
    tab = MakeReplyTab(pagResponses, "tabSubConfirm", QStringLiteral("Subscribe confirm"),
                       "edtSubscribeConfirmSubject", "memoSubConfirm");
    tabSubConfirm = tab.page;
    edtSubscribeConfirmSubject = tab.subject;
    memoSubConfirm = tab.body;
    tab = MakeReplyTab(pagResponses, "tabUnsubConfirm", QStringLiteral("Unsubscribe confirm"),
                       "edtUnsubscribeConfirmSubject", "MemoUnsubConfirm");
    tabUnsubConfirm = tab.page;
    edtUnsubscribeConfirmSubject = tab.subject;
    MemoUnsubConfirm = tab.body;
    tab = MakeReplyTab(pagResponses, "tabPasswordNotify", QStringLiteral("Password notify"),
                       "edtPasswordNotifySubject", "memoPasswordNotify");
    tabPasswordNotify = tab.page;
    edtPasswordNotifySubject = tab.subject;
    memoPasswordNotify = tab.body;
    tab = MakeReplyTab(pagResponses, "tabVerifyError", QStringLiteral("Verify error"),
                       "edtVerifyErrSubject", "memoVerifyError");
    tabVerifyError = tab.page;
    edtVerifyErrSubject = tab.subject;
    memoVerifyError = tab.body;
    tab = MakeReplyTab(pagResponses, "tabAlreadyAMember", QStringLiteral("Already a member"),
                       "edtAlreadyAMemberSubject", "memoAlreadyAMember");
    tabAlreadyAMember = tab.page;
    edtAlreadyAMemberSubject = tab.subject;
    memoAlreadyAMember = tab.body;
    tab = MakeReplyTab(pagResponses, "tabNotMember", QStringLiteral("Not a member"),
                       "edtNotMemberSubject", "memoNotMember");
    tabNotMember = tab.page;
    edtNotMemberSubject = tab.subject;
    memoNotMember = tab.body;
    tab =
        MakeReplyTab(pagResponses, "tabHelp", QStringLiteral("Help"), "edtHelpSubject", "memoHelp");
    tabHelp = tab.page;
    edtHelpSubject = tab.subject;
    memoHelp = tab.body;
    // The code's subject is the verification subject of "Subscribe verify".
    tabModeVerify = Named<QWidget>(pagResponses, "tabModeVerify");
    auto* verifyLayout = Child<QGridLayout>(tabModeVerify);
    tabModeVerify->setLayout(verifyLayout);
    memoModeVerify = Named<QPlainTextEdit>(tabModeVerify, "memoModeVerify");
    verifyLayout->addWidget(
        Child<QLabel>(tabModeVerify,
                      QStringLiteral("Subject: as \"Subscribe verify\", with the code")),
        0, 0);
    verifyLayout->addWidget(memoModeVerify, 1, 0);
    pagResponses->addTab(tabModeVerify, QStringLiteral("Mode verify"));
    tab = MakeReplyTab(pagResponses, "tabModeChanged", QStringLiteral("Mode changed"),
                       "edtModeChangedSubject", "memoModeChanged");
    tabModeChanged = tab.page;
    edtModeChangedSubject = tab.subject;
    memoModeChanged = tab.body;
    tab = MakeReplyTab(pagResponses, "tabWhich", QStringLiteral("Which"), "edtWhichSubject",
                       "memoWhich");
    tabWhich = tab.page;
    edtWhichSubject = tab.subject;
    memoWhich = tab.body;
    tab = MakeReplyTab(pagResponses, "tabLists", QStringLiteral("Lists"), "edtListsSubject",
                       "memoLists");
    tabLists = tab.page;
    edtListsSubject = tab.subject;
    memoLists = tab.body;

    // Its subject is fixed: the reply to it must carry the code the subject holds.
    auto* bounce = Named<QWidget>(pagResponses, "tabBounceDisabled");
    auto* bounceLayout = Child<QVBoxLayout>(bounce);
    bounce->setLayout(bounceLayout);
    auto* note = Child<QLabel>(
        bounce, QStringLiteral("Subject: Delivery of {ListName} to you is disabled ({Code}). "
                               "Also {Code}, {Status} (the last failure) and {Score}."));
    note->setWordWrap(true);
    bounceLayout->addWidget(note);
    memoBounceDisabled = Named<QPlainTextEdit>(bounce, "memoBounceDisabled");
    // A list without a text of its own sends this one.
    memoBounceDisabled->setPlaceholderText(Q(ReplaceAll(bounce::kDefaultNoticeText, "\r\n", "\n")));
    bounceLayout->addWidget(memoBounceDisabled);
    pagResponses->addTab(bounce, QStringLiteral("Bounce disabled"));
    layout->addWidget(pagResponses, 0, 0, 3, 1);

    layout->addWidget(Child<QLabel>(this, QStringLiteral("Variables caSe-SensiTive")), 0, 1);
    lstVariables = Named<QListWidget>(this, "lstVariables");
    lstVariables->setFixedWidth(150);
    layout->addWidget(lstVariables, 1, 1);
    layout->addWidget(Child<QLabel>(this, QStringLiteral("double-click to copy")), 2, 1);
    layout->setColumnStretch(0, 1);
}

void ResponsesPage::ShowVerificationTabs(bool verify) {
    pagResponses->setTabVisible(pagResponses->indexOf(tabSubVerify), verify);
    pagResponses->setTabVisible(pagResponses->indexOf(tabVerifyError), verify);
}

void ResponsesPage::tabResponsesShow(bool memberPasswords) {
    lstVariables->clear();
    lstVariables->addItems({QStringLiteral("{Email}"), QStringLiteral("{ListName}"),
                            QStringLiteral("{ListAddress}"),
                            QStringLiteral("{ListServerAddress}")});
    pagResponses->setTabVisible(pagResponses->indexOf(tabPasswordNotify), memberPasswords);
    if (memberPasswords) {
        lstVariables->addItem(QStringLiteral("{Password}"));
    }
    lstVariables->addItems({Q(kModeVariable), Q(kListsVariable)});
    // "which" and "lists" name no list: their answers come from the Default List alone.
    const bool defaultList = SameText(host_.CurrentList(), kDefaultListName);
    pagResponses->setTabVisible(pagResponses->indexOf(tabWhich), defaultList);
    pagResponses->setTabVisible(pagResponses->indexOf(tabLists), defaultList);
}

void ResponsesPage::lstVariablesDblClick() {
    if (QListWidgetItem* item = lstVariables->currentItem()) {
        host_.WindowDialogs().CopyToClipboard(item->text());
    }
}

}  // namespace corvanteer
