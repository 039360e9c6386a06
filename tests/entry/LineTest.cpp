// The line grammar and the four syntax errors with the state they leave; rebuilding
// a changed line, its limit, handing the text out; the entry self-test. And a
// property: every line the parser accepts, once rebuilt, parses back to an equal
// entry; lines are generated from the grammar with a fixed seed.
#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <tuple>

#include "entry/EntryTestSupport.h"
#include "support/TestSupport.h"

namespace {

using namespace entrytest;

using ParseTest = EntryFixture;

TEST_F(ParseTest, LinesWideAndEightBitTheirLimitAndNullLines) {
    const std::map<std::string, const wchar_t*> errors = {
        {"E", L"Empty identifier (name before ':' missing)"}, {"N", L"No identifier (':' missing)"},
        {"O", L"Orphan list end ('}' with no matching '{')"}, {"U", L"String value not terminated ('\"' missing)"},
    };
    for (const testsupport::CaseRow& row : testsupport::ReadCases("parse-lines.txt", 7)) {
        SCOPED_TRACE(row.Where());
        const std::wstring line = row.Text(0);
        TestEntry entry(&m_reservoir, row.Flag(1) ? 16u : 0u, nullptr);
        if (row.Null(6))
            entry = line.c_str();
        else  // kept as a comment with its text, flagged, and written back unchanged
            ExpectSea([&] { entry = line.c_str(); }, 2u, errors.at(row.raw[6]));
        EXPECT_TRUE(row.Null(6) || entry.Accessed());
        EXPECT_EQ(std::tuple(entry.Line(), entry.RebuildPending(), entry.Status() & 0xFC, entry.Name().Str()),
                  std::tuple(line, false, static_cast<unsigned>(row.Number(2)), row.Text(3)));
        EXPECT_EQ(entry.Values(), row.List(4));
        if (!row.Null(5)) { EXPECT_EQ(entry.ValuePart(), row.Text(5)); }
    }

    TestEntry entry(&m_reservoir, 0, nullptr);
    entry = "caf\xE9: \x80 \"a b\"";
    EXPECT_EQ(entry.Name().Str(), L"caf\u00E9");
    EXPECT_EQ(entry.Values(), (Texts{L"\u20AC", L"a b"}));
    EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());
    EXPECT_EQ(CatchSea([&] { entry = ": x"; }).m_code, 2u);
    EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked()) << "lock released before parsing";

    entry = static_cast<const wchar_t*>(nullptr);
    EXPECT_TRUE(entry.IsComment());
    entry = static_cast<const char*>(nullptr);
    EXPECT_TRUE(entry.IsComment() && entry.Line().empty());

    const std::string fits = "k: " + std::string(8188, 'x');  // 8191 characters
    entry = fits.c_str();
    EXPECT_EQ(entry.Values(), Texts{std::wstring(8188, L'x')});
    entry = "keep: 1";
    const std::string tooLong = "k: " + std::string(8189, 'x');
    ExpectSea([&] { entry = tooLong.c_str(); }, 1u, L"Max. line length 8192 exceeded");
    EXPECT_EQ(entry.Line(), L"keep: 1") << "nothing cut is stored";
    EXPECT_EQ(entry.Values(), Texts{L"1"});
    EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());
}

