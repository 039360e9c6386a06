// The memory of entries. The value reservoir: rounded capacities, the search of
// the large list, no buffer lost while values come and go. The arena a sea reads
// its entries into: reuse of entry blocks, one line per entry at most, growth in
// chunks, and giving everything back only when nothing lives in it any more.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "entry/EntryTestSupport.h"
#include "kelvaro/entry/SeaArena.h"
#include "kelvaro/platform/Pages.h"
#include "support/TestSupport.h"

namespace {

using entrytest::TestEntry;
using Buffer = CResValueReservoir::Buffer;

TEST(ReservoirTest, BuffersComeBackWithTheirRoundedCapacity) {
    const struct { unsigned need, capacity; } cases[] = {{0, 16}, {16, 16}, {17, 32}, {33, 48}, {1000, 1008}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.need);
        CResValueReservoir r(0);
        Buffer b = r.Take(c.need);
        EXPECT_EQ(b.second, c.capacity);
        r.GiveBack(b);
        EXPECT_EQ(r.Take(c.need).first, b.first) << "the buffer given back is taken again";
        r.GiveBack(b);
    }
    EXPECT_THROW(CResValueReservoir::RoundedCapacity(0xFFFFFFFFu), std::bad_alloc);
    CResValueReservoir r(3);
    Buffer small = r.Take(1);
    EXPECT_EQ(r.SmallCount(), 2u);
    r.GiveBack(small);
    EXPECT_EQ(r.Take(16).first, small.first) << "the last given back is taken first";
    r.GiveBack(small);
    r.GiveBack(Buffer{nullptr, 16});
    EXPECT_EQ(r.SmallCount(), 3u) << "a null buffer is ignored";
}

TEST(ReservoirTest, LargeListSearch) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("reservoir-large-list.txt", 5)) {
        SCOPED_TRACE(row.Where());
        CResValueReservoir r(0);
        for (const std::wstring& cap : row.List(1))
            r.GiveBack(CResValueReservoir::AllocateBuffer(static_cast<unsigned>(std::stoul(cap))));
        Buffer b = r.Take(static_cast<unsigned>(row.Number(2)));
        EXPECT_EQ(b.second, row.Number(3));
        std::vector<std::wstring> after;
        for (unsigned i = 0; i < r.LargeCount(); ++i)
            after.push_back(std::to_wstring(r.LargeCapacityAt(i)));
        EXPECT_EQ(after, row.List(4));
        CResValueReservoir::FreeBuffer(b);
    }
}

TEST(ReservoirTest, WarmReservoirServesEveryShortValue) {
    CResValueReservoir r(64);
    TestEntry e(&r, 0, nullptr);
    e = L"key_000123:\t42 3.5 word ";
    std::set<const wchar_t*> seen;
    for (unsigned i = 0; i < e.NValues(); ++i) seen.insert(e.Buffer(i));
    const unsigned smallAfterWarmUp = r.SmallCount();
    for (int round = 0; round < 100; ++round) {
        e = L"key_000123:\t42 3.5 word ";
        for (unsigned i = 0; i < e.NValues(); ++i)
            ASSERT_EQ(seen.count(e.Buffer(i)), 1u) << "a recycled buffer";
        ASSERT_EQ(r.SmallCount(), smallAfterWarmUp) << "no buffer lost";
    }
}

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
