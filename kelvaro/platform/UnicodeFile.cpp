#include "kelvaro/platform/UnicodeFile.h"

#include "kelvaro/platform/CodePage.h"
#include "kelvaro/platform/Utf.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <cwchar>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Large enough that a sea file of a few megabytes is read in a handful of system calls.
constexpr std::size_t kReadBufferSize = 256 * 1024;
// Pending output is handed to the staged file in pieces of about this size.
constexpr std::size_t kWriteChunk = 64 * 1024;

// The longest encoded character; the reader keeps this many bytes buffered until the end of
// the file so that no decoder ever sees a sequence cut by the buffer's end.
constexpr std::size_t kMaxSequence = 4;

struct Utf16LeDecoder {
    std::size_t operator()(const unsigned char* p, const unsigned char* end, wchar_t& w) const
    {
        return kelvaro::utf16::DecodeOne<false>(p, end, w);
    }
};

struct Utf16BeDecoder {
    std::size_t operator()(const unsigned char* p, const unsigned char* end, wchar_t& w) const
    {
        return kelvaro::utf16::DecodeOne<true>(p, end, w);
    }
};

struct Utf8Decoder {
    std::size_t operator()(const unsigned char* p, const unsigned char* end, wchar_t& w) const
    {
        return kelvaro::utf8::DecodeOne(p, end, w);
    }
};

// A table built once from the code page, so the reader does not call across files per byte.
struct Cp1252Decoder {
    const std::array<wchar_t, 256>& table;
    std::size_t operator()(const unsigned char* p, const unsigned char*, wchar_t& w) const
    {
        w = table[*p];
        return 1;
    }
};

const std::array<wchar_t, 256>& Cp1252Table()
{
    static const std::array<wchar_t, 256> table = [] {
        std::array<wchar_t, 256> t{};
        for (unsigned i = 0; i < t.size(); ++i)
            t[i] = kelvaro::cp1252::ToWide(static_cast<unsigned char>(i));
        return t;
    }();
    return table;
}

// Appends one character in codePage; false when the code page lacks it (strict) or the code
// page is unknown. Without strict, a missing character becomes '?' (1252) or U+FFFD.
bool AppendChar(std::string& out, wchar_t w, unsigned codePage, bool strict)
{
    switch (codePage) {
    case 1200:
    case 1201:
    case 65001:
        if (strict && kelvaro::ScalarOrReplacement(w) != static_cast<char32_t>(w))
            return false;
        if (codePage == 1200)
            kelvaro::utf16::AppendOne<false>(out, w);
        else if (codePage == 1201)
            kelvaro::utf16::AppendOne<true>(out, w);
        else
            kelvaro::utf8::AppendOne(out, w);
        return true;
    case 1252: {
        char c;
        if (!kelvaro::cp1252::FromWide(w, c)) {
            if (strict)
                return false;
            c = '?';
        }
        out.push_back(c);
        return true;
    }
    default:
        return false;
    }
}

} // namespace

CUnicodeFile::CUnicodeFile() = default;

CUnicodeFile::~CUnicodeFile()
{
    Abandon();
}

bool CUnicodeFile::Fail(int error)
{
    m_lastError = error;
    FileIO::SetLastError(static_cast<DWORD>(error));
    return false;
}

int CUnicodeFile::Open(const wchar_t* path, unsigned flags)
{
    if (m_mode != Mode::closed)
        return Fail(EBUSY);
    m_lastError = 0;
    m_writeError = 0;
    m_lineTooLong = false;
    if (path == nullptr || *path == L'\0')
        return Fail(EINVAL);

    CString full(path);
    FileIO::makePathAbsolute(full, nullptr);

    if ((flags & modeWrite) == 0) {
        const int fd = FileIO::OpenRegularForReading(FileIO::ToNativePath(path));
        if (fd < 0)
            return Fail(static_cast<int>(FileIO::GetLastError()));
        if (!m_buffer)
            m_buffer = std::make_unique<unsigned char[]>(kReadBufferSize);
        m_fd = fd;
        m_pos = m_end = 0;
        m_bufferOffset = 0;
        m_lastLine = LineInfo{};
        m_eof = false;
        m_mode = Mode::read;
    } else {
        // Without modeCreate the file must exist; modeNoTruncate keeps what it holds.
        const bool create = (flags & modeCreate) != 0;
        const bool keepContent = !create || (flags & modeNoTruncate) != 0;
        if (!m_stage.Begin(path, keepContent, !create))
            return Fail(m_stage.GetError());
        m_out.clear();
        m_writePos = 0;
        m_mode = Mode::write;
    }
    m_path = full;
    return 1;
}

