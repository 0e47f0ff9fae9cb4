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
    Open();
    dialogs.QueueInput(QString());  // empty: asked again
    dialogs.QueueInput(QStringLiteral("my list"));
    Find<QPushButton>("butAddList")->click();
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_EQ(dialogs.calls[0].title, QStringLiteral("New list"));
    EXPECT_EQ(dialogs.calls[0].text, QStringLiteral("Enter list name (single word only)."));
    EXPECT_EQ(dialogs.calls[1].text, QStringLiteral("Please enter a name (single word only)."));
    ASSERT_EQ(Find<QComboBox>("cmbLists")->count(), 2);
    EXPECT_EQ(Find<QComboBox>("cmbLists")->currentText(), QStringLiteral("my_list"));
    EXPECT_TRUE(store->KeyExists(ListKey("my_list")));
    // The model's data file was copied and loaded.
    EXPECT_EQ(Find<QPlainTextEdit>("memoSignature")->toPlainText(), QStringLiteral("-- the model"));

    dialogs.calls.clear();
    dialogs.QueueInput(QStringLiteral("MY_LIST"));
    dialogs.QueueInput(std::nullopt);
    Find<QPushButton>("butAddList")->click();
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_EQ(dialogs.calls[1].text,
              QStringLiteral("The name already exists. Please select a new one."));
    EXPECT_EQ(Find<QComboBox>("cmbLists")->count(), 2);
    EXPECT_EQ(store->SubKeys(paths.ListsKey()).size(), 1u);
}

TEST_F(ListsTest, DeleteListAsksAndKeepsTheModelFile) {
    store->CreateKey(ListKey("news"));
    WriteSection(paths.ListDataFile("news"), "MemberList", {"a@b.c 0 123456"});
    WriteSection(paths.ListDataFile("Default List"), "BlackList", {"spam@x.y"});
    Open();
    ASSERT_EQ(Find<QComboBox>("cmbLists")->currentText(), QStringLiteral("news"));

    dialogs.QueueButton(DialogButton::Cancel);
    Find<QPushButton>("butDeleteList")->click();
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
    Find<QPushButton>("butDeleteList")->click();
    EXPECT_FALSE(store->KeyExists(ListKey("news")));
    EXPECT_FALSE(FileExists(paths.ListDataFile("news")));
    ASSERT_EQ(Find<QComboBox>("cmbLists")->count(), 1);
    EXPECT_EQ(Find<QComboBox>("cmbLists")->currentText(), QStringLiteral("Default List"));

    // "Default List" loses its key but keeps its file, which stays the model.
    dialogs.QueueButton(DialogButton::Yes);
    Find<QPushButton>("butDeleteList")->click();
    EXPECT_TRUE(FileExists(paths.ListDataFile("Default List")));
    ASSERT_EQ(Find<QComboBox>("cmbLists")->count(), 1);
    EXPECT_EQ(Find<QComboBox>("cmbLists")->currentText(), QStringLiteral("Default List"));
    EXPECT_EQ(Find<QPlainTextEdit>("memoBlacklist")->toPlainText(), QStringLiteral("spam@x.y"));
}

// Permission choices 0, 1, 2 with moderation off and on: what is enabled, what is shown.
TEST_F(ListsTest, PermissionRules) {
    Open();
    auto choose = [&](int choice) {
        Find<QButtonGroup>("allowPostByGroup")->button(choice)->click();
    };
    auto banControlsShown = [&] {
        return Shown(Find<QLabel>("lblBannedMembers")) && Shown(Find<QLabel>("lblBannedCaption")) &&
               Shown(Find<QLabel>("lblBanNote"));
    };

    // A fresh list: choice 0.
    EXPECT_EQ(Find<QButtonGroup>("allowPostByGroup")->checkedId(), 0);
    EXPECT_FALSE(Find<QCheckBox>("chkModerateList")->isEnabled());
    EXPECT_TRUE(Find<QCheckBox>("chkRequirePassword")->isEnabled());
    EXPECT_FALSE(banControlsShown());

    choose(1);
    EXPECT_EQ(store->ReadRegInteger(ListKey("Default List"), "AllowPostBy", -1), 1);
    EXPECT_TRUE(Find<QCheckBox>("chkModerateList")->isEnabled());
    EXPECT_TRUE(Find<QCheckBox>("chkRequirePassword")->isEnabled());
    EXPECT_TRUE(banControlsShown());

    Find<QCheckBox>("chkRequirePassword")->click();
    EXPECT_TRUE(Shown(Find<QPushButton>("butPassword")));
    Find<QCheckBox>("chkModerateList")->click();  // moderation on: no posting password
    EXPECT_TRUE(store->ReadRegBool(ListKey("Default List"), "ModerateList", false));
    EXPECT_FALSE(Find<QCheckBox>("chkRequirePassword")->isEnabled());
    EXPECT_FALSE(Shown(Find<QPushButton>("butPassword")));

    choose(2);
    EXPECT_TRUE(Find<QCheckBox>("chkModerateList")->isEnabled());
    EXPECT_FALSE(Find<QCheckBox>("chkRequirePassword")->isEnabled());
    EXPECT_TRUE(banControlsShown());

    choose(0);  // moderators only: moderation cannot be chosen, the password can
    EXPECT_FALSE(Find<QCheckBox>("chkModerateList")->isEnabled());
    EXPECT_TRUE(Find<QCheckBox>("chkRequirePassword")->isEnabled());
    EXPECT_FALSE(banControlsShown());
    EXPECT_TRUE(Shown(Find<QPushButton>("butPassword")));

    choose(1);
    EXPECT_FALSE(Find<QCheckBox>("chkRequirePassword")->isEnabled());  // moderation is still on
    Find<QCheckBox>("chkModerateList")->click();
    EXPECT_TRUE(Find<QCheckBox>("chkRequirePassword")->isEnabled());
    choose(2);
    EXPECT_FALSE(Find<QCheckBox>("chkRequirePassword")->isEnabled());

    // The same rules after loading the stored values.
    Find<QCheckBox>("chkModerateList")->click();  // on again, with choice 2
    Close();
    Open();
    EXPECT_EQ(Find<QButtonGroup>("allowPostByGroup")->checkedId(), 2);
    EXPECT_TRUE(Find<QCheckBox>("chkModerateList")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("chkRequirePassword")->isEnabled());
    EXPECT_TRUE(Shown(Find<QLabel>("lblBannedMembers")));
    EXPECT_FALSE(Shown(Find<QPushButton>("butPassword")));
}

