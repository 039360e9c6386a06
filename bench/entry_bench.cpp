// Cost of giving an entry a typical sea line, against the floor of copying
// the same line into a fresh std::wstring. The reader assigns every line of
// every sea this way, so the ratio of the two is what a sea load pays per line.
#include <benchmark/benchmark.h>

#include <string>

#include "kelvaro/entry/ResourceEntry.h"

namespace {

const wchar_t kLine[] = L"key_000123:\t42 3.5 word ";

void BM_AssignLine(benchmark::State& state) {
    CResValueReservoir reservoir(64);
    CResourceEntry entry(&reservoir, 0, nullptr);
    entry = kLine;  // warm: line buffer, name and reservoir hold what is needed
    for (auto _ : state) {
        entry = kLine;
        benchmark::DoNotOptimize(entry.NValues());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_AssignLine);

void BM_CopyToWstring(benchmark::State& state) {
    const wchar_t* line = kLine;
    for (auto _ : state) {
        benchmark::DoNotOptimize(line);
        std::wstring copy(line);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyToWstring);

// Rewriting a value with a text that fits its buffer stays in place.
void BM_AssignLineAlternating(benchmark::State& state) {
    CResValueReservoir reservoir(64);
    CResourceEntry entry(&reservoir, 0, nullptr);
    const wchar_t* lines[2] = {kLine, L"key_000124:\t\"two words\" 7 x "};
    unsigned i = 0;
    for (auto _ : state) {
        entry = lines[i++ & 1];
        benchmark::DoNotOptimize(entry.NValues());
    }
}
BENCHMARK(BM_AssignLineAlternating);

}  // namespace
