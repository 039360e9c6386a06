// The line grammar: kinds of lines, names, value parts, values, and the four
// syntax errors with the state they leave.
#include <gtest/gtest.h>

#include "entry/EntryTestSupport.h"

namespace {

using namespace entrytest;

const wchar_t* const kEmptyIdentifier = L"Empty identifier (name before ':' missing)";
const wchar_t* const kNoIdentifier = L"No identifier (':' missing)";
const wchar_t* const kOrphanEnd = L"Orphan list end ('}' with no matching '{')";
const wchar_t* const kUnterminated = L"String value not terminated ('\"' missing)";

class ParseTest : public ::testing::Test {
protected:
    CResValueReservoir m_reservoir{16};
};

TEST_F(ParseTest, Lines) {
    const struct {
        const wchar_t* line;
        bool listLine;      // the entry has bit 16 before the text is assigned
        unsigned kindBits;  // status & 0xFC afterwards
        const wchar_t* name;
        Texts values;
        const wchar_t* valuePart;  // null: not checked
        const wchar_t* error;      // null: no syntax error
    } cases[] = {
        {L"width: 640 480", false, 0, L"width", {L"640", L"480"}, L"640 480", nullptr},
        {L"title:\t\"Main window\"   x", false, 0, L"title", {L"Main window", L"x"}, L"\"Main window\"   x", nullptr},
        {L"path: \"\"", false, 0, L"path", {L""}, L"\"\"", nullptr},
        {L"size : 3", false, 0, L"size ", {L"3"}, L"3", nullptr},
        {L"note: 1 ; two", false, 0, L"note", {L"1", L";", L"two"}, nullptr, nullptr},
        {L": 5", false, 0x84, L"", {}, nullptr, kEmptyIdentifier},
        {L"C:\\data: 1", false, 0x84, L"", {}, nullptr, kNoIdentifier},
        {L"} x: 1", false, 0x84, L"", {}, nullptr, kOrphanEnd},
        {L"a: \"open", false, 0x84, L"a", {}, nullptr, kUnterminated},
        // comments and blank lines
        {L"   ; text", false, 4, L"", {}, L"text", nullptr},
        {L"", false, 4, L"", {}, L"", nullptr},
        {L" \t \v\f", false, 4, L"", {}, L"", nullptr},
        {L"; x: 1 \"open", false, 4, L"", {}, L"x: 1 \"open", nullptr},
        {L";", false, 4, L"", {}, L"", nullptr},
        {L"  ; inside", true, 16 | 4, L"", {}, L"inside", nullptr},
        {L"", true, 16 | 4, L"", {}, L"", nullptr},
        // names and the first ':'
        {L"a:b", false, 0, L"a", {L"b"}, L"b", nullptr},
        {L"a:", false, 0, L"a", {}, L"", nullptr},
        {L"a::b", false, 0, L"a", {L":b"}, nullptr, nullptr},
        {L"x:\\y: 1", false, 0x84, L"", {}, nullptr, kNoIdentifier},
        {L"x: C:\\y", false, 0, L"x", {L"C:\\y"}, nullptr, nullptr},
        {L"  lead\tname  : v", false, 0, L"lead\tname  ", {L"v"}, nullptr, nullptr},
        {L"plain words", false, 0x84, L"", {}, nullptr, kNoIdentifier},
        {L"}", false, 0x84, L"", {}, nullptr, kNoIdentifier},
        {L"  } a: 1", false, 0x84, L"", {}, nullptr, kOrphanEnd},
        {L"}:\\x", false, 0x84, L"", {}, nullptr, kNoIdentifier},
        {L"  : x", true, 16 | 0x84, L"", {}, nullptr, kEmptyIdentifier},
        // quoted values; the character after a closing quote is skipped
        {L"q: \"a b:c;d\" e", false, 0, L"q", {L"a b:c;d", L"e"}, nullptr, nullptr},
        {L"q: \"\" \"\"", false, 0, L"q", {L"", L""}, nullptr, nullptr},
        {L"q: \"\"\"\"", false, 0x84, L"q", {L""}, nullptr, kUnterminated},
        {L"q: \"x\"\ty", false, 0, L"q", {L"x", L"y"}, nullptr, nullptr},
        {L"q: 1 2 \"x", false, 0x84, L"q", {L"1", L"2"}, nullptr, kUnterminated},
        {L"q: \"", false, 0x84, L"q", {}, nullptr, kUnterminated},
        {L"\"open", true, 16 | 0x84, L"", {}, nullptr, kUnterminated},
        {L"\"ab\"cd", true, 16, L"", {L"ab", L"d"}, nullptr, nullptr},
        // character mapping
        {L"q: x\u00A7y", false, 0, L"q", {L"x\"y"}, nullptr, nullptr},
        {L"q: \"l\u00A7m n\"", false, 0, L"q", {L"l\"m n"}, nullptr, nullptr},
        {L"q: \"a\nb\rc\"", false, 0, L"q", {L"a\u00B6b\u00ACc"}, nullptr, nullptr},
        {L"q: ab\"c", false, 0, L"q", {L"ab\"c"}, nullptr, nullptr},
        {L"q:\t1\v2\f3\r4\n5", false, 0, L"q", {L"1", L"2", L"3", L"4", L"5"}, nullptr, nullptr},
        {L"q: \u00E9t\u00E9 \u20AC", false, 0, L"q", {L"\u00E9t\u00E9", L"\u20AC"}, nullptr, nullptr},
        // list heads and list lines
        {L"colors: {", false, 8, L"colors", {}, L"{", nullptr},
        {L"colors: { +", false, 8 | 64, L"colors", {}, L"{ +", nullptr},
        {L"colors: {  + anything", false, 8 | 64, L"colors", {}, nullptr, nullptr},
        {L"colors: {x", false, 8, L"colors", {}, nullptr, nullptr},
        {L"colors: x {", false, 0, L"colors", {L"x", L"{"}, nullptr, nullptr},
        {L"colors:{+", false, 8 | 64, L"colors", {}, nullptr, nullptr},
        {L"} \t;-- colors", true, 16 | 32, L"", {}, nullptr, nullptr},
        {L"   } whatever: 1", true, 16 | 32, L"", {}, nullptr, nullptr},
        {L"\ta:b c", true, 16, L"", {L"a:b", L"c"}, L"a:b c", nullptr},
        {L"{ x", true, 16, L"", {L"{", L"x"}, nullptr, nullptr},
        {L"C:\\dir", true, 16, L"", {L"C:\\dir"}, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "line [" << std::wstring(c.line) << "]" << (c.listLine ? " list" : ""));
        TestEntry entry(&m_reservoir, c.listLine ? 16u : 0u, nullptr);
        if (c.error != nullptr) {
            CResourceSeaException e = CatchSea([&] { entry = c.line; });
            EXPECT_EQ(e.m_code, 2u);
            EXPECT_EQ(Msg(e), c.error);
            // Kept as a comment with its text, flagged, and written back unchanged.
            EXPECT_TRUE(entry.Accessed());
        } else {
            entry = c.line;
        }
        EXPECT_EQ(entry.Line(), c.line);
        EXPECT_FALSE(entry.RebuildPending());
        EXPECT_EQ(entry.Status() & 0xFC, c.kindBits);
        EXPECT_EQ(entry.Name().Str(), c.name);
        EXPECT_EQ(entry.Values(), c.values);
        if (c.valuePart != nullptr) {
            EXPECT_EQ(entry.ValuePart(), c.valuePart);
        }
    }
}

TEST_F(ParseTest, ParsingKeepsAccessedModifiedAndListLineBits) {
    TestEntry entry(&m_reservoir, 16, nullptr);
    entry = L"a b";
    entry.SetModified();
    entry.SetStatus(entry.Status() | 4 | 8 | 32 | 64 | 128);
    EXPECT_EQ(entry.ZeileZerlegen(), 2u + 2u);  // values are appended to the two present ones
    EXPECT_EQ(entry.Status(), 16u | 1u | 2u);
}

TEST_F(ParseTest, ValuesStayInTheLineUntilTheyChange) {
    CResValueReservoir reservoir(8);
    TestEntry entry(&reservoir, 0, nullptr);
    entry = L"n: 1 \"two words\" 3";
    EXPECT_EQ(entry.GetString(1), L"two words");
    EXPECT_EQ(entry.GetInt(2), 3);
    EXPECT_EQ(reservoir.SmallCount(), 8u) << "reading values takes no value buffer";

    // A copy has the values too, and keeps them when the original takes another line.
    TestEntry copy(entry);
    entry = L"m: 7";
    EXPECT_EQ(copy.Values(), (Texts{L"1", L"two words", L"3"}));
    EXPECT_EQ(entry.Values(), Texts{L"7"});
    EXPECT_EQ(reservoir.SmallCount(), 4u);

    // A change to a value that was never read rebuilds from all of them.
    TestEntry fresh(&reservoir, 0, nullptr);
    fresh = L"p: a b c";
    fresh.SetInt(9, 1);
    EXPECT_EQ(fresh.Line(), L"p: a b c") << "the line is rebuilt when it is used";
    CString line;
    fresh.GetLine(line);
    EXPECT_EQ(line, L"p:\ta 9 c");
}

TEST_F(ParseTest, ValuesReadFromTheLineAreTheTextsTheBuffersWouldHold) {
    const std::wstring longValue(100, L'v');  // longer than the reader's room on the stack
    const std::wstring lines[] = {
        L"n: \"two words\" a\u00A7b \"\" \"q\u00A7\" -17",
        L"n:\t\"ab\"cd  tab\tsep\u3000wide \U0001F600 ",
        L"n: \"line\nfeed\" \"carriage\rreturn\" x:y ; not a comment",
        L"n: " + longValue + L" \"" + longValue + L" quoted\" 0x1F",
        L"n: 3.5 true 0 255,128",
    };
    for (const std::wstring& text : lines) {
        SCOPED_TRACE(testing::PrintToString(text));
        TestEntry fromLine(&m_reservoir, 0, nullptr);
        fromLine = text.c_str();
        TestEntry fromBuffers(&m_reservoir, 0, nullptr);
        fromBuffers = text.c_str();
        const Texts stored = fromBuffers.Values();
        ASSERT_EQ(fromLine.NValues(), stored.size());
        for (unsigned i = 0; i <= stored.size(); ++i) {
            EXPECT_EQ(fromLine.GetString(i), fromBuffers.GetString(i)) << i;
            EXPECT_EQ(fromLine.GetInt(i), fromBuffers.GetInt(i)) << i;
            EXPECT_EQ(fromLine.GetDouble(i), fromBuffers.GetDouble(i)) << i;
            EXPECT_EQ(fromLine.GetBool(i), fromBuffers.GetBool(i)) << i;
            EXPECT_EQ(fromLine.GetHex(i), fromBuffers.GetHex(i)) << i;
            wchar_t small[8];
            wchar_t expected[8];
            EXPECT_EQ(fromLine.GetString(small, 8, i), fromBuffers.GetString(expected, 8, i)) << i;
            EXPECT_STREQ(small, expected) << i;
        }
        EXPECT_EQ(fromLine.GetRgbColor(0), fromBuffers.GetRgbColor(0));
        EXPECT_TRUE(fromLine == fromBuffers);
    }
}

TEST_F(ParseTest, TheNameSurvivesEveryChangeOfTheLine) {
    // The name is read out of the line only when asked for, so every path
    // that changes or drops the line must keep it right.
    TestEntry entry(&m_reservoir, 0, nullptr);
    entry = L"  \tspaced: 1 2";
    EXPECT_EQ(entry.NameView(), L"spaced");
    TestEntry copy(entry);
    TestEntry assigned(&m_reservoir, 0, nullptr);
    assigned = entry;
    entry.SetText(std::wstring(300, L'x').c_str(), 1);  // the rebuilt line needs a new buffer
    CString line;
    entry.GetLine(line);
    EXPECT_EQ(line.Left(9), L"spaced:\t1");
    EXPECT_EQ(entry.Name(), L"spaced");
    entry = L"other: 3";
    EXPECT_EQ(copy.Name(), L"spaced");
    EXPECT_EQ(assigned.NameView(), L"spaced");
    EXPECT_TRUE(copy == assigned);

    TestEntry head(&m_reservoir, 0, nullptr);
    head = L"colors: {";
    head.ListenendeErzeugen();
    EXPECT_EQ(LineOf(*head.ListEnd()), L"} \t;-- colors");

    // A name too far into its line, or too long, to be left there is taken at once.
    const std::wstring longName(70000, L'n');
    entry = (longName + L": 1").c_str();
    EXPECT_EQ(entry.Name().Str(), longName);
    entry = (std::wstring(70000, L' ') + L"k: 1").c_str();
    EXPECT_EQ(entry.NameView(), L"k");
}

TEST_F(ParseTest, EightBitAndNullLines) {
    TestEntry entry(&m_reservoir, 0, nullptr);
    entry = "caf\xE9: \x80 \"a b\"";
    EXPECT_EQ(entry.Name().Str(), L"caf\u00E9");
    EXPECT_EQ(entry.Values(), (Texts{L"\u20AC", L"a b"}));
    EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());
    EXPECT_EQ(Msg(CatchSea([&] { entry = ": x"; })), kEmptyIdentifier);
    EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked()) << "lock released before parsing";

    entry = static_cast<const wchar_t*>(nullptr);
    EXPECT_TRUE(entry.IsComment());
    entry = static_cast<const char*>(nullptr);
    EXPECT_TRUE(entry.IsComment());
    EXPECT_EQ(entry.Line(), L"");
}

}  // namespace
