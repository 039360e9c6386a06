// The entry model: construction, run-time class, copy, comparison, clearing,
// list navigation, line assignment, the conversion buffers and the exception.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "entry/EntryTestSupport.h"

namespace {

using entrytest::CatchSea;
using entrytest::LineOf;
using entrytest::Msg;
using entrytest::TestEntry;
using entrytest::Texts;
using entrytest::ValuesOf;

class EntryTest : public ::testing::Test {
protected:
    CResValueReservoir m_reservoir{16};

    // A list head read from a line, with the given list lines and a closing line.
    void FillList(TestEntry& list, std::initializer_list<const wchar_t*> lines) {
        for (const wchar_t* line : lines)
            list.AddListLine(line, 14);
        list.ListenendeErzeugen();
    }
};

TEST_F(EntryTest, Construction) {
    TestEntry nullName(&m_reservoir, 0, nullptr);
    EXPECT_EQ(nullName.Name().Str(), L"");
    TestEntry emptyName(&m_reservoir, 0, L"");
    EXPECT_EQ(emptyName.Name().Str(), L"");
    TestEntry plain(&m_reservoir, 2, L"n");
    EXPECT_EQ(plain.Name().Str(), L"n");
    EXPECT_EQ(plain.Status(), 2u);
    EXPECT_EQ(plain.NValues(), 0u);
    EXPECT_TRUE(plain.LineIsShared());
    EXPECT_EQ(plain.LineSize(), 0u);
    EXPECT_TRUE(plain.RebuildPending());
    EXPECT_EQ(plain.ListEnd(), nullptr);
    EXPECT_EQ(plain.Reservoir(), &m_reservoir);

    TestEntry list(&m_reservoir, 8, L"colors");
    EXPECT_TRUE(list.IsListEntry());
    ASSERT_NE(list.ListEnd(), nullptr);
    EXPECT_EQ(LineOf(*list.ListEnd()), L"} \t;-- colors");
    EXPECT_EQ(list.ListEnd()->Status(), 48u);
    EXPECT_EQ(list.ListCount(), 0);
}

TEST_F(EntryTest, RunTimeClass) {
    CResourceEntry entry(&m_reservoir, 0, nullptr);
    const CRuntimeClass* cls = entry.GetRuntimeClass();
    EXPECT_EQ(cls, CResourceEntry::GetThisClass());
    EXPECT_EQ(cls, &CResourceEntry::classCResourceEntry);
    EXPECT_STREQ(cls->m_lpszClassName, "CResourceEntry");
    EXPECT_EQ(cls->m_wSchema, 0xFFFFu);
    EXPECT_EQ(cls->m_pBaseClass, &CObject::classCObject);
    EXPECT_TRUE(entry.IsKindOf(&CObject::classCObject));
    const CObject& asObject = entry;
    EXPECT_TRUE(asObject.IsKindOf(&CResourceEntry::classCResourceEntry));
}

TEST_F(EntryTest, StatusBits) {
    TestEntry e(&m_reservoir, 0, nullptr);
    EXPECT_TRUE(e.IsNormalEntry());
    e.SetAccessed();
    EXPECT_EQ(e.Status(), 1u);
    e.SetModified();
    EXPECT_EQ(e.Status(), 3u);
    EXPECT_TRUE(e.IsNormalEntry());
    e.ResetModified();
    EXPECT_EQ(e.Status(), 1u);
    const struct {
        unsigned bit;
        bool (CResourceEntry::*query)() const;
    } bits[] = {
        {1, &CResourceEntry::Accessed},        {2, &CResourceEntry::Modified},
        {4, &CResourceEntry::IsComment},       {8, &CResourceEntry::IsListEntry},
        {16, &CResourceEntry::IsListLine},     {32, &CResourceEntry::IsListEnd},
        {64, &CResourceEntry::IsListContinued}, {128, &CResourceEntry::SyntaxError},
    };
    for (const auto& b : bits) {
        SCOPED_TRACE(b.bit);
        e.SetStatus(b.bit);
        EXPECT_TRUE((e.*b.query)());
        EXPECT_EQ(e.IsNormalEntry(), b.bit < 4);
        e.SetStatus(0xFF & ~b.bit);
        EXPECT_FALSE((e.*b.query)());
    }
}

TEST_F(EntryTest, SelfAssignmentChangesNothing) {
    TestEntry e(&m_reservoir, 0, nullptr);
    e = L"n: 1 \"a b\"";
    const wchar_t* line = e.LinePtr();
    const CResourceEntry& same = e;
    e = same;
    EXPECT_EQ(e.LinePtr(), line);
    EXPECT_EQ(e.Values(), (Texts{L"1", L"a b"}));
    EXPECT_EQ(e.Name().Str(), L"n");
}

TEST_F(EntryTest, Comparison) {
    struct Case {
        const char* what;
        const wchar_t* a;
        const wchar_t* b;
        unsigned extraBitsB;
        bool equal;
    } cases[] = {
        {"same", L"n: 1 2", L"n: 1 2", 0, true},
        {"different spacing", L"n: 1 2", L"n:\t1    2  ", 0, true},
        {"quoted the same", L"n: x", L"n: \"x\"", 0, true},
        {"comment bit", L"n: 1", L"n: 1", 4, true},
        {"accessed and modified", L"n: 1", L"n: 1", 3, true},
        {"syntax error bit", L"n: 1", L"n: 1", 128, true},
        {"letter case of the name", L"n: 1", L"N: 1", 0, false},
        {"value count", L"n: 1", L"n: 1 2", 0, false},
        {"value text", L"n: 1", L"n: 2", 0, false},
        {"value letter case", L"n: a", L"n: A", 0, false},
        {"list head against continued head", L"n: {", L"n: { +", 0, false},
        {"list head against entry", L"n: {", L"n:", 0, false},
        {"list line bit", L"n: 1", L"n: 1", 16, false},
        {"list end bit", L"n: 1", L"n: 1", 32, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestEntry a(&m_reservoir, 0, nullptr);
        TestEntry b(&m_reservoir, 0, nullptr);
        a = c.a;
        b = c.b;
        b.SetStatus(b.Status() | c.extraBitsB);
        EXPECT_EQ(a == b, c.equal);
        EXPECT_EQ(a != b, !c.equal);
        EXPECT_EQ(b == a, c.equal);
    }
    // List lines are not compared.
    TestEntry l1(&m_reservoir, 0, nullptr);
    TestEntry l2(&m_reservoir, 0, nullptr);
    l1 = L"list: {";
    l2 = L"list: {";
    FillList(l1, {L"a 1"});
    FillList(l2, {L"b 2", L"c 3"});
    EXPECT_TRUE(l1 == l2);
}

TEST_F(EntryTest, CopyOfAnOrdinaryEntry) {
    TestEntry e(&m_reservoir, 0, nullptr);
    e = L"  name:   1 \"two words\" three";
    e.SetModified();
    TestEntry c(e);
    EXPECT_EQ(c.Name().Str(), L"name");
    EXPECT_EQ(c.Status(), e.Status());
    EXPECT_EQ(c.Line(), e.Line());
    EXPECT_NE(c.LinePtr(), e.LinePtr());
    EXPECT_EQ(c.ValueOffset(), e.ValueOffset());
    EXPECT_EQ(c.ValuePart(), L"1 \"two words\" three");
    EXPECT_EQ(c.LineSize(), e.LineSize());
    EXPECT_FALSE(c.RebuildPending());
    EXPECT_EQ(c.Values(), e.Values());
    for (unsigned i = 0; i < c.NValues(); ++i) {
        EXPECT_NE(c.Buffer(i), e.Buffer(i));
        EXPECT_GE(c.Capacity(i), e.Capacity(i));
    }
    EXPECT_EQ(c.Reservoir(), &m_reservoir);
    EXPECT_TRUE(c == e);

    TestEntry stale(&m_reservoir, 0, L"s");
    stale.AddValues({L"x"});
    TestEntry staleCopy(stale);
    EXPECT_TRUE(staleCopy.LineIsShared());
    EXPECT_TRUE(staleCopy.RebuildPending());
}

TEST_F(EntryTest, CopyOfAListEntry) {
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"colors: {";
    FillList(list, {L"red 1", L"; note", L"green 2"});
    list.ResetModified();
    TestEntry copy(list);
    EXPECT_TRUE(copy.IsListEntry());
    EXPECT_TRUE(copy.Modified());
    EXPECT_TRUE(copy.Accessed());
    EXPECT_TRUE(copy.RebuildPending());
    ASSERT_EQ(copy.ListCount(), 3);
    const auto original = list.ListLines();
    const auto copied = copy.ListLines();
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(copied[i], original[i]);
        EXPECT_TRUE(copied[i]->IsListLine());
        EXPECT_EQ(LineOf(*copied[i]), LineOf(*original[i]));
        EXPECT_EQ(ValuesOf(*copied[i]), ValuesOf(*original[i]));
    }
    ASSERT_NE(copy.ListEnd(), nullptr);
    EXPECT_NE(copy.ListEnd(), list.ListEnd());
    EXPECT_EQ(LineOf(*copy.ListEnd()), L"} \t;-- colors");
    EXPECT_FALSE(list.Modified()) << "the original is not touched";
}

TEST_F(EntryTest, CopyAssignment) {
    CResValueReservoir other(4);
    TestEntry source(&other, 0, nullptr);
    source = L"colors: { +";
    FillList(source, {L"red 1", L"blue 2"});
    source.ResetModified();

    TestEntry target(&m_reservoir, 8, L"old");
    CResourceEntry* keptEnd = target.ListEnd();
    target.AddListLine(L"gone", 14);
    target = source;
    EXPECT_EQ(target.Name().Str(), L"colors");
    EXPECT_EQ(target.Reservoir(), &m_reservoir) << "keeps its own reservoir";
    EXPECT_TRUE(target.IsListEntry());
    EXPECT_TRUE(target.IsListContinued());
    EXPECT_TRUE(target.Modified());
    EXPECT_TRUE(target.RebuildPending());
    EXPECT_EQ(target.ListEnd(), keptEnd) << "the closing line is reused";
    EXPECT_EQ(LineOf(*keptEnd), L"} \t;-- colors");
    ASSERT_EQ(target.ListCount(), 2);
    for (CResourceEntry* line : target.ListLines()) {
        EXPECT_TRUE(line->IsListLine());
        EXPECT_EQ(TestEntry(*line).Reservoir(), &other) << "a line copy keeps the copied line's reservoir";
    }
    EXPECT_EQ(ValuesOf(*target.ListLines()[1]), (Texts{L"blue", L"2"}));

    // Values come from the target's reservoir.
    TestEntry valueSource(&other, 0, nullptr);
    valueSource = L"v: a b c";
    TestEntry valueTarget(&m_reservoir, 0, nullptr);
    const unsigned before = m_reservoir.SmallCount();
    valueTarget = valueSource;
    ASSERT_EQ(valueTarget.Values().size(), 3u);
    EXPECT_EQ(m_reservoir.SmallCount(), before - 3);
    EXPECT_FALSE(valueTarget.Modified()) << "no list line copied: the status word is the source's";
    EXPECT_EQ(valueTarget.Line(), L"v: a b c");
    EXPECT_EQ(valueTarget.ValuePart(), L"a b c");
}

TEST_F(EntryTest, InhalteLoeschen) {
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"colors: {";
    FillList(list, {L"a 1", L"b 2"});
    list.SetStatus(list.Status() | 128 | 2 | 1);
    CResourceEntry* end = list.ListEnd();
    list.InhalteLoeschen(false);
    EXPECT_TRUE(list.IsListEntry());
    EXPECT_EQ(list.Status(), 8u);
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.Name().Str(), L"");
    EXPECT_TRUE(list.LineIsShared());
    EXPECT_TRUE(list.RebuildPending());
    ASSERT_EQ(list.ListEnd(), end);
    EXPECT_EQ(end->Status(), 48u);
    EXPECT_EQ(LineOf(*end), L"");
    EXPECT_EQ(ValuesOf(*end), Texts{});

