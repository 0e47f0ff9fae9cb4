#include "engine/digest/DeliveryModes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/EngineFixture.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

TEST(DeliveryModeNames, ParseTakesTheFourNamesInAnyCaseAndNothingElse) {
    const struct {
        const char* text;
        std::optional<DeliveryMode> mode;
    } cases[] = {
        {"each", DeliveryMode::Each},
        {"DIGEST", DeliveryMode::Digest},
        {" Plain-Digest ", DeliveryMode::PlainDigest},
        {"nomail", DeliveryMode::NoMail},
        {"plain digest", std::nullopt},
        {"plaindigest", std::nullopt},
        {"", std::nullopt},
        {"no-mail", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseDeliveryMode(c.text), c.mode) << c.text;
    }
    for (DeliveryMode mode : kAllDeliveryModes) {
        EXPECT_EQ(ParseDeliveryMode(DeliveryModeName(mode)), mode);
    }
}

class DeliveryModesTest : public EngineTest {
protected:
    DeliveryModesTest() {
        AddList("news");
        SetSection("news", "MemberList",
                   "Ann@Example.org 0 111111\r\nbob@example.org 1 222222\r\ncy@example.org 0 3");
    }
    std::string File() const { return ModesFile(paths, "news"); }
    std::string Bytes() const { return ReadFileIfExists(File()).value_or("<none>"); }
    ModeChange Change(const std::string& address, DeliveryMode mode) {
        return ChangeMemberMode(paths, storeLock, "news", address, mode);
    }
};

TEST_F(DeliveryModesTest, FileHoldsSortedLowerCaseLinesOfMembersNotInEachMode) {
    EXPECT_EQ(File(), paths.appDir + "news.modes");
    EXPECT_EQ(Change("cy@example.org", DeliveryMode::NoMail), ModeChange::Changed);
    EXPECT_EQ(Change("ANN@example.org", DeliveryMode::PlainDigest), ModeChange::Changed);
    // A banned member chooses how mail reaches them like any other.
    EXPECT_EQ(Change("bob@example.org", DeliveryMode::Digest), ModeChange::Changed);
    EXPECT_EQ(
        Bytes(),
        "ann@example.org plain-digest\r\nbob@example.org digest\r\ncy@example.org nomail\r\n");
    EXPECT_EQ(Change("Cy@Example.org", DeliveryMode::NoMail), ModeChange::Unchanged);

    EXPECT_EQ(Change("ann@example.org", DeliveryMode::Each), ModeChange::Changed);
    EXPECT_EQ(Change("bob@example.org", DeliveryMode::Each), ModeChange::Changed);
    EXPECT_EQ(Bytes(), "cy@example.org nomail\r\n");
    EXPECT_EQ(Change("cy@example.org", DeliveryMode::Each), ModeChange::Changed);
    EXPECT_FALSE(FileExists(File()));  // all back to each: no file at all
}

TEST_F(DeliveryModesTest, OnlyMembersGetAModeAndEntriesOfFormerMembersAreDropped) {
    EXPECT_EQ(Change("dan@example.org", DeliveryMode::Digest), ModeChange::NotMember);
    EXPECT_FALSE(FileExists(File()));

    // A roster replaced behind the program's back leaves an entry nobody owns.
    WriteFileAtomic(File(), "gone@example.org digest\r\nann@example.org nomail\r\n");
    EXPECT_EQ(Change("ann@example.org", DeliveryMode::NoMail), ModeChange::Unchanged);
    EXPECT_EQ(Bytes(), "ann@example.org nomail\r\n");
}

TEST_F(DeliveryModesTest, ReadingSkipsLinesNotOfTheFormAndForgetRemovesOneMember) {
    WriteFileAtomic(File(),
                    "ann@example.org DIGEST\nbroken\n digest\r\nbob@example.org weekly\r\n"
                    "cy@example.org nomail\r\n");
    const MemberModes modes = MemberModes::Read(File());
    EXPECT_THAT(modes.Entries(), ElementsAre(Pair("ann@example.org", DeliveryMode::Digest),
                                             Pair("cy@example.org", DeliveryMode::NoMail)));
    EXPECT_EQ(modes.Of("Ann@Example.ORG"), DeliveryMode::Digest);
    EXPECT_EQ(modes.Of("bob@example.org"), DeliveryMode::Each);

    ForgetMemberMode(paths, "news", "CY@example.org");
    EXPECT_EQ(Bytes(), "ann@example.org digest\r\n");
    ForgetMemberMode(paths, "news", "nobody@example.org");  // nothing to forget: no write
    EXPECT_EQ(Bytes(), "ann@example.org digest\r\n");
}

}  // namespace
}  // namespace corvanteer::testing
