// Whole scan sessions against real servers: Dovecot serves the List Server and list mailboxes,
// the harness's SMTP server files every posting into the members' Maildirs. The settings are
// written into a real settings store as the operator writes them, the console reads them from
// there, and the clients are the real TPop3Client and TSmtpClient. One pair of servers serves
// the whole program; every test has its own application directory and its own mailbox users.
// The clock is a fixed one, so dates, message identifiers and log stamps are known exactly.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/ListOperations.h"
#include "app/MemberModeOperations.h"
#include "app/RosterOperations.h"
#include "app/StoreConsole.h"
#include "common/LatencyProxy.h"
#include "common/MessageIds.h"
#include "common/TempDir.h"
#include "e2e/MailServers.h"
#include "e2e/ScanWorld.h"
#include "engine/GivenUpMail.h"
#include "engine/OutgoingHeaders.h"
#include "engine/ScanSession.h"
#include "engine/Services.h"
#include "engine/bounce/MemberToken.h"
#include "support/AppPaths.h"
#include "support/Clock.h"
#include "support/Files.h"
#include "support/HeaderFields.h"
#include "support/Locks.h"
#include "support/Random.h"
#include "support/SectionFile.h"
#include "support/SettingTables.h"
#include "support/SettingsStore.h"
#include "support/Text.h"
#include "transport/TPop3Client.h"
#include "transport/TSmtpClient.h"

namespace corvanteer {
namespace {

using testing::MailServers;
using testing::WithoutIdTags;

constexpr const char* kPassword = "secret";
// What the fixed clock gives, as the Date line and the log stamp show it.
constexpr const char* kDateLine = "Date: Mon, 9 Mar 2026 14:05:00 GMT";
constexpr const char* kStamp = "Mon,09Mar26 14:05:00 ";

std::string At(const std::string& user) {
    return MailServers::Address(user);
}

// Lines joined as they travel: each followed by CR LF.
std::string Crlf(const Lines& lines) {
    return LinesToText(lines);
}

// Brings the SMTP server back however a test that stopped it ends.
class SmtpStopped {
public:
    explicit SmtpStopped(MailServers& servers) : servers_(servers) { servers_.StopSmtp(); }
    ~SmtpStopped() { servers_.StartSmtp(); }
    SmtpStopped(const SmtpStopped&) = delete;
    SmtpStopped& operator=(const SmtpStopped&) = delete;

private:
    MailServers& servers_;
};

class ScanE2e : public testing::ScanWorld {
protected:
    // The global settings as the operator enters them: the List Server mailbox (the user
    // prefix + "ls", empty) and the SMTP server.
    void SetUpGlobals(const std::string& prefix) {
        const std::string listServer = prefix + "ls";
        Servers().AddUser(listServer, kPassword);
        SetGlobal("ListServerAddress", At(listServer));
        SetGlobal("ListServerHost", Servers().Host());
        SetGlobal("ListServerPort", std::to_string(Servers().Pop3Port()));
        SetGlobal("ListServerUserID", listServer);
        SetGlobal("ListServerPassword", kPassword);
        SetGlobal("SMTPHost", Servers().Host());
        SetGlobal("SMTPPort", std::to_string(Servers().SmtpPort()));
    }

    // A list whose mailbox is the POP3 user mailbox (address mailbox@example.test), members
    // may post; the given members are added as the Members page adds them.
    void AddMailingList(std::string name, const std::string& mailbox,
                        const std::vector<std::string>& members) {
        const std::string wanted = name;
        ASSERT_TRUE(AddList(services, name).ok);
        ASSERT_EQ(wanted, name);
        Servers().AddUser(mailbox, kPassword);
        SetListSetting(name, "Pop3Host", Servers().Host());
        SetListSetting(name, "Pop3Port", std::to_string(Servers().Pop3Port()));
        SetListSetting(name, "Pop3User", mailbox);
        SetListSetting(name, "Pop3Password", kPassword);
        SetListSetting(name, "ListPostingAddress", At(mailbox));
        SetListSetting(name, "AllowPostBy", "1");
        for (const auto& member : members) {
            ASSERT_TRUE(AddMember(services, name, At(member)).ok) << member;
        }
    }

    void Scan() {
        const ScanOutcome outcome = RunScan();
        EXPECT_TRUE(outcome.ok) << outcome.error;
    }

    // The number of messages a fresh login to the mailbox sees.
    int MailboxCount(const std::string& user) {
        TPop3Client client;
        client.HostAddress = Servers().Host();
        client.Port = Servers().Pop3Port();
        client.User = user;
        client.Password = kPassword;
        client.ConnectTimeoutMs = kWaitMs;
        client.FirstByteTimeoutMs = kWaitMs;
        client.ReadTimeoutMs = kWaitMs;
        EXPECT_TRUE(client.Login()) << user;
        const int count = client.MessageCount;
        client.Quit();
        return count;
    }

