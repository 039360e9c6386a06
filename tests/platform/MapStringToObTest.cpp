// CMapStringToOb: exact keys, lookups without copies, iteration, and a million keys.
#include "kelvaro/platform/MapStringToOb.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <cwchar>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

TEST(MapStringToObTest, SetLookupSubscriptRemove)
{
    CObject a, b;
    CMapStringToOb map;
    map.SetAt(L"Alpha", &a);
    map.SetAt(L"alpha", &b); // case matters
    CObject* value = nullptr;
    ASSERT_TRUE(map.Lookup(L"Alpha", value));
    EXPECT_EQ(value, &a);
    ASSERT_TRUE(map.Lookup(CString(L"alpha"), value));
    EXPECT_EQ(value, &b);
    value = &a;
    EXPECT_FALSE(map.Lookup(L"ALPHA", value));
    EXPECT_EQ(value, &a); // untouched on a miss
    EXPECT_EQ(map.Find(L"Alph"), nullptr);
    map.SetAt(L"Alpha", &b); // replaces
    EXPECT_EQ(map.Find(L"Alpha"), &b);
    EXPECT_EQ(map.GetCount(), 2);

    EXPECT_TRUE(map.RemoveKey(L"Alpha"));
    EXPECT_FALSE(map.RemoveKey(L"Alpha"));
    EXPECT_EQ(map.Find(L"alpha"), &b);
    EXPECT_EQ(map[L"new"], nullptr) << "the subscript makes a null slot";
    EXPECT_EQ(map.GetCount(), 2);
    map[L"new"] = &a;
    EXPECT_EQ(map.Find(L"new"), &a);
}

