#include "support/Files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "common/TempDir.h"
#include "support/Locks.h"
#include "support/Status.h"

namespace corvanteer {
namespace {

using testing::Slurp;
using testing::Spit;
using testing::TempDir;

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint32_t> Repeat(uint32_t value, int times) {
    return std::vector<uint32_t>(static_cast<size_t>(times), value);
}

TEST(AddBackslash, AddsOneSeparator) {
    EXPECT_EQ(AddBackslash(""), "");
    EXPECT_EQ(AddBackslash("a/b"), "a/b/");
    EXPECT_EQ(AddBackslash("a/b/"), "a/b/");
}

TEST(MakeUniqueFileName, EightDigitsOrCapitals) {
    TempDir dir;
    SystemRandom random;
    for (int i = 0; i < 50; ++i) {
        const std::string path = MakeUniqueFileName(dir.Path(), "tmp", random);
        ASSERT_EQ(path.size(), dir.Path().size() + 1 + 8 + 4) << path;
        EXPECT_EQ(path.substr(0, dir.Path().size() + 1), dir.Path() + "/");
        const std::string name = path.substr(dir.Path().size() + 1, 8);
        EXPECT_TRUE(std::all_of(name.begin(), name.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
        })) << name;
        EXPECT_EQ(path.substr(path.size() - 4), ".tmp");
    }
    EXPECT_TRUE(Entries(dir.Path()).empty());  // nothing is created
}

TEST(MakeUniqueFileName, NeverReturnsAnExistingName) {
    TempDir dir;
    Spit(dir.File("AAAAAAAA.dat"), "taken");
    std::filesystem::create_directory(dir.File("BBBBBBBB.dat"));
    std::filesystem::create_symlink("nowhere", dir.File("CCCCCCCC.dat"));  // dangling
    FakeRandom random;
    std::vector<uint32_t> script;
    for (uint32_t letter : {10u, 11u, 12u, 13u}) {  // A, B, C, then D
        auto run = Repeat(letter, 8);
        script.insert(script.end(), run.begin(), run.end());
    }
    random.Script(script);
    EXPECT_EQ(MakeUniqueFileName(dir.Path() + "/", "dat", random), dir.File("DDDDDDDD.dat"));
    // The same name with another extension is free.
    random.Script(Repeat(10, 8));
    EXPECT_EQ(MakeUniqueFileName(dir.Path(), "tmp", random), dir.File("AAAAAAAA.tmp"));
}

TEST(MakeUniqueFileName, UnsearchableFolderDoesNotLoopForever) {
    TempDir dir;
    Spit(dir.File("plain"), "");
    FakeRandom random;
    random.Script(Repeat(1, 8));
    EXPECT_EQ(MakeUniqueFileName(dir.File("plain"), "dat", random), dir.File("plain/11111111.dat"));
    EXPECT_EQ(MakeUniqueFileName(dir.File("missing"), "dat", random).size(),
              dir.File("missing/").size() + 12);
}

TEST(AppendLine, CreatesAndAppendsWithCrLf) {
    TempDir dir;
    const std::string file = dir.File("Corvanteer.log");
    AppendLine(file, "first");
    AppendLine(file, "");
    AppendLine(file, std::string("n\0l", 3));
    EXPECT_EQ(Slurp(file), std::string("first\r\n\r\nn\0l\r\n", 14));
}

TEST(AppendLine, SwallowsEveryError) {
    TempDir dir;
    EXPECT_NO_THROW(AppendLine(dir.File("missing/x.log"), "lost"));
    EXPECT_FALSE(FileExists(dir.File("missing/x.log")));
    EXPECT_NO_THROW(AppendLine(dir.Path(), "a folder"));
    EXPECT_NO_THROW(AppendLine("", "no name"));
}

TEST(WriteTextFile, TextPlusCrLfReplacingOldContent) {
    TempDir dir;
    const std::string file = dir.File("a.txt");
    Spit(file, "a much longer old content");
    WriteTextFile(file, "new");
    EXPECT_EQ(Slurp(file), "new\r\n");
    EXPECT_THROW(WriteTextFile(dir.File("missing/a.txt"), "x"), Failure);
}

TEST(WriteFileAtomic, ExactBytesKeptPermissionsNoLeftovers) {
    TempDir dir;
    const std::string file = dir.File("news.dat");
    WriteFileAtomic(file, "one");
    EXPECT_EQ(Slurp(file), "one");
    ::chmod(file.c_str(), 0600);
    const std::string bytes = std::string("\0\r\n\xff", 4);
    WriteFileAtomic(file, bytes);
    EXPECT_EQ(Slurp(file), bytes);
    WriteFileAtomic(file, "");
    EXPECT_EQ(Slurp(file), "");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"news.dat"});
}

