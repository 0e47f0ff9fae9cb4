#include "app/RegistrySnapshot.h"

#include <cerrno>
#include <deque>
#include <optional>

#include "support/Files.h"
#include "support/Status.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

void AppendValueLine(std::string& out, const RegValue& value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += value.name;
    switch (value.type) {
        case RegType::Integer:
            out += "int=";
            out += std::to_string(value.integer);
            break;
        case RegType::String:
        case RegType::ExpandString:
            out += "str=";
            out += ReplaceAll(value.data, "\r\n", "qqqq");
            break;
        case RegType::Binary:
            out += "bin=";
            for (unsigned char byte : value.data) {
                out += kHex[byte >> 4];
                out += kHex[byte & 0x0F];
            }
            break;
    }
    out += "\r\n";
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::optional<std::string> HexToBytes(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = HexDigit(hex[i]);
        int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return bytes;
}

[[noreturn]] void BadLine(const std::string& file, size_t lineNumber, const std::string& what) {
    throw Failure(ErrorKind::Format,
                  "\"" + file + "\" line " + std::to_string(lineNumber) + ": " + what);
}

// The snapshot's bytes; nullopt for a path beginning "hkey_" that names no root.
std::optional<std::string> SnapshotText(const SettingsStore& store, const std::string& keyPath) {
    std::string rootName;  // as the caller spelled it; empty for the default root
    std::string root = "HKEY_CURRENT_USER";
    std::string path = keyPath;
    if (StartsWithText(keyPath, "hkey_")) {
        size_t slash = keyPath.find('\\');
        rootName = keyPath.substr(0, slash);
        path = slash == std::string::npos ? std::string() : keyPath.substr(slash + 1);
        if (!IsRootName(rootName)) {
            return std::nullopt;
        }
        root = UpperCase(rootName);
    }

    // Breadth-first: the starting key, then its children, then theirs.
    std::string out;
    std::deque<std::string> queue{path};
    while (!queue.empty()) {
        std::string entry = std::move(queue.front());
        queue.pop_front();
        const std::string storeKey = root + "\\" + entry;
        if (store.KeyExists(storeKey)) {
            out += "[" + rootName + "\\" + entry + "]\r\n";
            for (const RegValue& value : store.Values(storeKey)) {
                AppendValueLine(out, value);
            }
            for (const std::string& child : store.SubKeys(storeKey)) {
                queue.push_back(entry + "\\" + child);
            }
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace

void ExportRegistry(const SettingsStore& store, const std::string& file,
                    const std::string& keyPath) {
    if (std::optional<std::string> text = SnapshotText(store, keyPath)) {
        // The snapshot holds scrambled passwords: a new file is its owner's alone.
        AppendToFile(file, *text);
    }
}

std::string RegistrySnapshotText(const SettingsStore& store, const std::string& keyPath) {
    return SnapshotText(store, keyPath).value_or(std::string());
}

void ImportRegistry(SettingsStore& store, const std::string& file) {
    std::optional<std::string> content = ReadFileIfExists(file);
    if (!content) {
        return;
    }
    const Lines lines = TextToLines(*content);
    std::string root = "HKEY_CURRENT_USER";
    std::string key;
    bool haveKey = false;  // value lines before the first header have no key to go to
    bool accepting = true;
    for (size_t index = 0; index < lines.size(); ++index) {
        const std::string& line = lines[index];
        if (Trim(line).empty()) {
            continue;
        }
        if (line[0] == '[') {
            key = line.size() >= 2 ? line.substr(1, line.size() - 2) : std::string();
            haveKey = true;
            if (StartsWithText(key, "hkey")) {
                size_t slash = key.find('\\');
                std::string rootName = key.substr(0, slash);
                key = slash == std::string::npos ? std::string() : key.substr(slash + 1);
                accepting = IsRootName(rootName);
                if (accepting) {
                    root = UpperCase(rootName);
                }
            }
            // A key that held no values (a list added but never configured) is restored too.
            if (accepting) {
                store.CreateKey(root + "\\" + key);
            }
            continue;
        }
        if (!accepting || !haveKey) {
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos || equals < 3) {
            continue;  // no room for a type tag
        }
        RegValue value;
        value.name = line.substr(0, equals - 3);
        const std::string tag = line.substr(equals - 3, 3);
        const std::string text = line.substr(equals + 1);
        if (tag == "int") {
            int number = 0;
            if (!TryParseInt(text, number)) {
                BadLine(file, index + 1, "\"" + text + "\" is not a valid integer");
            }
            value.type = RegType::Integer;
            value.integer = number;
        } else if (tag == "str") {
            value.type = RegType::String;
            value.data = ReplaceAll(text, "qqqq", "\r\n");
        } else {
            auto bytes = HexToBytes(text);
            if (!bytes) {
                // Not data this format writes (typically a value name holding "=", whose line
                // was cut at the wrong place): there is nothing faithful to restore.
                continue;
            }
            value.type = RegType::Binary;
            value.data = std::move(*bytes);
        }
        store.WriteValue(root + "\\" + key, value);
    }
}

}  // namespace corvanteer
