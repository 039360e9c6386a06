#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz") and runs each for SECONDS seconds
# (default 60) from its seed corpus. Fails when any target finds a crash;
# prints one summary line per target. `run.sh long` runs every target for
# 300 seconds, the run to make before trusting a change to the readers or the
# save; what it stops on is to be added to fuzz/corpus/<target>/.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
[ "$seconds" = long ] && seconds=300

cmake --preset fuzz >/dev/null || exit 1
cmake --build build/fuzz --target fuzz -j2 >/dev/null || { echo "fuzz build failed" >&2; exit 1; }

targets=(entry_line sea_read list_block table_import lookup_format decode sea_edit)
work="build/fuzz/runs"
mkdir -p "$work"
status=0
summary=()
for t in "${targets[@]}"; do
    corpus="$work/corpus-$t"           # grows during runs; the seeds stay as they are
    mkdir -p "$corpus" "$work/artifacts-$t"
    log="$work/$t.log"
    ./build/fuzz/fuzz/fuzz_"$t" "$corpus" "fuzz/corpus/$t" \
        -max_total_time="$seconds" -max_len=16384 -timeout=20 -rss_limit_mb=2048 \
        -artifact_prefix="$work/artifacts-$t/" -print_final_stats=1 >"$log" 2>&1
    rc=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | grep -oE '[0-9]+')
    if [ $rc -eq 0 ]; then
        summary+=("$(printf '%-14s ok     %9s runs  cov %6s  %ss' "$t" "${runs:-?}" "${cov:-?}" "$seconds")")
    else
        status=1
        crash=$(ls -t "$work/artifacts-$t"/ 2>/dev/null | head -1)
        summary+=("$(printf '%-14s FAILED %9s runs  cov %6s  rc %s  %s (log %s)' "$t" "${runs:-?}" "${cov:-?}" \
                  "$rc" "${crash:+$work/artifacts-$t/$crash}" "$log")")
    fi
done
printf '%s\n' "${summary[@]}"
exit $status
