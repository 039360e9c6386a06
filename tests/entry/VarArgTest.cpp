// Several values of an entry through a format string: element decoding, reading
// into pointers, writing from pointers and from values, and the errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "kelvaro/entry/ResValueReservoir.h"
#include "kelvaro/entry/ResourceEntry.h"

namespace {

class FormatEntry : public CResourceEntry {
public:
    FormatEntry(CResValueReservoir* reservoir, std::initializer_list<const wchar_t*> values)
        : CResourceEntry(reservoir, 0, L"key") {
        unsigned i = 0;
        for (const wchar_t* v : values)
            WertNeuSetzen(v, i++);
        m_status = 0;
    }
    using CResourceEntry::FormatInterpretieren;

    std::vector<std::wstring> Texts() const {
        std::vector<std::wstring> texts;
        for (unsigned i = 0; i < NValues(); ++i)
            texts.emplace_back(m_values[i].first);
        return texts;
    }

    // The sea's variadic front ends, in small.
    void Get(unsigned start, const wchar_t* format, ...) const {
        va_list args;
        va_start(args, format);
        try {
            GetVarArgP(start, format, args);
        } catch (...) {
            va_end(args);
            throw;
        }
        va_end(args);
    }
    void SetP(const wchar_t* format, ...) {
        va_list args;
        va_start(args, format);
        try {
            SetVarArgP(format, args);
        } catch (...) {
            va_end(args);
            throw;
        }
        va_end(args);
    }
    void Set(const wchar_t* format, ...) {
        va_list args;
        va_start(args, format);
        try {
            SetVarArg(format, args);
        } catch (...) {
            va_end(args);
            throw;
        }
        va_end(args);
    }
};

using Texts = std::vector<std::wstring>;

class VarArgTest : public ::testing::Test {
protected:
    CResValueReservoir m_reservoir{8};
};

// Runs `call`, expecting code 5 with exactly `message`.
template <class Call>
void ExpectFormatError(Call call, const std::wstring& message) {
    try {
        call();
        ADD_FAILURE() << "no exception";
    } catch (const CResourceSeaException& e) {
        EXPECT_EQ(e.m_code, 5u);
        EXPECT_EQ(e.m_message.Str(), message);
    }
}

TEST_F(VarArgTest, ElementTypes) {
    const struct {
        const wchar_t* element;
        int type;
    } cases[] = {
        {L"%s", 0},  {L"%ls", 0}, {L"%c", 1},     {L"%lc", 1},   {L"%d", 2},  {L"%ld", 3},
        {L"%f", 4},  {L"%lf", 5}, {L"%x", 6},     {L"%lx", 6},   {L"%dxyz", 2}, {L"%lfoo bar", 5},
        {L"%s %d", 0},  {L"%1s", 0},  {L"%255s", 0}, {L"%3ls", 0},
    };
    FormatEntry entry(&m_reservoir, {});
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::wstring(c.element));
        EXPECT_EQ(entry.FormatInterpretieren(c.element), c.type);
    }
}

TEST_F(VarArgTest, BadElements) {
    const struct {
        const wchar_t* element;
        const wchar_t* message;
    } cases[] = {
        {L"%5d", L"Resource entry key:\nUnknown Lookup() format type (>>'%5d')"},
        {L"%3c", L"Resource entry key:\nUnknown Lookup() format type (>>'%3c')"},
        {L"%0s", L"Resource entry key:\nInvalid Lookup() string width, 1 to 2147483647 (>>'%0s')"},
        {L"%2147483648s", L"Resource entry key:\nInvalid Lookup() string width, 1 to 2147483647 (>>'%2147483648s')"},
        {L"%99999999999999999999999s",
         L"Resource entry key:\nInvalid Lookup() string width, 1 to 2147483647 (>>'%99999999999999999999999s')"},
        {L"%lld %d", L"Resource entry key:\nUnknown Lookup() format type (>>'%lld %d')"},
        {L"%q", L"Resource entry key:\nUnknown Lookup() format type (>>'%q')"},
        {L"%S", L"Resource entry key:\nUnknown Lookup() format type (>>'%S')"},
        {L"%", L"Resource entry key:\nUnknown Lookup() format type (>>'%')"},
        {L"%l", L"Resource entry key:\nUnknown Lookup() format type (>>'%l')"},
        {L"% d", L"Resource entry key:\nUnknown Lookup() format type (>>'% d')"},
        {L"d", L"Resource entry key:\nInvalid Lookup() format string element (>>'d')"},
        {L"x%d", L"Resource entry key:\nInvalid Lookup() format string element (>>'x%d')"},
        {L"", L"Resource entry key:\nInvalid Lookup() format string element (>>'')"},
    };
    FormatEntry entry(&m_reservoir, {});
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::wstring(c.element));
        ExpectFormatError([&] { entry.FormatInterpretieren(c.element); }, c.message);
    }
}

