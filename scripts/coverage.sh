#!/usr/bin/env bash
# Line coverage of kelvaro/ by the test suite: configures build/coverage with
# --coverage (GCC, Debug), builds and runs the tests, prints a gcovr summary.
# Needs gcovr (apt-get install -y gcovr).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/coverage

if ! command -v gcovr >/dev/null; then
    echo "gcovr is missing: apt-get install -y gcovr" >&2
    exit 1
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DKELVARO_BUILD_TESTS=ON -DKELVARO_BUILD_BENCH=OFF -DKELVARO_BUILD_TOOLS=ON \
    -DCMAKE_CXX_FLAGS="--coverage -O0 -fprofile-update=atomic" \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage \
    -DCMAKE_MODULE_LINKER_FLAGS=--coverage >/dev/null
# Counters of an earlier run would add up with this one.
find "$build" -name '*.gcda' -delete
cmake --build "$build" -j2
ctest --test-dir "$build" -j2 --output-on-failure --timeout 600 || echo "some tests failed; coverage below still counts"

# Threaded tests race on plain counters, and children killed on purpose may
# leave a counter half-written: counters are updated atomically, and a
# branch count gcov cannot read is skipped (line counts are what is reported).
gcovr --root . --filter 'kelvaro/' --object-directory "$build" \
      --exclude-unreachable-branches --gcov-ignore-parse-errors --print-summary \
      --txt "$build/coverage.txt" "$build" | tail -n 3
echo "per-file report: $build/coverage.txt"
