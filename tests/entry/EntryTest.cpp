// The entry model: copy, comparison, clearing, list navigation, line assignment,
// the conversion buffers. List entries: reading list lines (with the recovery after
// a syntax error), adding, writing and appending lists. The value reservoir, and
// the arena a sea reads its entries into: reuse, growth, and a reset only when empty.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>
#include <thread>

#include "entry/EntryTestSupport.h"
#include "kelvaro/entry/SeaArena.h"
#include "kelvaro/platform/Pages.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "support/TestSupport.h"

namespace {

using namespace entrytest;

using EntryTest = EntryFixture;

TEST_F(EntryTest, ComparisonAndCopiesAndAssignmentsOwnTheirLinesAndValues) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("entry-comparison.txt", 6)) {
        SCOPED_TRACE(row.Where());
        TestEntry a = Read(row.Text(0).c_str()), b = Read(row.Text(1).c_str());
        b.SetStatus(b.Status() | static_cast<unsigned>(row.Number(2)));
        for (const std::wstring& line : row.List(4)) a.AddListLine(line.c_str(), 14);
        for (const std::wstring& line : row.List(5)) b.AddListLine(line.c_str(), 14);
        EXPECT_EQ(a == b, row.Flag(3));
        EXPECT_EQ(b != a, !row.Flag(3));
    }

    TestEntry e = Read(L"  name:   1 \"two words\" three");
    e.SetModified();
    TestEntry c(e);
    EXPECT_EQ(c.Status(), e.Status());
    EXPECT_NE(c.LinePtr(), e.LinePtr());
    EXPECT_EQ(c.ValuePart(), L"1 \"two words\" three");
    const wchar_t* line = e.LinePtr();
    e = static_cast<const CResourceEntry&>(e);
    EXPECT_EQ(e.LinePtr(), line) << "self-assignment changes nothing";
    EXPECT_EQ(e.Values(), (Texts{L"1", L"two words", L"three"}));
    EXPECT_EQ(c.Values(), e.Values());

    CResValueReservoir other(4);
    TestEntry list(&other, 0, nullptr);
    MakeList(list, L"colors: { +", {L"red 1", L"; note", L"green 2"});
    list.ResetModified();
    TestEntry copy(list);
    EXPECT_TRUE(copy.Modified());
    ASSERT_EQ(copy.ListCount(), 3);
    const auto original = list.ListLines(), copied = copy.ListLines();
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(copied[i], original[i]);
        EXPECT_EQ(LineOf(*copied[i]), LineOf(*original[i]));
        EXPECT_EQ(ValuesOf(*copied[i]), ValuesOf(*original[i]));
    }
    ASSERT_TRUE(copy.ListEnd() != nullptr && copy.ListEnd() != list.ListEnd());
    EXPECT_EQ(LineOf(*copy.ListEnd()), L"} \t;-- colors");
    EXPECT_FALSE(list.Modified()) << "the original is not touched";

    TestEntry target(&m_reservoir, 8, L"old");
    CResourceEntry* keptEnd = target.ListEnd();
    target.AddListLine(L"gone", 14);
    target = list;
    EXPECT_EQ(target.Reservoir(), &m_reservoir) << "an assigned entry keeps its own reservoir";
    EXPECT_TRUE(target.IsListContinued() && target.Modified());
    EXPECT_EQ(target.ListEnd(), keptEnd) << "the closing line is reused";
    EXPECT_EQ(LineOf(*keptEnd), L"} \t;-- colors");
    ASSERT_EQ(target.ListCount(), 3);
    EXPECT_EQ(ValuesOf(*target.ListLines()[2]), (Texts{L"green", L"2"}));
}

