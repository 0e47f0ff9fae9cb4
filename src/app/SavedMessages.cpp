#include "app/SavedMessages.h"

#include "support/Files.h"

namespace corvanteer {

namespace {

constexpr std::string_view kExtension = ".txt";

std::string MessageFile(const AppPaths& paths, const std::string& list, std::string_view name) {
    return paths.PostsFolder(list) + std::string(name) + std::string(kExtension);
}

// The line without its first n characters; a line shorter than that is kept whole.
std::string WithoutPrefix(const std::string& line, size_t n) {
    return line.size() < n ? line : line.substr(n);
}

}  // namespace

std::vector<std::string> ListSavedMessages(const AppPaths& paths, const std::string& list) {
    std::vector<std::string> names = ListFiles(paths.PostsFolder(list), kExtension);
    for (std::string& name : names) {
        name.resize(name.size() - kExtension.size());
    }
    return names;
}

std::string CheckMessageName(std::string_view name) {
    if (Trim(name).empty()) {
        return "Please enter a name for the message.";
    }
    if (Contains(name, "/") || Contains(name, "\\") || Contains(name, "..")) {
        return "A message name cannot contain \"/\", \"\\\" or \"..\".";
    }
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            return "A message name cannot contain control characters.";
        }
    }
    return "";
}

std::optional<SavedMessage> LoadSavedMessage(const AppPaths& paths, const std::string& list,
                                             std::string_view name) {
    if (!CheckMessageName(name).empty()) {
        return std::nullopt;
    }
    std::optional<std::string> text = ReadFileIfExists(MessageFile(paths, list, name));
    if (!text) {
        return std::nullopt;
    }
    Lines lines = TextToLines(*text);
    SavedMessage message;
    if (!lines.empty()) {
        message.from = Trim(WithoutPrefix(lines[0], 5));
    }
    if (lines.size() > 1) {
        message.subject = Trim(WithoutPrefix(lines[1], 8));
    }
    if (lines.size() > 3) {
        message.lines.assign(lines.begin() + 3, lines.end());
    }
    return message;
}

ActionResult SaveMessage(const AppPaths& paths, const std::string& list, std::string_view name,
                         const SavedMessage& message) {
    std::string refusal = CheckMessageName(name);
    if (!refusal.empty()) {
        return ActionResult::Refused(refusal);
    }
    ForceDirectories(paths.PostsFolder(list));
    Lines lines;
    lines.reserve(message.lines.size() + 3);
    lines.push_back("From: " + message.from);
    lines.push_back("Subject: " + message.subject);
    lines.emplace_back();
    lines.insert(lines.end(), message.lines.begin(), message.lines.end());
    WriteFileAtomic(MessageFile(paths, list, name), LinesToText(lines));
    return ActionResult::Done();
}

ActionResult DeleteSavedMessage(const AppPaths& paths, const std::string& list,
                                std::string_view name) {
    std::string refusal = CheckMessageName(name);
    if (!refusal.empty()) {
        return ActionResult::Refused(refusal);
    }
    if (!DeleteFileIfExists(MessageFile(paths, list, name))) {
        return ActionResult::Refused("There is no saved message named \"" + std::string(name) +
                                     "\".");
    }
    return ActionResult::Done();
}

}  // namespace corvanteer
