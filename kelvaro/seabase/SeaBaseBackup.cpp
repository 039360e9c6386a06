// CSeaBase: the operations on a started project as a whole - saving the
// Application and Preference seas under new names, loading them from other
// files, copying the project's sea files into a backup and restoring a project
// from one, and printing a sea.
//
// Backup layout: a sea file keeps below the backup directory the place it has
// below the project's default directory. A file that lies outside the default
// directory is kept at "external/" followed by its absolute path, so a backup
// never writes outside its directory; Restore puts such a file back at its own
// place only when that lies inside the target directory. After a direct or a
// memory-only start the base sea has no file, and a backup leaves it out.
//
// Links: the backup directory and the target directory may themselves be
// symbolic links, as the caller names them, and so may the project's own sea
// files that a backup reads. Below the backup directory and below the target
// directory nothing is followed: a link met there, the backup's base sea
// included, is refused with a report naming it, and so is a FIFO, device or
// socket, which a read could block on.
#include "kelvaro/seabase/SeaBase.h"

#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/File.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/platform/SafePath.h"
#include "kelvaro/sea/ResourceSea.h"

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace {

// The sub-directory of a backup that holds the files from outside the default directory.
constexpr wchar_t ExternalFolder[] = L"external";

// Normalised absolute form of a path. A relative file name of a sea counts
// from the current directory: that is where the file system opened it.
CString Absolute(const CString& path)
{
    CString absolute = path;
    FileIO::makePathAbsolute(absolute, nullptr);
    return absolute;
}

// `relative` := `path` relative to `directory`; false when it does not lie strictly below it.
bool RelativeTo(const CString& path, const CString& directory, CString& relative)
{
    relative = path;
    return FileIO::makePathRelative(relative, directory);
}

bool IsBelow(const CString& path, const CString& directory)
{
    CString relative;
    return RelativeTo(path, directory, relative);
}

// `relative` (never holding "..", as makePathRelative gives it) placed below `root`.
CString PlaceBelow(const CString& root, const CString& relative)
{
    CString place = relative;
    FileIO::makePathAbsolute(place, root);
    return place;
}

// Where a backup rooted at `root` keeps the sea file `file` of a project
// whose default directory is `project`: at the same place, or, from outside,
// below "external/" followed by its absolute path.
CString BackupPlace(const CString& file, const CString& project, const CString& root)
{
    CString relative;
    if (RelativeTo(file, project, relative))
        return PlaceBelow(root, relative);
    return PlaceBelow(root, CString(ExternalFolder) + file);
}

// A link or a special file on the way to `file` below `root`: a copy must never go through
// one, or it would read or write outside the folder, or block on a FIFO. Ok otherwise, also
// when nothing is there yet.
SafePath::Result Obstacle(const CString& file, const CString& root)
{
    SafePath::Result found = SafePath::Inspect(file, root);
    if (found.status != SafePath::Status::Link && found.status != SafePath::Status::Special)
        return SafePath::Result();
    return found;
}

// Copies `source` over `destination`, which lies below `destinationRoot`, creating its folders;
// `source` lies below `sourceRoot`, or is one of the project's own files when that is empty.
// Nothing below either root is reached through a link. The destination is replaced by a rename,
// so a failed copy leaves the old file, and one that an earlier backup or restore left read-only
// is replaced all the same: otherwise a second run would stop half-way and leave a mixture of
// two states. A file is never copied onto itself, which would strip its protection for nothing.
bool ReplaceFile(const CString& source, const CString& sourceRoot, const CString& destination,
                 const CString& destinationRoot)
{
    if (source == destination)
        return sourceRoot.IsEmpty() ? FileIO::FileExists(source) : SafePath::Inspect(source, sourceRoot).Ok();
    const SafePath::Result copied = SafePath::CopyBelow(source, sourceRoot, destination, destinationRoot);
    if (!copied.Ok())
        PrWin::Output(PrWin::LibraryMessage, PrWin::WriteProblem, L"Unable to copy %s to %s: %s\n",
                      source.GetString(), destination.GetString(), copied.Describe().GetString());
    return copied.Ok();
}

// The copies of one backup or restore. Each destination is written from one
// source only, so two sea files that would land on the same place (a file
// below "external/" and one from outside) cannot overwrite each other.
class CopyRun {
public:
    bool Copy(const CString& source, const CString& sourceRoot, const CString& destination,
              const CString& destinationRoot)
    {
        const auto [known, inserted] = m_sources.emplace(destination.Str(), source.Str());
        if (!inserted)
            return known->second == source.Str();  // a file shared by two seas, copied already
        return ReplaceFile(source, sourceRoot, destination, destinationRoot);
    }

private:
    std::map<std::wstring, std::wstring> m_sources;
};

// The files of the given seas in copying order, absolute. Memory-only seas
// have no file and are left out.
std::vector<CString> SeaFiles(std::initializer_list<const CResourceSea*> seas)
{
    std::vector<CString> files;
    for (const CResourceSea* sea : seas) {
        if (sea != nullptr && sea->IsFilebased() && !sea->Filename().IsEmpty())
            files.push_back(Absolute(sea->Filename()));
    }
    return files;
}

} // namespace

