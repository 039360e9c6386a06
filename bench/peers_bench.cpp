// Measures the library against other configuration readers on the same
// content: a sea file (UTF-16) and the same entries as an INI file and a TOML
// file (UTF-8). Each measurement runs in a child process so that its peak
// memory is its own; all figures of a table come from one run.
// Usage: kelvaro_peers_bench [ENTRIES...]   (default 100000 1000000)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "SeaGenerator.h"
#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/Utf.h"
#include "kelvaro/sea/ResourceSea.h"

#ifdef KELVARO_PEER_SIMPLEINI
// The packaged header converts UTF-8 through ICU; its wide class then holds UTF-16.
#define SI_CONVERT_ICU
#include <SimpleIni.h>
#endif
#ifdef KELVARO_PEER_INIH
#include <ini.h>
#endif
#ifdef KELVARO_PEER_TOMLPP
#include <toml++/toml.h>
#endif

namespace {

constexpr unsigned kLookups = 1000000;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Result {
    double loadMs = -1, lookupMs = -1, saveMs = -1;
    long peakKb = -1;
    unsigned long long checksum = 0;  // keeps the lookups from being optimised away
};

struct Files {
    fs::path sea, ini, toml;
    unsigned entries;
};

double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// The i-th key of a lookup run: spread over all entries, the same for everyone.
unsigned KeyIndex(unsigned i, unsigned entries) { return static_cast<unsigned>((i * 2654435761ull) % entries); }
void WideKey(wchar_t* out, unsigned index) { std::swprintf(out, 16, L"key%07u", index); }
void NarrowKey(char* out, unsigned index) { std::snprintf(out, 16, "key%07u", index); }

// Writes the three files from one generated sea (no lists: INI and TOML have none).
void WriteFiles(const Files& files) {
    seagen::Options options;
    options.entries = files.entries;
    options.listEvery = 0;
    std::string sea = "\xFF\xFE", ini = "[sea]\n", toml = "[sea]\n";
    seagen::GenerateLines(options, [&](const std::wstring& line) {
        seagen::AppendUtf16Line(sea, line);
        const std::size_t colon = line.find(L": ");
        if (line.empty() || line[0] == L';' || colon == std::wstring::npos) {
            const std::string text = kelvaro::utf8::Encode(line);
            ini += text + "\n";
            toml += "#" + text.substr(1) + "\n";
            return;
        }
        const std::string key = kelvaro::utf8::Encode(line.substr(0, colon));
        const std::string value = kelvaro::utf8::Encode(line.substr(colon + 2));
        ini += key + " = " + value + "\n";
        std::string quoted;
        for (char c : value) {
            if (c == '"' || c == '\\')
                quoted.push_back('\\');
            quoted.push_back(c);
        }
        toml += key + " = \"" + quoted + "\"\n";
    });
    std::ofstream(files.sea, std::ios::binary) << sea;
    std::ofstream(files.ini, std::ios::binary) << ini;
    std::ofstream(files.toml, std::ios::binary) << toml;
}

// Runs `body` in a child and returns its figures with the child's peak memory.
Result InChild(const std::function<Result()>& body) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        const Result r = body();
        (void)!::write(pipeFds[1], &r, sizeof r);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    Result r;
    if (::read(pipeFds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r))
        r = Result{};
    ::close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    r.peakKb = usage.ru_maxrss;
    return r;
}

