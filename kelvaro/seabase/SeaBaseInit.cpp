// CSeaBase: the three ways to start the registry, the base-sea check, the
// default directories and project name a start fixes, and Cleanup.
#include "kelvaro/seabase/SeaBase.h"

#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/File.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/sea/ResourceSea.h"

#include <algorithm>

namespace {

// Project name of a direct start: the last directory of `directory`
// ("/work/Alpha/" gives "Alpha"); empty when no '/' remains.
CString LastDirectoryName(CString directory)
{
    if (!directory.IsEmpty() && directory[directory.GetLength() - 1] == L'/')
        directory = directory.Left(directory.GetLength() - 1);
    const int slash = directory.ReverseFind(L'/');
    return slash < 0 ? CString() : directory.Mid(slash + 1);
}

// Project name of a start from a base sea: the directory above the last one
// of `directory`, with or without a trailing '/' ("/work/Alpha/Seas/" and
// "/work/Alpha/Seas" give "Alpha", "/Seas/" gives nothing).
CString ParentDirectoryName(const CString& directory)
{
    const std::wstring& text = directory.Str();
    if (text.size() < 2)
        return CString();
    // The search starts at the second-to-last character, so a trailing '/' is passed over.
    const std::size_t cut = text.rfind(L'/', text.size() - 2);
    if (cut == std::wstring::npos || cut == 0)
        return CString();
    const std::size_t before = text.rfind(L'/', cut - 1);
    if (before == std::wstring::npos)
        return CString();
    return CString(text.substr(before + 1, cut - before - 1));
}

} // namespace

void CSeaBase::SetDefaultPaths(const CString& directory)
{
    g_defaultPath = directory;
    FileIO::ensureLimitedPath(g_defaultPath);
    g_defaultLocalsPath = g_defaultPath;
}

void CSeaBase::SetDefaultPathsFromFile(const wchar_t* startFile)
{
    // A relative name is placed in the current directory first, so that
    // "sub/base.sea" gives "<current>/sub/" and a bare name the current directory.
    CString file(startFile);
    if (!FileIO::isAbsolutePath(file))
        FileIO::makePathAbsolute(file, nullptr);
    SetDefaultPaths(FileIO::isAbsolutePath(file) ? FileIO::getFilePath(file) : FileIO::GetCurrentDirectory());
}

void CSeaBase::RaiseProtectionForReadOnly(const wchar_t* file)
{
    // A level the application set higher stays: the attribute only ever protects more.
    if (CFile::IsReadOnly(file))
        g_writeProtection = std::max(g_writeProtection, 2);
}

bool CSeaBase::CheckBaseSea(const CString& fileName)
{
    CFileStatus status;
    if (!CFile::GetStatus(fileName, status) || (status.m_attribute & CFile::directory) != 0)
        return false;
    // Read-only: a check must never create or write anything.
    CResourceSea probe(107);
    if (!probe.Create(fileName, true))
        return false;
    return !probe.LookupGetString(L"ApplicationFile", 0, CString()).IsEmpty();
}

bool CSeaBase::Init(const wchar_t* baseSeaFile)
{
    if (g_baseSea != nullptr)
        return false;

    const CString startFile(baseSeaFile);
    g_baseSea = new CResourceSea(107);
    if (!g_baseSea->Create(startFile, false)) {
        Cleanup();
        return false;
    }
    g_baseSeaName = startFile;
    g_baseSea->SetSeaName(L"Base");
    RaiseProtectionForReadOnly(startFile);

    const CString defaultSeaPath = g_baseSea->LookupGetString(L"DefaultSeaPath", 0, CString());
    if (!defaultSeaPath.IsEmpty())
        SetDefaultPaths(defaultSeaPath);
    else
        SetDefaultPathsFromFile(startFile);

    if (!CreateSea(g_baseSea, L"Application", 0)) {
        Cleanup();
        PrWin::Output(PrWin::LibraryMessage, PrWin::ApplicationSeaProblem,
                      L"Fatal Error:\nCould not create Application sea");
        return false;
    }

    InsertLocals();

    if (!g_baseSea->LookupGetString(L"ConfigurationFile", 0, CString()).IsEmpty()) {
        if (!CreateSea(g_baseSea, L"Configuration", 3)) {
            Cleanup();
            PrWin::Output(PrWin::LibraryMessage, PrWin::WriteProblem,
                          L"Fatal Error:\nCould not create Configuration sea!");
            return false;
        }
    } else {
        CResourceSea* configuration = CreateMemorySea(L"Configuration", 3);
        CString configFile = g_baseSea->LookupGetString(L"ConfigFile", 0, CString());
        if (!configFile.IsEmpty()) {
            // The sea is new and memory-only, so there is nothing to write back
            // first. A missing file is reported by the sea, which stays memory-only.
            FileIO::makePathAbsolute(configFile, g_defaultPath);
            configuration->OpenFileBase(configFile, false);
        }
    }

    if (!CreateSea(ApplicationSea(), L"Preference", 1)) {
        Cleanup();
        PrWin::Output(PrWin::LibraryMessage, PrWin::WriteProblem, L"Fatal Error:\nCould not create Preference sea!");
        return false;
    }
    CreateMemorySea(L"Messages", 2);
    CreateMemorySea(L"Status", 4);

    g_projectName = g_baseSea->LookupGetString(L"ProjectName", 0, CString());
    if (g_projectName.IsEmpty() && g_localsSea != nullptr)
        g_projectName = g_localsSea->LookupGetString(L"ProjectName", 0, CString());
    if (g_projectName.IsEmpty())
        g_projectName = ParentDirectoryName(g_defaultPath);
    return true;
}

