#include "support/SettingsStore.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>
#include <unordered_map>

#include "support/Status.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

constexpr std::array<const char*, 7> kRootNames = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA",
};

// Marks a database as ours, so that another program's SQLite file is not taken for one.
constexpr int kApplicationId = 0x43525654;  // "CRVT"

// Keys are found by their whole path in upper case ("HKEY_CURRENT_USER\SOFTWARE\..."), so a
// read is one indexed look-up. Names keep their first spelling next to the upper-case form
// used for comparing and ordering.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS reg_keys(
    id INTEGER PRIMARY KEY,
    parent INTEGER NOT NULL,
    name BLOB NOT NULL,
    uname BLOB NOT NULL,
    upath BLOB NOT NULL UNIQUE
);
CREATE INDEX IF NOT EXISTS reg_keys_children ON reg_keys(parent, uname);
CREATE TABLE IF NOT EXISTS reg_values(
    id INTEGER PRIMARY KEY,
    key_id INTEGER NOT NULL,
    name BLOB NOT NULL,
    uname BLOB NOT NULL,
    type INTEGER NOT NULL,
    data BLOB,
    UNIQUE(key_id, uname)
);
)sql";

constexpr const char* kFindKey = "SELECT id FROM reg_keys WHERE upath = ?1";
constexpr const char* kInsertKey =
    "INSERT INTO reg_keys(parent, name, uname, upath) VALUES(?1, ?2, ?3, ?4)";
constexpr const char* kReadValue =
    "SELECT v.name, v.type, v.data FROM reg_values v JOIN reg_keys k ON v.key_id = k.id "
    "WHERE k.upath = ?1 AND v.uname = ?2";
constexpr const char* kUpsertValue =
    "INSERT INTO reg_values(key_id, name, uname, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key_id, uname) DO UPDATE SET type = excluded.type, data = excluded.data";
constexpr const char* kSubKeys =
    "SELECT c.name FROM reg_keys c JOIN reg_keys k ON c.parent = k.id WHERE k.upath = ?1 "
    "ORDER BY c.uname";
constexpr const char* kValues =
    "SELECT v.name, v.type, v.data FROM reg_values v JOIN reg_keys k ON v.key_id = k.id "
    "WHERE k.upath = ?1 ORDER BY v.id";
constexpr const char* kDeleteValue =
    "DELETE FROM reg_values WHERE uname = ?2 AND key_id = "
    "(SELECT id FROM reg_keys WHERE upath = ?1)";
constexpr const char* kDeleteSubtreeValues =
    "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL "
    "SELECT k.id FROM reg_keys k JOIN sub ON k.parent = sub.id) "
    "DELETE FROM reg_values WHERE key_id IN sub";
constexpr const char* kDeleteSubtreeKeys =
    "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL "
    "SELECT k.id FROM reg_keys k JOIN sub ON k.parent = sub.id) "
    "DELETE FROM reg_keys WHERE id IN sub";

// A key path taken apart: the root's canonical name and the components as spelled. Empty
// components (a leading "\", doubled or trailing separators) are dropped.
struct KeyPath {
    std::string root;
    std::vector<std::string> parts;

    // The look-up form of the first n components (all when n is npos).
    std::string Upper(size_t n = std::string::npos) const {
        std::string path = root;
        for (size_t i = 0; i < parts.size() && i < n; ++i) {
            path += '\\';
            path += UpperCase(parts[i]);
        }
        return path;
    }
};

KeyPath ParseKeyPath(std::string_view key) {
    KeyPath result;
    result.root = "HKEY_CURRENT_USER";
    size_t start = 0;
    bool first = true;
    while (start <= key.size()) {
        size_t end = key.find('\\', start);
        if (end == std::string_view::npos) {
            end = key.size();
        }
        std::string_view part = key.substr(start, end - start);
        if (first && IsRootName(part)) {
            result.root = UpperCase(part);
        } else if (!part.empty()) {
            result.parts.emplace_back(part);
        }
        first = false;
        start = end + 1;
    }
    return result;
}

int TypeCode(RegType type) {
    switch (type) {
        case RegType::String:
            return 1;
        case RegType::ExpandString:
            return 2;
        case RegType::Integer:
            return 4;
        case RegType::Binary:
            return 3;
    }
    return 3;
}

RegType TypeFromCode(int code) {
    switch (code) {
        case 1:
            return RegType::String;
        case 2:
            return RegType::ExpandString;
        case 4:
            return RegType::Integer;
        default:
            return RegType::Binary;
    }
}

