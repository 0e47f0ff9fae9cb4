// The Members page: add, ban, change password, remove, import and export, with the sections
// and log lines each leaves behind.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>

#include "GuiFixture.h"
#include "gui/GuiUtil.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

using RosterTest = GuiTest;

const std::string kList = "Default List";

// "address flag password" with six digits, the first not 0.
void ExpectEntry(const std::string& line, const std::string& address, char flag) {
    const QRegularExpression form(QStringLiteral("^(\\S+) ([01]) ([1-9][0-9]{5})$"));
    const QRegularExpressionMatch match = form.match(Q(line));
    ASSERT_TRUE(match.hasMatch()) << line;
    EXPECT_EQ(S(match.captured(1)), address);
    EXPECT_EQ(S(match.captured(2)), std::string(1, flag));
}

TEST_F(RosterTest, AddBanChangePasswordRemove) {
    Open();

    // Add: empty and invalid answers ask again; the address is stored lower-case.
    dialogs.QueueInput(QString());
    dialogs.QueueInput(QStringLiteral("not an address"));
    // Addresses no mail server takes: a local part over 64, a letter beyond ASCII.
    const QString longLocal = QString(65, QLatin1Char('l')) + QStringLiteral("@example.org");
    dialogs.QueueInput(longLocal);
    dialogs.QueueInput(QStringLiteral("j\u00F6e@example.org"));
    dialogs.QueueInput(QStringLiteral("Alice@Example.ORG"));
    Find<QPushButton>("butAddMember")->click();
    ASSERT_EQ(dialogs.calls.size(), 5u);
    EXPECT_EQ(dialogs.calls[0].title, QStringLiteral("New member"));
    EXPECT_EQ(dialogs.calls[0].text, QStringLiteral("Enter user email."));
    EXPECT_EQ(dialogs.calls[1].text, QStringLiteral("Please enter user email."));
    EXPECT_EQ(dialogs.calls[2].text, QStringLiteral("not an address is not a valid email address"));
    EXPECT_EQ(dialogs.calls[3].text, longLocal + QStringLiteral(" is not a valid email address"));
    EXPECT_EQ(dialogs.calls[4].text,
              QStringLiteral("j\u00F6e@example.org is not a valid email address"));
    Lines members = Section(kList, "MemberList");
    ASSERT_EQ(members.size(), 1u);
    ExpectEntry(members[0], "alice@example.org", '0');
    ASSERT_EQ(Find<QListWidget>("lstMembers")->count(), 1);
    EXPECT_EQ(Find<QListWidget>("lstMembers")->item(0)->text(),
              QStringLiteral("alice@example.org"));
    EXPECT_EQ(Find<QListWidget>("lstMembers")->item(0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(Find<QLabel>("lblTotalMembers")->text(), QStringLiteral("1"));
    EXPECT_EQ(Section(kList, "Latest_Actions"),
              Lines{std::string(kShortDate) + " + alice@example.org"});
    EXPECT_EQ(LogLines(),
              Lines{std::string(kStamp) + "Default List: + alice@example.org(manual add)"});
    EXPECT_EQ(Find<QListWidget>("lstLatestActions")->count(), 1);

    // A member already present is refused with a message.
    dialogs.calls.clear();
    dialogs.QueueInput(QStringLiteral("ALICE@example.org"));
    Find<QPushButton>("butAddMember")->click();
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_EQ(dialogs.calls[1].kind, "message");
    EXPECT_EQ(dialogs.calls[1].text, QStringLiteral("alice@example.org is aready a member."));
    EXPECT_EQ(Section(kList, "MemberList").size(), 1u);

    // With members posting under a password, the new member's password is shown.
    Find<QButtonGroup>("allowPostByGroup")->button(1)->click();
    Find<QCheckBox>("chkRequirePassword")->click();
    dialogs.calls.clear();
    const int beeps = dialogs.beeps;
    dialogs.QueueInput(QStringLiteral("bob@example.org"));
    Find<QPushButton>("butAddMember")->click();
    ASSERT_EQ(dialogs.calls.size(), 2u);
    members = Section(kList, "MemberList");
    ASSERT_EQ(members.size(), 2u);
    ExpectEntry(members[1], "bob@example.org", '0');
    const std::string bobPassword = SplitString(members[1], " ").Part(3);
    EXPECT_EQ(dialogs.calls[1].text, Q("Password for bob@example.org is \r\n" + bobPassword));
    EXPECT_EQ(dialogs.beeps, beeps + 1);

    // Ban: the check mark rewrites the section, every other part unchanged.
    const std::string alicePassword = SplitString(members[0], " ").Part(3);
    Find<QListWidget>("lstMembers")->item(0)->setCheckState(Qt::Checked);
    EXPECT_EQ(Section(kList, "MemberList"),
              (Lines{"alice@example.org 1 " + alicePassword, "bob@example.org 0 " + bobPassword}));
    EXPECT_EQ(Find<QLabel>("lblBannedMembers")->text(), QStringLiteral("1"));

    // Change password: pre-filled with the current one; cancelling keeps it.
    Find<QListWidget>("lstMembers")->setCurrentRow(0);
    ASSERT_FALSE(Find<QPushButton>("butPassword")->isHidden());
    dialogs.calls.clear();
    dialogs.QueueInput(QStringLiteral("secret"));
    Find<QPushButton>("butPassword")->click();
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].title, QStringLiteral("Change password"));
    EXPECT_EQ(dialogs.calls[0].text, QStringLiteral("Password for alice@example.org"));
    EXPECT_EQ(dialogs.calls[0].initial, Q(alicePassword));
    EXPECT_EQ(Section(kList, "MemberList")[0], "alice@example.org 1 secret");
    dialogs.QueueInput(std::nullopt);
    Find<QPushButton>("butPassword")->click();
    EXPECT_EQ(Section(kList, "MemberList")[0], "alice@example.org 1 secret");

    // Remove: a warning first; Cancel keeps the member.
    dialogs.calls.clear();
    dialogs.QueueButton(DialogButton::Cancel);
    Find<QPushButton>("butDeleteMember")->click();
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].icon, DialogIcon::Warning);
    EXPECT_EQ(dialogs.calls[0].text,
              QStringLiteral("You are about to remove member \"alice@example.org from the "
                             "list.\r\nAre you sure you want to do this?"));
    EXPECT_EQ(Section(kList, "MemberList").size(), 2u);
    dialogs.QueueButton(DialogButton::Yes);
    Find<QPushButton>("butDeleteMember")->click();
    EXPECT_EQ(Section(kList, "MemberList"), Lines{"bob@example.org 0 " + bobPassword});
    EXPECT_EQ(Find<QListWidget>("lstMembers")->count(), 1);
    EXPECT_EQ(Find<QLabel>("lblBannedMembers")->text(), QStringLiteral("0"));
    EXPECT_EQ(Section(kList, "Latest_Actions")[0],
              std::string(kShortDate) + " - alice@example.org");
    EXPECT_EQ(LogLines().back(), std::string(kStamp) +
                                     "Default List: - alice@example.org(manual remove by "
                                     "moderator)");

    // Change password with nothing selected.
    Find<QListWidget>("lstMembers")->setCurrentRow(-1);
    dialogs.calls.clear();
    Find<QPushButton>("butPassword")->click();
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text, QStringLiteral("Please select a member"));
}

