#include "support/SettingsStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <thread>

#include "common/TempDir.h"
#include "support/Status.h"

namespace corvanteer {
namespace {

using testing::TempDir;

constexpr const char* kKey = "Software\\Brask Software\\Corvanteer";

class SettingsStoreTest : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<SettingsStore> store = SettingsStore::Open(dir.File("settings.sqlite"));
};

TEST_F(SettingsStoreTest, NewDatabaseIsPrivateToItsOwner) {
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("settings.sqlite").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SettingsStoreTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    store->WriteRegString(kKey, "SmtpHost", "mail.example.org");
    EXPECT_EQ(store->ReadRegString("software\\BRASK SOFTWARE\\corvanteer", "SMTPHOST", "x"),
              "mail.example.org");

    // Writing under another spelling replaces the value but keeps the name and key spelling.
    store->WriteRegString("SOFTWARE\\Brask Software\\Corvanteer", "SMTPHost", "other.org");
    auto values = store->Values(kKey);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "SmtpHost");
    EXPECT_EQ(values[0].data, "other.org");
    EXPECT_EQ(store->SubKeys("Software"), std::vector<std::string>{"Brask Software"});
    EXPECT_EQ(store->SubKeys("HKEY_CURRENT_USER"), std::vector<std::string>{"Software"});
}

TEST_F(SettingsStoreTest, PathsWithoutRootLieUnderCurrentUser) {
    store->WriteRegInteger("HKEY_CURRENT_USER\\Software\\A", "n", 1);
    store->WriteRegInteger("hkey_local_machine\\Software\\A", "n", 2);
    EXPECT_EQ(store->ReadRegInteger("Software\\A", "n", 0), 1);
    EXPECT_EQ(store->ReadRegInteger("\\Software\\A", "n", 0), 1);
    EXPECT_EQ(store->ReadRegInteger("HKEY_LOCAL_MACHINE\\Software\\A", "n", 0), 2);
}

TEST_F(SettingsStoreTest, ReadsGiveTheDefaultWithoutCreatingTheKey) {
    EXPECT_EQ(store->ReadRegString(kKey, "Missing", "fallback"), "fallback");
    EXPECT_EQ(store->ReadRegInteger(kKey, "Missing", 42), 42);
    EXPECT_TRUE(store->ReadRegBool(kKey, "Missing", true));
    EXPECT_FALSE(store->ReadValue(kKey, "Missing").has_value());
    EXPECT_FALSE(store->KeyExists(kKey));
    EXPECT_FALSE(store->KeyExists("Software"));

    store->CreateKey(kKey);
    EXPECT_EQ(store->ReadRegString(kKey, "Missing", "fallback"), "fallback");
    EXPECT_TRUE(store->Values(kKey).empty());
}

TEST_F(SettingsStoreTest, WritingCreatesEveryMissingParent) {
    store->WriteRegBool("Software\\A\\B\\C\\D", "Flag", true);
    EXPECT_TRUE(store->KeyExists("Software\\A"));
    EXPECT_TRUE(store->KeyExists("Software\\A\\B"));
    EXPECT_TRUE(store->KeyExists("Software\\A\\B\\C"));
    EXPECT_TRUE(store->ReadRegBool("Software\\A\\B\\C\\D", "Flag", false));
    EXPECT_EQ(store->SubKeys("Software\\A\\B"), std::vector<std::string>{"C"});
}

TEST_F(SettingsStoreTest, ReadingAnotherTypeIsAFormatFailure) {
    store->WriteRegString(kKey, "Text", "25");
    store->WriteRegInteger(kKey, "Number", 25);
    store->WriteRegBinary(kKey, "Bytes", "\x01\x02");
    store->WriteRegExpandString(kKey, "Expand", "%HOME%");

    auto expectFormat = [](auto&& call) {
        try {
            call();
            ADD_FAILURE() << "no failure raised";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.kind(), ErrorKind::Format) << failure.what();
        }
    };
    expectFormat([&] { store->ReadRegInteger(kKey, "Text", 0); });
    expectFormat([&] { store->ReadRegBool(kKey, "Text", false); });
    expectFormat([&] { store->ReadRegString(kKey, "Number", ""); });
    expectFormat([&] { store->ReadRegString(kKey, "Bytes", ""); });
    expectFormat([&] { store->ReadRegInteger(kKey, "Bytes", 0); });
    // An expandable string is a string to the reader.
    EXPECT_EQ(store->ReadRegString(kKey, "Expand", ""), "%HOME%");
    EXPECT_EQ(store->ReadValue(kKey, "Expand")->type, RegType::ExpandString);

    // A write replaces whatever type was there.
    store->WriteRegInteger(kKey, "Text", 7);
    EXPECT_EQ(store->ReadRegInteger(kKey, "Text", 0), 7);
}

