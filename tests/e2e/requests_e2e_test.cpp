// Requests by mail, driven by whole scans against real servers: Dovecot serves the List
// Server mailbox and the lists' mailboxes, the harness's SMTP server files every answer and
// posting into the recipients' Maildirs. Settings are written in the text form an operator
// gives them, templates and rosters as sections of the list data file, and the console reads
// everything from the store as the command line's does. The clock is a fake one, so every
// stamp in the answers is known. One pair of servers serves the whole program; every test
// has its own mailbox users (named after a short prefix of its own).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/ListOperations.h"
#include "app/StoreConsole.h"
#include "common/MessageIds.h"
#include "common/TempDir.h"
#include "e2e/MailServers.h"
#include "e2e/ScanWorld.h"
#include "engine/Moderation.h"
#include "engine/OutgoingHeaders.h"
#include "engine/ScanSession.h"
#include "engine/Services.h"
#include "engine/Subscription.h"
#include "engine/bounce/MemberToken.h"
#include "support/Address.h"
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

using ::testing::ElementsAre;
using testing::MailServers;
using ::testing::MatchesRegex;
using testing::WithoutIdTags;

// The moment most tests run at: Monday 9 March 2026 14:05:00 UTC, LC_ALL=C.
constexpr const char* kStamp = "Mon,09Mar26 14:05:00 ";
constexpr const char* kShortDate = "03/09/26";
constexpr const char* kDateLine = "Date: Mon, 9 Mar 2026 14:05:00 GMT";
constexpr const char* kIdTime = "20260309140500";

// A message as a mail program shows it: header lines and body lines.
struct Received {
    Lines header;
    Lines body;
    Lines all;
    std::string Value(const std::string& name) const { return GetHeaderValue(name, header); }
};

Received Parse(const std::string& bytes) {
    Received message;
    message.all = TextToLines(bytes);
    auto end = std::find(message.all.begin(), message.all.end(), std::string());
    message.header.assign(message.all.begin(), end);
    if (end != message.all.end()) {
        message.body.assign(end + 1, message.all.end());
    }
    return message;
}

// A reply as a mail program writes it: every line of the original body quoted with "> ",
// empty lines as a bare ">".
Lines Quote(const Lines& body) {
    Lines quoted;
    quoted.reserve(body.size());
    for (const auto& line : body) {
        quoted.push_back(line.empty() ? ">" : "> " + line);
    }
    return quoted;
}

class RequestsE2e : public testing::ScanWorld {
protected:
    RequestsE2e() { ShortenTimeouts(mailer); }

    static std::string Address(const std::string& user) { return MailServers::Address(user); }

    // The List Server mailbox "<prefix>-ls" and the global settings that point at it and at
    // the SMTP server, written as the operator writes them.
    void UseListServer(const std::string& prefix) {
        listServerUser_ = prefix + "-ls";
        Servers().AddUser(listServerUser_, "ls-secret");
        SetGlobal("ListServerAddress", ListServer());
        SetGlobal("ListServerHost", Servers().Host());
        SetGlobal("ListServerPort", std::to_string(Servers().Pop3Port()));
        SetGlobal("ListServerUserID", listServerUser_);
        SetGlobal("ListServerPassword", "ls-secret");
        SetGlobal("SMTPHost", Servers().Host());
        SetGlobal("SMTPPort", std::to_string(Servers().SmtpPort()));
    }
    std::string ListServer() const { return Address(listServerUser_); }

    // Adds a list as the operator does and gives it the values (name, text form).
    void MakeList(std::string name,
                  const std::vector<std::pair<std::string, std::string>>& values) {
        const ActionResult added = AddList(services, name);
        ASSERT_TRUE(added.ok) << added.message;
        for (const auto& [setting, text] : values) {
            const SettingDef* def = FindSetting(ListSettingTable(), setting);
            ASSERT_NE(def, nullptr) << setting;
            WriteSettingText(*store, paths.ListKey(name), *def, text);
        }
    }

