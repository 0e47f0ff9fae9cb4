#include "app/SavedMessages.h"

#include <gmock/gmock.h>

#include "AppFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

class SavedMessagesTest : public AppTest {
protected:
    std::string File(const std::string& name) const {
        return paths.PostsFolder("news") + name + ".txt";
    }
};

TEST_F(SavedMessagesTest, SaveWritesTheFileFormatAndLoadReadsItBack) {
    EXPECT_TRUE(ListSavedMessages(paths, "news").empty());
    SavedMessage message{"Ann <ann@example.test>", "Weekly notes", {"Hello", "", "Bye"}};
    ASSERT_TRUE(SaveMessage(paths, "news", "weekly ", message).ok);
    EXPECT_EQ(Slurp(File("weekly ")),
              "From: Ann <ann@example.test>\r\nSubject: Weekly notes\r\n\r\nHello\r\n\r\nBye\r\n");

    std::optional<SavedMessage> loaded = LoadSavedMessage(paths, "news", "weekly ");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->from, message.from);
    EXPECT_EQ(loaded->subject, message.subject);
    EXPECT_EQ(loaded->lines, message.lines);

    // Saving under an existing name replaces the file.
    message.subject = "Changed";
    ASSERT_TRUE(SaveMessage(paths, "news", "weekly ", message).ok);
    EXPECT_EQ(LoadSavedMessage(paths, "news", "weekly ")->subject, "Changed");

    ASSERT_TRUE(SaveMessage(paths, "news", "other", message).ok);
    EXPECT_THAT(ListSavedMessages(paths, "news"), UnorderedElementsAre("weekly ", "other"));

    ASSERT_TRUE(DeleteSavedMessage(paths, "news", "weekly ").ok);
    EXPECT_THAT(ListSavedMessages(paths, "news"), ElementsAre("other"));
    EXPECT_FALSE(DeleteSavedMessage(paths, "news", "weekly ").ok);
    EXPECT_FALSE(LoadSavedMessage(paths, "news", "weekly "));
}

TEST_F(SavedMessagesTest, LoadCutsFixedPrefixesAndKeepsShortLinesWhole) {
    ForceDirectories(paths.PostsFolder("news"));
    Spit(File("odd"), "Ann\r\nSubject:Short\r\nthird line is dropped\r\nbody");
    std::optional<SavedMessage> loaded = LoadSavedMessage(paths, "news", "odd");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->from, "Ann");       // shorter than five characters: the whole line
    EXPECT_EQ(loaded->subject, "Short");  // eight characters cut, whatever they are
    EXPECT_THAT(loaded->lines, ElementsAre("body"));

    Spit(File("empty"), "");
    loaded = LoadSavedMessage(paths, "news", "empty");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->from, "");
    EXPECT_TRUE(loaded->lines.empty());
}

TEST_F(SavedMessagesTest, NamesThatLeaveThePostsFolderAreRefused) {
    SavedMessage message{"a", "b", {}};
    for (const std::string& name :
         std::vector<std::string>{"../../escape", "a/b", "a\\b", "..", "", "  ", "a\nb"}) {
        ActionResult result = SaveMessage(paths, "news", name, message);
        EXPECT_FALSE(result.ok) << name;
        EXPECT_FALSE(result.message.empty());
        EXPECT_FALSE(DeleteSavedMessage(paths, "news", name).ok);
        EXPECT_FALSE(LoadSavedMessage(paths, "news", name));
    }
    EXPECT_FALSE(DirectoryExists(paths.PostsFolder("news")));
    EXPECT_EQ(CheckMessageName("a/b"), "A message name cannot contain \"/\", \"\\\" or \"..\".");
}

}  // namespace
}  // namespace corvanteer::testing
