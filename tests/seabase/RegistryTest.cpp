// The registry of seas:
// - starting it from a base sea, from an application file alone and in memory;
//   the default directory, project name and protection level a start fixes;
//   second starts; and what Cleanup keeps;
// - the global write-protection level and the start file's read-only
//   attribute; the Status sea's file;
// - the Locals sea: what the settings section gives it, the locals file, the
//   merge into the Application sea, and the way back on synchronisation;
// - the slots: lookup by name and index, user seas made on demand, a full
//   registry, the file names the base sea gives, and file names kept in the
//   Application sea as a File and a Path entry.
#include "seabase/SeaBaseTestSupport.h"

#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/platform/FileIO.h"

#include <ctime>
#include <string>
#include <tuple>
#include <vector>

namespace seabasetest {
namespace {

class StartupTest : public SeaBaseTest {
protected:
    void StartOn(const std::string& file) {
        WriteFile(file, "ApplicationFile: app.sea\n");
        ASSERT_TRUE(m_registry.Init(Wide(file)));
    }
    // The string value of the settings section "Locals", or "<missing>".
    std::wstring Stored(const wchar_t* name) {
        return m_app->GetProfileString(L"Locals", name, L"<missing>").GetString();
    }
};
using ProtectionTest = StartupTest;
using LocalsTest = StartupTest;

// Each file carries a duplicate, so the order of the duplicate reports is the
// order in which the files were read.
TEST_F(StartupTest, InitReadsTheStandardSeasInOrder) {
    WriteFile("proj/seas/base.sea", "ApplicationFile: app.sea\n"
                                    "ConfigurationFile: config.sea\n"
                                    "LocalsFile: locals.sea\n"
                                    "ProjectName: Demo\n");
    WriteFile("proj/seas/app.sea", "Title: Hello\nPreferenceFile: pref.sea\nd: 1\nd: 2\n");
    WriteFile("proj/seas/locals.sea", "Width: 800\nd: 1\nd: 2\n");
    WriteFile("proj/seas/config.sea", "LoadDll: none\nd: 1\nd: 2\n");
    WriteFile("proj/seas/pref.sea", "Color: blue\nd: 1\nd: 2\n");

    ASSERT_TRUE(m_registry.Init(Wide("proj/seas/base.sea")));

    std::vector<std::wstring> order;
    for (const testsupport::Report& report : m_reports)
        if (report.text.find(L"Duplicate identifier") != std::wstring::npos)
            order.push_back(report.text.substr(0, report.text.find(L'\n')));
    std::vector<std::wstring> expected;
    for (const std::string leaf : {"app", "locals", "config", "pref"})
        expected.push_back(Path("proj/seas/" + leaf + ".sea").wstring());
    EXPECT_EQ(order, expected);

    const CString dir = DirWithSlash("proj/seas");
    EXPECT_EQ(CSeaBase::DefaultPath(), dir);
    EXPECT_EQ(CSeaBase::DefaultLocalsPath(), dir);
    EXPECT_EQ(CSeaBase::ProjectName(), CString(L"Demo"));
    EXPECT_EQ(CSeaBase::GlobalWriteProtectionStatus(), 1);
    EXPECT_FALSE(CSeaBase::InMemoryOnly());

    for (const CaseRow& slot : ReadCases("seabase-standard-slots.txt", 5)) {
        SCOPED_TRACE(slot.Where());
        const CResourceSea* sea = m_registry[static_cast<unsigned>(slot.Number(0))];
        ASSERT_NE(sea, nullptr);
        EXPECT_EQ(sea->SeaName(), CString(slot.Text(1)));
        EXPECT_EQ(sea->IsFilebased(), !slot.Null(2));
        if (!slot.Null(2)) {
            EXPECT_EQ(sea->Filename(), dir + slot.Text(2).c_str());
            EXPECT_EQ(Value(sea, slot.Text(3).c_str()), slot.Text(4));
        }
    }
    EXPECT_EQ(m_registry.BaseSea()->SeaName(), CString(L"Base"));
    EXPECT_EQ(CSeaBase::LocalsSea()->SeaName(), CString(L"Locals"));
    // The Locals values reach the Application sea.
    EXPECT_EQ(Value(CSeaBase::ApplicationSea(), L"Width"), L"800");
}

TEST_F(StartupTest, MissingBaseSeaIsCreatedAndMemoryOnlyStartTouchesNoFile) {
    fs::create_directories(Path("fresh"));
    ASSERT_TRUE(m_registry.Init(Wide("fresh/base.sea")));
    for (const char* file : {"fresh/base.sea", "fresh/Application.sea", "fresh/Preference.sea"})
        EXPECT_TRUE(fs::exists(Path(file))) << file;
    EXPECT_EQ(CSeaBase::DefaultPath(), DirWithSlash("fresh"));
    ASSERT_NE(CSeaBase::ConfigurationSea(), nullptr);
    EXPECT_FALSE(CSeaBase::ConfigurationSea()->IsFilebased());
    EXPECT_TRUE(CSeaBase::ApplicationSea()->IsFilebased());
    m_registry.Cleanup();

    // A base sea that cannot be created stops the start.
    EXPECT_FALSE(m_registry.Init(Wide("no/such/dir/base.sea")));
    EXPECT_EQ(m_registry.BaseSea(), nullptr);
    EXPECT_TRUE(CSeaBase::DefaultPath().IsEmpty());
    EXPECT_TRUE(Reported(L"Could not create sea file"));
    EXPECT_FALSE(fs::exists(Path("no")));

    // A memory-only start after it touches no file.
    fs::create_directories(Path("empty"));
    fs::current_path(Path("empty"));
    ASSERT_TRUE(m_registry.InitMemoryOnly());
    EXPECT_EQ(CSeaBase::ProjectName(), CString(L"Default"));
    EXPECT_TRUE(CSeaBase::InMemoryOnly());
    EXPECT_EQ(CSeaBase::DefaultPath(), CString(fs::current_path().wstring()) + L"/");
    for (unsigned index = 0; index < CSeaBase::FirstUserIndex; ++index)
        EXPECT_TRUE(Registry::SeaExists(index) && !m_registry[index]->IsFilebased()) << "slot " << index;
    EXPECT_TRUE(fs::is_empty(Path("empty")));
}

// The project name of a start from a base sea is the directory above the
// default directory, unless the base sea or the Locals sea name one. A
// relative base sea name counts from the current directory, as the system
// gives it (symbolic links resolved).
TEST_F(StartupTest, ProjectNameAndDefaultDirectoryOfInit) {
    for (const CaseRow& c : ReadCases("seabase-project-names.txt", 6)) {
        SCOPED_TRACE(c.Where() + " " + c.raw[0]);
        const bool relative = !c.Null(5);
        const std::string from = relative ? c.raw[5] + "/" : "", baseFile = c.raw[1], expectedDir = c.raw[3];
        WriteFile(from + baseFile, Narrow(c.Text(2)));
        fs::create_directories(Path(from + expectedDir));
        WriteFile(from + expectedDir + "/loc.sea", "ProjectName: FromLocals\n");
        fs::current_path(Path(from));
        const CString root = relative ? CString(fs::current_path().wstring()) + L"/" : DirWithSlash();
        const CString dir = expectedDir.empty() ? root : root + CString(fs::path(expectedDir).wstring()) + L"/";
        ASSERT_TRUE(m_registry.Init(relative ? CString(fs::path(baseFile).wstring()) : Wide(baseFile)));
        EXPECT_EQ(CSeaBase::DefaultPath(), dir);
        EXPECT_EQ(CSeaBase::ApplicationSea()->Filename(), dir + L"Application.sea");
        EXPECT_EQ(CSeaBase::ProjectName(), CString(c.Text(4)));
        m_registry.Cleanup();
    }
}

TEST_F(StartupTest, ReadOnlyStartFileRaisesButNeverLowersTheLevel) {
    // direct: started on the file as the application file, not as a base sea
    const std::tuple<bool, int, int> cases[] = {{false, 1, 2}, {false, 5, 5}, {true, 0, 2}, {true, 3, 3}};
    for (const auto& [direct, levelBefore, expected] : cases) {
        SCOPED_TRACE(testing::Message() << "direct " << direct << ", level " << levelBefore);
        WriteFile("ro/start.sea", "ApplicationFile: app.sea\n");
        MakeReadOnly("ro/start.sea");
        CSeaBase::SetGlobalWriteProtectionStatus(levelBefore);
        ASSERT_TRUE(direct ? m_registry.InitAppDirect(Wide("ro/start.sea")) : m_registry.Init(Wide("ro/start.sea")));
        EXPECT_EQ(CSeaBase::GlobalWriteProtectionStatus(), expected);
        EXPECT_TRUE(CSeaBase::CheckBaseSeaWriteProtection());
        m_registry.Cleanup();
        // The level outlives the registry.
        EXPECT_EQ(CSeaBase::GlobalWriteProtectionStatus(), expected);
        fs::permissions(Path("ro/start.sea"), fs::perms::owner_write, fs::perm_options::add);
    }
}

TEST_F(StartupTest, SecondStartFailsUntilCleanup) {
    WriteFile("base.sea", "ApplicationFile: app.sea\n");
    WriteFile("app.sea", "Title: first\n");
    using Start = bool (*)(CSeaBase&, const CString&);
    const struct { const char* what; Start start; } kinds[] = {
        {"Init", [](CSeaBase& r, const CString& dir) { return r.Init(dir + L"base.sea"); }},
        {"InitAppDirect", [](CSeaBase& r, const CString& dir) { return r.InitAppDirect(dir + L"app.sea"); }},
        {"InitMemoryOnly", [](CSeaBase& r, const CString&) { return r.InitMemoryOnly(); }},
    };
    const CString dir = DirWithSlash();
    for (const auto& first : kinds) {
        for (const auto& second : kinds) {
            SCOPED_TRACE(std::string(first.what) + " then " + second.what);
            ASSERT_TRUE(first.start(m_registry, dir));
            const CResourceSea* application = CSeaBase::ApplicationSea();
            const CResourceSea* base = m_registry.BaseSea();
            const CString project = CSeaBase::ProjectName();
            EXPECT_FALSE(second.start(m_registry, dir));
            EXPECT_EQ(CSeaBase::ApplicationSea(), application);
            EXPECT_EQ(m_registry.BaseSea(), base);
            EXPECT_EQ(CSeaBase::ProjectName(), project);
            m_registry.Cleanup();
            EXPECT_TRUE(second.start(m_registry, dir));
            m_registry.Cleanup();
        }
    }
}

TEST_F(StartupTest, CleanupKeepsWhatMustSurvive) {
    WriteFile("base.sea", "LocalsFile: sub/locals.sea 0\nLocalsRegKey: Section\n");
    WriteFile("sub/locals.sea", "Width: 1\n");
    ASSERT_TRUE(m_registry.Init(Wide("base.sea")));
    CSeaBase::SetGlobalWriteProtectionStatus(3);
    CSeaBase::SetSyncLocals(true);
    CResourceSea* user = m_registry.CreateNewSea(L"User", nullptr, nullptr, false);
    ASSERT_NE(user, nullptr);

    m_registry.Cleanup();
    for (unsigned index = 0; index < CSeaBase::SlotCount; ++index)
        EXPECT_TRUE(!Registry::SeaExists(index) && Registry::SeaName(index).IsEmpty()) << "slot " << index;
    EXPECT_EQ(CSeaBase::ApplicationSea(), nullptr);
    EXPECT_EQ(m_registry.BaseSea(), nullptr);
    EXPECT_FALSE(CSeaBase::SeaExists(L"User"));
    EXPECT_TRUE(CSeaBase::ProjectName().IsEmpty());
    EXPECT_TRUE(CSeaBase::DefaultPath().IsEmpty());
    EXPECT_EQ(CSeaBase::DefaultLocalsPath(), DirWithSlash("sub"));
    EXPECT_EQ(CSeaBase::GlobalWriteProtectionStatus(), 3);
    EXPECT_TRUE(CSeaBase::GetSyncLocals());

    // The section name carries over: a start whose base sea names none still reads it.
    m_app->WriteProfileString(L"Section", L"Carried", L"yes");
    CSeaBase::SetSyncLocals(false);
    ASSERT_TRUE(m_registry.InitMemoryOnly());
    EXPECT_EQ(Value(CSeaBase::ApplicationSea(), L"Carried"), L"yes");
    m_registry.Cleanup();
    m_registry.Cleanup();  // twice is harmless
    EXPECT_EQ(CSeaBase::LocalsSea()->NrEntries(), 0u) << "LocalsSea() creates it afresh";
}

// A standard sea named by the word none ("$None", "$Nil", spelt so) or by a
// file that is missing stays in memory; the missing file is reported, and
// neither is created.
TEST_F(StartupTest, StandardSeaWithoutItsFileStaysInMemory) {
    WriteFile("conf/modules.sea", "LoadDll: one\n");
    for (const CaseRow& c : ReadCases("seabase-standard-files.txt", 2)) {
        SCOPED_TRACE(c.Where() + " " + c.raw[0]);
        const std::string file = c.raw[0].substr(c.raw[0].find(": ") + 2);
        const bool filebased = c.Flag(1);
        WriteFile("base.sea", c.raw[0] + "\n");
        m_reports.clear();
        ASSERT_TRUE(m_registry.Init(Wide("base.sea")));
        const CResourceSea* sea = c.raw[0].rfind("Locals", 0) == 0 ? CSeaBase::LocalsSea() : CSeaBase::ConfigurationSea();
        ASSERT_NE(sea, nullptr);
        EXPECT_EQ(sea->IsFilebased(), filebased);
        EXPECT_EQ(fs::exists(Path(file)), filebased);
        if (filebased) {
            EXPECT_EQ(sea->Filename(), Wide(file));
        }
        EXPECT_EQ(Reported(L"Could not find sea file"), file[0] != '$' && !filebased);
        EXPECT_EQ(Value(sea, L"LoadDll"), file == "conf/modules.sea" ? L"one" : L"<missing>");
        m_registry.Cleanup();
    }
}

TEST_F(StartupTest, FailedStandardSeaStopsTheStartWithItsMessage) {
    for (const CaseRow& c : ReadCases("seabase-fatal-starts.txt", 4)) {
        SCOPED_TRACE(c.Where());
        WriteFile("base.sea", Narrow(c.Text(0)));
        WriteFile("app.sea", Narrow(c.Text(1)));
        m_reports.clear();
        EXPECT_FALSE(m_registry.Init(Wide("base.sea")));
        EXPECT_EQ(m_registry.BaseSea(), nullptr);
        EXPECT_EQ(CSeaBase::ApplicationSea(), nullptr);
        ASSERT_FALSE(m_reports.empty());
        EXPECT_EQ(m_reports.back().category, 16u);
        EXPECT_EQ(m_reports.back().style, static_cast<unsigned>(c.Number(2)));
        EXPECT_EQ(m_reports.back().text, c.Text(3));
        // A failed start leaves the registry ready for another.
        EXPECT_TRUE(m_registry.InitMemoryOnly());
        m_registry.Cleanup();
    }
}

TEST_F(StartupTest, DirectStartSplitsApplicationAndPreference) {
    WriteFile("Alpha/app.sea", "Title: Hello\n"
                               "Size: 3\n"
                               "::::: Preference\n"
                               "Color: blue\n"
                               "Title: pref-title\n");
    ASSERT_TRUE(m_registry.InitAppDirect(Wide("Alpha/app.sea")));
    const CResourceSea* application = CSeaBase::ApplicationSea();
    const CResourceSea* preference = CSeaBase::PreferenceSea();
    ASSERT_NE(preference, nullptr);
    ExpectValues(application, {{L"Title", L"Hello"}, {L"Size", L"3"}, {L"Color", L"<missing>"}});
    ExpectValues(preference, {{L"Color", L"blue"}, {L"Title", L"pref-title"}, {L"Size", L"<missing>"}});
    EXPECT_TRUE(preference->IsFileSection());
    EXPECT_EQ(preference->Filename(), Wide("Alpha/app.sea"));
    EXPECT_EQ(CSeaBase::DefaultPath(), DirWithSlash("Alpha"));
    EXPECT_EQ(CSeaBase::ProjectName(), CString(L"Alpha"));
    EXPECT_TRUE(m_registry.BaseSea()->IsEmpty());
    EXPECT_FALSE(m_registry.BaseSea()->IsFilebased());
    for (unsigned index : {2u, 3u, 4u})
        EXPECT_FALSE(m_registry[index]->IsFilebased()) << index;
    m_registry.Cleanup();
    WriteFile("Alpha/app.sea", "ProjectName: Named\n");
    ASSERT_TRUE(m_registry.InitAppDirect(Wide("Alpha/app.sea")));
    EXPECT_EQ(CSeaBase::ProjectName(), CString(L"Named")) << "the application sea names the project";
}

TEST_F(StartupTest, CheckBaseSeaWantsAnApplicationFileAndWritesNothing) {
    const struct { const char* text; bool expected; } cases[] = {
        {"ApplicationFile: app.sea\n", true}, {"Other: 1\n", false}, {"ApplicationFile: \"\"\n", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        WriteFile("check.sea", c.text);
        EXPECT_EQ(CSeaBase::CheckBaseSea(Wide("check.sea")), c.expected);
        EXPECT_EQ(ReadBytes("check.sea"), c.text);
    }
    // Neither a missing file nor a folder is a base sea, and nothing is created.
    EXPECT_FALSE(CSeaBase::CheckBaseSea(Wide("missing.sea")));
    EXPECT_FALSE(fs::exists(Path("missing.sea")));
    EXPECT_FALSE(CSeaBase::CheckBaseSea(DirWithSlash()));
    EXPECT_EQ(m_registry.BaseSea(), nullptr);
}

TEST_F(ProtectionTest, LevelMakesTheStartFileFollow) {
    StartOn("base.sea");
    const std::int64_t longAgo = 1000000000;  // 2001
    // changes: the attribute changes, so the time becomes now
    const struct { int level; bool readOnly; bool changes; } cases[] = {
        {2, true, true}, {2, true, false}, {7, true, false}, {1, false, true}, {0, false, false}, {3, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level);
        SetStatus("base.sea", longAgo);
        const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr));
        EXPECT_TRUE(CSeaBase::SetGlobalWriteProtectionStatus(c.level));
        EXPECT_EQ(CSeaBase::GlobalWriteProtectionStatus(), c.level);
        EXPECT_EQ(CFile::IsReadOnly(Wide("base.sea")), c.readOnly);
        EXPECT_EQ(CSeaBase::CheckBaseSeaWriteProtection(), c.level >= 2);
        if (c.changes) {
            EXPECT_GE(ModificationTime("base.sea"), before);
        } else {
            EXPECT_EQ(ModificationTime("base.sea"), longAgo);
        }
    }
    // A start file made read-only behind the registry's back raises the level when checked.
    ASSERT_TRUE(CSeaBase::SetGlobalWriteProtectionStatus(1));
    EXPECT_FALSE(CSeaBase::CheckBaseSeaWriteProtection());
    MakeReadOnly("base.sea");
    EXPECT_EQ(CSeaBase::GlobalWriteProtectionStatus(), 1);
    EXPECT_TRUE(CSeaBase::CheckBaseSeaWriteProtection());
    EXPECT_EQ(CSeaBase::GlobalWriteProtectionStatus(), 2);
}

TEST_F(ProtectionTest, WithoutAStartFileOnlyTheLevelIsStored) {
    // start: 0: none, 1: memory-only, 2: start file deleted afterwards
    for (const int start : {0, 1, 2}) {
        SCOPED_TRACE(start);
        if (start == 1) {
            ASSERT_TRUE(m_registry.InitMemoryOnly());
        } else if (start == 2) {
            StartOn("gone.sea");
            fs::remove(Path("gone.sea"));
        }
        EXPECT_EQ(CSeaBase::SetGlobalWriteProtectionStatus(5), start == 2);
        EXPECT_EQ(CSeaBase::GlobalWriteProtectionStatus(), 5);
        EXPECT_FALSE(fs::exists(Path("gone.sea")));
        EXPECT_EQ(CSeaBase::CheckBaseSeaWriteProtection(), start == 2);
        EXPECT_EQ(m_registry.InitStatusSea(nullptr), start == 2);
        m_registry.Cleanup();
        CSeaBase::SetGlobalWriteProtectionStatus(1);
    }
}

TEST_F(ProtectionTest, StatusSeaReadsAndWritesItsFileAndNeverAnotherOne) {
    WriteFile("base.sea", "LocalsFile: loc/locals.sea\n");
    WriteFile("loc/locals.sea", "");
    WriteFile("loc/Status.sea", "Step: 1\nOther: a\n");
    ASSERT_TRUE(m_registry.Init(Wide("base.sea")));
    CResourceSea* status = CSeaBase::StatusSea();
    EXPECT_FALSE(status->IsFilebased());

    ASSERT_TRUE(m_registry.InitStatusSea(nullptr));
    EXPECT_EQ(status->Filename(), Wide("loc/Status.sea"));
    EXPECT_EQ(Value(status, L"Step"), L"1");

    status->LookupSetString(L"Step", L"2");
    CSeaBase::UpdateStatusSea(lookup::remove);
    EXPECT_EQ(FileValue(Wide("loc/Status.sea"), L"Step"), L"1");
    CSeaBase::UpdateStatusSea(lookup::write);
    EXPECT_EQ(FileValue(Wide("loc/Status.sea"), L"Step"), L"2");

    // Reading re-reads the file (what a reload keeps: SeaReading.ReloadKeepsChangesOrPurges).
    WriteFile("loc/Status.sea", "Step: 2\nOther: b\n");
    CSeaBase::UpdateStatusSea(lookup::read);
    EXPECT_EQ(Value(status, L"Other"), L"b");

    // A name is taken below the default directory. A Status file that cannot be
    // read must not leave the sea tied to the file it had before: the next write
    // would replace that file with an empty sea.
    WriteFile("state/run.sea", "Step: 4\n");
    ASSERT_TRUE(m_registry.InitStatusSea(L"state/run.sea"));
    EXPECT_EQ(CSeaBase::StatusSea()->Filename(), Wide("state/run.sea"));
    EXPECT_EQ(Value(CSeaBase::StatusSea(), L"Step"), L"4");
    m_reports.clear();
    EXPECT_TRUE(m_registry.InitStatusSea(L"missing.sea"));
    EXPECT_TRUE(Reported(L"Could not find sea file"));
    EXPECT_FALSE(CSeaBase::StatusSea()->IsFilebased());
    EXPECT_TRUE(CSeaBase::StatusSea()->IsEmpty());
    CSeaBase::UpdateStatusSea(lookup::write);
    EXPECT_EQ(ReadBytes("state/run.sea"), "Step: 4\n");
    EXPECT_FALSE(fs::exists(Path("missing.sea")));
}

TEST_F(LocalsTest, SectionValuesBecomeEntries) {
    const std::vector<CaseRow> cases = ReadCases("seabase-locals-section.txt", 4);
    for (const CaseRow& c : cases) {
        std::vector<CString> strings;
        for (const std::wstring& line : c.List(1)) strings.emplace_back(line.c_str());
        if (c.raw[0].back() == '*')
            m_app->WriteProfileMultiString(L"Locals", c.Text(0).substr(0, c.raw[0].size() - 1).c_str(), strings);
        else
            m_app->WriteProfileString(L"Locals", c.Text(0).c_str(), c.Text(1).c_str());
    }
    WriteFile("base.sea", "LocalsRegKey: Locals\n");
    ASSERT_TRUE(m_registry.Init(Wide("base.sea")));

    const CResourceSea* locals = CSeaBase::LocalsSea();
    for (const CaseRow& c : cases) {
        SCOPED_TRACE(c.Where());
        const std::wstring name = c.Text(0).substr(0, c.raw[0].find('*'));
        for (const CResourceSea* sea : {locals, static_cast<const CResourceSea*>(CSeaBase::ApplicationSea())}) {
            EXPECT_EQ(sea->IsListEntry(name.c_str()), c.Null(2));
            EXPECT_EQ(ListLines(sea, name.c_str()), c.List(3));
            if (!c.Null(2)) {
                EXPECT_EQ(Value(sea, name.c_str()), c.Text(2));
            }
        }
    }
    EXPECT_EQ(Value(locals, L"Title", 1), L"3");
    EXPECT_TRUE(m_boxes.empty());
}

// What the section gives meets entries of the same name in the Locals sea.
TEST_F(LocalsTest, SectionValuesMeetEntriesOfTheirName) {
    CSeaBase::LocalsSea()->LookupSetString(L"Plain", L"kept");
    CSeaBase::LocalsSea()->LookupSetString(L"Recent", L"old");
    m_app->WriteProfileString(L"Locals", L"Plain", L"{\nline\n}");
    m_app->WriteProfileMultiString(L"Locals", L"Recent", {CString(L"new.sea")});
    CSeaBase::SetLocalsRegistryKey(L"Locals");
    ASSERT_TRUE(m_registry.InitMemoryOnly());
    EXPECT_FALSE(CSeaBase::LocalsSea()->IsListEntry(L"Plain")) << "list text makes no ordinary entry a list";
    EXPECT_EQ(Value(CSeaBase::LocalsSea(), L"Plain"), L"kept");
    EXPECT_EQ(ListLines(CSeaBase::LocalsSea(), L"Recent"), Lines{L"new.sea"}) << "a multi-string replaces";
    m_registry.Cleanup();

    // Without a section name nothing is read.
    CSeaBase::SetLocalsRegistryKey(nullptr);
    m_app->WriteProfileString(L"Locals", L"Width", L"800");
    ASSERT_TRUE(m_registry.InitMemoryOnly());
    EXPECT_TRUE(CSeaBase::LocalsSea()->IsEmpty());
    EXPECT_FALSE(CSeaBase::ApplicationSea()->HasEntry(L"Width"));
}

TEST_F(LocalsTest, DamagedValueShowsTheMessageBoxAndEndsReading) {
    WriteFile("settings.txt", "[\"Locals\"]\n"
                              "\"Before\" = \"1\"\n"
                              "this line is damaged\n"
                              "\"After\" = \"2\"\n");
    CSeaBase::SetLocalsRegistryKey(L"Locals");
    ASSERT_TRUE(m_registry.InitMemoryOnly());
    EXPECT_EQ(Value(CSeaBase::LocalsSea(), L"Before"), L"1");
    EXPECT_FALSE(CSeaBase::LocalsSea()->HasEntry(L"After"));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxTypes[0], MB_ICONSTOP);
    EXPECT_EQ(m_boxes[0].rfind(L"Reading 'locals': error in RegEnumValue() of registry key\n", 0), 0u);
}