    bool Logged(const std::string& line) const {
        const Lines lines = LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    std::vector<std::string> QueueFiles() const { return ListFiles(paths.OutFolder(), ".dat"); }
    std::vector<std::string> TempFiles(const std::string& list) const {
        return ListFiles(paths.TempFolder(list), ".tmp");
    }
};

TEST_F(ScanE2e, BccPostingReachesEveryMemberWithTheFullHeaderBlock) {
    SetUpGlobals("bcc");
    AddMailingList("news", "bccnews", {"bccann", "bccbob", "bcccid"});
    SetListSetting("news", "PostingMethod", "0");
    SetListSetting("news", "HideSenderEmail", "0");
    SetListSetting("news", "ListTo", "News readers <bccnews@example.test>");
    SetSection("news", "Signature", {"-- ", "The news list"});
    SetSection("news", "ExtraHeaders",
               {"X-List: news", "Reply-To: elsewhere@example.test", "X-Note:no blank"});

    Servers().PutMessage("bccnews",
                         "From: Ann Member <BccAnn@Example.Test>\r\n"
                         "To: bccnews@example.test\r\n"
                         "Subject:   Hello    all \r\n"
                         "MIME-Version: 1.0\r\n"
                         "Content-Type: text/plain; charset=us-ascii\r\n"
                         "\r\n"
                         "First line\r\n"
                         ".starts with a dot\r\n"
                         "Last line\r\n");
    Scan();

    const std::string expected = Crlf({
        "To: News readers <bccnews@example.test>", "From: Ann Member <bccann@example.test>",
        "Reply-To: bccnews@example.test", "Subject: Hello all",
        "Content-Type: text/plain; charset=us-ascii", "MIME-Version: 1.0",
        "Message-ID: <Corvanteer-bccnews0-20260309140500@127.0.0.1>", "X-Mailer: " + MailerName(),
        kDateLine, "X-List: news",
        // The list headers, after everything a posting carried before them.
        "List-Id: news <bccnews.example.test>", "List-Post: <mailto:bccnews@example.test>",
        "List-Help: <mailto:bccls@example.test?subject=help%20news>",
        "List-Subscribe: <mailto:bccls@example.test?subject=subscribe%20news>",
        "List-Unsubscribe: <mailto:bccls@example.test?subject=unsubscribe%20news>",
        "Precedence: list", "", "First line", ".starts with a dot", "Last line",
        "",  // the temp file's closing line break
        "-- ", "The news list",
        "",  // the signature section's text ends with a line break
    });
    for (const char* member : {"bccann", "bccbob", "bcccid"}) {
        const auto mailbox = Servers().ReadMailbox(member);
        ASSERT_EQ(1u, mailbox.size()) << member;
        EXPECT_EQ(expected, WithoutIdTags(mailbox[0])) << member;
    }
    EXPECT_EQ(0, MailboxCount("bccnews"));
    EXPECT_TRUE(TempFiles("news").empty());
    EXPECT_TRUE(QueueFiles().empty());
    EXPECT_TRUE(
        Logged(std::string(kStamp) + "news: msg from bccnews@example.test - sent succesfully."));
    EXPECT_TRUE(Logged(std::string(kStamp) +
                       "news: i posted msg by bccann@example.test (Hello all) - PostMethod = 0"));
}

TEST_F(ScanE2e, IndividualPostingGivesEveryMemberItsOwnCopy) {
    SetUpGlobals("ind");
    AddMailingList("talk", "indtalk", {"indann", "indbob", "indcid"});
    // A banned member may not post but still receives the postings.
    ASSERT_TRUE(SetBanned(services, "talk", At("indcid"), true).ok);
    SetListSetting("talk", "PostingMethod", "1");
    SetListSetting("talk", "HideSenderEmail", "1");
    SetListSetting("talk", "ChangeSenderEmailTo", "  hidden@example.test  ");
    SetListSetting("talk", "ListHeaders", "off");

    Servers().PutMessage("indtalk",
                         "From: indbob@example.test\r\n"
                         "Subject: Plain text\r\n"
                         "\r\n"
                         "Only line\r\n");
    Scan();

    const std::string tokenKey = bounce::MemberTokenKey(*store, paths.SettingsKey());
    for (const char* member : {"indann", "indbob", "indcid"}) {
        const auto mailbox = Servers().ReadMailbox(member);
        ASSERT_EQ(1u, mailbox.size()) << member;
        // No MIME headers came in, so the standard block is Message-ID, X-Mailer, Date; with
        // no signature the posting ends with one empty entry. ListHeaders is off.
        EXPECT_EQ(Crlf({
                      "To: " + At(member),
                      // A bare address as the name is quoted to stand before another one.
                      "From: \"indbob@example.test\" <hidden@example.test>",
                      "Reply-To: indtalk@example.test",
                      "Subject: Plain text",
                      "Message-ID: <Corvanteer-indtalk0-20260309140500@127.0.0.1>",
                      "X-Mailer: " + MailerName(),
                      kDateLine,
                      // Each copy names its member by a token, for failure reports.
                      "X-Corvanteer-Member: " + bounce::MemberToken(tokenKey, "talk", At(member)),
                      "",
                      "Only line",
                      "",
                      "",
                  }),
                  WithoutIdTags(mailbox[0]))
            << member;
    }
    EXPECT_EQ(0, MailboxCount("indtalk"));
    EXPECT_TRUE(QueueFiles().empty());
    EXPECT_TRUE(Logged(std::string(kStamp) +
                       "talk: msg from indtalk@example.test - sent to 3 of 3 members."));
    EXPECT_TRUE(Logged(std::string(kStamp) +
                       "talk: i posted msg by indbob@example.test (Plain text) - PostMethod = 1"));
}

// One scan of mail no person wrote, beside two real postings: a vacation reply and a bounce
// go to ErrorsTo, the list's own posting come back is deleted, a responder's answer in the
// List Server mailbox gets none, while two postings of one second keep their own Message-IDs.
TEST_F(ScanE2e, AutomaticMailAndLoopsNeverReachTheMembers) {
    SetUpGlobals("auto");
    AddMailingList("guard", "autoguard", {"autoann", "autobob"});
    SetListSetting("guard", "PostingMethod", "1");
    SetListSetting("guard", "HideSenderEmail", "0");
    SetListSetting("guard", "ForwardErrorMsgs", "1");
    SetListSetting("guard", "ErrorsTo", At("autoerrors"));

    const std::string vacation =
        "From: Bob <autobob@example.test>\r\nSubject: Out of office: Plans\r\n"
        "Auto-Submitted: auto-replied\r\n\r\nI am away until Monday.\r\n";
    const std::string bounce =
        "From: Mail Delivery System <MAILER-DAEMON@example.test>\r\n"
        "Subject: Undelivered Mail Returned to Sender\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: multipart/report; report-type=delivery-status;\r\n"
        "\tboundary=\"b1\"\r\n\r\n--b1\r\n\r\nCould not deliver.\r\n--b1--\r\n";
    Servers().PutMessage("autoguard", vacation);
    Servers().PutMessage("autoguard", bounce);
    // A member's program sending a posting back to the list.
    Servers().PutMessage("autoguard",
                         "From: autoann@example.test\r\nSubject: Plans\r\n"
                         "List-Id: guard <autoguard.example.test>\r\n\r\nechoed\r\n");
    Servers().PutMessage("autoguard",
                         "From: autoann@example.test\r\nSubject: By hand\r\n"
                         "Auto-Submitted: no\r\n\r\nwritten by Ann\r\n");
    Servers().PutMessage("autoguard",
                         "From: autobob@example.test\r\nSubject: Plain\r\n\r\nfrom Bob\r\n");
    Servers().PutMessage("autols",
                         "From: away@example.test\r\nSubject: Auto: subscribe guard\r\n"
                         "Auto-Submitted: auto-replied\r\n\r\nAway.\r\n");
    Servers().PutMessage("autols",
                         "From: autonew@example.test\r\nSubject: subscribe guard\r\n\r\n\r\n");
    Scan();

    // Only the two postings reach the members; the copies of one posting share their
    // Message-ID, the two postings (same list, number and second) do not.
    std::map<std::string, std::vector<std::string>> idsBySubject;
    for (const char* member : {"autoann", "autobob"}) {
        const auto mailbox = Servers().ReadMailbox(member);
        ASSERT_EQ(2u, mailbox.size()) << member;
        for (const auto& bytes : mailbox) {
            const Lines lines = TextToLines(bytes);
            idsBySubject[GetHeaderValue("Subject", lines)].push_back(
                GetHeaderValue("Message-ID", lines));
        }
    }
    ASSERT_EQ(2u, idsBySubject.size());
    const auto& byHand = idsBySubject["By hand"];
    const auto& plain = idsBySubject["Plain"];
    ASSERT_EQ(2u, byHand.size());
    ASSERT_EQ(2u, plain.size());
    EXPECT_EQ(byHand[0], byHand[1]);
    EXPECT_EQ(plain[0], plain[1]);
    EXPECT_NE(byHand[0], plain[0]);
    EXPECT_EQ(WithoutIdTags(byHand[0]), "<Corvanteer-autoguard0-20260309140500@127.0.0.1>");
    EXPECT_EQ(WithoutIdTags(plain[0]), "<Corvanteer-autoguard0-20260309140500@127.0.0.1>");

    // The vacation reply and the bounce reach ErrorsTo whole; the echo is gone.
    auto forwarded = Servers().ReadMailbox("autoerrors");
    std::sort(forwarded.begin(), forwarded.end());
    std::vector<std::string> expected{vacation + "\r\n", bounce + "\r\n"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, forwarded);
    EXPECT_EQ(0, MailboxCount("autoguard"));
    EXPECT_EQ(0, MailboxCount("autols"));
    const std::string stamp = kStamp;
    for (const char* line :
         {"guard: automatic msg from autobob@example.test (Auto-Submitted: auto-replied) - not "
          "posted",
          "guard: error msg from autobob@example.test - forwarded succesfully.",
          "guard: automatic msg from mailer-daemon@example.test (From: "
          "mailer-daemon@example.test) - not posted",
          "guard: error msg from mailer-daemon@example.test - forwarded succesfully.",
          "guard: looping msg from autoann@example.test (List-Id: <autoguard.example.test>) - not "
          "posted",
          "List Server: automatic msg from away@example.test (Auto-Submitted: auto-replied) - not "
          "answered"}) {
        EXPECT_TRUE(Logged(stamp + line)) << line;
    }
    // Recent activity: the three set aside, newest first, above the pending subscription
    // (and the two members the operator added).
    Lines actions = TextToLines(ReadSection(paths.ListDataFile("guard"), "Latest_Actions"));
    ASSERT_EQ(6u, actions.size());
    EXPECT_EQ("03/09/26 ? autonew@example.test", actions[3]);
    actions.resize(3);
    std::sort(actions.begin(), actions.end());
    EXPECT_EQ((Lines{"03/09/26 x autoann@example.test(looping msg, List-Id: "
                     "<autoguard.example.test>)",
                     "03/09/26 x autobob@example.test(automatic msg, Auto-Submitted: "
                     "auto-replied)",
                     "03/09/26 x mailer-daemon@example.test(automatic msg, From: "
                     "mailer-daemon@example.test)"}),
              actions);

    // The responder got nothing; the person who asked got the answer, marked as automatic.
    EXPECT_TRUE(Servers().ReadMailbox("away").empty());
    const auto answers = Servers().ReadMailbox("autonew");
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ("auto-replied", GetHeaderValue("Auto-Submitted", TextToLines(answers[0])));
}

TEST_F(ScanE2e, RefusedPostingsReachErrorsToWholeAndNoMember) {
    SetUpGlobals("fwd");
    AddMailingList("help", "fwdhelp", {"fwdann", "fwdbob"});
    ASSERT_TRUE(SetBanned(services, "help", At("fwdann"), true).ok);
    SetListSetting("help", "ForwardErrorMsgs", "1");
    SetListSetting("help", "ErrorsTo", At("fwderrors"));

    const std::string banned =
        "From: Ann <fwdann@example.test>\r\n"
        "Subject: banned but trying\r\n"
        "X-Extra: kept as it came\r\n"
        "\r\n"
        "Body of the banned member\r\n"
        "second line\r\n";
    const std::string stranger =
        "From: Zed <fwdzed@example.test>\r\n"
        "Subject: not a member\r\n"
        "MIME-Version: 1.0\r\n"
        "\r\n"
        "Body of the stranger\r\n";
    Servers().PutMessage("fwdhelp", banned);
    Servers().PutMessage("fwdhelp", stranger);
    Scan();

    // Header and body as downloaded, with the temp file's closing line break.
    auto forwarded = Servers().ReadMailbox("fwderrors");
    std::sort(forwarded.begin(), forwarded.end());
    std::vector<std::string> expected{banned + "\r\n", stranger + "\r\n"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, forwarded);
    EXPECT_TRUE(Servers().ReadMailbox("fwdann").empty());
    EXPECT_TRUE(Servers().ReadMailbox("fwdbob").empty());
    EXPECT_EQ(0, MailboxCount("fwdhelp"));
    EXPECT_TRUE(Logged(std::string(kStamp) +
                       "help: error msg from fwdann@example.test - forwarded succesfully."));
    EXPECT_TRUE(Logged(std::string(kStamp) +
                       "help: error msg from fwdzed@example.test - forwarded succesfully."));
}

// Nothing is dropped: past SmtpMaxAttempts the posting is kept in out/given-up/ with a log
// line saying why; scans leave it alone, and putting it back delivers it.
TEST_F(ScanE2e, PostingPastItsAttemptsIsGivenUpKeptAndDeliveredWhenPutBack) {
    SetUpGlobals("down");
    SetGlobal("SmtpMaxAttempts", "2");
    AddMailingList("down", "downlist", {"downann", "downbob"});
    SetListSetting("down", "PostingMethod", "0");
    Servers().PutMessage("downlist",
                         "From: downann@example.test\r\nSubject: nobody hears\r\n\r\nhello\r\n");
    std::string queuedText;
    {
        SmtpStopped stopped(Servers());
        Scan();
        // Downloaded, refused by the closed port, queued with attempt 1; out of the mailbox.
        EXPECT_EQ(0, MailboxCount("downlist"));
        EXPECT_TRUE(TempFiles("down").empty());
        const auto queued = QueueFiles();
        ASSERT_EQ(1u, queued.size());
        queuedText = ReadFile(AddBackslash(paths.OutFolder()) + queued[0]);
        const Lines file = TextToLines(queuedText);
        ASSERT_GE(file.size(), 5u);
        EXPECT_EQ("1", file[0]);
        EXPECT_EQ("downlist@example.test", file[1]);
        EXPECT_EQ((Lines{"downann@example.test", "downbob@example.test", ""}),
                  Lines(file.begin() + 2, file.begin() + 5));
        EXPECT_TRUE(Logged(std::string(kStamp) +
                           "down: msg from downlist@example.test - failed (Attempt 1)"));

        clock.AdvanceSeconds(300);
        Scan();
        // The second attempt was the last one the limit allows: given up, kept, said so.
        EXPECT_TRUE(QueueFiles().empty());
        EXPECT_TRUE(
            Logged("Mon,09Mar26 14:10:00 pending msg from downlist@example.test: failed "
                   "(Attempt 2)"));
        const std::string givenUpLine =
            "Mon,09Mar26 14:10:00 down: msg from downlist@example.test - given up after 2 "
            "attempts: cannot connect to ";
        const Lines log = LogLines();
        EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& line) {
            return StartsWith(line, givenUpLine);
        })) << JoinLines(log, "\n");
    }
    const std::vector<GivenUpEntry> givenUp = ListGivenUp(paths);
    ASSERT_EQ(1u, givenUp.size());
    ASSERT_TRUE(givenUp[0].readable);
    EXPECT_EQ(2, givenUp[0].message.attempts);
    // Kept as it was queued, but for its count of attempts and the one more empty line every
    // requeue of the described format adds.
    EXPECT_EQ(queuedText.substr(1) + "\r\n",
              ReadFile(paths.GivenUpFolder() + givenUp[0].name).substr(1));
    // A scan with the server back does not touch it.
    Scan();
    EXPECT_TRUE(Servers().ReadMailbox("downann").empty());
    EXPECT_EQ(1u, ListGivenUp(paths).size());