    // Gives the list a mailbox of its own, "<user>@example.test", as its posting address.
    void GiveMailbox(const std::string& list, const std::string& user) {
        Servers().AddUser(user, user + "-pw");
        MakeListValues(list, {{"ListPostingAddress", Address(user)},
                              {"Pop3Host", Servers().Host()},
                              {"Pop3Port", std::to_string(Servers().Pop3Port())},
                              {"Pop3User", user},
                              {"Pop3Password", user + "-pw"}});
    }
    void MakeListValues(const std::string& list,
                        const std::vector<std::pair<std::string, std::string>>& values) {
        for (const auto& [setting, text] : values) {
            WriteSettingText(*store, paths.ListKey(list), *FindSetting(ListSettingTable(), setting),
                             text);
        }
    }

    Lines SectionLines(const std::string& list, const std::string& section) const {
        return TextToLines(ReadSection(paths.ListDataFile(list), section));
    }

    // Mail from a person's mail program, through the SMTP server, to one address.
    bool Mail(const std::string& fromValue, const std::string& to, const std::string& subject,
              const Lines& body, const Lines& moreHeader = {}) {
        mailer.Server.host = Servers().Host();
        mailer.Server.port = Servers().SmtpPort();
        Lines message{"From: " + fromValue, "To: " + to, "Subject: " + subject};
        message.insert(message.end(), moreHeader.begin(), moreHeader.end());
        message.push_back("");
        message.insert(message.end(), body.begin(), body.end());
        std::string reply;
        const bool sent = mailer.Send(
            Envelope{LowerCase(ExtractEmail(fromValue)), {to}, LinesToText(message)}, reply);
        EXPECT_TRUE(sent) << "mail to " << to << " refused: " << reply;
        return sent;
    }

    // One scan as a front end runs it: the SMTP client pointed at the global settings, the
    // session lock held.
    bool Scan() {
        const ScanOutcome outcome = RunScan();
        EXPECT_TRUE(outcome.ok) << outcome.error;
        return outcome.ok;
    }

    std::vector<Received> Inbox(const std::string& user) const {
        std::vector<Received> messages;
        for (const auto& bytes : Servers().ReadMailbox(user)) {
            messages.push_back(Parse(bytes));
        }
        return messages;
    }

    // An answer from the List Server as it must arrive, without its Message-ID tag
    // (WithoutIdTags): addressing lines, the standard block (no MIME lines; the message number
    // is the request's in the List Server mailbox), Auto-Submitted, an empty line and the
    // filled template.
    Lines Answer(const std::string& to, const std::string& subject, const Lines& body,
                 const std::string& dateLine = kDateLine,
                 const std::string& idTime = kIdTime) const {
        Lines lines = {"To: " + to,
                       "From: " + ListServer(),
                       "Subject: " + subject,
                       "Message-ID: <Corvanteer-1-" + idTime + "@" + Servers().Host() + ">",
                       "X-Mailer: " + MailerName(),
                       dateLine,
                       "Auto-Submitted: auto-replied",
                       ""};
        lines.insert(lines.end(), body.begin(), body.end());
        return lines;
    }

    Lines Vericode() const {
        auto text = ReadFileIfExists(paths.VericodeFile());
        return text ? TextToLines(*text) : Lines{};
    }
    Lines LogLines() const {
        auto text = ReadFileIfExists(paths.LogFile());
        return text ? TextToLines(*text) : Lines{};
    }
    void ExpectLogLine(const std::string& line) const {
        const Lines log = LogLines();
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end())
            << "no log line \"" << line << "\" in:\n"
            << JoinLines(log, "\n");
    }

    // The password of the roster entry of the address ("" when it has none).
    std::string PasswordOf(const std::string& list, const std::string& address) const {
        for (const auto& entry : SectionLines(list, "MemberList")) {
            const SplitResult fields = SplitString(entry, " ");
            if (fields.Part(1) == address) {
                return fields.Part(3);
            }
        }
        return "";
    }

    TSmtpClient mailer;  // the people's mail program

private:
    std::string listServerUser_;
};

