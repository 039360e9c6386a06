#include "kelvaro/platform/Thread.h"

#include <map>
#include <mutex>
#include <thread>

namespace {

// Kept in one table rather than in a thread_local pointer, so that an object destroyed on
// another thread can still take itself out and never leaves a dangling thread object behind.
struct ThreadTable
{
    std::mutex mutex;
    std::map<std::thread::id, CWinThread*> threads;
};

ThreadTable& Table()
{
    static ThreadTable table;
    return table;
}

// Thread ids are reused after a thread ends; forget the ending thread's object so that a
// later thread with the same id does not inherit it.
struct ForgetAtThreadExit
{
    ForgetAtThreadExit() { Table(); } // the table must outlive this thread's exit
    ~ForgetAtThreadExit()
    {
        ThreadTable& table = Table();
        std::lock_guard<std::mutex> lock(table.mutex);
        table.threads.erase(std::this_thread::get_id());
    }
};

} // namespace

CWinThread::~CWinThread()
{
    ThreadTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (auto it = table.threads.begin(); it != table.threads.end();)
        it = it->second == this ? table.threads.erase(it) : std::next(it);
}

CWnd* CWinThread::GetMainWnd()
{
    return m_pMainWnd;
}

void CWinThread::AttachToCurrentThread()
{
    thread_local ForgetAtThreadExit forget;
    ThreadTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.threads[std::this_thread::get_id()] = this;
}

void CWinThread::DetachFromCurrentThread()
{
    ThreadTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.threads.find(std::this_thread::get_id());
    if (it != table.threads.end() && it->second == this)
        table.threads.erase(it);
}

CWinThread* AfxGetThread()
{
    ThreadTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.threads.find(std::this_thread::get_id());
    return it == table.threads.end() ? nullptr : it->second;
}
