#include "kelvaro/platform/Window.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <unordered_map>

struct CWnd::Queue
{
    explicit Queue(CWnd* owner) : m_owner(owner) {}

    CWnd* const m_owner;
    mutable std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<MSG> m_messages; // guarded by m_mutex
    HWND m_hwnd = nullptr;      // guarded by m_mutex; null while there is no window

    // Appends under the lock; fails when the handle is no longer this queue's window.
    bool Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_hwnd == nullptr || m_hwnd != hwnd || m_messages.size() >= CWnd::maxQueuedMessages)
                return false;
            m_messages.push_back(MSG{hwnd, message, wParam, lParam});
        }
        m_arrived.notify_all();
        return true;
    }
};

namespace {

// Every live handle and the queue behind it. Handles are never reused, so a stale handle
// can never reach a newer window.
struct WindowTable
{
    std::mutex mutex;
    std::unordered_map<HWND, std::shared_ptr<CWnd::Queue>> windows;
    std::uintptr_t lastHandle = 0;
};

WindowTable& Table()
{
    static WindowTable table;
    return table;
}

std::shared_ptr<CWnd::Queue> FindQueue(HWND hwnd)
{
    if (hwnd == nullptr)
        return nullptr;
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.windows.find(hwnd);
    return it == table.windows.end() ? nullptr : it->second;
}

} // namespace

CWnd::CWnd() : m_queue(std::make_shared<Queue>(this)) {}

CWnd::~CWnd()
{
    DestroyWindow();
}

bool CWnd::Create()
{
    WindowTable& table = Table();
    std::lock_guard<std::mutex> tableLock(table.mutex);
    std::lock_guard<std::mutex> lock(m_queue->m_mutex);
    if (m_queue->m_hwnd != nullptr)
        return false;
    HWND hwnd = reinterpret_cast<HWND>(++table.lastHandle);
    table.windows.emplace(hwnd, m_queue);
    m_queue->m_hwnd = hwnd;
    return true;
}

bool CWnd::DestroyWindow()
{
    WindowTable& table = Table();
    {
        // Leave the table first: from here on IsWindow is false and no poster finds the queue.
        std::lock_guard<std::mutex> tableLock(table.mutex);
        std::lock_guard<std::mutex> lock(m_queue->m_mutex);
        if (m_queue->m_hwnd == nullptr)
            return false;
        table.windows.erase(m_queue->m_hwnd);
        m_queue->m_hwnd = nullptr;
        m_queue->m_messages.clear();
    }
    m_queue->m_arrived.notify_all();
    return true;
}

HWND CWnd::GetSafeHwnd() const
{
    std::lock_guard<std::mutex> lock(m_queue->m_mutex);
    return m_queue->m_hwnd;
}

bool CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr && m_queue->Post(hwnd, message, wParam, lParam);
}

bool CWnd::PeekMessage(MSG& msg, bool remove)
{
    std::lock_guard<std::mutex> lock(m_queue->m_mutex);
    if (m_queue->m_messages.empty())
        return false;
    msg = m_queue->m_messages.front();
    if (remove)
        m_queue->m_messages.pop_front();
    return true;
}

bool CWnd::GetMessage(MSG& msg)
{
    std::unique_lock<std::mutex> lock(m_queue->m_mutex);
    m_queue->m_arrived.wait(lock, [this] { return !m_queue->m_messages.empty() || m_queue->m_hwnd == nullptr; });
    if (m_queue->m_messages.empty())
        return false;
    msg = m_queue->m_messages.front();
    m_queue->m_messages.pop_front();
    return true;
}

bool CWnd::WaitMessage(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_queue->m_mutex);
    auto ready = [this] { return !m_queue->m_messages.empty() || m_queue->m_hwnd == nullptr; };
    if (timeoutMs == waitForever)
        m_queue->m_arrived.wait(lock, ready);
    else
        m_queue->m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    return !m_queue->m_messages.empty();
}

unsigned CWnd::GetQueuedCount() const
{
    std::lock_guard<std::mutex> lock(m_queue->m_mutex);
    return static_cast<unsigned>(m_queue->m_messages.size());
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    std::shared_ptr<Queue> queue = FindQueue(hwnd);
    return queue ? queue->m_owner : nullptr;
}

bool IsWindow(HWND hwnd)
{
    return FindQueue(hwnd) != nullptr;
}

bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<CWnd::Queue> queue = FindQueue(hwnd);
    return queue && queue->Post(hwnd, message, wParam, lParam);
}
