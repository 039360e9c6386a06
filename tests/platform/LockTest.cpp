// Critical sections: recursion for the owner, exclusion between threads, and the scope lock.
#include "kelvaro/platform/Lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Whether another thread can take the section now (it gives it back at once).
bool FreeForOthers(CCriticalSection& section) {
    bool free = false;
    std::thread other([&] {
        free = section.TryLock();
        if (free) section.Unlock();
    });
    other.join();
    return free;
}

TEST(LockTest, RecursiveForItsOwnerAndScopedByTheSingleLock) {
    CCriticalSection section;
    section.Lock();
    EXPECT_TRUE(section.TryLock());
    section.Unlock();
    EXPECT_FALSE(FreeForOthers(section)) << "still held once";
    section.Unlock();
    EXPECT_TRUE(FreeForOthers(section));
    {
        CSingleLock lock(&section, false);
        EXPECT_TRUE(lock.Lock());
        EXPECT_TRUE(lock.Lock());  // a no-op, not a second hold
        EXPECT_TRUE(lock.Unlock());
        EXPECT_TRUE(FreeForOthers(section)) << "one Unlock undid both Locks";
        lock.Lock();
    }
    EXPECT_TRUE(FreeForOthers(section)) << "released with the scope";
    EXPECT_THROW(CSingleLock(nullptr), std::invalid_argument);
}

TEST(LockTest, ThreadsExcludeEachOther) {
    CCriticalSection section;
    long counter = 0;  // deliberately not atomic: the lock must protect it
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                CSingleLock lock(&section);
                if (inside.fetch_add(1) != 0) overlap = true;
                ++counter;
                inside.fetch_sub(1);
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(counter, 80000);
    EXPECT_FALSE(overlap);
}

} // namespace
