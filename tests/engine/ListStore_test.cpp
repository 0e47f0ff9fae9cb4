#include "engine/ListStore.h"

#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ListStoreTest = EngineTest;

TEST_F(ListStoreTest, NamesFollowTheStoreAndTheListsKeyIsCreated) {
    EXPECT_FALSE(store->KeyExists(paths.ListsKey()));
    EXPECT_TRUE(ListNames(*store, paths).empty());
    EXPECT_TRUE(store->KeyExists(paths.ListsKey()));

    store->CreateKey(paths.ListKey("zeta"));
    store->CreateKey(paths.ListKey("Alpha"));
    store->CreateKey(paths.ListKey("beta"));
    EXPECT_EQ(ListNames(*store, paths), (std::vector<std::string>{"Alpha", "beta", "zeta"}));
}

TEST_F(ListStoreTest, FindListIgnoresCaseAndGivesTheStoredSpelling) {
    const std::vector<std::string> names{"News", "chat"};
    EXPECT_EQ(FindList(names, "NEWS"), "News");
    EXPECT_EQ(FindList(names, "Chat"), "chat");
    EXPECT_EQ(FindList(names, "new"), std::nullopt);
    EXPECT_EQ(FindList(names, ""), std::nullopt);
}

TEST_F(ListStoreTest, PathsUseTheNameAsTheListSetHoldsIt) {
    store->CreateKey(paths.ListKey("news"));
    EXPECT_EQ(ListNameForPaths(*store, paths, "NEWS"), "news");
    EXPECT_EQ(paths.ListDataFile(ListNameForPaths(*store, paths, "News")),
              paths.ListDataFile("news"));
    EXPECT_EQ(ListNameForPaths(*store, paths, "other"), "other");
}

TEST_F(ListStoreTest, NewListNamesAreCheckedAndBlanksReplaced) {
    std::string name = "my list";
    EXPECT_EQ(CheckNewListName(name), "");
    EXPECT_EQ(name, "my_list");

    for (std::string bad : std::vector<std::string>{"", "  ", "a/b", "a\\b", "a\tb",
                                                    std::string("a\x01", 2), ".", "..", "x\x7f"}) {
        std::string candidate = bad;
        EXPECT_NE(CheckNewListName(candidate), "") << "accepted: " << bad;
    }
    std::string empty;
    EXPECT_EQ(CheckNewListName(empty), "Please enter a name (single word only).");
}

TEST_F(ListStoreTest, CreateListCopiesTheModelButNeverOverwrites) {
    Spit(DataFile("Default List"), "[MemberList]\r\nmodel@x.org 0 123456\r\n\r\n####\r\n");
    CreateList(*store, paths, "fresh");
    EXPECT_TRUE(store->KeyExists(paths.ListKey("fresh")));
    EXPECT_EQ(Slurp(DataFile("fresh")), Slurp(DataFile("Default List")));

    Spit(DataFile("kept"), "own content");
    CreateList(*store, paths, "kept");
    EXPECT_EQ(Slurp(DataFile("kept")), "own content");
}

TEST_F(ListStoreTest, CreateListWithoutModelLeavesNoDataFile) {
    CreateList(*store, paths, "bare");
    EXPECT_TRUE(store->KeyExists(paths.ListKey("bare")));
    EXPECT_FALSE(FileExists(DataFile("bare")));
}

TEST_F(ListStoreTest, DeleteListRemovesKeyAndFileButKeepsTheModel) {
    Spit(DataFile("Default List"), "model");
    CreateList(*store, paths, "gone");
    store->CreateKey(paths.ListKey("Default List"));
    ASSERT_TRUE(FileExists(DataFile("gone")));

    DeleteList(*store, paths, "GONE");  // named in another case: the stored list goes
    EXPECT_FALSE(store->KeyExists(paths.ListKey("gone")));
    EXPECT_FALSE(FileExists(DataFile("gone")));

    DeleteList(*store, paths, "Default List");
    EXPECT_FALSE(store->KeyExists(paths.ListKey("Default List")));
    EXPECT_EQ(Slurp(DataFile("Default List")), "model");
}

}  // namespace
}  // namespace corvanteer::testing
