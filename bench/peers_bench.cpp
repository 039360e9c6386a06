// Measures the library against other configuration readers on the same
// content: a sea file (UTF-16) and the same entries as an INI file and a TOML
// file (UTF-8), and a file of empty lines in each form. Every measurement is
// a process of its own, started afresh (spawned, not forked, so that no
// memory of the driver is inherited), run kRuns times; the table gives
// medians, the spread of the load time over the runs (max/min), and each
// figure as a ratio to the library's.
//
// Usage: kelvaro_peers_bench [--runs N] [--markdown] [ENTRIES...]   (default 100000 1000000)
//        kelvaro_peers_bench --child READER KIND DIR ENTRIES        (one measurement; internal)
#include <spawn.h>
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
#include <iterator>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

extern char** environ;  // what the children inherit

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
    double peakKb = -1;  // the process's peak resident size
    double heldKb = -1;  // resident size grown by the load: what the loaded content holds
    double loadCpuMs = -1;     // processor time of the load, user and system: steadier on a busy machine
    double loadFaults = -1;    // page faults taken by the load
    unsigned long long checksum = 0;  // keeps the lookups from being optimised away
};

// Resident (VmRSS) or peak resident (VmHWM) size of this process in KB. The
// peak of the process image itself: getrusage would count what the process
// held before it was exec'd.
double StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.compare(0, key.size(), key) == 0) return std::stod(line.substr(key.size()));
    return -1;
}

// Times the load and notes what it holds.
class LoadMeter {
public:
    LoadMeter() : m_rss(StatusKb("VmRSS")), m_cpu(CpuMs()), m_faults(Faults()), m_start(std::chrono::steady_clock::now()) {}
    void Done(Result& r) const {
        r.loadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start).count();
        r.loadCpuMs = CpuMs() - m_cpu;
        r.loadFaults = Faults() - m_faults;
        r.heldKb = StatusKb("VmRSS") - m_rss;
    }

private:
    static double CpuMs() {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
        return ms(usage.ru_utime) + ms(usage.ru_stime);
    }
    static double Faults() {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return static_cast<double>(usage.ru_minflt + usage.ru_majflt);
    }
    double m_rss, m_cpu, m_faults;
    std::chrono::steady_clock::time_point m_start;
};

struct Files {
    fs::path sea, sea1252, ini, toml;
    unsigned entries;  // named entries, or empty lines for the empty files
    bool empty;        // only empty lines: what a blank line costs; no lookups, no save
};

Files MakeFiles(const fs::path& dir, unsigned entries, bool empty) {
    const std::string stem = empty ? "empty" : "bench";
    return {dir / (stem + ".sea"), dir / (stem + "-1252.sea"), dir / (stem + ".ini"), dir / (stem + ".toml"), entries,
            empty};
}

double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// The i-th key of a lookup run: spread over all entries, the same for everyone.
unsigned KeyIndex(unsigned i, unsigned entries) { return static_cast<unsigned>((i * 2654435761ull) % entries); }
void WideKey(wchar_t* out, unsigned index) { std::swprintf(out, 16, L"key%07u", index); }
void NarrowKey(char* out, unsigned index) { std::snprintf(out, 16, "key%07u", index); }

