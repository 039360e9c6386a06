// CSeaBase: the Locals sea. Its values come from a section of the
// application's settings store and, optionally, from a locals sea file; they
// are merged into the Application sea at start-up and, on request or at
// clean-up, taken back, written to the file and mirrored into the section.
//
// Section layout, one value per named entry:
//   string not starting with "{"   the value part of the entry's line
//   string starting with "{"       a list: the head's value part, then one
//                                  list line per line ('\n'), then the closing line
//   string "$$<<<<<$$"             ignored
//   multi-string                   a list, one line per string ("{" and "}" lines ignored)
// The writer produces only the first two forms.
#include "kelvaro/seabase/SeaBase.h"

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/platform/MessageBox.h"
#include "kelvaro/platform/WinApp.h"
#include "kelvaro/sea/ResourceSea.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

// A value whose whole text is this marker is a placeholder, never an entry.
constexpr std::wstring_view ExclusionMarker = L"$$<<<<<$$";

// The lines of a text separated by '\n'; always at least one.
std::vector<std::wstring_view> SplitLines(std::wstring_view text)
{
    std::vector<std::wstring_view> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(L'\n', start);
        lines.push_back(text.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos : end - start));
        if (end == std::wstring_view::npos)
            return lines;
        start = end + 1;
    }
}

// The list lines of a list text: the lines after the first, up to an empty
// line, a closing line or the end of the text.
std::vector<std::wstring_view> ListLinesOf(std::wstring_view text)
{
    std::vector<std::wstring_view> lines = SplitLines(text);
    lines.erase(lines.begin());
    const auto stop = std::find_if(lines.begin(), lines.end(),
                                   [](std::wstring_view line) { return line.empty() || line.front() == L'}'; });
    lines.erase(stop, lines.end());
    return lines;
}

// The text under which a Locals entry is mirrored. A list always starts with
// "{", so that the reader takes it back as a list: a rebuilt head has an empty
// value part, and its text would otherwise come back as one ordinary entry
// holding every line. Blank list lines are left out, because the reader ends
// a list at the first empty line and would lose every line after it.
CString RegistryText(const CResourceEntry& entry)
{
    CString text;
    entry.GetLineValuePart(text);
    if (!entry.IsListEntry())
        return text;

    const std::vector<std::wstring_view> lines = SplitLines(text.Str());
    std::wstring result(lines.front());
    if (result.empty() || result.front() != L'{')
        result.insert(0, 1, L'{');
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty())
            continue;
        result += L'\n';
        result += lines[i];
    }
    return CString(std::move(result));
}

} // namespace

CResourceSea* CSeaBase::CreateLocalsSea()
{
    if (g_localsSea == nullptr) {
        g_localsSea = new CResourceSea(107);
        g_localsSea->Create();
        g_localsSea->SetSeaName(L"Locals");
    }
    return g_localsSea;
}

CResourceSea* CSeaBase::LocalsSea()
{
    return CreateLocalsSea();
}

void CSeaBase::InsertLocals()
{
    CResourceSea* locals = CreateLocalsSea();
    if (g_localsRegistryKey.IsEmpty() && g_baseSea != nullptr)
        g_localsRegistryKey = g_baseSea->LookupGetString(L"LocalsRegKey", 0, CString());
    ReadLocalsFromRegistry();

    CString file;
    if (g_baseSea != nullptr)
        file = g_baseSea->LookupGetString(L"LocalsFile", 0, CString());
    if (!file.IsEmpty()) {
        FileIO::makePathAbsolute(file, g_defaultPath);
        if (locals->IsEmpty()) {
            // Create() rather than a bare purge: a file that cannot be read
            // leaves the sea memory-only, not tied to a file it never read.
            locals->UpdateFile();
            locals->Create();
            locals->OpenFileBase(file, false);
        } else {
            // The file's values win over the section's; section-only entries stay.
            locals->MergeFile(file, true);
        }
        g_defaultLocalsPath = FileIO::getFilePath(file);
        g_updateLocals = g_baseSea->LookupGetBool(L"LocalsFile", 1, false);
    }

    if (CResourceSea* application = ApplicationSea()) {
        try {
            application->MergeContent(locals);
        } catch (const CResourceSeaException& error) {
            // A line too long to rebuild ends the merge; the start goes on.
            PrWin::Output(PrWin::LibraryMessage, PrWin::ReadProblem, L"%s\n", error.m_message.GetString());
        }
    }
}

