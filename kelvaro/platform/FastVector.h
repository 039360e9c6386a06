// FastVector: the growable contiguous array behind an entry's values and a sea's line list.
// It keeps order on removal, doubles its capacity from 1 when full, and gives its storage
// back only when destroyed, so the containers of a long-lived sea do not churn the heap.
// Only for elements that may be copied bit by bit (trivially copy-constructible and
// destructible, such as pointers and std::pair of them): storage moves with realloc/memmove.
#pragma once

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

// Abstract base whose only virtual operation is the destructor.
template <class T>
class FastContainer {
public:
    FastContainer() = default;
    FastContainer(const FastContainer&) = delete;
    FastContainer& operator=(const FastContainer&) = delete;
    virtual ~FastContainer() = 0;

protected:
    FastContainer(FastContainer&&) noexcept = default;
    FastContainer& operator=(FastContainer&&) noexcept = default;
};

template <class T>
FastContainer<T>::~FastContainer() = default;

template <class T>
class FastVector : public FastContainer<T> {
    static_assert(std::is_trivially_copy_constructible_v<T> && std::is_trivially_destructible_v<T>,
                  "FastVector holds elements that may be copied bit by bit only");

public:
    // The element count may not pass what 32-bit addressing allows for the element size.
    static constexpr unsigned kMaxSize = static_cast<unsigned>(0xFFFFFFFFull / sizeof(T));

    FastVector() = default;
    FastVector(FastVector&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)),
          m_size(std::exchange(other.m_size, 0u)),
          m_capacity(std::exchange(other.m_capacity, 0u))
    {
    }
    // Swaps: the storage given up is freed by the other vector's destructor.
    FastVector& operator=(FastVector&& other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
        return *this;
    }
    ~FastVector() override { std::free(m_data); }

    unsigned size() const noexcept { return m_size; }
    unsigned capacity() const noexcept { return m_capacity; }
    bool empty() const noexcept { return m_size == 0; }
    T* data() noexcept { return m_data; }
    const T* data() const noexcept { return m_data; }

    // Unchecked, like any array.
    T& operator[](unsigned index) noexcept
    {
        assert(index < m_size);
        return m_data[index];
    }
    const T& operator[](unsigned index) const noexcept
    {
        assert(index < m_size);
        return m_data[index];
    }
    T* begin() noexcept { return m_data; }
    T* end() noexcept { return m_data + m_size; }
    const T* begin() const noexcept { return m_data; }
    const T* end() const noexcept { return m_data + m_size; }
    T& back() noexcept
    {
        assert(m_size > 0);
        return m_data[m_size - 1];
    }
    const T& back() const noexcept
    {
        assert(m_size > 0);
        return m_data[m_size - 1];
    }

    // Throws std::bad_alloc when the vector is full and cannot grow.
    void push_back(const T& value)
    {
        if (m_size == m_capacity) {
            const T copy = value; // value may live in the storage that is about to move
            Grow();
            ::new (static_cast<void*>(m_data + m_size)) T(copy);
            ++m_size;
            return;
        }
        ::new (static_cast<void*>(m_data + m_size)) T(value);
        ++m_size;
    }
    void pop_back() noexcept
    {
        assert(m_size > 0);
        if (m_size > 0)
            --m_size;
    }

    // Makes room for n elements; std::bad_alloc past kMaxSize or when memory runs out.
    void reserve(unsigned n)
    {
        if (n > m_capacity)
            Reallocate(n);
    }

    // Inserts before index (index == size() appends); std::out_of_range beyond that.
    void insert(unsigned index, const T& value)
    {
        if (index > m_size)
            throw std::out_of_range("FastVector::insert: index out of range");
        const T copy = value;
        if (m_size == m_capacity)
            Grow();
        std::memmove(static_cast<void*>(m_data + index + 1), static_cast<const void*>(m_data + index),
                     (m_size - index) * sizeof(T));
        ::new (static_cast<void*>(m_data + index)) T(copy);
        ++m_size;
    }

    // Removes one element keeping the order of the rest; std::out_of_range when absent.
    void erase(unsigned index)
    {
        if (index >= m_size)
            throw std::out_of_range("FastVector::erase: index out of range");
        erase(index, 1);
    }

    // Removes count elements from first on (as many as there are); std::out_of_range when
    // first is beyond the end.
    void erase(unsigned first, unsigned count)
    {
        if (first > m_size)
            throw std::out_of_range("FastVector::erase: index out of range");
        if (count > m_size - first)
            count = m_size - first;
        if (count == 0)
            return; // also spares memmove a null pointer when nothing was ever stored
        std::memmove(static_cast<void*>(m_data + first), static_cast<const void*>(m_data + first + count),
                     (m_size - first - count) * sizeof(T));
        m_size -= count;
    }

    // Drops the elements; the storage stays for reuse.
    void clear() noexcept { m_size = 0; }

private:
    void Grow()
    {
        if (m_capacity >= kMaxSize)
            throw std::bad_alloc();
        const unsigned next = m_capacity == 0 ? 1u : (m_capacity > kMaxSize / 2 ? kMaxSize : m_capacity * 2);
        Reallocate(next);
    }

    void Reallocate(unsigned n)
    {
        if (n > kMaxSize)
            throw std::bad_alloc();
        void* p = std::realloc(static_cast<void*>(m_data), static_cast<std::size_t>(n) * sizeof(T));
        if (p == nullptr)
            throw std::bad_alloc();
        m_data = static_cast<T*>(p);
        m_capacity = n;
    }

    T* m_data = nullptr;
    unsigned m_size = 0;
    unsigned m_capacity = 0;
};
