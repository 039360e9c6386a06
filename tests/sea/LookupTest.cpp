// Lookup by name: typed lookups in every mode, readers, writers, format strings, whole lines, lists.
#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

#include "sea/SeaTestSupport.h"

namespace {

using namespace seatest;

std::wstring ValuePart(const CResourceSea& sea, const wchar_t* name) {
    CString line;
    return sea.GetLine(name, line) == 0 ? L"<missing>" : line.GetString();
}

std::wstring Joined(const std::vector<int>& values) {
    std::wstring text;
    for (int v : values) text += (text.empty() ? L"" : L" ") + std::to_wstring(v);
    return text;
}

// The mode table, for every typed lookup. Each case runs one lookup with a
// caller's variable at a known value and hands the variable back as text.
struct TypedCase {
    const char* what;
    const wchar_t* name;
    std::function<lookup::result(CResourceSea&, int mode, std::wstring& variable)> run;
    // The variable before the call, it as the values of a rebuilt line, the
    // value part of the present entry, and the variable after reading that.
    std::wstring callerValue, callerLine, seaText, seaRead;
};

template <class T> std::wstring Shown(const T& v) { return std::to_wstring(v); }
std::wstring Shown(const CString& v) { return v.GetString(); }
std::wstring Shown(const std::vector<int>& v) { return Joined(v); }
std::wstring Shown(const std::set<int>& v) { return Joined({v.begin(), v.end()}); }

// A lookup run on a caller's variable that starts at `initial`.
template <class T, class Call>
std::function<lookup::result(CResourceSea&, int, std::wstring&)> Typed(T initial, Call call) {
    return [=](CResourceSea& sea, int mode, std::wstring& out) {
        T v = initial;
        const auto r = call(sea, mode, v);
        return out = Shown(v), r;
    };
}

std::vector<TypedCase> TypedCases(const std::wstring& base) {
    const std::wstring longLeaf = std::wstring(280, L'p') + L"/x.sea", longName = base + L"/" + longLeaf;
    using S = CResourceSea;
    return {
        {"int", L"i", Typed(7, [](S& s, int m, int& v) { return s.LookupInt(m, L"i", v); }), L"7", L"7", L"42", L"42"},
        {"unsigned int", L"u", Typed(3000000000u, [](S& s, int m, unsigned& v) { return s.LookupInt(m, L"u", v); }),
         L"3000000000", L"-1294967296", L"-1", L"4294967295"},
        {"long", L"l", Typed(-5L, [](S& s, int m, long& v) { return s.LookupInt(m, L"l", v); }), L"-5", L"-5", L"12", L"12"},
        {"hex", L"h", Typed(std::int64_t{255}, [](S& s, int m, std::int64_t& v) { return s.LookupHex(m, L"h", v); }),
         L"255", L"ff", L"0x1F", L"31"},
        {"float", L"f", Typed(1.5f, [](S& s, int m, float& v) { return s.LookupFloat(m, L"f", v); }), L"1.500000",
         L"1.500000", L"2.25", L"2.250000"},
        {"double", L"d", Typed(-0.25, [](S& s, int m, double& v) { return s.LookupDouble(m, L"d", v); }), L"-0.250000",
         L"-0.250000", L"3.5", L"3.500000"},
        {"bool", L"b", Typed(true, [](S& s, int m, bool& v) { return s.LookupBool(m, L"b", v); }), L"1", L"1", L"0", L"0"},
        {"rgb colour", L"c", Typed(0x00336699ul, [](S& s, int m, unsigned long& v) { return s.LookupRgbColor(m, L"c", v); }),
         std::to_wstring(0x00336699), L"153 102 51", L"1 2 3", std::to_wstring(0x030201)},
        {"string", L"s", Typed(CString(L"a b"), [](S& s, int m, CString& v) { return s.LookupString(m, L"s", v); }), L"a b",
         L"\"a b\"", L"hello", L"hello"},
        // Far beyond the old 260-character path limit, both ways.
        {"file name", L"p",
         Typed(CString(longName.c_str()),
               [base](S& s, int m, CString& v) { return s.LookupFilename(m, L"p", v, base.c_str()); }),
         longName, longLeaf, L"g" + longLeaf, base + L"/g" + longLeaf},
        {"int vector", L"v",
         Typed(std::vector<int>{4, 5, 6},
               [](S& s, int m, std::vector<int>& v) { return s.LookupIntVector(m, L"v", v.data(), 3); }),
         L"4 5 6", L"4 5 6", L"1 2", L"1 2 6"},
        {"int set", L"t", Typed(std::set<int>{3, 1}, [](S& s, int m, std::set<int>& v) { return s.LookupIntSet(m, L"t", v); }),
         L"1 3", L"1 3", L"5 5 2", L"2 5"},
    };
}

// A mode of tests/data/cases/sea-lookup-*.txt: by name, or a number.
int ModeOf(const std::string& text) {
    const std::map<std::string, int> named = {
        {"read", lookup::read}, {"write", lookup::write}, {"readExisting", lookup::readExisting}, {"remove", lookup::remove}};
    return named.count(text) != 0 ? named.at(text) : std::stoi(text);
}
lookup::result ResultOf(const std::string& text) {
    return std::map<std::string, lookup::result>{
        {"notFound", lookup::notFound}, {"found", lookup::found}, {"created", lookup::created}}.at(text);
}

TEST(Lookup, TypedModeTable) {
    ScratchDir dir;
    const std::wstring base = dir.Root().wstring();
    enum Effect { kUntouched, kCreated, kRead, kWritten, kRemoved };
    const std::vector<std::string> effects = {"untouched", "created", "read", "written", "removed"};
    const std::vector<CaseRow> rows = ReadCases("sea-lookup-modes.txt", 4);
    for (const TypedCase& c : TypedCases(base))
        for (const CaseRow& row : rows) {
            SCOPED_TRACE(std::string(c.what) + ", " + row.Where());
            const int mode = ModeOf(row.raw[0]);
            const auto effect = std::find(effects.begin(), effects.end(), row.raw[3]) - effects.begin();
            ASSERT_LT(effect, kRemoved + 1);
            TestSea sea;
            const std::wstring seaLine = std::wstring(c.name) + L": " + c.seaText;
            Load(sea, dir, row.Flag(1) ? Lines{L"; head", seaLine, L"other: 1"} : Lines{L"; head", L"other: 1"});
            std::wstring variable;
            EXPECT_EQ(c.run(sea, mode, variable), ResultOf(row.raw[2]));
            // Only a read of the entry changes the variable, only a write changes the entry;
            // a created entry holds the caller's value and goes to the end of the file.
            EXPECT_EQ(variable, effect == kRead ? c.seaRead : c.callerValue);
            const std::wstring rebuilt = std::wstring(c.name) + L":\t" + c.callerLine + L" ";
            const Lines written[] = {{L"; head", L"other: 1"}, {L"; head", L"other: 1", rebuilt},
                                     {L"; head", seaLine, L"other: 1"}, {L"; head", rebuilt, L"other: 1"},
                                     {L"; head", L"other: 1"}};
            const bool gone = effect == kUntouched || effect == kRemoved;
            EXPECT_EQ(sea.GetEntry(c.name) == nullptr, gone);
            if (!gone) { EXPECT_EQ(sea.GetEntry(c.name)->Modified(), effect != kRead); }
            EXPECT_EQ(sea.NrEntries(), gone ? 1u : 2u);
            EXPECT_EQ(Written(sea, dir), written[effect]);
            if (effect == kRemoved) { EXPECT_EQ(c.run(sea, mode, variable), lookup::notFound) << "gone: found no more"; }
        }
}

TEST(Lookup, TypedIndexAtAndBeyondTheValuesAndVectorsAndSets) {
    for (const CaseRow& row : ReadCases("sea-lookup-index.txt", 5)) {
        SCOPED_TRACE(row.Where() + " " + row.raw[0]);
        CResourceSea sea;
        sea.SetLine(L"n", L"10 20");
        int value = 7;
        EXPECT_EQ(sea.LookupInt(ModeOf(row.raw[1]), L"n", value, static_cast<unsigned>(row.Number(2))), lookup::found);
        EXPECT_TRUE(value == row.Number(3) && ValuePart(sea, L"n") == row.Text(4)) << value << " " << row.raw[4];
    }
    // A write beyond the values throws and leaves a new entry empty.
    TestSea sea;
    int value = 5;
    const auto error = Thrown([&] { sea.LookupInt(lookup::write, L"n", value, 3); });
    EXPECT_TRUE(error && error->m_code == 3u && error->m_message == L"n: tried to set value 3 of 0.");
    EXPECT_EQ(ValuePart(sea, L"n"), L"");
    EXPECT_THROW(sea.LookupSetInt(L"n", 1, 1), CResourceSeaException);
    // Vectors and sets read only what existed.
    sea.SetLine(L"v", L"1 2 3 4");
    int values[2] = {9, 9};
    EXPECT_EQ(sea.LookupIntVector(lookup::read, L"v", values, 2), lookup::found);
    EXPECT_EQ(Joined({values[0], values[1]}), L"1 2");
    EXPECT_EQ(ValuePart(sea, L"v"), L"1 2 3 4");  // a read never cuts the entry
    // A bad count or array is an empty vector: nothing is read or written through it.
    EXPECT_EQ(sea.LookupIntVector(lookup::read, L"v", nullptr, 4), lookup::found);
    EXPECT_EQ(sea.LookupIntVector(lookup::write, L"w", values, -1), lookup::created);
    EXPECT_EQ(ValuePart(sea, L"w"), L"");
    std::set<int> set{8};
    EXPECT_EQ(sea.LookupIntSet(lookup::write, L"v", set), lookup::found);
    EXPECT_EQ(ValuePart(sea, L"v"), L"8");
}

// The reader a case of tests/data/cases/sea-lookup-readers.txt names, with its fallback, as text.
std::wstring ReadWithFallback(const CResourceSea& sea, const CaseRow& c, const std::wstring& base) {
    const std::string& reader = c.raw[1];
    const std::wstring name = c.Text(2);
    const auto index = static_cast<unsigned>(c.Number(3));
    const wchar_t* n = name.c_str();
    if (reader == "int") return std::to_wstring(sea.LookupGetInt(n, index, std::stoi(c.raw[4])));
    if (reader == "hex") return std::to_wstring(sea.LookupGetHex(n, index, c.Number(4)));
    if (reader == "float") return std::to_wstring(sea.LookupGetFloat(n, index, std::stof(c.raw[4])));
    if (reader == "double") return std::to_wstring(sea.LookupGetDouble(n, index, std::stod(c.raw[4])));
    if (reader == "bool") return std::to_wstring(sea.LookupGetBool(n, index, c.Flag(4)));
    if (reader == "colour") return std::to_wstring(sea.LookupGetRgbColor(n, index, c.Number(4)));
    if (reader == "string") return sea.LookupGetString(n, index, c.Text(4).c_str()).Str();
    if (reader == "file name") return sea.LookupGetFilename(n, base.c_str(), index, c.Text(4).c_str()).Str();
    ADD_FAILURE() << c.Where() << ": no such reader";
    return L"";
}

// The text forms are the entries' (see the entry tests); here, which entry
// readers and writers use, create or leave alone.
TEST(Lookup, ReadersWithFallbackNeverCreateWritersReplaceOrAppend) {
    ScratchDir dir;
    const std::wstring base = dir.Root().wstring();
    const auto withBase = [&base](std::wstring text) {
        return text.rfind(L"{base}", 0) == 0 ? text.replace(0, 6, base) : text;
    };
    for (const CaseRow& c : ReadCases("sea-lookup-readers.txt", 7)) {
        SCOPED_TRACE(c.Where() + " " + c.raw[0]);
        TestSea sea;
        sea.SetLine(L"e", L"12 \"\"")->ResetModified();
        EXPECT_EQ(ReadWithFallback(sea, c, base), withBase(c.Text(5)));
        EXPECT_EQ(ValuePart(sea, L"e"), c.raw[6] == "=" ? L"12 \"\"" : c.Text(6));
        EXPECT_EQ(sea.GetEntry(L"e")->Modified(), c.raw[6] != "=") << "only an append changes the entry";
        EXPECT_TRUE(sea.GetEntry(L"x") == nullptr && sea.NrEntries() == 1u);
    }
    // Writers replace in place or create at the end. Far beyond the old
    // 260-character path limit: stored whole, relative to base.
    const std::wstring longLeaf = std::wstring(300, L'x') + L"/" + std::wstring(200, L'y') + L".sea";
    using S = CResourceSea;
    const wchar_t* b = base.c_str();
    const std::wstring below = base + L"/d/f.sea", longName = base + L"/" + longLeaf;
    const struct { const char* what; std::function<lookup::result(S&)> write; std::wstring valuePart; } rows[] = {
        {"int", [](S& s) { return s.LookupSetInt(L"w", -12); }, L"-12"},
        {"hex", [](S& s) { return s.LookupSetHex(L"w", -1); }, L"ffffffffffffffff"},
        {"float", [](S& s) { return s.LookupSetFloat(L"w", 1.5f); }, L"1.500000"},
        {"double", [](S& s) { return s.LookupSetDouble(L"w", -0.25); }, L"-0.250000"},
        {"bool", [](S& s) { return s.LookupSetBool(L"w", false); }, L"0"},
        {"colour", [](S& s) { return s.LookupSetRgbColor(L"w", 0x00336699); }, L"153 102 51"},
        {"string", [](S& s) { return s.LookupSetString(L"w", L"two words"); }, L"\"two words\""},
        {"null string", [](S& s) { return s.LookupSetString(L"w", nullptr); }, L"\"\""},
        {"file name below base", [&](S& s) { return s.LookupSetFilename(L"w", below.c_str(), b); }, L"d/f.sea"},
        {"file name outside base", [&](S& s) { return s.LookupSetFilename(L"w", L"/else/f.sea", b); }, L"/else/f.sea"},
        {"long file name", [&](S& s) { return s.LookupSetFilename(L"w", longName.c_str(), b); }, longLeaf},
    };
    for (const auto& row : rows)
        for (bool present : {false, true}) {
            SCOPED_TRACE(std::string(row.what) + (present ? ", present" : ", missing"));
            CResourceSea sea;
            Load(sea, dir, present ? Lines{L"w: old", L"z: 1"} : Lines{L"z: 1"});
            EXPECT_EQ(row.write(sea), present ? lookup::found : lookup::created);
            EXPECT_EQ(ValuePart(sea, L"w"), row.valuePart);
            const std::wstring line = L"w:\t" + row.valuePart + L" ";
            EXPECT_EQ(Written(sea, dir), present ? (Lines{line, L"z: 1"}) : (Lines{L"z: 1", line}));
        }
}

TEST(Lookup, FormatStrings) {
    for (const CaseRow& row : ReadCases("sea-lookup-format-modes.txt", 5)) {
        SCOPED_TRACE(row.Where());
        const bool read = row.Flag(4);
        CResourceSea sea;
        if (row.Flag(1)) sea.SetLine(L"f", L"12 2.5 abc");
        int i = 5;
        double d = 0.5;
        wchar_t text[16] = L"xy";
        EXPECT_EQ(sea.Lookup(ModeOf(row.raw[0]), L"f", L"%d %lf %s", &i, &d, text), ResultOf(row.raw[2]));
        EXPECT_EQ(ValuePart(sea, L"f"), row.Text(3));
        EXPECT_EQ(std::to_wstring(i) + L" " + std::to_wstring(d) + L" " + text, read ? L"12 2.500000 abc" : L"5 0.500000 xy");
    }
    // Get reads only present entries; Set takes values, not pointers, and stops at a format error.
    ScratchDir dir;
    CResourceSea sea;
    int i = 5, j = 0;
    long l = 6;
    EXPECT_TRUE(sea.Get(L"g", L"%d %ld", &i, &l) == 0 && sea.NrEntries() == 0u);
    sea.SetLine(L"g", L"7");
    EXPECT_EQ(sea.Get(L"g", L"%d %ld", &i, &l), 1);
    EXPECT_EQ(i * 10 + l, 76) << "no second value: the variable stays";
    Load(sea, dir, {L"s: 1 2 3 4 5"});
    sea.Set(L"s", L"%d %d", 8, 9);  // later values stay
    sea.Set(L"n", L"%d %lf %f %s %x", -1, 2.5, 1.5f, L"a b", 255ul);
    EXPECT_EQ(Written(sea, dir), (Lines{L"s:\t8 9 3 4 5 ", L"n:\t-1 2.500000 1.500000 \"a b\" ff "}));
    // Format errors reach the caller with the earlier values done.
    const auto error = Thrown([&] { sea.Set(L"e", L"%d %c", 4, 65); });
    EXPECT_TRUE(error && error->m_code == 5u);
    EXPECT_EQ(ValuePart(sea, L"e"), L"4");
    i = 0;
    // A missing value ends the read before its element is decoded.
    EXPECT_TRUE(sea.Lookup(lookup::read, L"e", L"%d %5d", &i, &j) == lookup::found && i == 4);
    sea.LookupSetInt(L"e", 5, 1);
    i = 0;
    EXPECT_THROW(sea.Lookup(lookup::read, L"e", L"%d %5d", &i, &j), CResourceSeaException);
    EXPECT_TRUE(i == 4 && j == 0);
    EXPECT_THROW(sea.Get(L"e", L"d", &i), CResourceSeaException);
}

// GetLine gives the value part as read; SetLine replaces it, or reports bad values and keeps it.
TEST(Lookup, WholeLinesListLinesCommentsHasEntryTouchAndDelete) {
    ScratchDir dir;
    TestSea sea;
    Load(sea, dir, {L"a:   1  2  ", L"colors: {", L"\tred 1", L"\t; note", L"} end", L"bad: 1 2", L"z: 1"});
    CString line(L"unchanged");
    EXPECT_TRUE(sea.GetLine(L"missing", line) == 0 && line == L"unchanged");
    EXPECT_EQ(ValuePart(sea, L"a"), L"1  2");  // the text as read, not rebuilt
    EXPECT_TRUE(sea.GetEntry(L"a")->Accessed());
    EXPECT_EQ(ValuePart(sea, L"colors"), L"{\nred 1\n; note\n} end");
    CaptureOutput capture;
    CResourceEntry* entry = sea.SetLine(L"a", L"x \"two words\" 3");
    ASSERT_EQ(entry, sea.GetEntry(L"a"));
    CResourceEntry* created = sea.SetLine(L"b", L"5");
    EXPECT_EQ(created, sea.GetEntry(L"b"));
    EXPECT_NE(sea.SetLine(L"c", nullptr), nullptr);
    EXPECT_TRUE(capture.Reports().empty());
    // Bad values: reported, and the entry keeps its values and stays an ordinary entry.
    for (const wchar_t* name : {L"bad", L"new"}) {
        SCOPED_TRACE(kelvaro::utf8::Encode(name));
        capture.Clear();
        CResourceEntry* kept = sea.SetLine(name, L"3 \"open");
        ASSERT_TRUE(kept != nullptr && kept == sea.GetEntry(name));
        ASSERT_EQ(capture.Reports().size(), 1u);
        const Report& report = capture.Reports()[0];
        EXPECT_TRUE(report.category == PrWin::LibraryMessage && report.style == PrWin::ReadProblem);
        EXPECT_EQ(report.text, L"Syntax error in SetLine(" + std::wstring(name) + L"): 3 \"open\n");
        EXPECT_FALSE(kept->IsComment() || kept->SyntaxError());
    }
    EXPECT_EQ(ValuePart(sea, L"bad"), L"1 2");  // read, so that the filter below keeps it
    EXPECT_EQ(Written(sea, dir),
              (Lines{L"a:\tx \"two words\" 3 ", L"colors: {", L"\tred 1", L"\t; note", L"} end", L"bad:\t1 2 ", L"z: 1",
                     L"b:\t5 ", L"c:\t", L"new:\t"}));
    sea.MitSedimentfilter(true);  // a bad line would be dropped here
    const Lines filtered = Written(sea, dir);
    EXPECT_NE(std::find(filtered.begin(), filtered.end(), L"bad:\t1 2 "), filtered.end());

    // List lines, comment lines, HasEntry, Touch and Delete.
    TestSea lists;
    Load(lists, dir, {L"plain: 1", L"list: {", L"\told", L"}", L"; c", L"l: {", L"}", L"b: 2"});
    const struct { const wchar_t* name; bool has, list; } kinds[] = {
        {L"plain", true, false}, {L"l", true, true}, {L"never", false, false}, {L"c", false, false}};
    for (const auto& row : kinds)
        EXPECT_EQ(std::pair(lists.HasEntry(row.name), lists.IsListEntry(row.name)), std::pair(row.has, row.list))
            << kelvaro::utf8::Encode(row.name);
    EXPECT_TRUE(!lists.Touch(L"never") && lists.NrEntries() == 4u);
    EXPECT_TRUE(!lists.GetEntry(L"b")->Modified() && lists.Touch(L"b"));
    EXPECT_EQ(lists.GetEntry(L"b")->Status() & 3u, 3u);
    const struct { const char* what; const wchar_t* name; const wchar_t* line; bool expected; } adds[] = {
        {"ordinary entry refuses", L"plain", L"x", false},
        {"existing list appends", L"list", L"new 1", true},
        {"missing name creates a list", L"fresh", L"first", true},
        {"null line is a blank line", L"fresh", nullptr, true},
    };
    for (const auto& add : adds) EXPECT_EQ(lists.AddListLine(add.name, add.line), add.expected) << add.what;
    EXPECT_TRUE(!lists.IsListEntry(L"plain") && lists.IsListEntry(L"fresh") && lists.GetEntry(L"list")->Modified());
    lists.AppendCommentLine(L"hello world");
    lists.AppendCommentLine(nullptr);
    EXPECT_TRUE(lists.NrEntries() == 5u && lists.NrLines() == 8u) << "comments are not indexed";
    // An indexed entry turned into a comment is no entry for HasEntry.
    lists.GetEntry(L"plain")->SetToComment(nullptr);
    EXPECT_FALSE(lists.HasEntry(L"plain"));
    EXPECT_EQ(std::vector<int>({lists.Delete(L"never"), lists.Delete(L"l"), lists.Delete(L"l")}), std::vector<int>({0, 1, 0}));
    lists.MitSedimentfilter(true);  // comments carry the Accessed bit, so they survive it
    // Added lines keep their text as given, as lines read from a file do.
    EXPECT_EQ(Written(lists, dir), (Lines{L"; plain:\t1 ", L"list: {", L"\told", L"new 1", L"}", L"; c", L"b: 2",
                                        L"fresh: {", L"first", L"", L"} \t;-- fresh", L"; hello world ", L"  "}));
}

}  // namespace
