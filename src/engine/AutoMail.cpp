#include "engine/AutoMail.h"

#include "engine/ListHeaders.h"
#include "support/Address.h"
#include "support/HeaderFields.h"

namespace corvanteer {

namespace {

// The parts of a header value; GetHeaderValue joins several occurrences with ",".
Lines Occurrences(const std::string& value) {
    Lines parts;
    for (const auto& part : SplitString(value, ",").parts) {
        std::string trimmed = Trim(part);
        if (!trimmed.empty()) {
            parts.push_back(std::move(trimmed));
        }
    }
    return parts;
}

std::string WithoutBlanks(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c != ' ' && c != '\t') {
            out += c;
        }
    }
    return out;
}

MailVerdict Verdict(MailKind kind, std::string reason) {
    return MailVerdict{kind, std::move(reason)};
}

bool SameAddress(std::string_view sender, std::string_view configured) {
    const std::string address = ExtractEmail(Trim(configured));
    return !address.empty() && SameText(sender, address);
}

}  // namespace

MailVerdict JudgeAutomatic(const Lines& header, std::string_view sender) {
    for (const auto& part : Occurrences(GetHeaderValue("Auto-Submitted", header))) {
        const std::string keyword = Trim(Before(part, ";"));
        if (!SameText(keyword, "no")) {
            return Verdict(MailKind::Automatic, "Auto-Submitted: " + keyword);
        }
    }
    for (const auto& part : Occurrences(GetHeaderValue("Precedence", header))) {
        if (SameText(part, "bulk") || SameText(part, "junk")) {
            return Verdict(MailKind::Automatic, "Precedence: " + part);
        }
    }
    for (const auto& part : Occurrences(GetHeaderValue("Return-Path", header))) {
        if (WithoutBlanks(part) == "<>") {
            return Verdict(MailKind::Automatic, "Return-Path: <>");
        }
    }
    const size_t at = sender.rfind('@');
    const std::string_view local = at == std::string_view::npos ? sender : sender.substr(0, at);
    if (SameText(local, "mailer-daemon") || SameText(local, "postmaster")) {
        return Verdict(MailKind::Automatic, "From: " + std::string(sender));
    }
    const std::string type = Trim(Before(Before(GetHeaderValue("Content-Type", header), ";"), ","));
    if (SameText(type, "multipart/report")) {
        return Verdict(MailKind::Automatic, "Content-Type: " + type);
    }
    return {};
}

MailVerdict JudgeListMail(const Lines& header, std::string_view sender,
                          const ListOwnAddresses& own) {
    const std::string label = ListLabel(own.postingAddress);
    if (!label.empty()) {
        const std::string wanted = "<" + LowerCase(label) + ">";
        if (Contains(LowerCase(WithoutBlanks(GetHeaderValue("List-Id", header))), wanted)) {
            return Verdict(MailKind::Loop, "List-Id: <" + label + ">");
        }
    }
    if (SameAddress(sender, own.postingAddress)) {
        return Verdict(MailKind::Loop, "From: list posting address");
    }
    if (SameAddress(sender, own.changeSenderEmailTo)) {
        return Verdict(MailKind::Loop, "From: ChangeSenderEmailTo");
    }
    if (SameAddress(sender, own.listServerAddress)) {
        return Verdict(MailKind::Loop, "From: List Server address");
    }
    return JudgeAutomatic(header, sender);
}

}  // namespace corvanteer
