// Module loading through a Configuration sea: real shared objects, copied under
// the names a sea gives them into a temporary folder, are loaded, announce
// their initialisation, and are unloaded last-first. Below that, shared libraries
// themselves: loading, freeing, and the reason a load failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "kelvaro/app/ModuleLoader.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/platform/SharedLibrary.h"
#include "kelvaro/platform/Utf.h"
#include "seabase/SeaBaseTestSupport.h"

namespace {

using seabasetest::SeaBaseTest;

class ModuleLoaderTest : public SeaBaseTest {
protected:
    // Starts the registry on a base sea whose Configuration sea holds `config`.
    void Start(const std::string& config) {
        WriteFile("base.sea", "ApplicationFile: App.sea\r\nConfigurationFile: Config.sea\r\n");
        WriteFile("Config.sea", config);
        ASSERT_TRUE(m_registry.Init(Wide("base.sea")));
    }
    // The texts reported in one category, in order (99: the modules' announcements).
    std::vector<std::wstring> Texts(unsigned category) const {
        std::vector<std::wstring> texts;
        for (const auto& report : m_reports)
            if (report.category == category) texts.push_back(report.text);
        return texts;
    }
    std::vector<std::wstring> Announcements() const { return Texts(99); }
    std::vector<std::wstring> LibraryReports() const { return Texts(16); }
};

TEST_F(ModuleLoaderTest, LoadsListedModulesAndUnloadsThemLastFirst) {
    // The built test modules, in "mods/" of the test folder.
    ASSERT_TRUE(FileIO::CreateFolder(Wide("mods")));
    for (const char* file : {"Reports.dll", "ChartsD.dll"}) {
        const CString from(std::wstring(KELVARO_TEST_MODULE_DIR L"/") + CString(kelvaro::utf8::Decode(file)).Str());
        ASSERT_TRUE(FileIO::CopyFile(from, Wide(std::string("mods/") + file), false)) << file;
    }
    // "mods" without a final separator: the loader adds it. Comment lines and
    // the module the application loads itself are skipped.
    Start("LoadDllPath: " + Path("mods").string() + "\r\nLoadDll: {\r\n\tReports\r\n; not a module\r\n"
          "\tQuillon\r\n\tCharts.dll\r\n}\r\n");
    ASSERT_FALSE(LoadDll(false));  // Charts.dll exists only under its debug name
    EXPECT_EQ(Announcements(), (std::vector<std::wstring>{L"init Reports"}));
    ASSERT_EQ(LibraryReports().size(), 1u);
    const std::wstring report = LibraryReports()[0];
    const std::wstring expected = L"Unable to load library '" + Path("mods/Charts.dll").wstring() + L"'. Reason:  ";
    EXPECT_EQ(report.substr(0, expected.size()), expected);
    EXPECT_GT(report.size(), expected.size()) << "the system's reason follows";
    EXPECT_TRUE(UnloadDll());

    m_reports.clear();
    // With debug names both spellings get a "D": Reports is then missing.
    ASSERT_FALSE(LoadDll(true));
    EXPECT_EQ(Announcements(), (std::vector<std::wstring>{L"init ChartsD"}));
    EXPECT_NE(LibraryReports().at(0).find(L"ReportsD.dll"), std::wstring::npos);
    EXPECT_TRUE(UnloadDll());
    EXPECT_EQ(Announcements(), (std::vector<std::wstring>{L"init ChartsD", L"exit ChartsD"}));
    EXPECT_TRUE(LoadedModules().empty());
    EXPECT_TRUE(UnloadDll()) << "a second unload frees nothing twice";

    // With Charts.dll there too, both load, and unload last-first.
    ASSERT_TRUE(FileIO::CopyFile(Wide("mods/ChartsD.dll"), Wide("mods/Charts.dll"), false));
    m_reports.clear();
    ASSERT_TRUE(LoadDll(false));
    EXPECT_EQ(LoadedModules().size(), 2u);
    EXPECT_TRUE(UnloadDll());
    EXPECT_EQ(Announcements(), (std::vector<std::wstring>{L"init Reports", L"init ChartsD", L"exit ChartsD",
                                                           L"exit Reports"}));
    EXPECT_TRUE(LibraryReports().empty());
}

TEST_F(ModuleLoaderTest, MissingListOrSeaFails) {
    EXPECT_FALSE(LoadDll(false)) << "no registry, no Configuration sea";
    EXPECT_TRUE(m_reports.empty());

    Start("LoadDll: Reports\r\n");  // a value, not a list
    EXPECT_FALSE(LoadDll(false));
    EXPECT_EQ(LibraryReports(), (std::vector<std::wstring>{L"No 'LoadDLL' list in Configuration Sea!\n"}));
}

TEST_F(ModuleLoaderTest, ListWithoutModulesSucceeds) {
    Start("LoadDll: {\r\n; nothing yet\r\n\tQuillon\r\n}\r\n");
    EXPECT_TRUE(LoadDll(false));
    EXPECT_TRUE(LoadedModules().empty());
    EXPECT_TRUE(m_reports.empty());
}

TEST(KelvaroModuleTest, LibraryIsInTheExtensionChain) {
    const AFX_EXTENSION_MODULE& own = KelvaroModule();
    ASSERT_TRUE(own.bInitialized);
    EXPECT_NE(own.name.Find(L"libkelvaro"), -1) << own.name.GetString();
    const auto modules = AfxGetExtensionModules();
    EXPECT_NE(std::find(modules.begin(), modules.end(), &own), modules.end());
}

TEST(SharedLibraryTest, FailedLoadsGiveTheirReasonToTheirThreadAndLibrariesAreFreedOncePerLoad) {
    // A name that is not ASCII reaches the system as UTF-8 and comes back in the reason.
    const wchar_t* path = L"/nonexistent-kelvaro-folder/R\u00e9ports.dll";
    EXPECT_EQ(AfxLoadLibrary(path), nullptr);
    std::thread([] { AfxLoadLibrary(L"/nonexistent-kelvaro-folder/Other.dll"); }).join();
    const CString error = GetLastLoadError();
    EXPECT_NE(error.Find(path), -1) << error.GetString();
    EXPECT_NE(error.Find(L"No such file"), -1) << error.GetString();
    // The system would hand out the program itself for a null name.
    for (const wchar_t* none : {static_cast<const wchar_t*>(nullptr), L""}) {
        EXPECT_EQ(AfxLoadLibrary(none), nullptr);
        EXPECT_FALSE(GetLastLoadError().IsEmpty());
    }

    int notALibrary = 0;
    EXPECT_FALSE(AfxFreeLibrary(nullptr));
    EXPECT_FALSE(AfxFreeLibrary(&notALibrary));
    HMODULE first = AfxLoadLibrary(L"libm.so.6");
    ASSERT_NE(first, nullptr) << GetLastLoadError().GetString();
    ASSERT_EQ(AfxLoadLibrary(L"libm.so.6"), first);
    EXPECT_TRUE(AfxFreeLibrary(first));
    EXPECT_TRUE(AfxFreeLibrary(first));
    EXPECT_FALSE(AfxFreeLibrary(first)) << "a third free would free what others still hold";
}

}  // namespace
