// A new installation answers requests with the default texts; an existing one keeps its files.

#include <gmock/gmock.h>

#include "app/FirstRun.h"
#include "cli/CliFixture.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

class FirstRunCliTest : public CliTest {};

TEST_F(FirstRunCliTest, ANewInstallationAnswersASubscriptionWithTheDefaultText) {
    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    for (const std::vector<std::string>& words :
         std::vector<std::vector<std::string>>{{"ListServerHost", "pop.example.test"},
                                               {"ListServerUserID", "lists"},
                                               {"ListServerAddress", "lists@example.test"},
                                               {"SMTPHost", "smtp.example.test"}}) {
        ASSERT_EQ(Run({"config", "set", words[0], words[1]}).status, 0);
    }
    ASSERT_EQ(Run({"config", "set", "ListServerPassword", "-"}, "pw\n").status, 0);
    pop3.AddMailbox("pop.example.test", 110, "lists", "pw");
    pop3.Put("pop.example.test", 110, "lists",
             "From: Dave <dave@example.test>\r\nTo: lists@example.test\r\n"
             "Subject: subscribe news\r\n\r\n\r\n");

    CliResult r = Run({"scan"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(smtp.sent.size(), 1u);
    const Lines& answer = smtp.sent[0].message;
    EXPECT_THAT(answer, Contains("We received a request to subscribe dave@example.test to the "
                                 "mailing list news."));
    EXPECT_THAT(answer, Contains("To confirm it, reply to this message and keep the subject as "
                                 "it is: the code"));
}

TEST_F(FirstRunCliTest, AnExistingInstallationGetsNoDefaultTexts) {
    // Settings written by an earlier version, and no "Default List.dat".
    Store().WriteRegString(paths.SettingsKey(), "SMTPHost", "smtp.example.test");
    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    EXPECT_FALSE(FileExists(DataFile(kDefaultListName)));
    EXPECT_FALSE(FileExists(DataFile("news")));
}

}  // namespace
}  // namespace corvanteer::testing