TEST_F(LocalsTest, LocalsFileWinsOverTheSectionAndSetsTheSyncSwitch) {
    // The second value of the LocalsFile entry: none, off, on.
    for (const std::string second : {"", " 0", " 1"}) {
        SCOPED_TRACE(second);
        const bool sync = second == " 1";
        m_app->WriteProfileString(L"Locals", L"Width", L"800");
        m_app->WriteProfileString(L"Locals", L"Height", L"600");
        WriteFile("loc/locals.sea", "Width: 1024\nDepth: 24\n");
        WriteFile("base.sea", "LocalsRegKey: Locals\nLocalsFile: loc/locals.sea" + second + "\n");
        ASSERT_TRUE(m_registry.Init(Wide("base.sea")));
        ExpectValues(CSeaBase::LocalsSea(), {{L"Width", L"1024"}, {L"Height", L"600"}, {L"Depth", L"24"}});
        EXPECT_EQ(Value(CSeaBase::ApplicationSea(), L"Width"), L"1024");
        EXPECT_EQ(CSeaBase::GetSyncLocals(), sync);
        EXPECT_EQ(Value(m_registry.BaseSea(), L"LocalsFile", 1), sync ? L"1" : L"0");
        EXPECT_EQ(CSeaBase::DefaultLocalsPath(), DirWithSlash("loc"));

        // Cleanup writes back only with the switch on.
        CSeaBase::ApplicationSea()->LookupSetString(L"Width", L"1280");
        m_registry.Cleanup();
        EXPECT_EQ(FileValue(Wide("loc/locals.sea"), L"Width"), sync ? L"1280" : L"1024");
        EXPECT_EQ(Stored(L"Width"), sync ? L"1280" : L"800");
        EXPECT_EQ(Stored(L"Depth"), sync ? L"24" : L"<missing>");
        CSeaBase::SetSyncLocals(false);
        m_app->WriteProfileString(L"Locals", nullptr, nullptr);
    }
}

