// Writes a small UTF-16 sea file with characters outside the Basic Multilingual Plane into a
// temporary folder, reads it back line by line and prints what it read as UTF-8.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "kelvaro/platform/FileIO.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "kelvaro/platform/Utf.h"

namespace {

const wchar_t* const kLines[] = {
    L"; written by kelvaro_demo",
    L"Greeting: \"Gr\u00FC\u00DFe aus K\u00F6ln\"",
    L"Emoji: \U0001F600 \U0001F9ED",
    L"Gothic: \U00010348 \U00010330",
    L"Price: 5 \u20AC",
};

int Fail(const char* what, const CString& path, int error)
{
    std::fprintf(stderr, "kelvaro_demo: %s %s: %s\n", what, FileIO::ToNativePath(path.Str()).c_str(),
                 FileIO::ToNativePath(FileIO::GetLastErrorMessage(static_cast<DWORD>(error)).Str()).c_str());
    return EXIT_FAILURE;
}

} // namespace

int main()
{
    std::error_code ec;
    const auto folder = std::filesystem::temp_directory_path(ec) /
                        ("kelvaro-demo-" + std::to_string(std::random_device{}()));
    const CString folderName = FileIO::FromNativePath(folder.string());
    if (!FileIO::CreateFolder(folderName))
        return Fail("cannot create", folderName, static_cast<int>(FileIO::GetLastError()));
    CString path = folderName;
    FileIO::ensureLimitedPath(path);
    path += L"demo.sea";

    int result = EXIT_SUCCESS;
    {
        CUnicodeFile out;  // UTF-16LE unless told otherwise
        if (!out.Open(path, CUnicodeFile::modeCreate | CUnicodeFile::modeWrite))
            return Fail("cannot create", path, out.GetLastError());
        out.WriteBOM();
        for (const wchar_t* line : kLines)
            out.WriteLine(line);
        if (!out.Close())
            return Fail("cannot write", path, out.GetLastError());
    }

    CUnicodeFile in;
    if (!in.Open(path, CUnicodeFile::modeRead)) {
        result = Fail("cannot read", path, in.GetLastError());
    } else {
        std::printf("%s: %llu bytes, %d-byte mark, code page %u\n", FileIO::ToNativePath(path.Str()).c_str(),
                    static_cast<unsigned long long>(in.GetLength()), in.ReadBOM(), in.m_codePage);
        std::vector<wchar_t> buffer(8192);
        unsigned number = 0;
        while (in.ReadNextLine(buffer.data(), static_cast<unsigned>(buffer.size()))) {
            const std::wstring line(buffer.data());
            if (number >= std::size(kLines) || line != kLines[number])
                result = EXIT_FAILURE;
            std::printf("%u: %s\n", number + 1, kelvaro::utf8::Encode(line).c_str());
            ++number;
        }
        in.Close();
        if (number != std::size(kLines))
            result = EXIT_FAILURE;
        std::printf("%s\n", result == EXIT_SUCCESS ? "read back unchanged" : "MISMATCH");
    }
    std::filesystem::remove_all(folder, ec);
    return result;
}
