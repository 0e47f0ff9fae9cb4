// The archive's copy of a distributed posting: the message the members got, as the composer
// made it, and the archive header lines that point every copy at its page.

#include <gtest/gtest.h>

#include <atomic>

#include "../EngineFixture.h"
#include "engine/ListPosting.h"
#include "engine/ManualPosting.h"
#include "engine/archive/Mbox.h"
#include "engine/archive/MboxStore.h"
#include "engine/archive/MessageFacts.h"
#include "support/Files.h"
#include "support/HeaderFields.h"

namespace corvanteer::testing {
namespace {

constexpr const char* kBase = "https://lists.example.test/news";

class PostingToArchiveTest : public EngineTest {
protected:
    PostingToArchiveTest() {
        AddList("news");
        context = ContextFor("news");
        ListSettings& s = context.Settings;
        s.ListPostingAddress = "news@lists.test";
        s.HideSenderEmail = false;
        s.Pop3User = "news";
        s.ArchiveBaseURL = kBase;
        s.BounceProcessing = false;  // the copies' member token line: Delivery_test
        context.SenderName = "Ann Author";
        context.SenderAddress = "ann@example.org";
        context.Subject = "Hello all";
        SetSection("news", "MemberList", "carl@x.org 0 111111\r\nbob@x.org 0 222222");
        SetSection("news", "Signature", "-- \r\nThe news list");
    }

    // The messages of the list's archive, CR LF line ends as they went out.
    std::vector<std::string> ArchivedMessages() const {
        const std::string bytes = archive::MboxStore(paths.MboxFolder("news")).ReadMonth("2026-03");
        std::vector<std::string> messages;
        for (const archive::MboxSpan& span : archive::SplitMbox(bytes)) {
            messages.push_back(LinesToText(TextToLines(archive::MboxMessage(bytes, span))));
        }
        return messages;
    }
    static std::string Header(const std::string& name, const std::string& message) {
        return GetHeaderValue(name, TextToLines(message.substr(0, message.find("\r\n\r\n"))));
    }
    static std::string PageOf(const std::string& message) {
        return std::string(kBase) + "/" +
               archive::MessagePageOf(archive::IdFromHeader(Header("Message-ID", message)));
    }

    ScanContext context;
    const std::string body = "Hi everybody,\r\nFrom the start\r\n";
};

TEST_F(PostingToArchiveTest, ABccPostingIsArchivedAsItWentAndPointsAtItsPage) {
    PostToList(context, services, body, 0);
    ASSERT_EQ(smtp.sent.size(), 1u);
    const std::string& sent = smtp.sent[0].text;
    EXPECT_EQ(ArchivedMessages(), std::vector<std::string>{sent});
    EXPECT_EQ(Header("List-Archive", sent), "<" + std::string(kBase) + ">");
    EXPECT_EQ(Header("Archived-At", sent), "<" + PageOf(sent) + ">");
    // After the list headers, before the body.
    EXPECT_NE(sent.find("Precedence: list\r\nList-Archive: <"), std::string::npos);
    EXPECT_EQ(context.ArchivedLists, std::vector<std::string>{"news"});
}

TEST_F(PostingToArchiveTest, IndividualCopiesAreArchivedOnceWithoutAMembersLines) {
    // Every copy is composed a second later, so each has its own Date and Message-ID.
    smtp.accept = [this](const FakeSmtp::Sent&) {
        clock.AdvanceSeconds(1);
        return true;
    };
    PostToList(context, services, body, 1);
    ASSERT_EQ(smtp.sent.size(), 2u);
    const std::vector<std::string> archived = ArchivedMessages();
    ASSERT_EQ(archived.size(), 1u);
    const std::string& kept = archived[0];
    const std::string& first = smtp.sent[0].text;
    EXPECT_EQ(Header("To", kept), "news@lists.test");
    EXPECT_EQ(Header("Message-ID", kept), Header("Message-ID", first));
    EXPECT_EQ(Header("Date", kept), Header("Date", first));
    EXPECT_NE(Header("Message-ID", smtp.sent[1].text), Header("Message-ID", first));
    for (const FakeSmtp::Sent& copy : smtp.sent) {
        EXPECT_EQ(Header("Archived-At", copy.text), "<" + PageOf(kept) + ">");
        // The copy the member got is the archived one but for its To line, Date and id.
        EXPECT_EQ(copy.text.substr(copy.text.find("List-Id")), kept.substr(kept.find("List-Id")));
    }
    EXPECT_NE(kept.find("\r\nFrom the start\r\n-- \r\nThe news list\r\n"), std::string::npos);
    EXPECT_NE(ReadFile(paths.MboxFolder("news") + "2026-03.mbox").find("\n>From the start\n"),
              std::string::npos)
        << "quoted in the file";
}

TEST_F(PostingToArchiveTest, WithoutABaseUrlNoArchiveLinesButTheMboxStillKeepsThePosting) {
    context.Settings.ArchiveBaseURL = "";
    PostToList(context, services, body, 0);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].text.find("List-Archive"), std::string::npos);
    EXPECT_EQ(smtp.sent[0].text.find("Archived-At"), std::string::npos);
    EXPECT_EQ(ArchivedMessages(), std::vector<std::string>{smtp.sent[0].text});
}

TEST_F(PostingToArchiveTest, AManualPostingIsArchivedAndItsHtmlArchiveBuilt) {
    store->WriteRegBool(ListKey("news"), "HtmlArchive", true);
    ManualPosting posting;
    posting.listName = "news";
    posting.postingMethod = 1;
    posting.listPostingAddress = "news@lists.test";
    posting.hideSenderEmail = false;
    posting.from = "Operator <op@lists.test>";
    posting.subject = "Notice";
    posting.messageLines = {"Server moves tonight."};
    posting.members = {"bob@x.org", "carl@x.org"};
    posting.archiveBaseUrl = kBase;
    std::atomic<bool> abort{false};
    PostManualMessage(services, posting, abort);

    ASSERT_EQ(smtp.sent.size(), 2u);
    const std::vector<std::string> archived = ArchivedMessages();
    ASSERT_EQ(archived.size(), 1u);
    EXPECT_EQ(Header("To", archived[0]), "news@lists.test");
    for (const FakeSmtp::Sent& copy : smtp.sent) {
        EXPECT_EQ(Header("Archived-At", copy.text), "<" + PageOf(archived[0]) + ">");
    }
    const std::string page =
        paths.HtmlArchiveFolder("news") +
        archive::MessagePageOf(archive::IdFromHeader(Header("Message-ID", archived[0])));
    ASSERT_TRUE(FileExists(page));
    EXPECT_NE(ReadFile(page).find("Server moves tonight."), std::string::npos);
}

}  // namespace
}  // namespace corvanteer::testing
