// Several values of an entry through a format string: element decoding, reading
// into pointers, writing from pointers and from values, and the errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>

#include "entry/EntryTestSupport.h"
#include "support/TestSupport.h"

namespace {

using namespace entrytest;

// The sea's variadic front ends, in small.
void Get(const CResourceEntry& e, unsigned start, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    try { e.GetVarArgP(start, format, args); } catch (...) { va_end(args); throw; }
    va_end(args);
}
void SetP(CResourceEntry& e, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    try { e.SetVarArgP(format, args); } catch (...) { va_end(args); throw; }
    va_end(args);
}
void Set(CResourceEntry& e, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    try { e.SetVarArg(format, args); } catch (...) { va_end(args); throw; }
    va_end(args);
}

const std::wstring kPrefix = L"Resource entry key:\n";
const std::wstring kUnknownType = kPrefix + L"Unknown Lookup() format type (>>'";
const std::wstring kBadElement = kPrefix + L"Invalid Lookup() format string element (>>'";
const std::wstring kBadWidth = kPrefix + L"Invalid Lookup() string width, 1 to 2147483647 (>>'";

using VarArgTest = EntryFixture;

TEST_F(VarArgTest, Elements) {
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
}

TEST_F(VarArgTest, EveryTypeIsReadAndWritten) {
    TestEntry entry = Valued(&m_reservoir, {L"12", L"2.5", L"abc", L"-7", L"1.25", L"ff", L"3", L"keep"});
    int i = 0;
    double d = 0;
    wchar_t s[8] = L"";
    long l = 0;
    float f = 0;
    unsigned long x = 0;
    wchar_t c = 0;
    Get(entry, 0, L"  %d %lf\t%s %ld %f %lx %lc ", &i, &d, s, &l, &f, &x, &c);
    EXPECT_EQ(std::tuple(i, d, std::wstring(s), l, f, x, c), std::tuple(12, 2.5, L"abc", -7L, 1.25f, 255UL, L'\3'));
    EXPECT_FALSE(entry.Modified());
    Get(entry, 1, L"%d", &i);  // from a start value on
    EXPECT_EQ(i, 2);
    wchar_t left[8] = L"left";
    Get(entry, 7, L"%s %s", s, left);  // the second value is missing: its variable keeps its text
    EXPECT_EQ(std::wstring(s), L"keep");
    EXPECT_EQ(std::wstring(left), L"left");

    i = -12;
    l = LONG_MIN;
    c = L'A';
    SetP(entry, L"%s %d %ld %f %lf %x %c", L"two words", &i, &l, &f, &d, &x, &c);
    EXPECT_EQ(entry.Values(), (Texts{L"two words", L"-12", L"-9223372036854775808", L"1.250000", L"2.500000",
                                     L"ff", L"65", L"keep"}));
    Set(entry, L"%s %d %ld %f %lf %lx", L"text", -12, 123456789012L, 1.5f, -0.25, 0xdeadbeefUL);
    EXPECT_EQ(entry.Values(),
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

TEST_F(VarArgTest, AStringWidthBoundsTheCopyAndTerminates) {
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
        Get(entry, 0, (std::wstring(c.format) + L" %d").c_str(), buffer, &after);
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
}

// Reading stops the same way: Lookup.SetTakesValuesNotPointersAndStopsAtAFormatError.
TEST_F(VarArgTest, BadElementOrNullPointerStopsWithWhatCameBeforeDone) {
    TestEntry entry = Valued(&m_reservoir, {L"a", L"b", L"c"});
    const int one = 1, three = 3;
    ExpectSea([&] { SetP(entry, L"%d %lld %d", &one, &one, &three); }, 5, kUnknownType + L"%lld %d')");
    EXPECT_EQ(entry.Values(), (Texts{L"1", L"b", L"c"}));
    entry = Valued(&m_reservoir, {L"a", L"b", L"c"});
    ExpectSea([&] { Set(entry, L"%d x %d", 2, 3); }, 5, kBadElement + L"x %d')");
    EXPECT_EQ(entry.Values(), (Texts{L"2", L"b", L"c"}));
    entry = Valued(&m_reservoir, {L"a", L"b", L"c"});  // %c is refused in Lookup's test
    ExpectSea([&] { Set(entry, L"%d %lc %d", 4, L'A', 3); }, 5, L"Resource entry key: Unknown data type");
    EXPECT_EQ(entry.Values(), (Texts{L"4", L"b", L"c"})) << "SetVarArg refuses characters";
    entry = Valued(&m_reservoir, {L"1", L"2"});
    int a = 0;
    EXPECT_THROW(Get(entry, 0, L"%d %d", &a, static_cast<int*>(nullptr)), std::invalid_argument);
    EXPECT_EQ(a, 1);
    EXPECT_THROW(SetP(entry, L"%d", static_cast<const int*>(nullptr)), std::invalid_argument);
    EXPECT_EQ(entry.Values(), (Texts{L"1", L"2"}));
    SetP(entry, L"%s", static_cast<const wchar_t*>(nullptr));  // a null string is the empty text
    EXPECT_EQ(entry.Values(), (Texts{L"", L"2"}));
}

TEST_F(VarArgTest, CharacterObjectHasOneWidthOnBothSides) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("format-characters.txt", 3)) {
        SCOPED_TRACE(row.Where());
        TestEntry entry = Valued(&m_reservoir, {row.Text(0).c_str()});
        // Guards on both sides: neither reading nor writing passes the object.
        wchar_t cell[3] = {L'<', L'?', L'>'};
        Get(entry, 0, L"%c", &cell[1]);
        EXPECT_EQ(cell[1], static_cast<wchar_t>(row.Number(1)));
        EXPECT_EQ(cell[0], L'<');
        EXPECT_EQ(cell[2], L'>');
        TestEntry target = Valued(&m_reservoir, {});
        SetP(target, L"%lc", &cell[1]);
        EXPECT_EQ(target.Values(), Texts{row.Text(2)});
    }
}

}  // namespace