// Writes the four files from one generated sea (no lists: INI and TOML have
// none), all of the same text: only characters code page 1252 holds.
void WriteFiles(const Files& files) {
    if (files.empty) {
        std::string sea = "\xFF\xFE";
        for (unsigned i = 0; i < files.entries; ++i) sea.append("\r\0\n\0", 4);
        const std::string lines(files.entries, '\n');
        std::ofstream(files.sea, std::ios::binary) << sea;
        std::string sea1252;
        for (unsigned i = 0; i < files.entries; ++i) sea1252 += "\r\n";
        std::ofstream(files.sea1252, std::ios::binary) << sea1252;
        std::ofstream(files.ini, std::ios::binary) << "[sea]\n" << lines;
        std::ofstream(files.toml, std::ios::binary) << "[sea]\n" << lines;
        return;
    }
    seagen::Options options;
    options.entries = files.entries;
    options.listEvery = 0;
    options.cp1252Safe = true;
    std::string sea = "\xFF\xFE", sea1252, ini = "[sea]\n", toml = "[sea]\n";
    seagen::GenerateLines(options, [&](const std::wstring& line) {
        seagen::AppendUtf16Line(sea, line);
        sea1252 += seagen::Encode1252({line});
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
    std::ofstream(files.sea1252, std::ios::binary) << sea1252;
    std::ofstream(files.ini, std::ios::binary) << ini;
    std::ofstream(files.toml, std::ios::binary) << toml;
}

// The floor: read the sea file and decode it, nothing else.
Result Floor(const Files& files) {
    Result r;
    const LoadMeter meter;
    std::ifstream in(files.sea, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::wstring text = kelvaro::utf16::DecodeLE(std::string_view(bytes).substr(2));
    meter.Done(r);
    r.checksum = text.size();
    return r;
}

// What a program would write with the standard library alone: decode the
// file, keep one string per line, hash the names; a change rebuilds its
// line, a save encodes every line again. No comments in lists, quoting,
// encodings or safe saving: a lower bound for the same job, not a peer.
Result Sketch(const Files& files, const fs::path& work) {
    Result r;
    const LoadMeter meter;
    std::vector<std::wstring> lines;
    std::unordered_map<std::wstring_view, std::size_t> names;
    {
        std::ifstream in(files.sea, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::wstring text = kelvaro::utf16::DecodeLE(std::string_view(bytes).substr(2));
        for (std::size_t from = 0; from < text.size();) {
            std::size_t to = text.find(L'\n', from);
            if (to == std::wstring::npos) to = text.size();
            std::size_t stop = to;
            if (stop > from && text[stop - 1] == L'\r') --stop;
            lines.emplace_back(text, from, stop - from);
            from = to + 1;
        }
    }
    names.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::wstring& line = lines[i];
        const std::size_t colon = line.find(L':');
        if (!line.empty() && line[0] != L';' && colon != std::wstring::npos)
            names.emplace(std::wstring_view(line).substr(0, colon), i);
    }
    meter.Done(r);
    if (files.empty)
        return r;
    wchar_t key[16];
    auto t0 = Clock::now();
    for (unsigned i = 0; i < kLookups; ++i) {
        WideKey(key, KeyIndex(i, files.entries));
        const auto it = names.find(key);
        if (it != names.end()) {
            const std::wstring& line = lines[it->second];
            r.checksum += line.size() - line.find(L':');
        }
    }
    r.lookupMs = Ms(t0);
    t0 = Clock::now();
    for (unsigned i = 0; i < files.entries; i += 100) {
        WideKey(key, i);
        const auto it = names.find(key);
        if (it == names.end())
            continue;
        const std::size_t index = it->second;
        names.erase(it);  // its key views the line that changes now
        lines[index] = std::wstring(key) + L":\tchanged ";
        names.emplace(std::wstring_view(lines[index]).substr(0, lines[index].find(L':')), index);
    }
    std::string out = "\xFF\xFE";
    for (const std::wstring& line : lines) {
        out += kelvaro::utf16::EncodeLE(line);
        out.append("\r\0\n\0", 4);
    }
    std::ofstream(work / "sketch-copy.sea", std::ios::binary) << out;
    r.saveMs = Ms(t0);
    return r;
}

Result Kelvaro(const fs::path& file, const Files& files, const fs::path& work) {
    PrWin::InstallOutputHandler([](PrWin::Category, PrWin::Style, const wchar_t*) {});
    Result r;
    const fs::path copy = work / "kelvaro-copy.sea";
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
    CResourceSea sea;
    const LoadMeter meter;
    sea.Create(copy.wstring().c_str(), false);
    meter.Done(r);
    if (files.empty)
        return r;
    wchar_t key[16];
    auto t0 = Clock::now();
    const CString fallback;
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
    const LoadMeter meter;
    ini.LoadFile(files.ini.c_str());
    meter.Done(r);
    if (files.empty)
        return r;
    char narrow[16];
    UChar key[16];
    const auto makeKey = [&](unsigned index) {
        NarrowKey(narrow, index);
        unsigned n = 0;
        for (; narrow[n] != 0; ++n)
            key[n] = static_cast<UChar>(narrow[n]);
        key[n] = 0;
    };
    auto t0 = Clock::now();
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
    const LoadMeter meter;
    ini_parse(
        files.ini.c_str(),
        [](void* user, const char*, const char* name, const char* value) -> int {
            static_cast<std::unordered_map<std::string, std::string>*>(user)->insert_or_assign(name, value);
            return 1;
        },
        &values);
    meter.Done(r);
    if (files.empty)
        return r;
    char key[16];
    const auto t0 = Clock::now();
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
    const LoadMeter meter;
    toml::table table = toml::parse_file(files.toml.string());
    meter.Done(r);
    if (files.empty)
        return r;
    toml::table& sea = *table["sea"].as_table();
    char key[16];
    auto t0 = Clock::now();
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

// ---- the child: one measurement, printed as one line ----------------------

using Reader = Result (*)(const Files&, const fs::path&);
struct ReaderInfo {
    const char* name;   // on the command line and in the table
    const char* label;  // in the Markdown table
    Reader run;
};

const std::vector<ReaderInfo>& Readers() {
    static const std::vector<ReaderInfo> readers = {
        {"kelvaro", "Kelvaro (UTF-16 sea)", [](const Files& f, const fs::path& w) { return Kelvaro(f.sea, f, w); }},
        {"kelvaro-1252", "Kelvaro (code page 1252 sea)",
         [](const Files& f, const fs::path& w) { return Kelvaro(f.sea1252, f, w); }},
        {"sketch", "std-only sketch: decode, split lines, hash the names", Sketch},
        {"floor", "floor: read and decode the sea file", [](const Files& f, const fs::path&) { return Floor(f); }},
#ifdef KELVARO_PEER_SIMPLEINI
        {"SimpleIni", "SimpleIni, wide (UTF-8 INI)", SimpleIni},
#endif
#ifdef KELVARO_PEER_INIH
        {"inih", "inih into a `std::unordered_map`", [](const Files& f, const fs::path&) { return Inih(f); }},
#endif
#ifdef KELVARO_PEER_TOMLPP
        {"toml++", "toml++ (TOML)", TomlPlusPlus},
#endif
    };
    return readers;
}

int Child(const std::string& reader, const std::string& kind, const fs::path& dir, unsigned entries) {
    for (const ReaderInfo& info : Readers()) {
        if (reader != info.name)
            continue;
        Result r = info.run(MakeFiles(dir, entries, kind == "empty"), dir);
        r.peakKb = StatusKb("VmHWM");
        std::printf("%.3f %.3f %.3f %.0f %.0f %.3f %.0f %llu\n", r.loadMs, r.lookupMs, r.saveMs, r.peakKb,
                    r.heldKb, r.loadCpuMs, r.loadFaults, r.checksum);
        return 0;
    }
    std::fprintf(stderr, "no reader %s\n", reader.c_str());
    return 2;
}

// ---- the driver --------------------------------------------------------------

// Runs one measurement in a new process of this program; a failed run gives
// a Result of -1s.
Result Spawn(const std::string& self, const std::string& reader, const char* kind, const fs::path& dir,
             unsigned entries) {
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const std::string count = std::to_string(entries), where = dir.string();
    std::vector<char*> argv = {const_cast<char*>(self.c_str()), const_cast<char*>("--child"),
                               const_cast<char*>(reader.c_str()), const_cast<char*>(kind),
                               const_cast<char*>(where.c_str()), const_cast<char*>(count.c_str()), nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string out;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    Result r;
    if (spawned != 0)
        return r;
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(out.c_str(), "%lf %lf %lf %lf %lf %lf %lf %llu", &r.loadMs, &r.lookupMs, &r.saveMs,
                    &r.peakKb, &r.heldKb, &r.loadCpuMs, &r.loadFaults, &r.checksum) != 8)
        return Result{};
    return r;
}

struct Figures {
    Result median;
    double loadSpread = -1;  // max/min of the load time over the runs
    double cpuSpread = -1;   // the same for its processor time
    double lo[3] = {-1, -1, -1}, hi[3] = {-1, -1, -1};  // load, lookups, save: fastest and slowest run
    double emptyHeldKb = -1;
};

double MedianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// The figures of one reader from its runs of the full file and of the empty one.
Figures Summarise(const std::vector<Result>& full, const std::vector<Result>& empty) {
    Figures f;
    auto field = [](const std::vector<Result>& rs, double Result::*member) {
        std::vector<double> values;
        for (const Result& r : rs)
            values.push_back(r.*member);
        return values;
    };
    f.median = full[0];
    f.median.loadMs = MedianOf(field(full, &Result::loadMs));
    f.median.lookupMs = MedianOf(field(full, &Result::lookupMs));
    f.median.saveMs = MedianOf(field(full, &Result::saveMs));
    f.median.peakKb = MedianOf(field(full, &Result::peakKb));
    f.median.heldKb = MedianOf(field(full, &Result::heldKb));
    f.median.loadCpuMs = MedianOf(field(full, &Result::loadCpuMs));
    f.median.loadFaults = MedianOf(field(full, &Result::loadFaults));
    f.emptyHeldKb = MedianOf(field(empty, &Result::heldKb));
    const std::vector<double> cpu = field(full, &Result::loadCpuMs);
    const auto [cpuLo, cpuHi] = std::minmax_element(cpu.begin(), cpu.end());
    if (*cpuLo > 0)
        f.cpuSpread = *cpuHi / *cpuLo;
    double Result::*timed[3] = {&Result::loadMs, &Result::lookupMs, &Result::saveMs};
    for (int k = 0; k < 3; ++k) {
        const std::vector<double> values = field(full, timed[k]);
        const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
        f.lo[k] = *lo;
        f.hi[k] = *hi;
    }
    if (f.lo[0] > 0)
        f.loadSpread = f.hi[0] / f.lo[0];
    return f;
}

void Cell(double value, double base) {
    if (value < 0)
        std::printf(" %17s", "n/a");
    else if (base > 0)
        std::printf(" %9.1f %6.2fx", value, value / base);
    else
        std::printf(" %17.1f", value);
}

void Row(const char* name, const Figures& f, const Figures& base, unsigned entries) {
    const Result& r = f.median;
    const Result& b = base.median;
    std::printf("  %-12s", name);
    Cell(r.loadMs, b.loadMs);
    std::printf(" %5.2f", f.loadSpread);
    Cell(r.lookupMs, b.lookupMs);
    Cell(r.saveMs, b.saveMs);
    Cell(r.peakKb / 1024.0, b.peakKb / 1024.0);
    Cell(r.heldKb * 1024.0 / entries, b.heldKb * 1024.0 / entries);
    Cell(f.emptyHeldKb * 1024.0 / entries, base.emptyHeldKb * 1024.0 / entries);
    std::printf(" %9.1f %5.2f %8.0f\n", r.loadCpuMs, f.cpuSpread, r.loadFaults);
}

// "a-b" as the README shows ranges of runs, in seconds or ms.
std::string Range(double lo, double hi) {
    if (lo < 0)
        return "";
    char text[64];
    if (hi >= 100)
        std::snprintf(text, sizeof text, "%.2f-%.2f s", lo / 1000, hi / 1000);
    else
        std::snprintf(text, sizeof text, "%.0f-%.0f ms", lo, hi);
    return text;
}

void MarkdownRow(const char* label, const Figures& f, const Figures& base, unsigned entries) {
    const Result& r = f.median;
    auto ratio = [](double value, double of) {
        char text[32];
        if (value < 0 || of <= 0)
            return std::string();
        std::snprintf(text, sizeof text, " (%.2f×)", value / of);
        return std::string(text);
    };
    const bool self = &f == &base;
    std::printf("| %s | %s%s | %.2f | %s%s | %s%s | %.0f MB | %.0f B | %.0f B |\n", label,
                Range(f.lo[0], f.hi[0]).c_str(), self ? "" : ratio(r.loadMs, base.median.loadMs).c_str(),
                f.loadSpread, Range(f.lo[1], f.hi[1]).c_str(),
                self ? "" : ratio(r.lookupMs, base.median.lookupMs).c_str(),
                r.saveMs < 0 ? "(no writer)" : Range(f.lo[2], f.hi[2]).c_str(),
                self || r.saveMs < 0 ? "" : ratio(r.saveMs, base.median.saveMs).c_str(), r.peakKb / 1024.0,
                r.heldKb * 1024.0 / entries, f.emptyHeldKb * 1024.0 / entries);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "--child") == 0) {
        PrWin::InstallOutputHandler([](PrWin::Category, PrWin::Style, const wchar_t*) {});
        return Child(argv[2], argv[3], argv[4], static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10)));
    }
    int runs = 7;
    bool markdown = false;
    std::vector<unsigned> sizes;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--markdown") == 0)
            markdown = true;
        else {
            // "--help" or a typo would otherwise be read as a sea of 0 entries.
            char* end = nullptr;
            const unsigned long entries = std::strtoul(argv[i], &end, 10);
            if (argv[i][0] < '0' || argv[i][0] > '9' || *end != '\0' || entries == 0) {
                std::fprintf(stderr, "usage: %s [--runs N] [--markdown] [ENTRIES...]\n", argv[0]);
                return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
            }
            sizes.push_back(static_cast<unsigned>(entries));
        }
    }
    if (sizes.empty())
        sizes = {100000, 1000000};
    const std::string self = fs::canonical("/proc/self/exe").string();
    const fs::path work = fs::temp_directory_path() / ("kelvaro-peers-" + std::to_string(::getpid()));
    fs::create_directories(work);
    for (unsigned entries : sizes) {
        const Files files = MakeFiles(work, entries, false);
        WriteFiles(files);
        WriteFiles(MakeFiles(work, entries, true));
        std::printf("\n%u entries (sea %.1f MB UTF-16, %.1f MB code page 1252, ini %.1f MB UTF-8); %u lookups; "
                    "1%% changed, then saved\n",
                    entries, fs::file_size(files.sea) / 1048576.0, fs::file_size(files.sea1252) / 1048576.0,
                    fs::file_size(files.ini) / 1048576.0, kLookups);
        std::printf("  %-12s %17s %5s %17s %17s %17s %17s %17s %9s %5s %8s\n", "", "load ms", "max/m", "lookups ms",
                    "change+save ms", "peak MB", "B/entry", "B/empty line", "load cpu", "max/m", "faults");
        // Round by round, every reader once a round: a busy spell of the
        // machine then falls on all of them alike.
        const std::size_t readers = Readers().size();
        std::vector<std::vector<Result>> full(readers), empty(readers);
        for (int run = 0; run < runs; ++run) {
            for (std::size_t i = 0; i < readers; ++i) {
                full[i].push_back(Spawn(self, Readers()[i].name, "full", work, entries));
                empty[i].push_back(Spawn(self, Readers()[i].name, "empty", work, entries));
            }
        }
        std::vector<Figures> figures;
        for (std::size_t i = 0; i < readers; ++i) {
            figures.push_back(Summarise(full[i], empty[i]));
            Row(Readers()[i].name, figures.back(), figures.front(), entries);
        }
        std::printf("  (median of %d fresh processes each; max/m: slowest/fastest load; ratios: figure / kelvaro's;\n"
                    "   B/entry and B/empty line: resident memory the load adds, per line of each file;\n"
                    "   load cpu: processor ms of the load, user and system; faults: page faults of the load)\n",
                    runs);
        if (markdown) {
            std::printf("\n| %u entries | load | load max/min | %u lookups | change 1%% and save | peak memory | "
                        "bytes per entry | bytes per empty line |\n|---|---|---|---|---|---|---|---|\n",
                        entries, kLookups);
            for (std::size_t i = 0; i < figures.size(); ++i)
                MarkdownRow(Readers()[i].label, figures[i], figures.front(), entries);
        }
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return 0;
}
