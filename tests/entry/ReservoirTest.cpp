// The value reservoir: size classes, the exact-then-larger search of the
// large list, recycling, and what an entry's values do with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <new>
#include <vector>

#include "entry/EntryTestSupport.h"

namespace {

using entrytest::TestEntry;
using Buffer = CResValueReservoir::Buffer;

// Gives fresh buffers of the given capacities to the reservoir, in order.
void Seed(CResValueReservoir& r, std::initializer_list<unsigned> capacities) {
    for (unsigned c : capacities)
        r.GiveBack(CResValueReservoir::AllocateBuffer(c));
}

std::vector<unsigned> LargeList(const CResValueReservoir& r) {
    std::vector<unsigned> out;
    for (unsigned i = 0; i < r.LargeCount(); ++i)
        out.push_back(r.LargeCapacityAt(i));
    return out;
}

TEST(ReservoirTest, StartsWithReadySmallBuffers) {
    CResValueReservoir r(53);
    EXPECT_EQ(r.SmallCount(), 53u);
    EXPECT_EQ(r.LargeCount(), 0u);
    Buffer b = r.Take(1);
    EXPECT_EQ(b.second, 16u);
    EXPECT_EQ(r.SmallCount(), 52u);
    r.GiveBack(b);
    EXPECT_EQ(r.SmallCount(), 53u);
    EXPECT_EQ(r.Take(16).first, b.first) << "the last given back is taken first";
    r.GiveBack(b);
}

TEST(ReservoirTest, EmptyReservoirAllocates) {
    CResValueReservoir r(0);
    Buffer b = r.Take(5);
    EXPECT_NE(b.first, nullptr);
    EXPECT_EQ(b.second, 16u);
    EXPECT_EQ(r.SmallCount(), 0u);
    r.GiveBack(b);
    EXPECT_EQ(r.SmallCount(), 1u);
}

TEST(ReservoirTest, RoundedCapacities) {
    const struct {
        unsigned need, capacity;
    } cases[] = {{0, 16}, {1, 16}, {16, 16}, {17, 32}, {32, 32}, {33, 48}, {48, 48}, {49, 64}, {1000, 1008}};
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
        {"first larger when no exact", {64}, 33, 64, {}},
        {"first larger in list order", {96, 64, 32}, 40, 96, {32, 64}},
        {"exact found late", {96, 64, 48}, 40, 48, {96, 64}},
        {"nothing large enough", {32, 48}, 50, 64, {32, 48}},
        {"need already a multiple", {48, 32}, 32, 32, {48}},
        {"hole filled by the last pair", {32, 48, 64}, 17, 32, {64, 48}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CResValueReservoir r(0);
        for (unsigned cap : c.seeded)
            Seed(r, {cap});
        Buffer b = r.Take(c.need);
        EXPECT_EQ(b.second, c.capacity);
        EXPECT_EQ(LargeList(r), c.after);
        CResValueReservoir::FreeBuffer(b);
    }
}

TEST(ReservoirTest, GivenBackBuffersServeTheNextRequest) {
    CResValueReservoir r(0);
    Buffer b48 = r.Take(40);
    EXPECT_EQ(b48.second, 48u);
    r.GiveBack(b48);
    EXPECT_EQ(LargeList(r), std::vector<unsigned>{48});
    EXPECT_EQ(r.SmallCount(), 0u);
    Buffer again = r.Take(48);
    EXPECT_EQ(again.first, b48.first);
    r.GiveBack(again);
    r.GiveBack(Buffer{nullptr, 16});
    EXPECT_EQ(r.SmallCount(), 0u) << "a null buffer is ignored";
}

TEST(ReservoirTest, ManyBuffersGrowTheFreeLists) {
    CResValueReservoir r(0);
    std::vector<Buffer> taken;
    for (int i = 0; i < 300; ++i) {
        taken.push_back(r.Take(10));
        taken.push_back(r.Take(100));
    }
    for (const Buffer& b : taken)
        r.GiveBack(b);
    EXPECT_EQ(r.SmallCount(), 300u);
    EXPECT_EQ(r.LargeCount(), 300u);
}

TEST(ReservoirTest, EntryValueMovesBetweenSizeClasses) {
    CResValueReservoir r(4);
    Seed(r, {64, 32});
    TestEntry e(&r, 0, L"n");
    e.WertNeuSetzen(L"fifteen-chars..", 0);
    EXPECT_EQ(e.Capacity(0), 16u);
    EXPECT_EQ(r.SmallCount(), 3u);
    e.WertNeuSetzen(L"sixteen-chars...", 0);
    EXPECT_EQ(e.Capacity(0), 32u) << "the exact size from the large list";
    EXPECT_EQ(r.SmallCount(), 4u) << "the old buffer went back";
    EXPECT_EQ(LargeList(r), std::vector<unsigned>{64});
    EXPECT_STREQ(e.Buffer(0), L"sixteen-chars...");
    const wchar_t* large = e.Buffer(0);
    e.WertNeuSetzen(L"short", 0);
    EXPECT_EQ(e.Buffer(0), large) << "a text that fits is written in place";
}

TEST(ReservoirTest, WarmReservoirServesEveryShortValue) {
    CResValueReservoir r(64);
    TestEntry e(&r, 0, nullptr);
    e = L"key_000123:\t42 3.5 word ";
    const unsigned smallAfterWarmUp = r.SmallCount();
    const wchar_t* line = e.LinePtr();
    std::vector<const wchar_t*> seen;
    for (unsigned i = 0; i < e.NValues(); ++i)
        seen.push_back(e.Buffer(i));
    for (int round = 0; round < 100; ++round) {
        e = L"key_000123:\t42 3.5 word ";
        ASSERT_EQ(e.LinePtr(), line) << "the line buffer is reused";
        ASSERT_EQ(r.SmallCount(), smallAfterWarmUp);
        for (unsigned i = 0; i < e.NValues(); ++i)
            ASSERT_NE(std::find(seen.begin(), seen.end(), e.Buffer(i)), seen.end()) << "a recycled buffer";
    }
}

}  // namespace
