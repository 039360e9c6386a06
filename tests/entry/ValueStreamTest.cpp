// The stream form of one value text (ResourceSea::operator<< and >>).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kelvaro/entry/ResourceSeaStreams.h"
#include "support/TestSupport.h"

namespace {

using ResourceSea::operator<<;
using ResourceSea::operator>>;

TEST(ValueStreamTest, WritesOneTokenAndReadsTokens)
{
    for (const testsupport::CaseRow& row : testsupport::ReadCases("value-stream.txt", 3)) {
        SCOPED_TRACE(row.Where());
        if (row.raw[0] == "write") {
            std::wostringstream out;
            out << CString(row.Text(1).c_str());
            EXPECT_EQ(out.str(), row.Text(2));
            continue;
        }
        std::wistringstream in(row.Text(1));
        std::vector<std::wstring> tokens;
        CString token(L"stale");
        while (in >> token)
            tokens.push_back(token.Str());
        EXPECT_EQ(tokens, row.List(2));
        EXPECT_TRUE(token.IsEmpty()) << "the failed read at the end empties the target";
    }
}

}  // namespace
