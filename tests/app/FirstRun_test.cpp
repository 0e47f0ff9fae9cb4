// The default texts of a new installation's "Default List".

#include "app/FirstRun.h"

#include <gmock/gmock.h>

#include <regex>
#include <set>

#include "common/TempDir.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

using ::testing::HasSubstr;

TEST(FirstRunTest, EveryAnswerAndTheHelpTextHasATextWithKnownVariablesOnly) {
    const std::set<std::string> variables = {"{Email}", "{ListName}", "{ListAddress}",
                                             "{ListServerAddress}", "{Password}"};
    std::set<std::string> sections;
    for (const DefaultText& text : DefaultListTexts()) {
        sections.insert(text.section);
        EXPECT_FALSE(text.text.empty()) << text.section;
        // Any word in braces reaches the reader as written unless it is a variable.
        const std::regex braces("\\{[^}]*\\}");
        // The delivery-mode answers know one variable more each.
        std::set<std::string> known = variables;
        if (text.section == "Mode_Verify" || text.section == "Mode_Changed") {
            known.insert("{Mode}");
        }
        if (text.section == "Which" || text.section == "Lists") {
            known.insert("{Lists}");
        }
        for (std::sregex_iterator it(text.text.begin(), text.text.end(), braces), end; it != end;
             ++it) {
            // The bounce notice has its own: the re-enable code, the last status, the score.
            const bool notice =
                text.section == "Bounce_Disabled" &&
                (it->str() == "{Code}" || it->str() == "{Status}" || it->str() == "{Score}");
            EXPECT_TRUE(known.count(it->str()) == 1 || notice) << text.section << ": " << it->str();
        }
        // {Password} is filled in only where passwords are in use: the password notice.
        EXPECT_EQ(text.text.find("{Password}") != std::string::npos,
                  text.section == "Password_Notify")
            << text.section;
        for (const std::string& line : TextToLines(text.text)) {
            EXPECT_LE(line.size(), 78u) << text.section << ": " << line;
        }
    }
    EXPECT_EQ(sections,
              (std::set<std::string>{"Subscribe_Verify", "Subscribe_Confirm", "Unsubscribe_Confirm",
                                     "Password_Notify", "Verify_Error", "Already_A_Member",
                                     "Not_Member", "Help", "Mode_Verify", "Mode_Changed", "Which",
                                     "Lists", "Bounce_Disabled"}));
}

TEST(FirstRunTest, ANewFileHoldsTheTextsAndAnExistingOneIsNeverTouched) {
    TempDir dir;
    const AppPaths paths = AppPaths::ForDirectory(dir.Path());
    EXPECT_TRUE(IsNewInstallation(paths));
    // A draft left by an interrupted earlier start is started afresh, not added to.
    Spit(paths.ListDataFile(kDefaultListName) + ".new", "[Signature]\r\nstale\r\n\r\n####\r\n");
    WriteDefaultListTexts(paths);
    const std::string file = paths.ListDataFile(kDefaultListName);
    for (const DefaultText& text : DefaultListTexts()) {
        // A written section ends with its empty line, as every section does.
        EXPECT_EQ(ReadSection(file, text.section), text.text + "\r\n") << text.section;
    }
    EXPECT_EQ(ReadSection(file, "Signature"), "");
    EXPECT_FALSE(FileExists(file + ".new"));
    EXPECT_THAT(Slurp(file), HasSubstr("[Subscribe_Verify]\r\nHello,\r\n"));

    const std::string own = "[Signature]\r\nmine\r\n\r\n####\r\n";
    Spit(file, own);
    WriteDefaultListTexts(paths);
    EXPECT_EQ(Slurp(file), own);

    Spit(paths.SettingsDatabase(), "");
    EXPECT_FALSE(IsNewInstallation(paths));
}

}  // namespace
}  // namespace corvanteer::testing
