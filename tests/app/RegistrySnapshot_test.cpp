#include "app/RegistrySnapshot.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/TempDir.h"
#include "oauth/OAuthStore.h"
#include "support/Status.h"

namespace corvanteer {
namespace {

using testing::Slurp;
using testing::Spit;
using testing::TempDir;

constexpr const char* kKey = "Software\\Brask Software\\Corvanteer";

class RegistrySnapshotTest : public ::testing::Test {
protected:
    std::unique_ptr<SettingsStore> OpenStore(const std::string& name) {
        return SettingsStore::Open(dir.File(name));
    }

    // Everything below a key, as "path|name|type|data" lines, for comparing two stores.
    static std::vector<std::string> Dump(const SettingsStore& store, const std::string& key) {
        std::vector<std::string> lines;
        for (const RegValue& value : store.Values(key)) {
            lines.push_back(key + "|" + value.name + "|" +
                            std::to_string(static_cast<int>(value.type)) + "|" + value.data + "|" +
                            std::to_string(value.integer));
        }
        for (const std::string& child : store.SubKeys(key)) {
            auto below = Dump(store, key + "\\" + child);
            lines.insert(lines.end(), below.begin(), below.end());
        }
        return lines;
    }

    TempDir dir;
    std::unique_ptr<SettingsStore> store = OpenStore("settings.sqlite");
    std::string file = dir.File("registry.cfg");
};

TEST_F(RegistrySnapshotTest, ExportWritesBreadthFirstBlocksByteForByte) {
    store->WriteRegString(kKey, "SmtpHost", "mail.example.org");
    store->WriteRegInteger(kKey, "SmtpPort", 25);
    store->WriteRegInteger(kKey, "Top", -3);
    store->WriteRegString(kKey + std::string("\\Lists\\news"), "Moderators", "a@x\r\nb@x");
    store->WriteRegBinary(kKey + std::string("\\Lists\\news"), "Blob",
                          std::string("\x00\x7f\x80\xff", 4));
    store->WriteRegInteger(kKey + std::string("\\Lists\\news\\Deep"), "n", 1);
    store->CreateKey(kKey + std::string("\\Lists\\alpha"));
    store->WriteRegExpandString(kKey + std::string("\\Window"), "Path", "%HOME%");

    ExportRegistry(*store, file, kKey);

    const std::string expected =
        "[\\Software\\Brask Software\\Corvanteer]\r\n"
        "SmtpHoststr=mail.example.org\r\n"
        "SmtpPortint=25\r\n"
        "Topint=-3\r\n"
        "\r\n"
        "[\\Software\\Brask Software\\Corvanteer\\Lists]\r\n"
        "\r\n"
        "[\\Software\\Brask Software\\Corvanteer\\Window]\r\n"
        "Pathstr=%HOME%\r\n"
        "\r\n"
        "[\\Software\\Brask Software\\Corvanteer\\Lists\\alpha]\r\n"
        "\r\n"
        "[\\Software\\Brask Software\\Corvanteer\\Lists\\news]\r\n"
        "Moderatorsstr=a@xqqqqb@x\r\n"
        "Blobbin=007F80FF\r\n"
        "\r\n"
        "[\\Software\\Brask Software\\Corvanteer\\Lists\\news\\Deep]\r\n"
        "nint=1\r\n"
        "\r\n";
    EXPECT_EQ(Slurp(file), expected);
}

TEST_F(RegistrySnapshotTest, ExportAppendsAndWritesAnEmptyLineForAMissingKey) {
    Spit(file, "earlier\r\n");
    ExportRegistry(*store, file, "Software\\Nothing");
    EXPECT_EQ(Slurp(file), "earlier\r\n\r\n");
}

TEST_F(RegistrySnapshotTest, ExportRepeatsTheRootNameAsTheCallerWroteIt) {
    store->WriteRegInteger("HKEY_LOCAL_MACHINE\\Software\\X", "v", 7);
    store->WriteRegInteger("Software\\X", "v", 1);  // the current user's, not exported
    ExportRegistry(*store, file, "hkey_Local_Machine\\Software\\X");
    EXPECT_EQ(Slurp(file), "[hkey_Local_Machine\\Software\\X]\r\nvint=7\r\n\r\n");

    // An unknown root writes nothing at all.
    ExportRegistry(*store, dir.File("other.cfg"), "HKEY_NOWHERE\\Software\\X");
    EXPECT_FALSE(std::ifstream(dir.File("other.cfg")).good());
}

TEST_F(RegistrySnapshotTest, RoundTripRestoresValuesAndTypes) {
    std::string allBytes;
    for (int b = 0; b < 256; ++b) {
        allBytes.push_back(static_cast<char>(b));
    }
    store->WriteRegString(kKey, "Moderators", "one@x\r\ntwo@x\r\n");
    store->WriteRegString(kKey, "SmtpPassword", ScramblePassword("p\x80w"));
    store->WriteRegInteger(kKey + std::string("\\Lists\\news"), "VerifyDays", INT32_MIN);
    store->WriteRegBinary(kKey + std::string("\\Lists\\news"), "All", allBytes);
    store->WriteRegExpandString(kKey, "Expand", "%TEMP%\\x");
    store->CreateKey(kKey + std::string("\\Lists\\empty"));
    ExportRegistry(*store, file, kKey);

    auto restored = OpenStore("restored.sqlite");
    ImportRegistry(*restored, file);
    EXPECT_EQ(restored->ReadRegString(kKey, "Moderators", ""), "one@x\r\ntwo@x\r\n");
    EXPECT_EQ(UnscramblePassword(restored->ReadRegString(kKey, "SmtpPassword", "")), "p\x80w");
    EXPECT_EQ(restored->ReadRegInteger(kKey + std::string("\\Lists\\news"), "VerifyDays", 0),
              INT32_MIN);
    EXPECT_EQ(restored->ReadValue(kKey + std::string("\\Lists\\news"), "All")->data, allBytes);
    // An expandable string comes back as a plain string.
    EXPECT_EQ(restored->ReadValue(kKey, "Expand")->type, RegType::String);
    EXPECT_EQ(restored->ReadRegString(kKey, "Expand", ""), "%TEMP%\\x");
    // Keys without values come back too, so a list never configured keeps its place.
    EXPECT_TRUE(restored->KeyExists(kKey + std::string("\\Lists\\empty")));
    // The export cannot tell an expandable string from a string, so the restored tree
    // exports to the very same bytes.
    ExportRegistry(*restored, dir.File("again.cfg"), kKey);
    EXPECT_EQ(Slurp(dir.File("again.cfg")), Slurp(file));
}

TEST_F(RegistrySnapshotTest, ImportAddsAndOverwritesButNeverDeletes) {
    store->WriteRegString(kKey, "Keep", "mine");
    store->WriteRegString(kKey, "SmtpHost", "old");
    Spit(file,
         "[\\Software\\Brask Software\\Corvanteer]\r\n"
         "SmtpHoststr=new\r\n"
         "SmtpPortint= 587 \r\n"
         "\r\n"
         "[\\Software\\Brask Software\\Corvanteer\\Lists\\news]\r\n"
         "Pop3Hoststr=pop.example.org\r\n"
         "\r\n");
    ImportRegistry(*store, file);
    auto once = Dump(*store, "Software");
    EXPECT_EQ(store->ReadRegString(kKey, "Keep", ""), "mine");
    EXPECT_EQ(store->ReadRegString(kKey, "SmtpHost", ""), "new");
    EXPECT_EQ(store->ReadRegInteger(kKey, "SmtpPort", 0), 587);
    EXPECT_EQ(store->ReadRegString(kKey + std::string("\\Lists\\news"), "Pop3Host", ""),
              "pop.example.org");

    ImportRegistry(*store, file);
    EXPECT_EQ(Dump(*store, "Software"), once);
}

TEST_F(RegistrySnapshotTest, ABadIntegerStopsTheImportAtThatLine) {
    Spit(file,
         "[\\Software\\X]\r\n"
         "Firstint=1\r\n"
         "Secondint=twelve\r\n"
         "Thirdint=3\r\n");
    try {
        ImportRegistry(*store, file);
        FAIL() << "imported a bad integer";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.kind(), ErrorKind::Format);
        const std::string message = failure.what();
        EXPECT_NE(message.find(file), std::string::npos) << message;
        EXPECT_NE(message.find("line 3"), std::string::npos) << message;
    }
    EXPECT_EQ(store->ReadRegInteger("Software\\X", "First", 0), 1);
    EXPECT_FALSE(store->ValueExists("Software\\X", "Second"));
    EXPECT_FALSE(store->ValueExists("Software\\X", "Third"));

