// Typed value access of an entry: readers, writers, fallback readers, value
// storage, SetSeaLine and SetToComment, several values through a format string
// (elements, pointers, values, errors), and the stream form of one value text.
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "entry/EntryTestSupport.h"
#include "kelvaro/entry/ResourceSeaStreams.h"
#include "support/TestSupport.h"

namespace {

using namespace entrytest;

using ValuesTest = EntryFixture;

TEST_F(ValuesTest, NumberReadersAndWritesThatStoreTheirTextFormsOrChangeNothing) {
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
    TestEntry entry = Valued(&m_reservoir, {(L"1" + std::wstring(200, L'0')).c_str(), L"nan"});
    EXPECT_EQ(entry.GetDouble(0), 1e200);
    EXPECT_TRUE(std::isinf(entry.GetFloat(0))) << "beyond float: narrowed to infinity";
    EXPECT_TRUE(std::isnan(entry.GetDouble(1)));
    // A write stores its text form in place, or is refused and changes nothing.
    const std::string tooLong(9000, 'x');
    const std::wstring beyond = L"width: tried to set value 4 of 3.",
                       cannotConvert = L" (unknown code page or more than 8191 characters).";
    using Write = std::function<void(CResourceEntry&)>;
    const struct { const char* what; Write write; std::wstring text; bool refused = false; } cases[] = {
        {"SetInt min", [](auto& e) { e.SetInt(INT_MIN, 0); }, L"-2147483648"},
        {"SetLong min", [](auto& e) { e.SetLong(LONG_MIN, 0); }, L"-9223372036854775808"},
        {"SetLong max", [](auto& e) { e.SetLong(LONG_MAX, 0); }, L"9223372036854775807"},
        {"SetDouble tiny", [](auto& e) { e.SetDouble(1e-9, 0); }, L"0.000000"},
        {"SetDouble 1e300", [](auto& e) { e.SetDouble(1e300, 0); }, std::to_wstring(1e300)},
        {"SetFloat max", [](auto& e) { e.SetFloat(FLT_MAX, 0); }, std::to_wstring(double{FLT_MAX})},
        {"SetDouble inf", [](auto& e) { e.SetDouble(HUGE_VAL, 0); }, L"inf"},
        {"SetHex min", [](auto& e) { e.SetHex(INT64_MIN, 0); }, L"8000000000000000"},
        {"SetAddress max", [](auto& e) { e.SetAddress(ULONG_MAX, 0); }, std::wstring(16, L'f')},
        {"SetBool true", [](auto& e) { e.SetBool(true, 0); }, L"1"},
        {"SetText null", [](auto& e) { e.SetText(static_cast<const wchar_t*>(nullptr), 0); }, L""},
        {"Set<CString>", [](CResourceEntry& e) { e.Set<CString>(CString(L"\"q\""), 0); }, L"\"q\""},
        {"SetText 1252", [](auto& e) { e.SetText("caf\xe9", 0, 1252); }, L"caf\u00e9"},
        {"SetText utf-8", [](auto& e) { e.SetText("caf\xc3\xa9", 0, 65001); }, L"caf\u00e9"},
        {"SetInt beyond", [](auto& e) { e.SetInt(5, 4); }, beyond, true},
        {"SetText beyond", [](auto& e) { e.SetText(L"x", 4); }, beyond, true},
        {"SetRgbColor beyond", [](auto& e) { e.SetRgbColor(0x010203, 4); }, beyond, true},
        {"unknown code page", [](auto& e) { e.SetText("abc", 0, 437); },
         L"width: value 0 cannot be converted from code page 437" + cannotConvert, true},
        {"longer than the conversion buffer", [&](auto& e) { e.SetText(tooLong.c_str(), 0, 1252); },
         L"width: value 0 cannot be converted from code page 1252" + cannotConvert, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestEntry entry = Valued(&m_reservoir, {L"a", L"b", L"c"}, L"width");
        if (c.refused)
            ExpectSea([&] { c.write(entry); }, 3u, c.text);
        else
            c.write(entry);
        EXPECT_EQ(entry.Values(), (Texts{c.refused ? L"a" : c.text, L"b", L"c"}));
        EXPECT_EQ(entry.Modified(), !c.refused);
        EXPECT_EQ(entry.RebuildPending(), !c.refused);
        EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());
    }
}

TEST_F(ValuesTest, StringsIntoCallerBuffersAndTheirFallbacks) {
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
        const std::wstring expected = row.Text(4);  // bytes below 0x100
        EXPECT_EQ(narrow.c_str(), std::string(expected.begin(), expected.end()));
        EXPECT_EQ(narrow[size], '#');
        EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());
    }
    // A value too long for the 8-bit conversion buffer is not reported delivered.
    TestEntry longEntry = Valued(&m_reservoir, {std::wstring(9000, L'v').c_str()});
    std::string longNarrow(10000, '#');
    EXPECT_FALSE(longEntry.GetString(longNarrow.data(), 10000, 0));
    EXPECT_EQ(longNarrow[0], '\0');
    EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());

    TestEntry entry = Valued(&m_reservoir, {L"a"});
    EXPECT_TRUE(entry.GetStringFb(1, nullptr).IsEmpty());
    wchar_t wide[4] = L"xyz";
    char narrow[4] = "xyz";
    EXPECT_FALSE(entry.GetStringFb(wide, 4, 1, nullptr) || entry.GetStringFb(narrow, 4, 1, nullptr));
    EXPECT_TRUE(std::wstring(wide) == L"xyz" && std::string(narrow) == "xyz");
    EXPECT_EQ(entry.NValues(), 1u) << "a null fallback writes nothing";
    EXPECT_FALSE(entry.Modified());

    EXPECT_FALSE(entry.GetStringFb(wide, 4, 1, L"abcdef") || entry.GetStringFb(narrow, 4, 2, "uvwxyz"));
    EXPECT_TRUE(std::wstring(wide) == L"abc" && std::string(narrow) == "uvw");
    EXPECT_EQ(entry.Values(), (Texts{L"a", L"abcdef", L"uvwxyz"})) << "a cut fallback is stored whole";
    wchar_t none = L'#';
    EXPECT_FALSE(entry.GetStringFb(&none, 0, 3, L"x"));
    EXPECT_EQ(none, L'#') << "a buffer of no size is never written";
}

