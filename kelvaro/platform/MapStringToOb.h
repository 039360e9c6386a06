// CMapStringToOb: hash map from a case-sensitive name to a CObject pointer, the
// framework's map. Entries never move, so a POSITION stays valid while other
// keys are removed (but not across an insertion). Lookups take a
// std::wstring_view and allocate nothing. The map never owns the objects.
#pragma once

#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/Object.h"
#include "kelvaro/platform/Types.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

class CMapStringToOb {
public:
    // The framework's block size; the nodes here come one at a time.
    explicit CMapStringToOb(int blockSize = 10) { (void)blockSize; }

    // A hint for the number of keys to come; with allocNow false nothing is
    // made until the first insertion.
    void InitHashTable(unsigned hashSize, bool allocNow = true) {
        if (allocNow) m_map.reserve(hashSize);
    }
    unsigned GetHashTableSize() const noexcept { return static_cast<unsigned>(m_map.bucket_count()); }

    int GetCount() const noexcept { return static_cast<int>(m_map.size()); }
    int GetSize() const noexcept { return GetCount(); }
    bool IsEmpty() const noexcept { return m_map.empty(); }

    // False (value untouched) when key is missing.
    bool Lookup(std::wstring_view key, CObject*& value) const;
    // The value of key, null when missing.
    CObject* Find(std::wstring_view key) const;
    void SetAt(std::wstring_view key, CObject* value) { (*this)[key] = value; }
    // The value slot of key, made (holding null) when missing.
    CObject*& operator[](std::wstring_view key);
    // False when key was not there.
    bool RemoveKey(std::wstring_view key);
    void RemoveAll() noexcept { m_map.clear(); }

    // Null when the map is empty.
    POSITION GetStartPosition() const noexcept;
    // Gives the entry at pos and moves pos on; pos is null after the last entry. A null pos
    // throws std::invalid_argument. The order is not defined.
    void GetNextAssoc(POSITION& pos, CString& key, CObject*& value) const;

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::wstring_view key) const noexcept { return std::hash<std::wstring_view>{}(key); }
    };
    using Map = std::unordered_map<std::wstring, CObject*, Hash, std::equal_to<>>;
    Map m_map;
};
