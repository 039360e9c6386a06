// The entry self-test: buffer check, the 1000-character limit, reconstruction,
// and the wrapping of faults inside lists.
#include <gtest/gtest.h>

#include <string>

#include "entry/EntryTestSupport.h"

namespace {

using entrytest::CatchSea;
using entrytest::Msg;
using entrytest::TestEntry;
using entrytest::Texts;

class SelfTestTest : public ::testing::Test {
protected:
    CResValueReservoir m_reservoir{16};
};

TEST_F(SelfTestTest, ConsistentEntriesPass) {
    const wchar_t* lines[] = {
        L"width: 640 480", L"title: \"Main window\" x", L"path: \"\"", L"q: a\u00A7b",
        L"; comment", L"", L"colors: {", L"colors: { +", L"name:",
    };
    for (const wchar_t* line : lines) {
        SCOPED_TRACE(::testing::Message() << "[" << std::wstring(line) << "]");
        TestEntry e(&m_reservoir, 0, nullptr);
        e = line;
        EXPECT_TRUE(e.Selbsttest(true));
        EXPECT_TRUE(e.Selbsttest(false));
    }
}

TEST_F(SelfTestTest, LengthLimit) {
    // "n:\t" + value + " " + terminator: 995 characters of value need 1000.
    TestEntry fits(&m_reservoir, 0, L"n");
    fits.AddValue(std::wstring(995, L'x'));
    EXPECT_TRUE(fits.Selbsttest(true));

    TestEntry over(&m_reservoir, 0, L"n");
    over.AddValue(std::wstring(996, L'x'));
    CResourceSeaException e = CatchSea([&] { over.Selbsttest(false); });
    EXPECT_EQ(e.m_code, 0u);
    EXPECT_EQ(Msg(e), L"Selbsttest n: Zeile l\u00e4nger als 1000 Zeichen.");

    TestEntry farOver(&m_reservoir, 0, L"n");
    farOver.AddValue(std::wstring(7000, L'x'));
    e = CatchSea([&] { farOver.Selbsttest(false); });
    EXPECT_EQ(Msg(e), L"Selbsttest n: Zeile l\u00e4nger als 1000 Zeichen.");
}

TEST_F(SelfTestTest, BufferThatDoesNotHoldItsText) {
    TestEntry e(&m_reservoir, 0, L"n");
    e.AddValues({L"abcdef"});
    const unsigned capacity = e.Capacity(0);
    e.SetCapacity(0, 6);
    CResourceSeaException ex = CatchSea([&] { e.Selbsttest(false); });
    EXPECT_EQ(ex.m_code, 0u);
    EXPECT_EQ(Msg(ex), L"Selbsttest n: Allozierungsfehler.");
    e.SetCapacity(0, 7);
    EXPECT_TRUE(e.Selbsttest(false));
    e.SetCapacity(0, capacity);
}

TEST_F(SelfTestTest, ValueWithABlankReconstructs) {
    TestEntry e(&m_reservoir, 0, L"t");
    e.AddValues({L"a b", L"", L"c\u00A7"});
    EXPECT_TRUE(e.Selbsttest(true));
}

TEST_F(SelfTestTest, CommentWithANameFailsTheReconstruction) {
    TestEntry e(&m_reservoir, 0, nullptr);
    EXPECT_EQ(CatchSea([&] { e = L"a: 1 \"open"; }).m_code, 2u);
    EXPECT_EQ(e.Name().Str(), L"a");
    EXPECT_TRUE(e.Selbsttest(false));
    CResourceSeaException ex = CatchSea([&] { e.Selbsttest(true); });
    EXPECT_EQ(ex.m_code, 0u);
    EXPECT_EQ(Msg(ex), L"Selbsttest a: Rekonstruktion fehlgeschlagen.");
}

TEST_F(SelfTestTest, RebuiltLineThatDoesNotParse) {
    TestEntry e(&m_reservoir, 0, L"x:\\y");
    e.AddValues({L"1"});
    CResourceSeaException ex = CatchSea([&] { e.Selbsttest(true); });
    EXPECT_EQ(ex.m_code, 2u);
    EXPECT_EQ(Msg(ex), L"No identifier (':' missing)");
}

TEST_F(SelfTestTest, FaultInAListLineIsWrapped) {
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"colors: {";
    list.AddListLine(L"red", 14);
    CResourceEntry* line = list.AddListLine(14, nullptr);
    list.ListenendeErzeugen();
    TestEntry longLine(&m_reservoir, 16, nullptr);
    longLine.AddValue(std::wstring(1200, L'z'));
    *line = longLine;
    CResourceSeaException ex = CatchSea([&] { list.Selbsttest(false); });
    EXPECT_EQ(ex.m_code, 0u);
    EXPECT_EQ(Msg(ex), L"Selbsttest colors: Listen-Eintrag defekt:\nSelbsttest : Zeile l\u00e4nger als 1000 Zeichen.");
}

TEST_F(SelfTestTest, ListLinesAreNotReconstructed) {
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"colors: {";
    list.ListenendeErzeugen();
    // A list line made a comment with a text: its rebuilt line reads back as
    // a comment without values, so its own reconstruction fails.
    CResourceEntry* line = list.AddListLine(14, nullptr);
    line->SetToComment(L"a b");
    EXPECT_EQ(CatchSea([&] { line->Selbsttest(true); }).m_code, 0u);
    EXPECT_TRUE(list.Selbsttest(true));
}

TEST_F(SelfTestTest, LeavesLineAndFlagButMapsValues) {
    TestEntry e(&m_reservoir, 0, nullptr);
    e = L"n: 1";
    e.AddValues({L"a\nb", L"q\u00A7"});
    EXPECT_TRUE(e.Selbsttest(true));
    EXPECT_EQ(e.Line(), L"n: 1");
    EXPECT_FALSE(e.RebuildPending());
    EXPECT_EQ(e.Values(), (Texts{L"1", L"a\u00B6b", L"q\""}));
}

TEST_F(SelfTestTest, TemporaryFreesItsBuffers) {
    CResValueReservoir reservoir(10);
    TestEntry e(&reservoir, 0, nullptr);
    e = L"n: 1 2 3";
    EXPECT_EQ(reservoir.SmallCount(), 10u) << "values are taken out of the line on first use";
    ASSERT_EQ(e.Values().size(), 3u);
    EXPECT_EQ(reservoir.SmallCount(), 7u);
    EXPECT_TRUE(e.Selbsttest(true));
    EXPECT_EQ(reservoir.SmallCount(), 4u) << "the temporary's buffers are freed, not recycled";
}

}  // namespace
