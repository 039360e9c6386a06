// Reading and writing large seas, against the plain cost of reading the same
// file and decoding it into one string per line. The seas are generated once
// per run into the temporary folder (about 60 MB for a million entries).
//
//   kelvaro_bench --benchmark_filter=Sea
//
// Counters: entries, file MB, MB/s, and for reading the memory the sea holds
// (resident size grown by the read) per entry and as a multiple of the file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cwchar>
#include <malloc.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SeaGenerator.h"
#include "kelvaro/sea/ResourceSea.h"

namespace {

namespace fs = std::filesystem;

// The sea file of `entries` named entries: a comment every tenth line, a list
// of four lines every thousandth entry. Made once per size and run.
const fs::path& SeaFile(unsigned entries) {
    static std::map<unsigned, fs::path> files;
    auto found = files.find(entries);
    if (found != files.end()) return found->second;
    fs::path path = fs::temp_directory_path() / ("kelvaro-bench-" + std::to_string(entries) + ".sea");
    seagen::Options options;
    options.entries = entries;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string chunk = "\xFF\xFE";
    seagen::GenerateLines(options, [&](const std::wstring& line) {
        seagen::AppendUtf16Line(chunk, line);
        if (chunk.size() > (1u << 20)) {
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            chunk.clear();
        }
    });
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    return files.emplace(entries, path).first->second;
}

// Resident and peak resident size of this process in bytes (0 where unknown).
std::size_t StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.compare(0, key.size(), key) == 0) return std::stoull(line.substr(key.size())) * 1024;
    return 0;
}

// Gives freed memory back to the system between runs, so that every run
// fills fresh pages as a program's first read does; the floor and the sea
// are measured alike.
void ReturnFreedMemory() { malloc_trim(0); }

void SetFileCounters(benchmark::State& state, unsigned entries, std::uintmax_t fileBytes) {
    state.counters["entries"] = entries;
    state.counters["file_MB"] = static_cast<double>(fileBytes) / 1e6;
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(fileBytes) * static_cast<double>(state.iterations()) / 1e6,
                                                benchmark::Counter::kIsRate);
}

void BM_SeaRead(benchmark::State& state) {
    const unsigned entries = static_cast<unsigned>(state.range(0));
    const fs::path& file = SeaFile(entries);
    const CString name(file.wstring());
    const std::uintmax_t fileBytes = fs::file_size(file);
    double held = 0;
    for (auto _ : state) {
        const std::size_t before = StatusBytes("VmRSS");
        auto sea = std::make_unique<CResourceSea>();
        if (!sea->Create(name, true)) state.SkipWithError("cannot read the sea");
        held = static_cast<double>(StatusBytes("VmRSS") - before);
        benchmark::DoNotOptimize(sea->NrLines());
        state.PauseTiming();
        sea.reset();
        ReturnFreedMemory();
        state.ResumeTiming();
    }
    SetFileCounters(state, entries, fileBytes);
    state.counters["held_B/entry"] = held / entries;
    state.counters["held/file"] = held / static_cast<double>(fileBytes);
    state.counters["peak_MB"] = static_cast<double>(StatusBytes("VmHWM")) / 1e6;
}
BENCHMARK(BM_SeaRead)->Arg(100000)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SeaWriteUnchanged(benchmark::State& state) {
    const unsigned entries = static_cast<unsigned>(state.range(0));
    const fs::path& file = SeaFile(entries);
    const fs::path copy = fs::temp_directory_path() / ("kelvaro-bench-write-" + std::to_string(entries) + ".sea");
    CResourceSea sea;
    if (!sea.Create(CString(file.wstring()), false)) state.SkipWithError("cannot read the sea");
    sea.SaveAs(CString(copy.wstring()));
    for (auto _ : state) {
        if (!sea.UpdateIfPossible()) state.SkipWithError("cannot write the sea");
    }
    SetFileCounters(state, entries, fs::file_size(file));
    auto bytes = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    state.counters["identical"] = bytes(copy) == bytes(file) ? 1 : 0;
    fs::remove(copy);
}
BENCHMARK(BM_SeaWriteUnchanged)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Deleting a tenth of the entries one by one (every tenth name), as a
// program that drops settings does; the read is not timed.
void BM_SeaDeleteEach(benchmark::State& state) {
    const unsigned entries = static_cast<unsigned>(state.range(0));
    const CString name(SeaFile(entries).wstring());
    for (auto _ : state) {
        state.PauseTiming();
        auto sea = std::make_unique<CResourceSea>();
        if (!sea->Create(name, true)) state.SkipWithError("cannot read the sea");
        wchar_t key[16];
        state.ResumeTiming();
        for (unsigned i = 0; i < entries; i += 10) {
            std::swprintf(key, 16, L"key%07u", i);
            sea->Delete(key);
        }
        // Walking the lines closes the gaps: that pass is part of the price.
        benchmark::DoNotOptimize(sea->LineAt(0));
        state.PauseTiming();
        sea.reset();
        ReturnFreedMemory();
        state.ResumeTiming();
    }
    state.counters["deleted"] = entries / 10;
}
BENCHMARK(BM_SeaDeleteEach)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: the file's bytes read at once and decoded into one std::wstring
// per line (UTF-16LE, surrogate pairs joined, CR LF removed).
void BM_SeaBaselineDecodeLines(benchmark::State& state) {
    const unsigned entries = static_cast<unsigned>(state.range(0));
    const fs::path& file = SeaFile(entries);
    const std::uintmax_t fileBytes = fs::file_size(file);
    for (auto _ : state) {
        std::string bytes(fileBytes, '\0');
        {
            std::FILE* in = std::fopen(file.c_str(), "rb");
            if (in == nullptr || std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size())
                state.SkipWithError("cannot read the file");
            if (in != nullptr) std::fclose(in);
        }
        std::vector<std::wstring> lines;
        std::wstring line;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            unsigned u = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
            if (u == L'\n') {
                if (!line.empty() && line.back() == L'\r') line.pop_back();
                lines.push_back(line);
                line.clear();
                continue;
            }
            if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
                const unsigned lo = static_cast<unsigned char>(bytes[i + 2]) |
                                    (static_cast<unsigned char>(bytes[i + 3]) << 8);
                u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            }
            line.push_back(static_cast<wchar_t>(u));
        }
        benchmark::DoNotOptimize(lines.data());
        state.PauseTiming();
        lines = {};
        ReturnFreedMemory();
        state.ResumeTiming();
    }
    SetFileCounters(state, entries, fileBytes);
}
BENCHMARK(BM_SeaBaselineDecodeLines)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
