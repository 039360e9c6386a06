// The thread object of a thread: it belongs to its thread only and never outlives it.
#include "kelvaro/platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

// Runs f on a fresh thread, so the test thread's own thread object is never touched.
template <class F>
void OnNewThread(F f) {
    std::thread t(f);
    t.join();
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
