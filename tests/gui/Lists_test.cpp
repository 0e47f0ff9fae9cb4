// The list selector and the per-list controls: adding and deleting lists, the enable and
// visibility rules, the Responses page's variables, and edits kept for the list they were made
// in.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "GuiFixture.h"
#include "gui/GuiUtil.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

using ListsTest = GuiTest;

bool Shown(const QWidget* widget) {
    return !widget->isHidden();
}

bool TabShown(const QTabWidget* tabs, QWidget* page) {
    return tabs->isTabVisible(tabs->indexOf(page));
}

TEST_F(ListsTest, AddListReplacesBlanksAndRefusesANameInAnyCase) {
    WriteSection(paths.ListDataFile("Default List"), "Signature", {"-- the model"});
    TfrmMain& w = Open();
    dialogs.QueueInput(QString());  // empty: asked again
    dialogs.QueueInput(QStringLiteral("my list"));
    w.butAddList->click();
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_EQ(dialogs.calls[0].title, QStringLiteral("New list"));
    EXPECT_EQ(dialogs.calls[0].text, QStringLiteral("Enter list name (single word only)."));
    EXPECT_EQ(dialogs.calls[1].text, QStringLiteral("Please enter a name (single word only)."));
    ASSERT_EQ(w.cmbLists->count(), 2);
    EXPECT_EQ(w.cmbLists->currentText(), QStringLiteral("my_list"));
    EXPECT_TRUE(store->KeyExists(ListKey("my_list")));
    // The model's data file was copied and loaded.
    EXPECT_EQ(w.memoSignature->toPlainText(), QStringLiteral("-- the model"));

    dialogs.calls.clear();
    dialogs.QueueInput(QStringLiteral("MY_LIST"));
    dialogs.QueueInput(std::nullopt);
    w.butAddList->click();
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_EQ(dialogs.calls[1].text,
              QStringLiteral("The name already exists. Please select a new one."));
    EXPECT_EQ(w.cmbLists->count(), 2);
    EXPECT_EQ(store->SubKeys(paths.ListsKey()).size(), 1u);
}

TEST_F(ListsTest, DeleteListAsksAndKeepsTheModelFile) {
    store->CreateKey(ListKey("news"));
    WriteSection(paths.ListDataFile("news"), "MemberList", {"a@b.c 0 123456"});
    WriteSection(paths.ListDataFile("Default List"), "BlackList", {"spam@x.y"});
    TfrmMain& w = Open();
    ASSERT_EQ(w.cmbLists->currentText(), QStringLiteral("news"));

    dialogs.QueueButton(DialogButton::Cancel);
    w.butDeleteList->click();
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].icon, DialogIcon::Warning);
    EXPECT_EQ(dialogs.calls[0].text,
              QStringLiteral("You are about to delete list \"news\".\r\nAre you sure you want to "
                             "do this?"));
    EXPECT_EQ(dialogs.calls[0].buttons,
              (std::vector<DialogButton>{DialogButton::Yes, DialogButton::Cancel}));
    EXPECT_EQ(dialogs.beeps, 1);
    EXPECT_TRUE(store->KeyExists(ListKey("news")));

    dialogs.QueueButton(DialogButton::Yes);
    w.butDeleteList->click();
    EXPECT_FALSE(store->KeyExists(ListKey("news")));
    EXPECT_FALSE(FileExists(paths.ListDataFile("news")));
    ASSERT_EQ(w.cmbLists->count(), 1);
    EXPECT_EQ(w.cmbLists->currentText(), QStringLiteral("Default List"));

    // "Default List" loses its key but keeps its file, which stays the model.
    dialogs.QueueButton(DialogButton::Yes);
    w.butDeleteList->click();
    EXPECT_TRUE(FileExists(paths.ListDataFile("Default List")));
    ASSERT_EQ(w.cmbLists->count(), 1);
    EXPECT_EQ(w.cmbLists->currentText(), QStringLiteral("Default List"));
    EXPECT_EQ(w.memoBlacklist->toPlainText(), QStringLiteral("spam@x.y"));
}

