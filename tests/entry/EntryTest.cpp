// The entry model: construction, copy, comparison, clearing, list navigation,
// line assignment, the conversion buffers and the exception.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

#include "entry/EntryTestSupport.h"
#include "support/TestSupport.h"

namespace {

using namespace entrytest;

using EntryTest = EntryFixture;

TEST_F(EntryTest, Comparison) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("entry-comparison.txt", 4)) {
        SCOPED_TRACE(row.Where());
        TestEntry a = Read(row.Text(0).c_str());
        TestEntry b = Read(row.Text(1).c_str());
        b.SetStatus(b.Status() | static_cast<unsigned>(row.Number(2)));
        EXPECT_EQ(a == b, row.Flag(3));
        EXPECT_EQ(b != a, !row.Flag(3));
    }
    // List lines are not compared.
    TestEntry l1(&m_reservoir, 0, nullptr);
    TestEntry l2(&m_reservoir, 0, nullptr);
    MakeList(l1, L"list: {", {L"a 1"});
    MakeList(l2, L"list: {", {L"b 2", L"c 3"});
    EXPECT_TRUE(l1 == l2);
}

// That copies outlive the sea they came from is Transfer.CopiesOutliveTheSeaTheyCameFrom's.
TEST_F(EntryTest, CopiesAndAssignmentsOwnTheirLinesAndValues) {
    TestEntry e = Read(L"  name:   1 \"two words\" three");
    e.SetModified();
    TestEntry c(e);
    EXPECT_EQ(c.Status(), e.Status());
    EXPECT_NE(c.LinePtr(), e.LinePtr());
    EXPECT_EQ(c.ValuePart(), L"1 \"two words\" three");
    EXPECT_EQ(c.Values(), e.Values());
    const wchar_t* line = e.LinePtr();
    const CResourceEntry& same = e;
    e = same;
    EXPECT_EQ(e.LinePtr(), line) << "self-assignment changes nothing";
    EXPECT_EQ(e.Values(), (Texts{L"1", L"two words", L"three"}));

    CResValueReservoir other(4);
    TestEntry list(&other, 0, nullptr);
    MakeList(list, L"colors: { +", {L"red 1", L"; note", L"green 2"});
    list.ResetModified();
    TestEntry copy(list);
    EXPECT_TRUE(copy.Modified());
    ASSERT_EQ(copy.ListCount(), 3);
    const auto original = list.ListLines();
    const auto copied = copy.ListLines();
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(copied[i], original[i]);
        EXPECT_EQ(LineOf(*copied[i]), LineOf(*original[i]));
        EXPECT_EQ(ValuesOf(*copied[i]), ValuesOf(*original[i]));
    }
    ASSERT_NE(copy.ListEnd(), nullptr);
    EXPECT_NE(copy.ListEnd(), list.ListEnd());
    EXPECT_EQ(LineOf(*copy.ListEnd()), L"} \t;-- colors");
    EXPECT_FALSE(list.Modified()) << "the original is not touched";

    TestEntry target(&m_reservoir, 8, L"old");
    CResourceEntry* keptEnd = target.ListEnd();
    target.AddListLine(L"gone", 14);
    target = list;
    EXPECT_EQ(target.Reservoir(), &m_reservoir) << "an assigned entry keeps its own reservoir";
    EXPECT_TRUE(target.IsListContinued());
    EXPECT_TRUE(target.Modified());
    EXPECT_EQ(target.ListEnd(), keptEnd) << "the closing line is reused";
    EXPECT_EQ(LineOf(*keptEnd), L"} \t;-- colors");
    ASSERT_EQ(target.ListCount(), 3);
    EXPECT_EQ(ValuesOf(*target.ListLines()[2]), (Texts{L"green", L"2"}));
}

TEST_F(EntryTest, Clearing) {
    TestEntry list(&m_reservoir, 0, nullptr);
    MakeList(list, L"colors: {", {L"a 1", L"b 2"});
    CResourceEntry* end = list.ListEnd();
    const unsigned status = list.Status();
    list.SubListeLoeschen(false);
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.Status(), status);
    EXPECT_EQ(list.Line(), L"colors: {");

    list.AddListLine(L"c 3", 14);
    list.SetStatus(list.Status() | 128 | 2 | 1);
    list.InhalteLoeschen(false);
    EXPECT_EQ(list.Status(), 8u) << "only the kind bits stay";
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.Name().Str(), L"");
    ASSERT_EQ(list.ListEnd(), end);
    EXPECT_EQ(LineOf(*end), L"");
    list = L"shades: {";
    list.ListenendeErzeugen();
    EXPECT_EQ(list.ListEnd(), end);
    EXPECT_EQ(LineOf(*end), L"} \t;-- shades");
    list.InhalteLoeschen(true);
    EXPECT_EQ(list.ListEnd(), nullptr);

    MakeList(list, L"l: {", {L"a", L"b"});
    const auto lines = list.ListLines();
    POSITION pos = list.TailPosition();
    EXPECT_EQ(list.PrevListenZeile(pos), lines[1]);
    EXPECT_EQ(list.PrevListenZeile(pos), lines[0]);
    EXPECT_THROW(list.NextListenZeile(pos), std::invalid_argument) << "past the head";
    EXPECT_THROW(list.PrevListenZeile(pos), std::invalid_argument);
}

