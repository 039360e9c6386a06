// Windows as message queues: handles, order, limits, waiting, and posts from other threads.
#include "kelvaro/platform/Window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

TEST(WindowTest, HandleLivesFromCreateToDestroy)
{
    HWND first = nullptr;
    {
        CWnd wnd;
        EXPECT_EQ(wnd.GetSafeHwnd(), nullptr);
        EXPECT_FALSE(wnd.PostMessage(0x400));
        ASSERT_TRUE(wnd.Create());
        first = wnd.GetSafeHwnd();
        ASSERT_NE(first, nullptr);
        EXPECT_TRUE(IsWindow(first));
        EXPECT_EQ(CWnd::FromHandle(first), &wnd);
        EXPECT_FALSE(wnd.Create()) << "a window that exists is not made twice";
        ASSERT_TRUE(PostMessage(first, 1, 0, 0));
        ASSERT_TRUE(wnd.DestroyWindow());
        EXPECT_FALSE(IsWindow(first));
        EXPECT_EQ(CWnd::FromHandle(first), nullptr);
        EXPECT_FALSE(PostMessage(first, 0x400, 0, 0));
        EXPECT_FALSE(wnd.DestroyWindow());

        // A stale handle never reaches the new window of the same object, nor do the old messages.
        ASSERT_TRUE(wnd.Create());
        EXPECT_NE(wnd.GetSafeHwnd(), first);
        EXPECT_FALSE(PostMessage(first, 0x400, 0, 0));
        EXPECT_EQ(wnd.GetQueuedCount(), 0u);
        first = wnd;
    }
    EXPECT_FALSE(IsWindow(first)) << "the destructor destroys the window";
    EXPECT_FALSE(PostMessage(first, 1, 2, 3));
    EXPECT_FALSE(IsWindow(nullptr));
}

TEST(WindowTest, MessagesArriveInOrderWithTheirParameters)
{
    CWnd wnd;
    ASSERT_TRUE(wnd.Create());
    ASSERT_TRUE(PostMessage(wnd, 0x8002, 7, -5));
    ASSERT_TRUE(wnd.PostMessage(0x8003, 8, 9));

    MSG msg;
    ASSERT_TRUE(wnd.PeekMessage(msg, false));
    EXPECT_EQ(msg.message, 0x8002u);
    EXPECT_EQ(wnd.GetQueuedCount(), 2u) << "peeking without remove leaves the message";

    ASSERT_TRUE(wnd.PeekMessage(msg));
    EXPECT_EQ(msg.hwnd, wnd.GetSafeHwnd());
    EXPECT_EQ(msg.message, 0x8002u);
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_EQ(msg.lParam, -5);
    ASSERT_TRUE(wnd.GetMessage(msg));
    EXPECT_EQ(msg.message, 0x8003u);
    EXPECT_EQ(msg.lParam, 9);
    EXPECT_FALSE(wnd.PeekMessage(msg));
}

TEST(WindowTest, FullQueueRefusesPostsAndWaitingEndsWithAMessage)
{
    CWnd wnd;
    ASSERT_TRUE(wnd.Create());
    for (unsigned i = 0; i < CWnd::maxQueuedMessages; ++i)
        ASSERT_TRUE(wnd.PostMessage(1, i)) << i;
    EXPECT_FALSE(wnd.PostMessage(1));
    MSG msg;
    ASSERT_TRUE(wnd.PeekMessage(msg));
    EXPECT_TRUE(wnd.PostMessage(1)) << "room again after one was taken";
    EXPECT_TRUE(wnd.WaitMessage(0));
    EXPECT_TRUE(wnd.WaitMessage()) << "a queued message ends the wait at once";
    while (wnd.PeekMessage(msg)) {
    }
    EXPECT_FALSE(wnd.WaitMessage(10)) << "an empty queue times out";
}

TEST(WindowTest, GetMessageEndsWhenAnotherThreadDestroysTheWindow)
{
    CWnd wnd;
    ASSERT_TRUE(wnd.Create());
    std::thread destroyer([&wnd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        wnd.DestroyWindow();
    });
    MSG msg;
    EXPECT_FALSE(wnd.GetMessage(msg));
    destroyer.join();
}

TEST(WindowTest, PostsFromManyThreadsAllArriveInEachThreadsOrder)
{
    constexpr unsigned threads = 4;
    constexpr unsigned perThread = 2000;
    CWnd wnd;
    ASSERT_TRUE(wnd.Create());
    const HWND hwnd = wnd.GetSafeHwnd();

    std::vector<std::thread> posters;
    for (unsigned t = 0; t < threads; ++t)
        posters.emplace_back([hwnd, t] {
            for (unsigned i = 0; i < perThread; ++i)
                while (!PostMessage(hwnd, 0x400, t, static_cast<LPARAM>(i)))
                    std::this_thread::yield(); // the queue was full for a moment
        });

    std::vector<LPARAM> next(threads, 0);
    unsigned received = 0;
    bool inOrder = true;
    while (received < threads * perThread) {
        ASSERT_TRUE(wnd.WaitMessage(10000)) << "messages lost after " << received;
        MSG msg;
        while (wnd.PeekMessage(msg)) {
            inOrder = inOrder && msg.lParam == next[msg.wParam];
            next[msg.wParam] = msg.lParam + 1;
            ++received;
        }
    }
    for (std::thread& t : posters)
        t.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(received, threads * perThread);
    EXPECT_EQ(wnd.GetQueuedCount(), 0u);
}

TEST(WindowTest, PostingWhileTheWindowIsDestroyedIsSafe)
{
    auto wnd = std::make_unique<CWnd>();
    ASSERT_TRUE(wnd->Create());
    const HWND hwnd = wnd->GetSafeHwnd();
    std::atomic<bool> stop{false};
    std::atomic<unsigned> refused{0};
    std::thread poster([&] {
        while (!stop) {
            if (!PostMessage(hwnd, 1, 0, 0))
                ++refused;
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
    EXPECT_FALSE(IsWindow(hwnd));
}
