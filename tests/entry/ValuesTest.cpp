// Typed value access of an entry: readers, writers, fallback readers, value
// storage (in-place rewrites, shrinking), SetSeaLine and SetToComment.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cwchar>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "entry/EntryTestSupport.h"
#include "support/TestSupport.h"

namespace {

using namespace entrytest;

std::wstring PrintfFixed(double value) {
    wchar_t buffer[512];
    std::swprintf(buffer, 512, L"%f", value);
    return buffer;
}

using ValuesTest = EntryFixture;

TEST_F(ValuesTest, NumberReaders) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("value-readers.txt", 3)) {
        SCOPED_TRACE(row.Where());
        const std::wstring text = row.Text(1);
        TestEntry entry = Valued(&m_reservoir, {text.c_str()});
        if (row.raw[0] == "int") {
            EXPECT_EQ(entry.GetInt(0), row.Number(2));
            EXPECT_EQ(entry.GetLong(0), row.Number(3));
            EXPECT_EQ(entry.GetBool(0), row.Flag(4));
        } else if (row.raw[0] == "hex") {
            EXPECT_EQ(entry.GetHex(0), row.Number(2));
            EXPECT_EQ(entry.GetAddress(0), std::stoull(row.raw[3]));
        } else if (row.raw[0] == "text") {
            EXPECT_EQ(entry.Get<CString>(0), row.Text(2));
            EXPECT_EQ(entry.GetString(0), text);
        } else {
            const double value = std::stod(row.raw[2]);
            EXPECT_EQ(entry.GetDouble(0), value);
            EXPECT_EQ(entry.GetFloat(0), static_cast<float>(value));
        }
        EXPECT_TRUE(entry.Accessed());
        EXPECT_FALSE(entry.Modified());
    }
    // A number of many digits is read whole, not from a cut copy.
    const std::wstring big = L"1" + std::wstring(200, L'0');
    TestEntry entry = Valued(&m_reservoir, {big.c_str(), L"nan"});
    EXPECT_EQ(entry.GetDouble(0), 1e200);
    EXPECT_TRUE(std::isinf(entry.GetFloat(0))) << "beyond float: narrowed to infinity";
    EXPECT_TRUE(std::isnan(entry.GetDouble(1)));
}

