// CObList: order, stable positions across removals, node reuse and bad positions.
#include "kelvaro/platform/ObList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

using Objects = std::vector<CObject*>;

struct Items {
    std::vector<CObject> objects = std::vector<CObject>(10);
    CObject* operator[](int i) { return &objects[static_cast<std::size_t>(i)]; }
};

// The list holds `expected`, walked from either end.
void ExpectOrder(const CObList& list, const Objects& expected)
{
    Objects forward, backward;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;)
        forward.push_back(list.GetNext(pos));
    for (POSITION pos = list.GetTailPosition(); pos != nullptr;)
        backward.push_back(list.GetPrev(pos));
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward, expected);
    EXPECT_EQ(backward, expected);
    EXPECT_EQ(list.GetCount(), static_cast<int>(expected.size()));
}

TEST(ObListTest, PositionsStayValidAcrossOtherRemovals)
{
    Items o;
    CObList list(3);
    std::vector<POSITION> pos;
    for (int i = 0; i < 8; ++i)
        pos.push_back(list.AddTail(o[i]));
    list.RemoveAt(pos[3]);
    list.RemoveAt(pos[0]);
    list.RemoveAt(pos[7]);
    EXPECT_EQ(list.GetAt(pos[4]), o[4]);
    list.SetAt(pos[5], o[9]);
    ExpectOrder(list, {o[1], o[2], o[4], o[9], o[6]});

    // The usual idiom: remember the position, move on, then remove the remembered one.
    for (POSITION p = list.GetHeadPosition(); p != nullptr;) {
        const POSITION current = p;
        CObject* item = list.GetNext(p);
        if (item == o[1] || item == o[4] || item == o[6])
            list.RemoveAt(current);
    }
    ExpectOrder(list, {o[2], o[9]});
}

TEST(ObListTest, AddInsertAndRemoveAtBothEnds)
{
    Items o;
    CObList list(2);
    const POSITION middle = list.AddTail(o[2]);
    list.InsertBefore(middle, o[1]);
    list.InsertAfter(middle, o[3]);
    list.InsertBefore(list.GetHeadPosition(), o[0]);
    list.InsertAfter(list.GetTailPosition(), o[4]);
    list.InsertBefore(nullptr, o[8]);  // null: at the head
    list.InsertAfter(nullptr, o[9]);   // null: at the tail
    list.AddHead(o[5]);
    list.AddTail(o[6]);
    ExpectOrder(list, {o[5], o[8], o[0], o[1], o[2], o[3], o[4], o[9], o[6]});
    list.GetHead() = o[7];  // a reference into the node
    EXPECT_EQ(list.GetHead(), o[7]);

    EXPECT_EQ(list.RemoveHead(), o[7]);
    EXPECT_EQ(list.RemoveTail(), o[6]);
    while (list.GetCount() > 1)
        list.RemoveTail();
    EXPECT_EQ(list.GetTail(), o[8]);
    EXPECT_EQ(list.RemoveTail(), o[8]);
    ExpectOrder(list, {});
    list.AddHead(o[4]);  // usable again after running empty
    ExpectOrder(list, {o[4]});
}

TEST(ObListTest, FindAndFindIndex)
{
    Items o;
    CObList list;
    const POSITION a = list.AddTail(o[0]);
    const POSITION b = list.AddTail(o[1]);
    const POSITION c = list.AddTail(o[0]);
    list.AddTail(nullptr);
    EXPECT_EQ(list.Find(o[0]), a);
    EXPECT_EQ(list.Find(o[0], a), c);
    EXPECT_EQ(list.Find(o[0], c), nullptr);
    EXPECT_EQ(list.Find(o[7]), nullptr);
    EXPECT_NE(list.Find(nullptr), nullptr);
    const struct { int index; POSITION expected; } cases[] = {{0, a}, {1, b}, {2, c}, {-1, nullptr}, {4, nullptr}};
    for (const auto& k : cases)
        EXPECT_EQ(list.FindIndex(k.index), k.expected) << k.index;
    EXPECT_EQ(list.GetAt(list.FindIndex(3)), nullptr);
}

TEST(ObListTest, BadPositionsThrow)
{
    Items o;
    CObList list;
    POSITION none = nullptr;
    EXPECT_THROW(list.GetNext(none), std::invalid_argument);
    EXPECT_THROW(list.GetPrev(none), std::invalid_argument);
    EXPECT_THROW(list.GetAt(nullptr), std::invalid_argument);
    EXPECT_THROW(list.SetAt(nullptr, o[0]), std::invalid_argument);
    EXPECT_THROW(list.RemoveAt(nullptr), std::invalid_argument);
    EXPECT_THROW(list.GetHead(), std::invalid_argument);
    EXPECT_THROW(list.GetTail(), std::invalid_argument);
    EXPECT_THROW(list.RemoveHead(), std::invalid_argument);
    EXPECT_THROW(list.RemoveTail(), std::invalid_argument);
    list.AddTail(o[0]);
    EXPECT_THROW(list.Find(o[0], BEFORE_START_POSITION), std::invalid_argument);
    EXPECT_EQ(list.GetCount(), 1);
}

TEST(ObListTest, ManyNodesReuseBlocks)
{
    Items o;
    CObList list(7);
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 1000; ++i)
            list.AddTail(o[i % 10]);
        while (list.GetCount() > 500)
            list.RemoveHead();
    }
    int n = 0;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr; list.GetNext(pos))
        ++n;
    EXPECT_EQ(n, 500);
    list.RemoveAll();
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail(o[3]);
    EXPECT_EQ(list.GetHead(), o[3]);
}

} // namespace
