// The stream form of one value text (ResourceSea::operator<< and >>).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kelvaro/entry/ResourceSeaStreams.h"

namespace {

using ResourceSea::operator<<;
using ResourceSea::operator>>;

TEST(ValueStreamTest, WritesOneToken) {
    const struct { const wchar_t* text; const wchar_t* written; } cases[] = {
        {L"", L"\"\""}, {L"abc", L"abc"}, {L"a b", L"\"a b\""}, {L"a\tb", L"\"a\tb\""}, {L"x\n", L"\"x\n\""},
        {L"a\"b", L"a\"b"}, {L"a\"b c", L"\"a\"b c\""},  // quotes inside are not escaped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::wstring(c.text));
        std::wostringstream out;
        out << CString(c.text);
        EXPECT_EQ(out.str(), c.written);
    }
}

TEST(ValueStreamTest, ReadsTokens) {
    const struct { const wchar_t* input; std::vector<std::wstring> tokens; } cases[] = {
        {L"", {}}, {L"  \t\n ", {}}, {L"  abc def\t", {L"abc", L"def"}}, {L"\"a b\" x", {L"a b", L"x"}},
        {L"\"\"", {L""}}, {L"\"\" \"\"", {L"", L""}}, {L"\"open end", {L"open end"}},
        {L"ab\"cd ef", {L"ab\"cd", L"ef"}}, {L"\"q\"next", {L"q", L"next"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::wstring(c.input));
        std::wistringstream in(c.input);
        std::vector<std::wstring> tokens;
        CString token(L"stale");
        while (in >> token)
            tokens.push_back(token.Str());
        EXPECT_EQ(tokens, c.tokens);
        EXPECT_TRUE(token.IsEmpty());  // the failed read at the end empties the target
    }
}

TEST(ValueStreamTest, WrittenTokensReadBack) {
    const std::vector<std::wstring> texts = {L"plain", L"", L"with blank", L"tab\there", L"last"};
    std::wostringstream out;
    for (const auto& t : texts)
        out << CString(t) << L' ';
    std::wistringstream in(out.str());
    std::vector<std::wstring> read;
    for (CString token; in >> token;)
        read.push_back(token.Str());
    EXPECT_EQ(read, texts);
}

}  // namespace