TEST_F(ParseTest, ValuesStayInTheLineReadAsTheBuffersWouldAndTheNameSurvivesEveryChange) {
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
        TestEntry fromLine = Read(text.c_str()), fromBuffers = Read(text.c_str());
        const Texts stored = fromBuffers.Values();
        ASSERT_EQ(fromLine.NValues(), stored.size());
        for (unsigned i = 0; i <= stored.size(); ++i) {
            const auto read = [i](const TestEntry& e) {
                return std::tuple(e.GetString(i), e.GetInt(i), e.GetDouble(i), e.GetBool(i), e.GetHex(i));
            };
            EXPECT_EQ(read(fromLine), read(fromBuffers)) << i;
            wchar_t small[8], expected[8];
            EXPECT_EQ(fromLine.GetString(small, 8, i), fromBuffers.GetString(expected, 8, i)) << i;
            EXPECT_STREQ(small, expected) << i;
        }
        EXPECT_EQ(fromLine.GetRgbColor(0), fromBuffers.GetRgbColor(0));
        EXPECT_TRUE(fromLine == fromBuffers);
    }
    // The name is read out of the line only when asked for, so every path
    // that changes or drops the line must keep it right.
    TestEntry named = Read(L"  \tspaced: 1 2");
    EXPECT_EQ(named.NameView(), L"spaced");
    TestEntry kept(named), assigned(&m_reservoir, 0, nullptr);
    assigned = named;
    named.SetText(std::wstring(300, L'x').c_str(), 1);  // the rebuilt line needs a new buffer
    EXPECT_EQ(GetLineOf(named).substr(0, 9), L"spaced:\t1");
    EXPECT_EQ(named.Name(), L"spaced");
    named = L"other: 3";
    EXPECT_EQ(kept.Name(), L"spaced");
    EXPECT_EQ(assigned.NameView(), L"spaced");
    EXPECT_TRUE(kept == assigned);
    // A name too far into its line, or too long, to be left there is taken at once.
    const std::wstring longName(70000, L'n');
    named = (longName + L": 1").c_str();
    EXPECT_EQ(named.Name().Str(), longName);
    named = (std::wstring(70000, L' ') + L"k: 1").c_str();
    EXPECT_EQ(named.NameView(), L"k");
}

class LineTest : public EntryFixture {
protected:
    // A stale entry of the given status with the values as a program sets them.
    TestEntry Make(unsigned status, const wchar_t* name, const Texts& values) {
        TestEntry e(&m_reservoir, status & ~8u, name);
        e.SetStatus(status);
        for (const std::wstring& v : values) e.AddValue(v);
        e.MarkStale();
        return e;
    }
};

TEST_F(LineTest, RebuiltLinesTheirLimitNoWritePastTheBufferAndTheTextHandedOut) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("rebuilt-lines.txt", 7)) {
        SCOPED_TRACE(row.Where() + " " + row.raw[0]);
        const std::wstring name = row.Text(2);
        TestEntry e = Make(static_cast<unsigned>(row.Number(1)), row.Null(2) ? nullptr : name.c_str(), row.List(3));
        e.SeeZeileErneuern();
        EXPECT_EQ(std::tuple(e.Line(), e.ValueOffset(), e.RebuildPending()),
                  std::tuple(row.Text(4), static_cast<unsigned>(row.Number(5)), false));
        EXPECT_EQ(e.Values(), row.List(row.Null(6) ? 3 : 6));
    }
    // "n:\t" + value + " " + terminator: a value of 4091 characters needs 4096.
    TestEntry fits = Make(0, L"n", {std::wstring(4091, L'x')});
    fits.SeeZeileErneuern();
    EXPECT_EQ(fits.Line().size(), 4095u);
    TestEntry over = Make(0, L"n", {std::wstring(4092, L'x')});
    ExpectSea([&] { over.SeeZeileErneuern(); }, 3u, L"n: maximum resource line lenght (4096) exceeded.");
    EXPECT_TRUE(over.RebuildPending());
    EXPECT_EQ(CatchSea([&] { Make(0, std::wstring(5000, L'h').c_str(), {}).SeeZeileErneuern(); }).m_code, 3u)
        << "a name that alone is too long";
    // A line read before keeps its text when the rebuild fails, again and again.
    TestEntry read = Read(L"n: 1");
    read.AddValue(std::wstring(5000, L'y'));
    read.MarkStale();
    EXPECT_EQ(CatchSea([&] { read.SeeZeileErneuern(); }).m_code, 3u);
    EXPECT_EQ(std::tuple(read.Line(), read.ValuePart(), read.RebuildPending()), std::tuple(L"n: 1", L"1", true));
    EXPECT_EQ(CatchSea([&] { GetLineOf(read); }).m_code, 3u);
    // SeeZeileBilden gives the room the line needs and builds what fits, never past the capacity.
    // "k:\taaaa bbbb " is 13 characters: with the terminator 14.
    const struct { const wchar_t* name; Texts values; unsigned capacity, needed; const wchar_t* built; } builds[] = {
        {L"a-rather-long-name", {L"v"}, 8, 21, L""}, {L"k", {L"aaaa", L"bbbb"}, 14, 14, L"k:\taaaa bbbb "},
        {L"k", {L"aaaa", L"bbbb"}, 13, 14, L"k:\taaaa "},  // the part built so far
    };
    for (const auto& c : builds) {
        SCOPED_TRACE(c.capacity);
        wchar_t buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        unsigned offset = 0;
        EXPECT_EQ(Make(0, c.name, c.values).SeeZeileBilden(buffer, c.capacity, offset), c.needed);
        EXPECT_EQ(std::wstring(buffer), c.built);
        EXPECT_EQ(std::count(buffer + c.capacity, std::end(buffer), L'#'), static_cast<std::ptrdiff_t>(16 - c.capacity));
    }
    // GetLineValuePartC copies like wcsncpy: no terminator when the text fills the destination,
    // zeros up to n after a shorter one, and nothing beyond n.
    TestEntry k = Read(L"k: abc");
    wchar_t dst[8];
    std::fill(std::begin(dst), std::end(dst), L'#');
    for (const auto& [n, expected] :
         {std::pair<unsigned, std::wstring>{3, L"abc#"}, {6, std::wstring(L"abc\0\0\0#", 7)}, {2, L"abc"}}) {
        k.GetLineValuePartC(dst, n);
        EXPECT_EQ(std::wstring(dst, expected.size()), expected) << n;
    }

    TestEntry list = Read(L"colors: {  ");
    list.ListenendeErzeugen();
    for (const wchar_t* line : {L"\tred 1 ", L"  ; note", L"blue \"a b\""}) list.AddListLine(line, 14);
    EXPECT_EQ(GetLineOf(list), L"colors: {\nred 1\n; note\nblue \"a b\"\n} \t;-- colors");
    for (CResourceEntry* line : list.ListLines()) EXPECT_TRUE(line->Accessed());
    // A rebuilt head has no value part of its own.
    list.MarkStale();
    CString text;
    list.GetLineValuePart(text);
    EXPECT_EQ(text.Str(), L"\nred 1\n; note\nblue \"a b\"\n} \t;-- colors");
}

