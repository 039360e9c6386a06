// Value-buffer recycler of a sea.
#include "kelvaro/entry/ResValueReservoir.h"

#include <new>

namespace {

// Room a free list gets when it receives its first buffer.
constexpr std::size_t kFirstListRoom = 64;

}  // namespace

CResValueReservoir::CResValueReservoir(unsigned count) {
    m_small.reserve(count);
    try {
        for (unsigned i = 0; i < count; ++i)
            m_small.push_back(AllocateBuffer(SmallCapacity));
    } catch (...) {
        for (Buffer& b : m_small)
            FreeBuffer(b);
        throw;
    }
}

CResValueReservoir::~CResValueReservoir() {
    for (Buffer& b : m_small)
        FreeBuffer(b);
    for (Buffer& b : m_large)
        FreeBuffer(b);
}

unsigned CResValueReservoir::RoundedCapacity(unsigned need) {
    if (need <= SmallCapacity)
        return SmallCapacity;
    if (need > 0xFFFFFFFFu - (SmallCapacity - 1))
        throw std::bad_alloc();
    return (need + SmallCapacity - 1) & ~(SmallCapacity - 1);
}

CResValueReservoir::Buffer CResValueReservoir::AllocateBuffer(unsigned need) {
    unsigned capacity = RoundedCapacity(need);
    wchar_t* text = new wchar_t[capacity];
    text[0] = L'\0';
    return {text, capacity};
}

void CResValueReservoir::FreeBuffer(Buffer buffer) noexcept {
    delete[] buffer.first;
}

CResValueReservoir::Buffer CResValueReservoir::TakeSlow(unsigned need) {
    if (need <= SmallCapacity) {
        if (m_small.empty())
            return AllocateBuffer(SmallCapacity);
        Buffer b = m_small.back();
        m_small.pop_back();
        return b;
    }
    unsigned rounded = RoundedCapacity(need);
    std::size_t found = m_large.size();
    for (std::size_t i = 0; i < m_large.size(); ++i) {
        if (m_large[i].second == rounded) {
            found = i;
            break;
        }
    }
    if (found == m_large.size()) {
        for (std::size_t i = 0; i < m_large.size(); ++i) {
            if (m_large[i].second > rounded) {
                found = i;
                break;
            }
        }
    }
    if (found == m_large.size())
        return AllocateBuffer(rounded);
    Buffer b = m_large[found];
    m_large[found] = m_large.back();
    m_large.pop_back();
    return b;
}

void CResValueReservoir::Append(std::vector<Buffer>& list, Buffer buffer) {
    // Fixed growth: 64 pairs first, then doubling (std::vector's own factor
    // is not guaranteed).
    if (list.size() == list.capacity())
        list.reserve(list.capacity() == 0 ? kFirstListRoom : list.capacity() * 2);
    list.push_back(buffer);
}

void CResValueReservoir::GiveBackSlow(Buffer buffer) noexcept {
    if (buffer.first == nullptr)
        return;
    try {
        Append(buffer.second == SmallCapacity ? m_small : m_large, buffer);
    } catch (...) {
        // A list that cannot grow must not leak the buffer it was handed.
        FreeBuffer(buffer);
    }
}
