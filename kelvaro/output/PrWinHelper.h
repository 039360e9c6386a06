// Carries output texts from any thread to the thread of one window: texts wait in a queue,
// and a posted message wakes the window, which then takes them out in order. Serves output
// handlers that must show text in a window while modules report from worker threads.
#pragma once

#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/Lock.h"

#include <deque>
#include <tuple>

class CWnd;

class CPrWinHelper
{
public:
    using Item = std::tuple<CString, PrWin::Category, PrWin::Style>;

    // An empty queue that wakes `wnd` (not owned; may be null or without a window yet) with
    // `message`.
    CPrWinHelper(CWnd* wnd, unsigned message);
    // Texts still queued are dropped; nothing is posted.
    ~CPrWinHelper() = default;
    CPrWinHelper(const CPrWinHelper&) = delete;
    CPrWinHelper& operator=(const CPrWinHelper&) = delete;

    // Queues a copy of `text` (null: ""). Safe from any thread. One message wakes the window for
    // everything queued until the window has emptied the queue; when that message cannot be
    // posted (no window yet), the next text tries again.
    void PostTextMessage(const wchar_t* text, PrWin::Category category, PrWin::Style style);

    // For the window's thread: takes the oldest text. False, item untouched, when none waits.
    // The window handles its message by calling this while empty() is false.
    bool ReceiveTextMessage(Item& item);

    // True when no text waits.
    bool empty() const;

private:
    CWnd* m_wnd;
    unsigned m_notifyMessage;
    std::deque<Item> m_queue;        // guarded by m_lock
    mutable CCriticalSection m_lock; // guards m_queue and m_wakePending
    bool m_wakePending = false;      // a posted message stands for what is queued
};