const char* TypeName(RegType type) {
    switch (type) {
        case RegType::String:
            return "string";
        case RegType::ExpandString:
            return "expandable string";
        case RegType::Integer:
            return "integer";
        case RegType::Binary:
            return "binary";
    }
    return "binary";
}

std::string ColumnBytes(sqlite3_stmt* statement, int column) {
    const void* data = sqlite3_column_blob(statement, column);
    int size = sqlite3_column_bytes(statement, column);
    if (data == nullptr || size <= 0) {
        return {};
    }
    return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

RegValue ValueFromRow(sqlite3_stmt* statement) {
    RegValue value;
    value.name = ColumnBytes(statement, 0);
    value.type = TypeFromCode(sqlite3_column_int(statement, 1));
    if (value.type == RegType::Integer) {
        value.integer = static_cast<int32_t>(sqlite3_column_int64(statement, 2));
    } else {
        value.data = ColumnBytes(statement, 2);
    }
    return value;
}

}  // namespace

bool IsRootName(std::string_view name) {
    for (const char* root : kRootNames) {
        if (SameText(name, root)) {
            return true;
        }
    }
    return false;
}

std::string ScramblePassword(std::string_view plain) {
    std::string result(plain);
    for (char& c : result) {
        c = static_cast<char>(static_cast<unsigned char>(c) ^ 0x80u);
    }
    return result;
}

std::string UnscramblePassword(std::string_view stored) {
    return ScramblePassword(stored);
}

// One connection with its prepared statements. The mutex makes each call of the store atomic
// for the threads of this process (recursive: Atomically holds it around the calls of its
// body); SQLite's locking (busy time-out, BEGIN IMMEDIATE) does the same between processes.
struct SettingsStore::Impl {
    std::string path;
    sqlite3* db = nullptr;
    bool readOnly = false;
    std::recursive_mutex mutex;
    bool inBatch = false;  // inside Atomically: writes join its transaction
    std::unordered_map<const char*, sqlite3_stmt*> statements;

    ~Impl() {
        for (auto& entry : statements) {
            sqlite3_finalize(entry.second);
        }
        if (db != nullptr) {
            sqlite3_close_v2(db);
        }
    }

    [[noreturn]] void Fail(ErrorKind kind, const std::string& what, int rc = SQLITE_OK) const {
        std::string message = "Settings store \"" + path + "\": " + what;
        if (db != nullptr) {
            message += ": ";
            message += sqlite3_errmsg(db);
            // SQLite's "disk I/O error" or "readonly database" does not say that the disk is
            // full or the folder read-only; the system's reason does.
            if (const std::string cause = Cause(rc); !cause.empty()) {
                message += " (" + cause + ")";
            }
        }
        throw Failure(kind, message);
    }

    std::string Cause(int rc) const {
        if (const int error = sqlite3_system_errno(db); error != 0) {
            return std::strerror(error);
        }
        if (rc == SQLITE_FULL) {
            return std::strerror(ENOSPC);
        }
        if (rc == SQLITE_READONLY) {
            if (readOnly) {
                return "opened for reading only";
            }
            if (::access(path.c_str(), W_OK) != 0) {
                return std::strerror(errno);  // the file system or the file's permissions
            }
        }
        return "";
    }

