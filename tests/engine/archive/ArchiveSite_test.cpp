#include "engine/archive/ArchiveSite.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "common/TempDir.h"
#include "engine/archive/Mbox.h"
#include "support/Files.h"

namespace corvanteer::archive {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kMay2026 = 1777636800;

std::string Posting(const std::string& id, const std::string& subject, const std::string& date,
                    const std::string& extraHeaders = "", const std::string& body = "Hello.\n") {
    return "From: Anna Example <anna@example.org>\nSubject: " + subject + "\nMessage-ID: <" + id +
           ">\nDate: " + date + "\n" + extraHeaders + "\n" + body;
}

// Every file below root with its bytes, by path relative to root.
std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), root).string()] = ReadFile(entry.path().string());
        }
    }
    return files;
}

int64_t ChangeTime(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return static_cast<int64_t>(st.st_ino) * 1000000000LL + st.st_mtim.tv_nsec;
}

class ArchiveSiteTest : public ::testing::Test {
protected:
    ArchiveSiteTest() {
        info.listName = "news";
        info.description = "News of the <club>.\n\nSecond paragraph.";
        info.listServerAddress = "server@example.org";
        info.membersNow = 3;
        info.memberChanges = {{"2026-04", 2}, {"2026-05", 1}};
        Add("2026-04", Posting("old@x", "April news", "Wed, 1 Apr 2026 10:00:00 +0000"));
        Add("2026-05", Posting("a@x", "Meeting", "Fri, 1 May 2026 10:00:00 +0000"));
        Add("2026-05",
            Posting("b@x", "=?UTF-8?B?w5xiZXIgZGFzIFRyZWZmZW4=?=", "Fri, 1 May 2026 11:00:00 +0000",
                    "In-Reply-To: <a@x>\nReferences: <a@x>\n"));
        Add("2026-05", Posting("c@x", "Meeting", "Fri, 1 May 2026 12:00:00 +0000",
                               "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=z\n",
                               "--z\nContent-Type: text/plain\n\nSee attached.\n--z\n"
                               "Content-Type: text/html; name=x.html\nContent-Disposition: "
                               "attachment; filename=x.html\n\n<script>x</script>\n--z--\n"));
    }

    void Add(const std::string& month, const std::string& message) {
        store.Append(month, MboxRecord(message, "news@example.org", kMay2026));
    }
    std::string Out(const std::string& name = "site") const { return dir.File(name) + "/"; }
    std::string Page(const std::string& id) const { return Out() + MessagePageOf(id); }

    testing::TempDir dir;
    MboxStore store{dir.File("mbox")};
    SiteInfo info;
};

