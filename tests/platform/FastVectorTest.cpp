// FastVector: growth by doubling, bounds of erase and insert, its own elements as
// arguments while it grows, and the 32-bit element limit.
#include "kelvaro/platform/FastVector.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

std::vector<int> Items(const FastVector<int>& v) {
    return std::vector<int>(v.begin(), v.end());
}

TEST(FastVectorTest, GrowsByDoublingAndKeepsStorageWhenCleared) {
    FastVector<int> v;
    const unsigned expected[] = {1, 2, 4, 4, 8};
    for (unsigned i = 0; i < std::size(expected); ++i) {
        v.push_back(static_cast<int>(i));
        EXPECT_EQ(v.capacity(), expected[i]) << i;
    }
    const int* before = v.data();
    v.clear();
    v.push_back(42);
    EXPECT_EQ(v.data(), before);
    FastVector<int> moved(std::move(v));
    EXPECT_EQ(moved.data(), before);
    EXPECT_EQ(v.capacity(), 0u);
    // Destroyed through the base: the sanitizer build sees a leak if its destructor is not virtual.
    std::unique_ptr<FastContainer<int>> container = std::make_unique<FastVector<int>>(std::move(moved));
}

TEST(FastVectorTest, EraseAndInsertCheckTheirBounds) {
    FastVector<int> v;
    for (int i = 0; i < 8; ++i) v.push_back(i);
    v.erase(0u);
    v.erase(1u, 2u);
    v.erase(3u, 99u);  // count clamped to what is there
    v.erase(3u, 1u);   // nothing at the end: nothing removed
    EXPECT_EQ(Items(v), (std::vector<int>{1, 4, 5}));
    EXPECT_THROW(v.erase(3u), std::out_of_range);
    EXPECT_THROW(v.erase(4u, 1u), std::out_of_range);
    EXPECT_THROW(v.insert(4, 9), std::out_of_range);
    FastVector<int> u;
    for (int i = 0; i < 4; ++i) u.push_back(i);
    u.insert(2, u[0]);  // grows from 4 to 8 while reading u[0]
    u.insert(5, 9);
    EXPECT_EQ(Items(u), (std::vector<int>{0, 1, 0, 2, 3, 9}));
    FastVector<int> w;
    w.push_back(7);
    for (int i = 0; i < 10; ++i) w.push_back(w[0]);
    EXPECT_EQ(Items(w), std::vector<int>(11, 7));
    FastVector<int> never;
    never.erase(0u, 0u);  // no storage yet: nothing to do, nothing to fault
    EXPECT_THROW(never.erase(0u), std::out_of_range);
}

struct Huge {
    char bytes[0x40000000u];  // 1 GiB: only three fit under the 32-bit limit
};

TEST(FastVectorTest, BadAllocPastTheElementLimit) {
    FastVector<Huge> v;
    EXPECT_THROW(v.reserve(4), std::bad_alloc);
    EXPECT_EQ(v.capacity(), 0u);
    FastVector<std::pair<wchar_t*, unsigned>> pairs;
    EXPECT_THROW(pairs.reserve(0xFFFFFFFFu / sizeof(std::pair<wchar_t*, unsigned>) + 1), std::bad_alloc);
}

} // namespace
