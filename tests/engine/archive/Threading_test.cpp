#include "engine/archive/Threading.h"

#include <gtest/gtest.h>

namespace corvanteer::archive {
namespace {

ThreadInput Message(std::string id, std::string subject, std::string inReplyTo = "",
                    std::vector<std::string> references = {}) {
    return {std::move(id), std::move(inReplyTo), std::move(references), std::move(subject)};
}

TEST(ThreadingTest, ARenamedReplyStaysInItsThreadAndOneSubjectTwiceStaysApart) {
    const std::vector<ThreadLinks> links = ThreadMessages({
        Message("a@x", "Meeting"),  // 0
        Message("b@x", "Meeting"),  // 1: same subject, unrelated
        Message("c@x", "Room changed (was: Meeting)", "a@x", {"a@x"}),  // 2: renamed reply
        Message("d@x", "Re: Meeting", "", {"b@x"}),  // 3: answers 1 by References
    });
    EXPECT_EQ(links[0].parent, -1);
    EXPECT_EQ(links[1].parent, -1);
    EXPECT_NE(links[0].thread, links[1].thread);
    EXPECT_EQ(links[2].parent, 0);
    EXPECT_EQ(links[2].thread, 0);
    EXPECT_EQ(links[3].parent, 1);
    EXPECT_EQ(links[3].thread, 1);
    EXPECT_EQ(links[0].children, std::vector<int>{2});
    EXPECT_EQ(links[0].threadNext, 2);
    EXPECT_EQ(links[2].threadPrev, 0);
    EXPECT_EQ(links[2].threadNext, -1);
}

TEST(ThreadingTest, RepliesToAMessageTheArchiveLacksShareAThread) {
    const std::vector<ThreadLinks> links = ThreadMessages({
        Message("r1@x", "Re: gone", "gone@x", {"gone@x"}),
        Message("other@x", "Other"),
        Message("r2@x", "Re: gone", "", {"root@x", "gone@x"}),
        Message("r3@x", "Re: gone", "r2@x", {"root@x", "gone@x", "r2@x"}),
        // Names only the thread's start, which the archive lacks too.
        Message("r4@x", "Re: gone", "", {"root@x"}),
    });
    for (int i : {0, 2, 3, 4}) {
        EXPECT_EQ(links[static_cast<std::size_t>(i)].thread, 0) << i;
    }
    EXPECT_EQ(links[1].thread, 1);
    EXPECT_EQ(links[0].parent, -1);  // its parent is not in the archive
    EXPECT_EQ(links[2].parent, -1);
    EXPECT_EQ(links[3].parent, 2);  // the latest reference the archive holds
    EXPECT_EQ(links[0].threadNext, 2);
}

TEST(ThreadingTest, TheSubjectDecidesOnlyForAReplyWithoutThreadingHeaders) {
    const std::vector<ThreadLinks> links = ThreadMessages({
        Message("a@x", "[news] Budget 2026"),
        Message("b@x", "RE: [news] budget   2026"),  // 1: reply prefix, no headers -> joins 0
        Message("c@x", "Budget 2026"),               // 2: no prefix -> a thread of its own
        Message("d@x", "Aw: Budget 2026"),           // 3: joins the latest: 2
        Message("e@x", "Re: Nothing like it"),       // 4: no earlier subject -> alone
        Message("f@x", "Re: Budget 2026", "", {"elsewhere@x"}),  // 5: has References
    });
    EXPECT_EQ(links[1].parent, 0);
    EXPECT_EQ(links[1].thread, 0);
    EXPECT_EQ(links[2].parent, -1);
    EXPECT_EQ(links[2].thread, 2);
    EXPECT_EQ(links[3].parent, 2);
    EXPECT_EQ(links[4].thread, 4);
    EXPECT_EQ(links[5].parent, -1);
    EXPECT_EQ(links[5].thread, 5);
}

TEST(ThreadingTest, ReferencesInALoopDoNotMakeOne) {
    const std::vector<ThreadLinks> links = ThreadMessages({
        Message("a@x", "a", "b@x", {"b@x"}), Message("b@x", "b", "a@x", {"a@x"}),
        Message("c@x", "c", "c@x", {"c@x"}),  // names itself
    });
    EXPECT_EQ(links[0].parent, 1);
    EXPECT_EQ(links[1].parent, -1);
    EXPECT_EQ(links[0].thread, links[1].thread);
    EXPECT_EQ(links[2].parent, -1);
    EXPECT_EQ(links[2].thread, 2);
}

TEST(ThreadingTest, BaseSubjects) {
    struct Case {
        const char* subject;
        const char* base;
        bool reply;
    };
    const Case cases[] = {
        {"Hello", "hello", false},
        {"Re: Hello", "hello", true},
        {"RE[2]: re:  Hello ", "hello", true},
        {"[list] Re: [list] Hello", "hello", true},
        {"Fwd: Hello", "hello", false},
        {"Antw: Sv: Hello", "hello", true},
        {"Regarding: x", "regarding: x", false},
        {"[only a tag]", "[only a tag]", false},
    };
    for (const Case& c : cases) {
        bool reply = false;
        EXPECT_EQ(BaseSubject(c.subject, &reply), c.base) << c.subject;
        EXPECT_EQ(reply, c.reply) << c.subject;
    }
}

}  // namespace
}  // namespace corvanteer::archive