TEST_F(LocalsTest, SynchronizeObeysTheSwitchUnlessForced) {
    WriteFile("base.sea", "LocalsRegKey: Locals\nLocalsFile: locals.sea 0\n");
    WriteFile("locals.sea", "Width: 1\n");
    CSeaBase::SetLocalsRegistryKey(L"Locals");
    CSeaBase::LocalsSea()->LookupSetString(L"Width", L"1");
    m_registry.SynchronizeLocals(true);
    EXPECT_EQ(Stored(L"Width"), L"<missing>") << "before a start nothing is synchronised";
    ASSERT_TRUE(m_registry.Init(Wide("base.sea")));
    CResourceSea* application = CSeaBase::ApplicationSea();
    application->LookupSetString(L"Width", L"2");
    application->LookupSetString(L"OnlyInApplication", L"x");

    m_registry.SynchronizeLocals(false);
    EXPECT_EQ(Value(CSeaBase::LocalsSea(), L"Width"), L"1");
    EXPECT_EQ(Stored(L"Width"), L"<missing>");

    m_registry.SynchronizeLocals(true);
    EXPECT_EQ(Value(CSeaBase::LocalsSea(), L"Width"), L"2");
    EXPECT_FALSE(CSeaBase::LocalsSea()->HasEntry(L"OnlyInApplication"));
    EXPECT_EQ(FileValue(Wide("locals.sea"), L"Width"), L"2");
    EXPECT_EQ(Stored(L"Width"), L"2");
    EXPECT_EQ(Stored(L"OnlyInApplication"), L"<missing>");
}