TEST_F(SettingsStoreTest, IntegersAndBooleans) {
    store->WriteRegInteger(kKey, "Min", INT32_MIN);
    store->WriteRegInteger(kKey, "Max", INT32_MAX);
    store->WriteRegInteger(kKey, "Two", 2);
    store->WriteRegBool(kKey, "Off", false);
    EXPECT_EQ(store->ReadRegInteger(kKey, "Min", 0), INT32_MIN);
    EXPECT_EQ(store->ReadRegInteger(kKey, "Max", 0), INT32_MAX);
    EXPECT_TRUE(store->ReadRegBool(kKey, "Two", false));
    EXPECT_TRUE(store->ReadRegBool(kKey, "Min", false));
    EXPECT_FALSE(store->ReadRegBool(kKey, "Off", true));
    EXPECT_EQ(store->ReadRegInteger(kKey, "Off", 9), 0);
}

TEST_F(SettingsStoreTest, SubKeysSortWithoutCaseAndValuesKeepCreationOrder) {
    for (const char* name : {"zeta", "Alpha", "beta", "my_list", "MYLIST", "Gamma"}) {
        store->CreateKey(std::string("Software\\Lists\\") + name);
    }
    EXPECT_EQ(store->SubKeys("Software\\Lists"),
              (std::vector<std::string>{"Alpha", "beta", "Gamma", "MYLIST", "my_list", "zeta"}));

    for (const char* name : {"Zulu", "alpha", "Mike"}) {
        store->WriteRegString("Software\\Lists\\beta", name, name);
    }
    // Replacing a value keeps its place; a deleted and rewritten one goes last.
    store->WriteRegString("Software\\Lists\\beta", "ZULU", "again");
    store->DeleteValue("Software\\Lists\\beta", "alpha");
    store->WriteRegString("Software\\Lists\\beta", "Alpha", "new");
    std::vector<std::string> names;
    for (const RegValue& value : store->Values("Software\\Lists\\beta")) {
        names.push_back(value.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Zulu", "Mike", "Alpha"}));
    EXPECT_TRUE(store->SubKeys("Software\\Lists\\Missing").empty());
    EXPECT_TRUE(store->Values("Software\\Lists\\Missing").empty());
}

TEST_F(SettingsStoreTest, DeleteKeyRemovesTheWholeSubtreeAndNothingElse) {
    store->WriteRegString("Software\\C\\Lists\\news", "Pop3Host", "h");
    store->WriteRegString("Software\\C\\Lists\\news\\Deep\\Deeper", "v", "x");
    store->WriteRegString("Software\\C\\Lists\\newsletter", "Pop3Host", "keep");
    store->WriteRegString("Software\\C", "SmtpHost", "keep");

    EXPECT_TRUE(store->DeleteKey("software\\c\\lists\\NEWS"));
    EXPECT_FALSE(store->KeyExists("Software\\C\\Lists\\news"));
    EXPECT_FALSE(store->KeyExists("Software\\C\\Lists\\news\\Deep\\Deeper"));
    EXPECT_FALSE(store->ValueExists("Software\\C\\Lists\\news", "Pop3Host"));
    EXPECT_EQ(store->ReadRegString("Software\\C\\Lists\\newsletter", "Pop3Host", ""), "keep");
    EXPECT_EQ(store->ReadRegString("Software\\C", "SmtpHost", ""), "keep");
    EXPECT_EQ(store->SubKeys("Software\\C\\Lists"), std::vector<std::string>{"newsletter"});
    EXPECT_FALSE(store->DeleteKey("Software\\C\\Lists\\news"));

    // Recreated, the key starts empty.
    store->CreateKey("Software\\C\\Lists\\news\\Deep");
    EXPECT_TRUE(store->Values("Software\\C\\Lists\\news").empty());
    EXPECT_TRUE(store->SubKeys("Software\\C\\Lists\\news\\Deep").empty());

    EXPECT_TRUE(store->DeleteValue("Software\\C", "smtphost"));
    EXPECT_FALSE(store->DeleteValue("Software\\C", "smtphost"));
}

TEST_F(SettingsStoreTest, DeleteKeyRefusesARootOrAnEmptyName) {
    store->WriteRegString("Software\\C\\Lists\\news", "v", "x");
    for (const char* key : {"", "HKEY_CURRENT_USER", "Software\\C\\Lists\\"}) {
        try {
            store->DeleteKey(key);
            ADD_FAILURE() << "deleted \"" << key << "\"";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.kind(), ErrorKind::Refused);
        }
    }
    EXPECT_EQ(store->ReadRegString("Software\\C\\Lists\\news", "v", ""), "x");
}

TEST_F(SettingsStoreTest, EveryByteRoundTripsInStringsAndBinaries) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    store->WriteRegString(kKey, "AllBytes", all);
    store->WriteRegBinary(kKey, "AllBinary", all);
    EXPECT_EQ(store->ReadRegString(kKey, "AllBytes", ""), all);
    EXPECT_EQ(store->ReadValue(kKey, "AllBinary")->data, all);

    // "\x80" scrambles to a zero byte; the stored password must still come back whole.
    const std::string password = std::string("a\x80") + "b";
    const std::string stored = ScramblePassword(password);
    ASSERT_EQ(stored[1], '\0');
    store->WriteRegString(kKey, "Pop3Password", stored);
    EXPECT_EQ(UnscramblePassword(store->ReadRegString(kKey, "Pop3Password", "")), password);

    store->WriteRegString(kKey, "Empty", "");
    EXPECT_EQ(store->ReadRegString(kKey, "Empty", "fallback"), "");
    EXPECT_TRUE(store->ValueExists(kKey, "Empty"));
}