TEST_F(ArchiveSiteTest, WritesTheListPageMonthsThreadsAndMessages) {
    const BuildReport report = BuildSite(store, Out(), info);
    EXPECT_EQ(report.messages, 4u);
    EXPECT_EQ(report.months, 2u);
    EXPECT_EQ(report.pagesWritten, 1u + 4u + 4u);

    const std::string index = ReadFile(Out() + "index.html");
    EXPECT_NE(index.find("<p>News of the &lt;club&gt;.</p>\n<p>Second paragraph.</p>"),
              std::string::npos);
    EXPECT_NE(index.find("mailto:server@example.org?subject=subscribe%20news"), std::string::npos);
    EXPECT_NE(index.find("<code>unsubscribe news</code>"), std::string::npos);
    EXPECT_NE(index.find("<title>2026-05: 3 postings</title>"), std::string::npos);
    EXPECT_NE(index.find("<title>2026-04: 1 posting</title>"), std::string::npos);
    EXPECT_NE(index.find("<title>2026-04: 2 members</title>"), std::string::npos);
    EXPECT_NE(index.find("<title>2026-05: 3 members</title>"), std::string::npos);
    EXPECT_LT(index.find("May 2026"), index.find("April 2026"));  // newest first

    const std::string threads = ReadFile(Out() + "2026-05/threads.html");
    // b answers a; c, with the same subject as a but no reference, has a thread of its own.
    EXPECT_NE(threads.find("3 messages in 2 threads."), std::string::npos);
    EXPECT_NE(threads.find("\n<ul><li><a href=\"../" + MessagePageOf("b@x") +
                           "\">\xc3\x9c"
                           "ber"),
              std::string::npos)
        << threads;

    const std::string reply = ReadFile(Page("b@x"));
    EXPECT_NE(reply.find("<h1>\xc3\x9c"
                         "ber das Treffen</h1>"),
              std::string::npos);
    EXPECT_NE(reply.find("id=\"parent\" href=\"" + PageBase(MessagePageOf("a@x")) + ".html\""),
              std::string::npos);
    EXPECT_NE(reply.find("id=\"next\" rel=\"next\" href=\"" + PageBase(MessagePageOf("c@x"))),
              std::string::npos);
    EXPECT_NE(reply.find("&lt;an...@example.org&gt;"), std::string::npos);

    // The attachment lies beside its page, under a name no browser renders as a page.
    const std::string attachment =
        Out() + "msg/" + PageBase(MessagePageOf("c@x")) + "/1-x.html.txt";
    EXPECT_EQ(ReadFile(attachment), "<script>x</script>");

    for (const auto& [path, bytes] : Tree(Out())) {
        if (!EndsWith(path, ".html")) {
            continue;
        }
        EXPECT_TRUE(StartsWith(bytes,
                               "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta "
                               "charset=\"utf-8\">\n<meta name=\"viewport\""))
            << path;
        EXPECT_NE(bytes.find("<title>"), std::string::npos) << path;
        EXPECT_EQ(bytes.find("<script"), std::string::npos) << path;
        EXPECT_EQ(bytes.find("anna@example.org"), std::string::npos) << path;
        EXPECT_TRUE(EndsWith(bytes, "</body>\n</html>\n")) << path;
    }
}

TEST_F(ArchiveSiteTest, TheSameMboxGivesTheSameBytesAndAddressesShowWhenAsked) {
    BuildSite(store, Out("one"), info);
    BuildSite(store, Out("two"), info);
    EXPECT_EQ(Tree(Out("one")), Tree(Out("two")));

    info.showAddresses = true;
    const BuildReport report = BuildSite(store, Out("one"), info);
    EXPECT_EQ(report.pagesWritten, 4u);  // the message pages; the lists show names only
    EXPECT_NE(ReadFile(Out("one") + MessagePageOf("a@x")).find("&lt;anna@example.org&gt;"),
              std::string::npos);
}

TEST_F(ArchiveSiteTest, AnIncrementalBuildWritesOnlyThePagesThatChanged) {
    BuildSite(store, Out(), info);
    const int64_t untouched = ChangeTime(Page("a@x"));
    const int64_t april = ChangeTime(Out() + "2026-04/threads.html");

    EXPECT_EQ(BuildSite(store, Out(), info).pagesWritten, 0u);

    Add("2026-05", Posting("d@x", "Renamed", "Fri, 1 May 2026 13:00:00 +0000",
                           "In-Reply-To: <b@x>\nReferences: <a@x> <b@x>\n"));
    const BuildReport report = BuildSite(store, Out(), info);
    // d itself; c (next by date), b (next in thread, replies); index, threads, date.
    EXPECT_EQ(report.pagesWritten, 6u);
    EXPECT_EQ(ChangeTime(Page("a@x")), untouched);
    EXPECT_EQ(ChangeTime(Out() + "2026-04/threads.html"), april);
    EXPECT_TRUE(FileExists(Page("d@x")));

    // A page removed by hand is written again; one of a month that went away is removed.
    DeleteFileIfExists(Page("a@x"));
    DeleteFileIfExists(store.MonthFile("2026-04"));
    const BuildReport again = BuildSite(store, Out(), info);
    EXPECT_TRUE(FileExists(Page("a@x")));
    EXPECT_EQ(again.pagesRemoved, 3u);
    EXPECT_FALSE(FileExists(Page("old@x")));
    EXPECT_FALSE(FileExists(Out() + "2026-04/date.html"));
}

}  // namespace
}  // namespace corvanteer::archive
