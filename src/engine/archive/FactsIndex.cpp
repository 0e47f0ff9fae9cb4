#include "engine/archive/FactsIndex.h"

#include <charconv>
#include <map>
#include <optional>

#include "engine/archive/Mbox.h"
#include "engine/archive/UnsyncedFile.h"
#include "support/Files.h"
#include "support/Sha256.h"
#include "support/Status.h"

namespace corvanteer::archive {

namespace {

// The first line of the index; another one (an older layout) makes the index be read anew.
constexpr std::string_view kIndexMagic = "corvanteer-archive-index 1";
// The bytes before a month's end that the index keeps a digest of: a file that only grew
// still ends its old part with them.
constexpr std::size_t kTailBytes = 4096;

// The index is text, one line per month ("M" fields) and per message ("m" fields), fields
// cut by tabs, with tab, line feed, CR and backslash in values written as \t, \n, \r, \\.
// It is read at every build, so it is kept simple to read fast.
struct MonthState {
    uint64_t length = 0;
    std::string tail;  // SHA-256 of the kTailBytes before length
};

struct CachedMonth {
    MonthState state;
    std::vector<MessageFacts> facts;
};

void AppendField(std::string& line, std::string_view value) {
    line += '\t';
    for (char c : value) {
        switch (c) {
            case '\t':
                line += "\\t";
                break;
            case '\n':
                line += "\\n";
                break;
            case '\r':
                line += "\\r";
                break;
            case '\\':
                line += "\\\\";
                break;
            default:
                line += c;
        }
    }
}

std::string Unescaped(std::string_view field) {
    if (field.find('\\') == std::string_view::npos) {
        return std::string(field);
    }
    std::string value;
    value.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            value += field[i];
            continue;
        }
        const char next = field[++i];
        value += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return value;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

template <typename Number>
Number NumberOf(std::string_view field) {
    Number value{};
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size()) {
        throw std::invalid_argument("not a number");
    }
    return value;
}

// The references are one field, joined by tabs before the field is escaped.
std::vector<std::string> References(std::string_view field) {
    std::vector<std::string> ids;
    if (field.empty()) {
        return ids;
    }
    const std::string text = Unescaped(field);
    for (std::string_view id : Fields(text)) {
        ids.emplace_back(id);
    }
    return ids;
}

// What the index file holds; none when it is missing, unreadable or of another layout.
std::map<std::string, CachedMonth> ReadIndex(const std::string& path) {
    std::map<std::string, CachedMonth> months;
    try {
        const std::optional<std::string> text = ReadFileIfExists(path);
        if (!text || !StartsWith(*text, std::string(kIndexMagic) + "\n")) {
            return months;
        }
        CachedMonth* month = nullptr;
        std::string monthName;
        std::string_view rest(*text);
        rest.remove_prefix(kIndexMagic.size() + 1);
        while (!rest.empty()) {
            const std::size_t lf = rest.find('\n');
            if (lf == std::string_view::npos) {
                throw std::invalid_argument("cut short");  // a line without its end
            }
            const std::vector<std::string_view> fields = Fields(rest.substr(0, lf));
            rest.remove_prefix(lf + 1);
            if (fields[0] == "M" && fields.size() == 4) {
                monthName = std::string(fields[1]);
                month = &months[monthName];
                month->state = {NumberOf<uint64_t>(fields[2]), std::string(fields[3])};
            } else if (fields[0] == "m" && fields.size() == 12 && month != nullptr) {
                MessageFacts facts;
                facts.month = monthName;
                facts.offset = NumberOf<uint64_t>(fields[1]);
                facts.length = NumberOf<uint64_t>(fields[2]);
                facts.hash = std::string(fields[3]);
                facts.date = NumberOf<int64_t>(fields[4]);
                facts.messageId = Unescaped(fields[5]);
                facts.inReplyTo = Unescaped(fields[6]);
                facts.references = References(fields[7]);
                facts.subject = Unescaped(fields[8]);
                facts.fromName = Unescaped(fields[9]);
                facts.fromAddress = Unescaped(fields[10]);
                facts.dateText = Unescaped(fields[11]);
                month->facts.push_back(std::move(facts));
            } else {
                throw std::invalid_argument("unknown line");
            }
        }
    } catch (const std::exception&) {
        months.clear();  // read everything anew
    }
    return months;
}

void WriteIndex(const std::string& path, const std::map<std::string, CachedMonth>& months) {
    std::string text(kIndexMagic);
    text += '\n';
    for (const auto& [month, cached] : months) {
        text += 'M';
        AppendField(text, month);
        AppendField(text, std::to_string(cached.state.length));
        AppendField(text, cached.state.tail);
        text += '\n';
        for (const MessageFacts& facts : cached.facts) {
            text += 'm';
            AppendField(text, std::to_string(facts.offset));
            AppendField(text, std::to_string(facts.length));
            AppendField(text, facts.hash);
            AppendField(text, std::to_string(facts.date));
            AppendField(text, facts.messageId);
            AppendField(text, facts.inReplyTo);
            std::string references;
            for (const std::string& id : facts.references) {
                references += (references.empty() ? "" : "\t") + id;
            }
            AppendField(text, references);
            AppendField(text, facts.subject);
            AppendField(text, facts.fromName);
            AppendField(text, facts.fromAddress);
            AppendField(text, facts.dateText);
            text += '\n';
        }
    }
    try {
        // Renamed into place but not synced: after a crash a lost or stale index only costs
        // reading the mbox files whole once more.
        ReplaceFileUnsynced(path, text, true);
    } catch (const Failure&) {
        // Only a cache: the next build reads the mbox files whole.
    }
}

}  // namespace