TEST(PasswordScrambling, FlipsTheTopBitOfEveryByte) {
    EXPECT_EQ(ScramblePassword(""), "");
    const std::string scrambled = ScramblePassword("secret");
    ASSERT_EQ(scrambled.size(), 6u);
    for (size_t i = 0; i < scrambled.size(); ++i) {
        EXPECT_EQ(static_cast<unsigned char>(scrambled[i]),
                  static_cast<unsigned char>("secret"[i]) + 128);
    }
    EXPECT_EQ(UnscramblePassword(scrambled), "secret");
    EXPECT_EQ(ScramblePassword(ScramblePassword("\xff\x7f")), "\xff\x7f");
}

TEST(RootNames, AreTheSevenPredefinedKeysInAnyCase) {
    for (const char* name :
         {"HKEY_CLASSES_ROOT", "hkey_current_user", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
          "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "Hkey_Dyn_Data"}) {
        EXPECT_TRUE(IsRootName(name)) << name;
    }
    EXPECT_FALSE(IsRootName("HKEY_CURRENT"));
    EXPECT_FALSE(IsRootName("HKCU"));
    EXPECT_FALSE(IsRootName(""));
}

TEST_F(SettingsStoreTest, TwoConnectionsSeeEachOthersWrites) {
    auto other = SettingsStore::Open(dir.File("settings.sqlite"));
    store->WriteRegString(kKey, "SmtpHost", "one");
    EXPECT_EQ(other->ReadRegString(kKey, "smtphost", ""), "one");
    other->WriteRegInteger(kKey, "SmtpPort", 587);
    other->DeleteValue(kKey, "SmtpHost");
    EXPECT_EQ(store->ReadRegInteger(kKey, "SmtpPort", 0), 587);
    EXPECT_FALSE(store->ValueExists(kKey, "SmtpHost"));
}

TEST_F(SettingsStoreTest, ConcurrentWritersLoseNothing) {
    auto other = SettingsStore::Open(dir.File("settings.sqlite"));
    auto writeMany = [](SettingsStore& target, const std::string& prefix) {
        for (int i = 0; i < 50; ++i) {
            target.WriteRegInteger("Software\\Lists\\" + prefix + std::to_string(i % 5),
                                   prefix + std::to_string(i), i);
        }
    };
    // Two threads share one object, a third uses another connection to the same file.
    std::thread a([&] { writeMany(*store, "a"); });
    std::thread b([&] { writeMany(*store, "b"); });
    std::thread c([&] { writeMany(*other, "c"); });
    a.join();
    b.join();
    c.join();
    size_t total = 0;
    for (const std::string& key : store->SubKeys("Software\\Lists")) {
        total += store->Values("Software\\Lists\\" + key).size();
    }
    EXPECT_EQ(total, 150u);
    EXPECT_EQ(other->ReadRegInteger("Software\\Lists\\a4", "a49", -1), 49);
}

TEST(SettingsStoreOpen, ATextFileInPlaceOfTheDatabaseIsAClearFailure) {
    TempDir dir;
    const std::string path = dir.File("settings.sqlite");
    std::string text;
    for (int i = 0; i < 100; ++i) {
        text += "This is not a database, only some text someone left here.\n";
    }
    testing::Spit(path, text);
    try {
        SettingsStore::Open(path);
        FAIL() << "opened a text file";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.kind(), ErrorKind::Format);
        EXPECT_NE(std::string(failure.what()).find(path), std::string::npos) << failure.what();
    }
    EXPECT_EQ(testing::Slurp(path), text);  // left alone
}

