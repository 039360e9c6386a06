// The UTF-16 and UTF-8 codecs: boundary characters, every scalar value, what is no scalar value,
// and malformed input.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "kelvaro/platform/Utf.h"
#include "support/TestSupport.h"

namespace {

// UTF-16BE from UTF-16LE: each pair of bytes swapped.
std::string Swapped(std::string bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

TEST(Utf, BoundaryCharactersAndMalformedInput) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("utf.txt", 4)) {
        SCOPED_TRACE(row.Where());
        if (row.raw[0] == "encode" || row.raw[0] == "unwritable") {
            const std::wstring text(1, static_cast<wchar_t>(row.Number(1)));
            const std::string le = row.Bytes(2);
            EXPECT_EQ(kelvaro::utf16::EncodeLE(text), le);
            EXPECT_EQ(kelvaro::utf16::EncodeBE(text), Swapped(le));
            EXPECT_EQ(kelvaro::utf8::Encode(text), row.Bytes(3));
            if (row.raw[0] == "unwritable") continue;
            EXPECT_EQ(kelvaro::utf16::DecodeLE(le), text);
            EXPECT_EQ(kelvaro::utf16::DecodeBE(Swapped(le)), text);
            EXPECT_EQ(kelvaro::utf8::Decode(row.Bytes(3)), text);
        } else if (row.raw[0] == "utf16") {
            EXPECT_EQ(kelvaro::utf16::DecodeLE(row.Bytes(2)), row.Text(3));
        } else {
            EXPECT_EQ(kelvaro::utf8::Decode(row.Bytes(2)), row.Text(3));
        }
    }
}

TEST(Utf, EveryScalarValueRoundTrips) {
    std::wstring all;
    for (char32_t c = 0; c <= 0x10FFFF; ++c)
        if (c < 0xD800 || c > 0xDFFF) all.push_back(static_cast<wchar_t>(c));
    EXPECT_EQ(kelvaro::utf16::DecodeLE(kelvaro::utf16::EncodeLE(all)), all);
    EXPECT_EQ(kelvaro::utf16::DecodeBE(kelvaro::utf16::EncodeBE(all)), all);
    EXPECT_EQ(kelvaro::utf8::Decode(kelvaro::utf8::Encode(all)), all);
}

} // namespace
