#include "app/StoreConsole.h"

#include <gmock/gmock.h>

#include "AppFixture.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;

using StoreConsoleTest = AppTest;

TEST_F(StoreConsoleTest, ListsInStoreOrderOrDefaultListAlone) {
    EXPECT_THAT(console.ListNames(), ElementsAre("Default List"));
    EXPECT_TRUE(store->KeyExists(paths.ListsKey()));
    MakeList("news");
    MakeList("Chat");
    EXPECT_THAT(console.ListNames(), ElementsAre("Chat", "news"));
}

TEST_F(StoreConsoleTest, GlobalsAreReadAgainAtEveryCall) {
    EXPECT_EQ(console.Globals().SMTPHost, "smtp.example.test");
    EXPECT_EQ(console.Globals().SessionInterval, 0);
    EXPECT_EQ(console.Globals().BackupDir, paths.appDir + "Backup");
    store->WriteRegInteger(paths.SettingsKey(), "SessionInterval", 15);
    store->WriteRegString(paths.SettingsKey(), "SMTPHost", "other.example.test");
    EXPECT_EQ(console.Globals().SessionInterval, 15);
    EXPECT_EQ(console.Globals().SMTPHost, "other.example.test");
}

}  // namespace
}  // namespace corvanteer::testing
