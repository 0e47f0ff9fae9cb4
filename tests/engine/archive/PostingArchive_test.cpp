#include "engine/archive/PostingArchive.h"

#include <gtest/gtest.h>

#include "../EngineFixture.h"
#include "engine/archive/MboxStore.h"
#include "engine/archive/MessageFacts.h"
#include "support/Files.h"

namespace corvanteer::archive {
namespace {

TEST(ArchiveHeaderLinesTest, PublishedBaseGivesBothLinesAndAnythingUnsafeGivesNone) {
    const std::string page = MessagePageOf("p1@example.org");
    struct Case {
        std::string base;
        std::string messageId;
        Lines expected;
    } cases[] = {
        {"https://lists.example.org/news",
         "<p1@example.org>",
         {"List-Archive: <https://lists.example.org/news>",
          "Archived-At: <https://lists.example.org/news/" + page + ">"}},
        // A trailing slash is not doubled; blanks around the setting are not part of it.
        {" https://lists.example.org/news/ ",
         "<p1@example.org>",
         {"List-Archive: <https://lists.example.org/news/>",
          "Archived-At: <https://lists.example.org/news/" + page + ">"}},
        {"https://lists.example.org/news", "", {"List-Archive: <https://lists.example.org/news>"}},
        {"", "<p1@example.org>", {}},
        // Anything that would end the bracket or the line, or is no URL character.
        {"https://x.example/a>b", "<p1@example.org>", {}},
        {"https://x.example/a\r\nBcc: victim@example.org", "<p1@example.org>", {}},
        {"https://x.example/a b", "<p1@example.org>", {}},
        {"https://x.example/\xc3\xa4", "<p1@example.org>", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ArchiveHeaderLines(c.base, c.messageId), c.expected) << c.base;
    }
}

class PostingArchiveTest : public testing::EngineTest {
protected:
    PostingArchiveTest() {
        AddList("news");
        AddList("talk");
        AddList("quiet");
    }
    void Post(const std::string& list, const std::string& id) {
        const std::string message = "Subject: hello\r\nMessage-ID: <" + id + ">\r\n\r\nBody\r\n";
        EXPECT_TRUE(KeepDistributedPosting(services, list, message, list + "@example.test"));
    }
    bool Built(const std::string& list) {
        return FileExists(paths.HtmlArchiveFolder(list) + "index.html");
    }
};

TEST_F(PostingArchiveTest, AnArchiveThatCannotBeWrittenIsLoggedAndNothingStops) {
    // A file where the mbox folder belongs.
    ForceDirectories(paths.appDir + "Lists/news/");
    WriteFileAtomic(paths.MboxFolder("news").substr(0, paths.MboxFolder("news").size() - 1), "x");
    EXPECT_FALSE(KeepDistributedPosting(services, "news", "Subject: a\r\n\r\nb\r\n", "n@x"));
    const auto lines = LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("news: the posting was not archived: "), std::string::npos)
        << lines.back();
}

TEST_F(PostingArchiveTest, OnlyListsWithHtmlArchiveOnAreBuiltAfterTheScanOnceEach) {
    store->WriteRegBool(ListKey("news"), "HtmlArchive", true);
    store->WriteRegBool(ListKey("talk"), "HtmlArchive", true);
    Post("news", "a@x");
    Post("news", "b@x");
    Post("quiet", "c@x");
    // talk's archive folder is taken by a file: its build fails, the others still happen.
    Post("talk", "d@x");
    const std::string talkOut = paths.HtmlArchiveFolder("talk");
    ForceDirectories(paths.appDir + "Lists/talk/");
    WriteFileAtomic(talkOut.substr(0, talkOut.size() - 1), "x");

    BuildPostedArchives(services, {"talk", "news", "news", "quiet"});
    EXPECT_TRUE(Built("news"));
    EXPECT_FALSE(Built("quiet"));
    EXPECT_NE(ReadFile(paths.HtmlArchiveFolder("news") + "index.html").find("2026-03"),
              std::string::npos);
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("talk: the HTML archive could not be built: "), std::string::npos)
        << lines[0];
}

}  // namespace
}  // namespace corvanteer::archive
