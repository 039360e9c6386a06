#include "kelvaro/platform/Lock.h"

#include <stdexcept>

void CCriticalSection::Lock()
{
    m_mutex.lock();
}

void CCriticalSection::Unlock()
{
    m_mutex.unlock();
}

bool CCriticalSection::TryLock()
{
    return m_mutex.try_lock();
}

CSingleLock::CSingleLock(CCriticalSection* section, bool initialLock) : m_section(section)
{
    if (m_section == nullptr)
        throw std::invalid_argument("CSingleLock: null critical section");
    if (initialLock)
        Lock();
}

CSingleLock::~CSingleLock()
{
    Unlock();
}

bool CSingleLock::Lock()
{
    if (!m_locked) {
        m_section->Lock();
        m_locked = true;
    }
    return true;
}

bool CSingleLock::Unlock()
{
    if (m_locked) {
        m_section->Unlock();
        m_locked = false;
    }
    return true;
}
