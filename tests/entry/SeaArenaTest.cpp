// The arena a sea reads its entries into: reuse of entry blocks, one line per
// entry at most, growth in chunks, and giving everything back only when
// nothing lives in it any more.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/SeaArena.h"
#include "kelvaro/platform/Pages.h"

namespace {

TEST(SeaArenaTest, BlocksAreReusedAndChunksGrowUntilReset) {
    CSeaArena arena;
    EXPECT_EQ(arena.ReservedBytes(), 0u) << "nothing is taken before the first request";
    void* a = arena.TakeBlock(100);
    void* b = arena.TakeBlock(100);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a) % 16, 0u);
    EXPECT_GE(static_cast<char*>(b) - static_cast<char*>(a), 112) << "blocks do not overlap";
    EXPECT_EQ(arena.TakeBlock(200), nullptr) << "one block size per arena";
    EXPECT_EQ(arena.Allocate(CSeaArena::kLargestRequest + 1), nullptr) << "large requests go to the heap";
    arena.GiveBackBlock(a);
    EXPECT_EQ(arena.TakeBlock(100), a) << "a block given back is the next one taken";
    EXPECT_EQ(arena.LiveBlocks(), 2u);
    EXPECT_FALSE(arena.ResetIfUnused()) << "blocks are alive";

    // Filling several megabytes: every piece distinct, chunks up to huge pages.
    std::set<void*> pieces;
    for (int i = 0; i < 40000; ++i) {
        void* p = arena.Allocate(120);
        ASSERT_NE(p, nullptr);
        static_cast<char*>(p)[119] = 1;  // writable to its end
        pieces.insert(p);
    }
    EXPECT_EQ(pieces.size(), 40000u);
    EXPECT_GE(arena.ReservedBytes(), 40000u * 128u);

    arena.GiveBackBlock(a);
    arena.GiveBackBlock(b);
    EXPECT_TRUE(arena.ResetIfUnused());
    EXPECT_EQ(arena.ReservedBytes(), 0u);
    EXPECT_NE(arena.TakeBlock(64), nullptr) << "after a reset the block size may change";
    EXPECT_EQ(arena.LiveBlocks(), 1u);
    arena.GiveBackBlock(arena.TakeBlock(64));
}

TEST(SeaArenaTest, HugePagesAreAlignedAndZeroed) {
    const std::size_t size = kelvaro::pages::kHugePageSize;
    auto* block = static_cast<unsigned char*>(kelvaro::pages::Allocate(size, true));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % size, 0u);
    EXPECT_EQ(block[0] | block[size / 2] | block[size - 1], 0);
    block[size - 1] = 7;
    kelvaro::pages::Free(block, size);
    EXPECT_EQ(kelvaro::pages::Allocate(size + 1, true), nullptr) << "huge blocks come in whole huge pages";
    EXPECT_EQ(kelvaro::pages::Allocate(0, false), nullptr);
}

TEST(SeaArenaTest, AnEntryTakesOneLineFromItsArenaAndGivesItsBlockBack) {
    CResValueReservoir reservoir(4);
    CResourceEntry* entry = CResourceEntry::NewInArena(&reservoir, 0);
    EXPECT_EQ(reservoir.Arena().LiveBlocks(), 1u);
    *entry = L"name: 1 2";
    const std::size_t afterFirst = reservoir.Arena().ReservedBytes();
    // Lines that keep coming and going use the heap, not the arena.
    for (int i = 0; i < 1000; ++i) {
        *entry = (L"name: " + std::wstring(static_cast<std::size_t>(i % 50), L'x')).c_str();
        entry->SetInt(i, 0);
        CString line;
        entry->GetLine(line);
    }
    EXPECT_EQ(reservoir.Arena().ReservedBytes(), afterFirst);
    std::unique_ptr<CResourceEntry> copy(new CResourceEntry(*entry));
    delete entry;
    EXPECT_EQ(reservoir.Arena().LiveBlocks(), 0u);
    EXPECT_EQ(copy->GetInt(0), 999) << "a copy lives on the heap";
    // An arena list deleting its own lines: every sea read of a list (SeaReading.LinesBecome...).
    EXPECT_TRUE(reservoir.Arena().ResetIfUnused());
}

#if defined(__SANITIZE_ADDRESS__)
TEST(SeaArenaDeathTest, ADeletedEntryIsPoisonedUnderAddressSanitizer) {
    CResValueReservoir reservoir(4);
    CResourceEntry* entry = CResourceEntry::NewInArena(&reservoir, 0);
    *entry = L"n: 1";
    CResourceEntry* const gone = entry;
    delete entry;
    // Read as bytes past the free list's link, the way a stale member read
    // would, without the vptr check that would otherwise come first.
    EXPECT_DEATH(
        {
            volatile unsigned char byte = reinterpret_cast<const volatile unsigned char*>(gone)[40];
            (void)byte;
        },
        "use-after-poison");
}
#endif

}  // namespace
