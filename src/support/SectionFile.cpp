#include "support/SectionFile.h"

#include <cstring>
#include <optional>

#include "support/Files.h"

namespace corvanteer {

namespace {

// One line of the file: its text [begin, end) and where the next line starts. Lines end at
// LF or CR LF; a CR not followed by LF is part of the text.
struct LineSpan {
    size_t begin = 0;
    size_t end = 0;
    size_t next = 0;
};

LineSpan LineAt(std::string_view data, size_t pos) {
    const void* hit = std::memchr(data.data() + pos, '\n', data.size() - pos);
    if (hit == nullptr) {
        return {pos, data.size(), data.size()};
    }
    const size_t newline = static_cast<size_t>(static_cast<const char*>(hit) - data.data());
    const size_t end = (newline > pos && data[newline - 1] == '\r') ? newline - 1 : newline;
    return {pos, end, newline + 1};
}

std::string_view TextOf(std::string_view data, const LineSpan& line) {
    return data.substr(line.begin, line.end - line.begin);
}

bool IsTerminator(std::string_view text) {
    return text == "####";
}

// "[" + name + "]" in lower case; a line is that section's header when its lower-cased text
// begins with it.
std::string HeaderPrefix(std::string_view section) {
    return "[" + LowerCase(section) + "]";
}

bool IsHeader(std::string_view text, std::string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) {
        return false;
    }
    for (size_t i = 0; i < lowerPrefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
        if (c != lowerPrefix[i]) {
            return false;
        }
    }
    return true;
}

// The first header line of the section, if any.
std::optional<LineSpan> FindHeader(std::string_view data, std::string_view section) {
    const std::string prefix = HeaderPrefix(section);
    for (size_t pos = 0; pos < data.size();) {
        const LineSpan line = LineAt(data, pos);
        if (IsHeader(TextOf(data, line), prefix)) {
            return line;
        }
        pos = line.next;
    }
    return std::nullopt;
}

struct ContentRange {
    size_t begin = 0;   // first content line
    size_t end = 0;     // start of the terminator line, or the end of the file
    size_t resume = 0;  // first line after the terminator
};

// The content of a section starts after its header and runs to the first "####" line; a
// missing terminator lets it run to the end of the file.
ContentRange ContentAfter(std::string_view data, const LineSpan& header) {
    ContentRange range{header.next, data.size(), data.size()};
    for (size_t pos = header.next; pos < data.size();) {
        const LineSpan line = LineAt(data, pos);
        if (IsTerminator(TextOf(data, line))) {
            range.end = line.begin;
            range.resume = line.next;
            break;
        }
        pos = line.next;
    }
    return range;
}

// Passes the lines of data[from, to) (whole lines) to the sink, each ended by CR LF: lines
// that end in CR LF go on as one block, a bare LF becomes CR LF, and a last line without a
// break gets one.
template <typename Sink>
void CopyLines(Sink&& sink, std::string_view data, size_t from, size_t to) {
    size_t runStart = from;
    size_t pos = from;
    while (pos < to) {
        const void* hit = std::memchr(data.data() + pos, '\n', to - pos);
        if (hit == nullptr) {
            sink(data.substr(runStart, to - runStart));
            sink("\r\n");
            return;
        }
        const size_t newline = static_cast<size_t>(static_cast<const char*>(hit) - data.data());
        if (newline == from || data[newline - 1] != '\r') {
            sink(data.substr(runStart, newline - runStart));
            sink("\r\n");
            runStart = newline + 1;
        }
        pos = newline + 1;
    }
    if (runStart < to) {
        sink(data.substr(runStart, to - runStart));
    }
}

// True when a line of data[from, to) (whole lines) ends in LF alone.
bool HasBareLineFeed(std::string_view data, size_t from, size_t to) {
    for (size_t pos = from; pos < to;) {
        const void* hit = std::memchr(data.data() + pos, '\n', to - pos);
        if (hit == nullptr) {
            return false;
        }
        const size_t newline = static_cast<size_t>(static_cast<const char*>(hit) - data.data());
        if (newline == from || data[newline - 1] != '\r') {
            return true;
        }
        pos = newline + 1;
    }
    return false;
}

// The new section body: the lines, one empty line and the terminator.
void WriteBody(AtomicFileWriter& out, const Lines& lines) {
    for (const std::string& line : lines) {
        out.Append(line);
        out.Append("\r\n");
    }
    out.Append("\r\n####\r\n");
}

}  // namespace

std::string ReadSection(const std::string& file, std::string_view section) {
    std::optional<std::string> data = ReadFileIfExists(file);
    if (!data) {
        return {};
    }
    const std::optional<LineSpan> header = FindHeader(*data, section);
    if (!header) {
        return {};
    }
    const ContentRange range = ContentAfter(*data, *header);
    const size_t length = range.end - range.begin;
    if (length > data->size() / 2 && !HasBareLineFeed(*data, range.begin, range.end)) {
        // The usual big roster: its bytes are already the lines joined by CR LF, so the file's
        // buffer becomes the result without a second copy of the whole text.
        std::string text = std::move(*data);
        text.resize(range.end);
        text.erase(0, range.begin);
        if (EndsWith(text, "\n")) {
            text.resize(text.size() - 2);
        }
        return text;
    }
    std::string text;
    text.reserve(length + 2);
    CopyLines([&text](std::string_view bytes) { text.append(bytes); }, *data, range.begin,
              range.end);
    // The lines joined by CR LF: drop the break after the last one.
    if (text.size() >= 2) {
        text.resize(text.size() - 2);
    }
    return text;
}

void WriteSection(const std::string& file, std::string_view section, const Lines& lines) {
    const std::optional<std::string> data = ReadFileIfExists(file);
    AtomicFileWriter out(file);
    const auto append = [&out](std::string_view bytes) { out.Append(bytes); };
    if (!data) {
        out.Append("[");
        out.Append(section);
        out.Append("]\r\n");
        WriteBody(out, lines);
        out.Commit();
        return;
    }

    const std::optional<LineSpan> header = FindHeader(*data, section);
    if (!header) {
        // Append after one empty line, the header spelled as the caller gave it.
        out.Append(*data);
        if (!data->empty() && data->back() != '\n') {
            out.Append("\r\n");
        }
        out.Append("\r\n[");
        out.Append(section);
        out.Append("]\r\n");
        WriteBody(out, lines);
        out.Commit();
        return;
    }

    // Everything up to and including the header line, the new body, then whatever followed
    // the old terminator. A header on the file's last line has empty content and no
    // terminator, so it is completed in place rather than repeated at the end.
    const ContentRange range = ContentAfter(*data, *header);
    CopyLines(append, *data, 0, header->next);
    WriteBody(out, lines);
    CopyLines(append, *data, range.resume, data->size());
    out.Commit();
}

std::string SectionFileDefect(std::string_view bytes) {
    if (bytes.empty()) {
        return "it is empty";
    }
    if (bytes.back() != '\n') {
        return "its last line is cut off";
    }
    std::string_view open;  // the header of the section being read
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        std::string_view line = bytes.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (open.empty()) {
            if (StartsWith(line, "[") && line.find(']') != std::string_view::npos) {
                open = line;
            }
        } else if (line == "####") {
            open = {};
        }
    }
    if (!open.empty()) {
        return "the section " + std::string(open.substr(0, open.find(']') + 1)) +
               " has no \"####\" line";
    }
    return "";
}

}  // namespace corvanteer