TEST_F(RequestsE2e, SubscriptionIsVerifiedByAReplyCarryingTheCode) {
    UseListServer("vs");
    MakeList("news", {{"VerifySubscribe", "on"},
                      {"RequirePassword", "on"},
                      {"AllowPostBy", "1"},
                      {"ListPostingAddress", Address("vs-news")},
                      {"VerifySubject", "Please confirm"},
                      {"SubscribeConfirmSubject", "Welcome to news"},
                      {"PasswordNotifySubject", "Your news password"}});
    SetSection("news", "Subscribe_Verify",
               {"To join {ListName}, reply to this message.",
                "Requested for {Email} at {ListServerAddress}."});
    SetSection("news", "Subscribe_Confirm",
               {"{Email} is now a member of {ListName}.", "Post to {ListAddress}."});
    SetSection("news", "Password_Notify", {"Your password for {ListName} is {Password}."});
    const std::string ann = Address("vs-ann");

    // The list named in other capitals: the answer speaks of the list as the request wrote
    // it, and the code carries that spelling.
    ASSERT_TRUE(Mail("Ann Example <VS-Ann@example.test>", ListServer(), "Subscribe NEWS",
                     {"Please add me."}));
    ASSERT_TRUE(Scan());

    EXPECT_TRUE(Servers().ReadMailbox("vs-ls").empty()) << "the request stays on the server";
    const std::string code = "authNEWS2603091405000";
    std::vector<Received> inbox = Inbox("vs-ann");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(WithoutIdTags(inbox[0].all),
              Answer(ann, "Please confirm (" + code + ")",
                     {"To join NEWS, reply to this message.",
                      "Requested for " + ann + " at " + ListServer() + "."}));
    EXPECT_THAT(Vericode(), ElementsAre(code + " " + ann));
    EXPECT_THAT(SectionLines("news", "MemberList"), ElementsAre());
    EXPECT_THAT(SectionLines("news", "Latest_Actions"),
                ElementsAre(std::string(kShortDate) + " ? " + ann));
    ExpectLogLine(kStamp + std::string("NEWS: ? ") + ann + "(subscribe request)");
    ASSERT_FALSE(::testing::Test::HasFailure());

    // The person answers the request with the mail program's reply.
    const Received& request = inbox[0];
    Lines replyBody = {"Yes, that was me.", ""};
    const Lines quoted = Quote(request.body);
    replyBody.insert(replyBody.end(), quoted.begin(), quoted.end());
    ASSERT_TRUE(Mail("Ann Example <" + ann + ">", ExtractEmail(request.Value("From")),
                     "Re: " + request.Value("Subject"), replyBody));
    ASSERT_TRUE(Scan());

    const Lines roster = SectionLines("news", "MemberList");
    ASSERT_EQ(roster.size(), 1u);
    EXPECT_THAT(roster[0], MatchesRegex("vs-ann@example\\.test 0 [0-9]{6}"));
    const std::string password = PasswordOf("news", ann);
    inbox = Inbox("vs-ann");
    ASSERT_EQ(inbox.size(), 3u);
    // A verification reply speaks of the list as the list set holds it.
    EXPECT_EQ(WithoutIdTags(inbox[1].all),
              Answer(ann, "Welcome to news",
                     {ann + " is now a member of news.", "Post to " + Address("vs-news") + "."}));
    EXPECT_EQ(WithoutIdTags(inbox[2].all),
              Answer(ann, "Your news password", {"Your password for news is " + password + "."}));
    EXPECT_TRUE(FileExists(paths.VericodeFile()));
    EXPECT_THAT(Vericode(), ElementsAre());
    EXPECT_THAT(
        SectionLines("news", "Latest_Actions"),
        ElementsAre(std::string(kShortDate) + " + " + ann, std::string(kShortDate) + " ? " + ann));
    ExpectLogLine(kStamp + std::string("news: + ") + ann + "(email verified, user added)");
    EXPECT_TRUE(Servers().ReadMailbox("vs-ls").empty());
    // "NEWS" named the list "news": no second roster appeared.
    EXPECT_FALSE(FileExists(paths.ListDataFile("NEWS")));
}