TEST_F(ValuesTest, RgbColoursAndIntegerVectorsReadAndWriteOnlyWhatIsThere) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("rgb-colours.txt", 3)) {
        SCOPED_TRACE(row.Where());
        TestEntry entry = Valued(&m_reservoir, {});
        const Texts texts = row.List(0);
        for (unsigned i = 0; i < texts.size(); ++i) entry.WertNeuSetzen(texts[i].c_str(), i);
        EXPECT_EQ(entry.GetRgbColor(static_cast<unsigned>(row.Number(1))), static_cast<unsigned long>(row.Number(2)));
    }
    TestEntry entry = Valued(&m_reservoir, {L"keep"});
    entry.SetRgbColor(0xFF336699UL, 1);  // the highest byte is ignored
    EXPECT_EQ(entry.Values(), (Texts{L"keep", L"153", L"102", L"51"}));

    TestEntry vector = Valued(&m_reservoir, {L"7", L"x", L"-3"});
    int out[4] = {9, 9, 9, 9};  // a count below the values: Lookup.TypedIndexAtAndBeyond...
    EXPECT_EQ(vector.GetIntVector(out, 4), 3u);
    EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{7, 0, -3, 9}));
    EXPECT_THROW(vector.SetIntVector(nullptr, 2), std::invalid_argument);
    vector.SetIntVector(out, 2);
    EXPECT_EQ(vector.Values(), (Texts{L"7", L"0"}));
    TestEntry set = Valued(&m_reservoir, {L"3", L"1", L"3"});
    std::set<int> read = {42};
    EXPECT_EQ(set.GetIntSet(read), 2u);
    EXPECT_EQ(read, (std::set<int>{1, 3})) << "what the set held is gone";
    set.SetIntSet({5, -1, 3});
    EXPECT_EQ(set.Values(), (Texts{L"-1", L"3", L"5"}));
}

