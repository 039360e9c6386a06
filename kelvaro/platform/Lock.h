// Locks of the framework layer: CCriticalSection guards the few things the library shares
// between threads (the output queue, the 8-bit/wide conversion buffers); CSingleLock holds
// one for a scope. The critical section is recursive: its owner may lock it again.
#pragma once

#include <mutex>

class CCriticalSection {
public:
    CCriticalSection() = default;
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Lock();
    // Only by the thread that holds the lock, once per Lock().
    void Unlock();
    // True when the lock was taken without waiting.
    bool TryLock();

private:
    std::recursive_mutex m_mutex;
};

// Holds a critical section while in scope; the destructor unlocks what is still locked.
class CSingleLock {
public:
    // A null section throws std::invalid_argument.
    explicit CSingleLock(CCriticalSection* section, bool initialLock = true);
    ~CSingleLock();
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;

    // Locking twice or unlocking an unlocked CSingleLock does nothing. Both return true.
    bool Lock();
    bool Unlock();
    bool IsLocked() const noexcept { return m_locked; }

private:
    CCriticalSection* m_section;
    bool m_locked = false;
};
