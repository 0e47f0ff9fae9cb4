#include "app/ListOperations.h"

#include <gmock/gmock.h>

#include "AppFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;

using ListOperationsTest = AppTest;

TEST_F(ListOperationsTest, AddTurnsBlanksIntoUnderscoresAndCopiesTheModel) {
    Spit(DataFile("Default List"), "[Signature]\r\nmodel\r\n\r\n####\r\n");
    std::string name = "my list";
    ActionResult result = AddList(services, name);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(name, "my_list");
    EXPECT_TRUE(store->KeyExists(ListKey("my_list")));
    EXPECT_EQ(Slurp(DataFile("my_list")), Slurp(DataFile("Default List")));
    EXPECT_THAT(console.ListNames(), ElementsAre("my_list"));

    for (std::string again : {"my list", "MY_LIST"}) {
        ActionResult refused = AddList(services, again);
        EXPECT_FALSE(refused.ok);
        EXPECT_EQ(refused.message, "The name already exists. Please select a new one.");
    }
}

TEST_F(ListOperationsTest, NamesThatCannotNameAFileAreRefused) {
    for (const std::string& bad :
         std::vector<std::string>{"", "   ", "a/b", "a\\b", "..", ".", "a\tb"}) {
        std::string name = bad;
        EXPECT_FALSE(AddList(services, name).ok) << bad;
    }
    EXPECT_TRUE(store->SubKeys(paths.ListsKey()).empty());
}

TEST_F(ListOperationsTest, DeleteKeepsTheModelDataFile) {
    MakeList("Default List");
    MakeList("news");
    SetSection("Default List", "Signature", {"model"});
    SetSection("news", "Signature", {"news"});

    ASSERT_TRUE(DeleteList(services, "NEWS").ok);
    EXPECT_FALSE(store->KeyExists(ListKey("news")));
    EXPECT_FALSE(FileExists(DataFile("news")));

    ASSERT_TRUE(DeleteList(services, "Default List").ok);
    EXPECT_FALSE(store->KeyExists(ListKey("Default List")));
    EXPECT_TRUE(FileExists(DataFile("Default List")));
    EXPECT_THAT(console.ListNames(), ElementsAre("Default List"));

    ActionResult unknown = DeleteList(services, "other");
    EXPECT_FALSE(unknown.ok);
    EXPECT_EQ(unknown.message, "There is no list named \"other\".");
}

}  // namespace
}  // namespace corvanteer::testing