bool CSeaBase::SaveApplicationAs(const wchar_t* applicationFile, const wchar_t* preferenceFile, bool changeDefaultPath)
{
    CResourceSea* application = ApplicationSea();
    CResourceSea* preference = PreferenceSea();
    if (application == nullptr || preference == nullptr || applicationFile == nullptr || *applicationFile == L'\0')
        return false;

    const CString appFile(applicationFile);
    const bool moveDefault = changeDefaultPath && FileIO::isAbsolutePath(appFile);
    // Empty: the Preference sea goes into the application file as its section.
    CString prefFile;
    if (preferenceFile != nullptr && *preferenceFile != L'\0') {
        prefFile = preferenceFile;
        FileIO::makePathAbsolute(prefFile, moveDefault ? FileIO::getFilePath(appFile) : g_defaultPath);
        // The application file named again: written whole, the Preference sea
        // would replace the Application lines, so it shares the file as a section.
        if (prefFile == Absolute(appFile))
            prefFile.Empty();
    }
    // Both files are looked at before either is written: a save must not stop half-way.
    if (CFile::IsReadOnly(appFile) || (!prefFile.IsEmpty() && CFile::IsReadOnly(prefFile)))
        return false;

    auto writeTo = [](CResourceSea* sea, const CString& file, bool section) {
        sea->SetFileSection(section);
        return sea->SaveAs(file);
    };

    const bool applicationSaved = writeTo(application, appFile, false);
    if (moveDefault)
        SetDefaultPathsFromFile(appFile);
    if (!prefFile.IsEmpty())
        return writeTo(preference, prefFile, false) && applicationSaved;
    // The section is appended to the application file: after a failed write
    // that is the old file, which may hold a Preference section already, and a
    // second one would shadow the new values. The Preference sea stays as it was.
    if (!applicationSaved)
        return false;
    return writeTo(preference, appFile, true);
}

bool CSeaBase::LoadApplicationAs(const wchar_t* applicationFile, const wchar_t* preferenceFile)
{
    CResourceSea* application = ApplicationSea();
    CResourceSea* preference = PreferenceSea();
    if (application == nullptr || preference == nullptr || applicationFile == nullptr || *applicationFile == L'\0')
        return false;

    const CString appFile(applicationFile);
    if (!FileIO::FileExists(appFile)) {
        application->OpenFileBase(appFile, false);  // reports the missing file; changes nothing
        return false;
    }
    if (!application->MergeFile(appFile, true))
        return false;
    if (FileIO::isAbsolutePath(appFile))
        SetDefaultPathsFromFile(appFile);

    // The section flag decides both what is read and how the sea is written
    // back. A sea tied to a file keeps its flag, or a whole preference file
    // would from now on get sections appended (which the next start never
    // reads) and a section would overwrite its application file whole. A
    // memory-only sea is tied to `file` by the merge and keeps the flag it was read with.
    auto mergePreference = [preference](const CString& file, bool section) {
        const bool wasFilebased = preference->IsFilebased();
        const bool oldSection = preference->IsFileSection();
        preference->SetFileSection(section);
        preference->MergeFile(file, true);
        if (wasFilebased)
            preference->SetFileSection(oldSection);
    };

    CString prefFile;
    if (preferenceFile != nullptr && *preferenceFile != L'\0') {
        prefFile = preferenceFile;
        FileIO::makePathAbsolute(prefFile, g_defaultPath);
        if (prefFile == Absolute(appFile))
            prefFile.Empty();  // the application file itself: its section
    }
    if (prefFile.IsEmpty())
        mergePreference(appFile, true);
    else if (FileIO::FileExists(prefFile))
        mergePreference(prefFile, false);
    else
        preference->OpenFileBase(prefFile, false);  // reports the missing file; the load stands
    return true;
}

