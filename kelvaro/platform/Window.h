// Windows as message targets: a handle, a thread-safe queue of posted messages, and the
// window object that owns both. Any thread may post to a window; the thread that reads the
// window's queue (its own thread) takes the messages out. Used by the output queue and the
// status-bar posts, and by applications that receive them.
#pragma once

#include "kelvaro/platform/Types.h"

#include <memory>

using HWND = struct HWND__*;

// One posted message as the window's thread takes it from the queue.
struct MSG
{
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

class CWnd
{
public:
    // A queue that is full refuses further posts, so a runaway poster cannot eat all memory.
    static constexpr unsigned maxQueuedMessages = 10000;
    static constexpr DWORD waitForever = 0xFFFFFFFFul;

    CWnd();
    // Destroys the window if it still exists; messages still queued are dropped.
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Gives the object a new window handle and an empty queue. False when it already has one.
    bool Create();
    // Makes the handle invalid (IsWindow false, posts fail) and wakes a waiting GetMessage.
    // False when there was no window.
    bool DestroyWindow();

    // The window's handle, null when there is no window. Safe to call from any thread.
    HWND GetSafeHwnd() const;
    operator HWND() const { return GetSafeHwnd(); }

    // Appends a message to the queue; false when there is no window or its queue is full.
    bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // Takes (or with remove false, copies) the oldest message; false when none is queued.
    bool PeekMessage(MSG& msg, bool remove = true);
    // Waits for a message and takes it; false when the window is or gets destroyed.
    bool GetMessage(MSG& msg);
    // Waits up to `timeoutMs` milliseconds for a message; true when one is queued.
    bool WaitMessage(DWORD timeoutMs = waitForever);
    // How many messages wait in the queue.
    unsigned GetQueuedCount() const;

    // The window object of a live handle, null otherwise. The object must not be destroyed
    // meanwhile by another thread: use it on the window's own thread.
    static CWnd* FromHandle(HWND hwnd);

    struct Queue;

private:
    // Made once and kept for the object's life, so other threads may reach it without a lock;
    // the handle inside it changes only under the queue's own lock.
    const std::shared_ptr<Queue> m_queue;
};

// True while `hwnd` names a window that exists. Safe from any thread.
bool IsWindow(HWND hwnd);
// Appends a message to the queue of the window `hwnd`; false when it is not a window or its
// queue is full. Safe from any thread.
bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