TEST_F(ValuesTest, SetSeaLineSetToCommentAndValuesSetFromTheirOwnText) {
    TestEntry entry = Read(L"width: 640 480");
    entry.ResetModified();
    entry.SetSeaLine(L"640 480");
    EXPECT_FALSE(entry.Modified()) << "the same text is no change";
    EXPECT_EQ(GetLineOf(entry), L"width: 640 480") << "not rebuilt";
    std::wstring text = L"800 \"a b\" \u00a7q";
    entry.SetSeaLine(text.c_str());
    text.assign(text.size(), L'#');  // the entry keeps nothing of the caller's text
    EXPECT_EQ(ValuesOf(entry), (Texts{L"800", L"a b", L"\"q"}));
    EXPECT_TRUE(entry.Modified());
    EXPECT_EQ(GetLineOf(entry), L"width:\t800 \"a b\" \u00a7q");
    entry.ResetModified();
    entry.SetSeaLine(L"800 \"a b\" \u00a7q ");
    EXPECT_FALSE(entry.Modified());
    entry.SetSeaLine(L"");
    EXPECT_TRUE(entry.NValues() == 0u && entry.Modified());
    // A bad text keeps the values, and its split values go back.
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

    TestEntry comment = Read(L"width: 640 480");
    comment.ResetModified();
    comment.SetToComment(L"hello world");
    EXPECT_TRUE(comment.IsComment() && comment.Modified() && comment.Name().IsEmpty());
    EXPECT_EQ(ValuesOf(comment), Texts{L"hello world"});
    EXPECT_EQ(GetLineOf(comment), L"; hello world") << "a text replaces all values";
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

    TestEntry self = Valued(&m_reservoir, {L"abcdefghij", L"x"});
    self.WertNeuSetzen(self.EintragText(0) + 3, 0);
    EXPECT_EQ(self.GetString(0), L"defghij");
    const std::wstring longer(40, L'z');
    self.WertNeuSetzen(longer.c_str(), 1);
    self.WertNeuSetzen(self.EintragText(1), 0);  // another value's buffer
    EXPECT_EQ(self.GetString(0), longer.c_str());
}

// The sea's variadic front ends, in small.
#define KELVARO_VARARGS(call)                                                \
    va_list args;                                                            \
    va_start(args, format);                                                  \
    try { call; } catch (...) { va_end(args); throw; }                       \
    va_end(args)
void Get(const CResourceEntry& e, unsigned start, const wchar_t* format, ...) {
    KELVARO_VARARGS(e.GetVarArgP(start, format, args));
}
void SetP(CResourceEntry& e, const wchar_t* format, ...) { KELVARO_VARARGS(e.SetVarArgP(format, args)); }
void Set(CResourceEntry& e, const wchar_t* format, ...) { KELVARO_VARARGS(e.SetVarArg(format, args)); }
#undef KELVARO_VARARGS

const std::wstring kPrefix = L"Resource entry key:\n";
const std::wstring kUnknownType = kPrefix + L"Unknown Lookup() format type (>>'";
const std::wstring kBadElement = kPrefix + L"Invalid Lookup() format string element (>>'";
const std::wstring kBadWidth = kPrefix + L"Invalid Lookup() string width, 1 to 2147483647 (>>'";

using VarArgTest = EntryFixture;