    EXPECT_EQ(1, RetryAllGivenUp(services));
    EXPECT_TRUE(ListGivenUp(paths).empty());
    clock.AdvanceSeconds(60);
    Scan();
    EXPECT_TRUE(QueueFiles().empty());
    EXPECT_TRUE(
        Logged("Mon,09Mar26 14:11:00 pending msg from downlist@example.test: sent "
               "successfully (Attempt 2)"));
    EXPECT_EQ(1u, Servers().ReadMailbox("downann").size());
    EXPECT_EQ(1u, Servers().ReadMailbox("downbob").size());
}

TEST_F(ScanE2e, QueuedPostingIsDeliveredByALaterScan) {
    SetUpGlobals("later");
    AddMailingList("later", "laterlist", {"laterann", "laterbob"});
    SetListSetting("later", "PostingMethod", "0");
    SetListSetting("later", "ListTo", At("laterlist"));
    SetListSetting("later", "HideSenderEmail", "0");
    Servers().PutMessage("laterlist",
                         "From: laterbob@example.test\r\nSubject: delayed\r\n\r\nsee you\r\n");
    std::string queuedText;
    {
        SmtpStopped stopped(Servers());
        Scan();
        const auto queued = QueueFiles();
        ASSERT_EQ(1u, queued.size());
        queuedText = ReadFile(AddBackslash(paths.OutFolder()) + queued[0]);
    }
    clock.AdvanceSeconds(60);
    Scan();

    EXPECT_TRUE(QueueFiles().empty());
    EXPECT_TRUE(
        Logged("Mon,09Mar26 14:06:00 pending msg from laterlist@example.test: sent "
               "successfully (Attempt 2)"));
    // The message lines of the queue file, as composed at the first attempt.
    const size_t start = queuedText.find("\r\n\r\n");
    ASSERT_NE(std::string::npos, start);
    const std::string message = queuedText.substr(start + 4);
    EXPECT_TRUE(StartsWith(message,
                           "To: laterlist@example.test\r\nFrom: \"laterbob@example.test\" "
                           "<laterbob@example.test>\r\n"))
        << message;
    EXPECT_TRUE(Contains(message, "\r\nSubject: delayed\r\n")) << message;
    for (const char* member : {"laterann", "laterbob"}) {
        const auto mailbox = Servers().ReadMailbox(member);
        ASSERT_EQ(1u, mailbox.size()) << member;
        EXPECT_EQ(message, mailbox[0]) << member;
    }
}