bool CUnicodeFile::IsOpen() const
{
    return m_mode != Mode::closed;
}

CString CUnicodeFile::GetFilePath() const
{
    return m_mode == Mode::closed ? CString() : m_path;
}

std::uint64_t CUnicodeFile::GetLength() const
{
    if (m_mode == Mode::read) {
        struct stat st {};
        return ::fstat(m_fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    }
    if (m_mode == Mode::write)
        return std::max<std::uint64_t>(m_stage.Size(), m_writePos + m_out.size());
    return 0;
}

std::uint64_t CUnicodeFile::SeekToEnd()
{
    if (m_mode == Mode::read) {
        const off_t end = ::lseek(m_fd, 0, SEEK_END);
        m_pos = m_end = 0;
        m_eof = false;
        if (end < 0) {
            Fail(errno);
            return 0;
        }
        m_bufferOffset = static_cast<std::uint64_t>(end);
        return static_cast<std::uint64_t>(end);
    }
    if (m_mode == Mode::write) {
        FlushWrites();
        m_writePos = m_stage.Size();
        return m_writePos;
    }
    return 0;
}

void CUnicodeFile::SeekToBegin()
{
    if (m_mode == Mode::read) {
        if (::lseek(m_fd, 0, SEEK_SET) < 0)
            Fail(errno);
        m_pos = m_end = 0;
        m_bufferOffset = 0;
        m_eof = false;
    } else if (m_mode == Mode::write) {
        FlushWrites();
        m_writePos = 0;
    }
}

bool CUnicodeFile::Close()
{
    if (m_mode == Mode::read) {
        Abandon();
        return true;
    }
    if (m_mode != Mode::write)
        return true;
    FlushWrites();
    m_mode = Mode::closed;
    m_path.Empty();
    m_out.clear();
    if (m_writeError != 0) {
        m_stage.Abandon();
        return Fail(m_writeError);
    }
    if (!m_stage.Commit())
        return Fail(m_stage.GetError());
    return true;
}

void CUnicodeFile::Abandon()
{
    if (m_mode == Mode::read) {
        ::close(m_fd);
        m_fd = -1;
    } else if (m_mode == Mode::write) {
        m_stage.Abandon();
        m_out.clear();
    }
    m_mode = Mode::closed;
    m_path.Empty();
}

bool CUnicodeFile::Refill()
{
    const std::size_t rest = m_end - m_pos;
    m_bufferOffset += m_pos;
    if (rest > 0 && m_pos > 0)
        std::memmove(m_buffer.get(), m_buffer.get() + m_pos, rest);
    m_pos = 0;
    m_end = rest;
    while (m_end < kMaxSequence && !m_eof) {
        const ssize_t n = ::read(m_fd, m_buffer.get() + m_end, kReadBufferSize - m_end);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A read error ends the file where it happened; the caller sees it in GetLastError.
            if (n < 0)
                Fail(errno);
            m_eof = true;
            break;
        }
        m_end += static_cast<std::size_t>(n);
    }
    return m_end > m_pos;
}

int CUnicodeFile::ReadBOM()
{
    if (m_mode != Mode::read || m_bufferOffset + m_pos != 0)
        return 0;
    if (m_end - m_pos < kMaxSequence && !m_eof)
        Refill();
    const unsigned char* p = m_buffer.get() + m_pos;
    const std::size_t avail = m_end - m_pos;
    if (avail >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        m_codePage = 1200;
        m_pos += 2;
        return 2;
    }
    if (avail >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
        m_codePage = 1201;
        m_pos += 2;
        return 2;
    }
    if (avail >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        m_codePage = 65001;
        m_pos += 3;
        return 3;
    }
    m_codePage = 1252;
    return 0;
}