// What the writer puts into the section comes back as the same entries.
TEST_F(LocalsTest, WrittenValuesComeBackFromTheSection) {
    WriteFile("base.sea", "LocalsRegKey: Locals\nLocalsFile: locals.sea 1\n");
    WriteFile("locals.sea", "Width: 1\n"
                            "Title: \"two words\"\n"
                            "FromFile: {\n\tone\n\ttwo\n}\n"
                            "Rebuilt: {\n\told\n}\n"
                            "Gapped: {\n\tfirst\n\n\tsecond\n}\n");
    ASSERT_TRUE(m_registry.Init(Wide("base.sea")));
    // A list whose head is rebuilt has an empty value part; it must still come back as a list.
    CSeaBase::LocalsSea()->AddListLine(L"Rebuilt", L"new");
    CSeaBase::ApplicationSea()->AddListLine(L"Rebuilt", L"new");
    m_registry.Cleanup();

    // Read the section alone: no locals file this time.
    WriteFile("base.sea", "LocalsRegKey: Locals\n");
    ASSERT_TRUE(m_registry.Init(Wide("base.sea")));
    const CResourceSea* locals = CSeaBase::LocalsSea();
    ExpectValues(locals, {{L"Width", L"1"}, {L"Title", L"two words"}});
    const struct { const wchar_t* name; Lines lines; } cases[] = {
        {L"FromFile", {L"one", L"two"}}, {L"Rebuilt", {L"old", L"new"}}, {L"Gapped", {L"first", L"second"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name);
        EXPECT_TRUE(locals->IsListEntry(c.name));
        EXPECT_EQ(ListLines(locals, c.name), c.lines);
        EXPECT_EQ(Stored(c.name).front(), L'{') << "a list goes into the section with \"{\" first";
    }
}

using RegistryTest = SeaBaseTest;

TEST_F(RegistryTest, NamesAreFoundExactlyAndIndexesAreChecked) {
    // Before a start: nothing, and out-of-range indexes answer "nothing" instead of reading past the table.
    EXPECT_EQ(CSeaBase::PreferenceSea(), nullptr);
    EXPECT_TRUE(m_registry.SeaFileName(0).IsEmpty());
    EXPECT_FALSE(Registry::SeaExists(CSeaBase::SlotCount));
    EXPECT_EQ(m_registry[CSeaBase::SlotCount + 5], nullptr);
    EXPECT_TRUE(Registry::SeaName(1000).IsEmpty());
    EXPECT_EQ(Registry::SeaIndex(nullptr), CSeaBase::NoneIndex);

    ASSERT_TRUE(m_registry.InitMemoryOnly());
    const struct { const wchar_t* name; unsigned index; } cases[] = {
        {L"Messages", 2}, {L"Status", 4}, {L"application", CSeaBase::NoneIndex},
        {L"Application ", CSeaBase::NoneIndex}, {L"Locals", CSeaBase::NoneIndex}, {L"Base", CSeaBase::NoneIndex},
        {L"", CSeaBase::NoneIndex},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name);
        EXPECT_EQ(Registry::SeaIndex(c.name), c.index);
        EXPECT_EQ(CSeaBase::SeaExists(c.name), c.index != CSeaBase::NoneIndex);
        EXPECT_EQ(m_registry[c.name], c.index == CSeaBase::NoneIndex ? nullptr : m_registry[c.index]);
    }
    EXPECT_EQ(m_registry[L"Messages"], CSeaBase::MessagesSea());
}