TEST_F(ScanE2e, ThreadArchiveCollectsAPostingAndItsReply) {
    SetUpGlobals("arch");
    AddMailingList("arch", "archlist", {"archann", "archbob"});
    SetListSetting("arch", "HideSenderEmail", "0");
    SetSection("arch", "Signature", {"-- arch list"});

    Servers().PutMessage("archlist",
                         "From: Ann Member <archann@example.test>\r\n"
                         "Subject: Meeting\r\n\r\nTuesday at ten?\r\n");
    Scan();
    clock.AdvanceSeconds(60);
    Servers().PutMessage("archlist",
                         "From: archbob@example.test\r\n"
                         "Subject: RE: meeting\r\n\r\nFine by me.\r\n");
    Scan();

    const std::string folder = paths.ThreadsFolder("arch");
    EXPECT_EQ("1 Meeting\r\n", ReadFile(AddBackslash(folder) + "threads"));
    const std::string hashes(40, '#');
    // The name shown is that of the posting's From line; a sender without a name is shown
    // there as "address" <address>, which holds no name either, so it is kept whole. The
    // signature entry ends with its section's line break.
    EXPECT_EQ(Crlf({"From: Ann Member",
                    "Subject: Meeting",
                    kDateLine,
                    "",
                    "Tuesday at ten?",
                    "",
                    "-- arch list",
                    "",
                    "",
                    hashes,
                    "From: \"archbob@example.test\" <archbob@example.test>",
                    "Subject: meeting",
                    "Date: Mon, 9 Mar 2026 14:06:00 GMT",
                    "",
                    "Fine by me.",
                    "",
                    "-- arch list",
                    "",
                    "",
                    hashes}),
              ReadFile(AddBackslash(folder) + "1.txt"));
    EXPECT_EQ(2u, Servers().ReadMailbox("archann").size());
}

