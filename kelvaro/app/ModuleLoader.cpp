// Module loading from the Configuration sea, and the library's own place in the
// extension-module chain.
#include "kelvaro/app/ModuleLoader.h"

#include <memory>
#include <string_view>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/sea/ResourceList.h"
#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/sea/ResourceSea.h"
#include "kelvaro/seabase/SeaBase.h"

namespace {

// Process-wide, in load order. Only the thread that loads and unloads touches it.
std::vector<HMODULE>& Modules() {
    static std::vector<HMODULE> modules;
    return modules;
}

// This module is handled by the application itself, never by the loader.
constexpr std::wstring_view kSkippedModule = L"Quillon";

CString ModuleFileName(const CString& name, bool debugNames) {
    static constexpr std::wstring_view kExtension = L".dll";
    const std::wstring_view text(name.Str());
    const bool hasExtension =
        text.size() >= kExtension.size() && text.substr(text.size() - kExtension.size()) == kExtension;
    if (!hasExtension) return debugNames ? name + L"D.dll" : name + L".dll";
    if (!debugNames) return name;
    return CString(text.substr(0, text.size() - kExtension.size())) + L"D.dll";
}

// The library's record: joins the chain when the library is loaded and leaves
// it when the library is unloaded.
struct ModuleRecord {
    AFX_EXTENSION_MODULE state;
    std::unique_ptr<CDynLinkLibrary> link;

    ModuleRecord() {
        if (AfxInitExtensionModule(state, AfxGetModuleOf(reinterpret_cast<const void*>(&KelvaroModule))))
            link = std::make_unique<CDynLinkLibrary>(state);
    }
    ~ModuleRecord() {
        link.reset();
        AfxTermExtensionModule(state);
    }
};

ModuleRecord g_kelvaroModule;

}  // namespace

const AFX_EXTENSION_MODULE& KelvaroModule() { return g_kelvaroModule.state; }

const std::vector<HMODULE>& LoadedModules() { return Modules(); }

bool LoadDll(bool debugNames) {
    Modules().clear();
    CResourceSea* configuration = CSeaBase::ConfigurationSea();
    if (configuration == nullptr) return false;

    CString folder = configuration->LookupGetString(L"LoadDllPath", 0, CString());
    FileIO::ensureLimitedPath(folder);

    const CResourceSea* readOnly = configuration;
    CResourceList list(readOnly, L"LoadDll");
    if (list.Status() != 1 || !configuration->IsListEntry(L"LoadDll")) {
        PrWin::Output(PrWin::LibraryMessage, PrWin::ReadProblem, L"No 'LoadDLL' list in Configuration Sea!\n");
        return false;
    }

    bool result = true;
    for (bool more = list.GotoHead(); more; more = list.GotoNext()) {
        const CResourceEntry* line = list.GetCurrentLine();
        const CString name = line->NValues() > 0 ? line->GetString(0) : CString();
        if (name == kSkippedModule.data()) continue;
        const CString path = folder + ModuleFileName(name, debugNames);
        if (HMODULE module = AfxLoadLibrary(path)) {
            Modules().push_back(module);
            continue;
        }
        const CString reason = GetLastLoadError();
        // The path is text, not a format: a '%' in a folder name must reach the report as it is.
        PrWin::Output((CString(L"Unable to load library '") + path + L"'. Reason:  " + reason).GetString(),
                      PrWin::LibraryMessage, PrWin::WriteProblem);
        result = false;
    }
    return result;
}

bool UnloadDll() {
    bool result = true;
    auto& modules = Modules();
    for (auto it = modules.rbegin(); it != modules.rend(); ++it)
        if (!AfxFreeLibrary(*it)) result = false;
    modules.clear();
    return result;
}
