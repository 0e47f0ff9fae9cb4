// The delivery session with the real SMTP client against a scripted server: reconnecting
// after a 421 within the scan, and a server out of reach not waited for again.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "EngineFixture.h"
#include "common/FakeMailServer.h"
#include "engine/ActivityLog.h"
#include "engine/Delivery.h"
#include "engine/ListPosting.h"
#include "support/Files.h"
#include "transport/TSmtpClient.h"

namespace corvanteer::testing {
namespace {

class DeliveryReconnectTest : public EngineTest {
protected:
    DeliveryReconnectTest() {
        AddList("news");
        context = ContextFor("news");
        context.Settings.ListPostingAddress = "news@lists.test";
        context.SenderName = "Ann";
        context.SenderAddress = "ann@example.org";
        context.Subject = "Hello";
        client.ConnectTimeoutMs = 3000;
        client.ReplyTimeoutMs = 3000;
        client.ReadTimeoutMs = 3000;
    }

    static std::string Member(int i) {
        char text[32];
        std::snprintf(text, sizeof text, "m%03d@x.org", i);
        return text;
    }
    void Members(int count) {
        std::string roster;
        for (int i = 1; i <= count; ++i) {
            roster += Member(i) + " 0 1\r\n";
        }
        SetSection("news", "MemberList", roster);
    }
    void PointAt(const FakeMailServer& server) {
        client.Server.host = server.Host();
        client.Server.port = server.Port();
    }
    std::size_t QueuedFiles() const {
        std::size_t n = 0;
        for (const std::string& name : QueueFiles()) {
            n += EndsWith(name, ".dat") ? 1 : 0;
        }
        return n;
    }

    ScanContext context;
    TSmtpClient client;
    Services real{paths, *store, pop3, client, clock, random, observer, storeLock, console};
};

// One message as the client sends it without PIPELINING, answered as accepted.
void Accept(ServerScript& script, const std::string& to) {
    script.Reply("MAIL FROM:<news@lists.test>", "250 OK")
        .Reply("RCPT TO:<" + to + ">", "250 OK")
        .Reply("DATA", "354 go ahead")
        .ExpectData()
        .SendLine("250 taken");
}

// A server that says 421 at every third MAIL: the scan connects again after a pause, and
// every member gets one copy within the one posting.
TEST_F(DeliveryReconnectTest, A421AtEveryThirdMailReconnectsAndEveryMemberGetsOneCopy) {
    constexpr int kMembers = 50;
    Members(kMembers);
    std::vector<ServerScript> scripts;
    for (int first = 1; first <= kMembers; first += 2) {
        ServerScript script;
        script.SendLine("220 fake ESMTP").ExpectAnyLine().SendLine("250 fake");
        Accept(script, Member(first));
        Accept(script, Member(first + 1));
        if (first + 2 <= kMembers) {
            script.Expect("MAIL FROM:<news@lists.test>").SendLine("421 4.7.0 Slow down").Close();
        }
        scripts.push_back(script);
    }
    FakeMailServer server(scripts);
    PointAt(server);

    PostToList(context, real, "Hi.\r\n", 1);
    EXPECT_TRUE(server.Problems().empty()) << server.Problems().front();
    EXPECT_EQ(server.Connections(), scripts.size());
    EXPECT_EQ(context.Counts.postingsSent, kMembers);
    EXPECT_EQ(QueuedFiles(), 0u);
    // Each new connection came after an accepted message: the first pause every time.
    EXPECT_EQ(clock.Pauses(), std::vector<int64_t>(scripts.size() - 1, 2000));
    EXPECT_EQ(LogLines(), (Lines{Stamp(services) + "news: msg from news@lists.test - sent to 50 "
                                                   "of 50 members."}));
}

// A server that does not greet within the time: the posting's other copies, a second
// posting and an answer of the same scan are queued without another try.
TEST_F(DeliveryReconnectTest, AGreetingTimeOutQueuesTheRestOfTheScansMailUntried) {
    Members(2);
    FakeMailServer server({ServerScript().Silence(), ServerScript().SendLine("220 too late")});
    PointAt(server);
    client.ReplyTimeoutMs = 150;

    PostToList(context, real, "Hi.\r\n", 1);
    PostToList(context, real, "Again.\r\n", 0);
    SendReply(context, real, "news-request@lists.test", "Subject: Re: Hello\r\n\r\nNoted.\r\n");
    EXPECT_EQ(server.Connections(), 1u);
    EXPECT_EQ(QueuedFiles(), 4u);  // two copies, the Bcc message, the answer
    EXPECT_EQ(context.Counts.postingsSent, 0);
    EXPECT_EQ(client.Outage.server, server.Host() + ":" + std::to_string(server.Port()));
    EXPECT_EQ(client.Outage.result.error.kind, MailFailure::Timeout);
}

}  // namespace
}  // namespace corvanteer::testing