// Clearing keeps the kind and the closing line for reuse.
TEST_F(EntryTest, ClearingAndLineAssignment) {
    TestEntry list(&m_reservoir, 0, nullptr);
    MakeList(list, L"colors: {", {L"a 1", L"b 2"});
    CResourceEntry* end = list.ListEnd();
    const unsigned status = list.Status();
    list.SubListeLoeschen(false);
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_TRUE(list.Status() == status && list.Line() == L"colors: {");

    list.AddListLine(L"c 3", 14);
    list.SetStatus(list.Status() | 128 | 2 | 1);
    list.InhalteLoeschen(false);
    EXPECT_EQ(list.Status(), 8u) << "only the kind bits stay";
    EXPECT_TRUE(list.ListCount() == 0 && list.Name().IsEmpty());
    ASSERT_EQ(list.ListEnd(), end);
    EXPECT_EQ(LineOf(*end), L"");
    list = L"shades: {";
    list.ListenendeErzeugen();
    EXPECT_EQ(list.ListEnd(), end) << "the closing line is reused";
    EXPECT_EQ(LineOf(*end), L"} \t;-- shades");
    list.InhalteLoeschen(true);
    EXPECT_EQ(list.ListEnd(), nullptr);

    MakeList(list, L"l: {", {L"a", L"b"});
    const auto lines = list.ListLines();
    POSITION pos = list.TailPosition();
    EXPECT_EQ(list.PrevListenZeile(pos), lines[1]);
    EXPECT_EQ(list.PrevListenZeile(pos), lines[0]);
    EXPECT_THROW(list.NextListenZeile(pos), std::invalid_argument) << "past the head";
    EXPECT_THROW(list.PrevListenZeile(pos), std::invalid_argument);

    TestEntry e(&m_reservoir, 0, nullptr);
    MakeList(e, L"a-long-name: {", {L"a", L"b"});
    const wchar_t* buffer = e.LinePtr();
    e = L"k: 1";
    EXPECT_EQ(e.LinePtr(), buffer) << "a line that fits reuses the buffer";
    EXPECT_TRUE(e.ListCount() == 0 && !e.IsListEntry() && !e.Modified());
    EXPECT_EQ(e.Values(), Texts{L"1"});
    e = L"a-longer-name: with several values in it, longer";
    EXPECT_EQ(e.Values(), (Texts{L"with", L"several", L"values", L"in", L"it,", L"longer"}));
    // The entry's own line may be assigned to it.
    e = L"xx  k: v";
    e = e.LinePtr() + 4;
    EXPECT_EQ(e.Line(), L"k: v");
    EXPECT_EQ(e.Name(), L"k");
    EXPECT_EQ(e.Values(), Texts{L"v"});
}

// A text of a case row; "N*c" is N times the character c.
std::wstring Repeated(const testsupport::CaseRow& row, std::size_t i) {
    const std::wstring text = row.Text(i);
    const std::size_t star = text.find(L'*');
    return star == std::wstring::npos ? text : std::wstring(std::stoul(text.substr(0, star)), text.back());
}

TEST_F(EntryTest, ConversionBuffersAlsoUnderConcurrentUse) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("entry-conversions.txt", 5)) {
        SCOPED_TRACE(row.Where());
        const auto codePage = static_cast<unsigned>(row.Number(1));
        const std::wstring text = Repeated(row, 2), converted = Repeated(row, 4);
        const std::string bytes(text.begin(), text.end()), convertedBytes(converted.begin(), converted.end());
        if (row.raw[0] == "wide") {
            EXPECT_EQ(CResourceEntry::KonvertiereNachWChar(bytes.c_str(), codePage), row.Number(3));
            if (row.Number(3) > 0) { EXPECT_EQ(CResourceEntry::g_wcharConvert, converted); }
        } else {
            EXPECT_EQ(CResourceEntry::KonvertiereNachChar(row.Null(2) ? nullptr : text.c_str(), codePage), row.Number(3));
            if (row.Number(3) > 0) { EXPECT_EQ(std::string(CResourceEntry::g_charConvert), convertedBytes); }
        }
        EXPECT_TRUE(CResourceEntry::g_convertBlock.IsLocked()) << "also a failed conversion keeps the lock";
        CResourceEntry::KonversionFreigeben();
        EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());
    }
    CResourceEntry::KonversionFreigeben();  // a release without a holder is harmless
    EXPECT_FALSE(CResourceEntry::g_convertBlock.IsLocked());

    std::atomic<int> broken{0};
    auto worker = [&broken](char letter) {
        const std::string text(100, letter);
        const std::wstring expected(100, static_cast<wchar_t>(letter));
        for (int i = 0; i < 2000; ++i) {
            const int n = CResourceEntry::KonvertiereNachWChar(text.c_str(), 1252);
            std::this_thread::yield();
            if (n != 101 || expected != CResourceEntry::g_wcharConvert) ++broken;
            CResourceEntry::KonversionFreigeben();
        }
    };
    std::thread a(worker, 'a'), b(worker, 'b');
    a.join();
    b.join();
    EXPECT_EQ(broken.load(), 0);
}

