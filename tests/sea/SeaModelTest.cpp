// The sea's data: line list, name index, counts, iteration, deletion, purging; the index on its own.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>

#include "kelvaro/entry/NameHash.h"
#include "kelvaro/sea/SeaIndex.h"
#include "sea/SeaTestSupport.h"

namespace {

using namespace seatest;

// The names iteration visits; each must find its own entry, and none twice.
std::set<std::wstring> Walked(TestSea& sea) {
    std::set<std::wstring> names;
    CString name;
    for (POSITION pos = sea.GetEntriesStartPosition(); pos != nullptr;) {
        const CResourceEntry* entry = sea.GetNextEntry(name, pos);
        EXPECT_TRUE(entry != nullptr && entry->Name() == name && sea.GetEntry(name.GetString()) == entry);
        EXPECT_TRUE(names.insert(name.Str()).second) << "visited twice";
    }
    return names;
}

// One entry per name, names case-sensitive; comments are lines but no entries;
// a new entry follows every line there is, a new list comes with its closing line.
TEST(SeaModel, LinesEntriesNamesIterationIndexSizeAndPurge) {
    ScratchDir dir;
    TestSea sea;
    Load(sea, dir, {L"; head", L"", L"   ; three"});
    EXPECT_TRUE(sea.IsEmpty());
    EXPECT_EQ(sea.NrLines(), 3u);
    EXPECT_EQ(sea.GetEntriesStartPosition(), nullptr);
    CResourceEntry* lower = sea.CreateEntry(L"name", 0);
    ASSERT_NE(lower, nullptr);
    EXPECT_EQ(sea.CreateEntry(L"name", CResourceEntry::StatusListEntry), lower) << "the same entry again";
    EXPECT_FALSE(lower->IsListEntry()) << "the status of the second call is ignored";
    CResourceEntry* upper = sea.CreateEntry(L"Name", 0);
    EXPECT_TRUE(lower != upper && sea.GetEntry(L"Name") == upper && sea.GetEntry(L"NAME") == nullptr);
    lower->SetInt(3, 0);
    upper->SetInt(4, 0);
    ASSERT_TRUE(sea.CreateEntry(L"colors", CResourceEntry::StatusListEntry)->IsListEntry());
    EXPECT_EQ(sea.NrEntries(), 3u);
    EXPECT_EQ(Written(sea, dir),
              (Lines{L"; head", L"", L"   ; three", L"name:\t3 ", L"Name:\t4 ", L"colors: {", L"} \t;-- colors"}));
    // Iteration visits every named entry once, no comment and no list line.
    Load(sea, dir, {L"; c", L"a: 1", L"b: 2", L"l: {", L"\tx", L"}", L"c: 3"}, "i.sea");
    EXPECT_EQ(Walked(sea), (std::set<std::wstring>{L"a", L"b", L"l", L"c"}));
    // The hash size is only the start of the index.
    for (const auto& [hashSize, entries] : {std::pair{1u, 1000u}, {17u, 5000u}, {4001u, 50000u}}) {
        SCOPED_TRACE(hashSize);
        TestSea sized(hashSize);
        for (unsigned i = 0; i < entries; ++i) sized.CreateEntry((L"k" + std::to_wstring(i)).c_str(), 0);
        EXPECT_EQ(sized.NrEntries(), entries);
        sized.GetEntry(L"k0")->SetInt(42, 0);  // values even where the buffers were not made ready
        EXPECT_EQ(sized.GetEntry(L"k0")->GetInt(0), 42);
        for (unsigned i = 1; i < entries; i += 97)
            EXPECT_EQ(sized.Text((L"k" + std::to_wstring(i)).c_str()), L"k" + std::to_wstring(i) + L":");
    }
    // Emptying a sea keeps what ties it to its file: a later save must go there.
    CResourceSea purged;
    purged.SetSeaName(L"Status");
    Load(purged, dir, {L"a: 1", L"; c"}, "p.sea");
    purged.SetFileSection(true);
    purged.SaveAsUnicode(false);
    purged.PurgeDataBase();
    EXPECT_TRUE(purged.NrLines() == 0u && purged.SeaName() == L"Status" && purged.Filename() == dir.Wide("p.sea"));
    EXPECT_TRUE(purged.IsFilebased() && purged.IsFileSection() && !purged.IsUnicodeFile());
    purged.CreateEntry(L"x", 0);
    EXPECT_EQ(purged.NrLines(), 1u);
    EXPECT_TRUE(purged.Create() && !purged.IsFilebased() && purged.NrLines() == 0u);
    EXPECT_EQ(purged.Filename(), dir.Wide("p.sea")) << "the file name stays";
}

// An entry given another line through its own assignment answers to the
// name that line has, once, and no longer to the old one, which is free for
// a new entry; a name another entry holds stays with it, and a line that is
// no entry any more answers to none. Deleting the entry takes its one key:
// a key left behind would reach freed memory at the next lookup.
TEST(SeaModel, RenamedEntriesAnswerToTheirPresentName) {
    using Rename = std::function<void(TestSea&, CResourceEntry&)>;
    const auto assign = [](const wchar_t* line) -> Rename { return [line](TestSea&, CResourceEntry& e) { e = line; }; };
    const struct Case { const char* what; Rename rename; const wchar_t* answers; } cases[] = {  // null: no name
        {"wide line", assign(L"new: 2"), L"new"},
        {"8-bit line", [](TestSea&, CResourceEntry& e) { e = "new: 2"; }, L"new"},
        {"same name", assign(L"old: 9"), L"old"},
        {"taken name", assign(L"kept: 2"), nullptr},
        {"comment", [](TestSea&, CResourceEntry& e) { e.SetToComment(L"was old"); }, nullptr},
        {"bad line", [](TestSea&, CResourceEntry& e) { EXPECT_TRUE(Thrown([&] { e = L"no colon"; })); }, nullptr},
        {"twice unseen", [](TestSea&, CResourceEntry& e) { e = L"mid: 1"; e = L"new: 2"; }, L"new"},
        {"back again",
         [](TestSea& sea, CResourceEntry& e) { e = L"mid: 1"; EXPECT_EQ(sea.GetEntry(L"mid"), &e); e = L"old: 3"; },
         L"old"},
        {"copy of another",
         [](TestSea&, CResourceEntry& e) { CResourceEntry other(nullptr, 0, nullptr); e = (other = L"new: 4"); }, L"new"},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestSea sea;
        Load(sea, dir, {L"old: 1", L"kept: 5"});
        CResourceEntry *kept = sea.GetEntry(L"kept"), *entry = sea.GetEntry(L"old");
        ASSERT_NE(entry, nullptr);
        c.rename(sea, *entry);
        const std::wstring answers = c.answers != nullptr ? c.answers : L"";
        EXPECT_EQ(sea.GetEntry(L"old"), answers == L"old" ? entry : nullptr);
        EXPECT_EQ(sea.GetEntry(L"kept"), kept);
        std::set<std::wstring> expected{L"kept"};
        if (c.answers != nullptr) expected.insert(answers);
        EXPECT_EQ(Walked(sea), expected) << "each name walked finds its entry";
        EXPECT_TRUE(sea.NrEntries() == expected.size() && sea.NrLines() == 2u);
        if (c.answers != nullptr) {
            EXPECT_EQ(sea.GetEntry(c.answers), entry);
            EXPECT_EQ(sea.Delete(c.answers), lookup::found);
            EXPECT_TRUE(sea.GetEntry(c.answers) == nullptr && sea.NrLines() == 1u);
        }
        CResourceEntry* fresh = sea.CreateEntry(L"old", 0);
        EXPECT_TRUE(fresh != entry && sea.GetEntry(L"old") == fresh && sea.Value(L"kept") == L"5");
    }
}

// Deleting one entry after another must not walk the line list each time:
// a 1,000,000-line sea would take minutes for 100,000 deletes. Every way to
// delete is used, with reads of the lines in between, and the write-back
// keeps every other line byte for byte.
TEST(SeaModel, DeletingManyEntriesTakesOnePassAndKeepsTheRest) {
    constexpr unsigned kEntries = 20000;
    ScratchDir dir;
    Lines lines, expected;
    for (unsigned i = 0; i < kEntries; ++i) {
        const std::wstring name = L"key" + std::to_wstring(i);
        lines.insert(lines.end(), {L"; about " + name, name + L":  " + std::to_wstring(i) + L"   \"x y\""});
        expected.push_back(lines[lines.size() - 2]);
        if (i % 4 != 0) expected.push_back(lines.back());
    }
    TestSea sea;
    Load(sea, dir, lines);
    const std::uint64_t before = sea.LineSteps();
    for (unsigned i = 0; i < kEntries; i += 4) {
        const std::wstring name = L"key" + std::to_wstring(i);
        int value = 0;
        switch (i % 16) {
            case 0: EXPECT_EQ(sea.Delete(name.c_str()), lookup::found); break;
            case 4: EXPECT_EQ(sea.LookupInt(lookup::remove, name.c_str(), value), lookup::found); break;
            case 8: EXPECT_EQ(sea.Lookup(lookup::remove, name.c_str(), L"%d", &value), lookup::found); break;
            default: sea.DeleteSeaLine(sea.GetEntry(name.c_str())); break;
        }
        EXPECT_EQ(sea.GetEntry(name.c_str()), nullptr);
        // Reading the lines in between closes the gaps so far.
        if (i % 4000 == 0) { EXPECT_EQ(sea.LineAt(sea.NrLines() - 1)->Name(), L"key" + std::to_wstring(kEntries - 1)); }
    }
    // No entry, or one of a kept name that is no line of the sea: the key
    // maps to the sea's own entry and must stay, the foreign entry stays alive.
    sea.DeleteSeaLine(nullptr);
    CResourceEntry *own = sea.GetEntry(L"key1"), foreign(nullptr, 0, L"key1");
    sea.DeleteSeaLine(&foreign);
    EXPECT_TRUE(foreign.Name() == L"key1" && sea.GetEntry(L"key1") == own);
    sea.CreateEntry(L"added", 0)->SetInt(1, 0);
    expected.push_back(L"added:\t1 ");
    EXPECT_TRUE(sea.NrLines() == expected.size() && sea.NrEntries() == kEntries - kEntries / 4 + 1);
    ASSERT_TRUE(sea.UpdateIfPossible()) << sea.WriteError().Str();
    EXPECT_LE(sea.LineSteps() - before, 10u * lines.size()) << "deleting walked the lines once per entry";
    EXPECT_EQ(ReadBytes(dir.Path("t.sea")), SeaUtf16(expected));
}

// A name read from a file is hashed from its bytes, one asked for from its wide text; a long name is hashed in pieces.
TEST(SeaIndex, BothFormsOfANameHashAlike) {
    for (const std::size_t length : {0u, 1u, 255u, 256u, 257u, 700u}) {
        std::vector<unsigned char> bytes;
        for (std::size_t i = 0; i < length; ++i) bytes.push_back(static_cast<unsigned char>(0x21 + (i * 37) % 0xDE));
        const std::wstring wide(bytes.begin(), bytes.end());
        EXPECT_EQ(kelvaro::HashName(wide), kelvaro::HashName(bytes.data(), bytes.size())) << length;
    }
    // A character above U+00FF is not mistaken for its low byte.
    EXPECT_NE(kelvaro::HashName(L"\u0141x"), kelvaro::HashName(L"\u0041x"));
}

// Names compared entry to entry in every pairing of their forms: a narrow
// line read from a file, a wide one (a value above U+00FF keeps it wide), a
// name made as a string.
TEST(SeaIndex, EntriesCompareTheirNamesInEveryForm) {
    ScratchDir dir;
    TestSea one, two;
    Load(one, dir, {L"x: 1", L"xy: 2", L"w: \u0141"}, "one.sea");
    Load(two, dir, {L"x: 3", L"y: 4", L"w: 5"}, "two.sea");
    const CResourceEntry* made = two.CreateEntry(L"xy", 0);
    const CResourceEntry* x = one.GetEntry(L"x");
    const CResourceEntry* wide = one.GetEntry(L"w");
    const struct {
        const CResourceEntry *a, *b;
        bool same;
    } cases[] = {
        {x, two.GetEntry(L"x"), true},   {x, two.GetEntry(L"y"), false}, {x, one.GetEntry(L"xy"), false},
        {one.GetEntry(L"xy"), made, true}, {x, made, false},             {wide, two.GetEntry(L"w"), true},
        {wide, made, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.a->HasSameName(*c.b), c.same) << c.a->Name().Str() << " " << c.b->Name().Str();
        EXPECT_EQ(c.b->HasSameName(*c.a), c.same);
    }
}

std::vector<std::unique_ptr<CResourceEntry>> Entries(unsigned count) {
    std::vector<std::unique_ptr<CResourceEntry>> entries;
    for (unsigned i = 0; i < count; ++i)
        entries.push_back(std::make_unique<CResourceEntry>(nullptr, 0u, (L"n" + std::to_wstring(i)).c_str()));
    return entries;
}

// Filing enough entries to rebuild the table several times, removing every
// third one and filing those again: each one is found where it should be.
TEST(SeaIndex, FindsEveryEntryAcrossRemovalsRebuildsAndProbesAndWalksEachOnce) {
    const auto entries = Entries(5000);
    SeaIndex index;
    for (const auto& e : entries) index.Insert(e.get(), e->NameHash());
    const auto check = [&](bool thirdsFiled) {
        for (unsigned i = 0; i < entries.size(); ++i) {
            const bool filed = thirdsFiled || i % 3 != 0;
            EXPECT_EQ(index.Find(entries[i]->Name().Str()), filed ? entries[i].get() : nullptr) << i;
            EXPECT_EQ(index.Holds(entries[i].get()), filed) << i;
        }
        EXPECT_EQ(index.Find(L"missing"), nullptr);
    };
    check(true);
    for (unsigned i = 0; i < entries.size(); i += 3) EXPECT_TRUE(index.Remove(entries[i].get()));
    EXPECT_TRUE(!index.Remove(entries[0].get()) && index.Count() == 3333u) << "removed twice";
    check(false);
    const std::size_t capacity = index.Capacity();
    for (unsigned i = 0; i < entries.size(); i += 3) index.Insert(entries[i].get(), entries[i]->NameHash());
    EXPECT_EQ(index.Capacity(), capacity) << "removed slots are used again";
    check(true);
    // All under one hash, the last slot: the chain wraps around, and removing
    // from its middle or its end keeps the rest reachable.
    const auto chained = Entries(10);
    SeaIndex chain;
    chain.Reserve(chained.size());
    const std::size_t last = chain.Capacity() - 1;
    for (const auto& e : chained) chain.Insert(e.get(), last);
    for (const unsigned gone : {4u, 9u, 0u, 8u})
        EXPECT_TRUE(chain.Remove(chained[gone].get(), last) && chain.Find(chained[gone]->Name().Str(), last) == nullptr);
    for (const unsigned kept : {1u, 2u, 3u, 5u, 6u, 7u})
        EXPECT_EQ(chain.Find(chained[kept]->Name().Str(), last), chained[kept].get());
    chain.Insert(chained[4].get(), last);
    EXPECT_TRUE(chain.Find(chained[4]->Name().Str(), last) == chained[4].get() && chain.Count() == 7u);
    // The walk visits each entry once, also when the one it stands on is removed on the way.
    const auto walked = Entries(300);
    SeaIndex walk;
    EXPECT_EQ(walk.First(), nullptr);
    for (const auto& e : walked) walk.Insert(e.get(), e->NameHash());
    std::set<const CResourceEntry*> seen;
    for (POSITION pos = walk.First(); pos != nullptr;) {
        CResourceEntry* entry = walk.Next(pos);
        if (entry == nullptr) break;  // the last one was taken out ahead
        EXPECT_TRUE(seen.insert(entry).second && walk.Remove(entry));
        if (pos != nullptr && seen.size() % 7 == 0) {
            // Takes out the one pos stands on: the walk goes past it.
            POSITION peek = pos;
            CResourceEntry* next = walk.Next(peek);
            EXPECT_TRUE(walk.Remove(next) && seen.insert(next).second);
        }
    }
    EXPECT_TRUE(seen.size() == walked.size() && walk.IsEmpty());
    POSITION none = nullptr;
    EXPECT_THROW(walk.Next(none), std::invalid_argument);
}

}  // namespace
