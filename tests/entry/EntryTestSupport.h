// Shared helpers of the entry tests: an entry class that opens the protected
// members to the tests, a catcher for the library's exception, and small
// sea files on disk for the list reader.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "kelvaro/entry/ResValueReservoir.h"
#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "kelvaro/platform/Utf.h"

namespace entrytest {

using Texts = std::vector<std::wstring>;

class TestEntry : public CResourceEntry {
public:
    using CResourceEntry::CResourceEntry;
    explicit TestEntry(const CResourceEntry& other) : CResourceEntry(other) {}
    TestEntry(const TestEntry& other) : CResourceEntry(other) {}
    TestEntry& operator=(const TestEntry& other) {
        CResourceEntry::operator=(other);
        return *this;
    }
    using CResourceEntry::operator=;

    using CResourceEntry::AddListLine;
    using CResourceEntry::EintragText;
    using CResourceEntry::FormatInterpretieren;
    using CResourceEntry::GetListenZeile;
    using CResourceEntry::InhalteLoeschen;
    using CResourceEntry::ListenendeErzeugen;
    using CResourceEntry::NextListenZeile;
    using CResourceEntry::NextNonSpace;
    using CResourceEntry::NextTokenEnd;
    using CResourceEntry::PrevListenZeile;
    using CResourceEntry::ReadListLines;
    using CResourceEntry::SeeZeileBilden;
    using CResourceEntry::SeeZeileErneuern;
    using CResourceEntry::SeeZeileKopieren;
    using CResourceEntry::SubListeLoeschen;
    using CResourceEntry::WertNeuSetzen;
    using CResourceEntry::WriteToSeaFile;
    using CResourceEntry::ZeileWerteZerlegen;
    using CResourceEntry::ZeileZerlegen;