using Lines = std::vector<std::wstring>;

class ListTest : public EntryFixture {
protected:
    testsupport::ScratchDir m_dir;
    // The line texts of the list's lines, as kept (trimmed: as GetLine gives them).
    static Lines LinesOf(const TestEntry& list, bool trimmed = false) {
        Lines out;
        for (CResourceEntry* line : list.ListLines()) out.push_back(trimmed ? GetLineOf(*line) : LineOf(*line));
        return out;
    }
    // Writes `lines` as a sea file and opens it for reading after the byte-order mark.
    void OpenWith(CUnicodeFile& file, const Lines& lines) {
        testsupport::WriteBytes(m_dir.Path("list.sea"), testsupport::SeaUtf16(lines));
        ASSERT_NE(file.Open(m_dir.Wide("list.sea"), CUnicodeFile::modeRead), 0);
        file.ReadBOM();
    }
    static std::wstring NextLine(CUnicodeFile& file) {
        wchar_t buffer[8192];
        return file.ReadNextLine(buffer, 8192) ? std::wstring(buffer) : L"<eof>";
    }
};

TEST_F(ListTest, ReadingListLinesWhichKeepTheirKindsAndANonListReadsNone) {
    const std::map<std::string, std::pair<const wchar_t*, unsigned>> errors = {
        {"E", {L"Empty identifier (name before ':' missing)", 2}}, {"L", {L"Max. line length 8192 exceeded", 1}},
        {"N", {L"List not terminated ('}' missing)", 2}},
    };
    for (const testsupport::CaseRow& row : testsupport::ReadCases("list-reading.txt", 8)) {
        SCOPED_TRACE(row.Where());
        Lines lines = row.List(2);
        for (std::wstring& line : lines)
            if (line == L"<long>") line.assign(9000, L'x');
        CUnicodeFile file;
        OpenWith(file, lines);
        TestEntry list = Read(L"l: {");
        for (const std::wstring& line : row.List(0)) list.AddListLine(line.c_str(), 14);
        if (row.raw[0] != "-") list.ListenendeErzeugen();
        int consumed = -1;
        if (row.Null(3))
            EXPECT_EQ(list.ReadListLines(file, row.Flag(1), &consumed), row.Number(4));
        else
            ExpectSea([&] { list.ReadListLines(file, row.Flag(1), &consumed); }, errors.at(row.raw[3]).second,
                      errors.at(row.raw[3]).first);
        EXPECT_EQ(consumed, row.Number(4));
        EXPECT_EQ(LinesOf(list), row.List(5));
        if (!row.Null(6)) {
            ASSERT_NE(list.ListEnd(), nullptr);
            EXPECT_TRUE(LineOf(*list.ListEnd()) == row.Text(6) && list.ListEnd()->IsListEnd());
        }
        EXPECT_EQ(NextLine(file), row.Text(7)) << "nothing after the list is swallowed";
    }

    CUnicodeFile file;
    OpenWith(file, {L"\ta 1", L"; note", L"\t\"dark blue\" 2", L": bad", L"\tb 2", L"\t\"open", L"}"});
    TestEntry list = Read(L"colors: {");
    EXPECT_EQ(CatchSea([&] { list.ReadListLines(file, false); }).m_code, 2u);
    // The faulty line is kept as a flagged comment (0x84), the lines after it as plain comments
    // (0x04) to be written back as they were.
    std::vector<unsigned> kinds;
    for (CResourceEntry* line : list.ListLines()) kinds.push_back(line->Status() & 0xFC);
    EXPECT_EQ(kinds, (std::vector<unsigned>{16, 0x14, 16, 0x94, 0x14, 0x14}));
    EXPECT_EQ(ValuesOf(*list.ListLines()[2]), (Texts{L"dark blue", L"2"}));

    file.Close();
    OpenWith(file, {L"a 1", L"}"});
    TestEntry plain = Read(L"p: 1");
    int consumed = -1;
    ExpectSea([&] { plain.ReadListLines(file, false, &consumed); }, 4, L"trying to read list lines from non-list entry!");
    EXPECT_TRUE(consumed == 0 && plain.Values() == Texts{L"1"});
    EXPECT_EQ(NextLine(file), L"a 1");
}

