#include "engine/digest/ModeRequests.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/RequestFixture.h"
#include "engine/RequestRules.h"
#include "engine/digest/ModeTexts.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(ModeRequestParsing, FirstWordDecidesAndSetNeedsExactlyListAndMode) {
    using K = ModeRequestKind;
    const struct {
        const char* subject;
        K kind;
        const char* list;
        const char* mode;
    } cases[] = {
        {"set news digest", K::SetMode, "news", "digest"},
        {"SET News NoMail", K::SetMode, "News", "NoMail"},
        {"set news weekly", K::SetMode, "news", "weekly"},  // the mode is judged later
        {"set news", K::Malformed, "news", ""},
        {"set", K::Malformed, "", ""},
        {"set news digest now", K::Malformed, "news", ""},
        {"which", K::Which, "", ""},
        {"Which lists am I on?", K::Which, "lists", ""},
        {"LISTS", K::Lists, "", ""},
        {"listserv news", K::Unknown, "news", ""},
        {"settings news digest", K::Unknown, "news", ""},
        {"Re: set news digest", K::Unknown, "set", ""},
        {"", K::Unknown, "", ""},
    };
    for (const auto& c : cases) {
        const ModeRequest request = ParseModeRequest(c.subject);
        EXPECT_EQ(request.kind, c.kind) << c.subject;
        EXPECT_EQ(request.list, c.list) << c.subject;
        EXPECT_EQ(request.mode, c.mode) << c.subject;
    }
}

TEST(ModeCodes, LastDigitNamesTheModeAndASubscriptionCodeIsNone) {
    FakeClock clock;
    clock.Set(2026, 3, 9, 14, 5, 0);
    EXPECT_EQ(MakeModeCode("news", clock.Now(), DeliveryMode::Each), "authnews2603091405001");
    EXPECT_EQ(MakeModeCode("news", clock.Now(), DeliveryMode::NoMail), "authnews2603091405004");
    for (DeliveryMode mode : kAllDeliveryModes) {
        EXPECT_EQ(ModeOfVerificationText("(" + MakeModeCode("n", clock.Now(), mode) + ")"), mode);
    }
    EXPECT_EQ(ModeOfVerificationText("(authnews2603091405000)"), std::nullopt);
    EXPECT_EQ(ModeOfVerificationText("(authnews2603091405002) thanks"), std::nullopt);
}

class ModeRequestsTest : public RequestTest {
protected:
    ModeRequestsTest() {
        AddList("news");
        AddList("closed");
        SetBool("closed", "AllowUserSubscribe", false);
        SetString("news", "ListPostingAddress", "news@example.test");
        SetString("news", "ModeChangedSubject", "Mode changed");
        SetSection("news", "MemberList", "joe@example.org 1 111111\r\nann@example.org 0 222222");
        SetSection("closed", "MemberList", "Joe@Example.org 0 333333");
        SetSection("news", "Mode_Changed", "{Email} gets {ListName} as {Mode}.");
        SetSection("news", "Mode_Verify", "Confirm {Mode} for {ListName}");
        SetSection("news", "Not_Member", "Not in {ListName}");
        SetSection("news", "Help", "Help for {ListName}");
        SetSection("news", "Verify_Error", "Bad code");
    }

    void Apply(const std::string& subject, const std::string& from = "joe@example.org") {
        ScanContext context = Request(from, subject);
        ApplyRequestRules(context, services);
    }
    // The body and subject of the last answer.
    std::string LastBody() const { return JoinLines(AfterHeader(smtp.sent.back().message)); }
    std::string LastSubject() const { return smtp.sent.back().message[2]; }
    static Lines AfterHeader(const Lines& message) {
        auto blank = std::find(message.begin(), message.end(), "");
        return Lines(blank == message.end() ? blank : blank + 1, message.end());
    }
    std::string Modes() const { return ReadFileIfExists(paths.appDir + "news.modes").value_or(""); }
};

TEST_F(ModeRequestsTest, WithoutVerificationTheMemberChangesAtOnceAndIsAnswered) {
    SetBool("news", "VerifySubscribe", false);
    Apply("Set NEWS Plain-Digest");
    EXPECT_EQ(Modes(), "joe@example.org plain-digest\r\n");
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(
        WithoutIdTags(smtp.sent[0].message),
        Answer("joe@example.org", "Mode changed", {"joe@example.org gets NEWS as plain-digest."}));
    EXPECT_THAT(LogTexts(),
                ElementsAre("NEWS: ~ joe@example.org(mode plain-digest, member request)",
                            "NEWS: i sent msg to joe@example.org"));
    EXPECT_THAT(observer.rosterChanges, ElementsAre("news"));

    // The same request again changes nothing but is answered.
    Apply("set news plain-digest");
    EXPECT_EQ(smtp.sent.size(), 2u);
    EXPECT_EQ(LogTexts().size(), 3u);
}