    list = L"shades: {";
    list.ListenendeErzeugen();
    EXPECT_EQ(list.ListEnd(), end);
    EXPECT_EQ(LineOf(*end), L"} \t;-- shades");

    list.InhalteLoeschen(true);
    EXPECT_EQ(list.ListEnd(), nullptr);
}

TEST_F(EntryTest, ClearingRecyclesOrFreesValueBuffers) {
    CResValueReservoir reservoir(8);
    TestEntry e(&reservoir, 0, nullptr);
    e = L"n: 1 2 3";
    ASSERT_EQ(e.Values().size(), 3u);
    EXPECT_EQ(reservoir.SmallCount(), 5u);
    e.InhalteLoeschen(false);
    EXPECT_EQ(reservoir.SmallCount(), 8u);
    EXPECT_EQ(e.NValues(), 0u);
    e = L"n: 1 2 3";
    ASSERT_EQ(e.Values().size(), 3u);
    e.InhalteLoeschen(true);
    EXPECT_EQ(reservoir.SmallCount(), 5u) << "freed, not given back";
    {
        TestEntry gone(&reservoir, 0, nullptr);
        gone = L"n: 1 2";
        ASSERT_EQ(gone.Values().size(), 2u);
    }
    EXPECT_EQ(reservoir.SmallCount(), 3u) << "a destroyed entry frees its buffers";
}

