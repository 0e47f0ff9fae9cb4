// Section files: ReadSection and WriteSection against a line model of the file.
//
// Input: the section name, "%%", the file's bytes, "%%", the new content lines. A name
// starting with "!" (taken off) means the file does not exist.
//
// Checked: every section reads as the model says (before and after the write); the written
// file is, byte for byte, the untouched lines each ended by CR LF around the new body (or the
// old bytes with the section appended); the section reads back as written; writing the same
// lines again changes nothing once the file's lines all end with CR LF.

#include <cstdint>
#include <string>
#include <vector>

#include "common/FuzzCheck.h"
#include "common/TempDir.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer::fuzz {
namespace {

// The file's lines as the section code sees them: cut at LF, one CR before it dropped, a
// final LF starting no further line.
Lines ModelLines(std::string_view data) {
    Lines lines;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t newline = data.find('\n', pos);
        if (newline == std::string_view::npos) {
            lines.emplace_back(data.substr(pos));
            break;
        }
        size_t end = newline > pos && data[newline - 1] == '\r' ? newline - 1 : newline;
        lines.emplace_back(data.substr(pos, end - pos));
        pos = newline + 1;
    }
    return lines;
}

bool IsHeaderOf(const std::string& line, std::string_view name) {
    const std::string prefix = "[" + LowerCase(name) + "]";
    return line.size() >= prefix.size() && LowerCase(line.substr(0, prefix.size())) == prefix;
}

size_t FindHeader(const Lines& lines, std::string_view name) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (IsHeaderOf(lines[i], name)) {
            return i;
        }
    }
    return lines.size();
}

// Index of the terminator of the section whose header is at index header (lines.size()
// when there is none).
size_t FindTerminator(const Lines& lines, size_t header) {
    for (size_t i = header + 1; i < lines.size(); ++i) {
        if (lines[i] == "####") {
            return i;
        }
    }
    return lines.size();
}

std::string ModelRead(const Lines& lines, std::string_view name) {
    const size_t header = FindHeader(lines, name);
    if (header == lines.size()) {
        return {};
    }
    const size_t end = FindTerminator(lines, header);
    return JoinLines(Lines(lines.begin() + static_cast<long>(header) + 1,
                           lines.begin() + static_cast<long>(end)));
}

std::string Body(const Lines& lines) {
    return LinesToText(lines) + "\r\n####\r\n";
}

std::string ModelWrite(const std::optional<std::string>& data, std::string_view name,
                       const Lines& content) {
    if (!data) {
        return "[" + std::string(name) + "]\r\n" + Body(content);
    }
    const Lines lines = ModelLines(*data);
    const size_t header = FindHeader(lines, name);
    if (header == lines.size()) {
        std::string out = *data;
        if (!out.empty() && out.back() != '\n') {
            out += "\r\n";
        }
        return out + "\r\n[" + std::string(name) + "]\r\n" + Body(content);
    }
    const size_t terminator = FindTerminator(lines, header);
    std::string out =
        LinesToText(Lines(lines.begin(), lines.begin() + static_cast<long>(header) + 1));
    out += Body(content);
    if (terminator < lines.size()) {
        out += LinesToText(Lines(lines.begin() + static_cast<long>(terminator) + 1, lines.end()));
    }
    return out;
}

// The names worth reading: the one written, and the names of header-like lines.
std::vector<std::string> NamesToRead(const std::string& written, const Lines& lines) {
    std::vector<std::string> names{written};
    for (const auto& line : lines) {
        const size_t close = line.find(']');
        if (!line.empty() && line[0] == '[' && close != std::string::npos && names.size() < 8) {
            names.push_back(line.substr(1, close - 1));
        }
    }
    return names;
}

void CheckReads(const std::string& file, const std::optional<std::string>& data,
                const std::vector<std::string>& names) {
    const Lines lines = data ? ModelLines(*data) : Lines{};
    for (const auto& name : names) {
        FUZZ_CHECK(ReadSection(file, name) == ModelRead(lines, name));
    }
}

}  // namespace
}  // namespace corvanteer::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvanteer;
    using namespace corvanteer::fuzz;
    static testing::TempDir dir;
    const std::string file = dir.File("list.dat");

    std::vector<std::string> parts = SplitParts(data, size, 3);
    std::string name = parts[0];
    const bool absent = StartsWith(name, "!");
    if (absent) {
        name.erase(0, 1);
    }
    // Section names are the program's own: one line, no "]" that would end the header early.
    if (name.find_first_of(std::string_view("\r\n]\0", 4)) != std::string::npos) {
        return 0;
    }
    // "####" would end the section where the writer does not.
    Lines content;
    for (auto& line : TextToLines(parts[2])) {
        if (line != "####") {
            content.push_back(std::move(line));
        }
    }

    std::optional<std::string> before;
    if (absent) {
        DeleteFileIfExists(file);
    } else {
        WriteFileAtomic(file, parts[1]);
        before = parts[1];
    }
    std::vector<std::string> names = NamesToRead(name, before ? ModelLines(*before) : Lines{});
    CheckReads(file, before, names);

    WriteSection(file, name, content);
    const std::string after = ReadFile(file);
    FUZZ_CHECK(after == ModelWrite(before, name, content));
    Lines expected = content;
    expected.emplace_back();
    FUZZ_CHECK(ReadSection(file, name) == JoinLines(expected));
    CheckReads(file, after, names);

    // Written again: the same, once every line ends with CR LF (a first write that appends
    // leaves the old bytes as they are).
    WriteSection(file, name, content);
    const std::string again = ReadFile(file);
    FUZZ_CHECK(again == ModelWrite(after, name, content));
    if (LinesToText(ModelLines(after)) == after) {
        FUZZ_CHECK(again == after);
    }
    return 0;
}
