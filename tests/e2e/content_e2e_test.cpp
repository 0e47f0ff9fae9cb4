// Mail as people write it, posted through real servers: Dovecot serves the list mailbox, the
// harness's SMTP server (which refuses lines over 998 octets, as real ones do) files every
// copy into the members' Maildirs. Shapes of the MIME corpus go out individually; what the
// members find is parsed again and held against the original.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "app/ListOperations.h"
#include "app/RosterOperations.h"
#include "e2e/ScanWorld.h"
#include "engine/mime/DecorationChecks.h"
#include "engine/mime/MimeLibrary.h"
#include "support/Files.h"
#include "support/HeaderFields.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer {
namespace {

using testing::MailServers;

constexpr const char* kPassword = "secret";
constexpr const char* kStamp = "Mon,09Mar26 14:05:00 ";
// Not ASCII, and with a character ISO-8859-1 has not: a Latin-1 text must turn UTF-8.
const std::string kSignature =
    "-- \r\nClub list \xC2\xB7 Gr\xC3\xBC\xC3\x9F"
    "e \xE2\x80\x94 reply";

struct Shape {
    const char* file;
    const char* subject;  // as the member's copy shows it
    const char* shownName;
    mime::SignaturePlace place;
};

class ContentE2e : public testing::ScanWorld {
protected:
    // List "club" (mailbox cntclub), anybody may post, one copy per member, the sender's
    // address hidden behind the list's (no ChangeSenderEmailTo: the default).
    void SetUpClub(const std::vector<std::string>& members) {
        Servers().AddUser("cntls", kPassword);
        SetGlobal("ListServerAddress", MailServers::Address("cntls"));
        SetGlobal("SMTPHost", Servers().Host());
        SetGlobal("SMTPPort", std::to_string(Servers().SmtpPort()));
        std::string name = "club";
        ASSERT_TRUE(AddList(services, name).ok);
        Servers().AddUser("cntclub", kPassword);
        SetListSetting(name, "Pop3Host", Servers().Host());
        SetListSetting(name, "Pop3Port", std::to_string(Servers().Pop3Port()));
        SetListSetting(name, "Pop3User", "cntclub");
        SetListSetting(name, "Pop3Password", kPassword);
        SetListSetting(name, "ListPostingAddress", MailServers::Address("cntclub"));
        SetListSetting(name, "AllowPostBy", "2");
        SetListSetting(name, "PostingMethod", "1");
        SetSection(name, "Signature", TextToLines(kSignature));
        for (const auto& member : members) {
            ASSERT_TRUE(AddMember(services, name, MailServers::Address(member)).ok) << member;
        }
    }

    static std::string Corpus(const std::string& name) {
        return LinesToText(TextToLines(ReadFile(std::string(CORVANTEER_MIME_CORPUS) + "/" + name)));
    }
};

TEST_F(ContentE2e, ShapesOfRealMailReachEveryMemberSignedWholeAndFromTheList) {
    const std::vector<std::string> members{"cntann", "cntbob"};
    SetUpClub(members);
    using P = mime::SignaturePlace;
    const Shape shapes[] = {
        {"base64-utf8.eml",
         "=?UTF-8?Q?Presse_l=C3=A4uft?=", "=?UTF-8?Q?J=C3=B6rg_Hauser?=", P::AfterText},
        {"alternative.eml", "Boat schedule", "\"Okafor, Chidi\"", P::NewMixed},
        {"mixed-binary.eml", "Firmware image", "Ilse Brandt", P::LastPart},
        {"long-line.eml", "Raw readings", "Sensor Desk", P::AfterText},
    };
    for (const Shape& shape : shapes) {
        Servers().PutMessage("cntclub", Corpus(shape.file));
    }
    const ScanOutcome outcome = RunScan();
    ASSERT_TRUE(outcome.ok) << outcome.error;

    for (const auto& member : members) {
        std::map<std::string, std::string> bySubject;
        for (const std::string& copy : Servers().ReadMailbox(member)) {
            bySubject[GetHeaderValue("Subject", TextToLines(copy))] = copy;
        }
        ASSERT_EQ(4u, bySubject.size()) << member;
        for (const Shape& shape : shapes) {
            SCOPED_TRACE(member + " " + shape.file);
            ASSERT_TRUE(bySubject.count(shape.subject));
            const std::string& copy = bySubject[shape.subject];
            const size_t end = copy.find("\r\n\r\n");
            ASSERT_NE(std::string::npos, end);
            const std::string header = copy.substr(0, end + 2);
            const Lines headerLines = TextToLines(header);
            EXPECT_EQ(std::string(shape.shownName) + " <" + MailServers::Address("cntclub") + ">",
                      GetHeaderValue("From", headerLines));
            EXPECT_TRUE(mime::IsSevenBit(header));
            // What the member got, held against what was posted (as the list downloaded it,
            // with the closing line break of its file): the signature shows, every part of
            // the original decodes to its own bytes, no new defect, no line over 998 octets.
            const mime::DecoratedBody got{
                {GetHeaderValue("MIME-Version", headerLines),
                 GetHeaderValue("Content-Type", headerLines),
                 GetHeaderValue("Content-Transfer-Encoding", headerLines)},
                copy.substr(end + 4),
                shape.place};
            const std::vector<std::string> faults =
                mime::DecorationFaults(Corpus(shape.file) + "\r\n",
                                       ReadSection(paths.ListDataFile("club"), "Signature"), got);
            EXPECT_TRUE(faults.empty()) << JoinLines(faults, "\n");
            EXPECT_LE(mime::LongestLine(copy), mime::kMaxLineOctets);
        }
    }
    EXPECT_TRUE(ListFiles(paths.OutFolder(), ".dat").empty());
    const Lines log = LogLines();
    EXPECT_EQ(4, std::count_if(log.begin(), log.end(), [](const std::string& line) {
                  return StartsWith(line, std::string(kStamp) + "club: i posted msg by ");
              }));
}

}  // namespace
}  // namespace corvanteer