TEST_F(ScanE2e, MessageWithoutAValidSenderStaysInTheMailbox) {
    SetUpGlobals("odd");
    AddMailingList("odd", "oddlist", {"oddann"});
    SetListSetting("odd", "AllowPostBy", "2");
    Servers().PutMessage("oddlist", "From: Nobody at all\r\nSubject: who am I\r\n\r\n?\r\n");
    Servers().PutMessage("oddlist",
                         "From: someone@example.test\r\nSubject: a real one\r\n\r\nhi\r\n");
    Scan();
    EXPECT_EQ(1, MailboxCount("oddlist"));
    Scan();
    EXPECT_EQ(1, MailboxCount("oddlist"));
    const auto received = Servers().ReadMailbox("oddann");
    ASSERT_EQ(1u, received.size());
    EXPECT_TRUE(Contains(received[0], "\r\nSubject: a real one\r\n"));
}

// A list mailbox far away (20 ms each way through a proxy) on Dovecot, which announces
// PIPELINING: the scan sends its commands several at a time, each posting reaches the member
// in the order the messages arrived, and a message without a usable sender stays, logged
// once, not by every scan.
TEST_F(ScanE2e, AFarMailboxIsReadPipelinedAndPostedInArrivalOrder) {
    SetUpGlobals("far");
    AddMailingList("far", "farlist", {"farann"});
    SetListSetting("far", "AllowPostBy", "2");
    testing::LatencyProxy proxy(Servers().Host(), Servers().Pop3Port(), 20);
    SetListSetting("far", "Pop3Host", proxy.Host());
    SetListSetting("far", "Pop3Port", std::to_string(proxy.Port()));
    for (int i = 1; i <= 6; ++i) {
        Servers().PutMessage("farlist", "From: someone@example.test\r\nSubject: far " +
                                            std::to_string(i) + "\r\n\r\ntext\r\n");
        if (i == 3) {
            Servers().PutMessage("farlist", "From: Nobody\r\nSubject: who\r\n\r\n?\r\n");
        }
    }
    const std::string logged =
        std::string(kStamp) +
        "far: message 4 has no usable sender (From: Nobody) - left on the server";
    for (int scan = 1; scan <= 2; ++scan) {
        SCOPED_TRACE(scan);
        Scan();
        EXPECT_EQ(1, MailboxCount("farlist"));
        const Lines log = LogLines();
        EXPECT_EQ(1, std::count(log.begin(), log.end(), logged));
    }
    EXPECT_GT(proxy.PipelinedPieces(), 0);
    std::vector<std::string> subjects;
    for (const std::string& message : Servers().ReadMailbox("farann")) {
        subjects.push_back(GetHeaderValue("Subject", TextToLines(message)));
    }
    EXPECT_EQ(subjects,
              (std::vector<std::string>{"far 1", "far 2", "far 3", "far 4", "far 5", "far 6"}));
}