TEST_F(ValuesTest, WritersStoreTheirTextForms) {
    using Write = std::function<void(CResourceEntry&)>;
    const struct { const char* what; Write write; std::wstring text; } cases[] = {
        {"SetInt min", [](CResourceEntry& e) { e.SetInt(INT_MIN, 0); }, L"-2147483648"},
        {"SetLong min", [](CResourceEntry& e) { e.SetLong(LONG_MIN, 0); }, L"-9223372036854775808"},
        {"SetLong max", [](CResourceEntry& e) { e.SetLong(LONG_MAX, 0); }, L"9223372036854775807"},
        {"SetDouble tiny", [](CResourceEntry& e) { e.SetDouble(1e-9, 0); }, L"0.000000"},
        {"SetDouble 1e300", [](CResourceEntry& e) { e.SetDouble(1e300, 0); }, PrintfFixed(1e300)},
        {"SetFloat max", [](CResourceEntry& e) { e.SetFloat(FLT_MAX, 0); }, PrintfFixed(FLT_MAX)},
        {"SetDouble inf", [](CResourceEntry& e) { e.SetDouble(HUGE_VAL, 0); }, L"inf"},
        {"SetHex min", [](CResourceEntry& e) { e.SetHex(INT64_MIN, 0); }, L"8000000000000000"},
        {"SetAddress max", [](CResourceEntry& e) { e.SetAddress(ULONG_MAX, 0); }, std::wstring(16, L'f')},
        {"SetBool true", [](CResourceEntry& e) { e.SetBool(true, 0); }, L"1"},
        {"SetText null", [](CResourceEntry& e) { e.SetText(static_cast<const wchar_t*>(nullptr), 0); }, L""},
        {"Set<CString>", [](CResourceEntry& e) { e.Set<CString>(CString(L"\"q\""), 0); }, L"\"q\""},
        {"SetText 1252", [](CResourceEntry& e) { e.SetText("caf\xe9", 0, 1252); }, L"caf\u00e9"},
        {"SetText utf-8", [](CResourceEntry& e) { e.SetText("caf\xc3\xa9", 0, 65001); }, L"caf\u00e9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestEntry entry = Valued(&m_reservoir, {L"old", L"next"});
        c.write(entry);
        EXPECT_EQ(entry.Values(), (Texts{c.text, L"next"}));
        EXPECT_TRUE(entry.Modified());
        EXPECT_TRUE(entry.RebuildPending());
    }
}

TEST_F(ValuesTest, RefusedWritesChangeNothing) {
    const std::string tooLong(9000, 'x');
    const std::wstring cannotConvert = L" (unknown code page or more than 8191 characters).";
    const struct { const char* what; std::function<void(CResourceEntry&)> write; std::wstring message; } cases[] = {
        {"SetInt beyond", [](CResourceEntry& e) { e.SetInt(5, 4); }, L"width: tried to set value 4 of 3."},
        {"SetText beyond", [](CResourceEntry& e) { e.SetText(L"x", 4); }, L"width: tried to set value 4 of 3."},
        {"SetRgbColor beyond", [](CResourceEntry& e) { e.SetRgbColor(0x010203, 4); },
         L"width: tried to set value 4 of 3."},
        {"unknown code page", [](CResourceEntry& e) { e.SetText("abc", 0, 437); },
         L"width: value 0 cannot be converted from code page 437" + cannotConvert},
        {"longer than the conversion buffer", [&](CResourceEntry& e) { e.SetText(tooLong.c_str(), 0, 1252); },
         L"width: value 0 cannot be converted from code page 1252" + cannotConvert},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestEntry entry = Valued(&m_reservoir, {L"a", L"b", L"c"}, L"width");
        ExpectSea([&] { c.write(entry); }, 3u, c.message);
        EXPECT_EQ(entry.Values(), (Texts{L"a", L"b", L"c"}));
        EXPECT_FALSE(entry.Modified());
        EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());
    }
}

TEST_F(ValuesTest, NullAndCutStringFallbacks) {
    TestEntry entry = Valued(&m_reservoir, {L"a"});
    EXPECT_TRUE(entry.GetStringFb(1, nullptr).IsEmpty());
    wchar_t wide[4] = L"xyz";
    EXPECT_FALSE(entry.GetStringFb(wide, 4, 1, nullptr));
    EXPECT_EQ(std::wstring(wide), L"xyz");
    char narrow[4] = "xyz";
    EXPECT_FALSE(entry.GetStringFb(narrow, 4, 1, nullptr));
    EXPECT_EQ(std::string(narrow), "xyz");
    EXPECT_EQ(entry.NValues(), 1u) << "a null fallback writes nothing";
    EXPECT_FALSE(entry.Modified());

    EXPECT_FALSE(entry.GetStringFb(wide, 4, 1, L"abcdef"));
    EXPECT_EQ(std::wstring(wide), L"abc");
    EXPECT_FALSE(entry.GetStringFb(narrow, 4, 2, "uvwxyz"));
    EXPECT_EQ(std::string(narrow), "uvw");
    EXPECT_EQ(entry.Values(), (Texts{L"a", L"abcdef", L"uvwxyz"})) << "a cut fallback is stored whole";
    wchar_t none = L'#';
    EXPECT_FALSE(entry.GetStringFb(&none, 0, 3, L"x"));
    EXPECT_EQ(none, L'#') << "a buffer of no size is never written";
}

