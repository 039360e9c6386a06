// Lines whose characters all fit one byte are kept narrow, and must behave as wide lines, in both encodings.
#include "sea/SeaTestSupport.h"

namespace {

using namespace seatest;

// Not narrow: the euro sign, U+20AC, is byte 0x80 in code page 1252.
Lines SeaLines(bool unicode) {
    return {
        L"gr\u00F6\u00DFe:\t12 \"a b\" x\u00A7y",  // Latin-1 name, quoted value, '§' stand-in
        L"plain: 1 2 3",
        unicode ? L"wide: \u20AC 5" : L"wide: \u0080 5",
        L"bad: \"open",  // does not parse: kept as it was
        L"list: {",
        L"\t\u00E4",
        L"}",
    };
}

TEST(NarrowLine, ReadsChangesAndWritesBackAsAWideLine) {
    for (const bool unicode : {true, false}) {
        SCOPED_TRACE(unicode ? "UTF-16" : "code page 1252");
        ScratchDir dir;
        auto bytesOf = [unicode](const Lines& lines) { return unicode ? SeaUtf16(lines) : Sea1252(lines); };
        Lines lines = SeaLines(unicode);
        WriteBytes(dir.Path("t.sea"), bytesOf(lines));
        TestSea sea;
        sea.SaveAsUnicode(unicode);
        CaptureOutput capture;
        ASSERT_TRUE(sea.Create(dir.Wide("t.sea"), false));
        const wchar_t* latin = L"gr\u00F6\u00DFe";
        EXPECT_EQ(sea.Values({{latin, 0}, {latin, 1}, {latin, 2}, {L"plain", 2}, {L"wide", 0}, {L"bad", 0}}),
                  (Lines{L"12", L"a b", L"x\"y", L"3", L"\u20AC", L"<missing>"}));
        EXPECT_EQ(sea.Text(latin), lines[0]);
        EXPECT_EQ(sea.ListLines(L"list"), Lines{L"\u00E4"});
        const CResourceEntry copy(*sea.GetEntry(latin));
        EXPECT_EQ(Lines({copy.Name().Str(), copy.GetString(1).Str()}), (Lines{latin, L"a b"}));
        // Unchanged, every line comes back as it was.
        ASSERT_TRUE(sea.UpdateIfPossible());
        EXPECT_EQ(ReadBytes(dir.Path("t.sea")), bytesOf(lines));

        sea.GetEntry(L"plain")->SetInt(7, 1);
        EXPECT_TRUE(sea.Delete(latin) == 1 && sea.GetEntry(latin) == nullptr);
        lines.erase(lines.begin());
        lines[0] = L"plain:\t1 7 3 ";
        ASSERT_TRUE(sea.UpdateIfPossible());
        EXPECT_EQ(ReadBytes(dir.Path("t.sea")), bytesOf(lines));
    }
}

}  // namespace
