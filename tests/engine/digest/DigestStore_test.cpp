#include "engine/digest/DigestStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/TempDir.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DigestStoreTest : public ::testing::Test {
protected:
    DigestStoreTest() : paths(AppPaths::ForDirectory(dir.Path())), store(paths, "news") {}
    std::vector<std::string> Files() const {
        std::vector<std::string> names = ListFiles(DigestFolder(paths, "news"), "");
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
    AppPaths paths;
    DigestStore store;
};

TEST_F(DigestStoreTest, PostingsAreKeptInOrderUntilTheirBatchIsDone) {
    EXPECT_EQ(DigestFolder(paths, "news"), paths.appDir + "Lists/news/digest/");
    EXPECT_THAT(store.Waiting(), IsEmpty());  // no folder yet
    store.Collect("one\r\n");
    store.Collect("two!\r\n");
    EXPECT_THAT(store.Waiting(), ElementsAre("00000001.eml", "00000002.eml"));
    EXPECT_EQ(store.WaitingBytes(), 11u);
    EXPECT_EQ(store.Read("00000002.eml"), "two!\r\n");

    DigestBatch batch{
        1, 4, "2026-03-09", {DeliveryMode::Digest, DeliveryMode::PlainDigest}, store.Waiting()};
    store.StartBatch(batch, {"mime digest", "plain digest"});
    // A posting collected while the digest goes out waits for the next one.
    store.Collect("three\r\n");
    EXPECT_THAT(store.Waiting(), ElementsAre("00000003.eml"));
    EXPECT_EQ(store.WaitingBytes(), 7u);

    // A session that stopped here finds the batch as it was written.
    DigestStore later(paths, "news");
    std::optional<DigestBatch> open = later.OpenBatch();
    ASSERT_TRUE(open);
    EXPECT_EQ(open->volume, 1);
    EXPECT_EQ(open->issue, 4);
    EXPECT_EQ(open->day, "2026-03-09");
    EXPECT_THAT(open->kinds, ElementsAre(DeliveryMode::Digest, DeliveryMode::PlainDigest));
    EXPECT_THAT(open->postings, ElementsAre("00000001.eml", "00000002.eml"));
    EXPECT_EQ(later.Message(DeliveryMode::PlainDigest), "plain digest");

    later.KindDone(*open, DeliveryMode::Digest);
    EXPECT_EQ(later.Message(DeliveryMode::Digest), std::nullopt);
    ASSERT_TRUE(later.OpenBatch());
    EXPECT_THAT(later.OpenBatch()->kinds, ElementsAre(DeliveryMode::PlainDigest));
    later.KindDone(*open, DeliveryMode::PlainDigest);
    EXPECT_FALSE(later.OpenBatch());
    EXPECT_THAT(Files(), ElementsAre("00000003.eml"));

    // Numbering goes on after the highest posting kept.
    later.Collect("four\r\n");
    EXPECT_THAT(later.Waiting(), ElementsAre("00000003.eml", "00000004.eml"));
}

TEST_F(DigestStoreTest, AStopWhileFinishingNeverLetsANewPostingTakeAGoneOnesName) {
    store.Collect("one\r\n");
    DigestBatch batch{1, 1, "2026-03-09", {DeliveryMode::Digest}, store.Waiting()};
    store.StartBatch(batch, {"digest"});
    // Stopped after the posting went, before batch.txt did.
    std::remove((DigestFolder(paths, "news") + "00000001.eml").c_str());
    store.Collect("two\r\n");
    EXPECT_THAT(store.Postings(), ElementsAre("00000002.eml"));
    // The next session finishes the old batch; the new posting waits on.
    std::optional<DigestBatch> open = store.OpenBatch();
    ASSERT_TRUE(open);
    store.KindDone(*open, DeliveryMode::Digest);
    EXPECT_THAT(store.Waiting(), ElementsAre("00000002.eml"));
}

TEST_F(DigestStoreTest, ABatchFileThatCannotBeReadCountsAsNone) {
    store.Collect("one\r\n");
    ForceDirectories(DigestFolder(paths, "news"));
    for (const char* text :
         {"", "Volume x\r\nIssue 2\r\nDay 2026-01-01\r\n", "Volume 1\r\nIssue 2\r\n", "garbage"}) {
        WriteFileAtomic(DigestFolder(paths, "news") + "batch.txt", text);
        EXPECT_FALSE(store.OpenBatch()) << text;
        EXPECT_THAT(store.Waiting(), ElementsAre("00000001.eml")) << text;
    }
    // Files that are not postings are never taken for one.
    WriteFileAtomic(DigestFolder(paths, "news") + "notes.eml", "x");
    WriteFileAtomic(DigestFolder(paths, "news") + "00000009.eml.tmp", "x");
    EXPECT_THAT(store.Postings(), ElementsAre("00000001.eml"));
}

}  // namespace
}  // namespace corvanteer::testing
