// Lookup by name on a large sea, against a plain hash map of the same size
// and keys, looked up in the same random order in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "kelvaro/sea/ResourceSea.h"

namespace {

constexpr int kEntries = 1000000;
constexpr std::size_t kProbes = 1u << 20;  // random probe order, larger than the caches

struct Fixture {
    std::vector<std::wstring> keys;
    std::vector<unsigned> order;
    CResourceSea sea;
    std::unordered_map<std::wstring, int> map;

    Fixture() {
        keys.reserve(kEntries);
        map.reserve(kEntries);
        for (int i = 0; i < kEntries; ++i) {
            keys.push_back(L"Module.Setting" + std::to_wstring(i));
            // Six digits everywhere, so a rewrite keeps the text length.
            sea.LookupSetInt(keys.back().c_str(), 100000 + i % 900000, 0);
            map.emplace(keys.back(), i);
        }
        std::mt19937 random(42);
        std::uniform_int_distribution<unsigned> pick(0, kEntries - 1);
        order.resize(kProbes);
        for (unsigned& k : order) k = pick(random);
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

void UnorderedMapFind(benchmark::State& state) {
    Fixture& f = Shared();
    std::size_t i = 0;
    for (auto _ : state) {
        auto it = f.map.find(f.keys[f.order[i++ & (kProbes - 1)]]);
        benchmark::DoNotOptimize(it->second);
    }
}

void LookupGetInt(benchmark::State& state) {
    Fixture& f = Shared();
    std::size_t i = 0;
    for (auto _ : state) {
        const int value = f.sea.LookupGetInt(f.keys[f.order[i++ & (kProbes - 1)]].c_str(), 0, -1);
        benchmark::DoNotOptimize(value);
    }
}

void LookupSetInt(benchmark::State& state) {
    Fixture& f = Shared();
    std::size_t i = 0;
    for (auto _ : state) {
        const unsigned k = f.order[i & (kProbes - 1)];
        // A new six-digit value on nearly every call: the text really changes.
        const int value = 100000 + static_cast<int>((k + i) % 900000);
        ++i;
        benchmark::DoNotOptimize(f.sea.LookupSetInt(f.keys[k].c_str(), value, 0));
    }
}

}  // namespace

BENCHMARK(UnorderedMapFind);
BENCHMARK(LookupGetInt);
BENCHMARK(LookupSetInt);
BENCHMARK(UnorderedMapFind);
