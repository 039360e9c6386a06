// CObList: positions stay valid across other removals, null positions insert at the ends,
// and bad positions are refused.
#include "kelvaro/platform/ObList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

using Objects = std::vector<CObject*>;

// The list holds `expected`, walked from either end.
void ExpectOrder(const CObList& list, const Objects& expected) {
    Objects forward, backward;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) forward.push_back(list.GetNext(pos));
    for (POSITION pos = list.GetTailPosition(); pos != nullptr;) backward.push_back(list.GetPrev(pos));
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward, expected);
    EXPECT_EQ(backward, expected);
    EXPECT_EQ(list.GetCount(), static_cast<int>(expected.size()));
}

TEST(ObListTest, PositionsStayValidAcrossOtherRemovals) {
    std::vector<CObject> items(10);
    auto o = [&items](int i) { return &items[static_cast<std::size_t>(i)]; };
    CObList list(3);  // small blocks: nodes are reused across blocks
    std::vector<POSITION> pos;
    for (int i = 0; i < 8; ++i) pos.push_back(list.AddTail(o(i)));
    list.RemoveAt(pos[3]);
    list.RemoveAt(pos[0]);
    list.RemoveAt(pos[7]);
    list.SetAt(pos[5], o(9));
    list.InsertBefore(nullptr, o(8));  // null: at the head
    list.InsertAfter(pos[6], o(0));
    ExpectOrder(list, {o(8), o(1), o(2), o(4), o(9), o(6), o(0)});

    // The usual idiom: remember the position, move on, then remove the remembered one.
    for (POSITION p = list.GetHeadPosition(); p != nullptr;) {
        const POSITION current = p;
        CObject* item = list.GetNext(p);
        if (item != o(2) && item != o(9)) list.RemoveAt(current);
    }
    ExpectOrder(list, {o(2), o(9)});
    EXPECT_EQ(list.Find(o(9)), pos[5]);
    EXPECT_EQ(list.FindIndex(2), nullptr);
    EXPECT_EQ(list.RemoveHead(), o(2));
    EXPECT_EQ(list.RemoveTail(), o(9));
    list.AddHead(o(4));  // usable again after running empty
    ExpectOrder(list, {o(4)});
}

TEST(ObListTest, BadPositionsThrow) {
    CObject object;
    CObList list;
    POSITION none = nullptr;
    EXPECT_THROW(list.GetNext(none), std::invalid_argument);
    EXPECT_THROW(list.GetPrev(none), std::invalid_argument);
    EXPECT_THROW(list.GetAt(nullptr), std::invalid_argument);
    EXPECT_THROW(list.SetAt(nullptr, &object), std::invalid_argument);
    EXPECT_THROW(list.RemoveAt(nullptr), std::invalid_argument);
    EXPECT_THROW(list.GetHead(), std::invalid_argument);
    EXPECT_THROW(list.GetTail(), std::invalid_argument);
    EXPECT_THROW(list.RemoveHead(), std::invalid_argument);
    EXPECT_THROW(list.RemoveTail(), std::invalid_argument);
    list.AddTail(&object);
    EXPECT_THROW(list.Find(&object, BEFORE_START_POSITION), std::invalid_argument);
    EXPECT_EQ(list.GetCount(), 1);
}

} // namespace
