#include "engine/MailNotes.h"

#include <charconv>

#include "support/Files.h"
#include "support/Text.h"

namespace corvanteer {
namespace {

constexpr const char* kCut = "cut ";

// One line's field: no tab, no line break.
std::string Field(std::string_view text) {
    std::string field = OneLineText(text, 200);
    for (char& c : field) {
        if (c == '\t') {
            c = '?';
        }
    }
    return field;
}

}  // namespace

std::string MailNotes::KeyOf(std::string_view uid, int64_t size, std::string_view date) {
    if (!uid.empty()) {
        return "uid " + Field(uid);
    }
    if (size < 0) {
        return {};
    }
    std::string key = "size " + std::to_string(size);
    const std::string when = Trim(CollapseSpaces(date));
    if (!when.empty()) {
        key += " date " + Field(when);
    }
    return key;
}

void MailNotes::Load() {
    if (loaded_) {
        return;
    }
    loaded_ = true;
    const auto text = ReadFileIfExists(file_);
    if (!text) {
        return;
    }
    for (const std::string& line : TextToLines(*text)) {
        const SplitResult fields = SplitString(line, "\t");
        if (fields.count == 3 && !fields.Part(2).empty()) {
            notes_[fields.Part(1)][fields.Part(2)] = fields.Part(3);
        }
    }
}

MailNotes::Notes& MailNotes::Of(const std::string& mailbox) {
    Load();
    return notes_[Field(mailbox)];
}

bool MailNotes::NoteOnce(const std::string& mailbox, const std::string& key,
                         const std::string& what) {
    if (key.empty()) {
        return false;
    }
    Seen(mailbox, key);
    std::string& note = Of(mailbox)[key];
    if (note == what) {
        return true;
    }
    note = what;
    changed_ = true;
    return false;
}

std::optional<int64_t> MailNotes::CutAt(const std::string& mailbox, const std::string& key) {
    if (key.empty()) {
        return std::nullopt;
    }
    Notes& notes = Of(mailbox);
    const auto note = notes.find(key);
    if (note == notes.end() || !StartsWith(note->second, kCut)) {
        return std::nullopt;
    }
    const std::string_view limit = std::string_view(note->second).substr(4);
    int64_t value = 0;
    const auto [end, error] = std::from_chars(limit.data(), limit.data() + limit.size(), value);
    if (error != std::errc() || end != limit.data() + limit.size()) {
        return std::nullopt;
    }
    return value;
}

void MailNotes::NoteCut(const std::string& mailbox, const std::string& key, int64_t limit) {
    NoteOnce(mailbox, key, kCut + std::to_string(limit));
}

void MailNotes::Seen(const std::string& mailbox, const std::string& key) {
    if (!key.empty()) {
        seen_[Field(mailbox)].insert(key);
    }
}

void MailNotes::Prune(const std::string& mailbox) {
    Notes& notes = Of(mailbox);
    const std::set<std::string>& seen = seen_[Field(mailbox)];
    for (auto note = notes.begin(); note != notes.end();) {
        if (seen.count(note->first) == 0) {
            note = notes.erase(note);
            changed_ = true;
        } else {
            ++note;
        }
    }
    seen_.erase(Field(mailbox));
}

void MailNotes::Save() {
    if (!changed_) {
        return;
    }
    std::string text;
    for (const auto& [mailbox, notes] : notes_) {
        for (const auto& [key, what] : notes) {
            text += mailbox + "\t" + key + "\t" + what + "\r\n";
        }
    }
    WriteFileAtomic(file_, text);
    changed_ = false;
}

}  // namespace corvanteer