using SelfTestTest = EntryFixture;

// Lines read from text pass the self-test in the line round-trip test; here values set by a
// program, and the mapping they get on the way.
TEST_F(SelfTestTest, ConsistentEntriesPassOthersFailAndListsCheckTheirLines) {
    TestEntry e = Read(L"n: 1");
    for (const wchar_t* value : {L"a b", L"", L"a\nb", L"q\u00A7", L"\t", L"v\vw", L"f\fg", L"{", L"}", L"\r"})
        e.AddValue(value);
    EXPECT_TRUE(e.Selbsttest(true));
    EXPECT_EQ(e.Line(), L"n: 1") << "the line and its flag are left alone";
    EXPECT_FALSE(e.RebuildPending());
    EXPECT_EQ(e.Values(),
              (Texts{L"1", L"a b", L"", L"a\u00B6b", L"q\"", L"\t", L"v\vw", L"f\fg", L"{", L"}", L"\u00AC"}));
    // "n:\t" + value + " " + terminator: 995 characters of value need 1000.
    for (const std::size_t length : {995u, 996u, 7000u}) {
        TestEntry v(&m_reservoir, 0, L"n");
        v.AddValue(std::wstring(length, L'x'));
        if (length == 995u)
            EXPECT_TRUE(v.Selbsttest(true));
        else
            ExpectSea([&] { v.Selbsttest(false); }, 0, L"Selbsttest n: Zeile l\u00e4nger als 1000 Zeichen.");
    }
    TestEntry v(&m_reservoir, 0, L"n");
    v.AddValue(L"abcdef");
    const unsigned capacity = v.SetCapacity(0, 6);  // a buffer that does not hold its text
    ExpectSea([&] { v.Selbsttest(false); }, 0u, L"Selbsttest n: Allozierungsfehler.");
    v.SetCapacity(0, 7);
    EXPECT_TRUE(v.Selbsttest(false));
    v.SetCapacity(0, capacity);

    TestEntry comment(&m_reservoir, 0, nullptr);
    EXPECT_EQ(CatchSea([&] { comment = L"a: 1 \"open"; }).m_code, 2u);
    EXPECT_TRUE(comment.Selbsttest(false));
    // A comment with a name.
    ExpectSea([&] { comment.Selbsttest(true); }, 0, L"Selbsttest a: Rekonstruktion fehlgeschlagen.");
    TestEntry named(&m_reservoir, 0, L"x:\\y");
    named.AddValue(L"1");
    ExpectSea([&] { named.Selbsttest(true); }, 2, L"No identifier (':' missing)");

    TestEntry list = Read(L"colors: {");
    list.ListenendeErzeugen();
    // A list line made a comment with a text reads back as a comment without
    // values, so its own reconstruction fails; the list does not reconstruct it.
    CResourceEntry* line = list.AddListLine(14, nullptr);
    line->SetToComment(L"a b");
    EXPECT_EQ(CatchSea([&] { line->Selbsttest(true); }).m_code, 0u);
    EXPECT_TRUE(list.Selbsttest(true));

    TestEntry longLine(&m_reservoir, 16, nullptr);
    longLine.AddValue(std::wstring(1200, L'z'));
    *list.AddListLine(14, nullptr) = longLine;
    ExpectSea([&] { list.Selbsttest(false); }, 0,
              L"Selbsttest colors: Listen-Eintrag defekt:\nSelbsttest : Zeile l\u00e4nger als 1000 Zeichen.");
}