TEST(WriteFileAtomic, FailureKeepsTheOldFile) {
    TempDir dir;
    // The temporary name (the file's name plus a suffix) cannot exist when the file's name
    // is already as long as a name may be.
    const std::string file = dir.File(std::string(255, 'n'));
    Spit(file, "old");
    try {
        WriteFileAtomic(file, "new");
        ADD_FAILURE() << "no failure raised";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.kind(), ErrorKind::Io);
        EXPECT_NE(std::string(failure.what()).find(file), std::string::npos);
    }
    EXPECT_EQ(Slurp(file), "old");
    EXPECT_EQ(Entries(dir.Path()).size(), 1u);
}

TEST(WriteFileAtomic, ReadOnlyFolderKeepsTheOldFile) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    TempDir dir;
    const std::string folder = dir.File("ro");
    ForceDirectories(folder);
    const std::string file = folder + "/news.dat";
    Spit(file, "old");
    ::chmod(folder.c_str(), 0500);
    EXPECT_THROW(WriteFileAtomic(file, "new"), Failure);
    ::chmod(folder.c_str(), 0700);
    EXPECT_EQ(Slurp(file), "old");
    EXPECT_EQ(Entries(folder), std::vector<std::string>{"news.dat"});
}

TEST(AtomicFileWriter, PiecesOfAnySizeInOrder) {
    TempDir dir;
    const std::string file = dir.File("big.dat");
    std::string expected;
    {
        AtomicFileWriter writer(file);
        for (size_t size : {size_t{3}, size_t{70000}, size_t{1}, size_t{65535}, size_t{200000}}) {
            const std::string piece(size, static_cast<char>('a' + size % 26));
            writer.Append(piece);
            expected += piece;
        }
        EXPECT_FALSE(FileExists(file));  // nothing visible before the commit
        writer.Commit();
    }
    EXPECT_EQ(Slurp(file), expected);
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"big.dat"});
}

TEST(AtomicFileWriter, DroppedWithoutCommitKeepsTheOldFile) {
    TempDir dir;
    const std::string file = dir.File("news.dat");
    Spit(file, "old");
    {
        AtomicFileWriter writer(file);
        writer.Append(std::string(100000, 'x'));
    }
    EXPECT_EQ(Slurp(file), "old");
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"news.dat"});
    AtomicFileWriter writer(file);
    writer.Commit();
    EXPECT_THROW(writer.Append("late"), Failure);
    EXPECT_THROW(writer.Commit(), Failure);
    EXPECT_EQ(Slurp(file), "");
}

TEST(WriteNewFileSynced, RefusesAnExistingFile) {
    TempDir dir;
    const std::string file = dir.File("q.dat");
    WriteNewFileSynced(file, "first");
    EXPECT_EQ(Slurp(file), "first");
    EXPECT_THROW(WriteNewFileSynced(file, "second"), Failure);
    EXPECT_EQ(Slurp(file), "first");
}

TEST(ReadFile, ContentMissingAndErrors) {
    TempDir dir;
    const std::string file = dir.File("a.dat");
    EXPECT_FALSE(ReadFileIfExists(file).has_value());
    try {
        ReadFile(file);
        ADD_FAILURE() << "no failure raised";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.kind(), ErrorKind::Io);
        EXPECT_NE(std::string(failure.what()).find(file), std::string::npos);
    }
    const std::string bytes = std::string(200000, 'x') + std::string("\0\r\nend", 6);
    Spit(file, bytes);
    EXPECT_EQ(ReadFileIfExists(file), bytes);
    Spit(file, "a\r\nb\n\r\n");
    EXPECT_EQ(ReadLines(file), (Lines{"a", "b", ""}));
    EXPECT_THROW(ReadFileIfExists(dir.Path()), Failure);  // a folder is not a file
}