    void Check(int rc, const char* what) const {
        if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
            Fail(rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT ? ErrorKind::Format : ErrorKind::Io,
                 what, rc);
        }
    }

    void Exec(const char* sql, const char* what) {
        Check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), what);
    }

    // A cached statement, reset and unbound when the guard goes away.
    class Statement {
    public:
        Statement(Impl& impl, const char* sql) : impl_(impl) {
            auto found = impl.statements.find(sql);
            if (found != impl.statements.end()) {
                statement_ = found->second;
                return;
            }
            impl.Check(sqlite3_prepare_v3(impl.db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement_,
                                          nullptr),
                       "cannot prepare a query");
            impl.statements.emplace(sql, statement_);
        }
        ~Statement() {
            sqlite3_reset(statement_);
            sqlite3_clear_bindings(statement_);
        }
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;

        void Bind(int index, std::string_view bytes) {
            // Bound as blobs so every byte, zero included, is kept as it is. An empty text is
            // a zero-length blob, never NULL.
            int rc = bytes.empty() ? sqlite3_bind_zeroblob(statement_, index, 0)
                                   : sqlite3_bind_blob64(statement_, index, bytes.data(),
                                                         bytes.size(), SQLITE_TRANSIENT);
            impl_.Check(rc, "cannot bind a value");
        }
        void Bind(int index, int64_t number) {
            impl_.Check(sqlite3_bind_int64(statement_, index, number), "cannot bind a value");
        }
        // True while there is a row.
        bool Step(const char* what) {
            int rc = sqlite3_step(statement_);
            impl_.Check(rc, what);
            return rc == SQLITE_ROW;
        }
        sqlite3_stmt* get() const { return statement_; }

    private:
        Impl& impl_;
        sqlite3_stmt* statement_ = nullptr;
    };

    // Runs body inside BEGIN IMMEDIATE ... COMMIT, rolling back when it raises.
    template <typename Body>
    auto Write(Body&& body) {
        if (inBatch) {
            return body();
        }
        Exec("BEGIN IMMEDIATE", "cannot start a write");
        try {
            if constexpr (std::is_void_v<decltype(body())>) {
                body();
                Exec("COMMIT", "cannot commit a write");
            } else {
                auto result = body();
                Exec("COMMIT", "cannot commit a write");
                return result;
            }
        } catch (...) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }

    std::optional<int64_t> FindKey(const std::string& upath) {
        Statement find(*this, kFindKey);
        find.Bind(1, upath);
        if (!find.Step("cannot read a key")) {
            return std::nullopt;
        }
        return sqlite3_column_int64(find.get(), 0);
    }

    // The key's id, creating it and its missing parents. Runs inside a write transaction.
    int64_t EnsureKey(const KeyPath& key) {
        if (auto id = FindKey(key.Upper())) {
            return *id;
        }
        int64_t parent = 0;
        for (size_t depth = 0; depth <= key.parts.size(); ++depth) {
            std::string upath = key.Upper(depth);
            if (auto id = FindKey(upath)) {
                parent = *id;
                continue;
            }
            const std::string& name = depth == 0 ? key.root : key.parts[depth - 1];
            Statement insert(*this, kInsertKey);
            insert.Bind(1, parent);
            insert.Bind(2, name);
            insert.Bind(3, UpperCase(name));
            insert.Bind(4, upath);
            insert.Step("cannot create a key");
            parent = sqlite3_last_insert_rowid(db);
        }
        return parent;
    }

    std::optional<RegValue> Read(std::string_view key, std::string_view name) {
        Statement read(*this, kReadValue);
        read.Bind(1, ParseKeyPath(key).Upper());
        read.Bind(2, UpperCase(name));
        if (!read.Step("cannot read a value")) {
            return std::nullopt;
        }
        return ValueFromRow(read.get());
    }

    void WriteOne(std::string_view key, const RegValue& value) {
        const KeyPath keyPath = ParseKeyPath(key);
        Write([&] {
            int64_t keyId = EnsureKey(keyPath);
            Statement upsert(*this, kUpsertValue);
            upsert.Bind(1, keyId);
            upsert.Bind(2, value.name);
            upsert.Bind(3, UpperCase(value.name));
            upsert.Bind(4, TypeCode(value.type));
            if (value.type == RegType::Integer) {
                upsert.Bind(5, int64_t{value.integer});
            } else {
                upsert.Bind(5, value.data);
            }
            upsert.Step("cannot write a value");
        });
    }

    [[noreturn]] void WrongType(std::string_view key, const RegValue& value,
                                const char* wanted) const {
        throw Failure(ErrorKind::Format, "Settings value \"" + value.name + "\" in \"" +
                                             std::string(key) + "\" is " + TypeName(value.type) +
                                             ", not " + wanted + " (" + path + ")");
    }
};

SettingsStore::SettingsStore(std::string path, std::unique_ptr<Impl> impl)
    : path_(std::move(path)), impl_(std::move(impl)) {}

SettingsStore::~SettingsStore() = default;

std::unique_ptr<SettingsStore> SettingsStore::Open(const std::string& path) {
    // Create the file ourselves so it never exists with wider permissions than 0600.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    } else if (errno != EEXIST) {
        ThrowIoError("Cannot create the settings store", path, errno);
    }

    auto impl = std::make_unique<Impl>();
    impl->path = path;
    int rc = sqlite3_open_v2(path.c_str(), &impl->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        impl->Fail(ErrorKind::Io, "cannot open");
    }
    sqlite3_extended_result_codes(impl->db, 0);
    sqlite3_busy_timeout(impl->db, 10000);

    // The first statement reads the file header: a file that is not a database fails here.
    sqlite3_stmt* statement = nullptr;
    rc = sqlite3_prepare_v2(impl->db, "PRAGMA application_id", -1, &statement, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(statement);
    }
    int applicationId = rc == SQLITE_ROW ? sqlite3_column_int(statement, 0) : 0;
    sqlite3_finalize(statement);
    if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) {
        impl->Fail(ErrorKind::Format, "not a settings database");
    }
    impl->Check(rc, "cannot read");
    if (applicationId != 0 && applicationId != kApplicationId) {
        throw Failure(ErrorKind::Format,
                      "Settings store \"" + path + "\": not a settings database");
    }

    // WAL lets readers go on while another process writes; NORMAL sync keeps the database
    // consistent and skips an fsync per commit.
    impl->Exec("PRAGMA journal_mode=WAL", "cannot set the journal mode");
    impl->Exec("PRAGMA synchronous=NORMAL", "cannot set the sync mode");
    if (applicationId == 0) {
        impl->Write([&] {
            impl->Exec(kSchema, "cannot create the tables");
            const std::string mark = "PRAGMA application_id=" + std::to_string(kApplicationId);
            impl->Exec(mark.c_str(), "cannot mark the database");
        });
    }
    return std::unique_ptr<SettingsStore>(new SettingsStore(path, std::move(impl)));
}

