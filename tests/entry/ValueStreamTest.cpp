// The stream form of one value text (ResourceSea::operator<< and >>).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kelvaro/entry/ResourceSeaStreams.h"

namespace {

using ResourceSea::operator<<;
using ResourceSea::operator>>;

TEST(ValueStreamTest, WritesOneTokenAndReadsTokens)
{
    const struct { const wchar_t* text; const wchar_t* written; } written[] = {
        {L"", L"\"\""}, {L"abc", L"abc"}, {L"a\tb", L"\"a\tb\""}, {L"x\n", L"\"x\n\""},
        {L"a\"b c", L"\"a\"b c\""},  // quotes inside are not escaped
    };
    for (const auto& c : written) {
        std::wostringstream out;
        out << CString(c.text);
        EXPECT_EQ(out.str(), c.written);
    }
    const struct { const wchar_t* input; std::vector<std::wstring> tokens; } read[] = {
        {L"  \t\n ", {}}, {L"  abc def\t", {L"abc", L"def"}}, {L"\"\" \"\"", {L"", L""}},
        {L"\"open end", {L"open end"}}, {L"ab\"cd ef", {L"ab\"cd", L"ef"}}, {L"\"q\"next", {L"q", L"next"}},
    };
    for (const auto& c : read) {
        SCOPED_TRACE(testing::Message() << std::wstring(c.input));
        std::wistringstream in(c.input);
        std::vector<std::wstring> tokens;
        CString token(L"stale");
        while (in >> token)
            tokens.push_back(token.Str());
        EXPECT_EQ(tokens, c.tokens);
        EXPECT_TRUE(token.IsEmpty()) << "the failed read at the end empties the target";
    }
}

}  // namespace