TEST_F(RequestsE2e, WithoutVerificationMembersJoinAndLeaveAtOnce) {
    UseListServer("nv");
    MakeList("club", {{"VerifySubscribe", "off"},
                      {"AllowPostBy", "1"},
                      {"ListPostingAddress", Address("nv-club")},
                      {"SubscribeConfirmSubject", "Joined"},
                      {"AlreadyAMemberSubject", "Already in"},
                      {"NotMemberSubject", "Not in"},
                      {"UnSubscribeConfirmSubject", "Left"}});
    SetSection("club", "Subscribe_Confirm", {"Welcome {Email}; your password: {Password}"});
    SetSection("club", "Already_A_Member", {"{Email} is already on {ListName}."});
    SetSection("club", "Not_Member", {"{Email} is not on {ListName}."});
    SetSection("club", "Unsubscribe_Confirm", {"{Email} has left {ListName}.", "Goodbye."});
    SetSection("club", "BlackList", {"blocked.example"});
    const std::string old = Address("nv-old");
    SetSection("club", "MemberList", {old + " 0 123456"});
    const std::string fresh = Address("nv-new");

    // A new address is added at once; without passwords "{Password}" stays as written.
    ASSERT_TRUE(Mail(fresh, ListServer(), "subscribe club", {}));
    ASSERT_TRUE(Scan());
    const Lines roster = SectionLines("club", "MemberList");
    ASSERT_EQ(roster.size(), 2u);
    EXPECT_THAT(roster[0], MatchesRegex("nv-new@example\\.test 0 [0-9]{6}"));
    EXPECT_EQ(roster[1], old + " 0 123456");
    std::vector<Received> inbox = Inbox("nv-new");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(WithoutIdTags(inbox[0].all),
              Answer(fresh, "Joined", {"Welcome " + fresh + "; your password: {Password}"}));
    EXPECT_FALSE(FileExists(paths.VericodeFile()));
    ExpectLogLine(kStamp + std::string("club: + ") + fresh + "(email verified, user added)");

    // A member asking again: the Already_A_Member answer, nothing recorded.
    const Lines actionsBefore = SectionLines("club", "Latest_Actions");
    ASSERT_TRUE(Mail(old, ListServer(), "subscribe club", {}));
    ASSERT_TRUE(Scan());
    inbox = Inbox("nv-old");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(WithoutIdTags(inbox[0].all),
              Answer(old, "Already in", {old + " is already on club."}));
    EXPECT_EQ(SectionLines("club", "MemberList"), roster);
    EXPECT_EQ(SectionLines("club", "Latest_Actions"), actionsBefore);

    // Someone who is not a member leaving: the Not_Member answer.
    const std::string stranger = Address("nv-stranger");
    ASSERT_TRUE(Mail(stranger, ListServer(), "Unsubscribe CLUB", {}));
    ASSERT_TRUE(Scan());
    inbox = Inbox("nv-stranger");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(WithoutIdTags(inbox[0].all),
              Answer(stranger, "Not in", {stranger + " is not on CLUB."}));
    EXPECT_EQ(SectionLines("club", "MemberList"), roster);

    // A blacklisted address (the entry is only part of its domain): no answer, the records.
    const std::string blocked = "nv-bad@blocked.example.test";
    ASSERT_TRUE(Mail(blocked, ListServer(), "subscribe club", {}));
    ASSERT_TRUE(Scan());
    EXPECT_TRUE(Servers().ReadMailbox("nv-bad").empty());
    EXPECT_TRUE(Servers().ReadMailbox("nv-ls").empty()) << "the request stays on the server";
    EXPECT_EQ(SectionLines("club", "MemberList"), roster);
    EXPECT_EQ(SectionLines("club", "Latest_Actions").front(),
              std::string(kShortDate) + " x " + blocked + "(blacklisted)");
    ExpectLogLine(kStamp + std::string("club: x ") + blocked + "(blacklisted)");

    // A member leaving: removed, the Unsubscribe_Confirm answer and the records.
    ASSERT_TRUE(Mail("Old Member <" + old + ">", ListServer(), "unsubscribe club", {}));
    ASSERT_TRUE(Scan());
    EXPECT_THAT(SectionLines("club", "MemberList"), ElementsAre(roster[0]));
    inbox = Inbox("nv-old");
    ASSERT_EQ(inbox.size(), 2u);
    EXPECT_EQ(WithoutIdTags(inbox[1].all),
              Answer(old, "Left", {old + " has left club.", "Goodbye."}));
    EXPECT_EQ(SectionLines("club", "Latest_Actions").front(),
              std::string(kShortDate) + " - " + old);
    ExpectLogLine(kStamp + std::string("club: - ") + old + "(user removed, unsubscribe request)");
}