// A sea made before the start keeps its place; the start takes the standard slots.
TEST_F(RegistryTest, UserSeasGoIntoTheLowestFreeUserSlot) {
    CResourceSea* early = m_registry.CreateNewSea(L"Early", nullptr, nullptr, false);
    early->LookupSetString(L"Kept", L"yes");
    EXPECT_EQ(Registry::SeaIndex(L"Early"), CSeaBase::FirstUserIndex);
    ASSERT_TRUE(m_registry.InitMemoryOnly());
    EXPECT_EQ(m_registry[L"Early"], early);
    EXPECT_EQ(Value(early, L"Kept"), L"yes");
    EXPECT_EQ(Registry::SeaName(0), CString(L"Application"));
    WriteFile("user/one.sea", "Value: 1\n");
    CResourceSea* one = m_registry.CreateNewSea(L"One", L"one.sea", DirWithSlash("user"), false);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(Registry::SeaIndex(L"One"), 6u);
    EXPECT_EQ(one->SeaName(), CString(L"One"));
    EXPECT_EQ(one->Filename(), Wide("user/one.sea"));
    EXPECT_EQ(Value(one, L"Value"), L"1");

    EXPECT_FALSE(m_registry.GetOrCreateSea(L"Two", nullptr, nullptr, false)->IsFilebased());
    EXPECT_FALSE(m_registry.CreateNewSea(L"Three", L"", nullptr, false)->IsFilebased());
    EXPECT_EQ(Registry::SeaIndex(L"Two"), 7u);
    EXPECT_EQ(Registry::SeaIndex(L"Three"), 8u);

    // A known name returns its sea; the file given now is not read.
    WriteFile("user/other.sea", "Value: other\n");
    EXPECT_EQ(m_registry.CreateNewSea(L"One", L"other.sea", DirWithSlash("user"), false), one);
    EXPECT_EQ(Value(one, L"Value"), L"1");
    // Asked to, it re-reads its own file (what a reload keeps: SeaReading.ReloadKeepsChangesOrPurges).
    WriteFile("user/one.sea", "Value: 2\n");
    EXPECT_EQ(m_registry.CreateNewSea(L"One", nullptr, nullptr, true), one);
    EXPECT_EQ(Value(one, L"Value"), L"2");
    // Standard names are found like any other.
    EXPECT_EQ(m_registry.CreateNewSea(L"Messages", L"x.sea", nullptr, false), CSeaBase::MessagesSea());
    EXPECT_FALSE(fs::exists(Path("x.sea")));
}

