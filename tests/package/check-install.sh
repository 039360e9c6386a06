#!/usr/bin/env bash
# Installs the default build into an empty prefix and uses it from outside:
# a project with find_package(Kelvaro CONFIG REQUIRED), the README's C++
# snippets through pkg-config with -Wall -Wextra -Werror, the companions'
# .pc files, and the Python module. The prefix is then moved, and pkg-config
# and the Python module must still find their files.
# KELVARO_BUILD_DIR names another build folder than build/default.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${KELVARO_BUILD_DIR:-$root/build/default}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$root/tests/package/consumer" -B "$work/build" -G Ninja \
      -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/build" >/dev/null
LD_LIBRARY_PATH="$work/prefix/lib:${LD_LIBRARY_PATH:-}" "$work/build/consumer"

# The prefix moves: everything below must work from where it lies now.
mv "$work/prefix" "$work/moved"
prefix=$work/moved
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
export LD_LIBRARY_PATH="$prefix/lib:${LD_LIBRARY_PATH:-}"
cxx=${CXX:-c++}

# Every ```cpp block of the README, its indentation removed, is a whole program.
mkdir "$work/snippets"
awk -v dir="$work/snippets" '
    /^ *```cpp$/ { n++; indent = index($0, "`") - 1; file = dir "/snippet" n ".cpp"; next }
    file != "" && /^ *```$/ { close(file); file = ""; next }
    file != "" { print substr($0, indent + 1) > file }
' "$root/README.md"
count=0
for snippet in "$work"/snippets/*.cpp; do
    # shellcheck disable=SC2046  # pkg-config gives several words on purpose
    "$cxx" -std=c++20 -Wall -Wextra -Werror -o "${snippet%.cpp}" "$snippet" $(pkg-config --cflags --libs kelvaro) ||
        { echo "package check: README snippet failed to compile:" >&2; cat -n "$snippet" >&2; exit 1; }
    count=$((count + 1))
done
[ "$count" -ge 3 ] || { echo "package check: found only $count C++ snippets in README.md" >&2; exit 1; }
# The quick start (the snippet with LookupGetString) runs on a file of its own.
quickstart=$(grep -l LookupGetString "$work"/snippets/*.cpp | head -n 1)
(cd "$work/snippets" && "${quickstart%.cpp}" >/dev/null)

if [ -f "$prefix/lib/pkgconfig/kelvaro_sqlite.pc" ]; then
    cat > "$work/sqlite.cpp" <<'CPP'
#include "kelvaro/Kelvaro.h"
#include "kelvaro_sqlite/SqliteTable.h"

int main() {
    CResourceSea sea, back;
    sea.Create();
    sea.LookupSetInt(L"width", 640);
    CSqliteSeaTable table(L"seas.db");
    if (!sea.SaveToTable(&table) || !back.ReadFromTable(&table, false)) return 1;
    return back.LookupGetInt(L"width", 0, 0) == 640 ? 0 : 1;
}
CPP
    # shellcheck disable=SC2046
    "$cxx" -std=c++20 -Wall -Wextra -Werror -o "$work/sqlite" "$work/sqlite.cpp" $(pkg-config --cflags --libs kelvaro_sqlite)
    (cd "$work" && "$work/sqlite")
fi
if [ -f "$prefix/lib/pkgconfig/kelvaro_json.pc" ]; then
    cat > "$work/json.cpp" <<'CPP'
#include <string>

#include "kelvaro/Kelvaro.h"
#include "kelvaro_json/SeaJson.h"

int main() {
    CResourceSea sea, back;
    sea.Create();
    back.Create();
    sea.LookupSetInt(L"width", 640);
    std::string json, again;
    CString error;
    if (!SeaToJson(sea, json, error) || !SeaFromJson(json, back, error) || !SeaToJson(back, again, error)) return 1;
    return json == again && back.LookupGetInt(L"width", 0, 0) == 640 ? 0 : 1;
}
CPP
    # shellcheck disable=SC2046
    "$cxx" -std=c++20 -Wall -Wextra -Werror -o "$work/json" "$work/json.cpp" $(pkg-config --cflags --libs kelvaro_json)
    "$work/json"
fi
if [ -f "$prefix/lib/pkgconfig/kelvaro_postgres.pc" ]; then
    pkg-config --print-errors --exists kelvaro_postgres
fi

# The Python module, found through its own rpath (no LD_LIBRARY_PATH), runs
# the README's Python quick start on the file the C++ quick start wrote.
module=$(find "$prefix" -name 'kelvaro.cpython-*.so' | head -n 1)
if [ -n "$module" ]; then
    awk '/^```python$/ { on = 1; next } on && /^```$/ { on = 0 } on' "$root/README.md" > "$work/snippets/quickstart.py"
    (cd "$work/snippets" && env -u LD_LIBRARY_PATH PYTHONPATH="$(dirname "$module")" \
        /usr/bin/python3 quickstart.py >/dev/null)
elif grep -q '^KELVARO_BUILD_PYTHON:BOOL=ON' "$build/CMakeCache.txt"; then
    echo "package check: the Python module was not installed" >&2
    exit 1
fi
echo "package check: passed"
