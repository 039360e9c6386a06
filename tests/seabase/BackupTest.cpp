// Saving the Application and Preference seas under new names, loading them
// from other files, printing a sea, and what these operations do before a
// start. Backing a project's sea files up and restoring a project from a
// backup: the directory layout, byte-exact copies, protected files, files from
// outside the default directory, hostile backups, links and special files, and
// the registry after a restore.
#include "seabase/SeaBaseTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <future>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace seabasetest {
namespace {

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
    for (unsigned index : {CSeaBase::FirstUserIndex, CSeaBase::NoneIndex, 500u})
        EXPECT_FALSE(CSeaBase::PrWinDump(index)) << index;
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
        EXPECT_FALSE(c.run()) << c.name;
        EXPECT_EQ(CSeaBase::ApplicationSea(), nullptr) << c.name;
    }
    EXPECT_EQ(name, CString(L"/x/y.txt"));
    EXPECT_FALSE(fs::exists(Path("s.sea")));
    EXPECT_FALSE(fs::exists(Path("backup")));
    EXPECT_EQ(ReadBytes("base.sea"), "ApplicationFile: app.sea\n");
}

class BackupTest : public SeaBaseTest {
protected:
    // The project's files and their bytes, relative to its folder.
    const std::map<std::string, std::string> m_project = [] {
        std::map<std::string, std::string> files;
        for (const CaseRow& row : ReadCases("seabase-backup-project.txt", 2)) files[row.raw[0]] = Narrow(row.Text(1));
        return files;
    }();

    void WriteProject(const std::string& folder, const std::string& baseExtra = "") {
        for (const auto& [file, text] : m_project)
            WriteFile(folder + "/" + file, file == "base.sea" ? text + baseExtra : text);
    }
    void StartProject(const std::string& baseExtra = "") {
        WriteProject("proj", baseExtra);
        ASSERT_TRUE(m_registry.Init(Wide("proj/base.sea")));
    }
    // Every file below a folder, relative to it.
    std::set<std::string> FilesBelow(const std::string& folder) const {
        std::set<std::string> files;
        std::error_code ignored;
        for (const auto& item : fs::recursive_directory_iterator(Path(folder), ignored))
            if (item.is_regular_file())
                files.insert(fs::relative(item.path(), Path(folder)).string());
        return files;
    }
    void ExpectSameFiles(const std::string& expected, const std::string& actual) const {
        EXPECT_EQ(FilesBelow(expected), FilesBelow(actual));
        for (const std::string& file : FilesBelow(expected))
            EXPECT_EQ(ReadBytes(actual + "/" + file), ReadBytes(expected + "/" + file)) << file;
    }
    void ExpectStartedOn(const std::string& folder) const {
        ASSERT_NE(m_registry.BaseSea(), nullptr);
        EXPECT_EQ(m_registry.BaseSea()->Filename(), Wide(folder + "/base.sea"));
        EXPECT_EQ(CSeaBase::DefaultPath(), DirWithSlash(folder));
        ASSERT_NE(CSeaBase::ApplicationSea(), nullptr);
        EXPECT_EQ(CSeaBase::ApplicationSea()->Filename(), Wide(folder + "/app.sea"));
        EXPECT_EQ(CSeaBase::PreferenceSea()->Filename(), Wide(folder + "/prefs/pref.sea"));
        EXPECT_EQ(Value(CSeaBase::PreferenceSea(), L"Color"), L"blue");
    }
    // Bytes, access and modification time of every file below a folder. Each access time is
    // set back to 2001 after the look, so that a later read, by anyone, moves it again.
    using Seen = std::map<std::string, std::tuple<std::string, std::int64_t, std::int64_t>>;
    Seen Look(const std::string& folder) const {
        Seen seen;
        for (const std::string& file : FilesBelow(folder)) {
            const std::string path = Path(folder + "/" + file).string();
            struct stat st {};
            EXPECT_EQ(::stat(path.c_str(), &st), 0);
            seen[file] = {ReadBytes(folder + "/" + file), st.st_atime, st.st_mtime};
            const struct timespec times[2] = {{1000000000, 0}, {0, UTIME_OMIT}};
            EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        }
        return seen;
    }
};

