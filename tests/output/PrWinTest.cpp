// The output layer: every form of output reaches the installed handler with its category
// and style, the handler before comes back on install, and without one output is dropped.
#include "kelvaro/output/PrWin.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using Record = std::tuple<unsigned, unsigned, std::wstring>;

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

} // namespace