// Permission choices 0, 1, 2 with moderation off and on: what is enabled, what is shown.
TEST_F(ListsTest, PermissionRules) {
    TfrmMain& w = Open();
    auto choose = [&](int choice) { w.allowPostByGroup->button(choice)->click(); };
    auto banControlsShown = [&] {
        return Shown(w.lblBannedMembers) && Shown(w.lblBannedCaption) && Shown(w.lblBanNote);
    };

    // A fresh list: choice 0.
    EXPECT_EQ(w.allowPostByGroup->checkedId(), 0);
    EXPECT_FALSE(w.chkModerateList->isEnabled());
    EXPECT_TRUE(w.chkRequirePassword->isEnabled());
    EXPECT_FALSE(banControlsShown());

    choose(1);
    EXPECT_EQ(store->ReadRegInteger(ListKey("Default List"), "AllowPostBy", -1), 1);
    EXPECT_TRUE(w.chkModerateList->isEnabled());
    EXPECT_TRUE(w.chkRequirePassword->isEnabled());
    EXPECT_TRUE(banControlsShown());

    w.chkRequirePassword->click();
    EXPECT_TRUE(Shown(w.butPassword));
    w.chkModerateList->click();  // moderation on: no posting password
    EXPECT_TRUE(store->ReadRegBool(ListKey("Default List"), "ModerateList", false));
    EXPECT_FALSE(w.chkRequirePassword->isEnabled());
    EXPECT_FALSE(Shown(w.butPassword));

    choose(2);
    EXPECT_TRUE(w.chkModerateList->isEnabled());
    EXPECT_FALSE(w.chkRequirePassword->isEnabled());
    EXPECT_TRUE(banControlsShown());

    choose(0);  // moderators only: moderation cannot be chosen, the password can
    EXPECT_FALSE(w.chkModerateList->isEnabled());
    EXPECT_TRUE(w.chkRequirePassword->isEnabled());
    EXPECT_FALSE(banControlsShown());
    EXPECT_TRUE(Shown(w.butPassword));

    choose(1);
    EXPECT_FALSE(w.chkRequirePassword->isEnabled());  // moderation is still on
    w.chkModerateList->click();
    EXPECT_TRUE(w.chkRequirePassword->isEnabled());
    choose(2);
    EXPECT_FALSE(w.chkRequirePassword->isEnabled());

    // The same rules after loading the stored values.
    w.chkModerateList->click();  // on again, with choice 2
    Close();
    TfrmMain& again = Open();
    EXPECT_EQ(again.allowPostByGroup->checkedId(), 2);
    EXPECT_TRUE(again.chkModerateList->isChecked());
    EXPECT_FALSE(again.chkRequirePassword->isEnabled());
    EXPECT_TRUE(Shown(again.lblBannedMembers));
    EXPECT_FALSE(Shown(again.butPassword));
}

TEST_F(ListsTest, OtherClickRules) {
    TfrmMain& w = Open();
    EXPECT_FALSE(w.edtErrorsTo->isEnabled());
    w.chkForwardErrorMsgs->click();
    EXPECT_TRUE(w.edtErrorsTo->isEnabled());
    EXPECT_TRUE(w.edtHideEmail->isEnabled());
    w.chkHideSenderEmail->click();
    EXPECT_FALSE(w.edtHideEmail->isEnabled());
    EXPECT_FALSE(store->ReadRegBool(ListKey("Default List"), "HideSenderEmail", true));

    EXPECT_TRUE(Shown(w.edtTo));
    w.postingMethodGroup->button(1)->click();
    EXPECT_FALSE(Shown(w.edtTo));
    EXPECT_FALSE(Shown(w.lblTo));
    EXPECT_EQ(store->ReadRegInteger(ListKey("Default List"), "PostingMethod", -1), 1);

    EXPECT_TRUE(TabShown(w.pagMain, w.tabResponses));
    w.chkVerifySubscribe->click();  // the verification pages go at once
    EXPECT_FALSE(TabShown(w.pagResponses, w.tabSubVerify));
    EXPECT_FALSE(TabShown(w.pagResponses, w.tabVerifyError));
    EXPECT_TRUE(TabShown(w.pagResponses, w.tabSubConfirm));
    w.chkAllowUserSubscribe->click();
    EXPECT_FALSE(TabShown(w.pagMain, w.tabResponses));
    EXPECT_FALSE(w.chkVerifySubscribe->isEnabled());
    EXPECT_FALSE(w.spinVerifyDays->isEnabled());
    EXPECT_FALSE(w.lblDays->isEnabled());

    w.spinVerifyDays->setValue(12);
    EXPECT_EQ(store->ReadRegInteger(ListKey("Default List"), "VerifyDays", 0), 12);
}

