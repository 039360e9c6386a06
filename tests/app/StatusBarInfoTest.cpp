#include "kelvaro/app/StatusBarInfo.h"
#include "kelvaro/platform/Thread.h"
#include "kelvaro/platform/Window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// Gives the test thread a thread object whose main window exists, and puts back the thread
// object it had before.
class StatusBarInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = AfxGetThread();
        ASSERT_TRUE(m_wnd.Create());
        m_thread.m_pMainWnd = &m_wnd;
        m_thread.AttachToCurrentThread();
    }
    void TearDown() override {
        m_thread.DetachFromCurrentThread();
        if (m_previous != nullptr)
            m_previous->AttachToCurrentThread();
    }

    // The next message of the main window; message 0 when there is none.
    MSG Next() {
        MSG msg;
        return m_wnd.PeekMessage(msg) ? msg : MSG{};
    }

    static std::wstring TextAt(LPARAM lParam) { return reinterpret_cast<const wchar_t*>(lParam); }

    CWinThread* m_previous = nullptr;
    CWnd m_wnd;
    CWinThread m_thread;
};

} // namespace

TEST_F(StatusBarInfoTest, MessageNumberChoosesTheSlot) {
    const struct { unsigned message, sameSlotAs; } cases[] = {
        {0x8015, 0x8015}, {0x8000, 0x8002}, {0x0000, 0x8002},  // below the range: slot 0
        {0x9000, 0x8015}, {0xFFFFFFFF, 0x8015},                 // above: slot 19
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        StatusBarInfo::PostStatusBarInfo(c.message, L"probe", 17);
        const MSG posted = Next();
        EXPECT_EQ(posted.message, c.message) << "the caller's number is posted, not the clamped one";
        EXPECT_EQ(posted.wParam, 17u);
        EXPECT_EQ(TextAt(posted.lParam), L"probe");
        StatusBarInfo::TakeStatusBarText(posted.lParam);
        StatusBarInfo::PostStatusBarInfo(c.sameSlotAs, L"reference", 0);
        const MSG reference = Next();
        EXPECT_EQ(reference.lParam, posted.lParam);
        StatusBarInfo::TakeStatusBarText(reference.lParam);
    }
    LPARAM seen[StatusBarInfo::slotCount];
    for (unsigned k = 0; k < StatusBarInfo::slotCount; ++k) {
        StatusBarInfo::PostStatusBarInfo(StatusBarInfo::firstMessage + k, std::to_wstring(k).c_str(), k);
        seen[k] = Next().lParam;
        for (unsigned j = 0; j < k; ++j)
            EXPECT_NE(seen[j], seen[k]) << "slots are distinct";
    }
    for (unsigned k = 0; k < StatusBarInfo::slotCount; ++k)
        EXPECT_EQ(StatusBarInfo::TakeStatusBarText(seen[k]), std::to_wstring(k).c_str());
}

TEST_F(StatusBarInfoTest, TextIsCutTo255Characters) {
    const std::wstring longText = std::wstring(255, L'a') + std::wstring(45, L'b');
    const struct { std::wstring text, delivered; } cases[] = {
        {longText, std::wstring(255, L'a')},
        {std::wstring(255, L'\u00e9'), std::wstring(255, L'\u00e9')},
        {L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.size());
        StatusBarInfo::PostStatusBarInfo(0x8004, c.text.c_str(), 0);
        const MSG msg = Next();
        EXPECT_EQ(TextAt(msg.lParam), c.delivered);
        EXPECT_EQ(StatusBarInfo::TakeStatusBarText(msg.lParam).Str(), c.delivered);
    }
    StatusBarInfo::PostStatusBarInfo(0x8004, nullptr, 0);
    EXPECT_EQ(StatusBarInfo::TakeStatusBarText(Next().lParam), L"");
}

TEST_F(StatusBarInfoTest, SlotIsNotOverwrittenWhileTheWindowMayReadIt) {
    StatusBarInfo::PostStatusBarInfo(0x8005, L"first", 1);
    StatusBarInfo::PostStatusBarInfo(0x8005, L"second", 2);
    StatusBarInfo::PostStatusBarInfo(0x8005, L"third", 3);

    const MSG first = Next();
    EXPECT_EQ(Next().message, 0u) << "later texts wait for the slot instead of posting";
    EXPECT_EQ(TextAt(first.lParam), L"first") << "the text the message points to is intact";
    EXPECT_EQ(first.wParam, 1u);
    EXPECT_EQ(StatusBarInfo::TakeStatusBarText(first.lParam), L"first");

    // Taking the text frees the slot for the newest waiting text, which is posted now.
    const MSG newest = Next();
    EXPECT_EQ(newest.message, 0x8005u);
    EXPECT_EQ(newest.wParam, 3u);
    EXPECT_EQ(newest.lParam, first.lParam);
    EXPECT_EQ(StatusBarInfo::TakeStatusBarText(newest.lParam), L"third");
    EXPECT_EQ(Next().message, 0u);

    // A free slot posts at once again.
    StatusBarInfo::PostStatusBarInfo(0x8005, L"fourth", 4);
    EXPECT_EQ(StatusBarInfo::TakeStatusBarText(Next().lParam), L"fourth");
}