TEST_F(VarArgTest, ReadsValuesIntoPointers) {
    FormatEntry entry(&m_reservoir, {L"12", L"2.5", L"abc", L"-7", L"1.25", L"ff", L"3"});
    int i = 0;
    double d = 0;
    wchar_t s[8] = L"";
    long l = 0;
    float f = 0;
    unsigned long x = 0;
    wchar_t c = 0;
    entry.Get(0, L"  %d %lf\t%s %ld %f %lx %lc ", &i, &d, s, &l, &f, &x, &c);
    EXPECT_EQ(i, 12);
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(std::wstring(s), L"abc");
    EXPECT_EQ(l, -7L);
    EXPECT_EQ(f, 1.25f);
    EXPECT_EQ(x, 255UL);
    EXPECT_EQ(c, static_cast<wchar_t>(3));
    EXPECT_TRUE(entry.Accessed());
    EXPECT_FALSE(entry.Modified());

    int second = 0;
    entry.Get(1, L"%d", &second);  // from a start value on
    EXPECT_EQ(second, 2);
}

TEST_F(VarArgTest, AStringWidthBoundsTheCopyAndTerminates) {
    const std::wstring longValue(5000, L'v');
    const struct {
        const wchar_t* value;
        const wchar_t* format;
        std::wstring expected;
        std::size_t written;  // characters the element may touch, terminator included
    } cases[] = {
        {L"abcd", L"%4s", L"abcd", 5},          // exact fit
        {L"abcde", L"%4s", L"abcd", 5},         // one short: cut, still terminated
        {L"", L"%4s", L"", 1},                  // empty value
        {longValue.c_str(), L"%4ls", L"vvvv", 5},
        {L"ab", L"%1s", L"a", 2},
        {L"abc", L"%s", L"abc", 4},             // unbounded as before
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::wstring(c.format) << " of " << std::wstring(c.value).size());
        FormatEntry entry(&m_reservoir, {c.value, L"7"});
        wchar_t buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        int after = 0;
        entry.Get(0, (std::wstring(c.format) + L" %d").c_str(), buffer, &after);
        EXPECT_EQ(std::wstring(buffer), c.expected);
        EXPECT_EQ(std::count(std::begin(buffer), std::end(buffer), L'#'), static_cast<long>(16 - c.written));
        EXPECT_EQ(after, 7) << "the next element still reads its own value";
    }
}

TEST_F(VarArgTest, AStringWidthBoundsWhatIsWritten) {
    FormatEntry entry(&m_reservoir, {});
    const wchar_t unterminated[3] = {L'x', L'y', L'z'};
    entry.SetP(L"%3s %2s %5s", unterminated, L"abc", L"de");
    EXPECT_EQ(entry.Texts(), (Texts{L"xyz", L"ab", L"de"}));
    entry.Set(L"%1s %d", L"long", 4);
    EXPECT_EQ(entry.Texts(), (Texts{L"l", L"4", L"de"}));
}

TEST_F(VarArgTest, MissingValueEndsReadingQuietly) {
    FormatEntry entry(&m_reservoir, {L"12", L"2.5"});
    int i = 0;
    double d = 0;
    wchar_t s[8] = L"keep";
    entry.Get(0, L"%d %lf %s", &i, &d, s);
    EXPECT_EQ(i, 12);
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(std::wstring(s), L"keep");
    // Not even examined: a bad element after the last value is no error.
    entry.Get(2, L"%q");
    EXPECT_TRUE(entry.Accessed());
}

TEST_F(VarArgTest, WhiteSpaceFormatReadsAndWritesNothing) {
    for (const wchar_t* format : {L"", L"   ", L" \t\n "}) {
        SCOPED_TRACE(testing::Message() << "'" << std::wstring(format) << "'");
        FormatEntry entry(&m_reservoir, {L"1"});
        entry.Get(0, format);
        entry.SetP(format);
        entry.Set(format);
        EXPECT_EQ(entry.Status(), 0u);
        EXPECT_EQ(entry.Texts(), Texts{L"1"});
    }
}

TEST_F(VarArgTest, BadElementStopsReadingWithEarlierTargetsFilled) {
    const struct {
        const wchar_t* format;
        const wchar_t* message;
    } cases[] = {
        {L"%d %5d %d", L"Resource entry key:\nUnknown Lookup() format type (>>'%5d %d')"},
        {L"%d d %d", L"Resource entry key:\nInvalid Lookup() format string element (>>'d %d')"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::wstring(c.format));
        FormatEntry entry(&m_reservoir, {L"1", L"2", L"3"});
        int a = 0, b = 0, z = 0;
        ExpectFormatError([&] { entry.Get(0, c.format, &a, &b, &z); }, c.message);
        EXPECT_EQ(a, 1);
        EXPECT_EQ(b, 0);
        EXPECT_EQ(z, 0);
    }
}