bool CSeaBase::InitAppDirect(const wchar_t* applicationFile)
{
    if (g_baseSea != nullptr)
        return false;

    const CString startFile(applicationFile);
    g_baseSea = new CResourceSea(17);
    g_baseSea->Create();
    g_baseSea->SetSeaName(L"Base");

    // An unreadable file leaves an empty Application sea (the sea reports it);
    // the start goes on.
    auto* application = new CResourceSea(4001);
    application->SetSeaName(L"Application");
    application->Create(startFile, false);
    Register(application, L"Application", 0);

    RaiseProtectionForReadOnly(startFile);
    g_baseSeaName = startFile;
    SetDefaultPathsFromFile(startFile);

    InsertLocals();

    CreateMemorySea(L"Configuration", 3);
    CreateMemorySea(L"Messages", 2);
    CreateMemorySea(L"Status", 4);

    // The Preference sea is the application file's section under its name;
    // the name must be set before reading, since it selects the section.
    auto* preference = new CResourceSea(4001);
    preference->SetSeaName(L"Preference");
    preference->SetFileSection(true);
    preference->Create(startFile, false);
    Register(preference, L"Preference", 1);

    g_projectName = application->LookupGetString(L"ProjectName", 0, CString());
    if (g_projectName.IsEmpty())
        g_projectName = LastDirectoryName(g_defaultPath);
    return true;
}

bool CSeaBase::InitMemoryOnly()
{
    if (g_baseSea != nullptr)
        return false;

    g_baseSea = new CResourceSea(107);
    g_baseSea->Create();
    g_baseSea->SetSeaName(L"Base");
    g_baseSeaName = L"InMemory";
    g_projectName = L"Default";
    SetDefaultPaths(FileIO::GetCurrentDirectory());

    CreateMemorySea(L"Application", 0);
    InsertLocals();
    CreateMemorySea(L"Configuration", 3);
    CreateMemorySea(L"Preference", 1);
    CreateMemorySea(L"Messages", 2);
    CreateMemorySea(L"Status", 4);
    return true;
}

const CString& CSeaBase::DefaultPath()
{
    return g_defaultPath;
}

const CString& CSeaBase::DefaultLocalsPath()
{
    return g_defaultLocalsPath;
}

const CString& CSeaBase::ProjectName()
{
    return g_projectName;
}

void CSeaBase::SetProjectName(const wchar_t* name)
{
    g_projectName = name;
}

void CSeaBase::Cleanup()
{
    if (g_updateLocals && g_localsSea != nullptr && ApplicationSea() != nullptr) {
        // A value that cannot be carried over must not stop the clean-up:
        // every sea would stay alive and no new start could follow.
        try {
            SynchronizeLocals(false);
        } catch (const CResourceSeaException& error) {
            PrWin::Output(PrWin::LibraryMessage, PrWin::WriteProblem, L"%s\n", error.m_message.GetString());
        }
    }

    // The Locals sea goes after the slots: entries merged into the
    // Application sea came from it and draw on its value buffers.
    for (unsigned index = 0; index < SlotCount; ++index) {
        delete g_sea[index];
        g_sea[index] = nullptr;
        g_seaName[index].Empty();
    }
    delete g_localsSea;
    g_localsSea = nullptr;
    delete g_baseSea;
    g_baseSea = nullptr;

    g_baseSeaName.Empty();
    g_defaultPath.Empty();
    g_projectName.Empty();
}
