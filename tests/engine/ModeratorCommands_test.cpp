#include "engine/ModeratorCommands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "RequestFixture.h"
#include "engine/RequestRules.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;

class ModeratorCommandsTest : public RequestTest {
protected:
    ModeratorCommandsTest() {
        AddList("news");
        SetString("news", "Moderators", "other@example.org\r\nMod@Example.ORG secret");
    }

    // Puts the message in the List Server mailbox and leaves it as phase 1 does: mailbox
    // open, message 1's header fetched with TOP.
    void Deliver(const std::string& from, const std::string& body) {
        pop3.AddMailbox("ls.example.test", 110, "ls", "pw");
        pop3.Put("ls.example.test", 110, "ls",
                 "From: " + from + "\r\nSubject: comm\r\n\r\n" + body);
        pop3.HostAddress = "ls.example.test";
        pop3.Port = 110;
        pop3.User = "ls";
        pop3.Password = "pw";
        ASSERT_TRUE(pop3.Login());
        pop3.Top(1);
    }

    ScanContext Run(const std::string& body, const std::string& from = "Mod <mod@example.org>",
                    ScanContext context = ScanContext()) {
        Deliver(from, body);
        context.MessageNumber = 1;
        context.Subject = "comm";
        ProcessModeratorCommands(context, services);
        return context;
    }

    static bool IsNewEntry(const std::string& entry, const std::string& address) {
        return std::regex_match(entry, std::regex(address + " 0 [1-9][0-9]{5}"));
    }
};

TEST_F(ModeratorCommandsTest, BlockAddsAndRemovesWithKeywordsInAnyCaseAndLength) {
    SetSection("news", "MemberList",
               "zed@example.org 0 654321\r\nold@example.org 0 123456\r\n"
               "dup@example.org 1 222222\r\ndup@example.org 0 111111");
    ScanContext context =
        Run("addu early@example.org\r\n"
            "COMM BEGIN\r\n"
            "\tList   news \r\n"
            "ADDU New@Example.org\r\n"
            "adduser second@example.org\r\n"
            "remove old@example.org\r\n"
            "Remo dup@example.org\r\n"
            "remo nobody@example.org\r\n"
            "addu ZED@example.org\r\n"
            "addu not-an-address\r\n"
            "addu .dot@example.org\r\n"
            "delete zed@example.org\r\n"
            "comm end\r\n"
            "addu late@example.org\r\n");

    EXPECT_THAT(pop3.log, ElementsAre("LOGIN ls", "TOP 1", "RETR 1"));
    Lines roster = SectionLines("news", "MemberList");
    ASSERT_EQ(roster.size(), 4u) << JoinLines(roster);
    EXPECT_EQ(roster[0], "dup@example.org 1 222222");
    EXPECT_TRUE(IsNewEntry(roster[1], "new@example.org")) << roster[1];
    EXPECT_TRUE(IsNewEntry(roster[2], "second@example.org")) << roster[2];
    EXPECT_EQ(roster[3], "zed@example.org 0 654321");
    EXPECT_THAT(SectionLines("news", "Latest_Actions"),
                ElementsAre("03/09/26 - dup@example.org", "03/09/26 - old@example.org",
                            "03/09/26 + second@example.org", "03/09/26 + new@example.org"));
    EXPECT_THAT(LogTexts(), ElementsAre("news: + new@example.org(added by moderator)",
                                        "news: + second@example.org(added by moderator)",
                                        "news: - old@example.org(removed by moderator)",
                                        "news: - dup@example.org(removed by moderator)"));
    EXPECT_EQ(observer.rosterChanges.size(), 5u);
    EXPECT_EQ(context.ListName, "news");
    EXPECT_TRUE(smtp.sent.empty());
}

TEST_F(ModeratorCommandsTest, OnlyATwoWordBeginLineOpensTheBlock) {
    Run("comm begin now\r\nlist news\r\naddu a@example.org\r\n");
    Run("list news\r\naddu b@example.org\r\ncomm begin\r\n");
    EXPECT_EQ(Section("news", "MemberList"), "");
    EXPECT_TRUE(LogLines().empty());

    // A block without an end line runs to the end of the body.
    Run("comm  Begin\r\nlist NEWS\r\naddu c@example.org\r\n");
    Lines roster = SectionLines("news", "MemberList");
    ASSERT_EQ(roster.size(), 1u);
    EXPECT_TRUE(IsNewEntry(roster[0], "c@example.org"));
    EXPECT_THAT(LogTexts(), ElementsAre("NEWS: + c@example.org(added by moderator)"));
}