TEST_F(RegistryTest, FailedCreationAndAFullRegistryRegisterNothing) {
    ASSERT_TRUE(m_registry.InitMemoryOnly());
    try {
        m_registry.CreateNewSea(L"Broken", L"no/such/dir/broken.sea", DirWithSlash(), false);
        FAIL() << "no exception";
    } catch (const CResourceSeaException& error) {
        EXPECT_EQ(error.m_code, 0u);
        EXPECT_EQ(error.m_message, CString(L"CSeaBase::CreateNewSea() failed for sea 'Broken', file ") +
                                       Wide("no/such/dir/broken.sea") + L".");
    }
    EXPECT_FALSE(CSeaBase::SeaExists(L"Broken"));
    EXPECT_FALSE(Registry::SeaExists(5u));
    EXPECT_THROW(m_registry.CreateNewSea(nullptr, nullptr, nullptr, false), CResourceSeaException);
    EXPECT_THROW(m_registry.CreateNewSea(L"", nullptr, nullptr, false), CResourceSeaException);

    // The none slot is never filled: a full registry refuses new names instead of
    // handing out another module's sea under them.
    const unsigned userSlots = CSeaBase::NoneIndex - CSeaBase::FirstUserIndex;
    for (unsigned i = 0; i < userSlots; ++i)
        m_registry.CreateNewSea((L"User" + std::to_wstring(i)).c_str(), nullptr, nullptr, false);
    EXPECT_EQ(Registry::SeaIndex(L"User103"), CSeaBase::NoneIndex - 1);

    EXPECT_THROW(m_registry.CreateNewSea(L"OneTooMany", nullptr, nullptr, false), CResourceSeaException);
    EXPECT_FALSE(Registry::SeaExists(CSeaBase::NoneIndex));
    EXPECT_EQ(m_registry[L"Unknown"], nullptr);
    EXPECT_FALSE(CSeaBase::SeaExists(L"OneTooMany"));
    // Known names still work.
    EXPECT_EQ(Registry::SeaIndex(L"User0"), CSeaBase::FirstUserIndex);
    EXPECT_NE(m_registry.CreateNewSea(L"User7", nullptr, nullptr, false), nullptr);
}

