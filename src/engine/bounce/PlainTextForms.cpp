#include "engine/bounce/PlainTextForms.h"

#include <algorithm>
#include <array>

#include "support/Address.h"
#include "support/Text.h"

namespace corvanteer::bounce {

namespace {

// How a line that names a failed address looks in a form.
enum class AddressLine {
    Bracketed,  // "<ann@example.org>:" at the start of the line
    Indented,   // a line that begins with blanks and whose first word is the address
    Anywhere,   // the first address anywhere in the line
};

struct Form {
    const char* name;
    const char* marker;  // the form's own words (any case); the addresses follow its line
    std::array<const char*, 2> listEnd;  // the address list stops at a line holding either
    AddressLine lines;
    Verdict verdict;  // when the text gives no status for an address
};

// Written from the forms these servers use; each rule only as long as it needs to be.
constexpr std::array<Form, 7> kForms{{
    {"qmail",
     "wasn't able to deliver your message to the following addresses",
     {"--- below this line is a copy of the message", "--- enclosed are the original headers"},
     AddressLine::Bracketed,
     Verdict::Hard},
    {"Exim",
     "the following address(es) failed:",
     {"------ this is a copy of the message", "------ this is a copy of the body"},
     AddressLine::Indented,
     Verdict::Hard},
    {"Exchange",
     "delivery has failed to these recipients or groups:",
     {"diagnostic information for administrators", "original message headers"},
     AddressLine::Anywhere,
     Verdict::Hard},
    {"Exchange delay",
     "delivery is delayed to these recipients or groups:",
     {"diagnostic information for administrators", "original message headers"},
     AddressLine::Anywhere,
     Verdict::NotCounted},
    {"Yahoo",
     "unable to deliver your message to the following address",
     {"--- below this line is a copy of the message", "--- original message ---"},
     AddressLine::Bracketed,
     Verdict::Hard},
    {"permanent failure",
     "delivery to the following recipient failed permanently",
     {"----- original message -----", "technical details of"},
     AddressLine::Indented,
     Verdict::Hard},
    {"delay notice",
     "delivery to the following recipient has been delayed",
     {"----- original message -----", "technical details of"},
     AddressLine::Indented,
     Verdict::NotCounted},
}};

std::string Stripped(std::string_view word) {
    std::string text = Trim(word);
    if (StartsWithText(text, "mailto:")) {
        text = text.substr(7);
    }
    const std::string_view punctuation = "<>()[]\"',;:";
    while (!text.empty() && punctuation.find(text.front()) != std::string_view::npos) {
        text.erase(0, 1);
    }
    while (!text.empty() &&
           (punctuation.find(text.back()) != std::string_view::npos || text.back() == '.')) {
        text.pop_back();
    }
    if (StartsWithText(text, "mailto:")) {
        text = text.substr(7);
    }
    return text;
}

std::string AddressOfLine(const std::string& line, AddressLine kind) {
    switch (kind) {
        case AddressLine::Bracketed: {
            const std::string trimmed = Trim(line);
            const size_t close = trimmed.find(">:");
            if (!StartsWith(trimmed, "<") || close == std::string::npos) {
                return "";
            }
            const std::string address = trimmed.substr(1, close - 1);
            return IsValidEmail(address) ? LowerCase(address) : "";
        }
        case AddressLine::Indented: {
            if (line.empty() || (line[0] != ' ' && line[0] != '\t')) {
                return "";
            }
            const std::string address = Stripped(Before(Trim(line), " "));
            return IsValidEmail(address) ? LowerCase(address) : "";
        }
        case AddressLine::Anywhere:
            for (const std::string& word : SplitString(CollapseSpaces(line), " ").parts) {
                const std::string address = Stripped(word);
                if (IsValidEmail(address)) {
                    return LowerCase(address);
                }
            }
            return "";
    }
    return "";
}

bool HoldsAny(const std::string& lowerLine, const std::array<const char*, 2>& texts) {
    return std::any_of(texts.begin(), texts.end(),
                       [&](const char* text) { return Contains(lowerLine, text); });
}

// Where a returned copy of the original begins in a report: its statuses are not the
// report's.
bool BeginsReturnedCopy(const std::string& lowerLine) {
    const std::string trimmed = Trim(lowerLine);
    return StartsWith(trimmed, "received:") || StartsWith(trimmed, "return-path:") ||
           Contains(trimmed, "original message") || Contains(trimmed, "copy of the message") ||
           Contains(trimmed, "original headers");
}

}  // namespace

PlainTextResult ReadPlainTextForms(std::string_view text) {
    PlainTextResult result;
    if (text.empty()) {
        return result;
    }
    const Lines lines = TextToLines(text);
    Lines lower;
    lower.reserve(lines.size());
    for (const std::string& line : lines) {
        lower.push_back(LowerCase(line));
    }
    for (const Form& form : kForms) {
        auto marker = std::find_if(lower.begin(), lower.end(), [&](const std::string& line) {
            return Contains(line, form.marker);
        });
        if (marker == lower.end()) {
            continue;
        }
        // Each address with the lines written under it, up to the next address.
        std::vector<std::pair<std::string, std::string>> listed;
        size_t i = static_cast<size_t>(marker - lower.begin()) + 1;
        for (; i < lines.size() && !HoldsAny(lower[i], form.listEnd); ++i) {
            const std::string address = AddressOfLine(lines[i], form.lines);
            const bool known = std::any_of(listed.begin(), listed.end(), [&](const auto& entry) {
                return entry.first == address;
            });
            if (!address.empty() && !known) {
                listed.emplace_back(address, lines[i]);
            } else if (!listed.empty()) {
                listed.back().second += "\n" + lines[i];
            }
        }
        if (listed.empty()) {
            continue;
        }
        // With one address, a status anywhere in the report is that address's.
        std::string report;
        for (size_t k = i; k < lines.size() && !BeginsReturnedCopy(lower[k]); ++k) {
            report += lines[k] + "\n";
        }
        result.formName = form.name;
        for (const auto& [address, written] : listed) {
            FailedRecipient recipient;
            recipient.address = address;
            if (form.verdict != Verdict::NotCounted) {
                recipient.status = StatusIn(written);
                if (recipient.status.empty() && listed.size() == 1) {
                    recipient.status = StatusIn(report);
                }
            }
            recipient.verdict =
                recipient.status.empty() ? form.verdict : VerdictOf("failed", recipient.status);
            result.recipients.push_back(std::move(recipient));
        }
        return result;
    }
    return result;
}

std::vector<std::string> PlainTextFormNames() {
    std::vector<std::string> names;
    for (const Form& form : kForms) {
        names.emplace_back(form.name);
    }
    return names;
}

}  // namespace corvanteer::bounce