TEST_F(EntryTest, LineAssignment) {
    TestEntry e(&m_reservoir, 0, nullptr);
    MakeList(e, L"a-long-name: {", {L"a", L"b"});
    const wchar_t* buffer = e.LinePtr();
    e = L"k: 1";
    EXPECT_EQ(e.LinePtr(), buffer) << "a line that fits reuses the buffer";
    EXPECT_EQ(e.ListCount(), 0);
    EXPECT_FALSE(e.IsListEntry());
    EXPECT_FALSE(e.Modified());
    EXPECT_EQ(e.Values(), Texts{L"1"});
    e = L"a-longer-name: with several values in it, longer";
    EXPECT_EQ(e.Values(), (Texts{L"with", L"several", L"values", L"in", L"it,", L"longer"}));

    // The entry's own line may be assigned to it.
    e = L"xx  k: v";
    e = e.LinePtr() + 4;
    EXPECT_EQ(e.Line(), L"k: v");
    EXPECT_EQ(e.Name().Str(), L"k");
    EXPECT_EQ(e.Values(), Texts{L"v"});
}

TEST_F(EntryTest, ConversionBuffers) {
    const std::string fits(8191, 'a');
    const std::string over(8192, 'a');
    // Units written with the terminator (0: the conversion fails), and the text.
    const struct { const char* text; unsigned codePage; int units; std::wstring wide; } toWide[] = {
        {"\x80\xE9\x81", 1252, 4, L"\u20AC\u00E9\u0081"}, {"", 1252, 1, L""}, {"abc", 0, 4, L"abc"},
        {"\xE2\x82\xAC x", 65001, 4, L"\u20AC x"}, {"abc", 437, 0, L""},
        {fits.c_str(), 1252, 8192, std::wstring(8191, L'a')}, {over.c_str(), 1252, 0, L""},
    };
    for (const auto& c : toWide) {
        SCOPED_TRACE(testing::Message() << c.codePage << " " << std::string(c.text).substr(0, 8));
        EXPECT_EQ(CResourceEntry::KonvertiereNachWChar(c.text, c.codePage), c.units);
        EXPECT_TRUE(CResourceEntry::g_convertBlock.IsLocked()) << "also a failed conversion keeps the lock";
        if (c.units > 0) {
            EXPECT_EQ(CResourceEntry::g_wcharConvert, c.wide);
        }
        CResourceEntry::KonversionFreigeben();
        EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());
    }
    const std::wstring wideOver(8192, L'a');
    const std::wstring euros(3000, L'\u20AC');  // 9000 bytes in UTF-8
    const struct { const wchar_t* text; unsigned codePage; int units; const char* narrow; } toChar[] = {
        {L"\u20AC\u00E9a\u4E00", 1252, 5, "\x80\xE9" "a?"}, {L"\u20AC", 65001, 4, "\xE2\x82\xAC"},
        {nullptr, 1252, 0, ""}, {wideOver.c_str(), 1252, 0, ""}, {euros.c_str(), 65001, 0, ""},
    };
    for (const auto& c : toChar) {
        SCOPED_TRACE(testing::Message() << c.codePage << " " << c.units);
        EXPECT_EQ(CResourceEntry::KonvertiereNachChar(c.text, c.codePage), c.units);
        if (c.units > 0) {
            EXPECT_STREQ(CResourceEntry::g_charConvert, c.narrow);
        }
        CResourceEntry::KonversionFreigeben();
    }
    CResourceEntry::KonversionFreigeben();  // a release without a holder is harmless
    EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());
}

TEST_F(EntryTest, ConcurrentConversionsStayIntact) {
    std::atomic<int> broken{0};
    auto worker = [&broken](char letter) {
        const std::string text(100, letter);
        const std::wstring expected(100, static_cast<wchar_t>(letter));
        for (int i = 0; i < 2000; ++i) {
            const int n = CResourceEntry::KonvertiereNachWChar(text.c_str(), 1252);
            std::this_thread::yield();
            if (n != 101 || expected != CResourceEntry::g_wcharConvert)
                ++broken;
            CResourceEntry::KonversionFreigeben();
        }
    };
    std::thread a(worker, 'a');
    std::thread b(worker, 'b');
    a.join();
    b.join();
    EXPECT_EQ(broken.load(), 0);
}

}  // namespace