template <class Decoder>
bool CUnicodeFile::ReadLineWith(Decoder decode, wchar_t* buffer, unsigned capacity)
{
    const unsigned limit = (buffer != nullptr && capacity > 0) ? capacity - 1 : 0;
    unsigned n = 0;
    bool any = false;
    bool pendingCR = false;
    // A replacement character or a zero may stand for bytes that did not decode; such a
    // line is compared with its bytes once it is complete.
    bool suspect = false;
    std::uint64_t crOffset = 0;
    const auto put = [&](wchar_t w) {
        if (n < limit)
            buffer[n++] = w;
        else
            m_lineTooLong = true;
    };
    m_lastLine = LineInfo{};
    m_lastLine.offset = m_bufferOffset + m_pos;
    const auto finish = [&](bool result, LineEnd end, std::uint64_t textEnd) {
        if (buffer != nullptr && capacity > 0)
            buffer[n] = L'\0';
        m_lastLine.end = end;
        m_lastLine.length = textEnd - m_lastLine.offset;
        m_lastLine.cut = m_lineTooLong;
        m_lastLine.exact = !m_lineTooLong && (!suspect || LineReencodes(buffer, n));
        return result;
    };

    const unsigned char* const base = m_buffer.get();
    for (;;) {
        if (m_end - m_pos < kMaxSequence && !m_eof)
            Refill();
        if (m_pos >= m_end)
            break;
        any = true;
        const unsigned char* p = base + m_pos;
        const unsigned char* const end = base + m_end;
        // Up to here no character can be cut by the end of the buffer, so the inner loop needs
        // no refill check; this loop is where the time of reading a large sea goes.
        const unsigned char* const safe = m_eof ? end : end - (kMaxSequence - 1);
        while (p < safe) {
            const unsigned char* const start = p;
            wchar_t w;
            p += decode(p, end, w);
            if (w > L'\r' && !pendingCR) {
                if (w == kelvaro::kReplacementChar)
                    suspect = true;
                put(w);
                continue;
            }
            if (w == L'\n') {
                m_pos = static_cast<std::size_t>(p - base);
                const std::uint64_t at = m_bufferOffset + static_cast<std::uint64_t>(start - base);
                return finish(true, pendingCR ? LineEnd::crlf : LineEnd::lf, pendingCR ? crOffset : at);
            }
            if (pendingCR) {
                put(L'\r');
                pendingCR = false;
            }
            if (w == L'\r') {
                // Only CR LF ends a line; whether this CR does is known with the next character.
                pendingCR = true;
                crOffset = m_bufferOffset + static_cast<std::uint64_t>(start - base);
                continue;
            }
            // A zero would cut the line short for every caller that reads it as a C string.
            if (w == L'\0' || w == kelvaro::kReplacementChar) {
                suspect = true;
                w = kelvaro::kReplacementChar;
            }
            put(w);
        }
        m_pos = static_cast<std::size_t>(p - base);
    }
    if (pendingCR)
        put(L'\r');
    return finish(any, LineEnd::none, m_bufferOffset + m_pos);
}

bool CUnicodeFile::LineReencodes(const wchar_t* text, std::size_t length) const
{
    if (text == nullptr || length != std::wcslen(text))
        return false;
    std::string bytes;
    if (!ReadRawBytes(m_lastLine.offset, static_cast<std::size_t>(m_lastLine.length), bytes))
        return false;
    std::string encoded;
    for (std::size_t i = 0; i < length; ++i)
        if (!AppendChar(encoded, text[i], m_codePage, true))
            return false;
    return encoded == bytes;
}

unsigned CUnicodeFile::BomLength(unsigned codePage)
{
    return codePage == 1200 || codePage == 1201 ? 2 : codePage == 65001 ? 3 : 0;
}

unsigned CUnicodeFile::LineEndLength(LineEnd end, unsigned codePage)
{
    const unsigned unit = codePage == 1200 || codePage == 1201 ? 2 : 1;
    return end == LineEnd::crlf ? 2 * unit : end == LineEnd::lf ? unit : 0;
}

