#include "support/Locks.h"

#include <gtest/gtest.h>

#include <mutex>

#include "common/TempDir.h"
#include "support/Files.h"
#include "support/Status.h"

namespace corvanteer {
namespace {

using testing::TempDir;

TEST(FileLock, ExcludesASecondHolderUntilReleased) {
    TempDir dir;
    const std::string path = dir.File("session.lock");
    FileLock first(path);
    FileLock second(path);
    ASSERT_TRUE(first.TryLock());
    EXPECT_TRUE(FileExists(path));
    EXPECT_TRUE(first.Held());
    EXPECT_TRUE(first.TryLock());  // already ours
    EXPECT_FALSE(second.TryLock());
    EXPECT_FALSE(second.Held());

    first.Unlock();
    EXPECT_FALSE(first.Held());
    EXPECT_TRUE(second.TryLock());
    EXPECT_FALSE(first.TryLock());
}

TEST(FileLock, IsReleasedWhenTheHolderGoesAway) {
    TempDir dir;
    const std::string path = dir.File("Corvanteer_MUTEX.lock");
    {
        FileLock holder(path);
        holder.Lock();
        EXPECT_TRUE(holder.Held());
        EXPECT_FALSE(FileLock(path).TryLock());
    }
    FileLock later(path);
    EXPECT_TRUE(later.TryLock());
}

TEST(FileLock, AnUnopenableFileIsAFailure) {
    TempDir dir;
    FileLock lock(dir.File("missing/folder/store.lock"));
    EXPECT_THROW(lock.TryLock(), Failure);
    EXPECT_FALSE(lock.Held());
}

TEST(StoreLock, HoldsTheFileLockWhileLocked) {
    TempDir dir;
    const std::string path = dir.File("store.lock");
    StoreLock store(path);
    FileLock outsider(path);
    {
        std::lock_guard guard(store);
        EXPECT_FALSE(outsider.TryLock());
    }
    EXPECT_TRUE(outsider.TryLock());
    outsider.Unlock();
    // Taken again after release, by the same object.
    std::lock_guard guard(store);
    EXPECT_FALSE(outsider.TryLock());
}

}  // namespace
}  // namespace corvanteer