TEST_F(VarArgTest, ElementsEveryTypeAndABadElementOrANullPointerStoppingWhatFollows) {
    const std::map<std::string, std::wstring> errors = {{"T", kUnknownType}, {"W", kBadWidth}, {"E", kBadElement}};
    TestEntry entry = Valued(&m_reservoir, {});
    for (const testsupport::CaseRow& row : testsupport::ReadCases("format-elements.txt", 2)) {
        SCOPED_TRACE(row.Where());
        const std::wstring element = row.Text(0);
        const auto error = errors.find(row.raw[1]);
        if (error == errors.end())
            EXPECT_EQ(entry.FormatInterpretieren(element.c_str()), row.Number(1));
        else
            ExpectSea([&] { entry.FormatInterpretieren(element.c_str()); }, 5, error->second + element + L"')");
    }
    // Reading stops the same way: Lookup.SetTakesValuesNotPointersAndStopsAtAFormatError.
    TestEntry stopped = Valued(&m_reservoir, {L"a", L"b", L"c"});
    const int one = 1, three = 3;
    ExpectSea([&] { SetP(stopped, L"%d %lld %d", &one, &one, &three); }, 5, kUnknownType + L"%lld %d')");
    EXPECT_EQ(stopped.Values(), (Texts{L"1", L"b", L"c"}));
    stopped = Valued(&m_reservoir, {L"a", L"b", L"c"});
    ExpectSea([&] { Set(stopped, L"%d x %d", 2, 3); }, 5, kBadElement + L"x %d')");
    EXPECT_EQ(stopped.Values(), (Texts{L"2", L"b", L"c"}));
    stopped = Valued(&m_reservoir, {L"a", L"b", L"c"});  // %c is refused in Lookup's test
    ExpectSea([&] { Set(stopped, L"%d %lc %d", 4, L'A', 3); }, 5, L"Resource entry key: Unknown data type");
    EXPECT_EQ(stopped.Values(), (Texts{L"4", L"b", L"c"})) << "SetVarArg refuses characters";
    stopped = Valued(&m_reservoir, {L"1", L"2"});
    int a = 0;
    EXPECT_THROW(Get(stopped, 0, L"%d %d", &a, static_cast<int*>(nullptr)), std::invalid_argument);
    EXPECT_EQ(a, 1);
    EXPECT_THROW(SetP(stopped, L"%d", static_cast<const int*>(nullptr)), std::invalid_argument);
    EXPECT_EQ(stopped.Values(), (Texts{L"1", L"2"}));
    SetP(stopped, L"%s", static_cast<const wchar_t*>(nullptr));  // a null string is the empty text
    EXPECT_EQ(stopped.Values(), (Texts{L"", L"2"}));

    TestEntry typed = Valued(&m_reservoir, {L"12", L"2.5", L"abc", L"-7", L"1.25", L"ff", L"3", L"keep"});
    int i = 0;
    long l = 0;
    unsigned long x = 0;
    float f = 0;
    double d = 0;
    wchar_t c = 0, s[8] = L"", left[8] = L"left";
    Get(typed, 0, L"  %d %lf\t%s %ld %f %lx %lc ", &i, &d, s, &l, &f, &x, &c);
    EXPECT_EQ(std::tuple(i, d, std::wstring(s), l, f, x, c), std::tuple(12, 2.5, L"abc", -7L, 1.25f, 255UL, L'\3'));
    EXPECT_FALSE(typed.Modified());
    Get(typed, 1, L"%d", &i);  // from a start value on
    EXPECT_EQ(i, 2);
    Get(typed, 7, L"%s %s", s, left);  // the second value is missing: its variable keeps its text
    EXPECT_TRUE(std::wstring(s) == L"keep" && std::wstring(left) == L"left");

    i = -12;
    l = LONG_MIN;
    c = L'A';
    SetP(typed, L"%s %d %ld %f %lf %x %c", L"two words", &i, &l, &f, &d, &x, &c);
    EXPECT_EQ(typed.Values(), (Texts{L"two words", L"-12", L"-9223372036854775808", L"1.250000", L"2.500000",
                                     L"ff", L"65", L"keep"}));
    Set(typed, L"%s %d %ld %f %lf %lx", L"text", -12, 123456789012L, 1.5f, -0.25, 0xdeadbeefUL);
    EXPECT_EQ(typed.Values(),
              (Texts{L"text", L"-12", L"123456789012", L"1.500000", L"-0.250000", L"deadbeef", L"65", L"keep"}));
    TestEntry empty = Valued(&m_reservoir, {});
    Set(empty, L"%d %d", 1, 2);  // appended in order
    EXPECT_EQ(empty.Values(), (Texts{L"1", L"2"}));
    empty.ClearFlags();
    Set(empty, L"%d", 1);
    EXPECT_FALSE(empty.Modified()) << "the same text is no change";
    for (const wchar_t* format : {L"", L" \t\n "}) {
        Get(empty, 0, format);
        SetP(empty, format);
        Set(empty, format);
        EXPECT_EQ(empty.Values(), (Texts{L"1", L"2"})) << "an empty format does nothing";
    }
}