// The directories as the caller names them may be links: those are followed.
// A relative base sea name counts from the current directory, not from the
// default directory it gives.
TEST_F(BackupTest, BackupThenRestoreGivesTheSameFiles) {
    WriteProject("proj");
    fs::current_path(m_dir);
    ASSERT_TRUE(m_registry.Init(L"proj/base.sea"));
    ASSERT_EQ(CSeaBase::DefaultPath(), DirWithSlash("proj"));
    fs::create_directories(Path("real/backup"));
    fs::create_directory_symlink(Path("real/backup"), Path("backup"));
    ASSERT_TRUE(m_registry.Backup(L"backup"));
    ExpectSameFiles("proj", "real/backup");

    fs::create_directories(Path("real/restored"));
    fs::create_directory_symlink(Path("real/restored"), Path("restored"));
    ASSERT_TRUE(m_registry.Restore(Wide("backup/base.sea"), Wide("restored")));
    ExpectSameFiles("proj", "real/restored");
    ExpectSameFiles("proj", "backup");  // a restore reads the backup only
    ExpectStartedOn("restored");
    EXPECT_EQ(CSeaBase::LocalsSea()->Filename(), Wide("restored/local/locals.sea"));

    // Before a start a restore needs a target.
    m_registry.Cleanup();
    EXPECT_FALSE(m_registry.Restore(Wide("backup/base.sea"), nullptr));
    ASSERT_TRUE(m_registry.Restore(Wide("backup/base.sea"), Wide("again")));
    ExpectSameFiles("backup", "again");
    ExpectStartedOn("again");
}

TEST_F(BackupTest, BackupTwiceReplacesFilesAlsoProtectedOnes) {
    StartProject();
    ASSERT_TRUE(m_registry.Backup(Wide("backup")));
    // The base sea is protected in the project; a sea file in the backup was protected by hand.
    ASSERT_TRUE(CSeaBase::SetGlobalWriteProtectionStatus(2));
    MakeReadOnly("backup/app.sea");
    CSeaBase::ApplicationSea()->LookupSetString(L"Title", L"Second");
    ASSERT_TRUE(CSeaBase::ApplicationSea()->UpdateIfPossible());

    ASSERT_TRUE(m_registry.Backup(Wide("backup")));
    ExpectSameFiles("proj", "backup");
    EXPECT_TRUE(CFile::IsReadOnly(Wide("backup/base.sea")));  // a copy keeps the source's protection
    EXPECT_FALSE(CFile::IsReadOnly(Wide("backup/app.sea")));
    EXPECT_EQ(FileValue(Wide("backup/app.sea"), L"Title"), L"Second");
    // The protected base sea of the backup is replaced in its turn.
    ASSERT_TRUE(m_registry.Backup(Wide("backup")));
    EXPECT_TRUE(CFile::IsReadOnly(Wide("backup/base.sea")));

    // Backing up into the project itself copies nothing and leaves the protection.
    ASSERT_TRUE(m_registry.Backup(Wide("proj")));
    EXPECT_TRUE(CFile::IsReadOnly(Wide("proj/base.sea")));
    ExpectSameFiles("proj", "backup");
}

TEST_F(BackupTest, StartWithoutBaseFileBacksUpTheOtherFiles) {
    WriteFile("direct/app.sea", "Title: D\n::::: Preference\nColor: red\n");
    ASSERT_TRUE(m_registry.InitAppDirect(Wide("direct/app.sea")));
    EXPECT_TRUE(m_registry.Backup(Wide("backup-direct")));
    ExpectSameFiles("direct", "backup-direct");
    m_registry.Cleanup();
    ASSERT_TRUE(m_registry.InitMemoryOnly());
    EXPECT_TRUE(m_registry.Backup(Wide("backup-memory")));
    EXPECT_TRUE(FilesBelow("backup-memory").empty());
}

TEST_F(BackupTest, FileOutsideTheDefaultDirectoryGoesBelowExternal) {
    const std::string data = Path("data").string();
    WriteFile("data/app.sea", m_project.at("app.sea"));
    StartProject("ApplicationPath: " + data + "/\r\n");
    ASSERT_EQ(CSeaBase::ApplicationSea()->Filename(), Wide("data/app.sea"));
    ASSERT_TRUE(m_registry.Backup(Wide("backup")));
    const std::string external = "backup/external" + data + "/app.sea";
    EXPECT_EQ(ReadBytes(external), m_project.at("app.sea"));
    EXPECT_FALSE(fs::exists(Path("backup/app.sea")));
    EXPECT_EQ(FilesBelow("data"), std::set<std::string>{"app.sea"});

    // The file's own place lies outside this target: the backup is refused, nothing changes.
    EXPECT_FALSE(m_registry.Restore(Wide("backup/base.sea"), Wide("restored")));
    EXPECT_FALSE(fs::exists(Path("restored")));
    EXPECT_EQ(m_registry.BaseSea()->Filename(), Wide("proj/base.sea"));

    // Inside the target it is put back where it came from.
    WriteFile("data/app.sea", "Title: changed\nPreferenceFile: prefs/pref.sea\n");
    ASSERT_TRUE(m_registry.Restore(Wide("backup/base.sea"), Wide("")));
    EXPECT_EQ(ReadBytes("data/app.sea"), m_project.at("app.sea"));
    EXPECT_EQ(m_registry.BaseSea()->Filename(), Wide("base.sea"));
    EXPECT_EQ(CSeaBase::ApplicationSea()->Filename(), Wide("data/app.sea"));
    EXPECT_EQ(ReadBytes("prefs/pref.sea"), m_project.at("prefs/pref.sea"));
}

