#!/usr/bin/env bash
# Runs clang-tidy with .clang-tidy over the product code that the native build
# compiles (the *_win.cpp files are left to the Windows compiler's warnings):
#   ./tools/tidy.sh [BUILD_FOLDER]   (default out/native, configured here when absent)
# Exits non-zero when clang-tidy reports anything.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-${REWINDOR_OUT:-$ROOT/out}/native}
JOBS=${REWINDOR_JOBS:-2}
RUN_CLANG_TIDY=${RUN_CLANG_TIDY:-$(command -v run-clang-tidy-14 || command -v run-clang-tidy)}

[[ -n $RUN_CLANG_TIDY ]] || { echo "clang-tidy is not installed (tools/install-deps.sh)"; exit 1; }
# The compile commands, and the generated version header they include.
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null || exit 1
cmake --build "$BUILD" --target rewindor_demo >/dev/null || exit 1
log=$BUILD/tidy.log
"$RUN_CLANG_TIDY" -quiet -j "$JOBS" -p "$BUILD" "$ROOT/(app|cli|demo|launch|library|settings|tools|ui)/" >"$log" 2>&1
findings=$(grep -cE '(warning|error): ' "$log")
grep -E -A3 '(warning|error): ' "$log"
echo "clang-tidy: $findings findings; the whole log: $log"
[[ $findings -eq 0 ]]
