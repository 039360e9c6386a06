#include "kelvaro/app/StatusBarInfo.h"

#include "kelvaro/platform/Thread.h"
#include "kelvaro/platform/Window.h"

#include <algorithm>
#include <mutex>
#include <string_view>

namespace {

struct Slot
{
    wchar_t text[StatusBarInfo::maxTextLength + 1] = {}; // what the window reads through lParam
    HWND reader = nullptr; // posted to this window and not taken yet: the text must stay

    // The newest text that arrived while the window could still be reading the slot.
    bool waiting = false;
    wchar_t waitingText[StatusBarInfo::maxTextLength + 1] = {};
    unsigned waitingMessage = 0;
    WPARAM waitingWParam = 0;
    HWND waitingWindow = nullptr;
};

std::mutex g_slotMutex;
Slot g_slots[StatusBarInfo::slotCount]; // guarded by g_slotMutex

void CopyCut(wchar_t (&to)[StatusBarInfo::maxTextLength + 1], const wchar_t* text)
{
    std::wstring_view view = text != nullptr ? std::wstring_view(text) : std::wstring_view();
    view = view.substr(0, StatusBarInfo::maxTextLength);
    std::copy(view.begin(), view.end(), to);
    to[view.size()] = L'\0';
}

LPARAM AddressOf(Slot& slot)
{
    return reinterpret_cast<LPARAM>(static_cast<const wchar_t*>(slot.text));
}

// The main window of the calling thread's thread object, null when there is none.
HWND MainWindow()
{
    CWinThread* thread = AfxGetThread();
    CWnd* wnd = thread != nullptr ? thread->GetMainWnd() : nullptr;
    HWND hwnd = wnd != nullptr ? wnd->GetSafeHwnd() : nullptr;
    return IsWindow(hwnd) ? hwnd : nullptr;
}

// Posts the slot's text; the slot stays reserved for the window until it takes the text.
void PostSlot(Slot& slot, HWND hwnd, unsigned message, WPARAM wParam)
{
    slot.reader = hwnd != nullptr && ::PostMessage(hwnd, message, wParam, AddressOf(slot)) ? hwnd : nullptr;
}

} // namespace

namespace StatusBarInfo {

void PostStatusBarInfo(unsigned message, const wchar_t* text, unsigned wParam)
{
    const long long index = static_cast<long long>(message) - firstMessage;
    Slot& slot = g_slots[std::clamp<long long>(index, 0, slotCount - 1)];
    const HWND hwnd = MainWindow();

    std::lock_guard<std::mutex> lock(g_slotMutex);
    // A destroyed window will never read the slot: it is free again.
    if (slot.reader != nullptr && IsWindow(slot.reader)) {
        slot.waiting = true;
        CopyCut(slot.waitingText, text);
        slot.waitingMessage = message;
        slot.waitingWParam = wParam;
        slot.waitingWindow = hwnd;
        return;
    }
    slot.waiting = false;
    CopyCut(slot.text, text);
    PostSlot(slot, hwnd, message, wParam);
}

void PostStatusBarProgress(unsigned wParam, unsigned lParam)
{
    if (HWND hwnd = MainWindow())
        ::PostMessage(hwnd, progressMessage, wParam, static_cast<LPARAM>(lParam));
}

CString TakeStatusBarText(LPARAM lParam)
{
    auto it = std::find_if(std::begin(g_slots), std::end(g_slots), [&](Slot& s) { return AddressOf(s) == lParam; });
    if (it == std::end(g_slots))
        return CString();
    Slot& slot = *it;

    std::lock_guard<std::mutex> lock(g_slotMutex);
    CString text(static_cast<const wchar_t*>(slot.text));
    slot.reader = nullptr;
    if (slot.waiting) {
        slot.waiting = false;
        std::copy(std::begin(slot.waitingText), std::end(slot.waitingText), slot.text);
        PostSlot(slot, IsWindow(slot.waitingWindow) ? slot.waitingWindow : nullptr, slot.waitingMessage,
                 slot.waitingWParam);
    }
    return text;
}

} // namespace StatusBarInfo
