// CObject's run-time classes and the containers: FastVector's growth, bounds and 32-bit limit,
// CObList's positions, and CMapStringToOb's exact keys and iteration.
#include "kelvaro/platform/FastVector.h"
#include "kelvaro/platform/MapStringToOb.h"
#include "kelvaro/platform/ObList.h"
#include "kelvaro/platform/Object.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>

// At global scope like the library's own classes (in an anonymous namespace each unused
// GetThisClass would draw a warning).
class CAnimalForTest : public CObject {
    KELVARO_DECLARE_DYNAMIC(CAnimalForTest)
};

class CDogForTest : public CAnimalForTest {
    KELVARO_DECLARE_DYNAMIC(CDogForTest)
};

class CPlantForTest : public CObject {
    KELVARO_DECLARE_DYNAMIC(CPlantForTest)
};

KELVARO_IMPLEMENT_DYNAMIC(CAnimalForTest, CObject, 1)
KELVARO_IMPLEMENT_DYNAMIC(CDogForTest, CAnimalForTest, 2)
KELVARO_IMPLEMENT_DYNAMIC(CPlantForTest, CObject, 0xFFFF)

namespace {

TEST(ObjectTest, IsKindOfFollowsTheBaseChain) {
    const CDogForTest dog;
    const CAnimalForTest animal;
    const CPlantForTest plant;
    const CObject object;
    const struct { const char* what; const CObject* object; const CRuntimeClass* cls; bool expected; } cases[] = {
        {"dog is animal", &dog, RUNTIME_CLASS(CAnimalForTest), true},
        {"dog is object", &dog, RUNTIME_CLASS(CObject), true},
        {"animal is not dog", &animal, RUNTIME_CLASS(CDogForTest), false},
        {"plant is not animal", &plant, RUNTIME_CLASS(CAnimalForTest), false},
        {"object is not dog", &object, RUNTIME_CLASS(CDogForTest), false},
        {"nothing is null", &dog, nullptr, false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.object->IsKindOf(c.cls), c.expected) << c.what;
}

std::vector<int> Items(const FastVector<int>& v) { return std::vector<int>(v.begin(), v.end()); }

struct Huge {
    char bytes[0x40000000u];  // 1 GiB: only three fit under the 32-bit limit
};

TEST(FastVectorTest, GrowsByDoublingKeepsStorageStopsAtTheLimitAndChecksBounds) {
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

    FastVector<Huge> huge;
    EXPECT_THROW(huge.reserve(4), std::bad_alloc);
    EXPECT_EQ(huge.capacity(), 0u);
    FastVector<std::pair<wchar_t*, unsigned>> pairs;
    EXPECT_THROW(pairs.reserve(0xFFFFFFFFu / sizeof(std::pair<wchar_t*, unsigned>) + 1), std::bad_alloc);

    FastVector<int> cut;
    for (int i = 0; i < 8; ++i) cut.push_back(i);
    cut.erase(0u);
    cut.erase(1u, 2u);
    cut.erase(3u, 99u);  // count clamped to what is there
    cut.erase(3u, 1u);   // nothing at the end: nothing removed
    EXPECT_EQ(Items(cut), (std::vector<int>{1, 4, 5}));
    EXPECT_THROW(cut.erase(3u), std::out_of_range);
    EXPECT_THROW(cut.erase(4u, 1u), std::out_of_range);
    EXPECT_THROW(cut.insert(4, 9), std::out_of_range);
    // An element of the vector itself, read while the storage grows.
    FastVector<int> u;
    for (int i = 0; i < 4; ++i) u.push_back(i);
    u.insert(2, u[0]);  // grows from 4 to 8
    u.insert(5, 9);
    for (int i = 0; i < 10; ++i) u.push_back(u[0]);
    EXPECT_EQ(Items(u), (std::vector<int>{0, 1, 0, 2, 3, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    FastVector<int> never;
    never.erase(0u, 0u);  // no storage yet: nothing to do, nothing to fault
    EXPECT_THROW(never.erase(0u), std::out_of_range);
}

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

TEST(ObListTest, PositionsStayValidAcrossOtherRemovalsAndBadOnesThrow) {
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

    CObject object;
    CObList bad;
    POSITION none = nullptr;
    const std::function<void()> refused[] = {
        [&] { bad.GetNext(none); }, [&] { bad.GetPrev(none); }, [&] { bad.GetAt(nullptr); },
        [&] { bad.SetAt(nullptr, &object); }, [&] { bad.RemoveAt(nullptr); }, [&] { bad.GetHead(); },
        [&] { bad.GetTail(); }, [&] { bad.RemoveHead(); }, [&] { bad.RemoveTail(); },
    };
    for (std::size_t i = 0; i < std::size(refused); ++i) EXPECT_THROW(refused[i](), std::invalid_argument) << i;
    bad.AddTail(&object);
    EXPECT_THROW(bad.Find(&object, BEFORE_START_POSITION), std::invalid_argument);
    EXPECT_EQ(bad.GetCount(), 1);
}

TEST(MapStringToObTest, KeysComeBackWholeBadPositionsThrowAndRemovalWhileIterating) {
    // Every kind of key compares, iterates and is replaced exactly.
    const std::vector<std::wstring> keys = {
        L"", L"a", L"A", std::wstring(300, L'y'), L"caf\u00E9\u00FF", std::wstring(L"n\0ul", 4), L"\U0001F600",
    };
    std::vector<CObject> objects(keys.size());
    CMapStringToOb map;
    for (std::size_t i = 0; i < keys.size(); ++i) map.SetAt(keys[i], &objects[i]);
    map.InitHashTable(64);
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(map.Find(keys[i]), &objects[i]) << i;
    EXPECT_EQ(map.Find(L"caf\u01E9\u00FF"), nullptr);
    CObject* value = &objects[0];
    EXPECT_FALSE(map.Lookup(L"b", value));
    EXPECT_EQ(value, &objects[0]) << "untouched on a miss";
    std::multiset<std::wstring> seen;
    CString key;
    for (POSITION pos = map.GetStartPosition(); pos != nullptr; seen.insert(key.Str())) map.GetNextAssoc(pos, key, value);
    EXPECT_EQ(seen, std::multiset<std::wstring>(keys.begin(), keys.end())) << "every key once";
    for (std::size_t i = 0; i < keys.size(); i += 2) EXPECT_TRUE(map.RemoveKey(keys[i]));
    EXPECT_FALSE(map.RemoveKey(keys[0]));
    for (std::size_t i = 0; i < keys.size(); i += 2) map.SetAt(keys[i], &objects[0]);
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(map.Find(keys[i]), i % 2 == 0 ? &objects[0] : &objects[i]) << i;
    EXPECT_EQ(map[L"new"], nullptr) << "the subscript makes a null slot";
    EXPECT_EQ(map.GetCount(), static_cast<int>(keys.size()) + 1);

    CObject object;
    CMapStringToOb numbers;
    for (POSITION bad : {BEFORE_START_POSITION, POSITION{nullptr}})
        EXPECT_THROW(numbers.GetNextAssoc(bad, key, value), std::invalid_argument);
    EXPECT_EQ(numbers.GetStartPosition(), nullptr);
    POSITION pos;
    for (int i = 0; i < 100; ++i) numbers.SetAt(std::to_wstring(i), &object);
    // Removing the key just visited keeps the walk going.
    int visited = 0;
    for (pos = numbers.GetStartPosition(); pos != nullptr;) {
        numbers.GetNextAssoc(pos, key, value);
        ++visited;
        if (std::stoi(key.Str()) % 2 == 0) { EXPECT_TRUE(numbers.RemoveKey(key)); }
    }
    EXPECT_EQ(visited, 100);
    EXPECT_EQ(numbers.GetCount(), 50);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(numbers.Find(std::to_wstring(i)), i % 2 ? &object : nullptr) << i;
}

} // namespace