TEST_F(RegistryTest, SeaFileNameFollowsTheBaseSea) {
    WriteFile("base.sea", "ConfigurationFile: $Nil\n"
                          "MessagesFile: texts/messages.sea\n"
                          "MessagesPath: @/elsewhere/\n");
    ASSERT_TRUE(m_registry.Init(Wide("base.sea")));

    EXPECT_EQ(m_registry.SeaFileName(0), DirWithSlash() + L"Application.sea");
    EXPECT_EQ(m_registry.SeaFileName(2), DirWithSlash("elsewhere") + L"texts/messages.sea");
    EXPECT_EQ(m_registry.SeaFileName(4), DirWithSlash() + L"Status.sea");
    EXPECT_TRUE(m_registry.SeaFileName(50).IsEmpty());
    EXPECT_FALSE(m_registry.BaseSea()->HasEntry(L"File"));
    // A missing File entry is added to the base sea with its default.
    ExpectValues(m_registry.BaseSea(), {{L"ApplicationFile", L"Application.sea"}, {L"StatusFile", L"Status.sea"}});
}

class FilenameTest : public SeaBaseTest {
protected:
    void SetUp() override {
        SeaBaseTest::SetUp();
        WriteFile("Proj/base.sea", "ApplicationFile: $Nil\nPreferenceFile: $Nil\n");
        ASSERT_TRUE(m_registry.Init(Wide("Proj/base.sea")));
        m_proj = DirWithSlash("Proj");
    }
    CResourceSea* App() const { return CSeaBase::ApplicationSea(); }
    // A case's text with a leading "@" standing for the default directory.
    CString Proj(const std::wstring& text) const {
        return text.rfind(L'@', 0) == 0 ? m_proj + text.substr(1).c_str() : CString(text);
    }
    CString m_proj;
};

