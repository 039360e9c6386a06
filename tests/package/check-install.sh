#!/usr/bin/env bash
# Installs the default build into an empty prefix and builds an outside
# project against it with find_package(Kelvaro CONFIG REQUIRED).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$root/build/default" --prefix "$work/prefix" >/dev/null
cmake -S "$root/tests/package/consumer" -B "$work/build" -G Ninja \
      -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/build" >/dev/null
LD_LIBRARY_PATH="$work/prefix/lib:${LD_LIBRARY_PATH:-}" "$work/build/consumer"
if [ -f "$work/prefix/lib/pkgconfig/kelvaro_postgres.pc" ]; then
    PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --print-errors --exists kelvaro_postgres
fi
echo "package check: passed"
