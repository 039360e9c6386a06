// The extension-module chain, kept under a lock because libraries may be loaded
// and unloaded from any thread.
#include "kelvaro/platform/ExtensionModule.h"

#include <dlfcn.h>

#include <algorithm>
#include <mutex>

#include "kelvaro/platform/FileIO.h"

namespace {

std::mutex& ChainLock() {
    static std::mutex lock;
    return lock;
}

// Never destroyed: records leave the chain from static destructors of other
// libraries, which may run after ours.
std::vector<CDynLinkLibrary*>& Chain() {
    static auto* chain = new std::vector<CDynLinkLibrary*>;
    return *chain;
}

}  // namespace

HMODULE AfxGetModuleOf(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0) return nullptr;
    return info.dli_fbase;
}

bool AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE module) {
    Dl_info info{};
    if (module == nullptr || dladdr(module, &info) == 0) return false;
    state.hModule = module;
    state.name = FileIO::FromNativePath(info.dli_fname != nullptr ? info.dli_fname : "");
    state.bInitialized = true;
    return true;
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state) {
    std::lock_guard<std::mutex> guard(ChainLock());
    auto& chain = Chain();
    chain.erase(std::remove_if(chain.begin(), chain.end(),
                               [&state](const CDynLinkLibrary* link) { return &link->Module() == &state; }),
                chain.end());
    state.bInitialized = false;
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state) : m_state(state) {
    std::lock_guard<std::mutex> guard(ChainLock());
    Chain().push_back(this);
}

CDynLinkLibrary::~CDynLinkLibrary() {
    std::lock_guard<std::mutex> guard(ChainLock());
    auto& chain = Chain();
    chain.erase(std::remove(chain.begin(), chain.end(), this), chain.end());
}

std::vector<const AFX_EXTENSION_MODULE*> AfxGetExtensionModules() {
    std::lock_guard<std::mutex> guard(ChainLock());
    std::vector<const AFX_EXTENSION_MODULE*> modules;
    for (const CDynLinkLibrary* link : Chain()) modules.push_back(&link->Module());
    return modules;
}