TEST_F(ListsTest, OtherClickRules) {
    Open();
    EXPECT_FALSE(Find<QLineEdit>("edtErrorsTo")->isEnabled());
    Find<QCheckBox>("chkForwardErrorMsgs")->click();
    EXPECT_TRUE(Find<QLineEdit>("edtErrorsTo")->isEnabled());
    EXPECT_TRUE(Find<QLineEdit>("edtHideEmail")->isEnabled());
    // Empty unless filled: the list posting address stands in, shown as the field's hint.
    EXPECT_EQ(Find<QLineEdit>("edtHideEmail")->text(), QString());
    Find<QLineEdit>("edtListPostingAddress")->setText(QStringLiteral("news@lists.example"));
    EXPECT_EQ(Find<QLineEdit>("edtHideEmail")->placeholderText(),
              QStringLiteral("news@lists.example"));
    Find<QCheckBox>("chkHideSenderEmail")->click();
    EXPECT_FALSE(Find<QLineEdit>("edtHideEmail")->isEnabled());
    EXPECT_FALSE(store->ReadRegBool(ListKey("Default List"), "HideSenderEmail", true));
    EXPECT_TRUE(Find<QCheckBox>("chkListHeaders")->isChecked());  // on when never stored
    Find<QCheckBox>("chkListHeaders")->click();
    EXPECT_FALSE(store->ReadRegBool(ListKey("Default List"), "ListHeaders", true));

    EXPECT_TRUE(Shown(Find<QLineEdit>("edtTo")));
    Find<QButtonGroup>("postingMethodGroup")->button(1)->click();
    EXPECT_FALSE(Shown(Find<QLineEdit>("edtTo")));
    EXPECT_FALSE(Shown(Find<QLabel>("lblTo")));
    EXPECT_EQ(store->ReadRegInteger(ListKey("Default List"), "PostingMethod", -1), 1);

    EXPECT_TRUE(TabShown(Find<QTabWidget>("pagMain"), Find<QWidget>("tabResponses")));
    Find<QCheckBox>("chkVerifySubscribe")->click();  // the verification pages go at once
    EXPECT_FALSE(TabShown(Find<QTabWidget>("pagResponses"), Find<QWidget>("tabSubVerify")));
    EXPECT_FALSE(TabShown(Find<QTabWidget>("pagResponses"), Find<QWidget>("tabVerifyError")));
    EXPECT_TRUE(TabShown(Find<QTabWidget>("pagResponses"), Find<QWidget>("tabSubConfirm")));
    Find<QCheckBox>("chkAllowUserSubscribe")->click();
    EXPECT_FALSE(TabShown(Find<QTabWidget>("pagMain"), Find<QWidget>("tabResponses")));
    EXPECT_FALSE(Find<QCheckBox>("chkVerifySubscribe")->isEnabled());
    EXPECT_FALSE(Find<QSpinBox>("spinVerifyDays")->isEnabled());
    EXPECT_FALSE(Find<QLabel>("lblDays")->isEnabled());

    Find<QSpinBox>("spinVerifyDays")->setValue(12);
    EXPECT_EQ(store->ReadRegInteger(ListKey("Default List"), "VerifyDays", 0), 12);
}