TEST_F(ListsTest, ResponsesVariablesWithAndWithoutPassword) {
    TfrmMain& w = Open();
    auto variables = [&] {
        QStringList items;
        for (int i = 0; i < w.lstVariables->count(); ++i) {
            items << w.lstVariables->item(i)->text();
        }
        return items;
    };
    const QStringList four = {"{Email}", "{ListName}", "{ListAddress}", "{ListServerAddress}"};
    w.pagMain->setCurrentWidget(w.tabResponses);
    EXPECT_EQ(variables(), four);
    EXPECT_FALSE(TabShown(w.pagResponses, w.tabPasswordNotify));

    w.pagMain->setCurrentWidget(w.tabOptions);
    w.allowPostByGroup->button(1)->click();
    w.chkRequirePassword->click();
    w.pagMain->setCurrentWidget(w.tabResponses);
    EXPECT_EQ(variables(), four + QStringList{"{Password}"});
    EXPECT_TRUE(TabShown(w.pagResponses, w.tabPasswordNotify));

    w.lstVariables->setCurrentRow(4);
    emit w.lstVariables->itemDoubleClicked(w.lstVariables->item(4));
    EXPECT_EQ(dialogs.clipboard, QStringLiteral("{Password}"));

    // "Allow anybody to post" disables the password: gone at the next showing of the page.
    w.pagMain->setCurrentWidget(w.tabOptions);
    w.allowPostByGroup->button(2)->click();
    w.pagMain->setCurrentWidget(w.tabResponses);
    EXPECT_EQ(variables(), four);
    EXPECT_FALSE(TabShown(w.pagResponses, w.tabPasswordNotify));
}

TEST_F(ListsTest, FieldsAreStoredForTheListTheyWereEditedIn) {
    store->CreateKey(ListKey("alpha"));
    store->CreateKey(ListKey("beta"));
    TfrmMain& w = Open();
    ASSERT_EQ(w.cmbLists->currentText(), QStringLiteral("alpha"));
    EXPECT_EQ(w.edtVerifySubject->text(), QStringLiteral("ListServer Response"));

    // Typed, not left, then the list is switched.
    Type(w.edtVerifySubject, "Alpha verify");
    Type(w.memoSignature, "Alpha sig");
    w.cmbLists->setCurrentIndex(1);
    EXPECT_EQ(store->ReadRegString(ListKey("alpha"), "VerifySubject", ""), "Alpha verify");
    EXPECT_EQ(Section("alpha", "Signature"), Lines{"Alpha sig"});
    EXPECT_FALSE(store->ValueExists(ListKey("beta"), "VerifySubject"));
    EXPECT_FALSE(FileExists(paths.ListDataFile("beta")));
    EXPECT_EQ(w.edtVerifySubject->text(), QStringLiteral("ListServer Response"));
    EXPECT_TRUE(w.memoSignature->toPlainText().isEmpty());

    // Leaving a field stores it, even unchanged: the shown default becomes the stored value.
    Leave(w.edtTo);
    EXPECT_EQ(store->ReadRegString(ListKey("beta"), "ListTo", ""), "all-members@list.invalid");
    Type(w.edtPop3Password, "pop");
    Leave(w.edtPop3Password);
    EXPECT_EQ(store->ReadRegString(ListKey("beta"), "Pop3Password", ""), ScramblePassword("pop"));
    Type(w.memoHelp, "Send subscribe NAME");
    Leave(w.memoHelp);
    EXPECT_EQ(Section("beta", "Help"), Lines{"Send subscribe NAME"});
    Type(w.memoModerators, "mod@x.y");  // stored at every change
    EXPECT_EQ(store->ReadRegString(ListKey("beta"), "Moderators", ""), "mod@x.y");

    w.cmbLists->setCurrentIndex(0);
    EXPECT_EQ(w.edtVerifySubject->text(), QStringLiteral("Alpha verify"));
    EXPECT_EQ(w.memoSignature->toPlainText(), QStringLiteral("Alpha sig"));
    EXPECT_TRUE(w.memoHelp->toPlainText().isEmpty());
    EXPECT_TRUE(w.memoModerators->toPlainText().isEmpty());
}

}  // namespace
}  // namespace corvanteer::testing