TEST_F(ScanE2e, TempFilesOfAnInterruptedSessionArePostedWhenTheMailboxCannotBeOpened) {
    SetUpGlobals("left");
    AddMailingList("left", "leftlist", {"leftann", "leftbob"});
    SetListSetting("left", "Pop3Password", "not the password");
    Servers().PutMessage("leftlist",
                         "From: leftbob@example.test\r\nSubject: still waiting\r\n\r\nx\r\n");
    // What a session that ended after downloading left behind.
    ForceDirectories(paths.TempFolder("left"));
    testing::Spit(AddBackslash(paths.TempFolder("left")) + "K3J9QX2A.tmp",
                  "From: leftann@example.test\r\nSubject: Left behind\r\n\r\nsaved\r\n\r\n");
    Scan();

    for (const char* member : {"leftann", "leftbob"}) {
        const auto mailbox = Servers().ReadMailbox(member);
        ASSERT_EQ(1u, mailbox.size()) << member;
        EXPECT_TRUE(Contains(mailbox[0], "\r\nSubject: Left behind\r\n")) << mailbox[0];
        EXPECT_TRUE(EndsWith(mailbox[0], "\r\n\r\nsaved\r\n\r\n\r\n")) << mailbox[0];
    }
    EXPECT_TRUE(TempFiles("left").empty());
    // The mailbox did not open, so its message waits there.
    EXPECT_EQ(1, MailboxCount("leftlist"));
}

// Members prefix + "000", prefix + "001", ... (count of them).
std::vector<std::string> Numbered(const std::string& prefix, int count) {
    std::vector<std::string> users;
    for (int i = 0; i < count; ++i) {
        users.push_back(prefix +
                        std::string(i < 10    ? "00"
                                    : i < 100 ? "0"
                                              : "") +
                        std::to_string(i));
    }
    return users;
}

// What one scan's delivery took from the SMTP server: connections, recipients per message.
class TrafficMeter {
public:
    explicit TrafficMeter(MailServers& servers) : servers_(servers) {
        before_ = servers_.SmtpTrafficSoFar();
    }
    int Connections() const {
        return servers_.SmtpTrafficSoFar().connections - before_.connections;
    }
    std::vector<int> Messages() const {
        const auto now = servers_.SmtpTrafficSoFar().messageRecipients;
        return {now.begin() + static_cast<std::ptrdiff_t>(before_.messageRecipients.size()),
                now.end()};
    }

private:
    MailServers& servers_;
    MailServers::SmtpTraffic before_;
};

// Clears the SMTP server's script however a test that set one ends.
class SmtpScripted {
public:
    SmtpScripted(MailServers& servers, const std::vector<std::string>& lines) : servers_(servers) {
        servers_.ScriptSmtp(lines);
    }
    ~SmtpScripted() { servers_.ScriptSmtp({}); }
    SmtpScripted(const SmtpScripted&) = delete;
    SmtpScripted& operator=(const SmtpScripted&) = delete;

private:
    MailServers& servers_;
};

TEST_F(ScanE2e, IndividualCopiesShareOneConnectionAndAClosedOneIsReopened) {
    struct Case {
        const char* prefix;
        std::vector<std::string> script;
        int connections;
    };
    // Seven members: one connection; closed by the server after every third message, three.
    for (const Case& c : {Case{"one", {}, 1}, Case{"cls", {"close-after 3"}, 3}}) {
        SCOPED_TRACE(c.prefix);
        const std::string list = std::string(c.prefix) + "talk";
        SetUpGlobals(c.prefix);
        const auto members = Numbered(std::string(c.prefix) + "m", 7);
        AddMailingList(list, list, members);
        SetListSetting(list, "PostingMethod", "1");
        Servers().PutMessage(std::string(c.prefix) + "talk",
                             "From: " + At(members[0]) + "\r\nSubject: hi\r\n\r\nhello\r\n");
        SmtpScripted scripted(Servers(), c.script);
        TrafficMeter meter(Servers());
        Scan();
        EXPECT_EQ(c.connections, meter.Connections());
        EXPECT_EQ(std::vector<int>(7, 1), meter.Messages());
        for (const auto& member : members) {
            EXPECT_EQ(1u, Servers().ReadMailbox(member).size()) << member;
        }
        EXPECT_TRUE(QueueFiles().empty());
        EXPECT_TRUE(Logged(std::string(kStamp) + list + ": msg from " + At(list) +
                           " - sent to 7 of 7 members."));
    }
}