// A file below "external/" of the project and a file from outside would share one place.
TEST_F(BackupTest, TwoFilesForOnePlaceFail) {
    const std::string data = Path("data").string();
    WriteFile("data/app.sea", "Title: outside\n");
    WriteFile("proj/external" + data + "/app.sea", "Title: inside\n");
    WriteProject("proj");
    WriteFile("proj/base.sea",
              "ApplicationFile: app.sea\nApplicationPath: @/data/\nConfigurationFile: external@/data/app.sea\n");
    ASSERT_TRUE(m_registry.Init(Wide("proj/base.sea")));
    EXPECT_FALSE(m_registry.Backup(Wide("backup")));
    EXPECT_EQ(ReadBytes("backup/external" + data + "/app.sea"), "Title: outside\n");
}

// Without a target the project itself is restored. With "DefaultSeaPath" the backup's base
// sea still names the project: the files come from the backup all the same, not from the
// project onto itself.
TEST_F(BackupTest, RestoreWithoutTargetRestoresTheProjectItself) {
    for (const bool defaultSeaPath : {false, true}) {
        SCOPED_TRACE(defaultSeaPath);
        m_registry.Cleanup();
        for (const char* folder : {"proj", "backup", "restored"}) fs::remove_all(Path(folder));
        StartProject(defaultSeaPath ? "DefaultSeaPath: " + Path("proj").string() + "\r\n" : "");
        ASSERT_TRUE(m_registry.Backup(Wide("backup")));
        CSeaBase::ApplicationSea()->LookupSetString(L"Title", L"Changed");
        ASSERT_TRUE(CSeaBase::ApplicationSea()->UpdateIfPossible());
        fs::remove(Path("proj/prefs/pref.sea"));

        ASSERT_TRUE(m_registry.Restore(Wide("backup/base.sea"), nullptr));
        ExpectSameFiles("backup", "proj");
        ExpectStartedOn("proj");
        EXPECT_EQ(Value(CSeaBase::ApplicationSea(), L"Title"), L"Caf\u00e9");
        // Elsewhere the restored project would still run on the original files: refused.
        EXPECT_EQ(m_registry.Restore(Wide("backup/base.sea"), Wide("restored")), !defaultSeaPath);
        EXPECT_EQ(fs::exists(Path("restored")), !defaultSeaPath);
    }
}

TEST_F(BackupTest, FailedRestore) {
    StartProject();
    ASSERT_TRUE(m_registry.Backup(Wide("backup")));
    WriteFile("blocker", "a file where a folder should be\n");
    fs::create_directories(Path("clash/app.sea"));  // a folder where a sea file goes
    for (const CaseRow& c : ReadCases("seabase-failed-restores.txt", 3)) {
        SCOPED_TRACE(c.Where());
        EXPECT_FALSE(m_registry.Restore(Wide(c.raw[0]), Wide(c.raw[1])));
        if (c.Flag(2)) {
            EXPECT_EQ(CSeaBase::ApplicationSea(), nullptr);
            EXPECT_EQ(m_registry.BaseSea(), nullptr);
            EXPECT_EQ(ReadBytes("clash/base.sea"), m_project.at("base.sea"));  // copied before, it stays
        } else {
            ExpectStartedOn("proj");
        }
    }
    EXPECT_FALSE(fs::exists(Path("restored")));
    ExpectSameFiles("proj", "backup");
}

// Stopping the registry that runs on the backup would write the backup's
// Locals sea back when the base sea asks for write-back.
TEST_F(BackupTest, RestoreNeverWritesTheBackup) {
    WriteProject("proj");
    WriteFile("proj/base.sea", "ApplicationFile: app.sea\nLocalsFile: local/locals.sea 1\n");
    ASSERT_TRUE(m_registry.Init(Wide("proj/base.sea")));
    ASSERT_TRUE(CSeaBase::GetSyncLocals());
    ASSERT_TRUE(m_registry.Backup(Wide("backup")));
    SetStatus("backup/local/locals.sea", 1000000000);  // 2001

    ASSERT_TRUE(m_registry.Restore(Wide("backup/base.sea"), Wide("restored")));
    EXPECT_EQ(ModificationTime("backup/local/locals.sea"), 1000000000);
    EXPECT_EQ(ReadBytes("backup/local/locals.sea"), m_project.at("local/locals.sea"));
    EXPECT_TRUE(CSeaBase::GetSyncLocals());
}