TEST_F(ModeRequestsTest, WithVerificationTheReplyToTheCodeMakesTheChange) {
    Apply("set news nomail");
    EXPECT_EQ(Modes(), "");
    EXPECT_THAT(Vericode(), ElementsAre("authnews2603091405004 joe@example.org"));
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(LastSubject(), "Subject: List Server Response (authnews2603091405004)");
    EXPECT_EQ(LastBody(), "Confirm nomail for news");

    // A reply from another address is refused and changes nothing.
    ScanContext wrong =
        Request("ann@example.org", "Re: List Server Response (authnews2603091405004)");
    wrong.FromValue = "ann@example.org";
    ApplyRequestRules(wrong, services);
    EXPECT_EQ(LastBody(), "Bad code");
    EXPECT_EQ(Modes(), "");

    ScanContext reply =
        Request("joe@example.org", "Re: List Server Response (authnews2603091405004)");
    reply.FromValue = "Joe <Joe@Example.org>";
    ApplyRequestRules(reply, services);
    EXPECT_EQ(Modes(), "joe@example.org nomail\r\n");
    EXPECT_TRUE(Vericode().empty());
    EXPECT_EQ(LastSubject(), "Subject: Mode changed");
    EXPECT_EQ(LastBody(), "joe@example.org gets news as nomail.");
    EXPECT_THAT(LogTexts(), ElementsAre("news: ? joe@example.org(mode nomail request)",
                                        "news: i sent msg to joe@example.org",
                                        "news: i sent msg to ann@example.org",
                                        "news: x ann@example.org(verification fail)",
                                        "news: ~ joe@example.org(mode nomail, member request)",
                                        "news: i sent msg to joe@example.org"));
}

TEST_F(ModeRequestsTest, RefusedRequestsChangeNothingAndGetTheFittingAnswer) {
    SetBool("news", "VerifySubscribe", false);
    SetBool("news", "DigestEnabled", false);
    SetSection("Default List", "Lists", "Lists: {Lists}");
    const struct {
        const char* subject;
        const char* from;
        const char* body;
    } cases[] = {
        {"set news digest", "joe@example.org", "Help for news"},  // no digests on this list
        {"set news weekly", "joe@example.org", "Help for news"},
        {"set news", "joe@example.org", "Help for news"},
        {"set nosuch nomail", "joe@example.org", "Lists:   news"},
        {"set news nomail", "bob@example.org", "Not in news"},
        {"hello news", "joe@example.org", "Help for news"},
        {"hello", "joe@example.org", "Lists:   news"},
    };
    for (const auto& c : cases) {
        const size_t before = smtp.sent.size();
        Apply(c.subject, c.from);
        ASSERT_EQ(smtp.sent.size(), before + 1) << c.subject;
        EXPECT_EQ(LastBody(), c.body) << c.subject;
    }
    EXPECT_EQ(Modes(), "");
    EXPECT_TRUE(Vericode().empty());
    // Answers that name no list never bring back a deleted Default List.
    EXPECT_FALSE(store->KeyExists(ListKey("Default List")));
}

TEST_F(ModeRequestsTest, AutomaticMailChangesNothingAndGetsNoAnswer) {
    SetBool("news", "VerifySubscribe", false);
    pop3.Header = {"From: joe@example.org", "Auto-Submitted: auto-replied", ""};
    for (const char* subject : {"set news nomail", "which", "lists", "hello"}) {
        Apply(subject);
    }
    EXPECT_TRUE(smtp.sent.empty());
    EXPECT_EQ(Modes(), "");
}

TEST_F(ModeRequestsTest, WhichAndListsAnswerFromTheDefaultListsTexts) {
    SetSection("Default List", "Which", "{Email} on {ListName}:\r\n{Lists}");
    store->WriteRegString(ListKey("Default List"), "WhichSubject", "Your lists");
    WriteFileAtomic(paths.appDir + "news.modes", "joe@example.org digest\r\n");

    Apply("which", "JOE@example.org");
    EXPECT_EQ(LastSubject(), "Subject: Your lists");
    EXPECT_EQ(LastBody(), "joe@example.org on List Server:\r\n  news (digest)\r\n  closed (each)");
    Apply("which", "nobody@example.org");
    EXPECT_EQ(LastBody(), "nobody@example.org on List Server:\r\n  (none)");

    // No Lists section: the default text, which also tells how to write requests.
    Apply("lists");
    EXPECT_EQ(LastSubject(), "Subject: List Server Response");
    EXPECT_THAT(LastBody(), HasSubstr("\r\n  news\r\n"));
    EXPECT_THAT(LastBody(), ::testing::Not(HasSubstr("closed")));
    EXPECT_THAT(LastBody(), HasSubstr("set LIST MODE"));
    EXPECT_THAT(LogTexts(), ElementsAre("List Server: i sent msg to joe@example.org",
                                        "List Server: i sent msg to nobody@example.org",
                                        "List Server: i sent msg to joe@example.org"));
}

TEST_F(ModeRequestsTest, LeavingTheListTakesTheModeAlong) {
    SetBool("news", "VerifySubscribe", false);
    Apply("set news digest", "ann@example.org");
    Apply("set news nomail");
    ASSERT_EQ(Modes(), "ann@example.org digest\r\njoe@example.org nomail\r\n");
    Apply("unsubscribe news");
    EXPECT_EQ(Modes(), "ann@example.org digest\r\n");
    EXPECT_THAT(SectionLines("news", "MemberList"), ElementsAre("ann@example.org 0 222222"));
}

}  // namespace
}  // namespace corvanteer::testing
