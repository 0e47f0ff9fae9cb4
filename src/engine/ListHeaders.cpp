#include "engine/ListHeaders.h"

#include "support/Address.h"

namespace corvanteer {

namespace {

// Characters a mailto address may hold as they are; the rest is percent-encoded.
constexpr std::string_view kMailtoAddressKeep = "-._~!$'()*+,;:@";
constexpr std::string_view kAtomSpecials = "!#$%&'*+-/=?^_`{|}~";

bool IsAlnum(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool IsAtom(std::string_view text) {
    for (unsigned char c : text) {
        if (!IsAlnum(c) && kAtomSpecials.find(static_cast<char>(c)) == std::string_view::npos) {
            return false;
        }
    }
    return !text.empty();
}

bool IsPrintableAscii(std::string_view text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c > 0x7e) {
            return false;
        }
    }
    return true;
}

// The list name as a phrase before the label: an atom as it is, anything else printable in
// quotes; "" for a name a plain-ASCII header cannot carry without encoding.
std::string Phrase(std::string_view name) {
    if (IsAtom(name)) {
        return std::string(name);
    }
    if (name.empty() || !IsPrintableAscii(name)) {
        return "";
    }
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

std::string Address(std::string_view value) {
    return ExtractEmail(Trim(value));
}

std::string Mailto(std::string_view address, std::string_view subject = "") {
    std::string text = "<mailto:" + PercentEncode(address, kMailtoAddressKeep);
    if (!subject.empty()) {
        text += "?subject=" + PercentEncode(subject);
    }
    return text + ">";
}

bool NamedIn(std::string_view name, const Lines& extraHeaders) {
    for (const auto& line : extraHeaders) {
        if (SameText(Trim(Before(line, ":")), name)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string PercentEncode(std::string_view text, std::string_view keep) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (IsAlnum(c) || keep.find(static_cast<char>(c)) != std::string_view::npos) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0f];
        }
    }
    return out;
}

std::string ListLabel(std::string_view postingAddress) {
    return ReplaceAll(Address(postingAddress), "@", ".");
}

Lines ListHeaderLines(const ListHeaderValues& values, const Lines& extraHeaders) {
    const std::string posting = Address(values.postingAddress);
    const std::string listServer = Address(values.listServerAddress);
    Lines lines;
    auto add = [&](std::string_view name, const std::string& value) {
        if (!NamedIn(name, extraHeaders)) {
            lines.push_back(std::string(name) + ": " + value);
        }
    };

    if (!posting.empty()) {
        const std::string phrase = Phrase(values.listName);
        add("List-Id", (phrase.empty() ? "" : phrase + " ") + "<" + ListLabel(posting) + ">");
    }
    if (values.allowPostBy == 0) {
        add("List-Post", "NO");
    } else if (!posting.empty()) {
        add("List-Post", Mailto(posting));
    }
    if (!listServer.empty()) {
        add("List-Help", Mailto(listServer, "help " + values.listName));
        if (values.allowUserSubscribe) {
            add("List-Subscribe", Mailto(listServer, "subscribe " + values.listName));
            add("List-Unsubscribe", Mailto(listServer, "unsubscribe " + values.listName));
        }
    }
    add("Precedence", "list");
    return lines;
}

}  // namespace corvanteer