TEST_F(EntryTest, SubListeLoeschenKeepsEverythingElse) {
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"colors: {";
    FillList(list, {L"a 1", L"b 2"});
    const unsigned status = list.Status();
    CResourceEntry* end = list.ListEnd();
    list.SubListeLoeschen(false);
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.ListEnd(), end);
    EXPECT_EQ(LineOf(*end), L"} \t;-- colors");
    EXPECT_EQ(list.Status(), status);
    EXPECT_EQ(list.Line(), L"colors: {");
}

TEST_F(EntryTest, EintragText) {
    TestEntry e(&m_reservoir, 0, nullptr);
    e = L"n: a b";
    e.ClearBits(1);
    EXPECT_STREQ(e.EintragText(1), L"b");
    EXPECT_TRUE(e.Accessed());
    e.ClearBits(1);
    EXPECT_EQ(e.EintragText(2), nullptr);
    EXPECT_TRUE(e.Accessed());
}

TEST_F(EntryTest, ListNavigation) {
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"l: {";
    FillList(list, {L"a", L"b", L"c"});
    const auto lines = list.ListLines();
    POSITION pos = list.HeadPosition();
    EXPECT_EQ(list.GetListenZeile(pos), lines[0]);
    EXPECT_EQ(list.NextListenZeile(pos), lines[0]);
    EXPECT_EQ(list.NextListenZeile(pos), lines[1]);
    EXPECT_EQ(list.NextListenZeile(pos), lines[2]);
    EXPECT_EQ(pos, nullptr);
    pos = list.TailPosition();
    EXPECT_EQ(list.PrevListenZeile(pos), lines[2]);
    EXPECT_EQ(list.PrevListenZeile(pos), lines[1]);
    EXPECT_EQ(list.PrevListenZeile(pos), lines[0]);
    EXPECT_EQ(pos, nullptr);

    POSITION none = nullptr;
    EXPECT_THROW(list.NextListenZeile(none), std::invalid_argument);
    EXPECT_THROW(list.PrevListenZeile(none), std::invalid_argument);
    EXPECT_THROW(list.GetListenZeile(nullptr), std::invalid_argument);
}