// The floor: read the sea file and decode it, nothing else.
Result Floor(const Files& files) {
    Result r;
    const auto t0 = Clock::now();
    std::ifstream in(files.sea, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::wstring text = kelvaro::utf16::DecodeLE(std::string_view(bytes).substr(2));
    r.loadMs = Ms(t0);
    r.checksum = text.size();
    return r;
}

Result Kelvaro(const Files& files, const fs::path& work) {
    PrWin::InstallOutputHandler([](PrWin::Category, PrWin::Style, const wchar_t*) {});
    Result r;
    const fs::path copy = work / "kelvaro-copy.sea";
    fs::copy_file(files.sea, copy, fs::copy_options::overwrite_existing);
    CResourceSea sea;
    auto t0 = Clock::now();
    sea.Create(copy.wstring().c_str(), false);
    r.loadMs = Ms(t0);
    wchar_t key[16];
    const CString fallback;
    t0 = Clock::now();
    for (unsigned i = 0; i < kLookups; ++i) {
        WideKey(key, KeyIndex(i, files.entries));
        r.checksum += static_cast<unsigned>(sea.LookupGetString(key, 0, fallback).GetLength());
    }
    r.lookupMs = Ms(t0);
    t0 = Clock::now();
    for (unsigned i = 0; i < files.entries; i += 100) {
        WideKey(key, i);
        sea.LookupSetString(key, L"changed");
    }
    sea.UpdateIfPossible();
    r.saveMs = Ms(t0);
    return r;
}

#ifdef KELVARO_PEER_SIMPLEINI
Result SimpleIni(const Files& files, const fs::path& work) {
    Result r;
    CSimpleIniW ini;
    ini.SetUnicode();
    auto t0 = Clock::now();
    ini.LoadFile(files.ini.c_str());
    r.loadMs = Ms(t0);
    char narrow[16];
    UChar key[16];
    const auto makeKey = [&](unsigned index) {
        NarrowKey(narrow, index);
        unsigned n = 0;
        for (; narrow[n] != 0; ++n)
            key[n] = static_cast<UChar>(narrow[n]);
        key[n] = 0;
    };
    t0 = Clock::now();
    for (unsigned i = 0; i < kLookups; ++i) {
        makeKey(KeyIndex(i, files.entries));
        const UChar* value = ini.GetValue(u"sea", key, u"");
        r.checksum += std::char_traits<UChar>::length(value);
    }
    r.lookupMs = Ms(t0);
    t0 = Clock::now();
    for (unsigned i = 0; i < files.entries; i += 100) {
        makeKey(i);
        ini.SetValue(u"sea", key, u"changed");
    }
    ini.SaveFile((work / "simpleini-copy.ini").c_str());
    r.saveMs = Ms(t0);
    return r;
}
#endif

#ifdef KELVARO_PEER_INIH
// inih only parses; the map is what a program keeps the values in. It has no writer.
Result Inih(const Files& files) {
    Result r;
    std::unordered_map<std::string, std::string> values;
    auto t0 = Clock::now();
    ini_parse(
        files.ini.c_str(),
        [](void* user, const char*, const char* name, const char* value) -> int {
            static_cast<std::unordered_map<std::string, std::string>*>(user)->insert_or_assign(name, value);
            return 1;
        },
        &values);
    r.loadMs = Ms(t0);
    char key[16];
    t0 = Clock::now();
    for (unsigned i = 0; i < kLookups; ++i) {
        NarrowKey(key, KeyIndex(i, files.entries));
        const auto it = values.find(key);
        r.checksum += it == values.end() ? 0 : it->second.size();
    }
    r.lookupMs = Ms(t0);
    return r;
}
#endif

#ifdef KELVARO_PEER_TOMLPP
Result TomlPlusPlus(const Files& files, const fs::path& work) {
    Result r;
    auto t0 = Clock::now();
    toml::table table = toml::parse_file(files.toml.string());
    r.loadMs = Ms(t0);
    toml::table& sea = *table["sea"].as_table();
    char key[16];
    t0 = Clock::now();
    for (unsigned i = 0; i < kLookups; ++i) {
        NarrowKey(key, KeyIndex(i, files.entries));
        r.checksum += sea[key].value_or(std::string_view{}).size();
    }
    r.lookupMs = Ms(t0);
    t0 = Clock::now();
    for (unsigned i = 0; i < files.entries; i += 100) {
        NarrowKey(key, i);
        sea.insert_or_assign(key, "changed");
    }
    std::ofstream(work / "toml-copy.toml") << table;
    r.saveMs = Ms(t0);
    return r;
}
#endif

// Runs `body` kRuns times, each in a fresh child, and keeps each figure's
// median: single runs of a read vary with what the system has free.
constexpr int kRuns = 3;
Result Median(const std::function<Result()>& body) {
    std::vector<Result> runs;
    for (int i = 0; i < kRuns; ++i)
        runs.push_back(InChild(body));
    auto median = [&runs](auto field) {
        std::vector<std::remove_cvref_t<decltype(runs[0].*field)>> values;
        for (const Result& r : runs)
            values.push_back(r.*field);
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    Result r = runs[0];
    r.loadMs = median(&Result::loadMs);
    r.lookupMs = median(&Result::lookupMs);
    r.saveMs = median(&Result::saveMs);
    r.peakKb = median(&Result::peakKb);
    return r;
}

void Cell(double value, double base) {
    if (value < 0)
        std::printf(" %18s", "n/a");
    else if (base > 0)
        std::printf(" %9.1f (%5.2fx)", value, value / base);
    else
        std::printf(" %18.1f", value);
}

void Row(const char* name, const Result& r, const Result& base) {
    std::printf("  %-10s", name);
    Cell(r.loadMs, base.loadMs);
    Cell(r.lookupMs, base.lookupMs);
    Cell(r.saveMs, base.saveMs);
    Cell(r.peakKb / 1024.0, base.peakKb / 1024.0);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<unsigned> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(static_cast<unsigned>(std::strtoul(argv[i], nullptr, 10)));
    if (sizes.empty())
        sizes = {100000, 1000000};
    const fs::path work = fs::temp_directory_path() / ("kelvaro-peers-" + std::to_string(::getpid()));
    fs::create_directories(work);
    for (unsigned entries : sizes) {
        Files files{work / "bench.sea", work / "bench.ini", work / "bench.toml", entries};
        InChild([&] {
            WriteFiles(files);
            return Result{};
        });
        std::printf("\n%u entries (sea %.1f MB UTF-16, ini %.1f MB UTF-8); %u lookups; 1%% changed, then saved\n",
                    entries, fs::file_size(files.sea) / 1048576.0, fs::file_size(files.ini) / 1048576.0, kLookups);
        std::printf("  %-10s %18s %18s %18s %18s\n", "", "load ms", "lookups ms", "change+save ms", "peak MB");
        const Result kelvaro = Median([&] { return Kelvaro(files, work); });
        Row("kelvaro", kelvaro, Result{});
        Row("floor", Median([&] { return Floor(files); }), kelvaro);
#ifdef KELVARO_PEER_SIMPLEINI
        Row("SimpleIni", Median([&] { return SimpleIni(files, work); }), kelvaro);
#endif
#ifdef KELVARO_PEER_INIH
        Row("inih", Median([&] { return Inih(files); }), kelvaro);
#endif
#ifdef KELVARO_PEER_TOMLPP
        Row("toml++", Median([&] { return TomlPlusPlus(files, work); }), kelvaro);
#endif
        std::printf("  (median of %d runs; ratios: figure / kelvaro's figure; lower is faster or smaller)\n", kRuns);
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return 0;
}
