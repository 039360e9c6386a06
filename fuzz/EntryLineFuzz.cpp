// Fuzzes line assignment to an entry, wide (input as UTF-8) and 8-bit (input
// as code page 1252), and checks that a line rebuilt from the parsed parts
// parses back to an equal entry.
#include <string>

#include "FuzzSupport.h"
#include "kelvaro/entry/ResValueReservoir.h"
#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/platform/Utf.h"

namespace {

// A line that parsed: rebuild it from its parts and parse that again.
void CheckRebuild(CResValueReservoir& reservoir, CResourceEntry& entry) {
    if (entry.SyntaxError() || entry.IsComment() || entry.NValues() == 0)
        return;
    CString original;
    try {
        // Writing a value back marks the line stale, so GetLine rebuilds it.
        entry.SetText(entry.GetString(0), 0);
        entry.GetLine(original);
    } catch (const CResourceSeaException&) {
        return;  // longer than the rebuild limit: refused, not a fault
    }
    CResourceEntry again(&reservoir, 0, nullptr);
    try {
        again = original.GetString();
    } catch (const CResourceSeaException&) {
        fuzzsupport::Fail("a rebuilt line does not parse");
    }
    if (again != entry)
        fuzzsupport::Fail("a rebuilt line parses to another entry");
    // A second rebuild is stable.
    CString second;
    again.SetText(again.GetString(0), 0);
    again.GetLine(second);
    if (second.Str() != original.Str())
        fuzzsupport::Fail("rebuilding twice gives another line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 20000)
        return 0;
    fuzzsupport::CountReports quiet;
    static CResValueReservoir reservoir(64);
    const bool eightBit = (data[0] & 1) != 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    CResourceEntry entry(&reservoir, 0, nullptr);
    try {
        if (eightBit) {
            entry = bytes.c_str();  // stops at the first zero byte, as a C string does
        } else {
            std::wstring line = kelvaro::utf8::Decode(bytes);
            entry = line.c_str();
        }
    } catch (const CResourceSeaException&) {
        return 0;
    }
    CheckRebuild(reservoir, entry);
    // The self-test must answer or throw, never crash.
    try {
        (void)entry.Selbsttest(true);
    } catch (const CResourceSeaException&) {
    }
    return 0;
}
