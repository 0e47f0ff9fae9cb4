// archive import, build and export: the words reach the archive and the counts come back.

#include <gmock/gmock.h>

#include "cli/CliFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::HasSubstr;

class ArchiveCommandsTest : public CliTest {
protected:
    void SetUp() override { ASSERT_EQ(Run({"lists", "add", "news"}).status, 0); }
    TempDir elsewhere;
};

TEST_F(ArchiveCommandsTest, ImportBuildAndExport) {
    const std::string in = elsewhere.File("in.mbox");
    Spit(in,
         "From a@example.org Fri May  1 10:00:00 2026\n"
         "From: Ann <a@example.org>\nSubject: First\nMessage-ID: <1@x>\n"
         "Date: Fri, 1 May 2026 10:00:00 +0000\n\nHello\n>From the start\n\n"
         "From b@example.org Fri May  1 11:00:00 2026\n"
         "From: Bob <b@example.org>\nSubject: Re: First\nMessage-ID: <2@x>\n"
         "In-Reply-To: <1@x>\nDate: Fri, 1 May 2026 11:00:00 +0000\n\nHi\n\n");
    CliResult import = Run({"archive", "import", "news", in});
    EXPECT_EQ(import.status, 0) << import.err;
    EXPECT_EQ(import.out,
              "Imported 2 messages of 2 into the archive of news; 0 were there already.\n");
    EXPECT_TRUE(FileExists(paths.MboxFolder("news") + "2026-05.mbox"));

    CliResult build = Run({"archive", "build", "news"});
    EXPECT_EQ(build.status, 0) << build.err;
    EXPECT_EQ(build.out,
              "Built the archive of news: 2 messages in 1 month; 5 pages written, 0 "
              "removed.\n" +
                  paths.HtmlArchiveFolder("news") + "index.html\n");
    EXPECT_THAT(Slurp(paths.HtmlArchiveFolder("news") + "2026-05/threads.html"),
                HasSubstr("2 messages in 1 threads."));
    CliResult elsewhereBuild = Run({"archive", "build", "news", "--out", elsewhere.File("site")});
    EXPECT_EQ(elsewhereBuild.status, 0) << elsewhereBuild.err;
    EXPECT_TRUE(FileExists(elsewhere.File("site/index.html")));

    const std::string out = elsewhere.File("out.mbox");
    CliResult exp = Run({"archive", "export", "news", "--from", "2026-05", "--to", "2026-05", out});
    EXPECT_EQ(exp.status, 0) << exp.err;
    EXPECT_EQ(exp.out, "Exported 2 messages of 1 month to " + out + ".\n");
    EXPECT_EQ(Slurp(out), Slurp(paths.MboxFolder("news") + "2026-05.mbox"));

    EXPECT_EQ(Run({"archive", "export", "news", "--from", "May", out}).status, 1);
    EXPECT_EQ(Run({"archive", "build", "nosuchlist"}).status, 1);
    EXPECT_EQ(Run({"archive", "import", "news"}).status, 2);
}

}  // namespace
}  // namespace corvanteer::testing
