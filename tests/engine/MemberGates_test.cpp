// The member gate on the roads by mail: a subscription request, a verification reply and a
// moderator's "addu" never make a member of an address no mail server takes; each is logged.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "RequestFixture.h"
#include "engine/ModeratorCommands.h"
#include "engine/RequestRules.h"
#include "engine/Subscription.h"
#include "support/Address.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Each passes IsValidEmail (which let them all in before) and fails the gate.
const std::vector<std::string> kUnusable = {
    std::string(65, 'l') + "@example.org",                        // local part over 64
    std::string(60, 'l') + "@" + std::string(190, 'd') + ".org",  // 255 octets
    std::string("jo\0e@example.org", 16),                         // NUL
    "jo\x01"
    "e@example.org",  // control character
    "j\xC3\xB6"
    "e@example.org",  // bytes over 127
};

class MemberGatesTest : public RequestTest {
protected:
    MemberGatesTest() {
        AddList("news");
        SetString("news", "Moderators", "mod@example.org");
    }

    void ExpectRefused(const std::string& address, const Lines& vericode = {}) {
        EXPECT_EQ(Section("news", "MemberList"), "") << PrintableAddress(address);
        EXPECT_THAT(smtp.sent, IsEmpty());
        EXPECT_EQ(Vericode(), vericode);
        EXPECT_THAT(LogTexts(),
                    ElementsAre("news: x " + PrintableAddress(address) + "(invalid address)"));
    }
};

TEST_F(MemberGatesTest, SubscriptionRequestWithAndWithoutVerification) {
    for (bool verify : {false, true}) {
        SetBool("news", "VerifySubscribe", verify);
        for (const std::string& address : kUnusable) {
            DeleteFileIfExists(paths.LogFile());
            ScanContext context = Request(address, "subscribe news");
            ApplyRequestRules(context, services);
            ExpectRefused(address);
        }
    }
}

TEST_F(MemberGatesTest, VerificationReplyWithAPendingCode) {
    for (const std::string& address : kUnusable) {
        DeleteFileIfExists(paths.LogFile());
        // A line an earlier version may have written for such an address; it stays.
        const std::string pending = "authnews2603091405000 " + address;
        WriteFileAtomic(paths.VericodeFile(), pending + "\r\n");
        ScanContext context = Request(address, "Re: (authnews2603091405000)");
        ApplyRequestRules(context, services);
        ExpectRefused(address, {pending});
    }
}

TEST_F(MemberGatesTest, ModeratorAddu) {
    for (const std::string& address : kUnusable) {
        DeleteFileIfExists(paths.LogFile());
        pop3.AddMailbox("ls.example.test", 110, "ls", "pw");
        pop3.Put("ls.example.test", 110, "ls",
                 "From: mod@example.org\r\nSubject: comm\r\n\r\ncomm begin\r\nlist news\r\naddu " +
                     address + "\r\naddu fine@example.org\r\ncomm end\r\n");
        pop3.HostAddress = "ls.example.test";
        pop3.Port = 110;
        pop3.User = "ls";
        pop3.Password = "pw";
        ASSERT_TRUE(pop3.Login());
        pop3.Top(1);  // as phase 1 leaves it
        ScanContext context = Request("mod@example.org", "comm");
        context.MessageNumber = 1;
        ProcessModeratorCommands(context, services);
        const Lines roster = SectionLines("news", "MemberList");
        ASSERT_EQ(roster.size(), 1u);
        EXPECT_TRUE(StartsWith(roster[0], "fine@example.org 0 ")) << roster[0];
        EXPECT_EQ(LogTexts().front(),
                  "news: x " + PrintableAddress(LowerCase(address)) + "(invalid address)");
        SetSection("news", "MemberList", "");
    }
}

}  // namespace
}  // namespace corvanteer::testing
