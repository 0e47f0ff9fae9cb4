#include "support/HeaderFields.h"

#include "support/Address.h"

namespace corvanteer {

namespace {

bool IsContinuation(const std::string& line) {
    return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

}  // namespace

std::string GetHeaderValue(std::string_view name, const Lines& lines) {
    std::string result;
    // A header without its closing empty line (a server's error reply, say) ends with the
    // lines themselves.
    for (size_t i = 0; i < lines.size() && !lines[i].empty(); ++i) {
        const std::string& line = lines[i];
        const size_t colon = line.find(':');
        if (colon == std::string::npos ||
            !SameText(std::string_view(line).substr(0, colon), name)) {
            continue;
        }
        std::string value = Trim(std::string_view(line).substr(colon + 1));
        while (i + 1 < lines.size() && IsContinuation(lines[i + 1])) {
            ++i;
            value += ' ';
            value += Trim(lines[i]);
        }
        if (result.empty()) {
            result = std::move(value);
        } else {
            result += ',';
            result += value;
        }
    }
    return result;
}

std::string ExtractDisplayName(std::string_view from) {
    std::string name;
    std::string_view rest = from;
    while (true) {
        const size_t blank = rest.find(' ');
        const std::string_view word = rest.substr(0, blank);
        if (!IsValidEmail(word)) {
            name.append(word);
            name += ' ';
        }
        if (blank == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(blank + 1);
    }
    std::string trimmed = Trim(name);
    return trimmed.empty() ? std::string(from) : trimmed;
}

}  // namespace corvanteer