TEST_F(EntryTest, LineAssignmentReusesTheLineBuffer) {
    TestEntry e(&m_reservoir, 0, nullptr);
    e = L"a-long-name: with several values in it";
    const wchar_t* buffer = e.LinePtr();
    const unsigned size = e.LineSize();
    EXPECT_EQ(size, 39u);
    e = L"k: 1";
    EXPECT_EQ(e.LinePtr(), buffer);
    EXPECT_EQ(e.LineSize(), size);
    EXPECT_EQ(e.Line(), L"k: 1");
    e = L"a-longer-name: with several values in it, longer";
    EXPECT_EQ(e.LineSize(), 49u);
    EXPECT_EQ(e.Line(), L"a-longer-name: with several values in it, longer");
    EXPECT_EQ(e.Values(), (Texts{L"with", L"several", L"values", L"in", L"it,", L"longer"}));
}

TEST_F(EntryTest, LineAssignmentFromTheEntrysOwnText) {
    TestEntry e(&m_reservoir, 0, nullptr);
    e = L"n: k: 1";
    e = e.ValuePart().c_str();
    EXPECT_EQ(e.Line(), L"k: 1");
    EXPECT_EQ(e.Name().Str(), L"k");
    TestEntry f(&m_reservoir, 0, nullptr);
    f = L"xx  k: v";
    f = f.LinePtr() + 4;  // aliases the entry's own line buffer
    EXPECT_EQ(f.Line(), L"k: v");
    EXPECT_EQ(f.Name().Str(), L"k");
    EXPECT_EQ(f.Values(), Texts{L"v"});
}

TEST_F(EntryTest, LineAssignmentClearsTheOldContent) {
    TestEntry e(&m_reservoir, 0, nullptr);
    e = L"list: {";
    FillList(e, {L"a", L"b"});
    e.SetModified();
    e = L"plain: 1";
    EXPECT_EQ(e.ListCount(), 0);
    EXPECT_FALSE(e.IsListEntry());
    EXPECT_FALSE(e.Modified());
    EXPECT_EQ(e.Values(), Texts{L"1"});
}

TEST_F(EntryTest, EightBitLineLimit) {
    TestEntry e(&m_reservoir, 0, nullptr);
    std::string fits = "k: " + std::string(8188, 'x');  // 8191 characters
    e = fits.c_str();
    EXPECT_EQ(e.Line().size(), 8191u);
    EXPECT_EQ(e.Values(), Texts{std::wstring(8188, L'x')});

    e = "keep: 1";
    std::string tooLong = "k: " + std::string(8189, 'x');  // 8192 characters
    CResourceSeaException ex = CatchSea([&] { e = tooLong.c_str(); });
    EXPECT_EQ(ex.m_code, 1u);
    EXPECT_EQ(Msg(ex), L"Max. line length 8192 exceeded");
    EXPECT_EQ(e.Line(), L"keep: 1") << "nothing cut is stored";
    EXPECT_EQ(e.Values(), Texts{L"1"});
    EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());
}