TEST_F(VarArgTest, CharacterObjectHasOneWidthOnBothSides) {
    const struct {
        const wchar_t* text;
        wchar_t read;
        const wchar_t* written;
    } cases[] = {
        {L"65", L'A', L"65"},
        {L"-3", static_cast<wchar_t>(-3), L"-3"},
        {L"300", static_cast<wchar_t>(300), L"300"},
        {L"99999999999", static_cast<wchar_t>(INT_MAX), L"2147483647"},
        {L"x", 0, L"0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::wstring(c.text));
        FormatEntry entry(&m_reservoir, {c.text});
        // Guards on both sides: neither reading nor writing passes the object.
        wchar_t cell[3] = {L'<', L'?', L'>'};
        entry.Get(0, L"%c", &cell[1]);
        EXPECT_EQ(cell[1], c.read);
        EXPECT_EQ(cell[0], L'<');
        EXPECT_EQ(cell[2], L'>');
        FormatEntry target(&m_reservoir, {});
        target.SetP(L"%lc", &cell[1]);
        EXPECT_EQ(target.Texts(), Texts{c.written});
    }
}

TEST_F(VarArgTest, WritesFromPointers) {
    FormatEntry entry(&m_reservoir, {L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"keep"});
    const int i = -12;
    const long l = LONG_MIN;
    const float f = 1.5f;
    const double d = -0.25;
    const unsigned long x = 255;
    const wchar_t c = L'A';
    entry.SetP(L"%s %d %ld %f %lf %x %c", L"two words", &i, &l, &f, &d, &x, &c);
    EXPECT_EQ(entry.Texts(), (Texts{L"two words", L"-12", L"-9223372036854775808", L"1.500000", L"-0.250000",
                                    L"ff", L"65", L"keep"}));
    EXPECT_TRUE(entry.Modified());

    FormatEntry empty(&m_reservoir, {});
    const int one = 1, two = 2;
    empty.SetP(L"%d %d", &one, &two);  // appended in order
    EXPECT_EQ(empty.Texts(), (Texts{L"1", L"2"}));
}

TEST_F(VarArgTest, WritesFromValues) {
    FormatEntry entry(&m_reservoir, {L"a", L"b", L"c", L"d", L"e", L"f", L"keep"});
    entry.Set(L"%s %d %ld %f %lf %lx", L"text", -12, 123456789012L, 1.5f, -0.25, 0xdeadbeefUL);
    EXPECT_EQ(entry.Texts(), (Texts{L"text", L"-12", L"123456789012", L"1.500000", L"-0.250000", L"deadbeef",
                                    L"keep"}));

    FormatEntry five(&m_reservoir, {L"10", L"20", L"30", L"40", L"50"});
    five.Set(L"%d %d", 1, 2);
    EXPECT_EQ(five.Texts(), (Texts{L"1", L"2", L"30", L"40", L"50"}));

    FormatEntry same(&m_reservoir, {L"1"});
    same.Set(L"%d", 1);
    EXPECT_TRUE(same.Accessed());
    EXPECT_FALSE(same.Modified());
}

TEST_F(VarArgTest, BadElementStopsWritingWithEarlierValuesWritten) {
    {
        SCOPED_TRACE("SetVarArgP");
        FormatEntry entry(&m_reservoir, {L"a", L"b", L"c"});
        const int one = 1, three = 3;
        ExpectFormatError([&] { entry.SetP(L"%d %lld %d", &one, &one, &three); },
                          L"Resource entry key:\nUnknown Lookup() format type (>>'%lld %d')");
        EXPECT_EQ(entry.Texts(), (Texts{L"1", L"b", L"c"}));
    }
    {
        SCOPED_TRACE("SetVarArg");
        FormatEntry entry(&m_reservoir, {L"a", L"b", L"c"});
        ExpectFormatError([&] { entry.Set(L"%d x %d", 1, 3); },
                          L"Resource entry key:\nInvalid Lookup() format string element (>>'x %d')");
        EXPECT_EQ(entry.Texts(), (Texts{L"1", L"b", L"c"}));
    }
}

TEST_F(VarArgTest, SetVarArgRefusesCharacters) {
    for (const wchar_t* format : {L"%d %c %d", L"%d %lc %d"}) {
        SCOPED_TRACE(testing::Message() << std::wstring(format));
        FormatEntry entry(&m_reservoir, {L"a", L"b", L"c"});
        ExpectFormatError([&] { entry.Set(format, 1, L'A', 3); }, L"Resource entry key: Unknown data type");
        EXPECT_EQ(entry.Texts(), (Texts{L"1", L"b", L"c"}));
    }
}

TEST_F(VarArgTest, NullPointerArgumentIsRefused) {
    FormatEntry entry(&m_reservoir, {L"1", L"2"});
    int a = 0;
    EXPECT_THROW(entry.Get(0, L"%d %d", &a, static_cast<int*>(nullptr)), std::invalid_argument);
    EXPECT_EQ(a, 1);
    EXPECT_THROW(entry.SetP(L"%d", static_cast<const int*>(nullptr)), std::invalid_argument);
    EXPECT_EQ(entry.Texts(), (Texts{L"1", L"2"}));
    entry.SetP(L"%s", static_cast<const wchar_t*>(nullptr));  // a null string is the empty text
    EXPECT_EQ(entry.Texts(), (Texts{L"", L"2"}));
}

}  // namespace
