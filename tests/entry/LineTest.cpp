// Rebuilding a changed entry's line, the line limit, handing the line text out
// (whole, value part, bounded copy, list entries), and the entry self-test
// (buffer check, the 1000-character limit, reconstruction, faults inside lists).
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "entry/EntryTestSupport.h"
#include "support/TestSupport.h"

namespace {

using namespace entrytest;

class LineTest : public EntryFixture {
protected:
    // A stale entry of the given status with the values as a program sets them.
    TestEntry Make(unsigned status, const wchar_t* name, const Texts& values) {
        TestEntry e(&m_reservoir, status & ~8u, name);
        e.SetStatus(status);
        for (const std::wstring& v : values)
            e.AddValue(v);
        e.MarkStale();
        return e;
    }
};

TEST_F(LineTest, RebuiltLines) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("rebuilt-lines.txt", 7)) {
        SCOPED_TRACE(row.Where() + " " + row.raw[0]);
        const std::wstring name = row.Text(2);
        TestEntry e = Make(static_cast<unsigned>(row.Number(1)), row.Null(2) ? nullptr : name.c_str(), row.List(3));
        e.SeeZeileErneuern();
        EXPECT_EQ(e.Line(), row.Text(4));
        EXPECT_EQ(e.ValueOffset(), static_cast<unsigned>(row.Number(5)));
        EXPECT_FALSE(e.RebuildPending());
        EXPECT_EQ(e.Values(), row.List(row.Null(6) ? 3 : 6));
    }
}

TEST_F(LineTest, LineLimit) {
    // "n:\t" + value + " " + terminator: a value of 4091 characters needs 4096.
    TestEntry fits = Make(0, L"n", {std::wstring(4091, L'x')});
    fits.SeeZeileErneuern();
    EXPECT_EQ(fits.Line().size(), 4095u);

    TestEntry over = Make(0, L"n", {std::wstring(4092, L'x')});
    ExpectSea([&] { over.SeeZeileErneuern(); }, 3u, L"n: maximum resource line lenght (4096) exceeded.");
    EXPECT_TRUE(over.RebuildPending());
    EXPECT_EQ(CatchSea([&] { Make(0, std::wstring(5000, L'h').c_str(), {}).SeeZeileErneuern(); }).m_code, 3u)
        << "a name that alone is too long";

    // A line read before keeps its text when the rebuild fails, again and again.
    TestEntry read = Read(L"n: 1");
    read.AddValue(std::wstring(5000, L'y'));
    read.MarkStale();
    EXPECT_EQ(CatchSea([&] { read.SeeZeileErneuern(); }).m_code, 3u);
    EXPECT_EQ(read.Line(), L"n: 1");
    EXPECT_EQ(read.ValuePart(), L"1");
    EXPECT_TRUE(read.RebuildPending());
    CString out;
    EXPECT_EQ(CatchSea([&] { read.GetLine(out); }).m_code, 3u);
}

TEST_F(LineTest, BuildNeverWritesPastTheBuffer) {
    wchar_t buffer[16];
    unsigned offset = 0;
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    TestEntry head = Make(0, L"a-rather-long-name", {L"v"});
    EXPECT_EQ(head.SeeZeileBilden(buffer, 8, offset), 21u);
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_EQ(std::count(buffer + 8, std::end(buffer), L'#'), 8);

    // "k:\taaaa bbbb " is 13 characters: with the terminator 14.
    TestEntry e = Make(0, L"k", {L"aaaa", L"bbbb"});
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(e.SeeZeileBilden(buffer, 14, offset), 14u);
    EXPECT_EQ(std::wstring(buffer), L"k:\taaaa bbbb ");
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(e.SeeZeileBilden(buffer, 13, offset), 14u);
    EXPECT_EQ(std::wstring(buffer), L"k:\taaaa ") << "the part built so far";
    EXPECT_EQ(std::count(buffer + 13, std::end(buffer), L'#'), 3);
}

TEST_F(LineTest, GetLineValuePartCCopiesLikeWcsncpy) {
    TestEntry e = Read(L"k: abc");
    wchar_t dst[8];
    std::fill(std::begin(dst), std::end(dst), L'#');
    e.GetLineValuePartC(dst, 3);
    EXPECT_EQ(std::wstring(dst, 4), L"abc#") << "no terminator when the text fills the destination";
    e.GetLineValuePartC(dst, 6);
    EXPECT_EQ(std::wstring(dst, 7), std::wstring(L"abc\0\0\0#", 7));
    e.GetLineValuePartC(dst, 2);
    EXPECT_EQ(std::wstring(dst, 3), L"abc") << "untouched beyond n";
}

TEST_F(LineTest, ListEntryText) {
    TestEntry list = Read(L"colors: {  ");
    list.ListenendeErzeugen();
    for (const wchar_t* line : {L"\tred 1 ", L"  ; note", L"blue \"a b\""})
        list.AddListLine(line, 14);
    CString out;
    list.GetLine(out);
    EXPECT_EQ(out.Str(), L"colors: {\nred 1\n; note\nblue \"a b\"\n} \t;-- colors");
    for (CResourceEntry* line : list.ListLines())
        EXPECT_TRUE(line->Accessed());
    // The value part as read is Lookup.GetLineGivesTheValuePartAsRead's; a rebuilt head has none.
    list.MarkStale();
    list.GetLineValuePart(out);
    EXPECT_EQ(out.Str(), L"\nred 1\n; note\nblue \"a b\"\n} \t;-- colors");
}

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
    const unsigned capacity = e.SetCapacity(0, 6);  // a buffer that does not hold its text
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
