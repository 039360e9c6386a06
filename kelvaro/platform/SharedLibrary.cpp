#include "kelvaro/platform/SharedLibrary.h"

#include "kelvaro/platform/FileIO.h"
#include "kelvaro/platform/Utf.h"

#include <dlfcn.h>

#include <mutex>
#include <unordered_map>

namespace {

thread_local CString t_lastError;

// How often each handle was handed out and not yet freed. Freeing a handle the system no
// longer holds is undefined behaviour, so only handles counted here reach dlclose.
std::mutex g_moduleMutex;
std::unordered_map<void*, unsigned> g_loadCount;

void SetErrorFromSystem(const wchar_t* fallback)
{
    const char* text = dlerror();
    t_lastError = text != nullptr ? CString(kelvaro::utf8::Decode(text)) : CString(fallback);
}

} // namespace

HMODULE AfxLoadLibrary(const wchar_t* path)
{
    if (path == nullptr || *path == L'\0') {
        t_lastError = L"no library name given";
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_moduleMutex);
    void* module = dlopen(FileIO::ToNativePath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        SetErrorFromSystem(L"the library could not be loaded");
        return nullptr;
    }
    ++g_loadCount[module];
    return module;
}

bool AfxFreeLibrary(HMODULE module)
{
    std::lock_guard<std::mutex> lock(g_moduleMutex);
    auto it = module != nullptr ? g_loadCount.find(module) : g_loadCount.end();
    if (it == g_loadCount.end()) {
        t_lastError = L"the handle is not a loaded library";
        return false;
    }
    if (--it->second == 0)
        g_loadCount.erase(it);
    if (dlclose(module) != 0) {
        SetErrorFromSystem(L"the library could not be freed");
        return false;
    }
    return true;
}

CString GetLastLoadError()
{
    return t_lastError;
}