TEST_F(ListTest, AddListLineByModeWithTextOrCopy) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("list-add-modes.txt", 3)) {
        SCOPED_TRACE(row.Where());
        TestEntry list(&m_reservoir, 8, L"l");
        for (const wchar_t* text : {L"a", L"b", L"c"}) list.AddListLine(text, 14);
        list.ClearFlags();
        POSITION pos = row.Number(1) >= 0 ? list.HeadPosition() : nullptr;
        for (int i = 0; i < row.Number(1); ++i) list.NextListenZeile(pos);
        CResourceEntry* added = list.AddListLine(static_cast<int>(row.Number(0)), pos);
        ASSERT_NE(added, nullptr);
        EXPECT_EQ(added->Status(), 16u);
        *added = L"*";
        EXPECT_EQ(LinesOf(list), row.List(2));
        EXPECT_TRUE(list.Modified());
    }
    TestEntry list(&m_reservoir, 8, L"colors");
    list.AddListLine(L"a", 14);
    list.ResetModified();
    ExpectSea([&] { list.AddListLine(17, nullptr); }, 4u, L"colors: tried to add list line with mode = 17.");
    EXPECT_TRUE(list.ListCount() == 1 && !list.Modified());
    // With a text or a copy.
    for (const int mode : {14, 15, 16, 18, 0}) {
        SCOPED_TRACE(mode);
        TestEntry texts(&m_reservoir, 8, L"l");
        texts.AddListLine(L"a", 14);
        ASSERT_NE(texts.AddListLine(L"*", mode), nullptr);
        EXPECT_EQ(LinesOf(texts), mode == 15 ? (Lines{L"*", L"a"}) : (Lines{L"a", L"*"}));
    }
    TestEntry bad(&m_reservoir, 8, L"l");
    EXPECT_EQ(CatchSea([&] { bad.AddListLine(L"\"open", 14); }).m_code, 2u);
    ASSERT_EQ(bad.ListCount(), 1) << "the bad line is in the list";
    EXPECT_TRUE(bad.ListLines()[0]->SyntaxError() && bad.Modified());

    TestEntry source = Read(L"b: 1 2");
    CResourceEntry* copy = bad.AddListLine(source, bad.HeadPosition());
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->IsListLine() && bad.ListLines()[1] == copy);
    EXPECT_EQ(ValuesOf(*copy), (Texts{L"1", L"2"}));

    TestEntry plain(&m_reservoir, 0, L"p");
    for (CResourceEntry* added : {plain.AddListLine(14, nullptr), plain.AddListLine(99, nullptr),
                                  plain.AddListLine(L"x", 14), plain.AddListLine(source, nullptr)})
        EXPECT_EQ(added, nullptr) << "a plain entry takes no list line";
    EXPECT_EQ(plain.Status(), 0u);
}

TEST_F(ListTest, WritingAndConcatenation) {
    TestEntry list = Read(L"colors:   {");
    for (const wchar_t* line : {L"  red  1", L"; note"}) list.AddListLine(line, 14);
    list.AddListLine(L"green 2", 14)->SetText(L"3", 1);
    CUnicodeFile file;
    ASSERT_NE(file.Open(m_dir.Wide("out.sea"), CUnicodeFile::modeCreate | CUnicodeFile::modeWrite), 0);
    file.WriteBOM();
    EXPECT_TRUE(list.WriteToSeaFile(file) && file.Close());
    EXPECT_EQ(testsupport::ReadBytes(m_dir.Path("out.sea")),
              testsupport::SeaUtf16({L"colors:   {", L"  red  1", L"; note", L"\tgreen 3 ", L"} \t;-- colors"}))
        << "unchanged lines as read, a closing line made for the list";
    CUnicodeFile closed;
    EXPECT_FALSE(Read(L"a: 1").WriteToSeaFile(closed));

    TestEntry target(&m_reservoir, 8, L"t");
    target.AddListLine(L"a", 14);
    target.ClearFlags();
    CResValueReservoir otherReservoir(4);
    TestEntry source(&otherReservoir, 8, L"s");
    for (const wchar_t* text : {L"c 1", L"; d"}) source.AddListLine(text, 14);
    target += source;
    EXPECT_EQ(LinesOf(target, true), (Lines{L"a", L"c 1", L"; d"}));
    EXPECT_TRUE(!target.Modified() && target.Accessed());
    EXPECT_EQ(source.ListCount(), 2);
    for (CResourceEntry* line : target.ListLines())
        EXPECT_EQ(TestEntry(*line).Reservoir(), &m_reservoir) << "the copies live in the target's reservoir";
    EXPECT_EQ(LineOf(*target.ListEnd()), L"} \t;-- t");

    target += target;  // counted first: doubled once, not chased forever
    EXPECT_EQ(LinesOf(target, true), (Lines{L"a", L"c 1", L"; d", L"a", L"c 1", L"; d"}));

    TestEntry plain(&m_reservoir, 0, L"p");
    ExpectSea([&] { target += plain; }, 2u, L"Illegal list concatenation");
    ExpectSea([&] { plain += target; }, 2u, L"Illegal list concatenation");
    EXPECT_TRUE(target.ListCount() == 6 && plain.Status() == 0u);
}

