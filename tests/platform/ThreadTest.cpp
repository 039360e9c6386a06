// Threads: the thread object belongs to its thread only and never outlives it; critical
// sections recurse for their owner, exclude other threads, and the scope lock releases them.
// Windows as the threads' message queues: stale handles, a full queue, and a window destroyed
// under a poster (posts from many threads are tested with the output helper and the status bar).
#include "kelvaro/platform/Lock.h"
#include "kelvaro/platform/Thread.h"
#include "kelvaro/platform/Window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <tuple>

namespace {

// Runs f on a fresh thread, so the test thread's own thread object is never touched.
template <class F>
void OnNewThread(F f) { std::thread(f).join(); }

// Whether another thread can take the section now (it gives it back at once).
bool FreeForOthers(CCriticalSection& section) {
    bool free = false;
    OnNewThread([&] { if ((free = section.TryLock())) section.Unlock(); });
    return free;
}

} // namespace

TEST(ThreadTest, AttachedObjectBelongsToItsThreadOnlyAndNoThreadKeepsOneThatIsGone) {
    OnNewThread([] {
        CWinThread thread;
        thread.AttachToCurrentThread();
        CWinThread* elsewhere = &thread;
        OnNewThread([&] { elsewhere = AfxGetThread(); });
        EXPECT_EQ(elsewhere, nullptr);
        CWinThread().DetachFromCurrentThread();  // not this thread's object: no effect
        EXPECT_EQ(AfxGetThread(), &thread);
        CWinThread().AttachToCurrentThread();
        EXPECT_EQ(AfxGetThread(), nullptr) << "a destroyed object is no longer the thread object";
    });

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

TEST(LockTest, RecursiveForItsOwnerScopedByTheSingleLockAndExclusive) {
    CCriticalSection section;
    section.Lock();
    EXPECT_TRUE(section.TryLock());  // recursive for its owner
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

    CCriticalSection shared;
    long counter = 0;  // deliberately not atomic: the lock must protect it
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    const auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            CSingleLock lock(&shared);
            if (inside.fetch_add(1) != 0) overlap = true;
            ++counter;
            inside.fetch_sub(1);
        }
    };
    std::thread threads[] = {std::thread(work), std::thread(work), std::thread(work), std::thread(work)};
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(counter, 80000);
    EXPECT_FALSE(overlap);
}

TEST(WindowTest, StaleHandlesReachNothingAFullQueueRefusesPostsAndDestroyingIsSafe) {
    HWND first = nullptr;
    {
        CWnd wnd;
        EXPECT_FALSE(wnd.PostMessage(0x400)) << "no window yet";
        ASSERT_TRUE(wnd.Create());
        first = wnd.GetSafeHwnd();
        EXPECT_EQ(CWnd::FromHandle(first), &wnd);
        EXPECT_FALSE(wnd.Create()) << "a window that exists is not made twice";
        ASSERT_TRUE(PostMessage(first, 1, 0, 0) && wnd.DestroyWindow());
        EXPECT_FALSE(IsWindow(first) || CWnd::FromHandle(first) != nullptr || wnd.DestroyWindow());
        // A stale handle never reaches the new window of the same object (that the old messages go
        // with the old window is checked by the status bar test).
        ASSERT_TRUE(wnd.Create());
        EXPECT_NE(wnd.GetSafeHwnd(), first);
        EXPECT_FALSE(PostMessage(first, 0x400, 0, 0));
        first = wnd;
    }
    EXPECT_FALSE(IsWindow(first)) << "the destructor destroys the window";
    EXPECT_FALSE(PostMessage(first, 1, 2, 3));

    CWnd wnd;
    ASSERT_TRUE(wnd.Create());
    for (unsigned i = 0; i < CWnd::maxQueuedMessages; ++i) ASSERT_TRUE(wnd.PostMessage(0x8002, i, -5)) << i;
    EXPECT_FALSE(wnd.PostMessage(1));
    MSG msg;
    ASSERT_TRUE(wnd.PeekMessage(msg, false));
    EXPECT_EQ(wnd.GetQueuedCount(), CWnd::maxQueuedMessages) << "peeking without remove leaves the message";
    ASSERT_TRUE(wnd.GetMessage(msg));
    EXPECT_EQ(std::tuple(msg.hwnd, msg.message, msg.wParam, msg.lParam),
              std::tuple(wnd.GetSafeHwnd(), 0x8002u, WPARAM{0}, LPARAM{-5}));
    EXPECT_TRUE(wnd.PostMessage(1)) << "room again after one was taken";
    EXPECT_TRUE(wnd.WaitMessage()) << "a queued message ends the wait at once";
    while (wnd.PeekMessage(msg)) continue;
    EXPECT_FALSE(wnd.WaitMessage(10)) << "an empty queue times out";

    std::thread destroyer([&wnd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        wnd.DestroyWindow();
    });
    EXPECT_FALSE(wnd.GetMessage(msg)) << "destroying the window ends a wait for a message";
    destroyer.join();
    // Posting while the window is destroyed is safe.
    auto doomed = std::make_unique<CWnd>();
    ASSERT_TRUE(doomed->Create());
    const HWND hwnd = doomed->GetSafeHwnd();
    std::atomic<bool> stop{false};
    std::atomic<unsigned> refused{0};
    std::thread poster([&] {
        while (!stop) {
            if (!PostMessage(hwnd, 1, 0, 0)) ++refused;
            IsWindow(hwnd);
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    doomed.reset();
    // Wait until the poster has met the destroyed window, however slowly it is scheduled.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (refused == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stop = true;
    poster.join();
    EXPECT_GT(refused.load(), 0u);
}

