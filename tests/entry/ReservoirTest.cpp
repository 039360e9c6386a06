// The value reservoir: size classes, the exact-then-larger search of the
// large list, recycling, and what an entry's values do with it.
#include <gtest/gtest.h>

#include <new>
#include <set>
#include <vector>

#include "entry/EntryTestSupport.h"

namespace {

using entrytest::TestEntry;
using Buffer = CResValueReservoir::Buffer;

std::vector<unsigned> LargeList(const CResValueReservoir& r) {
    std::vector<unsigned> out;
    for (unsigned i = 0; i < r.LargeCount(); ++i)
        out.push_back(r.LargeCapacityAt(i));
    return out;
}

TEST(ReservoirTest, SmallBuffersAreRecycledLastInFirstOut) {
    CResValueReservoir r(53);
    EXPECT_EQ(r.SmallCount(), 53u);
    Buffer b = r.Take(1);
    EXPECT_EQ(b.second, 16u);
    EXPECT_EQ(r.SmallCount(), 52u);
    r.GiveBack(b);
    EXPECT_EQ(r.Take(16).first, b.first) << "the last given back is taken first";
    r.GiveBack(b);
    r.GiveBack(Buffer{nullptr, 16});
    EXPECT_EQ(r.SmallCount(), 53u) << "a null buffer is ignored";

    CResValueReservoir empty(0);
    std::vector<Buffer> taken;
    for (int i = 0; i < 300; ++i) {
        taken.push_back(empty.Take(10));
        taken.push_back(empty.Take(100));
    }
    for (const Buffer& t : taken)
        empty.GiveBack(t);
    EXPECT_EQ(empty.SmallCount(), 300u);
    EXPECT_EQ(empty.LargeCount(), 300u);
}

TEST(ReservoirTest, RoundedCapacities) {
    const struct {
        unsigned need, capacity;
    } cases[] = {{0, 16}, {1, 16}, {16, 16}, {17, 32}, {32, 32}, {33, 48}, {49, 64}, {1000, 1008}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.need);
        EXPECT_EQ(CResValueReservoir::RoundedCapacity(c.need), c.capacity);
        CResValueReservoir r(0);
        Buffer b = r.Take(c.need);
        EXPECT_EQ(b.second, c.capacity);
        r.GiveBack(b);
    }
    EXPECT_THROW(CResValueReservoir::RoundedCapacity(0xFFFFFFFFu), std::bad_alloc);
}

TEST(ReservoirTest, LargeListSearch) {
    const struct {
        const char* what;
        std::vector<unsigned> seeded;
        unsigned need;
        unsigned capacity;
        std::vector<unsigned> after;
    } cases[] = {
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
        EXPECT_EQ(LargeList(r), c.after);
        CResValueReservoir::FreeBuffer(b);
    }
}

TEST(ReservoirTest, WarmReservoirServesEveryShortValue) {
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
