// The value reservoir: rounded capacities, the search of the large list, and no buffer
// lost while an entry's values come and go.
#include <gtest/gtest.h>

#include <new>
#include <set>
#include <vector>

#include "entry/EntryTestSupport.h"
#include "support/TestSupport.h"

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
