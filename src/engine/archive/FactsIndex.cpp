#include "engine/archive/FactsIndex.h"

#include <nlohmann/json.hpp>

#include <map>
#include <optional>

#include "engine/archive/Mbox.h"
#include "support/Files.h"
#include "support/Sha256.h"
#include "support/Status.h"

namespace corvanteer::archive {

namespace {

using Json = nlohmann::json;

// Raised when what the facts are made of changes, so older indexes are read anew.
constexpr int kIndexVersion = 1;
// The bytes before a month's end that the index keeps a digest of: a file that only grew
// still ends its old part with them.
constexpr std::size_t kTailBytes = 4096;

struct MonthState {
    uint64_t length = 0;
    std::string tail;  // SHA-256 of the kTailBytes before length
};

std::string TailDigest(std::string_view bytes, uint64_t length) {
    const uint64_t from = length > kTailBytes ? length - kTailBytes : 0;
    return Sha256Hex(bytes.substr(from, length - from));
}

Json ToJson(const MessageFacts& facts) {
    return Json{{"offset", facts.offset},
                {"length", facts.length},
                {"hash", facts.hash},
                {"id", facts.messageId},
                {"inReplyTo", facts.inReplyTo},
                {"references", facts.references},
                {"subject", facts.subject},
                {"fromName", facts.fromName},
                {"fromAddress", facts.fromAddress},
                {"date", facts.date},
                {"dateText", facts.dateText}};
}

MessageFacts FromJson(const std::string& month, const Json& json) {
    MessageFacts facts;
    facts.month = month;
    facts.offset = json.at("offset").get<uint64_t>();
    facts.length = json.at("length").get<uint64_t>();
    facts.hash = json.at("hash").get<std::string>();
    facts.messageId = json.at("id").get<std::string>();
    facts.inReplyTo = json.at("inReplyTo").get<std::string>();
    facts.references = json.at("references").get<std::vector<std::string>>();
    facts.subject = json.at("subject").get<std::string>();
    facts.fromName = json.at("fromName").get<std::string>();
    facts.fromAddress = json.at("fromAddress").get<std::string>();
    facts.date = json.at("date").get<int64_t>();
    facts.dateText = json.at("dateText").get<std::string>();
    return facts;
}

struct CachedMonth {
    MonthState state;
    std::vector<MessageFacts> facts;
};

// What the index file holds; none when it is missing, unreadable or of another version.
std::map<std::string, CachedMonth> ReadIndex(const std::string& path) {
    std::map<std::string, CachedMonth> months;
    try {
        const std::optional<std::string> text = ReadFileIfExists(path);
        if (!text) {
            return months;
        }
        const Json json = Json::parse(*text);
        if (json.at("version").get<int>() != kIndexVersion) {
            return months;
        }
        for (const auto& [month, entry] : json.at("months").items()) {
            CachedMonth cached;
            cached.state.length = entry.at("length").get<uint64_t>();
            cached.state.tail = entry.at("tail").get<std::string>();
            for (const Json& message : entry.at("messages")) {
                cached.facts.push_back(FromJson(month, message));
            }
            months.emplace(month, std::move(cached));
        }
    } catch (const std::exception&) {
        months.clear();  // read everything anew
    }
    return months;
}

void WriteIndex(const std::string& path, const std::map<std::string, CachedMonth>& months) {
    Json json = {{"version", kIndexVersion}, {"months", Json::object()}};
    for (const auto& [month, cached] : months) {
        Json messages = Json::array();
        for (const MessageFacts& facts : cached.facts) {
            messages.push_back(ToJson(facts));
        }
        json["months"][month] = {{"length", cached.state.length},
                                 {"tail", cached.state.tail},
                                 {"messages", std::move(messages)}};
    }
    try {
        WriteFileAtomic(path, json.dump(-1, ' ', false, Json::error_handler_t::replace));
    } catch (const Failure&) {
        // Only a cache: the next build reads the mbox files whole.
    }
}

}  // namespace

std::string FactsIndexFile(const MboxStore& store) {
    return store.folder() + ".index.json";
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
        const std::string bytes = store.ReadMonth(month);
        CachedMonth entry;
        auto old = cached.find(month);
        std::size_t from = 0;
        if (old != cached.end() && old->second.state.length <= bytes.size() &&
            TailDigest(bytes, old->second.state.length) == old->second.state.tail) {
            entry.facts = std::move(old->second.facts);
            from = old->second.state.length;
        }
        if (from < bytes.size() || old == cached.end() || from != old->second.state.length) {
            changed = true;
        }
        std::vector<MessageFacts> added = ReadFactsOfMonth(month, bytes, from);
        entry.facts.insert(entry.facts.end(), std::make_move_iterator(added.begin()),
                           std::make_move_iterator(added.end()));
        entry.state = {bytes.size(), TailDigest(bytes, bytes.size())};
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
