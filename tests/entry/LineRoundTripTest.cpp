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

    std::wstring Blanks() {
        std::wstring out;
        for (unsigned n = Pick(3); n > 0; --n)
            out += From(L" \t \t\v\f");
        return out;
    }
    std::wstring Separator() {
        std::wstring out(1, From(L" \t \t \v\f"));
        for (unsigned n = Pick(3); n > 0; --n)
            out += From(L" \t");
        return out;
    }
    std::wstring Text(const wchar_t* set) {
        std::wstring out;
        for (unsigned n = Pick(8); n > 0; --n)
            out += From(set);
        return out;
    }
    std::wstring Name() {
        // Starts with a character that is no white space, ';', ':' or '}';
        // may hold blanks and tabs, and end with them.
        std::wstring out(1, From(L"abcxyzKEY_09.-\u00E9\u00A7\"{\\"));
        for (unsigned n = Pick(10); n > 0; --n)
            out += From(L"abcdefxyz_0123456789-. \t\u00E9\u00A7\"{}\\;");
        return out;
    }
    std::wstring Bare() {
        std::wstring out(1, From(L"abc019-+.{};:\\\u00A7\u00E9\u20AC\u00B6"));
        for (unsigned n = Pick(8); n > 0; --n)
            out += From(L"abc019-+.{};:\\\u00A7\"\u00E9\u20AC");
        return out;
    }
    std::wstring Quoted() {
        std::wstring out = L"\"";
        for (unsigned n = Pick(9); n > 0; --n)
            out += From(L"ab c\t:;{}\\\u00A7\n\r\v\f  \u00E9-");
        return out + L"\"";
    }
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

        TestEntry back(&reservoir, kind, nullptr);
        try {
            back = rebuilt.c_str();
        } catch (const CResourceSeaException& e) {
            ADD_FAILURE() << "line [" << line << "] rebuilt as [" << rebuilt
                          << "] does not parse: " << e.m_message.Str();
            continue;
        }
        const bool same = back == read && back.Values() == values && read.Values() == values &&
                          back.Name().Str() == read.Name().Str() && back.Status() == read.Status() &&
                          back.IsComment() == read.IsComment();
        if (!same) {
            ADD_FAILURE() << "line [" << line << "] rebuilt as [" << rebuilt << "] reads back differently";
            continue;
        }
        // Rebuilding the read-back entry gives the same line again.
        back.MarkStale();
        back.SeeZeileErneuern();
        EXPECT_EQ(back.Line(), rebuilt) << "line [" << line << "]";
        EXPECT_TRUE(back.Selbsttest(true) && read.Selbsttest(true));
    }
    // The generator must exercise both sides of the grammar.
    EXPECT_GT(accepted, 12000);
    EXPECT_GT(rejected, 100);
}

}  // namespace
