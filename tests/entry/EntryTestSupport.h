// Shared helpers of the entry tests: an entry class that opens the protected members,
// a fixture with a reservoir, and catchers for the library's exception.
#pragma once

#include <gtest/gtest.h>

#include <cwchar>
#include <source_location>
#include <vector>

#include "kelvaro/entry/ResValueReservoir.h"
#include "kelvaro/entry/ResourceEntry.h"

namespace entrytest {

using Texts = std::vector<std::wstring>;

class TestEntry : public CResourceEntry {
public:
    using CResourceEntry::CResourceEntry;
    explicit TestEntry(const CResourceEntry& other) : CResourceEntry(other) {}
    using CResourceEntry::operator=;

    using CResourceEntry::AddListLine, CResourceEntry::EintragText, CResourceEntry::FormatInterpretieren,
        CResourceEntry::InhalteLoeschen, CResourceEntry::ListenendeErzeugen, CResourceEntry::NextListenZeile,
        CResourceEntry::PrevListenZeile, CResourceEntry::ReadListLines, CResourceEntry::SeeZeileBilden,
        CResourceEntry::SeeZeileErneuern, CResourceEntry::SubListeLoeschen, CResourceEntry::WertNeuSetzen,
        CResourceEntry::WriteToSeaFile;
    // Appends a value text straight into the value list, as the parser does.
    void AddValue(const std::wstring& text) {
        SettleValues();  // values still in the line come first
        ValueBuffer b = TakeValueBuffer(static_cast<unsigned>(text.size()) + 1);
        std::wcscpy(b.first, text.c_str());
        m_values.push_back(b);
    }
    // The value texts as stored (copies them out of the line).
    Texts Values() const {
        SettleValues();
        Texts out;
        for (unsigned i = 0; i < NValues(); ++i) out.emplace_back(m_values[i].first);
        return out;
    }
    std::wstring Line() const { return m_line.wide; }
    std::wstring ValuePart() const { return m_valuePart.wide; }
    unsigned ValueOffset() const { return static_cast<unsigned>(m_valuePart.wide - m_line.wide); }
    const wchar_t* LinePtr() const { return m_line.wide; }
    bool RebuildPending() const { return m_rebuildLine; }
    void MarkStale() { m_rebuildLine = true; }
    void SetStatus(unsigned status) { m_status = status; }
    // Accessed and Modified cleared, the line taken as rebuilt.
    void ClearFlags() { m_status &= ~static_cast<unsigned>(StatusAccessed | StatusModified); m_rebuildLine = false; }
    CResValueReservoir* Reservoir() const { return m_reservoir; }
    CResourceEntry* ListEnd() const { return m_listLines.End(); }
    int ListCount() const { return m_listLines.GetCount(); }
    POSITION HeadPosition() const { return m_listLines.GetHeadPosition(); }
    POSITION TailPosition() const { return m_listLines.GetTailPosition(); }
    std::vector<CResourceEntry*> ListLines() const {
        std::vector<CResourceEntry*> out;
        for (POSITION pos = m_listLines.GetHeadPosition(); pos != nullptr;) out.push_back(NextListenZeile(pos));
        return out;
    }
    // The value buffers themselves (the values are copied out of the line first).
    const wchar_t* Buffer(unsigned i) const { SettleValues(); return m_values[i].first; }
    // Sets the capacity a value buffer claims; returns the one it had.
    unsigned SetCapacity(unsigned i, unsigned c) { SettleValues(); return std::exchange(m_values[i].second, c); }
};

// An entry named `name` holding `values` as a program sets them, with no
// status bit and no rebuild pending.
inline TestEntry Valued(CResValueReservoir* reservoir, std::initializer_list<const wchar_t*> values,
                        const wchar_t* name = L"key") {
    TestEntry e(reservoir, 0, name);
    unsigned i = 0;
    for (const wchar_t* v : values) e.WertNeuSetzen(v, i++);
    e.ClearFlags();
    return e;
}

// Values and line text of any entry, read through a copy.
inline Texts ValuesOf(const CResourceEntry& entry) { return TestEntry(entry).Values(); }
inline std::wstring LineOf(const CResourceEntry& entry) { return TestEntry(entry).Line(); }
// The line as GetLine hands it out (rebuilt when stale).
inline std::wstring GetLineOf(const CResourceEntry& entry) {
    CString line;
    entry.GetLine(line);
    return line.Str();
}

// A reservoir for the entries of a test.
class EntryFixture : public ::testing::Test {
protected:
    CResValueReservoir m_reservoir{16};
    // An entry of the given status that has read `line`.
    TestEntry Read(const wchar_t* line, unsigned status = 0) {
        TestEntry e(&m_reservoir, status, nullptr);
        e = line;
        return e;
    }
    // `list` read from `head`, with the given lines and a closing line.
    static void MakeList(TestEntry& list, const wchar_t* head, std::initializer_list<const wchar_t*> lines) {
        list = head;
        for (const wchar_t* line : lines) list.AddListLine(line, 14);
        list.ListenendeErzeugen();
    }
};

// The exception that f throws; a failure (and code 0xFFFFFFFF) when none.
template <class F>
CResourceSeaException CatchSea(F&& f) {
    try { f(); } catch (const CResourceSeaException& e) { return e; }
    ADD_FAILURE() << "no CResourceSeaException thrown";
    return CResourceSeaException(L"<none>", 0xFFFFFFFFu);
}

// Expects f to throw the library's exception with `code` and `message`; a failure names the caller's line.
template <class F>
void ExpectSea(F&& f, unsigned code, const std::wstring& message,
               const std::source_location& where = std::source_location::current()) {
    const ::testing::ScopedTrace trace(where.file_name(), static_cast<int>(where.line()), "");
    const CResourceSeaException e = CatchSea(f);
    EXPECT_EQ(e.m_code, code);
    EXPECT_EQ(e.m_message.Str(), message);
}

}  // namespace entrytest