TEST_F(RequestsE2e, ModeratorsApproveAnEditedPostingThatReachesEveryMember) {
    UseListServer("md");
    MakeList("garden",
             {{"ModerateList", "on"},
              {"AllowPostBy", "1"},
              {"PostingMethod", "1"},
              {"HideSenderEmail", "off"},
              {"Moderators", Address("md-mod1") + "\r\n" + Address("md-mod2") + " modpw"}});
    GiveMailbox("garden", "md-garden");
    SetSection("garden", "Signature", {"-- ", "The garden list"});
    const std::string ann = Address("md-ann");
    SetSection(
        "garden", "MemberList",
        {ann + " 0 111111", Address("md-bob") + " 0 222222", Address("md-cy") + " 0 333333"});

    const Lines postingHeader = {"From: Ann Author <" + ann + ">", "To: " + Address("md-garden"),
                                 "Subject: Garden party", "MIME-Version: 1.0",
                                 "Content-Type: text/plain; charset=us-ascii"};
    const Lines postingBody = {"Dear all,", "", "the party starts at 5 pm.", "Bring a chair."};
    ASSERT_TRUE(Mail("Ann Author <" + ann + ">", Address("md-garden"), "Garden party", postingBody,
                     {"MIME-Version: 1.0", "Content-Type: text/plain; charset=us-ascii"}));
    ASSERT_TRUE(Scan());

    // Both moderators receive the approval request; nobody else receives anything yet.
    const std::string messageId =
        "Message-ID: <Corvanteer-md-garden0-" + std::string(kIdTime) + "@" + Servers().Host() + ">";
    Lines request = {"From: " + Address("md-garden"),
                     "To: " + Address("md-mod1") + "," + Address("md-mod2"),
                     "Subject: garden requesting approval",
                     kDateLine,
                     "X-Mailer: " + MailerName(),
                     messageId,
                     "Auto-Submitted: auto-replied",
                     "",
                     "Please hit reply and then make your changes to the message body",
                     "between the boundaries before sending it.",
                     "",
                     kApprovalBegin};
    request.insert(request.end(), postingHeader.begin(), postingHeader.end());
    request.push_back("");
    request.insert(request.end(), postingBody.begin(), postingBody.end());
    // The downloaded copy ends with one more line break than the message had.
    request.push_back("");
    request.push_back(kApprovalEnd);
    for (const char* moderator : {"md-mod1", "md-mod2"}) {
        const std::vector<Received> inbox = Inbox(moderator);
        ASSERT_EQ(inbox.size(), 1u) << moderator;
        EXPECT_EQ(WithoutIdTags(inbox[0].all), request) << moderator;
    }
    for (const char* member : {"md-ann", "md-bob", "md-cy"}) {
        EXPECT_TRUE(Servers().ReadMailbox(member).empty()) << member;
    }
    EXPECT_TRUE(Servers().ReadMailbox("md-garden").empty()) << "the posting stays on the server";
    ExpectLogLine(kStamp + std::string("garden: msg from ") + ann + " - forwarded succesfully.");
    ASSERT_FALSE(::testing::Test::HasFailure());

    // The first moderator replies, quoting the request and changing the time.
    const Received received = Inbox("md-mod1")[0];
    Lines reply = {"Approved, with the right time.", ""};
    for (const auto& line : Quote(received.body)) {
        reply.push_back(line == "> the party starts at 5 pm." ? "> the party starts at 6 pm."
                                                              : line);
    }
    ASSERT_TRUE(Mail("Mod One <" + Address("md-mod1") + ">", ExtractEmail(received.Value("From")),
                     "Re: " + received.Value("Subject"), reply));
    ASSERT_TRUE(Scan());

    // Every member receives the edited posting under its author's name and subject. (The
    // signature section's text ends with the line break its writing added.)
    const std::string tokenKey = bounce::MemberTokenKey(*store, paths.SettingsKey());
    for (const char* member : {"md-ann", "md-bob", "md-cy"}) {
        const std::vector<Received> inbox = Inbox(member);
        ASSERT_EQ(inbox.size(), 1u) << member;
        EXPECT_EQ(
            WithoutIdTags(inbox[0].all),
            (Lines{
                "To: " + Address(member),
                "From: Ann Author <" + ann + ">",
                "Reply-To: " + Address("md-garden"),
                "Subject: Garden party",
                "Content-Type: text/plain; charset=us-ascii",
                "MIME-Version: 1.0",
                messageId,
                "X-Mailer: " + MailerName(),
                kDateLine,
                "List-Id: garden <md-garden.example.test>",
                "List-Post: <mailto:" + Address("md-garden") + ">",
                "List-Help: <mailto:" + ListServer() + "?subject=help%20garden>",
                "List-Subscribe: <mailto:" + ListServer() + "?subject=subscribe%20garden>",
                "List-Unsubscribe: <mailto:" + ListServer() + "?subject=unsubscribe%20garden>",
                "Precedence: list",
                "X-Corvanteer-Member: " + bounce::MemberToken(tokenKey, "garden", Address(member)),
                "",
                "Dear all,",
                "",
                "the party starts at 6 pm.",
                "Bring a chair.",
                "",
                "-- ",
                "The garden list",
                ""}))
            << member;
    }
    // The moderators are not members: only the request reached them.
    EXPECT_EQ(Servers().ReadMailbox("md-mod1").size(), 1u);
    EXPECT_EQ(Servers().ReadMailbox("md-mod2").size(), 1u);
    ExpectLogLine(kStamp + std::string("garden: msg from ") + Address("md-garden") +
                  " - sent to 3 of 3 members.");
}