using Buffer = CResValueReservoir::Buffer;

TEST(ReservoirTest, BuffersComeBackWithTheirRoundedCapacityAreRecycledAndFoundInTheLargeList) {
    const struct { unsigned need, capacity; } cases[] = {{0, 16}, {16, 16}, {17, 32}, {33, 48}, {1000, 1008}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.need);
        CResValueReservoir r(0);
        Buffer b = r.Take(c.need);
        EXPECT_EQ(b.second, c.capacity);
        r.GiveBack(b);
        EXPECT_EQ(r.Take(c.need).first, b.first) << "the buffer given back is taken again";
        r.GiveBack(b);
    }
    EXPECT_THROW(CResValueReservoir::RoundedCapacity(0xFFFFFFFFu), std::bad_alloc);
    CResValueReservoir r(3);
    Buffer small = r.Take(1);
    EXPECT_EQ(r.SmallCount(), 2u) << "taken from those made in advance";
    r.GiveBack(small);
    EXPECT_EQ(r.Take(16).first, small.first) << "the last given back is taken first";
    r.GiveBack(small);
    r.GiveBack(Buffer{nullptr, 16});
    EXPECT_EQ(r.SmallCount(), 3u) << "a null buffer is ignored";

    CResValueReservoir warm(64);
    TestEntry e(&warm, 0, nullptr);
    e = L"key_000123:\t42 3.5 word ";
    std::set<const wchar_t*> seen;
    for (unsigned i = 0; i < e.NValues(); ++i) seen.insert(e.Buffer(i));
    const unsigned smallAfterWarmUp = warm.SmallCount();
    for (int round = 0; round < 100; ++round) {
        e = L"key_000123:\t42 3.5 word ";
        for (unsigned i = 0; i < e.NValues(); ++i)
            ASSERT_EQ(seen.count(e.Buffer(i)), 1u) << "a recycled buffer";
        ASSERT_EQ(warm.SmallCount(), smallAfterWarmUp) << "no buffer lost";
    }

    for (const testsupport::CaseRow& row : testsupport::ReadCases("reservoir-large-list.txt", 5)) {
        SCOPED_TRACE(row.Where());
        CResValueReservoir r(0);
        for (const std::wstring& cap : row.List(1))
            r.GiveBack(CResValueReservoir::AllocateBuffer(static_cast<unsigned>(std::stoul(cap))));
        Buffer b = r.Take(static_cast<unsigned>(row.Number(2)));
        EXPECT_EQ(b.second, row.Number(3));
        std::vector<std::wstring> after;
        for (unsigned i = 0; i < r.LargeCount(); ++i)
            after.push_back(std::to_wstring(r.LargeCapacityAt(i)));
        EXPECT_EQ(after, row.List(4));
        CResValueReservoir::FreeBuffer(b);
    }
}

