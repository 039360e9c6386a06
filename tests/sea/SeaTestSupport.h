// Helpers of the sea tests: the shared support, and a sea that opens its
// protected operations to the tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/platform/Utf.h"
#include "kelvaro/sea/ResourceSea.h"
#include "support/TestSupport.h"

namespace seatest {

using testsupport::CaptureOutput;
using testsupport::LinesOfFile;
using testsupport::LinesOfUtf16;
using testsupport::ReadBytes;
using testsupport::Report;
using testsupport::ScratchDir;
using testsupport::Sea1252;
using testsupport::SeaUtf16;
using testsupport::WriteBytes;

// Opens the protected operations of a sea to the tests.
class TestSea : public CResourceSea {
public:
    using CResourceSea::CResourceSea;
    using CResourceSea::DeleteSeaLine;
    using CResourceSea::GetEntry;
    using CResourceSea::LineSteps;
    using CResourceSea::SeeInhaltEinlesen;
    using CResourceSea::SeeInhaltSpeichern;
    using CResourceSea::UpdateFile;

    // Value `index` of entry `name`, or "<missing>".
    std::wstring Value(const wchar_t* name, unsigned index = 0) const {
        CResourceEntry* entry = GetEntry(name);
        if (entry == nullptr || index >= entry->NValues()) return L"<missing>";
        return entry->GetString(index).Str();
    }
};

// One table row as the table tests compare them.
struct Row {
    std::wstring name;
    std::wstring values;
    unsigned counter;
    bool operator==(const Row& other) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Row& row) {
    return out << "(" << kelvaro::utf8::Encode(row.name) << " | " << kelvaro::utf8::Encode(row.values) << " | "
               << row.counter << ")";
}

// Every row of a table through the table interface; an import that ends
// badly fails the test.
template <class Table>
std::vector<Row> ReadRows(Table& table) {
    std::vector<Row> rows;
    if (!table.BeginRead()) return rows;
    do {
        rows.push_back({table.CurrentLineName(), table.CurrentLineVals(), table.CurrentLineListCounter()});
    } while (table.NextTableLine());
    EXPECT_TRUE(table.EndRead());
    return rows;
}

}  // namespace seatest