TEST(MapStringToObTest, KeysOfEveryLengthAndRangeComeBackWhole)
{
    // Short Latin-1 keys are kept in the node, longer ones and wide ones on
    // the heap: every kind must compare, iterate and be replaced exactly.
    const std::vector<std::wstring> keys = {
        L"", L" ", L"a", L"a ", std::wstring(19, L'x'), std::wstring(20, L'x'), std::wstring(300, L'y'),
        L"caf\u00E9\u00FF", std::wstring(L"n\0ul", 4), L"\u0100x", L"\u0416\u0438\u0437\u043D\u044C",
        L"\U0001F600", std::wstring(25, L'\u00E9') + L"\u20AC",
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
        for (std::size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(map.Find(keys[i]), &objects[i]) << i;
        // Same length, a character above Latin-1 whose low byte matches.
        EXPECT_EQ(map.Find(L"caf\u01E9\u00FF"), nullptr);
        EXPECT_EQ(map.Find(std::wstring(19, L'\u0178')), nullptr);
        EXPECT_EQ(map.Find(std::wstring(18, L'x')), nullptr);

        std::multiset<std::wstring> seen;
        for (POSITION pos = map.GetStartPosition(); pos != nullptr;) {
            CString key;
            CObject* value = nullptr;
            map.GetNextAssoc(pos, key, value);
            seen.insert(key.Str());
        }
        EXPECT_EQ(seen, std::multiset<std::wstring>(keys.begin(), keys.end())) << "every key once";
        for (std::size_t i = 0; i < keys.size(); i += 2)
            EXPECT_TRUE(map.RemoveKey(keys[i]));
        EXPECT_EQ(map.GetCount(), static_cast<int>(keys.size() / 2));
        for (std::size_t i = 0; i < keys.size(); i += 2)
            map.SetAt(keys[i], &objects[0]);
        for (std::size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(map.Find(keys[i]), i % 2 == 0 ? &objects[0] : &objects[i]) << i;
    }
}

TEST(MapStringToObTest, RemoveTheCurrentKeyWhileIterating)
{
    CObject object;
    CMapStringToOb map;
    for (int i = 0; i < 100; ++i)
        map.SetAt(std::to_wstring(i), &object);
    int visited = 0;
    for (POSITION pos = map.GetStartPosition(); pos != nullptr;) {
        CString key;
        CObject* value = nullptr;
        map.GetNextAssoc(pos, key, value);
        ++visited;
        if (std::stoi(key.Str()) % 2 == 0) {
            EXPECT_TRUE(map.RemoveKey(key));
        }
    }
    EXPECT_EQ(visited, 100);
    EXPECT_EQ(map.GetCount(), 50);
    EXPECT_EQ(map.Find(L"3"), &object);
    EXPECT_EQ(map.Find(L"4"), nullptr);
}

TEST(MapStringToObTest, BadPositionThrows)
{
    CMapStringToOb map;
    POSITION pos = nullptr;
    CString key;
    CObject* value = nullptr;
    EXPECT_THROW(map.GetNextAssoc(pos, key, value), std::invalid_argument);
    pos = BEFORE_START_POSITION;
    EXPECT_THROW(map.GetNextAssoc(pos, key, value), std::invalid_argument); // empty map
}

TEST(MapStringToObTest, InitHashTableAndRemoveAll)
{
    CObject object;
    CMapStringToOb map;
    for (int i = 0; i < 50; ++i)
        map.SetAt(std::to_wstring(i), &object);
    map.InitHashTable(4); // existing keys are redistributed
    EXPECT_EQ(map.GetHashTableSize(), 4u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(map.Find(std::to_wstring(i)), &object);
    map.SetAt(L"more", &object); // and the table grows again
    EXPECT_GE(map.GetHashTableSize(), 50u);
    map.RemoveAll();
    EXPECT_EQ(map.Find(L"1"), nullptr);
    EXPECT_EQ(map.GetStartPosition(), nullptr);
    map.SetAt(L"again", &object);
    EXPECT_EQ(map.Find(L"again"), &object);
    CMapStringToOb lazy;
    lazy.InitHashTable(100, false);
    EXPECT_EQ(lazy.GetHashTableSize(), 0u);
    lazy.SetAt(L"x", &object);
    EXPECT_EQ(lazy.GetHashTableSize(), 128u);
}

// Keys are made in a reused buffer so that the test measures the map, not string building.
std::wstring_view MillionKey(wchar_t (&buffer)[32], int i)
{
    const int n = std::swprintf(buffer, 32, L"Section.Key%d", i);
    return std::wstring_view(buffer, static_cast<std::size_t>(n));
}

TEST(MapStringToObTest, AMillionKeys)
{
    // Processor time, not wall time: the test machine may be busy with other work.
    const std::clock_t start = std::clock();
    constexpr int kKeys = 1000000;
    CObject objects[16];
    wchar_t buffer[32];
    CMapStringToOb map;
    for (int i = 0; i < kKeys; ++i)
        map.SetAt(MillionKey(buffer, i), &objects[i % 16]);
    ASSERT_EQ(map.GetCount(), kKeys);
    EXPECT_GE(map.GetHashTableSize(), static_cast<unsigned>(kKeys)); // load factor at most 1
    int found = 0;
    for (int i = 0; i < kKeys; ++i)
        found += map.Find(MillionKey(buffer, i)) == &objects[i % 16] ? 1 : 0;
    EXPECT_EQ(found, kKeys);
    for (int i = 0; i < kKeys; i += 2)
        ASSERT_TRUE(map.RemoveKey(MillionKey(buffer, i)));
    EXPECT_EQ(map.GetCount(), kKeys / 2);
    int iterated = 0;
    int odd = 0;
    CString key;
    for (POSITION pos = map.GetStartPosition(); pos != nullptr;) {
        CObject* value = nullptr;
        map.GetNextAssoc(pos, key, value);
        ++iterated;
        odd += (key.Str().back() - L'0') % 2;
    }
    EXPECT_EQ(iterated, kKeys / 2);
    EXPECT_EQ(odd, kKeys / 2);
    EXPECT_EQ(map.Find(MillionKey(buffer, 1)), &objects[1]);
    EXPECT_EQ(map.Find(MillionKey(buffer, 2)), nullptr);
    const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    RecordProperty("cpu_seconds", std::to_string(seconds));
    EXPECT_LT(seconds, 5.0); // a table that does not grow takes minutes
}

} // namespace
