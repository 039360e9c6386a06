#include "kelvaro/platform/MapStringToOb.h"

#include <stdexcept>

bool CMapStringToOb::Lookup(std::wstring_view key, CObject*& value) const {
    const auto it = m_map.find(key);
    if (it == m_map.end()) return false;
    value = it->second;
    return true;
}

CObject* CMapStringToOb::Find(std::wstring_view key) const {
    const auto it = m_map.find(key);
    return it == m_map.end() ? nullptr : it->second;
}

CObject*& CMapStringToOb::operator[](std::wstring_view key) {
    const auto it = m_map.find(key);
    if (it != m_map.end()) return it->second;
    return m_map.emplace(std::wstring(key), nullptr).first->second;
}

bool CMapStringToOb::RemoveKey(std::wstring_view key) {
    const auto it = m_map.find(key);
    if (it == m_map.end()) return false;
    m_map.erase(it);
    return true;
}

// A position is the address of the map's own key and value pair.
POSITION CMapStringToOb::GetStartPosition() const noexcept {
    if (m_map.empty()) return nullptr;
    return reinterpret_cast<POSITION>(const_cast<Map::value_type*>(&*m_map.begin()));
}

void CMapStringToOb::GetNextAssoc(POSITION& pos, CString& key, CObject*& value) const {
    if (pos == nullptr || pos == BEFORE_START_POSITION)
        throw std::invalid_argument("CMapStringToOb::GetNextAssoc: no POSITION of this map");
    const auto* pair = reinterpret_cast<const Map::value_type*>(pos);
    auto next = m_map.find(pair->first);
    if (next == m_map.end() || &*next != pair)
        throw std::invalid_argument("CMapStringToOb::GetNextAssoc: POSITION of no key of this map");
    key = CString(pair->first);
    value = pair->second;
    ++next;
    pos = next == m_map.end() ? nullptr : reinterpret_cast<POSITION>(const_cast<Map::value_type*>(&*next));
}