TEST(SettingsStoreOpen, AnotherProgramsDatabaseIsNotTakenForOurs) {
    TempDir dir;
    const std::string path = dir.File("settings.sqlite");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, "PRAGMA application_id=7; CREATE TABLE t(x);", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    try {
        SettingsStore::Open(path);
        FAIL() << "opened another program's database";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.kind(), ErrorKind::Format);
        EXPECT_NE(std::string(failure.what()).find(path), std::string::npos) << failure.what();
    }
}

TEST(SettingsStoreOpen, AMissingFolderIsAnIoFailureNamingTheFile) {
    TempDir dir;
    const std::string path = dir.File("no/such/folder/settings.sqlite");
    try {
        SettingsStore::Open(path);
        FAIL() << "opened";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.kind(), ErrorKind::Io);
        EXPECT_NE(std::string(failure.what()).find(path), std::string::npos) << failure.what();
    }
}

TEST(SettingsStoreOpen, ValuesSurviveReopening) {
    TempDir dir;
    const std::string path = dir.File("settings.sqlite");
    SettingsStore::Open(path)->WriteRegString(kKey, "BackupDir", "/backup");
    EXPECT_EQ(SettingsStore::Open(path)->ReadRegString(kKey, "BACKUPDIR", ""), "/backup");
}

// A reading command must work where nothing can be written: a read-only folder (a bind
// mount, which binds the superuser too) with the store closed cleanly (no "-wal" file) and
// with the "-wal" and "-shm" files a killed writer left behind.
TEST_F(SettingsStoreTest, ReadOnlyOpeningReadsInAReadOnlyFolderAndRefusesWrites) {
    store->WriteRegString(kKey, "SMTPHost", "mail.example.org");
    store.reset();
    for (bool leftWal : {false, true}) {
        std::unique_ptr<SettingsStore> writer;
        if (leftWal) {
            writer = SettingsStore::Open(dir.File("settings.sqlite"));
            writer->WriteRegString(kKey, "SMTPPort", "25");
        }
        if (!testing::BindReadOnly(dir.Path())) {
            GTEST_SKIP() << "this process may not mount";
        }
        struct Unmounter {
            std::string path;
            ~Unmounter() { testing::Unmount(path); }
        } unmount{dir.Path()};
        auto reader = SettingsStore::OpenReadOnly(dir.File("settings.sqlite"));
        EXPECT_TRUE(reader->ReadOnly());
        EXPECT_EQ(reader->ReadRegString(kKey, "SMTPHost", ""), "mail.example.org");
        EXPECT_EQ(reader->ReadRegString(kKey, "SMTPPort", "none"), leftWal ? "25" : "none");
        try {
            reader->WriteRegString(kKey, "SMTPHost", "x");
            ADD_FAILURE() << "a read-only store took a write";
        } catch (const Failure& failure) {
            EXPECT_NE(std::string(failure.what()).find("readonly"), std::string::npos)
                << failure.what();
        }
    }
}

TEST_F(SettingsStoreTest, AtomicallyKeepsEveryWriteOrNone) {
    store->WriteRegInteger(kKey, "A", 1);
    EXPECT_THROW(store->Atomically([&] {
        store->WriteRegInteger(kKey, "A", 2);
        store->WriteRegString(kKey, "B", "new");
        store->CreateKey(std::string(kKey) + "\\Sub");
        // Reads inside see the writes made so far.
        EXPECT_EQ(store->ReadRegInteger(kKey, "A", 0), 2);
        throw Failure(ErrorKind::Refused, "stop");
    }),
                 Failure);
    EXPECT_EQ(store->ReadRegInteger(kKey, "A", 0), 1);
    EXPECT_FALSE(store->ValueExists(kKey, "B"));
    EXPECT_FALSE(store->KeyExists(std::string(kKey) + "\\Sub"));

    store->Atomically([&] {
        store->WriteRegInteger(kKey, "A", 3);
        store->WriteRegString(kKey, "B", "kept");
    });
    // Another connection sees what was committed.
    auto other = SettingsStore::Open(dir.File("settings.sqlite"));
    EXPECT_EQ(other->ReadRegInteger(kKey, "A", 0), 3);
    EXPECT_EQ(other->ReadRegString(kKey, "B", ""), "kept");
}

}  // namespace
}  // namespace corvanteer