bool CSeaBase::Backup(const wchar_t* backupDirectory)
{
    if (g_baseSea == nullptr || backupDirectory == nullptr || *backupDirectory == L'\0')
        return false;

    const CString project = Absolute(g_defaultPath);
    const CString backup = Absolute(CString(backupDirectory));
    const std::vector<CString> files = SeaFiles({g_baseSea, g_localsSea, g_sea[0], g_sea[1], g_sea[2], g_sea[3], g_sea[4]});
    // Every place is looked at before anything is written, so a refused backup changes nothing.
    for (const CString& file : files) {
        const CString place = BackupPlace(file, project, backup);
        const SafePath::Result obstacle = place == file ? SafePath::Result() : Obstacle(place, backup);
        if (!obstacle.Ok()) {
            PrWin::Output(PrWin::LibraryMessage, PrWin::WriteProblem, L"Backup into %s: %s: nothing backed up\n",
                          backup.GetString(), obstacle.Describe().GetString());
            return false;
        }
    }
    CopyRun run;
    for (const CString& file : files) {
        if (!run.Copy(file, CString(), BackupPlace(file, project, backup), backup))
            return false;
    }
    return true;
}

bool CSeaBase::Restore(const wchar_t* backupBaseFile, const wchar_t* targetDirectory)
{
    if (backupBaseFile == nullptr || *backupBaseFile == L'\0')
        return false;
    CString target = targetDirectory != nullptr ? CString(targetDirectory) : g_defaultPath;
    if (target.IsEmpty())
        return false;  // no target given and no started project to restore into
    target = Absolute(target);
    FileIO::ensureLimitedPath(target);
    const CString backupBase = Absolute(CString(backupBaseFile));
    const CString backupRoot = FileIO::getFilePath(backupBase);
    const CString restoredBase = target + FileIO::getFileName(backupBase);

    // A backup is data from elsewhere. Before anything changes, every sea file
    // that the start on the backup and the start on the restored copy would
    // open - and create when missing, or write later - must lie inside the
    // target directory; for the start on the backup, inside the backup's own
    // directory will do as well. Otherwise a base sea naming "../x.sea" or an
    // absolute path could make the restore create or overwrite files anywhere.
    // Nor may a link or a special file stand on the way to one below either
    // directory: the starts open sea files by name and would follow it. A file
    // is read here only once it has passed, so a refusal has read nothing outside.
    {
        const auto refuse = [&backupBase](const SafePath::Result& obstacle) {
            PrWin::Output(PrWin::LibraryMessage, PrWin::ReadProblem, L"Backup %s: %s: nothing restored\n",
                          backupBase.GetString(), obstacle.Describe().GetString());
            return false;
        };
        // Checked against each directory it lies in: one may lie inside the other.
        const auto admitted = [&](const CString& file, bool onBackup) {
            if (file.IsEmpty())
                return true;
            if (!IsBelow(file, target) && !(onBackup && IsBelow(file, backupRoot))) {
                PrWin::Output(PrWin::LibraryMessage, PrWin::ReadProblem,
                              L"Backup %s names the sea file %s outside the target directory %s: nothing restored\n",
                              backupBase.GetString(), file.GetString(), target.GetString());
                return false;
            }
            for (const CString& root : {target, backupRoot}) {
                const SafePath::Result obstacle = IsBelow(file, root) ? Obstacle(file, root) : SafePath::Result();
                if (!obstacle.Ok())
                    return refuse(obstacle);
            }
            return true;
        };

        if (!admitted(backupBase, true) || !admitted(restoredBase, false))
            return false;
        CResourceSea base(107);
        if (!FileIO::FileExists(backupBase) || !base.Create(backupBase, true))
            return false;
        const CString seaPath = base.LookupGetString(L"DefaultSeaPath", 0, CString());
        auto defaultDirectory = [&seaPath](const CString& fallback) {
            CString directory = seaPath.IsEmpty() ? fallback : Absolute(seaPath);
            FileIO::ensureLimitedPath(directory);
            return directory;
        };
        // The file a start gives the sea `name` as `source` describes it; empty for a memory-only sea.
        auto seaFile = [](CResourceSea& source, const wchar_t* name, const CString& directory) {
            CString file;
            CString path;
            ReadName(&source, name, file);
            if (file == L"$Nil" || file == L"$None")
                return CString();
            if (!ReadPath(&source, name, nullptr, path))
                path = directory;
            return Absolute(FileIO::isAbsolutePath(file) ? file : path + file);
        };
        auto fileIn = [&base](const wchar_t* key, const CString& directory) {
            CString file = base.LookupGetString(key, 0, CString());
            if (!file.IsEmpty())
                FileIO::makePathAbsolute(file, directory);
            return file;
        };

        // The Preference sea is described by the Application sea, into which
        // the start merges the Locals sea. The start on the backup reads them
        // where the backup's base sea puts them, the start on the restored
        // project reads the backup's copies: both are looked at, for both starts.
        const CString backupDefault = defaultDirectory(backupRoot);
        const CString applicationFile = seaFile(base, L"Application", backupDefault);
        const CString localsFile = fileIn(L"LocalsFile", backupDefault);
        auto preferenceFile = [&seaFile](const CString& application, const CString& locals, const CString& directory) {
            CResourceSea localsSea(107);  // outlives `applicationSea`, whose merged entries use its buffers
            CResourceSea applicationSea(107);
            if (FileIO::FileExists(application))
                applicationSea.Create(application, true);
            if (FileIO::FileExists(locals) && localsSea.Create(locals, true)) {
                try {
                    applicationSea.MergeContent(&localsSea);
                } catch (const CResourceSeaException&) {
                    // The start meets the same line and reports it; what merged is enough here.
                }
            }
            return seaFile(applicationSea, L"Preference", directory);
        };

        auto backupCopy = [&](const CString& file) {
            return file.IsEmpty() ? file : BackupPlace(file, backupDefault, backupRoot);
        };

        // The files the base sea names first, and the backup's copies of those
        // that give the Preference sea: they are read to find it.
        const bool configurationFromBase = !base.LookupGetString(L"ConfigurationFile", 0, CString()).IsEmpty();
        for (const bool onBackup : {true, false}) {
            const CString directory = onBackup ? backupDefault : defaultDirectory(target);
            const CString files[] = {
                seaFile(base, L"Application", directory),
                configurationFromBase ? seaFile(base, L"Configuration", directory) : fileIn(L"ConfigFile", directory),
                fileIn(L"LocalsFile", directory),
            };
            for (const CString& file : files) {
                if (!admitted(file, onBackup))
                    return false;
            }
        }
        if (!admitted(backupCopy(applicationFile), true) || !admitted(backupCopy(localsFile), true))
            return false;
        for (const bool onBackup : {true, false}) {
            const CString directory = onBackup ? backupDefault : defaultDirectory(target);
            if (!admitted(preferenceFile(applicationFile, localsFile, directory), onBackup) ||
                !admitted(preferenceFile(backupCopy(applicationFile), backupCopy(localsFile), directory), onBackup))
                return false;
        }
    }

    if (!FileIO::CreateFolder(target))
        return false;
    CopyRun run;
    if (!run.Copy(backupBase, backupRoot, restoredBase, target))
        return false;

    Cleanup();
    // The registry that runs on the backup is stopped without writing its
    // Locals sea back: a restore reads the backup, it does not rewrite it.
    const bool syncLocals = g_updateLocals;
    auto stopOnBackup = [this, syncLocals]() {
        g_updateLocals = false;
        Cleanup();
        g_updateLocals = syncLocals;
    };
    if (!Init(backupBase)) {
        g_updateLocals = syncLocals;
        return false;
    }

    // Places are measured from the backup's default directory and taken from
    // the backup's own directory: the same one, unless the base sea sets
    // "DefaultSeaPath", which may name the original project.
    const CString backupDefault = Absolute(g_defaultPath);
    for (const CString& file : SeaFiles({g_localsSea, g_sea[0], g_sea[1], g_sea[2], g_sea[3], g_sea[4]})) {
        CString relative;
        CString destination;
        if (RelativeTo(file, backupDefault, relative)) {
            destination = PlaceBelow(target, relative);
        } else if (IsBelow(file, target)) {
            destination = file;
        } else {
            PrWin::Output(PrWin::LibraryMessage, PrWin::WriteProblem,
                          L"Restore: sea file %s lies outside the target directory %s and is not restored\n",
                          file.GetString(), target.GetString());
            continue;
        }
        if (!run.Copy(BackupPlace(file, backupDefault, backupRoot), backupRoot, destination, target)) {
            stopOnBackup();
            return false;
        }
    }

    stopOnBackup();
    // The restored project may still fail to start: then the registry is stopped, and the caller must know.
    return Init(restoredBase);
}

bool CSeaBase::PrWinDump(unsigned index)
{
    if (!SeaExists(index))
        return false;
    PrWin::Output(PrWin::LibraryMessage, L"==================== Content of sea `%s': ====================\n",
                  g_seaName[index].GetString());
    g_sea[index]->PrintEntries();
    return true;
}
