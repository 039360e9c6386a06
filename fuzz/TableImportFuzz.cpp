// Fuzzes importing a sea from a table. The input is UTF-8 text, one row a
// line, columns separated by tabs: name, values, list counter (a number).
// An import that reported nothing exports rows that import to the same rows.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/platform/Utf.h"
#include "kelvaro/entry/ResSeaTableInterface.h"

namespace {

struct Row {
    std::wstring name;
    std::wstring values;
    unsigned counter;
    bool operator==(const Row&) const = default;
};

class FakeTable : public CResSeaTableInterface {
public:
    std::vector<Row> rows;
    bool BeginWrite() override {
        rows.clear();
        return true;
    }
    void WriteTableLine(const wchar_t* name, const wchar_t* values, unsigned listCounter) override {
        rows.push_back({name ? name : L"", values ? values : L"", listCounter});
    }
    bool EndWrite() override { return true; }
    bool BeginRead() override {
        m_next = 0;
        return NextTableLine();
    }
    bool NextTableLine() override {
        if (m_next >= rows.size())
            return false;
        const Row& row = rows[m_next++];
        SetCurrentLine(row.name.c_str(), row.values.c_str(), row.counter);
        return true;
    }
    bool EndRead() override { return true; }

private:
    std::size_t m_next = 0;
};

std::vector<Row> ParseRows(const std::wstring& text) {
    std::vector<Row> rows;
    std::size_t start = 0;
    while (start < text.size() && rows.size() < 2000) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring line = text.substr(start, end - start);
        start = end + 1;
        Row row{line, L"", 0};
        const std::size_t tab = line.find(L'\t');
        if (tab != std::wstring::npos) {
            row.name = line.substr(0, tab);
            row.values = line.substr(tab + 1);
            const std::size_t tab2 = row.values.find(L'\t');
            if (tab2 != std::wstring::npos) {
                for (std::size_t i = tab2 + 1; i < row.values.size() && i < tab2 + 4; ++i)
                    if (row.values[i] >= L'0' && row.values[i] <= L'9')
                        row.counter = row.counter * 10 + static_cast<unsigned>(row.values[i] - L'0');
                row.values.resize(tab2);
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 50000)
        return 0;
    const bool merge = (data[0] & 1) != 0;
    const std::wstring text =
        kelvaro::utf8::Decode(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    FakeTable table;
    table.rows = ParseRows(text);

    fuzzsupport::CountReports counter;
    CResourceSea sea(31);
    bool ok = false;
    try {
        ok = sea.ReadFromTable(&table, merge);
    } catch (const CResourceSeaException&) {
        return 0;
    }
    (void)sea.SelfTest();
    const unsigned reports = counter.Count();

    FakeTable exported;
    try {
        if (!sea.SaveToTable(&exported))
            fuzzsupport::Fail("an export to a willing table failed");
    } catch (const CResourceSeaException&) {
        return 0;  // a line over the rebuild limit
    }
    if (!ok || reports != 0)
        return 0;
    CResourceSea back(31);
    try {
        if (!back.ReadFromTable(&exported, false))
            if (!exported.rows.empty())
                fuzzsupport::Fail("exported rows do not import");
    } catch (const CResourceSeaException&) {
        fuzzsupport::Fail("exported rows throw on import");
    }
    if (counter.Count() != reports)
        fuzzsupport::Fail("exported rows import with reports");
    FakeTable again;
    if (!back.SaveToTable(&again) || again.rows != exported.rows)
        fuzzsupport::Fail("export, import, export changes the rows");
    return 0;
}
