#include "app/PostingValues.h"

#include <gmock/gmock.h>

#include "AppFixture.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;

class PostingValuesTest : public AppTest {
protected:
    PostingValuesTest() { MakeList("news"); }
};

TEST_F(PostingValuesTest, AbsentValuesTakeTheWindowsShownDefaults) {
    ManualPosting posting = LoadPostingValues(services, "news");
    EXPECT_EQ(posting.listName, "news");
    EXPECT_EQ(posting.postingMethod, 0);
    EXPECT_EQ(posting.listTo, kListToPlaceholder);
    EXPECT_TRUE(posting.hideSenderEmail);
    EXPECT_EQ(posting.changeSenderEmailTo, "");  // the list posting address takes its place
    EXPECT_EQ(posting.listPostingAddress, "");
    EXPECT_TRUE(posting.members.empty());
    EXPECT_EQ(posting.signature, "");
    // Bounce handling is on: individual copies carry member tokens under the one key.
    EXPECT_EQ(posting.memberTokenKey.size(), 64u);
    store->WriteRegBool(ListKey("news"), "BounceProcessing", false);
    EXPECT_EQ(LoadPostingValues(services, "news").memberTokenKey, "");
}

TEST_F(PostingValuesTest, StoredValuesSectionsAndRosterAreUsed) {
    const std::string key = ListKey("news");
    store->WriteRegInteger(key, "PostingMethod", 1);
    store->WriteRegBool(key, "HideSenderEmail", false);
    store->WriteRegString(key, "ListTo", "news-all@example.test");
    store->WriteRegString(key, "ListPostingAddress", "news@example.test");
    store->WriteRegString(key, "Pop3Host", "pop.example.test");
    SetSection("news", "ExtraHeaders", {"X-List: news"});
    SetSection("news", "Signature", {"-- ", "news"});
    SetSection(
        "news", "MemberList",
        {"bob@example.test 1 222222", "amy@example.test 0 111111", "cy@example.test 0 333333"});
    ForceDirectories(paths.appDir + "Lists/news");
    Spit(paths.BounceStateFile("news"), "cy@example.test 0.0 - - hand 2026-03-09 0 - -\r\n");

    ManualPosting posting = LoadPostingValues(services, "news");
    EXPECT_EQ(posting.postingMethod, 1);
    EXPECT_FALSE(posting.hideSenderEmail);
    EXPECT_EQ(posting.listTo, "news-all@example.test");
    EXPECT_EQ(posting.listPostingAddress, "news@example.test");
    EXPECT_EQ(posting.pop3Host, "pop.example.test");
    EXPECT_THAT(posting.extraHeaders, ElementsAre("X-List: news"));
    EXPECT_EQ(posting.signature, ReadSection(DataFile("news"), "Signature"));
    // Banned members receive postings too: the ban only stops them posting. A member whose
    // delivery is disabled does not.
    EXPECT_THAT(posting.members, ElementsAre("amy@example.test", "bob@example.test"));
}

}  // namespace
}  // namespace corvanteer::testing
