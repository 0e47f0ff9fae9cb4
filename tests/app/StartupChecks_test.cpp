#include "app/StartupChecks.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <sstream>

#include "AppFixture.h"
#include "engine/GivenUpMail.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class StartupChecksTest : public AppTest {};

TEST_F(StartupChecksTest, ADirectoryOthersMayReadIsWarnedAboutOnStandardErrorAndInTheLog) {
    ::chmod(dir.Path().c_str(), 0755);
    std::ostringstream err;
    CheckApplicationDirectory(paths, clock, err);
    EXPECT_THAT(err.str(), HasSubstr("\"" + dir.Path() + "\" is open to other users (mode 0755)"));
    ASSERT_EQ(LogLines().size(), 1u);
    EXPECT_EQ(LogLines()[0], kStamp + TextToLines(err.str())[0]);

    ::chmod(dir.Path().c_str(), 0700);
    std::ostringstream quiet;
    CheckApplicationDirectory(paths, clock, quiet);
    EXPECT_EQ(quiet.str(), "");
    EXPECT_EQ(LogLines().size(), 1u);
}

TEST_F(StartupChecksTest, OldTemporaryFilesOfAtomicWritesAreRemovedOthersStay) {
    const std::time_t now = 1'800'000'000;
    auto make = [&](const std::string& path, std::time_t age) {
        ForceDirectories(path.substr(0, path.rfind('/')));
        Spit(path, "x");
        const timespec times[2] = {{now - age, 0}, {now - age, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    };
    const std::vector<std::string> stale = {
        paths.appDir + "news.dat.Ab3dE9",
        paths.appDir + "vericode.dat.000000",
        paths.OutFolder() + "K1L2M3N4.dat.zzzzzz",
        paths.ThreadsFolder("news") + "threads.AbCdEf",
        paths.PostsFolder("news") + "hello.txt.Q1w2E3",
    };
    const std::vector<std::string> kept = {
        paths.appDir + "news.dat.Young1",  // a write may be under way
        paths.appDir + "notes.backup",     // not a name our writes give
        paths.appDir + "news.dat",
    };
    for (const std::string& path : stale) {
        make(path, 7200);
    }
    make(kept[0], 600);
    make(kept[1], 7200);
    make(kept[2], 7200);
    EXPECT_EQ(RemoveLeftoverTempFiles(paths, now - 3600), 5);
    for (const std::string& path : stale) {
        EXPECT_FALSE(FileExists(path)) << path;
    }
    for (const std::string& path : kept) {
        EXPECT_TRUE(FileExists(path)) << path;
    }
}

TEST_F(StartupChecksTest, GivenUpMailPastThirtyDaysIsRemovedWithALogLine) {
    const std::string name =
        GiveUpMessage(services, 2, Envelope{"news@example.test", {"a@example.test"}, "x\r\n"});
    const std::time_t givenUp = UnixSeconds(clock.Now()) - kGivenUpKeptSeconds - 60;
    const timespec times[2] = {{givenUp, 0}, {givenUp, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (paths.GivenUpFolder() + name).c_str(), times, 0), 0);
    std::ostringstream err;
    CheckApplicationDirectory(paths, clock, err);
    EXPECT_FALSE(FileExists(paths.GivenUpFolder() + name));
    EXPECT_THAT(LogLines(), ElementsAre(std::string(kStamp) + "given-up msg " + name +
                                        " from news@example.test removed after 30 days"));
}

}  // namespace
}  // namespace corvanteer::testing