bool CUnicodeFile::ReadRawBytes(std::uint64_t offset, std::size_t length, std::string& out) const
{
    out.clear();
    if (m_mode != Mode::read)
        return false;
    out.resize(length);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(m_fd, out.data() + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            out.clear();
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool CUnicodeFile::ReadNextLine(wchar_t* buffer, unsigned capacity)
{
    m_lineTooLong = false;
    if (buffer != nullptr && capacity > 0)
        buffer[0] = L'\0';
    if (m_mode != Mode::read)
        return false;
    switch (m_codePage) {
    case 1200:
        return ReadLineWith(Utf16LeDecoder{}, buffer, capacity);
    case 1201:
        return ReadLineWith(Utf16BeDecoder{}, buffer, capacity);
    case 65001:
        return ReadLineWith(Utf8Decoder{}, buffer, capacity);
    case 1252:
        return ReadLineWith(Cp1252Decoder{Cp1252Table()}, buffer, capacity);
    default:
        return Fail(EINVAL);
    }
}

bool CUnicodeFile::FlushWrites()
{
    if (m_out.empty())
        return m_writeError == 0;
    const bool ok = m_stage.WriteAt(m_writePos, m_out.data(), m_out.size());
    m_writePos += m_out.size();
    m_out.clear();
    if (!ok && m_writeError == 0) {
        m_writeError = m_stage.GetError();
        Fail(m_writeError);
    }
    return ok;
}

bool CUnicodeFile::AppendEncoded(const wchar_t* text, LineEnd end)
{
    const wchar_t* p = text != nullptr ? text : L"";
    const std::size_t mark = m_out.size();
    // Most text is one UTF-16 unit or one 1252 byte a character: stored in
    // one pass, up to the first character that needs the general encoder.
    if (m_codePage == 1200 || m_codePage == 1252) {
        const std::size_t length = std::wcslen(p);
        const bool utf16 = m_codePage == 1200;
        const std::uint32_t limit = utf16 ? 0xD800 : 0x80;
        m_out.resize(mark + length * (utf16 ? 2 : 1));
        char* out = m_out.data() + mark;
        std::size_t i = 0;
        for (; i < length; ++i) {
            const auto c = static_cast<std::uint32_t>(p[i]);
            if (c >= limit)
                break;
            if (utf16) {
                out[2 * i] = static_cast<char>(c & 0xFF);
                out[2 * i + 1] = static_cast<char>(c >> 8);
            } else {
                out[i] = static_cast<char>(c);
            }
        }
        m_out.resize(mark + i * (utf16 ? 2 : 1));
        p += i;
    }
    for (; *p != L'\0'; ++p) {
        if (!AppendChar(m_out, *p, m_codePage, m_strictEncoding)) {
            m_out.resize(mark);
            return false;
        }
    }
    const bool wide = m_codePage == 1200 || m_codePage == 1201;
    const bool big = m_codePage == 1201;
    const auto unit = [&](char c) {
        if (wide && big)
            m_out.push_back('\0');
        m_out.push_back(c);
        if (wide && !big)
            m_out.push_back('\0');
    };
    if (end == LineEnd::crlf)
        unit('\r');
    if (end != LineEnd::none)
        unit('\n');
    return true;
}

bool CUnicodeFile::CanEncode(std::wstring_view text) const
{
    std::string scratch;
    for (const wchar_t w : text) {
        scratch.clear();
        if (!AppendChar(scratch, w, m_codePage, true))
            return false;
    }
    return true;
}

bool CUnicodeFile::WriteBOM()
{
    if (m_mode != Mode::write)
        return Fail(EBADF);
    if (m_writeError != 0)
        return false;
    switch (m_codePage) {
    case 1200:
        m_out.append("\xFF\xFE", 2);
        return true;
    case 1201:
        m_out.append("\xFE\xFF", 2);
        return true;
    case 65001:
        m_out.append("\xEF\xBB\xBF", 3);
        return true;
    case 1252:
        return true;
    default:
        // An unknown encoding would leave a file the reader cannot read back: refuse the
        // whole write, so Close() keeps the old file.
        m_writeError = EINVAL;
        return Fail(EINVAL);
    }
}

bool CUnicodeFile::WriteLine(const wchar_t* text)
{
    return WriteLine(text, m_lineEnd);
}

bool CUnicodeFile::WriteLine(const wchar_t* text, LineEnd end)
{
    if (m_mode != Mode::write)
        return Fail(EBADF);
    if (m_writeError != 0)
        return false;
    if (!AppendEncoded(text, end)) {
        m_writeError = (m_codePage == 1200 || m_codePage == 1201 || m_codePage == 65001 || m_codePage == 1252)
                           ? EILSEQ
                           : EINVAL;
        return Fail(m_writeError);
    }
    if (m_out.size() >= kWriteChunk)
        return FlushWrites();
    return true;
}

bool CUnicodeFile::WriteRaw(std::string_view bytes)
{
    if (m_mode != Mode::write)
        return Fail(EBADF);
    if (m_writeError != 0)
        return false;
    m_out.append(bytes);
    if (m_out.size() >= kWriteChunk)
        return FlushWrites();
    return true;
}

std::string CUnicodeFile::Encode(std::wstring_view text, unsigned codePage)
{
    std::string out;
    for (const wchar_t w : text)
        AppendChar(out, w, codePage, false);
    return out;
}

bool CUnicodeFile::Transcode(std::string_view bytes, unsigned from, unsigned to, std::string& out)
{
    out.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = p + bytes.size();
    std::string again;
    while (p < end) {
        wchar_t w;
        std::size_t used;
        switch (from) {
        case 1200: used = kelvaro::utf16::DecodeOne<false>(p, end, w); break;
        case 1201: used = kelvaro::utf16::DecodeOne<true>(p, end, w); break;
        case 65001: used = kelvaro::utf8::DecodeOne(p, end, w); break;
        case 1252: w = kelvaro::cp1252::ToWide(*p); used = 1; break;
        default: return false;
        }
        again.clear();
        if (used == 0 || !AppendChar(again, w, from, true) || again.size() != used ||
            std::memcmp(again.data(), p, used) != 0)
            return false;
        if (!AppendChar(out, w, to, true))
            return false;
        p += used;
    }
    return true;
}
