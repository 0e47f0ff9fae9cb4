#include "engine/OutgoingHeaders.h"

#include <set>

#include "EngineFixture.h"
#include "common/MessageIds.h"
#include "support/Version.h"

namespace corvanteer::testing {
namespace {

// A clock that moves one second forward every time it is read, so a test can tell which
// reading went into which line.
class TickingClock final : public Clock {
public:
    explicit TickingClock(const FakeClock& start) : now_(start.Now()) {}
    LocalTime Now() const override {
        LocalTime t = now_;
        FakeClock step(now_);
        step.AdvanceSeconds(1);
        now_ = step.Now();
        return t;
    }
    int64_t MonotonicMs() const override { return 0; }

private:
    mutable LocalTime now_;
};

class OutgoingHeadersTest : public EngineTest {
protected:
    OutgoingHeadersTest() { context.Settings.Pop3User = "list1"; }
    ScanContext context;
    const std::string mailer = "X-Mailer: " + WindowTitle() + " (www.corvanteer.org)";
};

TEST_F(OutgoingHeadersTest, BlockWithoutMimeValuesIsMessageIdMailerDate) {
    random.Script({0, 35});
    Lines message{"", "body"};
    AddStandardHeaders(message, context, services);
    EXPECT_EQ(
        message,
        (Lines{"Message-ID: <Corvanteer-list10-20260309140500.00000000000z@smtp.example.test>",
               mailer, "Date: Mon, 9 Mar 2026 14:05:00 GMT", "", "body"}));
    EXPECT_EQ(MailerName(), WindowTitle() + " (www.corvanteer.org)");
}

TEST_F(OutgoingHeadersTest, MessageNumberFollowsUserWithoutSeparatorAndHostIsTheConsoles) {
    context.MessageNumber = 3;
    console.globals.SMTPHost = "mail.other.test";
    Lines message;
    AddStandardHeaders(message, context, services);
    ASSERT_EQ(message.size(), 3u);
    EXPECT_EQ(WithoutIdTags(message[0]),
              "Message-ID: <Corvanteer-list13-20260309140500@mail.other.test>");
}

TEST_F(OutgoingHeadersTest, MessagesOfOneSecondGetTheirOwnTags) {
    // The tag is two draws of six base-36 digits each, most significant first.
    const struct {
        std::vector<uint32_t> draws;
        const char* tag;
    } cases[] = {
        {{0, 0}, ".000000000000"},
        {{2176782335u, 1}, ".zzzzzz000001"},
        {{36, 1679616}, ".000010010000"},
    };
    for (const auto& c : cases) {
        random.Script(c.draws);
        EXPECT_EQ(MessageIdTag(random), c.tag);
    }
    // Unscripted draws: many answers of one second, no two alike.
    random.Script({});
    std::set<std::string> ids;
    for (int i = 0; i < 200; ++i) {
        Lines message;
        AddStandardHeaders(message, context, services);
        EXPECT_EQ(IdTagOf(message[0]).size(), 13u) << message[0];
        ids.insert(message[0]);
    }
    EXPECT_EQ(ids.size(), 200u);
}

TEST_F(OutgoingHeadersTest, MimeLinesComeFirstUntrimmedAndOnlyWhenNotBlank) {
    context.MimeVersion = " 1.0";
    context.ContentType = "text/plain; charset=us-ascii";
    context.ContentTransferEncoding = "  \t";
    Lines message{"", "x"};
    AddStandardHeaders(message, context, services);
    ASSERT_EQ(message.size(), 7u);
    EXPECT_EQ(message[0], "Content-Type: text/plain; charset=us-ascii");
    EXPECT_EQ(message[1], "MIME-Version:  1.0");
    EXPECT_TRUE(StartsWith(message[2], "Message-ID: "));
    EXPECT_EQ(message[3], mailer);
    EXPECT_TRUE(StartsWith(message[4], "Date: "));

    context.ContentTransferEncoding = "8bit";
    Lines second;
    AddStandardHeaders(second, context, services);
    ASSERT_EQ(second.size(), 6u);
    EXPECT_EQ(second[0], "Content-Transfer-Encoding: 8bit");
    EXPECT_EQ(second[1], "Content-Type: text/plain; charset=us-ascii");
}

TEST_F(OutgoingHeadersTest, ClockIsReadForTheDateFirstAndAgainForTheMessageId) {
    TickingClock ticking(clock);
    Services ticked{paths, *store, pop3, smtp, ticking, random, observer, storeLock, console};
    Lines message;
    AddStandardHeaders(message, context, ticked);
    EXPECT_EQ(message[2], "Date: Mon, 9 Mar 2026 14:05:00 GMT");
    EXPECT_EQ(WithoutIdTags(message[0]),
              "Message-ID: <Corvanteer-list10-20260309140501@smtp.example.test>");
}

TEST(IsAllowedExtraHeader, RefusesOwnHeadersAndLinesThatAreNotHeaders) {
    EXPECT_TRUE(IsAllowedExtraHeader("X-List: news"));
    EXPECT_TRUE(IsAllowedExtraHeader("Subject: overrides"));
    EXPECT_TRUE(IsAllowedExtraHeader("Date: whenever"));
    // The prefix test is made on the untrimmed line.
    EXPECT_TRUE(IsAllowedExtraHeader(" To: someone@x.org"));

    EXPECT_FALSE(IsAllowedExtraHeader(""));
    EXPECT_FALSE(IsAllowedExtraHeader("   "));
    EXPECT_FALSE(IsAllowedExtraHeader("X-Note:value"));
    EXPECT_FALSE(IsAllowedExtraHeader("X-Note: "));  // ": " only before trimming
    for (const char* own :
         {"To: a@b.c", "FROM: a@b.c", "Reply-To: a@b.c", "message-id: <x>", "MIME-Version: 1.0",
          "Content-Type: text/plain", "Content-Transfer-Encoding: 7bit", "X-Mailer: me"}) {
        EXPECT_FALSE(IsAllowedExtraHeader(own)) << own;
    }
}

}  // namespace
}  // namespace corvanteer::testing