TEST_F(RequestsE2e, ModeratorCommandBlockChangesTheRosterOnlyWithTheRightPassword) {
    UseListServer("mc");
    MakeList("chess", {{"RequirePassword", "on"},
                       {"AllowPostBy", "1"},
                       {"Moderators", Address("mc-boss") + " bosspw"}});
    const std::string old = Address("mc-old");
    const std::string stay = Address("mc-stay");
    SetSection("chess", "MemberList", {old + " 0 111111", stay + " 0 222222"});

    ASSERT_TRUE(Mail("The Boss <" + Address("mc-boss") + ">", ListServer(), "comm",
                     {"Here are this week's changes.", "comm begin", "list chess", "pass bosspw",
                      "addu " + Address("mc-new1"), "ADDU \t MC-New2@Example.test", "remo " + old,
                      "comm end", "addu " + Address("mc-late")}));
    ASSERT_TRUE(Scan());

    const Lines roster = SectionLines("chess", "MemberList");
    ASSERT_EQ(roster.size(), 3u);
    EXPECT_THAT(roster[0], MatchesRegex("mc-new1@example\\.test 0 [0-9]{6}"));
    EXPECT_THAT(roster[1], MatchesRegex("mc-new2@example\\.test 0 [0-9]{6}"));
    EXPECT_EQ(roster[2], stay + " 0 222222");
    const std::string date = kShortDate;
    EXPECT_THAT(SectionLines("chess", "Latest_Actions"),
                ElementsAre(date + " - " + old, date + " + " + Address("mc-new2"),
                            date + " + " + Address("mc-new1")));
    ExpectLogLine(kStamp + std::string("chess: + ") + Address("mc-new1") + "(added by moderator)");
    ExpectLogLine(kStamp + std::string("chess: + ") + Address("mc-new2") + "(added by moderator)");
    ExpectLogLine(kStamp + std::string("chess: - ") + old + "(removed by moderator)");
    EXPECT_TRUE(Servers().ReadMailbox("mc-ls").empty()) << "the block stays on the server";
    // Nothing is mailed: no welcome, no password notice, no confirmation.
    for (const char* user : {"mc-boss", "mc-new1", "mc-new2", "mc-old"}) {
        EXPECT_TRUE(Servers().ReadMailbox(user).empty()) << user;
    }

    // The same moderator with a wrong password changes nothing.
    const std::string dataFile = ReadFile(paths.ListDataFile("chess"));
    const size_t logSize = LogLines().size();
    ASSERT_TRUE(Mail(Address("mc-boss"), ListServer(), "comm",
                     {"comm begin", "list chess", "pass bosspwx", "addu " + Address("mc-new3"),
                      "remo " + stay, "comm end"}));
    ASSERT_TRUE(Scan());
    EXPECT_EQ(ReadFile(paths.ListDataFile("chess")), dataFile);
    EXPECT_EQ(LogLines().size(), logSize);
    EXPECT_TRUE(Servers().ReadMailbox("mc-ls").empty());
}

