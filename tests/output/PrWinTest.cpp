#include "kelvaro/output/PrWin.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using Record = std::tuple<unsigned, unsigned, std::wstring>;

// Collects what reaches the handler; uninstalls it afterwards.
class PrWinTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PrWin::UninstallOutputHandler();
    }
    void TearDown() override { PrWin::UninstallOutputHandler(); }

    void InstallRecorder()
    {
        PrWin::InstallOutputHandler([this](PrWin::Category c, PrWin::Style s, const wchar_t* text) {
            m_records.emplace_back(c, s, text);
        });
    }

    std::vector<Record> m_records;
};

} // namespace

TEST_F(PrWinTest, EveryOutputFormReachesTheHandler)
{
    InstallRecorder();
    PrWin::Output(L"plain text", PrWin::LibraryMessage, PrWin::WriteProblem);
    PrWin::Output(PrWin::LibraryMessage, PrWin::WriteProblem, L"Unable to write back sea file %s\n", L"/p/a.sea");
    PrWin::Output(PrWin::LibraryMessage, L"%d entries, %I64x", 3, static_cast<long long>(0x1F));
    PrWin::Output(PrWin::Category(77), PrWin::Style(9), L"%s", L"a module's own numbers");
    PrWin::Output(nullptr, PrWin::LibraryMessage, PrWin::ReadProblem);
    PrWin::ShowOutputWindow(false);
    PrWin::ShowOutputWindow(true);

    const std::vector<Record> expected = {
        {16, 4, L"plain text"},
        {16, 4, L"Unable to write back sea file /p/a.sea\n"},
        {16, 1, L"3 entries, 1f"},
        {77, 9, L"a module's own numbers"},
        {16, 3, L""},
        {1, 128, L" "},
        {1, 64, L" "},
    };
    ASSERT_EQ(m_records.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::get<0>(m_records[i]), std::get<0>(expected[i]));
        EXPECT_EQ(std::get<1>(m_records[i]), std::get<1>(expected[i]));
        EXPECT_TRUE(std::get<2>(m_records[i]) == std::get<2>(expected[i]));
    }
}

TEST_F(PrWinTest, InstallReturnsTheHandlerBefore)
{
    int firstCalls = 0;
    int secondCalls = 0;
    PrWin::OutputHandler first = [&](PrWin::Category, PrWin::Style, const wchar_t*) { ++firstCalls; };
    PrWin::OutputHandler second = [&](PrWin::Category, PrWin::Style, const wchar_t*) { ++secondCalls; };

    EXPECT_FALSE(PrWin::InstallOutputHandler(first));
    PrWin::OutputHandler previous = PrWin::InstallOutputHandler(second);
    ASSERT_TRUE(previous);
    previous(PrWin::LibraryMessage, PrWin::Normal, L"");
    EXPECT_EQ(firstCalls, 1) << "the second install gives back the first handler";

    PrWin::Output(L"x", PrWin::LibraryMessage, PrWin::Normal);
    EXPECT_EQ(secondCalls, 1);
    EXPECT_EQ(firstCalls, 1);

    PrWin::UninstallOutputHandler();
    PrWin::Output(L"x", PrWin::LibraryMessage, PrWin::Normal);
    EXPECT_EQ(secondCalls, 1);
}

TEST_F(PrWinTest, InstallingAnEmptyHandlerLeavesNoneAndOutputIsDropped)
{
    InstallRecorder();
    PrWin::OutputHandler previous = PrWin::InstallOutputHandler(nullptr);
    EXPECT_TRUE(previous);
    EXPECT_FALSE(PrWin::g_outputHandler);
    // Without a handler every form of output is dropped, not a crash.
    PrWin::Output(L"lost", PrWin::LibraryMessage, PrWin::Normal);
    PrWin::Output(PrWin::LibraryMessage, PrWin::ReadProblem, L"%s %d", L"x", 1);
    PrWin::Output(PrWin::LibraryMessage, L"%s", L"x");
    PrWin::ShowOutputWindow(true);
    PrWin::UninstallOutputHandler();
    EXPECT_TRUE(m_records.empty());
}

TEST_F(PrWinTest, LongFormattedTextIsNotCut)
{
    InstallRecorder();
    const std::wstring line(10000, L'x');
    PrWin::Output(PrWin::LibraryMessage, PrWin::ReadProblem, L"[%s]", line.c_str());
    ASSERT_EQ(m_records.size(), 1u);
    EXPECT_EQ(std::get<2>(m_records[0]).size(), line.size() + 2);
}
