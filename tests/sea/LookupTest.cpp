// Lookup by name: the mode tables of the typed lookups (what is created, where
// it lands, what a later write contains), the readers and writers without a
// mode, format strings, whole lines, list lines, comments and small queries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/sea/ResourceSea.h"
#include "sea/SeaTestSupport.h"

namespace {

using LookupSea = seatest::TestSea;
using seatest::Lines;
using seatest::Load;
using seatest::Written;

std::wstring ValuePart(const CResourceSea& sea, const wchar_t* name) {
    CString line;
    if (sea.GetLine(name, line) == 0) return L"<missing>";
    return line.GetString();
}

std::wstring Joined(const std::vector<int>& values) {
    std::wstring text;
    for (int v : values) text += (text.empty() ? L"" : L" ") + std::to_wstring(v);
    return text;
}

// ---------------------------------------------------------------------------------------
// The mode table, for every typed lookup.
//
// Each case runs one lookup with a caller's variable at a known value and hands the
// variable back as text. `callerLine` is how the caller's value appears in a rebuilt
// line; `seaText` is the value part of the entry when present; `seaRead` is the
// variable after a read of that entry.

struct TypedCase {
    const char* what;
    const wchar_t* name;
    std::function<lookup::result(CResourceSea&, int mode, std::wstring& variable)> run;
    std::wstring callerValue;  // the variable before the call
    std::wstring callerLine;   // the caller's value as the values of a rebuilt line
    std::wstring seaText;      // value part of the present entry
    std::wstring seaRead;      // the variable after reading seaText
};

// A lookup run on a caller's variable that starts at `initial`, handed back through `show`.
template <class T, class Call, class Show>
std::function<lookup::result(CResourceSea&, int, std::wstring&)> Typed(T initial, Call call, Show show) {
    return [=](CResourceSea& sea, int mode, std::wstring& out) {
        T v = initial;
        const auto r = call(sea, mode, v);
        out = show(v);
        return r;
    };
}

std::vector<TypedCase> TypedCases(const std::wstring& base) {
    const auto num = [](auto v) { return std::to_wstring(v); };
    const auto str = [](const CString& v) { return std::wstring(v.GetString()); };
    using S = CResourceSea;
    return {
        {"int", L"i", Typed(7, [](S& s, int m, int& v) { return s.LookupInt(m, L"i", v); }, num), L"7", L"7", L"42",
         L"42"},
        {"unsigned int", L"u", Typed(3000000000u, [](S& s, int m, unsigned& v) { return s.LookupInt(m, L"u", v); }, num),
         L"3000000000", L"-1294967296", L"-1", L"4294967295"},
        {"long", L"l", Typed(-5L, [](S& s, int m, long& v) { return s.LookupInt(m, L"l", v); }, num), L"-5", L"-5",
         L"123456", L"123456"},
        {"hex", L"h", Typed(std::int64_t{255}, [](S& s, int m, std::int64_t& v) { return s.LookupHex(m, L"h", v); }, num),
         L"255", L"ff", L"0x1F", L"31"},
        {"float", L"f", Typed(1.5f, [](S& s, int m, float& v) { return s.LookupFloat(m, L"f", v); }, num), L"1.500000",
         L"1.500000", L"2.25", L"2.250000"},
        {"double", L"d", Typed(-0.25, [](S& s, int m, double& v) { return s.LookupDouble(m, L"d", v); }, num),
         L"-0.250000", L"-0.250000", L"3.5", L"3.500000"},
        {"bool", L"b",
         Typed(true, [](S& s, int m, bool& v) { return s.LookupBool(m, L"b", v); },
               [](bool v) { return std::wstring(v ? L"true" : L"false"); }),
         L"true", L"1", L"0", L"false"},
        {"rgb colour", L"c",
         Typed(0x00336699ul, [](S& s, int m, unsigned long& v) { return s.LookupRgbColor(m, L"c", v); }, num),
         std::to_wstring(0x00336699), L"153 102 51", L"1 2 3", std::to_wstring(0x030201)},
        {"string", L"s", Typed(CString(L"a b"), [](S& s, int m, CString& v) { return s.LookupString(m, L"s", v); }, str),
         L"a b", L"\"a b\"", L"hello", L"hello"},
        {"file name", L"p",
         Typed(CString((base + L"/sub/f.sea").c_str()),
               [base](S& s, int m, CString& v) { return s.LookupFilename(m, L"p", v, base.c_str()); }, str),
         base + L"/sub/f.sea", L"sub/f.sea", L"sub/g.sea", base + L"/sub/g.sea"},
        {"int vector", L"v",
         Typed(std::vector<int>{4, 5, 6},
               [](S& s, int m, std::vector<int>& v) { return s.LookupIntVector(m, L"v", v.data(), 3); }, Joined),
         L"4 5 6", L"4 5 6", L"1 2", L"1 2 6"},
        {"int set", L"t", Typed(std::set<int>{3, 1}, [](S& s, int m, std::set<int>& v) { return s.LookupIntSet(m, L"t", v); },
                               [](const std::set<int>& v) { return Joined(std::vector<int>(v.begin(), v.end())); }),
         L"1 3", L"1 3", L"5 5 2", L"2 5"},
    };
}

struct ModeRow {
    int mode;
    bool present;
    lookup::result expected;
    enum Effect { kUntouched, kCreatedWithCaller, kReadSea, kWrittenCaller, kRemoved } effect;
};

const ModeRow kModeRows[] = {
    {lookup::read, false, lookup::created, ModeRow::kCreatedWithCaller},
    {lookup::write, false, lookup::created, ModeRow::kCreatedWithCaller},
    {lookup::readExisting, false, lookup::notFound, ModeRow::kUntouched},
    {lookup::remove, false, lookup::notFound, ModeRow::kUntouched},
    {5, false, lookup::created, ModeRow::kCreatedWithCaller},
    {0, false, lookup::created, ModeRow::kCreatedWithCaller},
    {lookup::read, true, lookup::found, ModeRow::kReadSea},
    {lookup::write, true, lookup::found, ModeRow::kWrittenCaller},
    {lookup::readExisting, true, lookup::found, ModeRow::kReadSea},
    {lookup::remove, true, lookup::found, ModeRow::kRemoved},
    {5, true, lookup::found, ModeRow::kReadSea},
};

TEST(Lookup, TypedModeTable) {
    seatest::ScratchDir dir;
    const std::wstring base = dir.Root().wstring();
    for (const TypedCase& c : TypedCases(base)) {
        for (const ModeRow& row : kModeRows) {
            SCOPED_TRACE(std::string(c.what) + ", mode " + std::to_string(row.mode) +
                         (row.present ? ", present" : ", missing"));
            LookupSea sea;
            const std::wstring seaLine = std::wstring(c.name) + L": " + c.seaText;
            if (row.present)
                Load(sea, dir, {L"; head", seaLine, L"other: 1"});
            else
                Load(sea, dir, {L"; head", L"other: 1"});
            std::wstring variable;
            EXPECT_EQ(c.run(sea, row.mode, variable), row.expected);
            // Only a read of the entry changes the variable, only a write changes the entry;
            // a created entry holds the caller's value and goes to the end of the file.
            EXPECT_EQ(variable, row.effect == ModeRow::kReadSea ? c.seaRead : c.callerValue);
            const std::wstring rebuilt = std::wstring(c.name) + L":\t" + c.callerLine + L" ";
            const Lines written[] = {{L"; head", L"other: 1"},
                                     {L"; head", L"other: 1", rebuilt},
                                     {L"; head", seaLine, L"other: 1"},
                                     {L"; head", rebuilt, L"other: 1"},
                                     {L"; head", L"other: 1"}};
            const bool gone = row.effect == ModeRow::kUntouched || row.effect == ModeRow::kRemoved;
            EXPECT_EQ(sea.GetEntry(c.name) == nullptr, gone);
            if (!gone) {
                EXPECT_EQ(sea.GetEntry(c.name)->Modified(), row.effect != ModeRow::kReadSea);
            }
            EXPECT_EQ(sea.NrEntries(), gone ? 1u : 2u);
            EXPECT_EQ(Written(sea, dir), written[row.effect]);
            if (row.effect == ModeRow::kRemoved) {
                EXPECT_EQ(c.run(sea, row.mode, variable), lookup::notFound) << "gone: the same call finds nothing";
            }
        }
    }
}

TEST(Lookup, TypedIndexAtAndBeyondTheValues) {
    struct Row {
        const char* what;
        int mode;
        unsigned index;
        int expectedVariable;
        std::wstring expectedValues;
    };
    const Row rows[] = {
        {"read below the count", lookup::read, 1, 20, L"10 20"},
        {"read at the count appends", lookup::read, 2, 7, L"10 20 7"},
        {"read beyond the count keeps all", lookup::read, 3, 7, L"10 20"},
        {"read-existing at the count appends", lookup::readExisting, 2, 7, L"10 20 7"},
        {"write below the count", lookup::write, 0, 7, L"7 20"},
        {"write at the count appends", lookup::write, 2, 7, L"10 20 7"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CResourceSea sea;
        sea.SetLine(L"n", L"10 20");
        int value = 7;
        EXPECT_EQ(sea.LookupInt(row.mode, L"n", value, row.index), lookup::found);
        EXPECT_EQ(value, row.expectedVariable);
        EXPECT_EQ(ValuePart(sea, L"n"), row.expectedValues);
    }
}

TEST(Lookup, WriteBeyondTheValuesThrowsAndLeavesTheNewEntryEmpty) {
    LookupSea sea;
    int value = 5;
    try {
        sea.LookupInt(lookup::write, L"n", value, 3);
        ADD_FAILURE() << "no exception";
    } catch (const CResourceSeaException& e) {
        EXPECT_EQ(e.m_code, 3u);
        EXPECT_EQ(std::wstring(e.m_message.GetString()), L"n: tried to set value 3 of 0.");
    }
    ASSERT_NE(sea.GetEntry(L"n"), nullptr);
    EXPECT_EQ(sea.GetEntry(L"n")->NValues(), 0u);
    EXPECT_THROW(sea.LookupSetInt(L"n", 1, 1), CResourceSeaException);
}

TEST(Lookup, VectorAndSetReadOnlyWhatExisted) {
    CResourceSea sea;
    sea.SetLine(L"v", L"1 2 3 4");
    int values[2] = {9, 9};
    EXPECT_EQ(sea.LookupIntVector(lookup::read, L"v", values, 2), lookup::found);
    EXPECT_EQ(values[0], 1);
    EXPECT_EQ(values[1], 2);
    EXPECT_EQ(ValuePart(sea, L"v"), L"1 2 3 4");  // a read never cuts the entry

    // A bad count or array is an empty vector: nothing is read or written through it.
    EXPECT_EQ(sea.LookupIntVector(lookup::read, L"v", nullptr, 4), lookup::found);
    EXPECT_EQ(sea.LookupIntVector(lookup::write, L"w", values, -1), lookup::created);
    EXPECT_EQ(ValuePart(sea, L"w"), L"");

    std::set<int> set{8};
    EXPECT_EQ(sea.LookupIntSet(lookup::write, L"v", set), lookup::found);
    EXPECT_EQ(ValuePart(sea, L"v"), L"8");
}

// ---------------------------------------------------------------------------------------
// Readers with a fallback and writers: the text forms are the entries' (see
// the entry tests); here, which entry they use, create or leave alone.

TEST(Lookup, ReadersWithFallbackNeverCreate) {
    struct Row {
        const char* what;
        std::function<std::wstring(CResourceSea&)> read;
        std::wstring expected;
        std::wstring valuesAfter = L"12 \"\"";  // value part of "e" afterwards
    };
    seatest::ScratchDir dir;
    const std::wstring base = dir.Root().wstring();
    const auto num = [](auto v) { return std::to_wstring(v); };
    // The entry "e" starts with the two values 12 and "" (a value without text).
    const Row rows[] = {
        {"int", [&](CResourceSea& s) { return num(s.LookupGetInt(L"x", 0, 7)); }, L"7"},
        {"hex", [&](CResourceSea& s) { return num(s.LookupGetHex(L"x", 0, 255)); }, L"255"},
        {"float", [&](CResourceSea& s) { return num(s.LookupGetFloat(L"x", 0, 1.5f)); }, L"1.500000"},
        {"double", [&](CResourceSea& s) { return num(s.LookupGetDouble(L"x", 0, -0.25)); }, L"-0.250000"},
        {"bool", [&](CResourceSea& s) { return num(s.LookupGetBool(L"x", 0, true)); }, L"1"},
        {"colour", [&](CResourceSea& s) { return num(s.LookupGetRgbColor(L"x", 0, 4)); }, L"4"},
        {"string", [](CResourceSea& s) { return s.LookupGetString(L"x", 0, L"fb").Str(); }, L"fb"},
        {"file name fallback made absolute",
         [&](CResourceSea& s) { return s.LookupGetFilename(L"x", base.c_str(), 0, L"a/../b.sea").Str(); },
         base + L"/b.sea"},
        {"present int", [&](CResourceSea& s) { return num(s.LookupGetInt(L"e", 0, 7)); }, L"12"},
        {"float without text", [&](CResourceSea& s) { return num(s.LookupGetFloat(L"e", 1, 9.f)); }, L"0.000000"},
        {"at the count appends", [&](CResourceSea& s) { return num(s.LookupGetInt(L"e", 2, 7)); }, L"7",
         L"12 \"\" 7"},
        {"a colour at the count appends three",
         [&](CResourceSea& s) { return num(s.LookupGetRgbColor(L"e", 2, 0x030201)); }, num(0x030201),
         L"12 \"\" 1 2 3"},
        {"beyond the count", [&](CResourceSea& s) { return num(s.LookupGetRgbColor(L"e", 5, 4)); }, L"4"},
        {"a string at the count never appends", [](CResourceSea& s) { return s.LookupGetString(L"e", 2, L"fb").Str(); },
         L"fb"},
        {"file name made absolute",
         [&](CResourceSea& s) { return s.LookupGetFilename(L"e", base.c_str(), 0, L"").Str(); }, base + L"/12"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LookupSea sea;
        sea.SetLine(L"e", L"12 \"\"");
        sea.GetEntry(L"e")->ResetModified();
        EXPECT_EQ(row.read(sea), row.expected);
        EXPECT_EQ(ValuePart(sea, L"e"), row.valuesAfter);
        // Only an append changes the entry.
        EXPECT_EQ(sea.GetEntry(L"e")->Modified(), row.valuesAfter != L"12 \"\"");
        EXPECT_EQ(sea.GetEntry(L"x"), nullptr);
        EXPECT_EQ(sea.NrEntries(), 1u);
    }
}

TEST(Lookup, WritersReplaceInPlaceOrCreateAtTheEnd) {
    seatest::ScratchDir dir;
    const std::wstring base = dir.Root().wstring();
    // Far beyond the old 260-character path limit: stored whole, relative to base.
    const std::wstring longLeaf = std::wstring(300, L'x') + L"/" + std::wstring(200, L'y') + L".sea";
    struct Row {
        const char* what;
        std::function<lookup::result(CResourceSea&)> write;
        std::wstring valuePart;
    };
    const Row rows[] = {
        {"int", [](CResourceSea& s) { return s.LookupSetInt(L"w", -12); }, L"-12"},
        {"hex", [](CResourceSea& s) { return s.LookupSetHex(L"w", -1); }, L"ffffffffffffffff"},
        {"float", [](CResourceSea& s) { return s.LookupSetFloat(L"w", 1.5f); }, L"1.500000"},
        {"double", [](CResourceSea& s) { return s.LookupSetDouble(L"w", -0.25); }, L"-0.250000"},
        {"bool", [](CResourceSea& s) { return s.LookupSetBool(L"w", false); }, L"0"},
        {"colour", [](CResourceSea& s) { return s.LookupSetRgbColor(L"w", 0x00336699); }, L"153 102 51"},
        {"string", [](CResourceSea& s) { return s.LookupSetString(L"w", L"two words"); }, L"\"two words\""},
        {"null string", [](CResourceSea& s) { return s.LookupSetString(L"w", nullptr); }, L"\"\""},
        {"file name below base",
         [&](CResourceSea& s) { return s.LookupSetFilename(L"w", (base + L"/d/f.sea").c_str(), base.c_str()); },
         L"d/f.sea"},
        {"file name outside base",
         [&](CResourceSea& s) { return s.LookupSetFilename(L"w", L"/elsewhere/f.sea", base.c_str()); },
         L"/elsewhere/f.sea"},
        {"long file name",
         [&](CResourceSea& s) { return s.LookupSetFilename(L"w", (base + L"/" + longLeaf).c_str(), base.c_str()); },
         longLeaf},
    };
    for (const Row& row : rows) {
        for (bool present : {false, true}) {
            SCOPED_TRACE(std::string(row.what) + (present ? ", present" : ", missing"));
            CResourceSea sea;
            if (present)
                Load(sea, dir, {L"w: old", L"z: 1"});
            else
                Load(sea, dir, {L"z: 1"});
            EXPECT_EQ(row.write(sea), present ? lookup::found : lookup::created);
            EXPECT_EQ(ValuePart(sea, L"w"), row.valuePart);
            const std::wstring line = L"w:\t" + row.valuePart + L" ";
            EXPECT_EQ(Written(sea, dir), present ? (Lines{line, L"z: 1"}) : (Lines{L"z: 1", line}));
        }
    }
}

TEST(Lookup, FilenameRoundTripsThroughTheSea) {
    seatest::ScratchDir dir;
    const std::wstring base = dir.Root().wstring();
    CResourceSea sea;
    CString path((base + L"/" + std::wstring(280, L'p') + L"/x.sea").c_str());
    const CString original = path;
    EXPECT_EQ(sea.LookupFilename(lookup::write, L"f", path, base.c_str()), lookup::created);
    EXPECT_EQ(path, original);
    EXPECT_EQ(ValuePart(sea, L"f"), std::wstring(280, L'p') + L"/x.sea");
    CString readBack(L"/unused");
    EXPECT_EQ(sea.LookupFilename(lookup::readExisting, L"f", readBack, base.c_str()), lookup::found);
    EXPECT_EQ(readBack, original);
    EXPECT_EQ(sea.LookupGetFilename(L"f", base.c_str(), 0, L""), original);
}

// ---------------------------------------------------------------------------------------
// The common first step.

// The common first step of the typed lookups (whose mode table is above):
// a created entry takes the status asked for, a missing one is no pointer.
TEST(Lookup, LookupEntryGivesTheEntryOrNone) {
    LookupSea sea;
    CResourceEntry* entry = reinterpret_cast<CResourceEntry*>(&sea);  // must be overwritten
    EXPECT_EQ(sea.LookupEntry(entry, lookup::readExisting, L"a", CResourceEntry::StatusListEntry), lookup::notFound);
    EXPECT_EQ(entry, nullptr);
    EXPECT_EQ(sea.LookupEntry(entry, lookup::read, L"a", CResourceEntry::StatusListEntry), lookup::created);
    ASSERT_EQ(entry, sea.GetEntry(L"a"));
    EXPECT_TRUE(entry->IsListEntry());
    // Mode 7 here only finds: deleting is the typed lookups' step.
    EXPECT_EQ(sea.LookupEntry(entry, lookup::remove, L"a", 0), lookup::found);
    EXPECT_EQ(entry, sea.GetEntry(L"a"));
}

// ---------------------------------------------------------------------------------------
// Format strings.

TEST(Lookup, FormatStringModeTable) {
    struct Row {
        int mode;
        bool present;
        int expected;
        const wchar_t* valuesAfter;  // value part of "f" afterwards
        int variableAfter;           // the int variable afterwards (starts at 5)
    };
    // The present entry holds 12 2.5 abc; the variables hold 5 0.5 "xy".
    const Row rows[] = {
        {lookup::read, false, 2, L"5 0.500000 xy", 5},
        {lookup::write, false, 2, L"5 0.500000 xy", 5},
        {lookup::readExisting, false, 0, L"<missing>", 5},
        {lookup::remove, false, 0, L"<missing>", 5},
        {0, false, 0, L"<missing>", 5},
        {5, false, 0, L"<missing>", 5},
        {lookup::read, true, 1, L"12 2.5 abc", 12},
        {lookup::readExisting, true, 1, L"12 2.5 abc", 12},
        {lookup::write, true, 1, L"5 0.500000 xy", 5},
        {lookup::remove, true, 1, L"<missing>", 5},
        {0, true, 1, L"5 0.500000 xy", 5},
        {5, true, 1, L"5 0.500000 xy", 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("mode " + std::to_string(row.mode) + (row.present ? ", present" : ", missing"));
        CResourceSea sea;
        if (row.present) sea.SetLine(L"f", L"12 2.5 abc");
        int i = 5;
        double d = 0.5;
        wchar_t text[16] = L"xy";
        EXPECT_EQ(sea.Lookup(row.mode, L"f", L"%d %lf %s", &i, &d, text), row.expected);
        EXPECT_EQ(ValuePart(sea, L"f"), row.valuesAfter);
        EXPECT_EQ(i, row.variableAfter);
        if (row.variableAfter == 12) {
            EXPECT_DOUBLE_EQ(d, 2.5);
            EXPECT_EQ(std::wstring(text), L"abc");
        } else {
            EXPECT_DOUBLE_EQ(d, 0.5);
            EXPECT_EQ(std::wstring(text), L"xy");
        }
    }
}

TEST(Lookup, GetReadsOnlyPresentEntries) {
    CResourceSea sea;
    int i = 5;
    long l = 6;
    EXPECT_EQ(sea.Get(L"g", L"%d %ld", &i, &l), 0);
    EXPECT_EQ(sea.NrEntries(), 0u);
    sea.SetLine(L"g", L"7");
    EXPECT_EQ(sea.Get(L"g", L"%d %ld", &i, &l), 1);
    EXPECT_EQ(i, 7);
    EXPECT_EQ(l, 6);  // no second value: the variable stays
}

TEST(Lookup, SetTakesValuesNotPointers) {
    seatest::ScratchDir dir;
    CResourceSea sea;
    Load(sea, dir, {L"s: 1 2 3 4 5"});
    sea.Set(L"s", L"%d %d", 8, 9);
    EXPECT_EQ(ValuePart(sea, L"s"), L"8 9 3 4 5");  // later values stay
    sea.Set(L"n", L"%d %lf %f %s %x", -1, 2.5, 1.5f, L"a b", 255ul);
    EXPECT_EQ(ValuePart(sea, L"n"), L"-1 2.500000 1.500000 \"a b\" ff");
    EXPECT_EQ(Written(sea, dir),
              (Lines{L"s:\t8 9 3 4 5 ", L"n:\t-1 2.500000 1.500000 \"a b\" ff "}));
}

TEST(Lookup, FormatErrorsReachTheCallerWithEarlierValuesDone) {
    CResourceSea sea;
    try {
        sea.Set(L"e", L"%d %c", 4, 65);
        ADD_FAILURE() << "no exception";
    } catch (const CResourceSeaException& e) {
        EXPECT_EQ(e.m_code, 5u);
    }
    EXPECT_EQ(ValuePart(sea, L"e"), L"4");
    int i = 0;
    int j = 0;
    // A missing value ends the read before its element is decoded.
    EXPECT_EQ(sea.Lookup(lookup::read, L"e", L"%d %5d", &i, &j), lookup::found);
    EXPECT_EQ(i, 4);
    sea.LookupSetInt(L"e", 5, 1);
    i = 0;
    EXPECT_THROW(sea.Lookup(lookup::read, L"e", L"%d %5d", &i, &j), CResourceSeaException);
    EXPECT_EQ(i, 4);
    EXPECT_EQ(j, 0);
    EXPECT_THROW(sea.Get(L"e", L"d", &i), CResourceSeaException);
}

// ---------------------------------------------------------------------------------------
// Lines, list lines, comments and queries.

TEST(Lookup, GetLineGivesTheValuePartAsRead) {
    seatest::ScratchDir dir;
    LookupSea sea;
    Load(sea, dir, {L"a:   1  2  ", L"colors: {", L"\tred 1", L"\t; note", L"} end", L"z: 1"});
    CString line(L"unchanged");
    EXPECT_EQ(sea.GetLine(L"missing", line), 0);
    EXPECT_EQ(line, L"unchanged");
    EXPECT_EQ(sea.GetLine(L"a", line), 1);
    EXPECT_EQ(line, L"1  2");  // the text as read, not rebuilt
    EXPECT_TRUE(sea.GetEntry(L"a")->Accessed());
    EXPECT_EQ(sea.GetLine(L"colors", line), 1);
    EXPECT_EQ(line, L"{\nred 1\n; note\n} end");
}

TEST(Lookup, SetLineReplacesTheValuePartOrReportsAndKeepsIt) {
    seatest::ScratchDir dir;
    LookupSea sea;
    Load(sea, dir, {L"a: 1", L"bad: 1 2", L"z: 1"});
    seatest::CaptureOutput capture;
    CResourceEntry* entry = sea.SetLine(L"a", L"x \"two words\" 3");
    ASSERT_EQ(entry, sea.GetEntry(L"a"));
    EXPECT_EQ(entry->NValues(), 3u);
    EXPECT_EQ(entry->GetString(1), L"two words");
    EXPECT_TRUE(entry->Modified());
    CResourceEntry* created = sea.SetLine(L"b", L"5");
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->GetInt(0), 5);
    EXPECT_NE(sea.SetLine(L"c", nullptr), nullptr);
    EXPECT_EQ(ValuePart(sea, L"c"), L"");
    EXPECT_TRUE(capture.Reports().empty());

    // Bad values: reported, and the entry keeps its values and stays an ordinary entry.
    for (const wchar_t* name : {L"bad", L"new"}) {
        SCOPED_TRACE(kelvaro::utf8::Encode(name));
        capture.Clear();
        CResourceEntry* kept = sea.SetLine(name, L"3 \"open");
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(kept, sea.GetEntry(name));
        ASSERT_EQ(capture.Reports().size(), 1u);
        EXPECT_EQ(capture.Reports()[0].category, PrWin::LibraryMessage);
        EXPECT_EQ(capture.Reports()[0].style, PrWin::ReadProblem);
        EXPECT_EQ(capture.Reports()[0].text, L"Syntax error in SetLine(" + std::wstring(name) + L"): 3 \"open\n");
        EXPECT_FALSE(kept->IsComment());
        EXPECT_FALSE(kept->SyntaxError());
    }
    EXPECT_EQ(ValuePart(sea, L"bad"), L"1 2");
    EXPECT_EQ(sea.GetEntry(L"new")->NValues(), 0u);
    EXPECT_EQ(Written(sea, dir),
              (Lines{L"a:\tx \"two words\" 3 ", L"bad:\t1 2 ", L"z: 1", L"b:\t5 ", L"c:\t", L"new:\t"}));
    sea.MitSedimentfilter(true);  // a bad line would be dropped here
    const Lines filtered = Written(sea, dir);
    EXPECT_NE(std::find(filtered.begin(), filtered.end(), L"bad:\t1 2 "), filtered.end());
}

TEST(Lookup, AddListLine) {
    seatest::ScratchDir dir;
    LookupSea sea;
    Load(sea, dir, {L"plain: 1", L"list: {", L"\told", L"}"});
    struct Row {
        const char* what;
        const wchar_t* name;
        const wchar_t* line;
        bool expected;
    };
    const Row rows[] = {
        {"ordinary entry refuses", L"plain", L"x", false},
        {"existing list appends", L"list", L"new 1", true},
        {"missing name creates a list", L"fresh", L"first", true},
        {"null line is a blank line", L"fresh", nullptr, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(sea.AddListLine(row.name, row.line), row.expected);
    }
    EXPECT_EQ(ValuePart(sea, L"plain"), L"1");
    EXPECT_FALSE(sea.IsListEntry(L"plain"));
    EXPECT_TRUE(sea.IsListEntry(L"fresh"));
    EXPECT_TRUE(sea.GetEntry(L"list")->Modified());
    // Added lines keep their text as given, as lines read from a file do.
    EXPECT_EQ(Written(sea, dir), (Lines{L"plain: 1", L"list: {", L"\told", L"new 1", L"}",
                                                            L"fresh: {", L"first", L"", L"} \t;-- fresh"}));
}

TEST(Lookup, AppendCommentLine) {
    seatest::ScratchDir dir;
    LookupSea sea;
    Load(sea, dir, {L"a: 1"});
    sea.AppendCommentLine(L"hello world");
    sea.AppendCommentLine(nullptr);
    EXPECT_EQ(sea.NrEntries(), 1u);  // comments are not indexed
    EXPECT_EQ(sea.NrLines(), 3u);
    sea.MitSedimentfilter(true);  // comments carry the Accessed bit, so they survive it
    EXPECT_EQ(Written(sea, dir), (Lines{L"; hello world ", L"  "}));
}

TEST(Lookup, DeleteHasEntryTouchIsListEntry) {
    seatest::ScratchDir dir;
    LookupSea sea;
    Load(sea, dir, {L"a: 1", L"; c", L"l: {", L"}", L"b: 2"});
    struct Row {
        const wchar_t* name;
        bool has;
        bool list;
    };
    const Row rows[] = {{L"a", true, false}, {L"l", true, true}, {L"never", false, false}, {L"c", false, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name, row.name + std::wcslen(row.name)));
        EXPECT_EQ(sea.HasEntry(row.name), row.has);
        EXPECT_EQ(sea.IsListEntry(row.name), row.list);
    }
    EXPECT_FALSE(sea.Touch(L"never"));
    EXPECT_EQ(sea.NrEntries(), 3u);
    EXPECT_FALSE(sea.GetEntry(L"b")->Modified());
    EXPECT_TRUE(sea.Touch(L"b"));
    EXPECT_EQ(sea.GetEntry(L"b")->Status() & 3u, 3u);

    // An indexed entry turned into a comment is no entry for HasEntry.
    sea.GetEntry(L"a")->SetToComment(nullptr);
    EXPECT_FALSE(sea.HasEntry(L"a"));

    EXPECT_EQ(sea.Delete(L"never"), 0);
    EXPECT_EQ(sea.Delete(L"l"), 1);
    EXPECT_EQ(sea.Delete(L"l"), 0);
    EXPECT_FALSE(sea.IsListEntry(L"l"));
    EXPECT_EQ(Written(sea, dir), (Lines{L"; a:\t1 ", L"; c", L"b: 2"}));
}

}  // namespace