TEST_F(ValuesTest, StringsIntoCallerBuffers) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("string-buffers.txt", 6)) {
        SCOPED_TRACE(row.Where());
        const std::wstring value = row.Text(0);
        const auto size = static_cast<unsigned>(row.Number(1));
        TestEntry entry = row.Null(0) ? Valued(&m_reservoir, {}) : Valued(&m_reservoir, {value.c_str()});
        std::wstring wide(9, L'#');
        EXPECT_EQ(entry.GetString(wide.data(), size, 0), row.Flag(3));
        EXPECT_EQ(wide.c_str(), row.Text(2));
        EXPECT_EQ(wide[size], L'#') << "nothing written past the given size";
        std::string narrow(9, '#');
        EXPECT_EQ(entry.GetString(narrow.data(), size, 0), row.Flag(5));
        std::string expected;
        for (wchar_t c : row.Text(4)) expected += static_cast<char>(c);
        EXPECT_EQ(narrow.c_str(), expected);
        EXPECT_EQ(narrow[size], '#');
        EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());
    }
    // A value too long for the 8-bit conversion buffer is not reported delivered.
    const std::wstring longText(9000, L'v');
    TestEntry longEntry = Valued(&m_reservoir, {longText.c_str()});
    std::string longNarrow(10000, '#');
    EXPECT_FALSE(longEntry.GetString(longNarrow.data(), 10000, 0));
    EXPECT_EQ(longNarrow[0], '\0');
    EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());
}

TEST_F(ValuesTest, RgbColours) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("rgb-colours.txt", 3)) {
        SCOPED_TRACE(row.Where());
        TestEntry entry = Valued(&m_reservoir, {});
        const Texts texts = row.List(0);
        for (unsigned i = 0; i < texts.size(); ++i)
            entry.WertNeuSetzen(texts[i].c_str(), i);
        EXPECT_EQ(entry.GetRgbColor(static_cast<unsigned>(row.Number(1))), static_cast<unsigned long>(row.Number(2)));
    }
    TestEntry entry = Valued(&m_reservoir, {L"keep"});
    entry.SetRgbColor(0xFF336699UL, 1);  // the highest byte is ignored
    EXPECT_EQ(entry.Values(), (Texts{L"keep", L"153", L"102", L"51"}));
}

TEST_F(ValuesTest, IntegerVectorsReadAndWriteOnlyWhatIsThere) {
    TestEntry entry = Valued(&m_reservoir, {L"7", L"x", L"-3"});
    int out[4] = {9, 9, 9, 9};  // a count below the values: Lookup.TypedIndexAtAndBeyond...
    EXPECT_EQ(entry.GetIntVector(out, 4), 3u);
    EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{7, 0, -3, 9}));
    EXPECT_THROW(entry.SetIntVector(nullptr, 2), std::invalid_argument);
    entry.SetIntVector(out, 2);
    EXPECT_EQ(entry.Values(), (Texts{L"7", L"0"}));
    TestEntry set = Valued(&m_reservoir, {L"3", L"1", L"3"});
    std::set<int> read = {42};
    EXPECT_EQ(set.GetIntSet(read), 2u);
    EXPECT_EQ(read, (std::set<int>{1, 3}));
    set.SetIntSet({5, -1, 3});
    EXPECT_EQ(set.Values(), (Texts{L"-1", L"3", L"5"}));
}

TEST_F(ValuesTest, ValueMayBeSetFromItsOwnText) {
    TestEntry entry = Valued(&m_reservoir, {L"abcdefghij", L"x"});
    entry.WertNeuSetzen(entry.EintragText(0) + 3, 0);
    EXPECT_EQ(entry.GetString(0), L"defghij");
    const std::wstring longer(40, L'z');
    entry.WertNeuSetzen(longer.c_str(), 1);
    entry.WertNeuSetzen(entry.EintragText(1), 0);  // another value's buffer
    EXPECT_EQ(entry.GetString(0), longer.c_str());
}

