// The entry self-test: buffer check, the 1000-character limit, reconstruction,
// and the wrapping of faults inside lists.
#include <gtest/gtest.h>

#include <string>

#include "entry/EntryTestSupport.h"

namespace {

using namespace entrytest;

const wchar_t* const kTooLong = L"Selbsttest n: Zeile l\u00e4nger als 1000 Zeichen.";

using SelfTestTest = EntryFixture;

// Lines read from text pass the self-test in the line round-trip test; here values set by a
// program, and the mapping they get on the way.
TEST_F(SelfTestTest, ConsistentEntriesPass) {
    TestEntry e = Read(L"n: 1");
    for (const wchar_t* value : {L"a b", L"", L"a\nb", L"q\u00A7", L"\t", L"v\vw", L"f\fg", L"{", L"}", L"\r"})
        e.AddValue(value);
    EXPECT_TRUE(e.Selbsttest(true));
    EXPECT_EQ(e.Line(), L"n: 1") << "the line and its flag are left alone";
    EXPECT_FALSE(e.RebuildPending());
    EXPECT_EQ(e.Values(),
              (Texts{L"1", L"a b", L"", L"a\u00B6b", L"q\"", L"\t", L"v\vw", L"f\fg", L"{", L"}", L"\u00AC"}));
}

TEST_F(SelfTestTest, LengthLimitAndBufferCheck) {
    // "n:\t" + value + " " + terminator: 995 characters of value need 1000.
    for (const std::size_t length : {995u, 996u, 7000u}) {
        SCOPED_TRACE(length);
        TestEntry e(&m_reservoir, 0, L"n");
        e.AddValue(std::wstring(length, L'x'));
        if (length == 995u)
            EXPECT_TRUE(e.Selbsttest(true));
        else
            ExpectSea([&] { e.Selbsttest(false); }, 0, kTooLong);
    }
    TestEntry e(&m_reservoir, 0, L"n");
    e.AddValue(L"abcdef");
    const unsigned capacity = e.Capacity(0);
    e.SetCapacity(0, 6);  // a buffer that does not hold its text
    ExpectSea([&] { e.Selbsttest(false); }, 0u, L"Selbsttest n: Allozierungsfehler.");
    e.SetCapacity(0, 7);
    EXPECT_TRUE(e.Selbsttest(false));
    e.SetCapacity(0, capacity);
}

TEST_F(SelfTestTest, FailedReconstructionsAndListLines) {
    TestEntry comment(&m_reservoir, 0, nullptr);
    EXPECT_EQ(CatchSea([&] { comment = L"a: 1 \"open"; }).m_code, 2u);
    EXPECT_TRUE(comment.Selbsttest(false));
    // A comment with a name.
    ExpectSea([&] { comment.Selbsttest(true); }, 0, L"Selbsttest a: Rekonstruktion fehlgeschlagen.");
    TestEntry e(&m_reservoir, 0, L"x:\\y");
    e.AddValue(L"1");
    ExpectSea([&] { e.Selbsttest(true); }, 2, L"No identifier (':' missing)");

    TestEntry list = Read(L"colors: {");
    list.ListenendeErzeugen();
    // A list line made a comment with a text reads back as a comment without
    // values, so its own reconstruction fails; the list does not reconstruct it.
    CResourceEntry* line = list.AddListLine(14, nullptr);
    line->SetToComment(L"a b");
    EXPECT_EQ(CatchSea([&] { line->Selbsttest(true); }).m_code, 0u);
    EXPECT_TRUE(list.Selbsttest(true));

    TestEntry longLine(&m_reservoir, 16, nullptr);
    longLine.AddValue(std::wstring(1200, L'z'));
    *list.AddListLine(14, nullptr) = longLine;
    ExpectSea([&] { list.Selbsttest(false); }, 0,
              L"Selbsttest colors: Listen-Eintrag defekt:\nSelbsttest : Zeile l\u00e4nger als 1000 Zeichen.");
}

}  // namespace
