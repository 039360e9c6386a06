// The output layer: every form of output reaches the installed handler with its category
// and style, the handler before comes back on install, and without one output is dropped.
// The output helper: texts from any thread are queued for the window, which is woken once
// for texts posted in a row and never loses one.
#include "kelvaro/output/PrWin.h"
#include "kelvaro/output/PrWinHelper.h"
#include "kelvaro/platform/Window.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using Record = std::tuple<unsigned, unsigned, std::wstring>;
constexpr unsigned notifyMessage = 0x8100;

// Takes every message of the window; returns how many notifications there were.
unsigned CountNotifications(CWnd& wnd)
{
    unsigned count = 0;
    MSG msg;
    while (wnd.PeekMessage(msg))
        count += msg.message == notifyMessage ? 1u : 0u;
    return count;
}

TEST(PrWinTest, EveryOutputFormReachesTheHandler)
{
    std::vector<Record> records;
    PrWin::UninstallOutputHandler();
    EXPECT_FALSE(PrWin::InstallOutputHandler([&](PrWin::Category c, PrWin::Style s, const wchar_t* text) {
        records.emplace_back(c, s, text);
    })) << "no handler was installed before";
    const std::wstring line(10000, L'x');
    PrWin::Output(L"plain text", PrWin::LibraryMessage, PrWin::WriteProblem);
    PrWin::Output(PrWin::LibraryMessage, PrWin::WriteProblem, L"Unable to write back sea file %s\n", L"/p/a.sea");
    PrWin::Output(PrWin::LibraryMessage, L"%d entries, %I64x", 3, static_cast<long long>(0x1F));
    PrWin::Output(PrWin::Category(77), PrWin::Style(9), L"%s", L"a module's own numbers");
    PrWin::Output(nullptr, PrWin::LibraryMessage, PrWin::ReadProblem);
    PrWin::ShowOutputWindow(false);
    PrWin::ShowOutputWindow(true);
    PrWin::Output(PrWin::LibraryMessage, PrWin::ReadProblem, L"[%s]", line.c_str());
    const std::vector<Record> expected = {
        {16, 4, L"plain text"},
        {16, 4, L"Unable to write back sea file /p/a.sea\n"},
        {16, 1, L"3 entries, 1f"},
        {77, 9, L"a module's own numbers"},
        {16, 3, L""},
        {1, 128, L" "},
        {1, 64, L" "},
        {16, 3, L"[" + line + L"]"},  // a long formatted text is not cut
    };
    EXPECT_TRUE(records == expected);

    // An empty handler leaves none: every form of output is dropped, not a crash.
    EXPECT_TRUE(PrWin::InstallOutputHandler(nullptr)) << "the handler before is handed back";
    PrWin::Output(L"lost", PrWin::LibraryMessage, PrWin::Normal);
    PrWin::Output(PrWin::LibraryMessage, PrWin::ReadProblem, L"%s %d", L"x", 1);
    PrWin::Output(PrWin::LibraryMessage, L"%s", L"x");
    PrWin::ShowOutputWindow(true);
    EXPECT_EQ(records.size(), expected.size());
}

// Texts posted before the window exists wait for it; once it exists, the next text wakes it.
TEST(PrWinHelperTest, TextsPostedInARowWakeTheWindowOnceAndEveryTextFromManyThreadsReachesIt)
{
    CWnd wnd; // no window yet
    CPrWinHelper helper(&wnd, notifyMessage);
    EXPECT_TRUE(helper.empty());
    helper.PostTextMessage(L"early", PrWin::LibraryMessage, PrWin::Normal);
    EXPECT_FALSE(helper.empty());

    ASSERT_TRUE(wnd.Create());
    helper.PostTextMessage(L"one", PrWin::LibraryMessage, PrWin::ReadProblem);
    helper.PostTextMessage(L"two", PrWin::LibraryMessage, PrWin::WriteProblem);
    helper.PostTextMessage(nullptr, PrWin::WindowCommand, PrWin::HideWindow);
    EXPECT_EQ(CountNotifications(wnd), 1u);

    const std::vector<CPrWinHelper::Item> expected = {
        {L"early", PrWin::LibraryMessage, PrWin::Normal},
        {L"one", PrWin::LibraryMessage, PrWin::ReadProblem},
        {L"two", PrWin::LibraryMessage, PrWin::WriteProblem},
        {L"", PrWin::WindowCommand, PrWin::HideWindow},
    };
    CPrWinHelper::Item item;
    for (const CPrWinHelper::Item& want : expected) {
        SCOPED_TRACE(std::get<0>(want).GetString());
        ASSERT_FALSE(helper.empty());
        ASSERT_TRUE(helper.ReceiveTextMessage(item));
        EXPECT_EQ(item, want);
    }
    EXPECT_TRUE(helper.empty());
    EXPECT_FALSE(helper.ReceiveTextMessage(item));
    EXPECT_EQ(item, expected.back()) << "an empty queue leaves the item";

    // The window has emptied the queue: the next text wakes it again.
    helper.PostTextMessage(L"again", PrWin::LibraryMessage, PrWin::Normal);
    EXPECT_EQ(CountNotifications(wnd), 1u);
    {
        CPrWinHelper dropped(&wnd, notifyMessage);
        dropped.PostTextMessage(L"dropped", PrWin::LibraryMessage, PrWin::Normal);
    }
    EXPECT_EQ(CountNotifications(wnd), 1u) << "texts queued in a helper go with it";

    // Every text from many threads reaches the window thread.
    constexpr int threads = 4;
    constexpr int perThread = 3000;
    CWnd busy;
    ASSERT_TRUE(busy.Create());
    CPrWinHelper shared(&busy, notifyMessage);

    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t)
        posters.emplace_back([&shared, t] {
            for (int i = 0; i < perThread; ++i)
                shared.PostTextMessage(std::to_wstring(i).c_str(), PrWin::Category(t), PrWin::Normal);
        });

    // The window's loop: sleep until a message, then empty the queue. A lost wake-up would
    // leave texts queued with no message, and the wait below would time out.
    std::vector<int> next(threads, 0);
    int received = 0;
    bool inOrder = true;
    while (received < threads * perThread) {
        MSG msg;
        ASSERT_TRUE(busy.WaitMessage(10000)) << "no message for queued texts after " << received;
        ASSERT_TRUE(busy.PeekMessage(msg));
        ASSERT_EQ(msg.message, notifyMessage);
        while (!shared.empty()) {
            CPrWinHelper::Item taken;
            ASSERT_TRUE(shared.ReceiveTextMessage(taken));
            const unsigned t = std::get<1>(taken);
            inOrder = inOrder && std::get<0>(taken) == std::to_wstring(next[t]).c_str();
            ++next[t];
            ++received;
        }
    }
    for (std::thread& t : posters)
        t.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(received, threads * perThread);
    EXPECT_TRUE(shared.empty());
}

} // namespace
