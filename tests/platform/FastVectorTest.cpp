// FastVector: growth by doubling from 1, order on removal, storage kept until destruction.
#include "kelvaro/platform/FastVector.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

std::vector<int> Items(const FastVector<int>& v)
{
    return std::vector<int>(v.begin(), v.end());
}

TEST(FastVectorTest, GrowsByDoublingAndNeverShrinks)
{
    FastVector<int> v;
    EXPECT_EQ(v.data(), nullptr);
    const unsigned expected[] = {1, 2, 4, 4, 8};
    for (unsigned i = 0; i < std::size(expected); ++i) {
        v.push_back(static_cast<int>(i));
        EXPECT_EQ(v.capacity(), expected[i]) << i;
    }
    const int* before = v.data();
    v.clear();
    v.push_back(42);
    EXPECT_EQ(v.data(), before) << "clearing keeps the storage";
    v.reserve(3);
    EXPECT_EQ(v.capacity(), 8u);
}

TEST(FastVectorTest, EraseKeepsOrderAndChecksBounds)
{
    FastVector<int> v;
    for (int i = 0; i < 8; ++i)
        v.push_back(i);
    v.erase(0u);
    v.erase(3u);
    EXPECT_EQ(Items(v), (std::vector<int>{1, 2, 3, 5, 6, 7}));
    v.erase(1u, 2u);
    EXPECT_EQ(Items(v), (std::vector<int>{1, 5, 6, 7}));
    v.erase(2u, 99u);  // count clamped to what is there
    v.erase(2u, 1u);   // nothing at the end: nothing removed
    EXPECT_EQ(Items(v), (std::vector<int>{1, 5}));
    EXPECT_THROW(v.erase(2u), std::out_of_range);
    EXPECT_THROW(v.erase(3u, 1u), std::out_of_range);
    FastVector<int> never;
    never.erase(0u, 0u);  // no storage yet: nothing to do, nothing to fault
    EXPECT_THROW(never.erase(0u), std::out_of_range);
}

TEST(FastVectorTest, InsertAndPushTheirOwnElementWhileGrowing)
{
    FastVector<int> v;
    v.insert(0, 2);
    v.insert(0, 0);
    v.insert(1, 1);
    v.insert(3, 3);
    EXPECT_EQ(Items(v), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_THROW(v.insert(5, 9), std::out_of_range);
    v.insert(2, v[0]);  // grows from 4 to 8 while reading v[0]
    EXPECT_EQ(Items(v), (std::vector<int>{0, 1, 0, 2, 3}));
    FastVector<int> w;
    w.push_back(7);
    for (int i = 0; i < 10; ++i)
        w.push_back(w[0]);
    EXPECT_EQ(Items(w), std::vector<int>(11, 7));
}

struct Huge {
    char bytes[0x40000000u];  // 1 GiB: only three fit under the 32-bit limit
};

TEST(FastVectorTest, BadAllocPastTheElementLimit)
{
    FastVector<Huge> v;
    EXPECT_THROW(v.reserve(4), std::bad_alloc);
    EXPECT_EQ(v.capacity(), 0u);
    FastVector<std::pair<wchar_t*, unsigned>> pairs;
    EXPECT_THROW(pairs.reserve(0xFFFFFFFFu / sizeof(std::pair<wchar_t*, unsigned>) + 1), std::bad_alloc);
    EXPECT_EQ(pairs.capacity(), 0u);
}

TEST(FastVectorTest, MoveTransfersStorage)
{
    FastVector<int> a;
    a.push_back(1);
    a.push_back(2);
    const int* storage = a.data();
    FastVector<int> b(std::move(a));
    EXPECT_EQ(b.data(), storage);
    EXPECT_EQ(a.capacity(), 0u);
    FastVector<int> c;
    c.push_back(9);
    c = std::move(b);
    EXPECT_EQ(Items(c), (std::vector<int>{1, 2}));
    EXPECT_EQ(Items(b), (std::vector<int>{9})) << "the old storage goes with the other";
}

TEST(FastVectorTest, DestroyedThroughTheBase)
{
    // The leak checker of the sanitizer build sees it if the base destructor is not virtual.
    std::unique_ptr<FastContainer<int>> container = std::make_unique<FastVector<int>>();
    static_cast<FastVector<int>&>(*container).push_back(1);
    container.reset();
}

} // namespace
