// Helpers shared by the fuzz targets: a per-process scratch file, a report
// counter on the output road, and a sea that opens its reader and writer.
// Each target is one libFuzzer entry point built with sanitizers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "kelvaro/sea/ResourceSea.h"

namespace fuzzsupport {

// Stops the run with a message: the fuzzer reports it as a crash with this input.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// A file name of this process; several fuzz jobs may run at once. Memory-backed
// /dev/shm when there is one, since every run writes and syncs files.
inline std::string ScratchPath(const char* leaf) {
    static const std::string dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return dir + "/kelvaro-fuzz-" + std::to_string(::getpid()) + "-" + leaf;
}

inline void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline CString Wide(const std::string& path) { return CString(std::wstring(path.begin(), path.end())); }

// Counts the reports given while it lives (and keeps them off the terminal).
class CountReports {
public:
    CountReports() {
        PrWin::InstallOutputHandler([this](PrWin::Category, PrWin::Style, const wchar_t*) { ++m_count; });
    }
    ~CountReports() { PrWin::UninstallOutputHandler(); }
    CountReports(const CountReports&) = delete;
    CountReports& operator=(const CountReports&) = delete;
    unsigned Count() const { return m_count; }

private:
    unsigned m_count = 0;
};

// Opens the sea's own reader and writer, which take an open file.
class OpenSea : public CResourceSea {
public:
    using CResourceSea::CResourceSea;
    using CResourceSea::GetEntry;
    using CResourceSea::SeeInhaltEinlesen;
    using CResourceSea::SeeInhaltSpeichern;

    // Reads `path` (byte-order mark first) in the given mode; false when it does not open.
    bool ReadFile(const std::string& path, bool merge, bool keepModified) {
        CUnicodeFile file;
        if (!file.Open(Wide(path), 0))
            return false;
        file.ReadBOM();
        return SeeInhaltEinlesen(file, merge, keepModified);
    }
    // Writes the sea as UTF-16LE with byte-order mark and returns the bytes ("" on failure).
    std::string WriteBytesOut(const std::string& path) {
        CUnicodeFile file;
        file.m_codePage = 1200;
        if (!file.Open(Wide(path), CUnicodeFile::modeCreate | CUnicodeFile::modeWrite))
            Fail("cannot open the scratch file for writing");
        file.WriteBOM();
        SeeInhaltSpeichern(file);
        if (!file.Close())
            Fail("cannot commit the scratch file");
        return ReadBytes(path);
    }
};

}  // namespace fuzzsupport
