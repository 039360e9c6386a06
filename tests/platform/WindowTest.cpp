// Windows as message queues: stale handles, a full queue, and a window destroyed under a poster.
// Posts from many threads are tested with the output helper and the status bar.
#include "kelvaro/platform/Window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

TEST(WindowTest, StaleHandlesReachNothing) {
    HWND first = nullptr;
    {
        CWnd wnd;
        EXPECT_FALSE(wnd.PostMessage(0x400)) << "no window yet";
        ASSERT_TRUE(wnd.Create());
        first = wnd.GetSafeHwnd();
        EXPECT_EQ(CWnd::FromHandle(first), &wnd);
        EXPECT_FALSE(wnd.Create()) << "a window that exists is not made twice";
        ASSERT_TRUE(PostMessage(first, 1, 0, 0));
        ASSERT_TRUE(wnd.DestroyWindow());
        EXPECT_FALSE(IsWindow(first));
        EXPECT_EQ(CWnd::FromHandle(first), nullptr);
        EXPECT_FALSE(wnd.DestroyWindow());

        // A stale handle never reaches the new window of the same object (that the old messages go
        // with the old window is checked by the status bar test).
        ASSERT_TRUE(wnd.Create());
        EXPECT_NE(wnd.GetSafeHwnd(), first);
        EXPECT_FALSE(PostMessage(first, 0x400, 0, 0));
        first = wnd;
    }
    EXPECT_FALSE(IsWindow(first)) << "the destructor destroys the window";
    EXPECT_FALSE(PostMessage(first, 1, 2, 3));
}

TEST(WindowTest, FullQueueRefusesPostsAndWaitingEndsWithAMessage) {
    CWnd wnd;
    ASSERT_TRUE(wnd.Create());
    for (unsigned i = 0; i < CWnd::maxQueuedMessages; ++i) ASSERT_TRUE(wnd.PostMessage(0x8002, i, -5)) << i;
    EXPECT_FALSE(wnd.PostMessage(1));
    MSG msg;
    ASSERT_TRUE(wnd.PeekMessage(msg, false));
    EXPECT_EQ(wnd.GetQueuedCount(), CWnd::maxQueuedMessages) << "peeking without remove leaves the message";
    ASSERT_TRUE(wnd.GetMessage(msg));
    EXPECT_EQ(msg.hwnd, wnd.GetSafeHwnd());
    EXPECT_EQ(msg.message, 0x8002u);
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(msg.lParam, -5);
    EXPECT_TRUE(wnd.PostMessage(1)) << "room again after one was taken";
    EXPECT_TRUE(wnd.WaitMessage()) << "a queued message ends the wait at once";
    while (wnd.PeekMessage(msg)) {
    }
    EXPECT_FALSE(wnd.WaitMessage(10)) << "an empty queue times out";

    std::thread destroyer([&wnd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        wnd.DestroyWindow();
    });
    EXPECT_FALSE(wnd.GetMessage(msg)) << "destroying the window ends a wait for a message";
    destroyer.join();
}

TEST(WindowTest, PostingWhileTheWindowIsDestroyedIsSafe) {
    auto wnd = std::make_unique<CWnd>();
    ASSERT_TRUE(wnd->Create());
    const HWND hwnd = wnd->GetSafeHwnd();
    std::atomic<bool> stop{false};
    std::atomic<unsigned> refused{0};
    std::thread poster([&] {
        while (!stop) {
            if (!PostMessage(hwnd, 1, 0, 0)) ++refused;
            IsWindow(hwnd);
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    wnd.reset();
    // Wait until the poster has met the destroyed window, however slowly it is scheduled.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (refused == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stop = true;
    poster.join();
    EXPECT_GT(refused.load(), 0u);
}