namespace {

// A path as the file name of an SQLite URI: "%", "?" and "#" (and any byte that is not plain)
// percent-encoded.
std::string UriPath(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (char c : path) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
            c == '/' || c == '.' || c == '-' || c == '_' || c == '~') {
            uri.push_back(c);
        } else {
            uri.push_back('%');
            uri.push_back(kHex[u >> 4]);
            uri.push_back(kHex[u & 0x0F]);
        }
    }
    return uri;
}

bool NonEmptyFileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

}  // namespace

std::unique_ptr<SettingsStore> SettingsStore::OpenReadOnly(const std::string& path) {
    if (::access(path.c_str(), F_OK) != 0) {
        return Open(path);  // nothing to read yet: made as any command would make it
    }
    std::unique_ptr<Impl> impl;
    int applicationId = 0;
    auto open = [&](const std::string& uri) {
        impl = std::make_unique<Impl>();
        impl->path = path;
        impl->readOnly = true;
        int rc =
            sqlite3_open_v2(uri.c_str(), &impl->db,
                            SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_extended_result_codes(impl->db, 0);
            sqlite3_busy_timeout(impl->db, 10000);
            rc = sqlite3_exec(impl->db, "PRAGMA query_only=1", nullptr, nullptr, nullptr);
        }
        sqlite3_stmt* statement = nullptr;
        if (rc == SQLITE_OK) {
            rc = sqlite3_prepare_v2(impl->db, "PRAGMA application_id", -1, &statement, nullptr);
        }
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(statement);
        }
        applicationId = rc == SQLITE_ROW ? sqlite3_column_int(statement, 0) : 0;
        sqlite3_finalize(statement);
        return rc;
    };

    int rc = open(UriPath(path));
    // A database in WAL mode needs its "-shm" file even to be read, which cannot be made in a
    // read-only folder or on a full disk. Without a "-wal" file everything is in the database
    // file itself, so it is then read as an unchanging file, with no file of its own.
    if ((rc == SQLITE_CANTOPEN || rc == SQLITE_IOERR || rc == SQLITE_READONLY) &&
        !NonEmptyFileExists(path + "-wal")) {
        rc = open(UriPath(path) + "?immutable=1");
    }
    if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) {
        impl->Fail(ErrorKind::Format, "not a settings database");
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE && rc != SQLITE_OK) {
        impl->Fail(ErrorKind::Io, "cannot read");
    }
    if (applicationId == 0) {
        impl.reset();
        return Open(path);  // a new database whose tables were never made
    }
    if (applicationId != kApplicationId) {
        throw Failure(ErrorKind::Format,
                      "Settings store \"" + path + "\": not a settings database");
    }
    return std::unique_ptr<SettingsStore>(new SettingsStore(path, std::move(impl)));
}