// Base seas and application files of a backup that name places outside the
// backup and the target. The restore refuses them before anything changes.
TEST_F(BackupTest, HostileBackupCannotWriteOutside) {
    StartProject();
    WriteFile("evil/keep.sea", "Kept: 1\n");
    for (const CaseRow& c : ReadCases("seabase-hostile-backups.txt", 2)) {
        SCOPED_TRACE(c.Where());
        const std::string application = Narrow(c.Text(1));
        fs::remove_all(Path("hostile"));
        WriteFile("hostile/base.sea", Narrow(c.Text(0)));
        const bool inLocals = application.rfind("locals:", 0) == 0;
        WriteFile("hostile/app.sea", inLocals ? "Title: x\n" : "Title: x\n" + application);
        if (inLocals)
            WriteFile("hostile/locals.sea", application.substr(7));
        m_reports.clear();

        EXPECT_FALSE(m_registry.Restore(Wide("hostile/base.sea"), Wide("target")));
        EXPECT_TRUE(Reported(L"outside the target directory"));
        EXPECT_EQ(FilesBelow("evil"), std::set<std::string>{"keep.sea"});
        EXPECT_EQ(ReadBytes("evil/keep.sea"), "Kept: 1\n");
        EXPECT_FALSE(fs::exists(Path("target")));
        ExpectStartedOn("proj");
    }
}

// Links and special files below the backup directory or the target directory:
// refused before anything changes, with a report that names them; nothing
// outside is read or written, a FIFO blocks nothing, the entry itself stays,
// and once it is gone the same backup or restore goes through.
TEST_F(BackupTest, LinksAndSpecialFilesBelowTheDirectoriesAreRefused) {
    WriteProject("proj");
    WriteFile("outside/secret.sea", "Title: secret\nColor: secret\n");
    WriteFile("outside/prefs/pref.sea", "Color: secret\n");
    WriteFile("outside/base.sea", m_project.at("base.sea"));
    // A run that blocks on a FIFO is freed by opening its other end, and fails.
    const auto run = [this](bool backup, const std::string& place) {
        auto done = std::async(std::launch::async, [this, backup] {
            return backup ? m_registry.Backup(Wide("backup")) : m_registry.Restore(Wide("backup/base.sea"), Wide("target"));
        });
        if (done.wait_for(std::chrono::seconds(20)) == std::future_status::timeout) {
            ADD_FAILURE() << "blocked on " << place;
            const int fd = ::open(Path(place).c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
        return done.get();
    };
    for (const CaseRow& row : ReadCases("seabase-links.txt", 5)) {
        SCOPED_TRACE(row.Where() + " " + row.raw[0]);
        const struct { bool backup; std::string place, link; bool refused; } c = {
            row.raw[1] == "backup", row.raw[2], row.Null(3) ? "" : Path(row.raw[3]).string(), row.Flag(4)};
        m_registry.Cleanup();
        fs::remove_all(Path("backup"));
        fs::remove_all(Path("target"));
        ASSERT_TRUE(m_registry.Init(Wide("proj/base.sea")));
        ASSERT_TRUE(m_registry.Backup(Wide("backup")));
        fs::remove_all(Path(c.place));
        fs::create_directories(Path(c.place).parent_path());
        if (c.link.empty())
            ASSERT_EQ(::mkfifo(Path(c.place).c_str(), 0644), 0);
        else if (fs::is_directory(c.link))
            fs::create_directory_symlink(c.link, Path(c.place));
        else
            fs::create_symlink(c.link, Path(c.place));
        Look("outside");
        const Seen outsideBefore = Look("outside");
        m_reports.clear();

        EXPECT_EQ(run(c.backup, c.place), !c.refused);
        EXPECT_EQ(Look("outside"), outsideBefore);
        EXPECT_EQ(fs::symlink_status(Path(c.place)).type(), c.link.empty() ? fs::file_type::fifo : fs::file_type::symlink);
        if (c.refused) {
            EXPECT_TRUE(Reported(Path(c.place).wstring() + (c.link.empty() ? L" is not a regular file" : L" is a symbolic link")));
            ExpectStartedOn("proj");
            EXPECT_FALSE(fs::exists(Path("target/base.sea")));
            fs::remove(Path(c.place));
            if (!c.backup && c.place.rfind("backup/", 0) == 0)
                fs::copy(Path("proj/" + c.place.substr(7)), Path(c.place), fs::copy_options::recursive);
            EXPECT_TRUE(run(c.backup, c.place));
            EXPECT_EQ(Look("outside"), outsideBefore);
        }
        ExpectSameFiles("proj", c.backup ? "backup" : "target");
    }
}

} // namespace
} // namespace seabasetest
