#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "common/TempDir.h"
#include "engine/ScanSession.h"

namespace corvanteer::testing {
namespace {

TEST(SessionLockTest, SecondHolderOnTheSameFileIsRefusedUntilRelease) {
    TempDir dir;
    SessionLock first(dir.File("session.lock"));
    SessionLock second(dir.File("session.lock"));  // as another process would open it

    first.lock();
    EXPECT_FALSE(second.try_lock());
    first.unlock();
    ASSERT_TRUE(second.try_lock());
    EXPECT_FALSE(first.try_lock());
    second.unlock();
    EXPECT_TRUE(first.try_lock());
    first.unlock();
}

TEST(SessionLockTest, AnotherProcessCannotTakeAHeldLock) {
    TempDir dir;
    const std::string path = dir.File("session.lock");
    SessionLock held(path);
    std::lock_guard guard(held);

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SessionLock other(path);
        ::_exit(other.try_lock() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the other process took the lock";
}

TEST(SessionLockTest, ThreadsOfOneProcessNeverOverlap) {
    TempDir dir;
    SessionLock lock(dir.File("session.lock"));

    // While one thread holds it, another thread's try_lock is refused at once.
    lock.lock();
    bool taken = true;
    std::thread([&] { taken = lock.try_lock(); }).join();
    EXPECT_FALSE(taken);
    lock.unlock();

    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    int sessions = 0;
    auto run = [&] {
        for (int i = 0; i < 500; ++i) {
            std::lock_guard guard(lock);
            if (inside.fetch_add(1) != 0) {
                ++overlaps;
            }
            ++sessions;
            inside.fetch_sub(1);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back(run);
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(sessions, 2000);
}

}  // namespace
}  // namespace corvanteer::testing