TEST_F(FilenameTest, LookupStoresThePathOnlyWhenItDiffersFromTheDefault) {
    // given name|the Path entry afterwards ("@": the default directory)
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"@out.txt", L"<missing>"}, {L"/Other/out.txt", L"/Other/"}};
    for (const auto& [name, storedPath] : cases) {
        SCOPED_TRACE(testing::Message() << name);
        App()->Delete(L"ReportFile");
        App()->Delete(L"ReportPath");
        const CString given = Proj(name);
        CString buffer = given;
        EXPECT_TRUE(m_registry.LookupFilename(lookup::read, L"Report", nullptr, buffer));
        EXPECT_EQ(buffer, given);
        EXPECT_EQ(Value(App(), L"ReportFile"), L"out.txt");
        EXPECT_EQ(Value(App(), L"ReportPath"), storedPath);
        CString read;
        EXPECT_TRUE(m_registry.ReadFilename(L"Report", nullptr, read));
        EXPECT_EQ(read, given);
    }
}

TEST_F(FilenameTest, ReadingByMode) {
    const std::pair<const wchar_t*, const wchar_t*> entries[] = {
        {L"DocFile", L"doc.txt"}, {L"DocPath", L"/Docs/"}, {L"AbsFile", L"/Fixed/abs.txt"},
        {L"AbsPath", L"/Ignored/"}, {L"SharedDir", L"/Shared/"}, {L"DataFile", L"data.bin"}};
    for (const auto& [name, value] : entries)
        App()->LookupSetString(name, value);
    for (const CaseRow& c : ReadCases("seabase-filename-reads.txt", 5)) {
        SCOPED_TRACE(c.Where());
        CString buffer = L"untouched";
        const int mode = c.Flag(0) ? lookup::readExisting : 0;
        const std::wstring name = c.Text(1), altKey = c.Text(2);
        EXPECT_EQ(m_registry.LookupFilename(mode, name.c_str(), c.Null(2) ? nullptr : altKey.c_str(), buffer), c.Flag(3));
        EXPECT_EQ(buffer, Proj(c.Text(4)));
    }
    EXPECT_FALSE(App()->HasEntry(L"UnknownFile"));
    EXPECT_EQ(Value(App(), L"Unknown0File"), L"untouched");  // stored as the default
}

TEST_F(FilenameTest, WritingMovesThePathEntryButNeverRemovesIt) {
    // One after the other; "@" as above.
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"/A/one.txt", L"/A/"}, {L"/A/two.txt", L"/A/"}, {L"@three.txt", L"@"}, {L"four.txt", L"@"}};
    for (const auto& [given, storedPath] : cases) {
        SCOPED_TRACE(testing::Message() << given);
        CString buffer = Proj(given);
        EXPECT_TRUE(m_registry.LookupFilename(lookup::write, L"Out", nullptr, buffer));
        EXPECT_EQ(Value(App(), L"OutFile"), CString(FileIO::getFileName(Proj(given))).GetString());
        EXPECT_EQ(Value(App(), L"OutPath"), Proj(storedPath).GetString());
    }
}

} // namespace
} // namespace seabasetest
