// The process-wide chain of extension modules: every library of the application
// that shares its classes registers a record here while it is loaded. The
// library registers itself when it is loaded and leaves the chain when unloaded.
#pragma once

#include <vector>

#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/SharedLibrary.h"

// What a module knows about itself while it takes part in the chain.
struct AFX_EXTENSION_MODULE {
    bool bInitialized = false;
    HMODULE hModule = nullptr;  // the module's own handle (its address in the process)
    CString name;               // the file the module was loaded from
};

// Fills the record for `module`; false when the module is unknown to the system.
bool AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE module);
// Ends the record; the module is no longer in the chain after this.
void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state);

// Membership in the chain: constructing one adds the module, destroying it removes it.
class CDynLinkLibrary {
public:
    explicit CDynLinkLibrary(AFX_EXTENSION_MODULE& state);
    ~CDynLinkLibrary();
    CDynLinkLibrary(const CDynLinkLibrary&) = delete;
    CDynLinkLibrary& operator=(const CDynLinkLibrary&) = delete;

    const AFX_EXTENSION_MODULE& Module() const { return m_state; }

private:
    AFX_EXTENSION_MODULE& m_state;
};

// The modules in the chain, in the order they joined (a snapshot).
std::vector<const AFX_EXTENSION_MODULE*> AfxGetExtensionModules();

// The handle of the loaded module that contains `address` (a function or object
// of that module); null when no module does.
HMODULE AfxGetModuleOf(const void* address);