TEST_F(ListsTest, ResponsesVariablesWithAndWithoutPassword) {
    Open();
    auto variables = [&] {
        QStringList items;
        for (int i = 0; i < Find<QListWidget>("lstVariables")->count(); ++i) {
            items << Find<QListWidget>("lstVariables")->item(i)->text();
        }
        return items;
    };
    const QStringList four = {"{Email}", "{ListName}", "{ListAddress}", "{ListServerAddress}"};
    Find<QTabWidget>("pagMain")->setCurrentWidget(Find<QWidget>("tabResponses"));
    EXPECT_EQ(variables(), four);
    EXPECT_FALSE(TabShown(Find<QTabWidget>("pagResponses"), Find<QWidget>("tabPasswordNotify")));

    Find<QTabWidget>("pagMain")->setCurrentWidget(Find<QWidget>("tabOptions"));
    Find<QButtonGroup>("allowPostByGroup")->button(1)->click();
    Find<QCheckBox>("chkRequirePassword")->click();
    Find<QTabWidget>("pagMain")->setCurrentWidget(Find<QWidget>("tabResponses"));
    EXPECT_EQ(variables(), four + QStringList{"{Password}"});
    EXPECT_TRUE(TabShown(Find<QTabWidget>("pagResponses"), Find<QWidget>("tabPasswordNotify")));

    Find<QListWidget>("lstVariables")->setCurrentRow(4);
    emit Find<QListWidget>("lstVariables")
        ->itemDoubleClicked(Find<QListWidget>("lstVariables")->item(4));
    EXPECT_EQ(dialogs.clipboard, QStringLiteral("{Password}"));

    // "Allow anybody to post" disables the password: gone at the next showing of the page.
    Find<QTabWidget>("pagMain")->setCurrentWidget(Find<QWidget>("tabOptions"));
    Find<QButtonGroup>("allowPostByGroup")->button(2)->click();
    Find<QTabWidget>("pagMain")->setCurrentWidget(Find<QWidget>("tabResponses"));
    EXPECT_EQ(variables(), four);
    EXPECT_FALSE(TabShown(Find<QTabWidget>("pagResponses"), Find<QWidget>("tabPasswordNotify")));
}

TEST_F(ListsTest, FieldsAreStoredForTheListTheyWereEditedIn) {
    store->CreateKey(ListKey("alpha"));
    store->CreateKey(ListKey("beta"));
    Open();
    ASSERT_EQ(Find<QComboBox>("cmbLists")->currentText(), QStringLiteral("alpha"));
    EXPECT_EQ(Find<QLineEdit>("edtVerifySubject")->text(), QStringLiteral("ListServer Response"));

    // Typed, not left, then the list is switched.
    Type(Find<QLineEdit>("edtVerifySubject"), "Alpha verify");
    Type(Find<QPlainTextEdit>("memoSignature"), "Alpha sig");
    Find<QComboBox>("cmbLists")->setCurrentIndex(1);
    EXPECT_EQ(store->ReadRegString(ListKey("alpha"), "VerifySubject", ""), "Alpha verify");
    EXPECT_EQ(Section("alpha", "Signature"), Lines{"Alpha sig"});
    EXPECT_FALSE(store->ValueExists(ListKey("beta"), "VerifySubject"));
    EXPECT_FALSE(FileExists(paths.ListDataFile("beta")));
    EXPECT_EQ(Find<QLineEdit>("edtVerifySubject")->text(), QStringLiteral("ListServer Response"));
    EXPECT_TRUE(Find<QPlainTextEdit>("memoSignature")->toPlainText().isEmpty());

    // Leaving a field stores it, even unchanged: the shown default becomes the stored value.
    Leave(Find<QLineEdit>("edtTo"));
    EXPECT_EQ(store->ReadRegString(ListKey("beta"), "ListTo", ""), "all-members@list.invalid");
    Type(Find<QLineEdit>("edtPop3Password"), "pop");
    Leave(Find<QLineEdit>("edtPop3Password"));
    EXPECT_EQ(store->ReadRegString(ListKey("beta"), "Pop3Password", ""), ScramblePassword("pop"));
    Type(Find<QPlainTextEdit>("memoHelp"), "Send subscribe NAME");
    Leave(Find<QPlainTextEdit>("memoHelp"));
    EXPECT_EQ(Section("beta", "Help"), Lines{"Send subscribe NAME"});
    Type(Find<QPlainTextEdit>("memoModerators"), "mod@x.y");  // stored at every change
    EXPECT_EQ(store->ReadRegString(ListKey("beta"), "Moderators", ""), "mod@x.y");

    Find<QComboBox>("cmbLists")->setCurrentIndex(0);
    EXPECT_EQ(Find<QLineEdit>("edtVerifySubject")->text(), QStringLiteral("Alpha verify"));
    EXPECT_EQ(Find<QPlainTextEdit>("memoSignature")->toPlainText(), QStringLiteral("Alpha sig"));
    EXPECT_TRUE(Find<QPlainTextEdit>("memoHelp")->toPlainText().isEmpty());
    EXPECT_TRUE(Find<QPlainTextEdit>("memoModerators")->toPlainText().isEmpty());
}

}  // namespace
}  // namespace corvanteer::testing