TEST_F(VarArgTest, StringWidthsBoundTheCopyAndCharactersHaveOneWidthOnBothSides) {
    const std::wstring longValue(5000, L'v');
    // `written`: the characters the element may touch, terminator included.
    const struct { const wchar_t* value; const wchar_t* format; std::wstring expected; long written; } cases[] = {
        {L"abcd", L"%4s", L"abcd", 5}, {L"abcde", L"%4s", L"abcd", 5}, {L"", L"%4s", L"", 1},
        {longValue.c_str(), L"%4ls", L"vvvv", 5}, {L"ab", L"%1s", L"a", 2}, {L"abc", L"%s", L"abc", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::wstring(c.format) << " of " << std::wstring(c.value).size());
        TestEntry entry = Valued(&m_reservoir, {c.value, L"7"});
        wchar_t buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        int after = 0;
        Get(entry, 0, (c.format + std::wstring(L" %d")).c_str(), buffer, &after);
        EXPECT_EQ(std::wstring(buffer), c.expected);
        EXPECT_EQ(std::count(std::begin(buffer), std::end(buffer), L'#'), 16 - c.written);
        EXPECT_EQ(after, 7) << "the next element still reads its own value";
    }
    // When writing, the width bounds what is read from the argument.
    TestEntry entry = Valued(&m_reservoir, {});
    const wchar_t unterminated[3] = {L'x', L'y', L'z'};
    SetP(entry, L"%3s %2s %5s", unterminated, L"abc", L"de");
    EXPECT_EQ(entry.Values(), (Texts{L"xyz", L"ab", L"de"}));
    Set(entry, L"%1s %d", L"long", 4);
    EXPECT_EQ(entry.Values(), (Texts{L"l", L"4", L"de"}));

    for (const testsupport::CaseRow& row : testsupport::ReadCases("format-characters.txt", 3)) {
        SCOPED_TRACE(row.Where());
        TestEntry character = Valued(&m_reservoir, {row.Text(0).c_str()});
        // Guards on both sides: neither reading nor writing passes the object.
        wchar_t cell[3] = {L'<', L'?', L'>'};
        Get(character, 0, L"%c", &cell[1]);
        EXPECT_EQ(std::wstring(cell, 3), (std::wstring{L'<', static_cast<wchar_t>(row.Number(1)), L'>'}));
        TestEntry target = Valued(&m_reservoir, {});
        SetP(target, L"%lc", &cell[1]);
        EXPECT_EQ(target.Values(), Texts{row.Text(2)});
    }
}

TEST(ValueStreamTest, WritesOneTokenAndReadsTokens) {
    using ResourceSea::operator<<;
    using ResourceSea::operator>>;
    for (const testsupport::CaseRow& row : testsupport::ReadCases("value-stream.txt", 3)) {
        SCOPED_TRACE(row.Where());
        if (row.raw[0] == "write") {
            std::wostringstream out;
            out << CString(row.Text(1).c_str());
            EXPECT_EQ(out.str(), row.Text(2));
            continue;
        }
        std::wistringstream in(row.Text(1));
        std::vector<std::wstring> tokens;
        CString token(L"stale");
        while (in >> token) tokens.push_back(token.Str());
        EXPECT_EQ(tokens, row.List(2));
        EXPECT_TRUE(token.IsEmpty()) << "the failed read at the end empties the target";
    }
}

}  // namespace
