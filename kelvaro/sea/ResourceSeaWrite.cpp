// Kelvaro: writing a sea back to its file. A write replaces the file whole or
// leaves it exactly as it was: the file object stages everything and commits
// only on Close(), and any failure abandons the staged file.
#include <exception>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "kelvaro/sea/ResourceSea.h"
#include "kelvaro/sea/SeaReport.h"

using kelvaro::seareport::kStyleWriteBack;
using kelvaro::seareport::Report;

namespace {

constexpr unsigned kCodePage1252 = 1252;

// Clears the sediment filter however a write ends: it acts on one write only.
class FilterReset {
public:
    explicit FilterReset(bool& filter) : m_filter(filter) {}
    ~FilterReset() { m_filter = false; }
    FilterReset(const FilterReset&) = delete;
    FilterReset& operator=(const FilterReset&) = delete;

private:
    bool& m_filter;
};

}  // namespace

bool CResourceSea::UpdateIfPossible() {
    if (!m_fileBased || m_readOnly) return true;

    CUnicodeFile file;
    file.m_codePage = m_codePage;

    if (m_fileSection) {
        if (!FileIO::FileExists(m_fileName)) return false;
        // A section goes into the file in the encoding the file already has;
        // a section of another encoding would make the whole file unreadable.
        // Only an empty file gets the sea's own encoding and its byte-order mark.
        bool emptyFile;
        {
            CUnicodeFile probe;
            if (!probe.Open(m_fileName, CUnicodeFile::modeRead)) return false;
            emptyFile = probe.GetLength() == 0;
            if (!emptyFile) {
                probe.ReadBOM();
                file.m_codePage = probe.m_codePage;
            }
        }
        if (!file.Open(m_fileName, CUnicodeFile::modeWrite | CUnicodeFile::modeNoTruncate)) return false;
        file.SeekToEnd();
        return WriteAndCommit(file, emptyFile);
    }

    if (!file.Open(m_fileName, CUnicodeFile::modeCreate | CUnicodeFile::modeWrite)) return false;
    return WriteAndCommit(file, true);
}

bool CResourceSea::WriteAndCommit(CUnicodeFile& file, bool withBOM) {
    try {
        if (withBOM) file.WriteBOM();
        SeeInhaltSpeichern(file);
    } catch (const CResourceSeaException&) {
        // A line that cannot be rebuilt: the old file stays as it was.
        file.Abandon();
        return false;
    } catch (const std::exception&) {
        file.Abandon();
        return false;
    }
    return file.Close();  // false when any write or the commit failed
}

void CResourceSea::SaveAsUnicode(bool unicode) {
    if (!unicode) m_codePage = kCodePage1252;
    else if (m_codePage == kCodePage1252) m_codePage = 1200;
}

bool CResourceSea::SetFileCodePage(unsigned codePage) {
    if (codePage != 1200 && codePage != 1201 && codePage != 65001 && codePage != kCodePage1252) return false;
    m_codePage = codePage;
    return true;
}

void CResourceSea::UpdateFile() {
    if (!UpdateIfPossible()) Report(kStyleWriteBack, L"Unable to write back sea file %s\n", m_fileName.GetString());
}

void CResourceSea::UpdateFile(CUnicodeFile* file) {
    if (file == nullptr) return;
    file->WriteBOM();
    SeeInhaltSpeichern(*file);
}

void CResourceSea::SaveAs(const wchar_t* fileName) {
    m_fileName = CString(fileName);  // a copy first: fileName may be our own file name
    m_fileBased = true;
    UpdateFile();
}

bool CResourceSea::ChangeFileBase(const wchar_t* fileName, bool writeBack) {
    const CString target(fileName);  // may point into m_fileName, which the write-back reports
    if (writeBack) UpdateFile();
    PurgeDataBase();
    return OpenFileBase(target, false);
}

void CResourceSea::SeeInhaltSpeichern(CUnicodeFile& file) {
    FilterReset reset(m_sedimentFilter);
    const bool dropSediment = m_sedimentFilter;

    if (m_fileSection) {
        CString marker(L"::::: ");
        marker += m_name;
        if (!file.WriteLine(marker)) return;
    }
    for (CResourceEntry* entry : m_lines) {
        if (dropSediment && (!entry->Accessed() || entry->SyntaxError())) continue;
        // A list whose closing line never came (the file ended inside it) is
        // written with a generated one, so the next reading finds its end.
        if (entry->IsListEntry() && entry->m_listEnd == nullptr) entry->ListenendeErzeugen();
        // The file keeps the first failure and Close() reports it.
        if (!entry->WriteToSeaFile(file)) return;
    }
}