TEST_F(ScanE2e, RefusedRecipientQueuesItsCopyAloneOrIsLeftOutOfTheBccMessage) {
    // "reject..." addresses are refused with 550 at RCPT by the harness's server.
    for (const char* method : {"0", "1"}) {
        const bool individual = std::string(method) == "1";
        const std::string prefix = individual ? "rfi" : "rfb";
        SCOPED_TRACE(prefix);
        const std::string list = prefix + "news";
        SetUpGlobals(prefix);
        const std::vector<std::string> members{prefix + "ann", "reject" + prefix, prefix + "cid"};
        AddMailingList(list, list, members);
        SetListSetting(list, "PostingMethod", method);
        Servers().PutMessage(prefix + "news",
                             "From: " + At(members[0]) + "\r\nSubject: hi\r\n\r\nhello\r\n");
        TrafficMeter meter(Servers());
        Scan();
        EXPECT_EQ(1, meter.Connections());
        const std::vector<int> expected = individual ? std::vector<int>{1, 1} : std::vector<int>{2};
        EXPECT_EQ(expected, meter.Messages());
        EXPECT_EQ(1u, Servers().ReadMailbox(members[0]).size());
        EXPECT_EQ(1u, Servers().ReadMailbox(members[2]).size());
        const auto queued = QueueFiles();
        if (individual) {
            // That copy alone waits for its next attempt.
            ASSERT_EQ(1u, queued.size());
            const Lines file = ReadLines(AddBackslash(paths.OutFolder()) + queued[0]);
            ASSERT_GE(file.size(), 4u);
            EXPECT_EQ((Lines{"1", At(prefix + "news"), At(members[1]), ""}),
                      Lines(file.begin(), file.begin() + 4));
        } else {
            EXPECT_TRUE(queued.empty());
            EXPECT_TRUE(Logged(std::string(kStamp) + list + ": " + At(members[1]) +
                               " refused by the SMTP server: 550 5.1.1 <" + At(members[1]) +
                               ">: Recipient address rejected"));
            EXPECT_TRUE(Logged(std::string(kStamp) + list + ": msg from " + At(list) +
                               " - sent succesfully."));
        }
    }
}

TEST_F(ScanE2e, BccPostingGoesOutInPartsAndACapHoldsTheRestUntilTheHourHasPassed) {
    SetUpGlobals("part");
    const auto members = Numbered("part", 250);
    AddMailingList("big", "partbig", members);
    SetListSetting("big", "PostingMethod", "0");
    Servers().PutMessage("partbig", "From: " + At(members[0]) + "\r\nSubject: a\r\n\r\nx\r\n");
    TrafficMeter meter(Servers());
    Scan();
    EXPECT_EQ(1, meter.Connections());
    EXPECT_EQ((std::vector<int>{100, 100, 50}), meter.Messages());
    EXPECT_EQ(1u, Servers().ReadMailbox(members[249]).size());
    EXPECT_TRUE(QueueFiles().empty());

    // 120 an hour: the first part of 100 goes, the next is held and sent an hour later.
    SetGlobal("MaxRecipientsPerHour", "120");
    Servers().PutMessage("partbig", "From: " + At(members[0]) + "\r\nSubject: b\r\n\r\nx\r\n");
    TrafficMeter capped(Servers());
    clock.AdvanceSeconds(60);
    Scan();
    EXPECT_EQ((std::vector<int>{100}), capped.Messages());
    auto held = QueueFiles();
    ASSERT_EQ(2u, held.size());
    for (const auto& name : held) {
        EXPECT_TRUE(StartsWith(name, "held-")) << name;
        EXPECT_EQ("0", ReadLines(AddBackslash(paths.OutFolder()) + name)[0]) << name;
    }
    EXPECT_TRUE(
        Logged("Mon,09Mar26 14:06:00 big: msg from partbig@example.test - held (sending "
               "cap)"));
    EXPECT_EQ(1u, Servers().ReadMailbox(members[150]).size());

    // Within the hour nothing more goes; past it, the held parts go oldest first as the cap
    // allows: 100, then 50 would pass it, then the last hour has room for it again.
    clock.AdvanceSeconds(1800);
    TrafficMeter waiting(Servers());
    Scan();
    EXPECT_TRUE(waiting.Messages().empty());
    EXPECT_EQ(2u, QueueFiles().size());
    clock.AdvanceSeconds(1900);
    TrafficMeter later(Servers());
    Scan();
    EXPECT_EQ((std::vector<int>{100}), later.Messages());
    clock.AdvanceSeconds(3700);
    Scan();
    EXPECT_TRUE(QueueFiles().empty());
    for (const auto& member : {members[0], members[120], members[249]}) {
        EXPECT_EQ(2u, Servers().ReadMailbox(member).size()) << member;
    }
}

// A server that takes two messages a connection and then says "slow down" with a 421: each
// time the posting goes on over a new connection after a pause, and every member gets one copy
// within the scan (a server that keeps refusing has what remains held: the delivery's tests).
TEST_F(ScanE2e, ServerSayingSlowDownGetsAPauseAndANewConnection) {
    SetUpGlobals("lim");
    const auto members = Numbered("lim", 5);
    AddMailingList("lim", "limlist", members);
    SetListSetting("lim", "PostingMethod", "1");
    Servers().PutMessage("limlist", "From: " + At(members[0]) + "\r\nSubject: a\r\n\r\nx\r\n");
    SmtpScripted scripted(Servers(), {"mail-reply 2 421 4.7.0 Too many messages, slow down"});
    TrafficMeter meter(Servers());
    Scan();
    EXPECT_EQ(3, meter.Connections());
    EXPECT_EQ((std::vector<int>{1, 1, 1, 1, 1}), meter.Messages());
    EXPECT_TRUE(QueueFiles().empty());
    for (const auto& member : members) {
        EXPECT_EQ(1u, Servers().ReadMailbox(member).size()) << member;
    }
    const std::string log = ReadFile(paths.LogFile());
    EXPECT_NE(std::string::npos,
              log.find(" lim: msg from limlist@example.test - sent to 5 of 5 members.\r\n"))
        << log;
}

