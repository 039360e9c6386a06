// A line-oriented text file in UTF-16 (either byte order), UTF-8 or code page 1252.
// Seas read their files line by line through it and write them back with it. Reading is
// buffered and decodes whole lines in one pass; writing goes to a staged copy that replaces
// the file only on Close(), so a failed or interrupted write leaves the old file whole.
#pragma once

#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/FileIO.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CUnicodeFile {
public:
    enum : unsigned { modeRead = 0x0000, modeWrite = 0x0001, modeCreate = 0x1000, modeNoTruncate = 0x2000 };

    // How a line ended in the file: the last line of a file may have no line end.
    enum class LineEnd : std::uint8_t { none, lf, crlf };

    // Where the text of the line ReadNextLine returned last lies in the file, how it ended,
    // and whether the text it gave encodes back to exactly those bytes (false after a
    // replacement character stood in for bytes that do not decode, or a cut line).
    struct LineInfo {
        std::uint64_t offset = 0;
        std::uint64_t length = 0;  // bytes of the text, the line end excluded
        LineEnd end = LineEnd::none;
        bool exact = true;
        bool cut = false;  // longer than the buffer: only its first part was given
    };

    // Bytes of the byte-order mark of an encoding / of a line end in it.
    static unsigned BomLength(unsigned codePage);
    static unsigned LineEndLength(LineEnd end, unsigned codePage);

    CUnicodeFile();
    ~CUnicodeFile();  // a reader is closed, a writer that was not Close()d is abandoned
    CUnicodeFile(const CUnicodeFile&) = delete;
    CUnicodeFile& operator=(const CUnicodeFile&) = delete;

    // Non-zero on success. flags 0: read an existing file. modeCreate|modeWrite (0x1001): write
    // the file anew. modeWrite|modeNoTruncate (0x2001): write over a copy of the existing file,
    // which must exist (callers then SeekToEnd to append). A write-mode open of an existing
    // read-only file fails (CFile::IsReadOnly), also for root. Opening an open object fails.
    // m_codePage is left as the caller set it.
    int Open(const wchar_t* path, unsigned flags);

    bool IsOpen() const;
    // The absolute path given to Open (empty when not open).
    CString GetFilePath() const;

    // Bytes in the file; for a writer, in the staged file including what is buffered.
    std::uint64_t GetLength() const;
    // Both return the new position; for a reader they drop what was buffered.
    std::uint64_t SeekToEnd();
    void SeekToBegin();

    // A reader: closes, true. A writer: flushes, syncs and renames the staged file over the
    // target, which keeps its permission bits; false (staged file removed, target untouched)
    // when any write failed or the commit did. True when nothing is open.
    bool Close();
    // Drops a writer's staged file (the target stays as it was); closes a reader.
    void Abandon();

    // Reads a byte-order mark at the start of the file: FF FE sets m_codePage 1200, FE FF 1201,
    // EF BB BF 65001; anything else sets 1252 and consumes nothing. Returns the bytes consumed.
    // Past the start it consumes nothing and keeps m_codePage: asked twice, the second
    // call must not take a U+FEFF of the text (or an FF FE of a 1252 file) for a mark.
    int ReadBOM();

    // Reads one line without its line end (CR LF or LF; a CR elsewhere stays in the line) into
    // buffer, zero-terminated; false at the end of the file or when not open for reading. Up to
    // capacity-1 characters are kept; a longer line sets m_lineTooLong and its rest is skipped.
    // Undecodable input (unpaired surrogates, an odd final byte, bad UTF-8, U+0000) reads as
    // U+FFFD. A read error ends the file early; GetLastError() then tells it.
    bool ReadNextLine(wchar_t* buffer, unsigned capacity);
    const LineInfo& LastLine() const { return m_lastLine; }
    // The bytes at [offset, offset + length) of a file open for reading, without moving the
    // reading position; false (out empty) on a read error or a short read.
    bool ReadRawBytes(std::uint64_t offset, std::size_t length, std::string& out) const;

    // The byte-order mark of m_codePage (none for 1252). Writes are buffered, so false only
    // once an earlier write has already failed or when not open for writing.
    bool WriteBOM();
    // text (null: nothing) and CR LF in m_codePage; UTF-16 writes characters above U+FFFF as
    // surrogate pairs, 1252 writes '?' for characters it lacks.
    bool WriteLine(const wchar_t* text);
    // text and the given line end (LineEnd::none: none).
    bool WriteLine(const wchar_t* text, LineEnd end);
    // Bytes as they are, already in the file's encoding.
    bool WriteRaw(std::string_view bytes);
    // True when every character of text has a form in m_codePage (UTF-16 and UTF-8 lack
    // only surrogates and values above U+10FFFF).
    bool CanEncode(std::wstring_view text) const;

    // text in codePage, without line end; characters it lacks become '?' or U+FFFD.
    static std::string Encode(std::wstring_view text, unsigned codePage);
    // Bytes of one encoding in another. False when they do not decode exactly (bytes that
    // stand for no character) or the target lacks a character.
    static bool Transcode(std::string_view bytes, unsigned from, unsigned to, std::string& out);

    // errno of the last failure of this object, 0 when none.
    int GetLastError() const { return m_lastError; }

    unsigned m_codePage = 1200;  // 1200 UTF-16LE, 1201 UTF-16BE, 65001 UTF-8, 1252
    bool m_lineTooLong = false;
    LineEnd m_lineEnd = LineEnd::crlf;  // what WriteLine(text) ends a line with
    // A character the encoding lacks fails the write (EILSEQ) instead of becoming '?' or
    // U+FFFD: a sea must not save what does not read back.
    bool m_strictEncoding = false;

private:
    enum class Mode { closed, read, write };

    bool Fail(int error);
    bool Refill();
    bool FlushWrites();
    bool AppendEncoded(const wchar_t* text, LineEnd end);
    // Whether the text of the line just read re-encodes to its bytes in the file.
    bool LineReencodes(const wchar_t* text, std::size_t length) const;
    template <class Decoder>
    bool ReadLineWith(Decoder decode, wchar_t* buffer, unsigned capacity);

    Mode m_mode = Mode::closed;
    int m_lastError = 0;
    CString m_path;

    // reading
    int m_fd = -1;
    std::unique_ptr<unsigned char[]> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    bool m_eof = false;
    std::uint64_t m_bufferOffset = 0;  // file offset of m_buffer[0]
    LineInfo m_lastLine;

    // writing
    FileIO::CStagedFile m_stage;
    std::string m_out;               // encoded text not yet handed to the stage
    std::uint64_t m_writePos = 0;    // where m_out goes in the staged file
    int m_writeError = 0;            // the first failed write; Close() then keeps the old file
};
