// Saving the Application and Preference seas under new names, loading them
// from other files, printing a sea, and what these operations do before a start.
#include "seabase/SeaBaseTestSupport.h"

#include <functional>
#include <string>
#include <vector>

namespace seabasetest {
namespace {

using Lines = std::vector<std::wstring>;

class SaveLoadTest : public SeaBaseTest {
protected:
    // A project started from a base sea: Application and its own Preference file.
    void StartProject() {
        WriteFile("proj/base.sea", "ApplicationFile: app.sea\n");
        WriteFile("proj/app.sea", "Title: Hello\nPreferenceFile: pref.sea\n");
        WriteFile("proj/pref.sea", "Color: blue\n");
        ASSERT_TRUE(m_registry.Init(Wide("proj/base.sea")));
    }
    // Every line of a file as the sea reader sees it.
    Lines FileLines(const std::string& relative) const { return testsupport::ReadAllLines(Wide(relative)).lines; }
    // The files of the Application and the Preference sea, whether the latter is a section, the default directory.
    void ExpectSeas(const std::string& application, const std::string& preference, bool section,
                    const std::string& defaultDir) const {
        EXPECT_EQ(CSeaBase::ApplicationSea()->Filename(), Wide(application));
        EXPECT_EQ(CSeaBase::PreferenceSea()->Filename(), Wide(preference));
        EXPECT_EQ(CSeaBase::PreferenceSea()->IsFileSection(), section);
        EXPECT_EQ(CSeaBase::DefaultPath(), DirWithSlash(defaultDir));
    }
};

TEST_F(SaveLoadTest, SaveWithoutPreferenceFileRoundTripsBothSeas) {
    StartProject();
    CSeaBase::ApplicationSea()->LookupSetString(L"Title", L"Saved");
    CSeaBase::PreferenceSea()->LookupSetString(L"Color", L"green");
    fs::create_directories(Path("out"));
    ASSERT_TRUE(m_registry.SaveApplicationAs(Wide("out/all.sea"), nullptr, false));

    // The Application lines, the marker, then the Preference lines; changed lines are rebuilt.
    const Lines expected = {L"Title:\tSaved ", L"PreferenceFile: pref.sea", L"::::: Preference", L"Color:\tgreen "};
    EXPECT_EQ(FileLines("out/all.sea"), expected);
    ExpectSeas("out/all.sea", "out/all.sea", true, "proj");
    EXPECT_EQ(ReadBytes("proj/pref.sea"), "Color: blue\n");

    // A memory-only start reads both parts back into the two seas.
    m_registry.Cleanup();
    ASSERT_TRUE(m_registry.InitMemoryOnly());
    ASSERT_TRUE(m_registry.LoadApplicationAs(Wide("out/all.sea"), nullptr));
    const CResourceSea* application = CSeaBase::ApplicationSea();
    const CResourceSea* preference = CSeaBase::PreferenceSea();
    ExpectValues(application, {{L"Title", L"Saved"}, {L"Color", L"<missing>"}});
    ExpectValues(preference, {{L"Color", L"green"}, {L"Title", L"<missing>"}});
    // Both seas are now tied to the file, the Preference sea as its section.
    ExpectSeas("out/all.sea", "out/all.sea", true, "out");
}

TEST_F(SaveLoadTest, DefaultDirectoryAndPreferencePlace) {
    for (const CaseRow& row : ReadCases("seabase-save-places.txt", 6)) {
        SCOPED_TRACE(row.Where());
        const struct { std::string application; bool relative; std::wstring preference; bool changeDefaultPath;
                       std::string defaultPath, preferenceAt; } c = {
            row.raw[0], row.Flag(1), row.Text(2), row.Flag(3), row.raw[4], row.raw[5]};
        fs::remove_all(Path("other"));
        fs::create_directories(Path("other"));
        fs::create_directories(Path("cwd"));
        StartProject();
        fs::current_path(Path("cwd"));
        const std::string saved = c.relative ? "cwd/" + c.application : c.application;
        const CString file = c.relative ? CString(fs::path(c.application).wstring()) : Wide(saved);
        ASSERT_TRUE(m_registry.SaveApplicationAs(file, row.Null(2) ? nullptr : c.preference.c_str(), c.changeDefaultPath));
        fs::current_path(m_cwd);

        EXPECT_EQ(CSeaBase::DefaultPath(), DirWithSlash(c.defaultPath));
        EXPECT_EQ(CSeaBase::DefaultLocalsPath(), DirWithSlash(c.defaultPath));
        EXPECT_EQ(CSeaBase::PreferenceSea()->Filename(), Wide(c.preferenceAt));
        EXPECT_EQ(FileValue(Wide(saved), L"Title"), L"Hello");
        CResourceSea preference(107);
        preference.SetSeaName(L"Preference");
        preference.SetFileSection(CSeaBase::PreferenceSea()->IsFileSection());
        ASSERT_TRUE(preference.Create(Wide(c.preferenceAt), true));
        EXPECT_EQ(Value(&preference, L"Color"), L"blue");
        m_registry.Cleanup();
    }
}

TEST_F(SaveLoadTest, ReadOnlyFileWritesNothing) {
    const struct { const char* application; const wchar_t* preference; const char* readOnly; } cases[] = {
        {"proj/old.sea", nullptr, "proj/old.sea"}, {"proj/new.sea", L"oldpref.sea", "proj/oldpref.sea"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.readOnly);
        StartProject();
        WriteFile(c.readOnly, "Kept: 1\n");
        MakeReadOnly(c.readOnly);
        EXPECT_FALSE(m_registry.SaveApplicationAs(Wide(c.application), c.preference, true));
        EXPECT_EQ(ReadBytes(c.readOnly), "Kept: 1\n");
        EXPECT_EQ(c.application == std::string(c.readOnly), fs::exists(Path(c.application)));
        ExpectSeas("proj/app.sea", "proj/pref.sea", false, "proj");
        m_registry.Cleanup();
        fs::permissions(Path(c.readOnly), fs::perms::owner_write, fs::perm_options::add);
        fs::remove_all(Path("proj"));
    }
}

// A line too long to be rebuilt makes the Application sea's write fail.
TEST_F(SaveLoadTest, FailedWriteIsReportedAndNeverAppendsToTheOldFile) {
    StartProject();
    const std::string old = "Title: Old\n::::: Preference\nColor: old\n";
    WriteFile("proj/all.sea", old);
    CSeaBase::ApplicationSea()->LookupSetString(L"Long", std::wstring(5000, L'x').c_str());

    EXPECT_FALSE(m_registry.SaveApplicationAs(Wide("proj/all.sea"), nullptr, false));
    EXPECT_EQ(ReadBytes("proj/all.sea"), old);
    EXPECT_TRUE(Reported(L"Unable to write back sea file " + Path("proj/all.sea").wstring() + L"\n"));
    // The Application sea keeps the new name; the Preference sea was not saved and stays as it was.
    ExpectSeas("proj/all.sea", "proj/pref.sea", false, "proj");

    // With a file of its own the Preference sea is still written.
    CSeaBase::PreferenceSea()->LookupSetString(L"Color", L"green");
    EXPECT_FALSE(m_registry.SaveApplicationAs(Wide("proj/all.sea"), L"p2.sea", false));
    EXPECT_EQ(FileValue(Wide("proj/p2.sea"), L"Color"), L"green");
}

TEST_F(SaveLoadTest, LoadOfAMissingFileChangesNothingAndOfAFileOverwritesValues) {
    StartProject();
    fs::create_directories(Path("proj/folder.sea"));
    const unsigned applicationEntries = CSeaBase::ApplicationSea()->NrEntries();
    const struct { const char* file; const wchar_t* report; } cases[] = {
        {"proj/none.sea", L"Could not find sea file: \n"}, {"proj/folder.sea", L"Could not open '"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        m_reports.clear();
        EXPECT_FALSE(m_registry.LoadApplicationAs(Wide(c.file), nullptr));
        EXPECT_TRUE(Reported(c.report + Path(c.file).wstring()));
        EXPECT_EQ(CSeaBase::ApplicationSea()->NrEntries(), applicationEntries);
        EXPECT_EQ(CSeaBase::PreferenceSea()->NrEntries(), 1u);
        ExpectSeas("proj/app.sea", "proj/pref.sea", false, "proj");
    }
    // A file that is there overwrites values, and purges none; a missing Preference file is reported.
    WriteFile("other/app.sea", "Title: Loaded\nExtra: 1\n");
    ASSERT_TRUE(m_registry.LoadApplicationAs(Wide("other/app.sea"), L"nopref.sea"));
    ExpectValues(CSeaBase::ApplicationSea(),
                 {{L"Title", L"Loaded"}, {L"Extra", L"1"}, {L"PreferenceFile", L"pref.sea"}});
    EXPECT_EQ(Value(CSeaBase::PreferenceSea(), L"Color"), L"blue");
    EXPECT_EQ(CSeaBase::DefaultPath(), DirWithSlash("other"));
    EXPECT_TRUE(Reported(L"Could not find sea file: \n" + Path("other/nopref.sea").wstring()));
}

// Loading reads a section or a whole file, but the Preference sea is written
// back the way its own file is laid out.
TEST_F(SaveLoadTest, LoadKeepsThePreferenceLayout) {
    // A whole preference file loaded from a section stays a whole file.
    StartProject();
    WriteFile("other/all.sea", "Title: T\n::::: Preference\nColor: green\n");
    ASSERT_TRUE(m_registry.LoadApplicationAs(Wide("other/all.sea"), nullptr));
    CResourceSea* preference = CSeaBase::PreferenceSea();
    EXPECT_EQ(Value(preference, L"Color"), L"green");
    EXPECT_FALSE(preference->IsFileSection());
    ASSERT_TRUE(preference->UpdateIfPossible());
    EXPECT_EQ(FileLines("proj/pref.sea"), Lines{L"Color: green"});
    EXPECT_EQ(FileValue(Wide("proj/pref.sea"), L"Color"), L"green");
    m_registry.Cleanup();

    // A section loaded from a whole file stays a section of its application file.
    WriteFile("direct/app.sea", "Title: D\n::::: Preference\nColor: red\n");
    WriteFile("direct/sep.sea", "Color: white\n");
    ASSERT_TRUE(m_registry.InitAppDirect(Wide("direct/app.sea")));
    ASSERT_TRUE(m_registry.LoadApplicationAs(Wide("direct/app.sea"), L"sep.sea"));
    preference = CSeaBase::PreferenceSea();
    EXPECT_EQ(Value(preference, L"Color"), L"white");
    EXPECT_TRUE(preference->IsFileSection());
    EXPECT_EQ(preference->Filename(), Wide("direct/app.sea"));
    ASSERT_TRUE(CSeaBase::ApplicationSea()->UpdateIfPossible());
    ASSERT_TRUE(preference->UpdateIfPossible());
    EXPECT_EQ(FileValue(Wide("direct/app.sea"), L"Title"), L"D");
    EXPECT_EQ(ReadBytes("direct/sep.sea"), "Color: white\n");
}

TEST_F(SaveLoadTest, DumpPrintsBannerAndEntries) {
    StartProject();
    m_reports.clear();
    ASSERT_TRUE(CSeaBase::PrWinDump(0));
    ASSERT_EQ(m_reports.size(), 3u);
    EXPECT_EQ(m_reports[0].category, 16u);
    EXPECT_EQ(m_reports[0].style, 1u);
    EXPECT_EQ(m_reports[0].text, L"==================== Content of sea `Application': ====================\n");
    EXPECT_EQ(m_reports[1].text, L"Title: Hello\n");
    EXPECT_EQ(m_reports[2].text, L"PreferenceFile: pref.sea\n");

    m_reports.clear();
    for (unsigned index : {CSeaBase::FirstUserIndex, CSeaBase::NoneIndex, 500u}) {
        SCOPED_TRACE(index);
        EXPECT_FALSE(CSeaBase::PrWinDump(index));
    }
    EXPECT_TRUE(m_reports.empty());
}

TEST_F(SaveLoadTest, OperationsBeforeAStartFail) {
    WriteFile("base.sea", "ApplicationFile: app.sea\n");
    CString name = L"/x/y.txt";
    const struct { const char* name; std::function<bool()> run; } cases[] = {
        {"save", [&] { return m_registry.SaveApplicationAs(Wide("s.sea"), nullptr, true); }},
        {"load", [&] { return m_registry.LoadApplicationAs(Wide("base.sea"), nullptr); }},
        {"backup", [&] { return m_registry.Backup(Wide("backup")); }},
        {"restore into the default directory", [&] { return m_registry.Restore(Wide("base.sea"), nullptr); }},
        {"dump", [] { return CSeaBase::PrWinDump(0); }},
        {"read a file name", [&] { return m_registry.ReadFilename(L"R", nullptr, name); }},
        {"write a file name", [&] { return m_registry.WriteFilename(L"R", nullptr, name); }},
        {"look up a file name", [&] { return m_registry.LookupFilename(lookup::read, L"R", nullptr, name); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(c.run());
        EXPECT_EQ(CSeaBase::ApplicationSea(), nullptr);
    }
    EXPECT_EQ(name, CString(L"/x/y.txt"));
    EXPECT_FALSE(fs::exists(Path("s.sea")));
    EXPECT_FALSE(fs::exists(Path("backup")));
    EXPECT_EQ(ReadBytes("base.sea"), "ApplicationFile: app.sea\n");
}

} // namespace
} // namespace seabasetest
