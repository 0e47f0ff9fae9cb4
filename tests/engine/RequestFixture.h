#pragma once

// Helpers shared by the tests of requests by mail: list sections and values, a List Server
// message in hand, the exact shape of an answer, and the pending verification file.

#include <string>
#include <vector>

#include "EngineFixture.h"
#include "common/MessageIds.h"
#include "engine/OutgoingHeaders.h"
#include "engine/ScanContext.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer::testing {

class RequestTest : public EngineTest {
protected:
    // The fixture's clock reads Monday 9 March 2026 14:05:00, offset 0, LC_ALL=C.
    static constexpr const char* kStamp = "Mon,09Mar26 14:05:00 ";
    static constexpr const char* kShortDate = "03/09/26";
    static constexpr const char* kListServer = "listserver@example.test";

    std::string Section(const std::string& list, const std::string& section) const {
        return ReadSection(DataFile(list), section);
    }
    Lines SectionLines(const std::string& list, const std::string& section) const {
        return TextToLines(Section(list, section));
    }
    void SetBool(const std::string& list, const std::string& name, bool value) {
        store->WriteRegBool(ListKey(list), name, value);
    }
    void SetInt(const std::string& list, const std::string& name, int value) {
        store->WriteRegInteger(ListKey(list), name, value);
    }
    void SetString(const std::string& list, const std::string& name, const std::string& value) {
        store->WriteRegString(ListKey(list), name, value);
    }

    // A context as phase 1 leaves it for List Server message 1.
    ScanContext Request(const std::string& from, const std::string& subject) const {
        ScanContext context;
        context.MessageNumber = 1;
        context.FromValue = from;
        context.SenderAddress = LowerCase(from);
        context.Subject = subject;
        return context;
    }

    // The lines of an answer as it must leave, without its Message-ID tag (WithoutIdTags):
    // addressing lines, the standard block of a List Server answer (no MIME lines),
    // Auto-Submitted and the body.
    Lines Answer(const std::string& to, const std::string& subject, const Lines& body,
                 const std::string& pop3User = "", int messageNumber = 1) const {
        Lines lines = {"To: " + to,
                       std::string("From: ") + kListServer,
                       "Subject: " + subject,
                       "Message-ID: <Corvanteer-" + pop3User + std::to_string(messageNumber) +
                           "-20260309140500@smtp.example.test>",
                       "X-Mailer: " + MailerName(),
                       "Date: Mon, 9 Mar 2026 14:05:00 GMT",
                       "Auto-Submitted: auto-replied",
                       ""};
        lines.insert(lines.end(), body.begin(), body.end());
        return lines;
    }

    Lines Vericode() const {
        auto text = ReadFileIfExists(paths.VericodeFile());
        return text ? TextToLines(*text) : Lines{};
    }
    void SetVericode(const std::string& bytes) { WriteFileAtomic(paths.VericodeFile(), bytes); }

    // Log lines without their stamp (every line must carry the fixture's stamp).
    Lines LogTexts() const {
        Lines texts;
        for (const auto& line : LogLines()) {
            EXPECT_TRUE(StartsWith(line, kStamp)) << line;
            texts.push_back(line.substr(std::string(kStamp).size()));
        }
        return texts;
    }
};

}  // namespace corvanteer::testing
