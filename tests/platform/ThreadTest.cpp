// The thread object of a thread: attached, detached and forgotten with its thread.
#include "kelvaro/platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

// Runs f on a fresh thread, so the test thread's own thread object is never touched.
template <class F>
void OnNewThread(F f)
{
    std::thread t(f);
    t.join();
}

} // namespace

TEST(ThreadTest, AttachedObjectBelongsToItsThreadOnly)
{
    OnNewThread([] {
        CWinThread thread;
        thread.AttachToCurrentThread();
        EXPECT_EQ(AfxGetThread(), &thread);

        CWinThread* elsewhere = &thread;
        OnNewThread([&] { elsewhere = AfxGetThread(); });
        EXPECT_EQ(elsewhere, nullptr);

        CWinThread other;
        other.DetachFromCurrentThread(); // not this thread's object: no effect
        EXPECT_EQ(AfxGetThread(), &thread);
        other.AttachToCurrentThread();
        EXPECT_EQ(AfxGetThread(), &other);
        other.DetachFromCurrentThread();
        EXPECT_EQ(AfxGetThread(), nullptr);
        {
            CWinThread gone;
            gone.AttachToCurrentThread();
        }
        EXPECT_EQ(AfxGetThread(), nullptr) << "a destroyed object is no longer the thread object";
    });
}

TEST(ThreadTest, ObjectDestroyedOnAnotherThreadLeavesNoDanglingPointer)
{
    auto thread = std::make_unique<CWinThread>();
    std::thread worker;
    std::atomic<int> step{0};
    CWinThread* seen = nullptr;
    worker = std::thread([&] {
        thread->AttachToCurrentThread();
        step = 1;
        while (step != 2)
            std::this_thread::yield();
        seen = AfxGetThread();
    });
    while (step != 1)
        std::this_thread::yield();
    thread.reset();
    step = 2;
    worker.join();
    EXPECT_EQ(seen, nullptr);
}

TEST(ThreadTest, EndingThreadForgetsItsObject)
{
    CWinThread thread;
    // Many short threads: ids are reused, and none may inherit an object of an ended thread.
    for (int i = 0; i < 50; ++i)
        OnNewThread([&] { thread.AttachToCurrentThread(); });
    for (int i = 0; i < 50; ++i) {
        CWinThread* seen = &thread;
        OnNewThread([&] { seen = AfxGetThread(); });
        ASSERT_EQ(seen, nullptr) << i;
    }
}
