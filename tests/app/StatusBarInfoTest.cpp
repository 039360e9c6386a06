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

    // Takes a text as the window would: the message carries the caller's number and wParam,
    // and the slot it points to holds `delivered`. Returns the slot's address.
    static LPARAM Take(const MSG& msg, unsigned message, const std::wstring& delivered, unsigned wParam = 0) {
        EXPECT_EQ(msg.message, message) << "the caller's number is posted, not the clamped one";
        EXPECT_EQ(msg.wParam, wParam);
        if (msg.lParam == 0) return 0;  // no message to read
        EXPECT_EQ(reinterpret_cast<const wchar_t*>(msg.lParam), delivered);
        EXPECT_EQ(StatusBarInfo::TakeStatusBarText(msg.lParam).Str(), delivered);
        return msg.lParam;
    }
    // Posts a text to a free slot and takes it.
    LPARAM Deliver(unsigned message, const wchar_t* text, const std::wstring& delivered, unsigned wParam = 0) {
        StatusBarInfo::PostStatusBarInfo(message, text, wParam);
        return Take(Next(), message, delivered, wParam);
    }

    CWinThread* m_previous = nullptr;
    CWnd m_wnd;
    CWinThread m_thread;
};

} // namespace

TEST_F(StatusBarInfoTest, SlotsHoldAtMost255CharactersAreNotOverwrittenWhileReadAndNeedAWindow) {
    const std::wstring as(255, L'a'), accents(255, L'\u00e9');
    const struct { unsigned message, sameSlotAs; std::wstring text, delivered; } cases[] = {
        {0x8015, 0x8015, as + std::wstring(45, L'b'), as}, {0x8004, 0x8004, accents, accents},
        {0x8000, 0x8002, L"", L""}, {0x0000, 0x8002, L"probe", L"probe"},  // below the range: slot 0
        {0x9000, 0x8015, L"probe", L"probe"}, {0xFFFFFFFF, 0x8015, L"probe", L"probe"},  // above: slot 19
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.message << " with " << c.text.size() << " characters");
        const LPARAM slot = Deliver(c.message, c.text.c_str(), c.delivered, 17);
        EXPECT_EQ(Deliver(c.sameSlotAs, L"reference", L"reference"), slot);
    }
    Deliver(0x8004, nullptr, L"");
    LPARAM seen[StatusBarInfo::slotCount];
    for (unsigned k = 0; k < StatusBarInfo::slotCount; ++k) {
        StatusBarInfo::PostStatusBarInfo(StatusBarInfo::firstMessage + k, std::to_wstring(k).c_str(), k);
        seen[k] = Next().lParam;
        for (unsigned j = 0; j < k; ++j)
            EXPECT_NE(seen[j], seen[k]) << "slots are distinct";
    }
    for (unsigned k = 0; k < StatusBarInfo::slotCount; ++k)
        EXPECT_EQ(StatusBarInfo::TakeStatusBarText(seen[k]), std::to_wstring(k).c_str());

    StatusBarInfo::PostStatusBarInfo(0x8005, L"first", 1);
    StatusBarInfo::PostStatusBarInfo(0x8005, L"second", 2);
    StatusBarInfo::PostStatusBarInfo(0x8005, L"third", 3);

    const MSG first = Next();
    EXPECT_EQ(Next().message, 0u) << "later texts wait for the slot instead of posting";
    const LPARAM slot = Take(first, 0x8005, L"first", 1);  // the text the message points to is intact

    // Taking the text frees the slot for the newest waiting text, which is posted now.
    EXPECT_EQ(Take(Next(), 0x8005, L"third", 3), slot);
    EXPECT_EQ(Next().message, 0u);

    // A free slot posts at once again.
    Deliver(0x8005, L"fourth", L"fourth", 4);

    m_thread.m_pMainWnd = nullptr;
    StatusBarInfo::PostStatusBarInfo(0x8007, L"kept", 0);
    StatusBarInfo::PostStatusBarProgress(1, 2);

    CWnd notCreated;
    m_thread.m_pMainWnd = &notCreated;
    StatusBarInfo::PostStatusBarInfo(0x8007, L"kept", 0);

    std::thread([] {  // one without a thread object
        StatusBarInfo::PostStatusBarInfo(0x8007, L"from a bare thread", 0);
        StatusBarInfo::PostStatusBarProgress(1, 2);
    }).join();

    m_thread.m_pMainWnd = &m_wnd;
    EXPECT_EQ(Next().message, 0u);
    // The slot kept the last text and is free: the next post goes out with the new one.
    Deliver(0x8007, L"now", L"now");

    // A message that goes with its destroyed window frees its slot.
    StatusBarInfo::PostStatusBarInfo(0x8006, L"never read", 0);
    m_wnd.DestroyWindow();
    ASSERT_TRUE(m_wnd.Create());
    Deliver(0x8006, L"fresh", L"fresh");

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
    Deliver(0x8008, L"after", L"after");
}