TEST_F(ModeratorCommandsTest, OthersThanModeratorsChangeNothing) {
    Run("comm begin\r\nlist news\r\naddu a@example.org\r\ncomm end\r\n", "joe@example.org");
    EXPECT_EQ(Section("news", "MemberList"), "");
    EXPECT_EQ(Section("news", "Latest_Actions"), "");
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(ModeratorCommandsTest, WithPasswordsRequiredOnlyTheRightPasswordAuthorises) {
    SetBool("news", "RequirePassword", true);
    Run("comm begin\r\nlist news\r\naddu a@example.org\r\ncomm end\r\n");
    Run("comm begin\r\nlist news\r\npass Secret\r\naddu b@example.org\r\ncomm end\r\n");
    EXPECT_EQ(Section("news", "MemberList"), "");
    EXPECT_TRUE(LogLines().empty());

    // A right password is remembered for the list line that follows it.
    Run("comm begin\r\npass secret\r\nlist news\r\naddu c@example.org\r\n"
        "pass wrong\r\naddu d@example.org\r\ncomm end\r\n");
    Lines roster = SectionLines("news", "MemberList");
    ASSERT_EQ(roster.size(), 1u);
    EXPECT_TRUE(IsNewEntry(roster[0], "c@example.org"));
}

TEST_F(ModeratorCommandsTest, PassBeforeAnyListGrantsNothing) {
    // The session handled news last; a block that never names a list must not act on it.
    ScanContext context;
    SelectList(context, services, "news", "news");
    Run("comm begin\r\npass secret\r\naddu a@example.org\r\ncomm end\r\n", "mod@example.org",
        context);
    EXPECT_EQ(Section("news", "MemberList"), "");
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(ModeratorCommandsTest, TwoListsInOneBlockBothKeepTheirChanges) {
    AddList("sport");
    SetString("sport", "Moderators", "mod@example.org");
    Run("comm begin\r\nlist news\r\naddu a@example.org\r\nlist sport\r\n"
        "addu b@example.org\r\ncomm end\r\n");
    Lines news = SectionLines("news", "MemberList");
    Lines sport = SectionLines("sport", "MemberList");
    ASSERT_EQ(news.size(), 1u);
    ASSERT_EQ(sport.size(), 1u);
    EXPECT_TRUE(IsNewEntry(news[0], "a@example.org"));
    EXPECT_TRUE(IsNewEntry(sport[0], "b@example.org"));
    EXPECT_THAT(LogTexts(), ElementsAre("news: + a@example.org(added by moderator)",
                                        "sport: + b@example.org(added by moderator)"));
}

TEST_F(ModeratorCommandsTest, UnknownListEndsTheBlockAndKeepsWhatWasDone) {
    ScanContext context =
        Run("comm begin\r\nlist news\r\naddu a@example.org\r\nlist nosuch\r\nlist news\r\n"
            "addu b@example.org\r\ncomm end\r\n");
    Lines roster = SectionLines("news", "MemberList");
    ASSERT_EQ(roster.size(), 1u);
    EXPECT_TRUE(IsNewEntry(roster[0], "a@example.org"));
    EXPECT_EQ(context.ListName, "nosuch");
    EXPECT_FALSE(FileExists(DataFile("nosuch")));
}

TEST_F(ModeratorCommandsTest, AuthorityIsAlwaysTheSendersNotTheLastMemberAddress) {
    AddList("sport");
    SetString("sport", "Moderators", "boss@example.org");  // the sender is not one
    Run("comm begin\r\nlist news\r\naddu boss@example.org\r\nlist sport\r\n"
        "addu intruder@example.org\r\npass secret\r\naddu intruder2@example.org\r\ncomm end\r\n");
    EXPECT_EQ(SectionLines("news", "MemberList").size(), 1u);
    EXPECT_EQ(Section("sport", "MemberList"), "");
    EXPECT_THAT(LogTexts(), ElementsAre("news: + boss@example.org(added by moderator)"));
}

// An observer that runs an action (standing in for an operator's edit) at the first roster
// change of the block.
class EditingObserver : public ScanObserver {
public:
    void RosterChanged(const std::string&) override {
        if (edit) {
            auto once = std::move(edit);
            edit = nullptr;
            once();
        }
    }
    std::function<void()> edit;
};

TEST_F(ModeratorCommandsTest, AnOperatorsEditDuringTheBlockIsNotOverwritten) {
    SetSection("news", "MemberList", "gone@example.org 0 111111");
    EditingObserver editing;
    editing.edit = [&] {
        std::lock_guard<StoreLock> guard(storeLock);
        SetSection("news", "MemberList",
                   "gone@example.org 0 111111\r\nmanual@example.org 1 333333");
    };
    Services withEditor{paths, *store, pop3, smtp, clock, random, editing, storeLock, console};
    Deliver("mod@example.org",
            "comm begin\r\nlist news\r\naddu a@example.org\r\n"
            "remo gone@example.org\r\ncomm end\r\n");
    ScanContext context;
    context.MessageNumber = 1;
    ProcessModeratorCommands(context, withEditor);

    Lines roster = SectionLines("news", "MemberList");
    ASSERT_EQ(roster.size(), 2u) << JoinLines(roster);
    EXPECT_TRUE(IsNewEntry(roster[0], "a@example.org"));
    EXPECT_EQ(roster[1], "manual@example.org 1 333333");
}

TEST_F(ModeratorCommandsTest, CommSubjectReachesTheCommandsThroughTheRequestRules) {
    Deliver("mod@example.org", "comm begin\r\nlist news\r\naddu a@example.org\r\ncomm end\r\n");
    ScanContext context = Request("mod@example.org", "Command");
    ApplyRequestRules(context, services);
    EXPECT_EQ(SectionLines("news", "MemberList").size(), 1u);
}

}  // namespace
}  // namespace corvanteer::testing