// A list whose archive is published: a posting sent individually reaches every member with
// the archive's lines, the month's mbox keeps it once (the list in its To line, the signature
// in it), and after the scan its page shows the decoded text where Archived-At says.
TEST_F(ScanE2e, PublishedArchiveKeepsThePostingAndItsPageIsWhereThePostingSays) {
    SetUpGlobals("arv");
    AddMailingList("arv", "arvlist", {"arvann", "arvbob"});
    SetListSetting("arv", "PostingMethod", "1");
    SetListSetting("arv", "HideSenderEmail", "0");
    SetListSetting("arv", "HtmlArchive", "1");
    SetListSetting("arv", "ArchiveBaseURL", "https://lists.example.test/arv");
    SetSection("arv", "Signature", {"-- arv list"});

    Servers().PutMessage("arvlist",
                         "From: Ann Member <arvann@example.test>\r\n"
                         "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\n"
                         "MIME-Version: 1.0\r\n"
                         "Content-Type: text/plain; charset=utf-8\r\n"
                         "Content-Transfer-Encoding: quoted-printable\r\n"
                         "\r\n"
                         "Sch=C3=B6ne Gr=C3=BC=C3=9Fe\r\n");
    Scan();

    std::vector<std::string> archivedAt;
    for (const char* member : {"arvann", "arvbob"}) {
        const auto mailbox = Servers().ReadMailbox(member);
        ASSERT_EQ(1u, mailbox.size()) << member;
        const Lines header = TextToLines(mailbox[0].substr(0, mailbox[0].find("\r\n\r\n")));
        EXPECT_EQ("<https://lists.example.test/arv>", GetHeaderValue("List-Archive", header));
        archivedAt.push_back(GetHeaderValue("Archived-At", header));
    }
    ASSERT_EQ(archivedAt[0], archivedAt[1]);
    const std::string prefix = "<https://lists.example.test/arv/";
    ASSERT_TRUE(StartsWith(archivedAt[0], prefix) && EndsWith(archivedAt[0], ">")) << archivedAt[0];

    const std::string mbox = ReadFile(paths.MboxFolder("arv") + "2026-03.mbox");
    EXPECT_TRUE(StartsWith(mbox, "From arvlist@example.test Mon Mar  9 14:05:00 2026\n")) << mbox;
    EXPECT_EQ(std::string::npos, mbox.find("\nFrom ", 1)) << "one record";
    EXPECT_NE(std::string::npos, mbox.find("\nTo: arvlist@example.test\n")) << mbox;
    EXPECT_NE(std::string::npos, mbox.find("-- arv list")) << mbox;

    const std::string page =
        paths.HtmlArchiveFolder("arv") +
        archivedAt[0].substr(prefix.size(), archivedAt[0].size() - prefix.size() - 1);
    ASSERT_TRUE(FileExists(page)) << page;
    const std::string html = ReadFile(page);
    EXPECT_NE(std::string::npos, html.find("Gr\xC3\xBC\xC3\x9F"
                                           "e"))
        << html;
    EXPECT_NE(std::string::npos, html.find("Sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F"
                                           "e"))
        << html;
    EXPECT_NE(std::string::npos, html.find("-- arv list")) << html;
    EXPECT_TRUE(FileExists(paths.HtmlArchiveFolder("arv") + "index.html"));
}

// Delivery modes over a day: the digest member and the nomail member get no posting of their
// own; at the digest hour the digest member gets one MIME digest carrying both postings as
// they were distributed, and a later scan that day sends nothing more.
TEST_F(ScanE2e, DigestMemberGetsOneDigestAtTheHourAndNomailMemberNothing) {
    SetUpGlobals("dg");
    AddMailingList("news", "dgnews", {"dgann", "dgdig", "dgoff"});
    SetListSetting("news", "PostingMethod", "1");
    SetSection("news", "Signature", {"-- ", "The news list"});
    ASSERT_TRUE(SetMemberMode(services, "news", At("dgdig"), "digest").ok);
    ASSERT_TRUE(SetMemberMode(services, "news", At("dgoff"), "nomail").ok);

    clock.Set(2026, 3, 9, 5, 30, 0);  // before DigestHour (6)
    for (const char* subject : {"First news", "Second news"}) {
        Servers().PutMessage("dgnews", std::string("From: Ann <dgann@example.test>\r\n"
                                                   "To: dgnews@example.test\r\n"
                                                   "Subject: ") +
                                           subject + "\r\n\r\nText of " + subject + "\r\n");
    }
    Scan();
    EXPECT_EQ(2u, Servers().ReadMailbox("dgann").size());
    EXPECT_TRUE(Servers().ReadMailbox("dgdig").empty());
    EXPECT_TRUE(Servers().ReadMailbox("dgoff").empty());

    clock.Set(2026, 3, 9, 6, 0, 0);
    Scan();
    clock.Set(2026, 3, 9, 7, 0, 0);
    Scan();
    const auto digests = Servers().ReadMailbox("dgdig");
    ASSERT_EQ(1u, digests.size());
    const std::string& digest = digests[0];
    EXPECT_NE(std::string::npos, digest.find("Subject: news Digest, Vol 1, Issue 1\r\n"));
    EXPECT_NE(std::string::npos, digest.find("From: dgnews@example.test\r\n"));
    EXPECT_NE(std::string::npos, digest.find("multipart/digest"));
    size_t parts = 0;
    for (size_t at = digest.find("message/rfc822"); at != std::string::npos;
         at = digest.find("message/rfc822", at + 1)) {
        ++parts;
    }
    EXPECT_EQ(2u, parts);
    for (const char* text : {"Subject: First news\r\n", "Subject: Second news\r\n",
                             "Text of Second news\r\n", "-- \r\nThe news list\r\n"}) {
        EXPECT_NE(std::string::npos, digest.find(text)) << text;
    }
    EXPECT_TRUE(Servers().ReadMailbox("dgoff").empty());
    EXPECT_EQ(2u, Servers().ReadMailbox("dgann").size());
    EXPECT_TRUE(
        Logged("Mon,09Mar26 06:00:00 news: digest Vol 1, Issue 1 sent to 1 members "
               "(2 postings)"));
}

}  // namespace
}  // namespace corvanteer