class LineGenerator {
public:
    explicit LineGenerator(unsigned seed) : m_rng(seed) {}
    // A line and whether it is to be read as a list line.
    std::wstring Next(bool& listLine) {
        listLine = Chance(3);
        switch (Pick(listLine ? 8 : 10)) {
        case 0: return Blanks() + L";" + Text(L" \t;:{}\"x\u00A7");
        case 1: return listLine ? Blanks() + L"}" + Text(L" \t;-abc") : Blanks();
        case 2:
            if (listLine) return Blanks();
            return Blanks() + Name() + L":" + Blanks() + L"{" + (Chance(2) ? Blanks() + L"+" : L"") + Text(L" x+{");
        default:
            return listLine ? Blanks() + Tokens() : Blanks() + Name() + L":" + (Chance(3) ? L"" : Separator()) + Tokens();
        }
    }

private:
    bool Chance(unsigned oneIn) { return Pick(oneIn) == 0; }
    unsigned Pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(m_rng); }
    wchar_t From(const wchar_t* set) { return set[Pick(static_cast<unsigned>(std::wcslen(set)))]; }
    // Up to max - 1 characters of set.
    std::wstring Some(unsigned max, const wchar_t* set) {
        std::wstring out;
        for (unsigned n = Pick(max); n > 0; --n) out += From(set);
        return out;
    }
    // A character of `first`, then up to max - 1 of `rest`.
    std::wstring Word(const wchar_t* first, unsigned max, const wchar_t* rest) {
        const wchar_t c = From(first);
        return c + Some(max, rest);
    }
    std::wstring Blanks() { return Some(3, L" \t \t\v\f"); }
    std::wstring Separator() { return Word(L" \t \t \v\f", 3, L" \t"); }
    std::wstring Text(const wchar_t* set) { return Some(8, set); }
    // A name starts with no white space, ';', ':' or '}'; it may hold blanks and tabs, and end with them.
    std::wstring Name() { return Word(L"abcxyzKEY_09.-\u00E9\u00A7\"{\\", 10, L"abcdefxyz_0123456789-. \t\u00E9\u00A7\"{}\\;"); }
    std::wstring Bare() { return Word(L"abc019-+.{};:\\\u00A7\u00E9\u20AC\u00B6", 8, L"abc019-+.{};:\\\u00A7\"\u00E9\u20AC"); }
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
    int accepted = 0, rejected = 0;
    for (int i = 0; i < 20000; ++i) {
        bool listLine = false;
        const std::wstring line = generator.Next(listLine);
        const unsigned kind = listLine ? 16u : 0u;
        TestEntry read(&reservoir, kind, nullptr);
        try { read = line.c_str(); } catch (const CResourceSeaException&) { ++rejected; continue; }
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