    // An integer beyond 32 bits is no integer either.
    Spit(file, "[\\Software\\Y]\r\nBigint=2147483648\r\n");
    EXPECT_THROW(ImportRegistry(*store, file), Failure);
}

TEST_F(RegistrySnapshotTest, ImportFollowsRootsInHeaders) {
    Spit(file,
         "Loosestr=before any header\r\n"
         "[HKEY_LOCAL_MACHINE\\Software\\M]\r\n"
         "aint=1\r\n"
         "[\\Software\\M2]\r\n"  // no root: keeps HKEY_LOCAL_MACHINE
         "bint=2\r\n"
         "[hkey_bogus\\Software\\B]\r\n"
         "cint=3\r\n"
         "[\\Software\\B2]\r\n"  // keeps refusing
         "dint=4\r\n"
         "[hkey_current_user\\Software\\U]\r\n"
         "eint=5\r\n"
         "ab=\r\n"  // too short for a tag
         "noequalsign\r\n");
    ImportRegistry(*store, file);
    EXPECT_EQ(store->ReadRegInteger("HKEY_LOCAL_MACHINE\\Software\\M", "a", 0), 1);
    EXPECT_EQ(store->ReadRegInteger("HKEY_LOCAL_MACHINE\\Software\\M2", "b", 0), 2);
    EXPECT_FALSE(store->KeyExists("HKEY_LOCAL_MACHINE\\Software\\B"));
    EXPECT_FALSE(store->KeyExists("HKEY_LOCAL_MACHINE\\Software\\B2"));
    EXPECT_FALSE(store->KeyExists("Software\\B2"));
    EXPECT_EQ(store->ReadRegInteger("Software\\U", "e", 0), 5);
    EXPECT_EQ(store->Values("Software\\U").size(), 1u);
    EXPECT_TRUE(store->Values("HKEY_CURRENT_USER").empty());
}

TEST_F(RegistrySnapshotTest, ANameContainingEqualsIsNotRestoredUnderItsOwnName) {
    store->WriteRegString("Software\\Q", "a=b", "v");
    store->WriteRegString("Software\\Q", "long=name", "v");
    store->WriteRegInteger("Software\\Q", "plain", 4);
    ExportRegistry(*store, file, "Software\\Q");
    EXPECT_EQ(Slurp(file), "[\\Software\\Q]\r\na=bstr=v\r\nlong=namestr=v\r\nplainint=4\r\n\r\n");

    // "a=bstr=v" leaves no room for a tag before its first "="; "long=namestr=v" reads as
    // name "l", tag "ong" and the value "namestr=v", which is no hexadecimal data. Neither
    // comes back, and the import goes on with the next line.
    auto restored = OpenStore("restored.sqlite");
    ImportRegistry(*restored, file);
    auto values = restored->Values("Software\\Q");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "plain");
    EXPECT_EQ(values[0].integer, 4);
}

TEST_F(RegistrySnapshotTest, AMissingFileImportsNothing) {
    EXPECT_NO_THROW(ImportRegistry(*store, dir.File("absent.cfg")));
    EXPECT_TRUE(store->SubKeys("HKEY_CURRENT_USER").empty());
}

// A backup carries the sign-ins: their tokens live below the settings key, scrambled.
TEST_F(RegistrySnapshotTest, CarriesTheTokensOfASignIn) {
    const AppPaths paths = AppPaths::ForDirectory(dir.Path() + "/");
    const OAuthAccount smtp = AccountNamed(paths, "smtp");
    WriteTokens(*store, smtp, {"ann@example.org", "RT1", "AT0", 1777640400, 1777636800, 0});
    ExportRegistry(*store, file, paths.SettingsKey());
    auto restored = OpenStore("restored.sqlite");
    ImportRegistry(*restored, file);
    const StoredTokens back = ReadTokens(*restored, smtp);
    EXPECT_EQ(back.refreshToken, "RT1");
    EXPECT_EQ(back.accessToken, "AT0");
    EXPECT_EQ(back.user, "ann@example.org");
    EXPECT_EQ(back.expires, 1777640400);
}

}  // namespace
}  // namespace corvanteer
