// Threads: the thread object belongs to its thread only and never outlives it; critical
// sections recurse for their owner, exclude other threads, and the scope lock releases them.
#include "kelvaro/platform/Lock.h"
#include "kelvaro/platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Runs f on a fresh thread, so the test thread's own thread object is never touched.
template <class F>
void OnNewThread(F f) {
    std::thread t(f);
    t.join();
}

// Whether another thread can take the section now (it gives it back at once).
bool FreeForOthers(CCriticalSection& section) {
    bool free = false;
    OnNewThread([&] {
        if ((free = section.TryLock())) section.Unlock();
    });
    return free;
}

} // namespace

TEST(ThreadTest, AttachedObjectBelongsToItsThreadOnly) {
    OnNewThread([] {
        CWinThread thread;
        thread.AttachToCurrentThread();
        CWinThread* elsewhere = &thread;
        OnNewThread([&] { elsewhere = AfxGetThread(); });
        EXPECT_EQ(elsewhere, nullptr);
        CWinThread other;
        other.DetachFromCurrentThread();  // not this thread's object: no effect
        EXPECT_EQ(AfxGetThread(), &thread);
        {
            CWinThread gone;
            gone.AttachToCurrentThread();
        }
        EXPECT_EQ(AfxGetThread(), nullptr) << "a destroyed object is no longer the thread object";
    });
}

TEST(ThreadTest, NoThreadKeepsAnObjectThatIsGone) {
    auto object = std::make_unique<CWinThread>();
    std::atomic<int> step{0};
    CWinThread* seen = object.get();
    std::thread worker([&] {
        object->AttachToCurrentThread();
        step = 1;
        while (step != 2) std::this_thread::yield();
        seen = AfxGetThread();
    });
    while (step != 1) std::this_thread::yield();
    object.reset();  // destroyed on another thread than its own
    step = 2;
    worker.join();
    EXPECT_EQ(seen, nullptr);

    // Many short threads: ids are reused, and none may inherit an object of an ended thread.
    CWinThread thread;
    for (int i = 0; i < 50; ++i) OnNewThread([&] { thread.AttachToCurrentThread(); });
    for (int i = 0; i < 50; ++i) {
        CWinThread* later = &thread;
        OnNewThread([&] { later = AfxGetThread(); });
        ASSERT_EQ(later, nullptr) << i;
    }
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
