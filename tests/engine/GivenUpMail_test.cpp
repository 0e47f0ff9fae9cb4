#include "engine/GivenUpMail.h"

#include <sys/time.h>

#include "EngineFixture.h"
#include "support/Files.h"
#include "support/Status.h"

namespace corvanteer::testing {
namespace {

class GivenUpMailTest : public EngineTest {
protected:
    std::string GiveUp(const std::string& from) {
        return GiveUpMessage(services, 2,
                             Envelope{from, {"a@x.org"}, "Subject: s\r\n\r\nbody\r\n"});
    }
    // Sets the file's last change to seconds since the epoch.
    static void Touch(const std::string& path, int64_t seconds) {
        const timeval times[2] = {{static_cast<time_t>(seconds), 0},
                                  {static_cast<time_t>(seconds), 0}};
        ASSERT_EQ(::utimes(path.c_str(), times), 0);
    }
};

TEST_F(GivenUpMailTest, RetryPutsItBackWithAttemptCountOne) {
    const std::string first = GiveUp("news@lists.test");
    const std::string second = GiveUp("talk@lists.test");
    Spit(paths.GivenUpFolder() + "JUNK0000.dat", "not a queue file");

    RetryGivenUp(services, first);
    ASSERT_EQ(QueueFiles().size(), 1u);
    QueuedMessage queued;
    ASSERT_TRUE(ParseQueueFile(Slurp(paths.OutFolder() + QueueFiles()[0]), queued));
    EXPECT_EQ(queued.attempts, 1);
    EXPECT_EQ(queued.from, "news@lists.test");
    // Each trip through a queue file adds its final empty line, as every retry does.
    EXPECT_EQ(queued.message, "Subject: s\r\n\r\nbody\r\n\r\n\r\n");
    EXPECT_FALSE(FileExists(paths.GivenUpFolder() + first));

    // Unknown names, names that leave the folder and files that are no queue file: refused,
    // nothing changed.
    for (const std::string& name : {first, std::string("../x.dat"), std::string("JUNK0000.dat")}) {
        EXPECT_THROW(RetryGivenUp(services, name), Failure) << name;
    }
    EXPECT_EQ(QueueFiles().size(), 1u);
    EXPECT_EQ(RetryAllGivenUp(services), 1);  // the readable one left
    EXPECT_EQ(QueueFiles().size(), 2u);
    EXPECT_FALSE(FileExists(paths.GivenUpFolder() + second));
    EXPECT_TRUE(FileExists(paths.GivenUpFolder() + "JUNK0000.dat"));
}

TEST_F(GivenUpMailTest, OnlyWhatWasGivenUpMoreThanThirtyDaysAgoIsRemoved) {
    const int64_t now = 2000000000;
    const std::string old = GiveUp("news@lists.test");
    const std::string young = GiveUp("talk@lists.test");
    Touch(paths.GivenUpFolder() + old, now - kGivenUpKeptSeconds - 1);
    Touch(paths.GivenUpFolder() + young, now - kGivenUpKeptSeconds + 60);

    EXPECT_EQ(RemoveExpiredGivenUp(paths, now),
              (std::vector<std::string>{"given-up msg " + old +
                                        " from news@lists.test removed after 30 days"}));
    EXPECT_FALSE(FileExists(paths.GivenUpFolder() + old));
    EXPECT_TRUE(FileExists(paths.GivenUpFolder() + young));
}

}  // namespace
}  // namespace corvanteer::testing
