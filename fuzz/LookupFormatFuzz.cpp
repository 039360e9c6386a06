// Fuzzes the format string of CResourceSea::Lookup and Get. Every variadic
// argument is a pointer, and the harness passes 16 pointers to zeroed buffers
// large enough for any element (a %s buffer holds a whole value text), so any
// format with at most 16 '%' has targets of sufficient size: the format is
// built from the input through a token table and refused with more '%'.
#include <array>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/platform/Utf.h"

namespace {

constexpr const wchar_t* kTokens[] = {
    L"%s", L"%d", L"%ld", L"%f", L"%lf", L"%x", L"%lx", L"%c", L"%lc", L" ", L"\t", L",",
    L"%", L"%l", L"%q", L"%%", L"%5d", L"%ls", L"%I64x", L"%u", L"x", L"%-s", L"%ll", L"%lld",
};
constexpr std::size_t kTargets = 16;
// Longer than any value: values come from a line cut to the input size.
constexpr std::size_t kSlotChars = 4096;

struct alignas(16) Slot {
    wchar_t text[kSlotChars];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 2000)
        return 0;
    const int modes[] = {lookup::read, lookup::write, lookup::readExisting, lookup::remove, 0, 5};
    const int mode = modes[data[0] % 6];
    const bool useGet = (data[0] & 0x80) != 0;
    // Value part up to the first zero byte, format tokens after it.
    std::size_t split = 1;
    while (split < size && data[split] != 0)
        ++split;
    const std::wstring values =
        kelvaro::utf8::Decode(std::string_view(reinterpret_cast<const char*>(data) + 1, split - 1));
    std::wstring format;
    for (std::size_t i = split + 1; i < size; ++i)
        format += kTokens[data[i] % std::size(kTokens)];
    std::size_t percents = 0;
    for (wchar_t c : format)
        percents += c == L'%';
    if (percents > kTargets)
        return 0;

    static std::vector<Slot> slots(kTargets);
    for (Slot& slot : slots)
        std::fill(std::begin(slot.text), std::end(slot.text), L'\0');
    // Write mode reads the %s targets as texts: give some of them one.
    const wchar_t* sample = L"abc \"q\" 12";
    for (std::size_t i = 0; i < kTargets; i += 2)
        std::copy(sample, sample + std::char_traits<wchar_t>::length(sample), slots[i].text);

    fuzzsupport::CountReports quiet;
    CResourceSea sea(31);
    try {
        sea.SetLine(L"k", values.c_str());
    } catch (const CResourceSeaException&) {
        return 0;
    }
    void* p[kTargets];
    for (std::size_t i = 0; i < kTargets; ++i)
        p[i] = slots[i].text;
    try {
        if (useGet)
            (void)sea.Get(L"k", format.c_str(), p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9],
                          p[10], p[11], p[12], p[13], p[14], p[15]);
        else
            (void)sea.Lookup(mode, L"k", format.c_str(), p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8],
                             p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    } catch (const CResourceSeaException&) {
    }
    // Whatever the values became, the sea still holds together.
    CString line;
    try {
        (void)sea.GetLine(L"k", line);
        (void)sea.SelfTest();
    } catch (const CResourceSeaException&) {
    }
    return 0;
}
