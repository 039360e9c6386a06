// CMapStringToOb: exact keys of every kind, removal while iterating, bad positions, and growth.
#include "kelvaro/platform/MapStringToOb.h"

#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

TEST(MapStringToObTest, KeysOfEveryLengthAndRangeComeBackWhole) {
    // Short Latin-1 keys are kept in the node, longer ones and wide ones on
    // the heap: every kind must compare, iterate and be replaced exactly.
    const std::vector<std::wstring> keys = {
        L"", L"a", L"A", std::wstring(19, L'x'), std::wstring(20, L'x'), std::wstring(300, L'y'),
        L"caf\u00E9\u00FF", std::wstring(L"n\0ul", 4), L"\u0100x", L"\U0001F600", std::wstring(25, L'\u00E9'),
    };
    std::vector<CObject> objects(keys.size());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        CMapStringToOb map;
        // The second round inserts in the other order, so freed nodes of
        // one kind of key are reused for another.
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const std::size_t k = round == 0 ? i : keys.size() - 1 - i;
            map.SetAt(keys[k], &objects[k]);
        }
        for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(map.Find(keys[i]), &objects[i]) << i;
        // Same length, a character above Latin-1 whose low byte matches.
        EXPECT_EQ(map.Find(L"caf\u01E9\u00FF"), nullptr);
        EXPECT_EQ(map.Find(std::wstring(19, L'\u0178')), nullptr);
        CObject* value = &objects[0];
        EXPECT_FALSE(map.Lookup(L"b", value));
        EXPECT_EQ(value, &objects[0]) << "untouched on a miss";
        std::multiset<std::wstring> seen;
        CString key;
        for (POSITION pos = map.GetStartPosition(); pos != nullptr; seen.insert(key.Str()))
            map.GetNextAssoc(pos, key, value);
        EXPECT_EQ(seen, std::multiset<std::wstring>(keys.begin(), keys.end())) << "every key once";
        for (std::size_t i = 0; i < keys.size(); i += 2) EXPECT_TRUE(map.RemoveKey(keys[i]));
        EXPECT_FALSE(map.RemoveKey(keys[0]));
        for (std::size_t i = 0; i < keys.size(); i += 2) map.SetAt(keys[i], &objects[0]);
        for (std::size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(map.Find(keys[i]), i % 2 == 0 ? &objects[0] : &objects[i]) << i;
        EXPECT_EQ(map[L"new"], nullptr) << "the subscript makes a null slot";
        EXPECT_EQ(map.GetCount(), static_cast<int>(keys.size()) + 1);
    }
}

TEST(MapStringToObTest, RemoveTheCurrentKeyWhileIteratingAndBadPositions) {
    CObject object;
    CMapStringToOb map;
    POSITION pos = BEFORE_START_POSITION;
    CString key;
    CObject* value = nullptr;
    EXPECT_THROW(map.GetNextAssoc(pos, key, value), std::invalid_argument) << "an empty map";
    pos = nullptr;
    EXPECT_THROW(map.GetNextAssoc(pos, key, value), std::invalid_argument);
    for (int i = 0; i < 100; ++i) map.SetAt(std::to_wstring(i), &object);
    int visited = 0;
    for (pos = map.GetStartPosition(); pos != nullptr;) {
        map.GetNextAssoc(pos, key, value);
        ++visited;
        if (std::stoi(key.Str()) % 2 == 0) { EXPECT_TRUE(map.RemoveKey(key)); }
    }
    EXPECT_EQ(visited, 100);
    EXPECT_EQ(map.GetCount(), 50);
    EXPECT_EQ(map.Find(L"3"), &object);
    EXPECT_EQ(map.Find(L"4"), nullptr);
    map.RemoveAll();
    EXPECT_EQ(map.GetStartPosition(), nullptr);
}

TEST(MapStringToObTest, TableGrowsWithItsKeys) {
    CObject object;
    CMapStringToOb map;
    for (int i = 0; i < 50; ++i) map.SetAt(std::to_wstring(i), &object);
    map.InitHashTable(4);  // existing keys are redistributed
    EXPECT_EQ(map.GetHashTableSize(), 4u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(map.Find(std::to_wstring(i)), &object);
    CMapStringToOb lazy;
    lazy.InitHashTable(100, false);
    EXPECT_EQ(lazy.GetHashTableSize(), 0u);

    // Processor time, not wall time: a table that does not grow takes minutes here.
    const std::clock_t start = std::clock();
    constexpr int kKeys = 200000;
    for (int i = 0; i < kKeys; ++i) lazy.SetAt(L"Section.Key" + std::to_wstring(i), &object);
    EXPECT_GE(lazy.GetHashTableSize(), static_cast<unsigned>(kKeys)) << "load factor at most 1";
    int found = 0;
    for (int i = 0; i < kKeys; ++i) found += lazy.Find(L"Section.Key" + std::to_wstring(i)) == &object ? 1 : 0;
    EXPECT_EQ(found, kKeys);
    EXPECT_LT(static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC, 5.0);
}

} // namespace