TEST(SeaArenaTest, BlocksAreReusedChunksGrowUntilResetHugePagesAreZeroedAndEntriesGiveBlocksBack) {
    const auto address = [](const void* p) { return reinterpret_cast<std::uintptr_t>(p); };
    CSeaArena arena;
    EXPECT_EQ(arena.ReservedBytes(), 0u) << "nothing is taken before the first request";
    void* a = arena.TakeBlock(100);
    void* b = arena.TakeBlock(100);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    EXPECT_TRUE(address(a) % 16 == 0 && address(b) % 8 == 0);
    EXPECT_GE(static_cast<char*>(b) - static_cast<char*>(a), 100) << "blocks do not overlap";
    EXPECT_EQ(arena.TakeBlock(200), nullptr) << "one block size per arena";
    EXPECT_EQ(arena.Allocate(CSeaArena::kLargestRequest + 1), nullptr) << "large requests go to the heap";
    arena.GiveBackBlock(a);
    EXPECT_EQ(arena.TakeBlock(100), a) << "a block given back is the next one taken";
    EXPECT_EQ(arena.LiveBlocks(), 2u);
    EXPECT_FALSE(arena.ResetIfUnused()) << "blocks are alive";
    // Filling several megabytes: every piece distinct, chunks up to huge pages.
    std::set<void*> pieces;
    for (int i = 0; i < 40000; ++i) {
        void* p = arena.Allocate(120);
        ASSERT_NE(p, nullptr);
        static_cast<char*>(p)[119] = 1;  // writable to its end
        pieces.insert(p);
    }
    EXPECT_EQ(pieces.size(), 40000u);
    EXPECT_GE(arena.ReservedBytes(), 40000u * 128u);
    // Byte texts pack; what follows them is aligned again.
    auto* t1 = static_cast<char*>(arena.Allocate(3, 1));
    auto* t2 = static_cast<char*>(arena.Allocate(5, 1));
    auto* aligned = static_cast<char*>(arena.Allocate(8));
    ASSERT_TRUE(t1 != nullptr && t2 != nullptr && aligned != nullptr);
    EXPECT_EQ(t2 - t1, 3);
    EXPECT_TRUE(address(aligned) % 16 == 0 && aligned >= t2 + 5);
    EXPECT_EQ(arena.Allocate(4, 3), nullptr) << "not a power of two";

    arena.GiveBackBlock(a);
    arena.GiveBackBlock(b);
    EXPECT_TRUE(arena.ResetIfUnused() && arena.ReservedBytes() == 0u);
    EXPECT_NE(arena.TakeBlock(64), nullptr) << "after a reset the block size may change";
    EXPECT_EQ(arena.LiveBlocks(), 1u);
    arena.GiveBackBlock(arena.TakeBlock(64));

    const std::size_t size = kelvaro::pages::kHugePageSize;
    auto* block = static_cast<unsigned char*>(kelvaro::pages::Allocate(size, true));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(address(block) % size, 0u);
    EXPECT_EQ(block[0] | block[size / 2] | block[size - 1], 0);
    block[size - 1] = 7;
    kelvaro::pages::Free(block, size);
    EXPECT_EQ(kelvaro::pages::Allocate(size + 1, true), nullptr) << "huge blocks come in whole huge pages";
    EXPECT_EQ(kelvaro::pages::Allocate(0, false), nullptr);

    CResValueReservoir reservoir(4);
    CResourceEntry* entry = CResourceEntry::NewInArena(&reservoir, 0);
    EXPECT_EQ(reservoir.Arena().LiveBlocks(), 1u);
    *entry = L"name: 1 2";
    const std::size_t afterFirst = reservoir.Arena().ReservedBytes();
    // Lines that keep coming and going use the heap, not the arena.
    for (int i = 0; i < 1000; ++i) {
        *entry = (L"name: " + std::wstring(static_cast<std::size_t>(i % 50), L'x')).c_str();
        entry->SetInt(i, 0);
        GetLineOf(*entry);
    }
    EXPECT_EQ(reservoir.Arena().ReservedBytes(), afterFirst);
    std::unique_ptr<CResourceEntry> copy(new CResourceEntry(*entry));
    delete entry;
    EXPECT_EQ(reservoir.Arena().LiveBlocks(), 0u);
    EXPECT_EQ(copy->GetInt(0), 999) << "a copy lives on the heap";
    // An arena list deleting its own lines: every sea read of a list (SeaReading.LinesBecome...).
    EXPECT_TRUE(reservoir.Arena().ResetIfUnused());
}

#if defined(__SANITIZE_ADDRESS__)
TEST(SeaArenaDeathTest, ADeletedEntryIsPoisonedUnderAddressSanitizer) {
    CResValueReservoir reservoir(4);
    CResourceEntry* entry = CResourceEntry::NewInArena(&reservoir, 0);
    *entry = L"n: 1";
    CResourceEntry* const gone = entry;
    delete entry;
    // Read as bytes past the free list's link, the way a stale member read
    // would, without the vptr check that would otherwise come first.
    EXPECT_DEATH(
        {
            volatile unsigned char byte = reinterpret_cast<const volatile unsigned char*>(gone)[40];
            (void)byte;
        },
        "use-after-poison");
}
#endif

}  // namespace
