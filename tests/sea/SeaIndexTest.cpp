// The name index: one hash for both forms of a name, removals, rebuilds, wrapped probes, the walk.
#include <memory>
#include <set>
#include <stdexcept>

#include "kelvaro/entry/NameHash.h"
#include "kelvaro/sea/SeaIndex.h"
#include "sea/SeaTestSupport.h"

namespace {

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