void SettingsStore::Atomically(const std::function<void()>& body) {
    std::lock_guard lock(impl_->mutex);
    if (impl_->inBatch) {
        body();
        return;
    }
    impl_->Exec("BEGIN IMMEDIATE", "cannot start a write");
    impl_->inBatch = true;
    try {
        body();
        impl_->inBatch = false;
        impl_->Exec("COMMIT", "cannot commit a write");
    } catch (...) {
        impl_->inBatch = false;
        sqlite3_exec(impl_->db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

bool SettingsStore::ReadOnly() const {
    return impl_->readOnly;
}

std::optional<RegValue> SettingsStore::ReadValue(std::string_view key,
                                                 std::string_view name) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->Read(key, name);
}

bool SettingsStore::ValueExists(std::string_view key, std::string_view name) const {
    return ReadValue(key, name).has_value();
}

std::string SettingsStore::ReadRegString(std::string_view key, std::string_view name,
                                         std::string_view fallback) const {
    auto value = ReadValue(key, name);
    if (!value) {
        return std::string(fallback);
    }
    if (value->type != RegType::String && value->type != RegType::ExpandString) {
        impl_->WrongType(key, *value, "a string");
    }
    return std::move(value->data);
}

int32_t SettingsStore::ReadRegInteger(std::string_view key, std::string_view name,
                                      int32_t fallback) const {
    auto value = ReadValue(key, name);
    if (!value) {
        return fallback;
    }
    if (value->type != RegType::Integer) {
        impl_->WrongType(key, *value, "an integer");
    }
    return value->integer;
}

bool SettingsStore::ReadRegBool(std::string_view key, std::string_view name, bool fallback) const {
    return ReadRegInteger(key, name, fallback ? 1 : 0) != 0;
}

void SettingsStore::WriteValue(std::string_view key, const RegValue& value) {
    std::lock_guard lock(impl_->mutex);
    impl_->WriteOne(key, value);
}

void SettingsStore::WriteRegString(std::string_view key, std::string_view name,
                                   std::string_view value) {
    WriteValue(key, RegValue{std::string(name), RegType::String, std::string(value), 0});
}

void SettingsStore::WriteRegExpandString(std::string_view key, std::string_view name,
                                         std::string_view value) {
    WriteValue(key, RegValue{std::string(name), RegType::ExpandString, std::string(value), 0});
}

void SettingsStore::WriteRegInteger(std::string_view key, std::string_view name, int32_t value) {
    WriteValue(key, RegValue{std::string(name), RegType::Integer, {}, value});
}

void SettingsStore::WriteRegBool(std::string_view key, std::string_view name, bool value) {
    WriteRegInteger(key, name, value ? 1 : 0);
}

void SettingsStore::WriteRegBinary(std::string_view key, std::string_view name,
                                   std::string_view bytes) {
    WriteValue(key, RegValue{std::string(name), RegType::Binary, std::string(bytes), 0});
}

bool SettingsStore::KeyExists(std::string_view key) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->FindKey(ParseKeyPath(key).Upper()).has_value();
}

void SettingsStore::CreateKey(std::string_view key) {
    std::lock_guard lock(impl_->mutex);
    const KeyPath path = ParseKeyPath(key);
    if (impl_->FindKey(path.Upper())) {
        return;
    }
    impl_->Write([&] { impl_->EnsureKey(path); });
}

std::vector<std::string> SettingsStore::SubKeys(std::string_view key) const {
    std::lock_guard lock(impl_->mutex);
    Impl::Statement list(*impl_, kSubKeys);
    list.Bind(1, ParseKeyPath(key).Upper());
    std::vector<std::string> names;
    while (list.Step("cannot list sub-keys")) {
        names.push_back(ColumnBytes(list.get(), 0));
    }
    return names;
}

std::vector<RegValue> SettingsStore::Values(std::string_view key) const {
    std::lock_guard lock(impl_->mutex);
    Impl::Statement list(*impl_, kValues);
    list.Bind(1, ParseKeyPath(key).Upper());
    std::vector<RegValue> values;
    while (list.Step("cannot list values")) {
        values.push_back(ValueFromRow(list.get()));
    }
    return values;
}

bool SettingsStore::DeleteValue(std::string_view key, std::string_view name) {
    std::lock_guard lock(impl_->mutex);
    const std::string upath = ParseKeyPath(key).Upper();
    return impl_->Write([&] {
        Impl::Statement erase(*impl_, kDeleteValue);
        erase.Bind(1, upath);
        erase.Bind(2, UpperCase(name));
        erase.Step("cannot delete a value");
        return sqlite3_changes(impl_->db) > 0;
    });
}

bool SettingsStore::DeleteKey(std::string_view key) {
    const KeyPath path = ParseKeyPath(key);
    // A path with nothing after the root (or an empty last component, as a list key built
    // from an empty name would have) would wipe a whole branch the caller did not name.
    if (path.parts.empty() || key.empty() || key.back() == '\\') {
        throw Failure(ErrorKind::Refused,
                      "Refusing to delete the settings key \"" + std::string(key) + "\"");
    }
    std::lock_guard lock(impl_->mutex);
    return impl_->Write([&] {
        auto id = impl_->FindKey(path.Upper());
        if (!id) {
            return false;
        }
        for (const char* sql : {kDeleteSubtreeValues, kDeleteSubtreeKeys}) {
            Impl::Statement erase(*impl_, sql);
            erase.Bind(1, *id);
            erase.Step("cannot delete a key");
        }
        return true;
    });
}

}  // namespace corvanteer
