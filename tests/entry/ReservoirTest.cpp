// The value reservoir: rounded capacities, the search of the large list, and no buffer
// lost while an entry's values come and go.
#include <gtest/gtest.h>

#include <new>
#include <set>
#include <vector>

#include "entry/EntryTestSupport.h"

namespace {

using entrytest::TestEntry;
using Buffer = CResValueReservoir::Buffer;

TEST(ReservoirTest, BuffersComeBackWithTheirRoundedCapacity)
{
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

TEST(ReservoirTest, LargeListSearch)
{
    // Capacities given back in order, a request, the capacity it gets, the large list afterwards.
    using Caps = std::vector<unsigned>;
    const struct { const char* what; Caps seeded; unsigned need, capacity; Caps after; } cases[] = {
        {"exact pass before the first larger", {64, 48}, 33, 48, {64}},
        {"first larger in list order", {96, 64, 32}, 40, 96, {32, 64}},
        {"exact found late", {96, 64, 48}, 40, 48, {96, 64}},
        {"nothing large enough", {32, 48}, 50, 64, {32, 48}},
        {"hole filled by the last pair", {32, 48, 64}, 17, 32, {64, 48}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CResValueReservoir r(0);
        for (unsigned cap : c.seeded)
            r.GiveBack(CResValueReservoir::AllocateBuffer(cap));
        Buffer b = r.Take(c.need);
        EXPECT_EQ(b.second, c.capacity);
        Caps after;
        for (unsigned i = 0; i < r.LargeCount(); ++i)
            after.push_back(r.LargeCapacityAt(i));
        EXPECT_EQ(after, c.after);
        CResValueReservoir::FreeBuffer(b);
    }
}

TEST(ReservoirTest, WarmReservoirServesEveryShortValue)
{
    CResValueReservoir r(64);
    TestEntry e(&r, 0, nullptr);
    e = L"key_000123:\t42 3.5 word ";
    std::set<const wchar_t*> seen;
    for (unsigned i = 0; i < e.NValues(); ++i)
        seen.insert(e.Buffer(i));
    const unsigned smallAfterWarmUp = r.SmallCount();
    for (int round = 0; round < 100; ++round) {
        e = L"key_000123:\t42 3.5 word ";
        for (unsigned i = 0; i < e.NValues(); ++i)
            ASSERT_EQ(seen.count(e.Buffer(i)), 1u) << "a recycled buffer";
        ASSERT_EQ(r.SmallCount(), smallAfterWarmUp) << "no buffer lost";
    }
}

}  // namespace