TEST_F(EntryTest, ConversionBuffers) {
    struct Case {
        const char* text;
        unsigned codePage;
        const wchar_t* wide;  // null: conversion fails
    } toWide[] = {
        {"abc", 1252, L"abc"},
        {"\x80\xE9\x81", 1252, L"\u20AC\u00E9\u0081"},
        {"", 1252, L""},
        {"abc", 0, L"abc"},
        {"\xE2\x82\xAC x", 65001, L"\u20AC x"},
        {"abc", 437, nullptr},
    };
    for (const Case& c : toWide) {
        SCOPED_TRACE(c.text);
        const int n = CResourceEntry::KonvertiereNachWChar(c.text, c.codePage);
        EXPECT_TRUE(CResourceEntry::g_convertBlock.IsLocked());
        if (c.wide == nullptr) {
            EXPECT_EQ(n, 0);
        } else {
            EXPECT_EQ(n, static_cast<int>(std::wcslen(c.wide) + 1));
            EXPECT_STREQ(CResourceEntry::g_wcharConvert, c.wide);
        }
        CResourceEntry::KonversionFreigeben();
        EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());
    }

    EXPECT_EQ(CResourceEntry::KonvertiereNachChar(L"\u20AC\u00E9a\u4E00", 1252), 5);
    EXPECT_STREQ(CResourceEntry::g_charConvert, "\x80\xE9" "a?");
    CResourceEntry::KonversionFreigeben();
    EXPECT_EQ(CResourceEntry::KonvertiereNachChar(L"\u20AC", 65001), 4);
    EXPECT_STREQ(CResourceEntry::g_charConvert, "\xE2\x82\xAC");
    CResourceEntry::KonversionFreigeben();
    EXPECT_EQ(CResourceEntry::KonvertiereNachChar(nullptr, 1252), 0);
    CResourceEntry::KonversionFreigeben();

    // 8191 units fit with the terminator; 8192 do not.
    const std::string fits(8191, 'a');
    EXPECT_EQ(CResourceEntry::KonvertiereNachWChar(fits.c_str(), 1252), 8192);
    CResourceEntry::KonversionFreigeben();
    const std::string over(8192, 'a');
    EXPECT_EQ(CResourceEntry::KonvertiereNachWChar(over.c_str(), 1252), 0);
    EXPECT_TRUE(CResourceEntry::g_convertBlock.IsLocked()) << "a failed conversion keeps the lock";
    CResourceEntry::KonversionFreigeben();
    const std::wstring wideOver(8192, L'a');
    EXPECT_EQ(CResourceEntry::KonvertiereNachChar(wideOver.c_str(), 1252), 0);
    CResourceEntry::KonversionFreigeben();
    const std::wstring euros(3000, L'\u20AC');  // 9000 bytes in UTF-8
    EXPECT_EQ(CResourceEntry::KonvertiereNachChar(euros.c_str(), 65001), 0);
    CResourceEntry::KonversionFreigeben();

    // A release without a holder is harmless.
    CResourceEntry::KonversionFreigeben();
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

TEST_F(EntryTest, Exception) {
    CResourceSeaException byDefault;
    EXPECT_EQ(byDefault.m_code, 0u);
    EXPECT_TRUE(byDefault.m_message.IsEmpty());
    CResourceSeaException coded(7);
    EXPECT_EQ(coded.m_code, 7u);
    EXPECT_TRUE(coded.m_message.IsEmpty());
    CResourceSeaException full(L"text", 3);
    CResourceSeaException copy(full);
    EXPECT_EQ(copy.m_code, 3u);
    EXPECT_EQ(Msg(copy), L"text");
    coded = full;
    EXPECT_EQ(coded.m_code, 3u);
    EXPECT_EQ(Msg(coded), L"text");
    CResourceSeaException formatted = CResourceSeaException::Formatted(4, L"%s: %d.", L"n", 5);
    EXPECT_EQ(Msg(formatted), L"n: 5.");
    EXPECT_EQ(formatted.m_code, 4u);
    CResourceSeaException nullMessage(nullptr, 1);
    EXPECT_TRUE(nullMessage.m_message.IsEmpty());
}

}  // namespace