TEST_F(RequestsE2e, CodesOlderThanTheirListsLimitExpireAtStartAndAreThenRefused) {
    UseListServer("ex");
    MakeList("books", {{"VerifySubscribe", "on"},
                       {"VerifyDays", "3"},
                       {"VerifySubject", "Confirm"},
                       {"SubscribeConfirmSubject", "Welcome"},
                       {"VerifyErrSubject", "Code not accepted"}});
    SetSection("books", "Subscribe_Verify", {"Reply to join {ListName}."});
    SetSection("books", "Subscribe_Confirm", {"Welcome to {ListName}."});
    SetSection("books", "Verify_Error",
               {"The code you sent for {ListName} is not pending for {Email}."});
    const std::string early = Address("ex-early");
    const std::string late = Address("ex-late");

    // Two requests, six and five days before the start-up below.
    clock.Set(2026, 3, 3, 10, 0, 0);
    ASSERT_TRUE(Mail(early, ListServer(), "subscribe books", {}));
    ASSERT_TRUE(Scan());
    clock.Set(2026, 3, 4, 9, 30, 0);
    ASSERT_TRUE(Mail(late, ListServer(), "subscribe books", {}));
    ASSERT_TRUE(Scan());
    const std::string earlyLine = "authbooks2603031000000 " + early;
    const std::string lateLine = "authbooks2603040930000 " + late;
    ASSERT_THAT(Vericode(), ElementsAre(earlyLine, lateLine));

    // Start-up on the 9th: 6 days is past VerifyDays + 2, 5 days is not.
    clock.Set(2026, 3, 9, 8, 0, 0);
    const ExpiryCounts counts = ExpirePendingVerifications(services);
    EXPECT_EQ(counts.removed, 1);
    EXPECT_EQ(counts.kept, 1);
    EXPECT_EQ(counts.malformed, 0);
    EXPECT_THAT(Vericode(), ElementsAre(lateLine));

    // The expired code is refused with the Verify_Error answer and its records.
    const Received earlyRequest = Inbox("ex-early").at(0);
    ASSERT_TRUE(Mail(early, ListServer(), "Re: " + earlyRequest.Value("Subject"), {}));
    ASSERT_TRUE(Scan());
    std::vector<Received> inbox = Inbox("ex-early");
    ASSERT_EQ(inbox.size(), 2u);
    EXPECT_EQ(WithoutIdTags(inbox[1].all),
              Answer(early, "Code not accepted",
                     {"The code you sent for books is not pending for " + early + "."},
                     "Date: Mon, 9 Mar 2026 08:00:00 GMT", "20260309080000"));
    EXPECT_THAT(SectionLines("books", "MemberList"), ElementsAre());
    EXPECT_EQ(SectionLines("books", "Latest_Actions").front(), "03/09/26 x " + early);
    ExpectLogLine("Mon,09Mar26 08:00:00 books: x " + early + "(verification fail)");
    EXPECT_THAT(Vericode(), ElementsAre(lateLine));

    // The younger code still works, also from a mail program that folds the subject line.
    const Received lateRequest = Inbox("ex-late").at(0);
    EXPECT_EQ(lateRequest.Value("Subject"), "Confirm (authbooks2603040930000)");
    ASSERT_TRUE(Mail(late, ListServer(),
                     "Re: " + ReplaceAll(lateRequest.Value("Subject"), " (", "\r\n\t("), {}));
    ASSERT_TRUE(Scan());
    const Lines roster = SectionLines("books", "MemberList");
    ASSERT_EQ(roster.size(), 1u);
    EXPECT_THAT(roster[0], MatchesRegex("ex-late@example\\.test 0 [0-9]{6}"));
    inbox = Inbox("ex-late");
    ASSERT_EQ(inbox.size(), 2u);
    EXPECT_EQ(WithoutIdTags(inbox[1].all),
              Answer(late, "Welcome", {"Welcome to books."}, "Date: Mon, 9 Mar 2026 08:00:00 GMT",
                     "20260309080000"));
    EXPECT_THAT(Vericode(), ElementsAre());
}

}  // namespace
}  // namespace corvanteer
