// Property: every line the parser accepts, once rebuilt from its parsed
// parts, parses back to an equal entry (same name, kind, values). Lines are
// generated from the pieces of the grammar with a fixed seed.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "entry/EntryTestSupport.h"

namespace {

using entrytest::TestEntry;
using entrytest::Texts;

class LineGenerator {
public:
    explicit LineGenerator(unsigned seed) : m_rng(seed) {}

    // A line and whether it is to be read as a list line.
    std::wstring Next(bool& listLine) {
        listLine = Chance(3);
        if (listLine) {
            switch (Pick(8)) {
            case 0: return Blanks() + L";" + Text(L" \t;:{}\"x\u00A7");
            case 1: return Blanks() + L"}" + Text(L" \t;-abc");
            case 2: return Blanks();
            default: return Blanks() + Tokens();
            }
        }
        switch (Pick(10)) {
        case 0: return Blanks() + L";" + Text(L" \t;:{}\"x\u00A7");
        case 1: return Blanks();
        case 2: return Blanks() + Name() + L":" + Blanks() + L"{" + (Chance(2) ? Blanks() + L"+" : L"") + Text(L" x+{");
        default: return Blanks() + Name() + L":" + (Chance(3) ? L"" : Separator()) + Tokens();
        }
    }

private:
    bool Chance(unsigned oneIn) { return Pick(oneIn) == 0; }
    unsigned Pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(m_rng); }
    wchar_t From(const wchar_t* set) { return set[Pick(static_cast<unsigned>(std::wcslen(set)))]; }
    // Up to max - 1 characters of set.
    std::wstring Some(unsigned max, const wchar_t* set) {
        std::wstring out;
        for (unsigned n = Pick(max); n > 0; --n)
            out += From(set);
        return out;
    }
    std::wstring Blanks() { return Some(3, L" \t \t\v\f"); }
    std::wstring Separator() {
        const wchar_t first = From(L" \t \t \v\f");
        return first + Some(3, L" \t");
    }
    std::wstring Text(const wchar_t* set) { return Some(8, set); }
    std::wstring Name() {
        // Starts with a character that is no white space, ';', ':' or '}';
        // may hold blanks and tabs, and end with them.
        const wchar_t first = From(L"abcxyzKEY_09.-\u00E9\u00A7\"{\\");
        return first + Some(10, L"abcdefxyz_0123456789-. \t\u00E9\u00A7\"{}\\;");
    }
    std::wstring Bare() {
        const wchar_t first = From(L"abc019-+.{};:\\\u00A7\u00E9\u20AC\u00B6");
        return first + Some(8, L"abc019-+.{};:\\\u00A7\"\u00E9\u20AC");
    }
    std::wstring Quoted() { return L"\"" + Some(9, L"ab c\t:;{}\\\u00A7\n\r\v\f  \u00E9-") + L"\""; }
    std::wstring Tokens() {
        std::wstring out;
        const unsigned count = Pick(6);
        for (unsigned i = 0; i < count; ++i) {
            const bool quoted = Chance(2);
            out += quoted ? Quoted() : Bare();
            if (i + 1 < count)
                out += (quoted && Chance(6)) ? std::wstring(1, From(L"xyz")) : Separator();
            else if (Chance(3))
                out += Separator();
        }
        return out;
    }

    std::mt19937 m_rng;
};

TEST(LineRoundTripTest, RebuiltLinesParseBackToEqualEntries) {
    CResValueReservoir reservoir(256);
    LineGenerator generator(20240607u);
    int accepted = 0;
    int rejected = 0;
    for (int i = 0; i < 20000; ++i) {
        bool listLine = false;
        const std::wstring line = generator.Next(listLine);
        const unsigned kind = listLine ? 16u : 0u;
        TestEntry read(&reservoir, kind, nullptr);
        try {
            read = line.c_str();
        } catch (const CResourceSeaException&) {
            ++rejected;
            continue;
        }
        ++accepted;
        const Texts values = read.Values();
        read.MarkStale();
        read.SeeZeileErneuern();
        const std::wstring rebuilt = read.Line();

        SCOPED_TRACE(testing::Message() << "line [" << line << "] rebuilt as [" << rebuilt << "]");
        TestEntry back(&reservoir, kind, nullptr);
        ASSERT_NO_THROW(back = rebuilt.c_str());
        ASSERT_TRUE(back == read && back.Values() == values && read.Values() == values &&
                    back.Name().Str() == read.Name().Str() && back.Status() == read.Status())
            << "reads back differently";
        // Rebuilding the read-back entry gives the same line again.
        back.MarkStale();
        back.SeeZeileErneuern();
        EXPECT_EQ(back.Line(), rebuilt);
        EXPECT_TRUE(back.Selbsttest(true) && read.Selbsttest(true));
    }
    // The generator must exercise both sides of the grammar.
    EXPECT_GT(accepted, 12000);
    EXPECT_GT(rejected, 100);
}

}  // namespace