    // Appends value texts straight into the value list, as the parser does.
    void AddValues(std::initializer_list<const wchar_t*> texts) {
        SettleValues();  // values still in the line come first
        for (const wchar_t* text : texts) {
            ValueBuffer b = TakeValueBuffer(static_cast<unsigned>(std::wcslen(text)) + 1);
            std::wcscpy(b.first, text);
            m_values.push_back(b);
        }
    }
    void AddValue(const std::wstring& text) {
        SettleValues();
        ValueBuffer b = TakeValueBuffer(static_cast<unsigned>(text.size()) + 1);
        std::wcscpy(b.first, text.c_str());
        m_values.push_back(b);
    }
    // The value texts as stored (copies them out of the line).
    Texts Values() const {
        SettleValues();
        Texts out;
        for (unsigned i = 0; i < NValues(); ++i)
            out.emplace_back(m_values[i].first);
        return out;
    }
    std::wstring Line() const { return m_line; }
    std::wstring ValuePart() const { return m_valuePart; }
    unsigned ValueOffset() const { return static_cast<unsigned>(m_valuePart - m_line); }
    const wchar_t* LinePtr() const { return m_line; }
    unsigned LineSize() const { return m_lineSize; }
    bool LineIsShared() const { return m_line == g_leereZeile; }
    bool RebuildPending() const { return m_rebuildLine; }
    void MarkStale() { m_rebuildLine = true; }
    void SetStatus(unsigned status) { m_status = status; }
    void ClearBits(unsigned bits) { m_status &= ~bits; }
    // Accessed and Modified cleared, the line taken as rebuilt.
    void ClearFlags() {
        m_status &= ~static_cast<unsigned>(StatusAccessed | StatusModified);
        m_rebuildLine = false;
    }
    CResValueReservoir* Reservoir() const { return m_reservoir; }
    CResourceEntry* ListEnd() const { return m_listEnd; }
    int ListCount() const { return m_listLines.GetCount(); }
    POSITION HeadPosition() const { return m_listLines.GetHeadPosition(); }
    POSITION TailPosition() const { return m_listLines.GetTailPosition(); }
    std::vector<CResourceEntry*> ListLines() const {
        std::vector<CResourceEntry*> out;
        for (POSITION pos = m_listLines.GetHeadPosition(); pos != nullptr;)
            out.push_back(NextListenZeile(pos));
        return out;
    }
    // The value buffers themselves (the values are copied out of the line first).
    const wchar_t* Buffer(unsigned i) const {
        SettleValues();
        return m_values[i].first;
    }
    unsigned Capacity(unsigned i) const {
        SettleValues();
        return m_values[i].second;
    }
    void SetCapacity(unsigned i, unsigned capacity) {
        SettleValues();
        m_values[i].second = capacity;
    }
};

// An entry named `name` holding `values` as a program sets them, with no
// status bit and no rebuild pending.
inline TestEntry Valued(CResValueReservoir* reservoir, std::initializer_list<const wchar_t*> values,
                        const wchar_t* name = L"key") {
    TestEntry e(reservoir, 0, name);
    unsigned i = 0;
    for (const wchar_t* v : values)
        e.WertNeuSetzen(v, i++);
    e.ClearFlags();
    return e;
}

// Values, line text and status of any entry, read through a copy (the copy
// constructor takes values, line and status as they are).
inline Texts ValuesOf(const CResourceEntry& entry) { return TestEntry(entry).Values(); }
inline std::wstring LineOf(const CResourceEntry& entry) { return TestEntry(entry).Line(); }
inline bool StaleOf(const CResourceEntry& entry) { return TestEntry(entry).RebuildPending(); }

// The exception that f throws; a failure (and code 0xFFFFFFFF) when none.
template <class F>
CResourceSeaException CatchSea(F&& f) {
    try {
        f();
    } catch (const CResourceSeaException& e) {
        return e;
    }
    ADD_FAILURE() << "no CResourceSeaException thrown";
    return CResourceSeaException(L"<none>", 0xFFFFFFFFu);
}

inline std::wstring Msg(const CResourceSeaException& e) { return e.m_message.Str(); }

// A file in a fresh temporary folder, removed with the object.
class TempFile {
public:
    explicit TempFile(const char* name) {
        std::string pattern = (std::filesystem::temp_directory_path() / "kelvaro-entry-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()) == nullptr)
            ADD_FAILURE() << "mkdtemp failed";
        m_dir = buf.data();
        m_path = m_dir / name;
    }
    ~TempFile() {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    std::wstring WidePath() const { return m_path.wstring(); }
    const std::filesystem::path& Path() const { return m_path; }

    // Writes the lines as UTF-16LE with a byte-order mark, each ended by CR LF.
    void WriteUtf16(const std::vector<std::wstring>& lines) const {
        std::wstring text;
        for (const std::wstring& line : lines)
            text += line + L"\r\n";
        std::ofstream out(m_path, std::ios::binary);
        out << "\xFF\xFE" << kelvaro::utf16::EncodeLE(text);
    }
    // The file's content as lines (UTF-16LE with BOM expected; CR LF split).
    std::vector<std::wstring> ReadUtf16Lines() const {
        std::ifstream in(m_path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE"));
        std::wstring text = kelvaro::utf16::DecodeLE(bytes.substr(2));
        std::vector<std::wstring> lines;
        std::size_t start = 0;
        for (std::size_t at; (at = text.find(L"\r\n", start)) != std::wstring::npos; start = at + 2)
            lines.push_back(text.substr(start, at - start));
        EXPECT_EQ(start, text.size()) << "text after the last line end";
        return lines;
    }

private:
    std::filesystem::path m_dir;
    std::filesystem::path m_path;
};

// A reader positioned after the byte-order mark.
inline void OpenForReading(CUnicodeFile& file, const TempFile& temp) {
    ASSERT_NE(file.Open(temp.WidePath().c_str(), CUnicodeFile::modeRead), 0);
    file.ReadBOM();
}

}  // namespace entrytest
