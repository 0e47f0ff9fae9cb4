// The bounce controls: the Options page's settings and the Members page's bounce list, where
// a disabled member is enabled again.

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include "GuiFixture.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

using BouncesTest = GuiTest;

const std::string kList = "Default List";

TEST_F(BouncesTest, OptionsStoreTheRulesAndMembersShowsAndEnablesADisabledMember) {
    WriteSection(
        paths.ListDataFile(kList), "MemberList",
        {"amy@example.org 0 111111", "bo@example.org 0 222222", "cy@example.org 0 333333"});
    ForceDirectories(paths.appDir + "Lists/" + kList);
    Spit(paths.BounceStateFile(kList),
         "amy@example.org 5.0 2026-03-08 5.1.1 bounces 2026-03-08 1 2026-03-08 enable-A\r\n"
         "bo@example.org 1.5 2026-03-09 4.2.2 no - 0 - -\r\n");
    Open();

    auto* threshold = Find<QSpinBox>("spinBounceScoreThreshold");
    EXPECT_EQ(threshold->value(), 5);
    threshold->setValue(8);
    EXPECT_EQ(store->ReadRegInteger(ListKey(kList), "BounceScoreThreshold", 0), 8);

    // A list without a notice text of its own shows (and sends) the default one.
    EXPECT_TRUE(Find<QPlainTextEdit>("memoBounceDisabled")->placeholderText().contains("{Code}"));

    auto* bounces = Find<QListWidget>("lstBounces");
    ASSERT_EQ(bounces->count(), 2);
    EXPECT_EQ(bounces->item(0)->text(),
              QStringLiteral("amy@example.org - delivery disabled, score 5.0"));
    EXPECT_EQ(bounces->item(1)->text(), QStringLiteral("bo@example.org - score 1.5"));
    EXPECT_EQ(Find<QLabel>("lblDisabledMembers")->text(), QStringLiteral("1"));

    bounces->setCurrentRow(0);
    Find<QPushButton>("butEnableMember")->click();
    ASSERT_EQ(Find<QListWidget>("lstBounces")->count(), 1);
    EXPECT_EQ(Find<QLabel>("lblDisabledMembers")->text(), QStringLiteral("0"));
    EXPECT_EQ(LogLines(), Lines{std::string(kStamp) +
                                "Default List: + amy@example.org(delivery enabled, by hand)"});
    EXPECT_EQ(
        Find<QListWidget>("lstLatestActions")->item(0)->text(),
        QString::fromStdString(std::string(kShortDate) + " + amy@example.org(delivery enabled)"));
}

}  // namespace
}  // namespace corvanteer::testing