TEST_F(StatusBarInfoTest, NothingIsPostedWithoutAMainWindowProgressUnchangedWithOne) {
    m_thread.m_pMainWnd = nullptr;
    StatusBarInfo::PostStatusBarInfo(0x8007, L"kept", 0);
    StatusBarInfo::PostStatusBarProgress(1, 2);

    CWnd notCreated;
    m_thread.m_pMainWnd = &notCreated;
    StatusBarInfo::PostStatusBarInfo(0x8007, L"kept", 0);

    std::thread noThreadObject([] {
        StatusBarInfo::PostStatusBarInfo(0x8007, L"from a bare thread", 0);
        StatusBarInfo::PostStatusBarProgress(1, 2);
    });
    noThreadObject.join();

    m_thread.m_pMainWnd = &m_wnd;
    EXPECT_EQ(Next().message, 0u);
    // The slot kept the last text and is free: the next post goes out with the new one.
    StatusBarInfo::PostStatusBarInfo(0x8007, L"now", 0);
    EXPECT_EQ(StatusBarInfo::TakeStatusBarText(Next().lParam), L"now");

    // A message that goes with its destroyed window frees its slot.
    StatusBarInfo::PostStatusBarInfo(0x8006, L"never read", 0);
    m_wnd.DestroyWindow();
    ASSERT_TRUE(m_wnd.Create());
    StatusBarInfo::PostStatusBarInfo(0x8006, L"fresh", 0);
    EXPECT_EQ(StatusBarInfo::TakeStatusBarText(Next().lParam), L"fresh");

    // With a window, progress is posted unchanged.
    StatusBarInfo::PostStatusBarProgress(42, 0xFFFFFFFFu);
    const MSG msg = Next();
    EXPECT_EQ(msg.message, 0x8003u);
    EXPECT_EQ(msg.wParam, 42u);
    EXPECT_EQ(msg.lParam, static_cast<LPARAM>(0xFFFFFFFFu));
    // Progress is no slot text: taking it, or any unknown address, gives nothing.
    const wchar_t other[] = L"not a slot";
    EXPECT_EQ(StatusBarInfo::TakeStatusBarText(reinterpret_cast<LPARAM>(other)), L"");
    EXPECT_EQ(StatusBarInfo::TakeStatusBarText(0), L"");
}

TEST_F(StatusBarInfoTest, PostsFromManyThreadsKeepEveryDeliveredTextWhole) {
    // Each thread posts to the same slot through its own thread object whose main window is
    // ours; every text the window reads must be one that was posted whole, with its own wParam.
    constexpr int threads = 4;
    constexpr int perThread = 500;
    std::atomic<int> finished{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t)
        posters.emplace_back([this, t, &finished] {
            CWinThread thread;
            thread.m_pMainWnd = &m_wnd;
            thread.AttachToCurrentThread();
            const std::wstring text(200, static_cast<wchar_t>(L'a' + t));
            for (int i = 0; i < perThread; ++i)
                StatusBarInfo::PostStatusBarInfo(0x8008, text.c_str(), static_cast<unsigned>(t));
            ++finished;
        });

    int read = 0;
    bool whole = true;
    for (;;) {
        // Looked at before the queue: a post that ends after this look still finds the loop.
        const bool allDone = finished == threads;
        MSG msg;
        if (m_wnd.PeekMessage(msg)) {
            const std::wstring text = StatusBarInfo::TakeStatusBarText(msg.lParam).Str();
            whole = whole && text == std::wstring(200, static_cast<wchar_t>(L'a' + msg.wParam));
            ++read;
            continue;
        }
        if (allDone)
            break;
        m_wnd.WaitMessage(10);
    }
    for (std::thread& t : posters)
        t.join();
    EXPECT_TRUE(whole);
    EXPECT_GT(read, 0);

    // Nothing waits for the slot any more: a new text goes out at once.
    StatusBarInfo::PostStatusBarInfo(0x8008, L"after", 0);
    EXPECT_EQ(StatusBarInfo::TakeStatusBarText(Next().lParam), L"after");
}
