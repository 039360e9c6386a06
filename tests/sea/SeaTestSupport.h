// Helpers of the sea tests: a sea open to the tests, seas read from lines, a table held in memory.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kelvaro/entry/ResSeaTableInterface.h"
#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/platform/Utf.h"
#include "kelvaro/sea/ResourceSea.h"
#include "support/TestSupport.h"

namespace seatest {

using namespace testsupport;
using Lines = std::vector<std::wstring>;

// Opens the protected operations of a sea to the tests.
class TestSea : public CResourceSea {
public:
    using CResourceSea::CResourceSea;
    using CResourceSea::ContentTransfer;
    using CResourceSea::DeleteSeaLine;
    using CResourceSea::GetEntry;
    using CResourceSea::LineSteps;
    using CResourceSea::UpdateFile;
    // Makes the sea the section `name` of a shared file.
    void Section(const wchar_t* name) { SetSeaName(name), SetFileSection(true); }
    // Value `index` of entry `name`, or "<missing>".
    std::wstring Value(const wchar_t* name, unsigned index = 0) const {
        CResourceEntry* entry = GetEntry(name);
        return entry == nullptr || index >= entry->NValues() ? L"<missing>" : entry->GetString(index).Str();
    }
    // Value() of each (name, index).
    std::vector<std::wstring> Values(std::initializer_list<std::pair<const wchar_t*, unsigned>> which) const {
        std::vector<std::wstring> values;
        for (const auto& [name, index] : which) values.push_back(Value(name, index));
        return values;
    }
    // The whole text of entry `name` (a list with its lines), or "<missing>".
    std::wstring Text(const wchar_t* name) const {
        CString text;
        if (CResourceEntry* entry = GetEntry(name)) entry->GetLine(text);
        return GetEntry(name) == nullptr ? L"<missing>" : text.Str();
    }
    // The list lines of entry `name` as GetLine gives them, without the head and the closing line.
    std::vector<std::wstring> ListLines(const wchar_t* name) const {
        std::vector<std::wstring> lines;
        std::wstringstream text(Text(name));
        for (std::wstring line; std::getline(text, line);) lines.push_back(line);
        return lines.size() < 2 ? Lines{} : Lines(lines.begin() + 1, lines.end() - 1);
    }
};

// `sea` read from a UTF-16 file `leaf` of `lines`, tied to that file.
inline void Load(CResourceSea& sea, const ScratchDir& dir, const Lines& lines, const std::string& leaf = "t.sea") {
    WriteBytes(dir.Path(leaf), SeaUtf16(lines));
    ASSERT_TRUE(sea.Create(dir.Wide(leaf), false));
}

// The lines of `leaf` after the sea wrote itself back into it.
inline Lines Written(CResourceSea& sea, const ScratchDir& dir, const std::string& leaf = "t.sea") {
    EXPECT_TRUE(sea.UpdateIfPossible());
    return LinesOfFile(dir.Path(leaf));
}

// The exception `call` throws, or none.
template <class Call>
std::optional<CResourceSeaException> Thrown(Call call) {
    try { call(); } catch (const CResourceSeaException& e) { return e; }
    return std::nullopt;
}

// One table row as the table tests compare them.
struct Row {
    std::wstring name, values;
    unsigned counter;
    bool operator==(const Row& other) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Row& row) {
    return out << "(" << kelvaro::utf8::Encode(row.name) << " | " << kelvaro::utf8::Encode(row.values) << " | "
               << row.counter << ")";
}

// The rows with trailing white space cut from the values: a rebuilt line
// ends every value with a blank, a line as read does not.
inline std::vector<Row> Trimmed(std::vector<Row> rows) {
    for (Row& row : rows) row.values.erase(row.values.find_last_not_of(L" \t") + 1);
    return rows;
}

// Every row of a table through the table interface; an import that ends badly fails the test.
template <class Table>
std::vector<Row> ReadRows(Table& table) {
    std::vector<Row> rows;
    for (bool more = table.BeginRead(); more; more = table.NextTableLine())
        rows.push_back({table.CurrentLineName(), table.CurrentLineVals(), table.CurrentLineListCounter()});
    EXPECT_TRUE(rows.empty() || table.EndRead());
    return rows;
}

// A table held in a vector; each answer can be made a refusal or a failure.
class MemoryTable : public CResSeaTableInterface {
public:
    std::vector<Row> rows;
    bool refuseWrite = false, refuseRead = false, failEndWrite = false, failEndRead = false;
    int endWriteCalls = 0, endReadCalls = 0;

    bool BeginWrite() override { return !refuseWrite && (rows.clear(), true); }
    void WriteTableLine(const wchar_t* name, const wchar_t* values, unsigned listCounter) override {
        rows.push_back({name, values, listCounter});
    }
    bool EndWrite() override { return ++endWriteCalls, !failEndWrite; }
    bool BeginRead() override { return m_next = 0, !refuseRead && !rows.empty() && NextTableLine(); }
    bool NextTableLine() override {
        if (m_next >= rows.size()) return false;
        const Row& row = rows[m_next++];
        SetCurrentLine(row.name.c_str(), row.values.c_str(), row.counter);
        return true;
    }
    bool EndRead() override { return ++endReadCalls, !failEndRead; }
    // The protected buffer filler, for its own tests.
    bool Prepare(const wchar_t* name, const wchar_t* values) { return PrepareLineValues(name, values); }
    unsigned NameSize() const { return m_lineNameSize; }
    unsigned ValsSize() const { return m_lineValsSize; }

private:
    std::size_t m_next = 0;
};

// The rows an export of `sea` makes.
inline std::vector<Row> RowsOf(CResourceSea& sea) {
    MemoryTable table;
    EXPECT_TRUE(sea.SaveToTable(&table));
    return table.rows;
}

}  // namespace seatest
