#include "kelvaro/platform/MessageBox.h"

#include "kelvaro/platform/Utf.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace {

std::mutex g_boxMutex;
kelvaro::MessageBoxHandler g_box; // guarded by g_boxMutex; empty: the default box

int DefaultBox(const wchar_t* text)
{
    std::string bytes = kelvaro::utf8::Encode(text);
    bytes.push_back('\n');
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
    return IDOK;
}

} // namespace

int AfxMessageBox(const wchar_t* text, UINT type)
{
    if (text == nullptr)
        text = L"";
    kelvaro::MessageBoxHandler box;
    {
        std::lock_guard<std::mutex> lock(g_boxMutex);
        box = g_box;
    }
    // Called outside the lock: a box may take its time, and may show another box.
    return box ? box(text, type) : DefaultBox(text);
}

kelvaro::MessageBoxHandler kelvaro::SetMessageBoxHandler(MessageBoxHandler handler)
{
    std::lock_guard<std::mutex> lock(g_boxMutex);
    MessageBoxHandler previous = std::move(g_box);
    g_box = std::move(handler);
    return previous;
}