void CSeaBase::ReadLocalsFromRegistry()
{
    if (g_localsRegistryKey.IsEmpty())
        return;
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return;
    const CProfileSection section = app->GetSectionKey(g_localsRegistryKey);
    if (!section.IsOpen())
        return;

    CResourceSea* locals = CreateLocalsSea();
    const DWORD count = section.GetValueCount();
    for (DWORD index = 0; index < count; ++index) {
        CProfileValue value;
        const DWORD error = section.EnumValue(index, value);
        if (error != 0) {
            CString text;
            text.Format(L"Reading 'locals': error in RegEnumValue() of registry key\n%s\n%s", value.m_name.GetString(),
                        FileIO::GetLastErrorMessage(error).GetString());
            AfxMessageBox(text, MB_ICONSTOP);
            break;
        }
        // A value without a name cannot name an entry.
        if (value.m_name.IsEmpty())
            continue;

        const wchar_t* name = value.m_name;
        try {
            if (value.m_type == REG_SZ) {
                const CString& text = value.m_string;
                if (text.Str() == ExclusionMarker)
                    continue;
                if (!text.IsEmpty() && text[0] == L'{') {
                    for (std::wstring_view line : ListLinesOf(text.Str()))
                        locals->AddListLine(name, CString(line));
                } else {
                    locals->SetLine(name, text);
                }
            } else if (value.m_type == REG_MULTI_SZ) {
                if (CResourceEntry* existing = locals->GetEntry(name))
                    locals->DeleteSeaLine(existing);
                for (const CString& line : value.m_strings) {
                    if (line.IsEmpty())
                        break;
                    if (line[0] == L'{' || line[0] == L'}')
                        continue;
                    locals->AddListLine(name, line);
                }
            }
        } catch (const CResourceSeaException& error) {
            // A list line that does not parse stays in the list as the parser
            // left it; the other values are read on.
            PrWin::Output(PrWin::LibraryMessage, PrWin::ReadProblem, L"Reading 'locals': value %s: %s\n", name,
                          error.m_message.GetString());
        }
    }
}

void CSeaBase::WriteLocalsToRegistry()
{
    if (g_localsRegistryKey.IsEmpty() || g_localsSea == nullptr)
        return;
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return;

    // One write of the settings file for the whole sea: each single write
    // would be flushed to disk on its own.
    struct Batch {
        CWinApp* app;
        explicit Batch(CWinApp* a) : app(a) { app->BeginProfileBatch(); }
        ~Batch() { app->EndProfileBatch(); }
    } batch(app);
    CString name;
    POSITION pos = g_localsSea->GetEntriesStartPosition();
    while (pos != nullptr) {
        const CResourceEntry* entry = g_localsSea->GetNextEntry(name, pos);
        // An entry turned into a comment stays indexed, but holds no value.
        if (entry->IsComment())
            continue;
        try {
            app->WriteProfileString(g_localsRegistryKey, name, RegistryText(*entry));
        } catch (const CResourceSeaException& error) {
            // A line too long to rebuild keeps its old value in the section.
            PrWin::Output(PrWin::LibraryMessage, PrWin::WriteProblem, L"%s\n", error.m_message.GetString());
        }
    }
}

void CSeaBase::SynchronizeLocals(bool force)
{
    if (!force && !g_updateLocals)
        return;
    CResourceSea* application = ApplicationSea();
    if (application == nullptr || g_localsSea == nullptr)
        return;
    g_localsSea->SynchContent(application);
    g_localsSea->UpdateFile();
    WriteLocalsToRegistry();
}

bool CSeaBase::GetSyncLocals()
{
    return g_updateLocals;
}

void CSeaBase::SetSyncLocals(bool on)
{
    g_updateLocals = on;
}

void CSeaBase::SetLocalsRegistryKey(const wchar_t* section)
{
    g_localsRegistryKey = section;
}
