#pragma once

// The settings store: a tree of keys holding typed values, kept in one SQLite database.
//
// Key paths are backslash-separated ("Software\Brask Software\Corvanteer\Lists\news"). A
// path whose first component is a root name (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, ...) lies
// under that root; any other path lies under HKEY_CURRENT_USER. Key and value names compare
// without regard to case and keep the spelling first written. Sub-keys enumerate in
// case-insensitive alphabetical order, values in creation order. Every write is one
// transaction; several processes may use one database at once.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvanteer {

enum class RegType { String, ExpandString, Integer, Binary };

struct RegValue {
    std::string name;
    RegType type = RegType::String;
    std::string data;     // String, ExpandString, Binary: the bytes
    int32_t integer = 0;  // Integer
};

// The seven root names a key path may begin with.
bool IsRootName(std::string_view name);

class SettingsStore {
public:
    // Opens (creating when missing, mode 0600) the database. Raises Failure naming the file
    // when it cannot be opened or is not a settings database.
    static std::unique_ptr<SettingsStore> Open(const std::string& path);
    // Opens an existing database for reading only (no write, no checkpoint, no file made
    // beside it), so that it can be read in a read-only folder or on a full disk; writes then
    // raise Failure (Io). A database that does not exist yet is made as Open makes it.
    static std::unique_ptr<SettingsStore> OpenReadOnly(const std::string& path);
    bool ReadOnly() const;
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    const std::string& Path() const { return path_; }

    // Reads return the default when the key or the value is absent and never create the key.
    // A value of another type than asked for raises Failure (Format).
    std::string ReadRegString(std::string_view key, std::string_view name,
                              std::string_view fallback) const;
    int32_t ReadRegInteger(std::string_view key, std::string_view name, int32_t fallback) const;
    bool ReadRegBool(std::string_view key, std::string_view name, bool fallback) const;
    std::optional<RegValue> ReadValue(std::string_view key, std::string_view name) const;
    bool ValueExists(std::string_view key, std::string_view name) const;

    // Writes create the key and its missing parents and replace an earlier value of that name
    // (whatever its type). Raise Failure (Io) when the store refuses.
    void WriteRegString(std::string_view key, std::string_view name, std::string_view value);
    void WriteRegExpandString(std::string_view key, std::string_view name, std::string_view value);
    void WriteRegInteger(std::string_view key, std::string_view name, int32_t value);
    void WriteRegBool(std::string_view key, std::string_view name, bool value);
    void WriteRegBinary(std::string_view key, std::string_view name, std::string_view bytes);
    void WriteValue(std::string_view key, const RegValue& value);

    bool KeyExists(std::string_view key) const;
    void CreateKey(std::string_view key);
    // Names of the direct sub-keys, as first spelled.
    std::vector<std::string> SubKeys(std::string_view key) const;
    std::vector<RegValue> Values(std::string_view key) const;
    // False when there was nothing to delete.
    bool DeleteValue(std::string_view key, std::string_view name);
    // Deletes the key with all its values and every key below it.
    bool DeleteKey(std::string_view key);

    // Runs body with every write it makes in one transaction: all of them are kept, or none
    // when body raises (the exception goes on). Other threads of this process wait meanwhile,
    // other processes' writes too (SQLite's lock).
    void Atomically(const std::function<void()>& body);

private:
    struct Impl;
    explicit SettingsStore(std::string path, std::unique_ptr<Impl> impl);
    std::string path_;
    std::unique_ptr<Impl> impl_;
};

// Every byte b becomes (b + 128) mod 256; the two are the same transformation.
std::string ScramblePassword(std::string_view plain);
std::string UnscramblePassword(std::string_view stored);

}  // namespace corvanteer