TEST(FileSystemQueries, ExistsDeleteAndFolders) {
    TempDir dir;
    const std::string file = dir.File("f");
    EXPECT_FALSE(FileExists(file));
    Spit(file, "");
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(DirectoryExists(file));
    EXPECT_TRUE(DirectoryExists(dir.Path()));
    EXPECT_FALSE(FileExists(dir.Path()));
    EXPECT_TRUE(DeleteFileIfExists(file));
    EXPECT_FALSE(DeleteFileIfExists(file));

    ForceDirectories(dir.File("a/b/c"));
    EXPECT_TRUE(DirectoryExists(dir.File("a/b/c")));
    EXPECT_NO_THROW(ForceDirectories(dir.File("a/b/c")));  // already there
    Spit(dir.File("a/plain"), "");
    EXPECT_THROW(ForceDirectories(dir.File("a/plain/d")), Failure);
    EXPECT_THROW(ForceDirectories(dir.File("a/plain")), Failure);
    EXPECT_THROW(ForceDirectories(""), Failure);
}

TEST(ListFiles, RegularFilesBySuffixWithoutRegardToCase) {
    TempDir dir;
    Spit(dir.File("one.tmp"), "");
    Spit(dir.File("TWO.TMP"), "");
    Spit(dir.File("three.dat"), "");
    Spit(dir.File(".tmp"), "");
    std::filesystem::create_directory(dir.File("folder.tmp"));
    std::vector<std::string> names = ListFiles(dir.Path(), ".tmp");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".tmp", "TWO.TMP", "one.tmp"}));
    EXPECT_TRUE(ListFiles(dir.File("absent"), ".tmp").empty());
}

// Every way a file or folder comes into being gives the user's alone, whatever the umask, and
// a replaced file that an earlier version left 0644 becomes private too.
TEST(FileModes, PrivateUnderUmaskZero) {
    TempDir dir;
    testing::ScopedUmask umask(0);
    const std::string root = dir.File("root");
    ForceDirectories(root + "/a/b");
    AppendLine(root + "/a/log", "line");
    AppendToFile(root + "/a/b/snapshot", "x");
    WriteFileAtomic(root + "/a/b/new.dat", "x");
    WriteNewFileSynced(root + "/a/b/synced.tmp", "x");
    Spit(root + "/old.dat", "old");
    ::chmod((root + "/old.dat").c_str(), 0644);
    WriteTextFile(root + "/old.dat", "new");
    Spit(root + "/old.log", "old");
    ::chmod((root + "/old.log").c_str(), 0666);
    AppendLine(root + "/old.log", "more");
    FileLock lock(root + "/x.lock");
    ASSERT_TRUE(lock.TryLock());
    EXPECT_EQ(testing::NotPrivate(root), std::vector<std::string>{});
}

TEST(RemoveStaleFiles, OnlyOldMatchingRegularFiles) {
    TempDir dir;
    const std::time_t now = 1'800'000'000;
    auto make = [&](const std::string& name, std::time_t mtime) {
        Spit(dir.File(name), "x");
        const timespec times[2] = {{mtime, 0}, {mtime, 0}};
        ::utimensat(AT_FDCWD, dir.File(name).c_str(), times, 0);
    };
    make("news.dat.Ab3dE9", now - 7200);  // old leftover: removed
    make("news.dat.Zz0aB1", now - 600);   // may belong to a write in progress: kept
    make("news.dat.Ab3dE", now - 7200);   // five characters: not ours
    make("news.dat.Ab-dE9", now - 7200);  // not letters and digits
    std::filesystem::create_directory(dir.File("dir.dat.Ab3dE9"));
    auto matches = [](std::string_view name) { return IsAtomicTempName(name); };
    EXPECT_EQ(RemoveStaleFiles(dir.Path(), now - 3600, matches), 1);
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"dir.dat.Ab3dE9", "news.dat.Ab-dE9",
                                                             "news.dat.Ab3dE", "news.dat.Zz0aB1"}));
    std::string_view base;
    ASSERT_TRUE(IsAtomicTempName("vericode.dat.q1W2e3", &base));
    EXPECT_EQ(base, "vericode.dat");
    EXPECT_FALSE(IsAtomicTempName(".Ab3dE9"));
}

}  // namespace
}  // namespace corvanteer