TEST_F(ValuesTest, SetSeaLine) {
    TestEntry entry = Read(L"width: 640 480");
    entry.ResetModified();
    entry.SetSeaLine(L"640 480");
    EXPECT_FALSE(entry.Modified()) << "the same text is no change";
    EXPECT_EQ(GetLineOf(entry), L"width: 640 480") << "not rebuilt";
    {
        std::wstring text = L"800 \"a b\" \u00a7q";
        entry.SetSeaLine(text.c_str());
        text.assign(text.size(), L'#');  // the entry keeps nothing of the caller's text
    }
    EXPECT_EQ(ValuesOf(entry), (Texts{L"800", L"a b", L"\"q"}));
    EXPECT_TRUE(entry.Modified());
    EXPECT_EQ(GetLineOf(entry), L"width:\t800 \"a b\" \u00a7q");
    entry.ResetModified();
    entry.SetSeaLine(L"800 \"a b\" \u00a7q ");
    EXPECT_FALSE(entry.Modified());
    entry.SetSeaLine(L"");
    EXPECT_EQ(entry.NValues(), 0u);
    EXPECT_TRUE(entry.Modified());

    // A bad text keeps the values (Lookup.SetLineReplacesTheValuePartOrReportsAndKeepsIt), and its
    // split values go back.
    entry = L"width: 640 480";
    entry.ResetModified();
    ASSERT_EQ(entry.Values().size(), 2u);  // in buffers before the count below
    const unsigned small = m_reservoir.SmallCount();
    ExpectSea([&] { entry.SetSeaLine(L"1 2 \"open"); }, 2u, L"String value not terminated ('\"' missing)");
    EXPECT_FALSE(entry.Modified());
    EXPECT_EQ(m_reservoir.SmallCount(), small);
    EXPECT_EQ(GetLineOf(entry), L"width: 640 480");

    // A line too long to rebuild can be shortened.
    TestEntry big = Valued(&m_reservoir, {}, L"big");
    big.SetText(std::wstring(5000, L'h').c_str(), 0);
    EXPECT_EQ(CatchSea([&] { GetLineOf(big); }).m_code, 3u);
    big.SetSeaLine(L"short");
    EXPECT_EQ(GetLineOf(big), L"big:\tshort");
}

// A null text (the values kept) and a list line made a comment: Lookup.DeleteHasEntryTouchIsListEntry
// and ResourceList.KeySearchLooksAtEveryLineAndMarksIt.
TEST_F(ValuesTest, SetToComment) {
    TestEntry entry = Read(L"width: 640 480");
    entry.ResetModified();
    entry.SetToComment(L"hello world");
    EXPECT_TRUE(entry.IsComment());
    EXPECT_TRUE(entry.Modified());
    EXPECT_TRUE(entry.Name().IsEmpty());
    EXPECT_EQ(ValuesOf(entry), Texts{L"hello world"});
    EXPECT_EQ(GetLineOf(entry), L"; hello world") << "a text replaces all values";

    // The text may be the entry's own value (freed at once without a reservoir) or line.
    TestEntry own = Valued(nullptr, {L"some longer value text", L"x"});
    own.SetToComment(own.EintragText(0));
    EXPECT_EQ(own.Values(), Texts{L"some longer value text"});
    TestEntry bad(&m_reservoir, 0, nullptr);
    EXPECT_EQ(CatchSea([&] { bad = L"a: \"never closed"; }).m_code, 2u);
    bad.SetToComment(bad.LinePtr());
    EXPECT_EQ(bad.GetString(0), L"a: \"never closed");
    EXPECT_FALSE(bad.SyntaxError());

    CResourceEntry head(&m_reservoir, CResourceEntry::StatusListEntry, L"colors");
    head.SetToComment(L"gone");
    EXPECT_FALSE(head.IsListEntry());
    EXPECT_EQ(GetLineOf(head), L"; gone") << "a list head becomes a plain comment";
}

}  // namespace
