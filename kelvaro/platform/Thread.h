// The framework's per-thread object: it names the thread's main window, which status-bar
// texts and progress are posted to. The application object is the main thread's; other
// threads have one only when they attach one. Used by the status-bar posts.
#pragma once

class CWnd;

class CWinThread
{
public:
    CWinThread() = default;
    // Detaches the object from every thread that still has it as its thread object.
    virtual ~CWinThread();
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // The thread's main window (not owned); null when it has none.
    CWnd* m_pMainWnd = nullptr;
    virtual CWnd* GetMainWnd();

    // Makes this object AfxGetThread() of the calling thread, in place of any other.
    void AttachToCurrentThread();
    // Leaves the calling thread without a thread object if this is its object.
    void DetachFromCurrentThread();
};

// The calling thread's framework thread object, null when the thread has none.
CWinThread* AfxGetThread();