TEST_F(RosterTest, ExportThenImportFindsOnlyDuplicates) {
    Open();
    for (const char* address : {"b@x.org", "a@x.org"}) {
        dialogs.QueueInput(QString::fromLatin1(address));
        Find<QPushButton>("butAddMember")->click();
    }
    const std::string file = dir.File("roster.txt");
    dialogs.QueuePath(Q(file));
    Find<QPushButton>("butExportList")->click();
    EXPECT_EQ(Slurp(file), "a@x.org\r\nb@x.org\r\n");
    const DialogCall& save = dialogs.calls.back();
    EXPECT_EQ(save.kind, "save");
    EXPECT_EQ(save.text, QString::fromLatin1(kTextFileFilter));
    EXPECT_EQ(save.initial, Q(paths.appDir));
    EXPECT_EQ(Section(kList, "Latest_Actions")[0],
              std::string(kShortDate) + "   exported to " + file);

    Spit(file, "a@x.org\r\n  C@X.org \r\nnonsense\r\n");
    dialogs.calls.clear();
    dialogs.QueuePath(Q(file));
    Find<QPushButton>("butImportList")->click();
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_EQ(dialogs.calls[1].text,
              QStringLiteral("Invalid names: 1\r\nDuplicate names: 1\r\nNew names imported: 1"));
    EXPECT_EQ(Find<QListWidget>("lstMembers")->count(), 3);
    EXPECT_EQ(Find<QLabel>("lblTotalMembers")->text(), QStringLiteral("3"));
    EXPECT_EQ(Find<QListWidget>("lstMembers")->item(2)->text(), QStringLiteral("c@x.org"));

    // Cancelled dialogs do nothing.
    dialogs.QueuePath(QString());
    Find<QPushButton>("butImportList")->click();
    EXPECT_EQ(Find<QListWidget>("lstMembers")->count(), 3);
}

TEST_F(RosterTest, DeliveryShowsAndChangesTheSelectedMembersMode) {
    WriteSection(paths.ListDataFile(kList), "MemberList",
                 {"ann@example.org 0 111111", "bob@example.org 0 222222"});
    Spit(paths.appDir + kList + ".modes", "bob@example.org nomail\r\n");
    Open();
    auto* members = Find<QListWidget>("lstMembers");
    auto* delivery = Find<QComboBox>("cmbDeliveryMode");
    EXPECT_FALSE(delivery->isEnabled());  // nobody selected yet
    members->setCurrentRow(1);
    EXPECT_TRUE(delivery->isEnabled());
    EXPECT_EQ(delivery->currentText(), QStringLiteral("nomail"));
    members->setCurrentRow(0);
    EXPECT_EQ(delivery->currentText(), QStringLiteral("each"));

    delivery->setCurrentIndex(delivery->findText(QStringLiteral("plain-digest")));
    emit delivery->activated(delivery->currentIndex());
    EXPECT_EQ(Slurp(paths.appDir + kList + ".modes"),
              "ann@example.org plain-digest\r\nbob@example.org nomail\r\n");
    EXPECT_EQ(LogLines(), Lines{std::string(kStamp) +
                                "Default List: ~ ann@example.org(mode plain-digest, manual)"});
    EXPECT_EQ(S(members->currentItem()->text()), "ann@example.org");
    EXPECT_EQ(members->currentItem()->toolTip(), QStringLiteral("Delivery: plain-digest"));
    EXPECT_TRUE(dialogs.calls.empty());
}

}  // namespace
}  // namespace corvanteer::testing
