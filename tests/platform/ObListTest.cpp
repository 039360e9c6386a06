// CObList: order, stable positions across removals, node reuse and bad positions.
#include "kelvaro/platform/ObList.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

struct Items {
    std::vector<CObject> objects = std::vector<CObject>(10);
    CObject* operator[](int i) { return &objects[static_cast<std::size_t>(i)]; }
};

std::vector<CObject*> Forward(const CObList& list)
{
    std::vector<CObject*> out;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;)
        out.push_back(list.GetNext(pos));
    return out;
}

std::vector<CObject*> Backward(const CObList& list)
{
    std::vector<CObject*> out;
    for (POSITION pos = list.GetTailPosition(); pos != nullptr;)
        out.push_back(list.GetPrev(pos));
    return out;
}

TEST(ObListTest, AddAndWalkBothWays)
{
    Items o;
    CObList list(2);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail(o[1]);
    list.AddTail(o[2]);
    list.AddHead(o[0]);
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetSize(), 3);
    EXPECT_EQ(Forward(list), (std::vector<CObject*>{o[0], o[1], o[2]}));
    EXPECT_EQ(Backward(list), (std::vector<CObject*>{o[2], o[1], o[0]}));
    EXPECT_EQ(list.GetHead(), o[0]);
    EXPECT_EQ(list.GetTail(), o[2]);
    list.GetHead() = o[5]; // a reference into the node
    EXPECT_EQ(list.GetHead(), o[5]);
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
    EXPECT_EQ(list.GetAt(pos[6]), o[6]);
    EXPECT_EQ(Forward(list), (std::vector<CObject*>{o[1], o[2], o[4], o[5], o[6]}));
    EXPECT_EQ(Backward(list), (std::vector<CObject*>{o[6], o[5], o[4], o[2], o[1]}));
    list.SetAt(pos[5], o[9]);
    EXPECT_EQ(list.GetAt(pos[5]), o[9]);
    EXPECT_EQ(list.GetHead(), o[1]);
    EXPECT_EQ(list.GetTail(), o[6]);
}

TEST(ObListTest, RemoveWhileIterating)
{
    Items o;
    CObList list;
    for (int i = 0; i < 6; ++i)
        list.AddTail(o[i]);
    // The usual idiom: remember the position, move on, then remove the remembered one.
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
        const POSITION current = pos;
        CObject* item = list.GetNext(pos);
        if (item == o[0] || item == o[2] || item == o[5])
            list.RemoveAt(current);
    }
    EXPECT_EQ(Forward(list), (std::vector<CObject*>{o[1], o[3], o[4]}));
}

TEST(ObListTest, InsertBeforeAndAfter)
{
    Items o;
    CObList list;
    const POSITION middle = list.AddTail(o[2]);
    list.InsertBefore(middle, o[1]);
    list.InsertAfter(middle, o[3]);
    list.InsertBefore(list.GetHeadPosition(), o[0]);
    list.InsertAfter(list.GetTailPosition(), o[4]);
    list.InsertBefore(nullptr, o[8]); // null: at the head
    list.InsertAfter(nullptr, o[9]);  // null: at the tail
    EXPECT_EQ(Forward(list), (std::vector<CObject*>{o[8], o[0], o[1], o[2], o[3], o[4], o[9]}));
    EXPECT_EQ(Backward(list), (std::vector<CObject*>{o[9], o[4], o[3], o[2], o[1], o[0], o[8]}));
}

TEST(ObListTest, RemoveHeadAndTail)
{
    Items o;
    CObList list;
    list.AddTail(o[0]);
    list.AddTail(o[1]);
    list.AddTail(o[2]);
    EXPECT_EQ(list.RemoveHead(), o[0]);
    EXPECT_EQ(list.RemoveTail(), o[2]);
    EXPECT_EQ(list.GetHead(), o[1]);
    EXPECT_EQ(list.GetTail(), o[1]);
    EXPECT_EQ(list.RemoveTail(), o[1]);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    EXPECT_EQ(list.GetTailPosition(), nullptr);
    list.AddHead(o[4]); // usable again after running empty
    EXPECT_EQ(Forward(list), (std::vector<CObject*>{o[4]}));
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
    EXPECT_EQ(list.Find(o[1], b), nullptr);
    EXPECT_EQ(list.Find(o[7]), nullptr);
    EXPECT_NE(list.Find(nullptr), nullptr);
    const struct {
        int index;
        POSITION expected;
    } cases[] = {{0, a}, {1, b}, {2, c}, {-1, nullptr}, {4, nullptr}, {99, nullptr}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.index);
        EXPECT_EQ(list.FindIndex(k.index), k.expected);
    }
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
    const CObList& constList = list;
    EXPECT_THROW(constList.GetNext(none), std::invalid_argument);
    EXPECT_THROW(constList.GetHead(), std::invalid_argument);
    list.AddTail(o[0]);
    EXPECT_THROW(list.Find(o[0], BEFORE_START_POSITION), std::invalid_argument);
    EXPECT_EQ(list.GetCount(), 1);
}

TEST(ObListTest, ManyNodesReuseBlocks)
{
    Items o;
    CObList list(7);
    std::vector<POSITION> kept;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 1000; ++i)
            list.AddTail(o[i % 10]);
        while (list.GetCount() > 500)
            list.RemoveHead();
    }
    EXPECT_EQ(list.GetCount(), 500);
    int n = 0;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr; list.GetNext(pos))
        ++n;
    EXPECT_EQ(n, 500);
    list.RemoveAll();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail(o[3]);
    EXPECT_EQ(list.GetHead(), o[3]);
}

} // namespace