std::string FactsIndexFile(const MboxStore& store) {
    return store.folder() + ".index";
}

std::vector<MessageFacts> ReadFactsOfMonth(std::string_view month, std::string_view bytes,
                                           std::size_t offset) {
    std::vector<MessageFacts> all;
    const std::string_view rest = bytes.substr(std::min(offset, bytes.size()));
    for (const MboxSpan& span : SplitMbox(rest)) {
        const std::string message = MboxMessage(rest, span);
        std::string sender;
        int64_t separatorDate = 0;
        ParseMboxSeparator(MboxSeparator(rest, span), sender, separatorDate);
        MessageFacts facts = ReadMessageFacts(message, separatorDate);
        facts.month = std::string(month);
        facts.offset = offset + span.begin;
        facts.length = span.end - span.begin;
        facts.hash = Sha256Hex(message);
        if (facts.messageId.empty()) {
            facts.messageId = IdFromHash(facts.hash);
        }
        all.push_back(std::move(facts));
    }
    return all;
}

std::vector<MessageFacts> UpdateFactsIndex(const MboxStore& store) {
    const std::string path = FactsIndexFile(store);
    std::map<std::string, CachedMonth> cached = ReadIndex(path);
    std::map<std::string, CachedMonth> current;
    bool changed = false;
    for (const std::string& month : store.Months()) {
        CachedMonth entry;
        auto old = cached.find(month);
        // A month that only grew is read from just before its old end, whose digest tells
        // whether the old part is still what the index was made from.
        std::size_t from = 0;
        std::string bytes;
        if (old != cached.end()) {
            const uint64_t length = old->second.state.length;
            const uint64_t tailStart = length > kTailBytes ? length - kTailBytes : 0;
            bytes = store.ReadMonth(month, tailStart);
            if (bytes.size() >= length - tailStart &&
                Sha256Hex(std::string_view(bytes).substr(0, length - tailStart)) ==
                    old->second.state.tail) {
                entry.facts = std::move(old->second.facts);
                from = length;
                bytes.erase(0, length - tailStart);
            } else {
                bytes = store.ReadMonth(month);
            }
        } else {
            bytes = store.ReadMonth(month);
        }
        // bytes now holds the file from `from` on.
        const uint64_t size = from + bytes.size();
        if (old == cached.end() || from != old->second.state.length || !bytes.empty()) {
            changed = true;
        }
        std::vector<MessageFacts> added = ReadFactsOfMonth(month, bytes, 0);
        for (MessageFacts& facts : added) {
            facts.offset += from;
        }
        entry.facts.insert(entry.facts.end(), std::make_move_iterator(added.begin()),
                           std::make_move_iterator(added.end()));
        if (bytes.empty() && old != cached.end() && from == old->second.state.length) {
            entry.state = old->second.state;
        } else {
            // The digest of the last kTailBytes of the file as it is now.
            const uint64_t tailStart = size > kTailBytes ? size - kTailBytes : 0;
            entry.state = {
                size,
                tailStart >= from
                    ? Sha256Hex(std::string_view(bytes).substr(tailStart - from))
                    : Sha256Hex(store.ReadMonth(month, tailStart).substr(0, size - tailStart))};
        }
        current.emplace(month, std::move(entry));
    }
    if (current.size() != cached.size()) {
        changed = true;  // a month file went away
    }
    if (changed) {
        WriteIndex(path, current);
    }
    std::vector<MessageFacts> all;
    for (auto& [month, entry] : current) {
        all.insert(all.end(), std::make_move_iterator(entry.facts.begin()),
                   std::make_move_iterator(entry.facts.end()));
    }
    return all;
}

}  // namespace corvanteer::archive
