// Quick start: start the sea registry on a base sea, read and change values,
// save, and stop again. Run it with the folder of the example seas; it works
// on a copy in a temporary folder, so the examples stay as they are.
//
//   kelvaro_quickstart path/to/examples
#include <cstdio>
#include <filesystem>
#include <string>

#include "kelvaro/Kelvaro.h"

namespace fs = std::filesystem;

static std::string Utf8(const CString& text) { return kelvaro::utf8::Encode(text.Str()); }

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kelvaro_quickstart EXAMPLES-FOLDER\n");
        return 2;
    }
    // Work on a copy: the program writes its seas back.
    const fs::path work = fs::temp_directory_path() / "kelvaro-quickstart";
    fs::remove_all(work);
    fs::copy(argv[1], work, fs::copy_options::recursive);

    // Every report of the library reaches this handler.
    PrWin::InstallOutputHandler([](PrWin::Category, PrWin::Style, const wchar_t* text) {
        std::fprintf(stderr, "kelvaro: %s", kelvaro::utf8::Encode(text).c_str());
    });

    CSeaBase registry;
    if (!registry.Init(CString((work / "base.sea").wstring()))) {
        std::fprintf(stderr, "cannot start on %s\n", (work / "base.sea").c_str());
        return 1;
    }
    CResourceSea* app = CSeaBase::ApplicationSea();
    std::printf("project:      %s\n", Utf8(CSeaBase::ProjectName()).c_str());
    std::printf("title:        %s\n", Utf8(app->LookupGetString(L"WindowTitle", 0, CString(L"?"))).c_str());
    std::printf("window:       %d x %d\n", app->LookupGetInt(L"WindowSize", 0, 640),
                app->LookupGetInt(L"WindowSize", 1, 480));
    std::printf("greeting:     %s\n", Utf8(app->LookupGetString(L"Greeting", 0, CString())).c_str());

    // A value that is missing is created with its default by a read in mode read.
    int autosave = 120;
    CSeaBase::ConfigurationSea()->LookupInt(lookup::read, L"AutosaveSeconds", autosave);
    std::printf("autosave:     %d s\n", autosave);

    // The list cursor walks a list and skips its comment lines.
    CResourceList recent(static_cast<const CResourceSea*>(app), L"Recent");
    for (bool more = recent.GotoHead(); more; more = recent.GotoNext())
        std::printf("recent:       %s\n", Utf8(recent.GetCurrentLine()->GetString(0)).c_str());

    // Change a value and write the sea back: every other line keeps its text.
    app->LookupSetInt(L"WindowSize", 1280, 0);
    app->LookupSetInt(L"WindowSize", 800, 1);
    if (!app->UpdateIfPossible()) return 1;
    std::printf("preference:   Theme = %s\n",
                Utf8(CSeaBase::PreferenceSea()->LookupGetString(L"Theme", 0, CString())).c_str());
    registry.Cleanup();

    // The same program state, read back from the saved file.
    CResourceSea saved;
    saved.Create(CString((work / "Application.sea").wstring()), true);
    std::printf("saved window: %d x %d\n", saved.LookupGetInt(L"WindowSize", 0, 0),
                saved.LookupGetInt(L"WindowSize", 1, 0));
    return 0;
}
