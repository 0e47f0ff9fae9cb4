#pragma once

// File routines. Paths use "/" as the separator. Routines that "raise" throw Failure (Io)
// with a message naming the file; AppendLine alone swallows every error.

#include <ctime>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "support/Random.h"
#include "support/Text.h"

namespace corvanteer {

// Every file the program creates or replaces gets this mode, and every folder it creates
// that one, whatever the umask: the files hold member addresses and passwords.
inline constexpr unsigned kPrivateFileMode = 0600;
inline constexpr unsigned kPrivateFolderMode = 0700;

// Empty stays empty; a path ending in "/" is returned unchanged; otherwise "/" is appended.
std::string AddBackslash(std::string_view path);

// folder + eight characters from 0-9 and A-Z + "." + extension, naming no existing file.
// The file is not created.
std::string MakeUniqueFileName(std::string_view folder, std::string_view extension,
                               RandomSource& random);

// Appends line + CR LF to the file, creating it when missing, in one write. Every error is
// swallowed: a line that cannot be written is lost silently.
void AppendLine(const std::string& path, std::string_view line);
// The same with the line given in pieces, one after the other.
void AppendLine(const std::string& path, std::initializer_list<std::string_view> pieces);

// Appends the bytes to the file in one write, creating it when missing. Raises on error.
void AppendToFile(const std::string& path, std::string_view bytes);

// Creates or replaces the file with text + CR LF. Raises on error. The replacement is
// atomic: readers see the old or the new content, never a part.
void WriteTextFile(const std::string& path, std::string_view text);

// Replaces (or creates) the file with exactly these bytes: a uniquely named temporary file in
// the same folder is written, flushed to disk and renamed over the old one. Raises on error.
void WriteFileAtomic(const std::string& path, std::string_view bytes);

// Builds the replacement of a file piece by piece through a small buffer (so large files are
// never assembled in memory) and puts it in place as WriteFileAtomic does. The constructor
// creates the temporary file; Append and Commit raise on error. Destroyed without a
// successful Commit, it removes the temporary file and the old file stays as it was.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::string path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    void Append(std::string_view bytes);
    void Commit();

private:
    void Flush();
    [[noreturn]] void Fail(const char* what, int error);

    std::string path_;
    std::string tempPath_;
    int fd_ = -1;
    std::string buffer_;
};

// Creates the file with exactly these bytes and flushes it to disk before returning; fails
// (raises) when the file exists already. With syncFolder false the caller syncs the folder
// (once, after several files).
void WriteNewFileSynced(const std::string& path, std::string_view bytes, bool syncFolder = true);
// The same with the bytes of the pieces one after the other (no copy joins them).
void WriteNewFileSynced(const std::string& path, std::initializer_list<std::string_view> pieces,
                        bool syncFolder = true);

// Flushes a folder's entries (names created, renamed or removed) to disk; errors are ignored.
void SyncFolder(const std::string& folder);

// The whole file; nullopt when it does not exist. Raises on any other error.
std::optional<std::string> ReadFileIfExists(const std::string& path);
// The whole file; raises when it cannot be read (a missing file included).
std::string ReadFile(const std::string& path);
// The file's lines (TextToLines); raises when it cannot be read.
Lines ReadLines(const std::string& path);

bool FileExists(const std::string& path);  // a regular file (or a link to one)
bool DirectoryExists(const std::string& path);
// Creates the folder and any missing parents; raises when that fails.
void ForceDirectories(const std::string& path);
// Removes a file; false when it was not there or could not be removed.
bool DeleteFileIfExists(const std::string& path);

// True when the name is that of an atomic replacement's temporary file: the replaced file's
// name, "." and six letters or digits. base (when given) receives the replaced file's name.
bool IsAtomicTempName(std::string_view name, std::string_view* base = nullptr);

// Removes the regular files of the folder (not below it) whose name matches and whose last
// change is before olderThan (seconds since the epoch). Errors are ignored (a folder that
// cannot be written keeps its files); the result is the number removed.
int RemoveStaleFiles(const std::string& folder, std::time_t olderThan,
                     const std::function<bool(std::string_view)>& matches);

// Names (not paths) of the regular files in a folder whose name ends with suffix (".tmp",
// without regard to case),
// in the order the folder lists them. An absent folder gives none.
std::vector<std::string> ListFiles(const std::string& folder, std::string_view suffix);

}  // namespace corvanteer
