#include "engine/archive/FactsIndex.h"

#include <gtest/gtest.h>

#include "common/TempDir.h"
#include "engine/archive/Mbox.h"
#include "support/Files.h"

namespace corvanteer::archive {
namespace {

std::string Record(const std::string& id, const std::string& subject) {
    return MboxRecord(
        "Message-ID: <" + id + ">\nSubject: " + subject + "\nReferences: <a@x>\t<b c@x>\n\nbody\n",
        "l@x", 1777636800);
}

std::vector<std::string> Summary(const std::vector<MessageFacts>& all) {
    std::vector<std::string> lines;
    for (const MessageFacts& facts : all) {
        std::string refs;
        for (const std::string& id : facts.references) {
            refs += "[" + id + "]";
        }
        lines.push_back(facts.month + " " + std::to_string(facts.offset) + " " +
                        std::to_string(facts.length) + " " + facts.messageId + " " + facts.subject +
                        " " + refs + " " + facts.hash.substr(0, 8));
    }
    return lines;
}

TEST(FactsIndexTest, TheIndexFollowsAppendsAndIsReadAnewWhenAFileChangedOtherwise) {
    testing::TempDir dir;
    MboxStore store(dir.File("mbox"));
    store.Append("2026-05", Record("1@x", "one\ttab \\ back"));
    store.Append("2026-04", Record("2@x", "two"));
    const std::vector<std::string> first = Summary(UpdateFactsIndex(store));
    ASSERT_EQ(first.size(), 2u);
    EXPECT_TRUE(FileExists(FactsIndexFile(store)));
    // Read from the index alone, it gives the same.
    EXPECT_EQ(Summary(UpdateFactsIndex(store)), first);

    store.Append("2026-05", Record("3@x", "three"));
    std::vector<std::string> grown = Summary(UpdateFactsIndex(store));
    ASSERT_EQ(grown.size(), 3u);
    EXPECT_TRUE(StartsWith(
        grown[2], "2026-05 " + std::to_string(Record("1@x", "one\ttab \\ back").size()) + " "));
    std::vector<std::string> whole;
    for (const std::string& month : store.Months()) {
        for (const std::string& line : Summary(ReadFactsOfMonth(month, store.ReadMonth(month)))) {
            whole.push_back(line);
        }
    }
    EXPECT_EQ(grown, whole);

    // A month file rewritten by hand (same length, other bytes), and a damaged index.
    WriteFileAtomic(store.MonthFile("2026-04"), Record("9@x", "nin"));
    EXPECT_TRUE(
        StartsWith(Summary(UpdateFactsIndex(store))[0],
                   "2026-04 0 " + std::to_string(Record("9@x", "nin").size()) + " 9@x nin"));
    WriteFileAtomic(FactsIndexFile(store), "corvanteer-archive-index 1\nM\t2026-05\tx\n");
    EXPECT_EQ(UpdateFactsIndex(store).size(), 3u);
}

}  // namespace
}  // namespace corvanteer::archive
