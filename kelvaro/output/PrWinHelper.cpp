#include "kelvaro/output/PrWinHelper.h"

#include "kelvaro/platform/Window.h"

CPrWinHelper::CPrWinHelper(CWnd* wnd, unsigned message) : m_wnd(wnd), m_notifyMessage(message) {}

void CPrWinHelper::PostTextMessage(const wchar_t* text, PrWin::Category category, PrWin::Style style)
{
    bool wake;
    {
        // Deciding under the same lock as the append: a text added just after the window
        // emptied the queue always gets its message.
        CSingleLock lock(&m_lock);
        m_queue.emplace_back(CString(text), category, style);
        wake = !m_wakePending;
        m_wakePending = true;
    }
    if (!wake)
        return;
    // The handle is read at each post: the window may be made or remade after the helper.
    HWND hwnd = m_wnd != nullptr ? m_wnd->GetSafeHwnd() : nullptr;
    if (hwnd != nullptr && ::PostMessage(hwnd, m_notifyMessage, 0, 0))
        return;
    // Nothing will wake the window for what is queued; let the next text try again rather
    // than leave the queue silent for good.
    CSingleLock lock(&m_lock);
    m_wakePending = false;
}

bool CPrWinHelper::ReceiveTextMessage(Item& item)
{
    CSingleLock lock(&m_lock);
    if (m_queue.empty())
        return false;
    item = std::move(m_queue.front());
    m_queue.pop_front();
    if (m_queue.empty())
        m_wakePending = false;
    return true;
}

bool CPrWinHelper::empty() const
{
    // Locked although only the window's thread removes items: other threads append meanwhile,
    // and reading the deque during an append is a data race.
    CSingleLock lock(&m_lock);
    return m_queue.empty();
}
