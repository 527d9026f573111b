#!/usr/bin/env bash
# The user's wait for the library, on the shipped 32-bit program under Wine:
#   tools/library-bench.sh [--demos=N] [--runs=N]
# Builds the Windows programs (out/win32, as tools/test.sh does), copies the
# corpus (../shared/corpus, or REWINDOR_CORPUS) over and over into one folder
# of 1,000 demos, and prints the time from the library's button to "N из N"
# against `rewindor-cli.exe info --json -r` on the same folder, and how long
# the window made the user wait for an answer while it read. Without a display
# it runs on an Xvfb screen of its own. The figures are in docs/benchmarks.md.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${REWINDOR_OUT:-$ROOT/out}
JOBS=${REWINDOR_JOBS:-2}
BUILD=$OUT/win32
CORPUS=${REWINDOR_CORPUS:-$ROOT/../shared/corpus}

[[ -d $CORPUS ]] || { echo "no corpus at $CORPUS (set REWINDOR_CORPUS)"; exit 1; }
"$ROOT/tools/wine-run.sh" --can-run-32bit || { echo "this machine runs no 32-bit Wine"; exit 1; }
mkdir -p "$BUILD"
if ! { cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
         -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" &&
       cmake --build "$BUILD" -j "$JOBS" --target rewindor rewindor-cli rewindor_library_bench; } \
     >"$BUILD.library-bench.log" 2>&1; then
  grep -E 'error|FAILED' "$BUILD.library-bench.log" | head -n 40
  echo "build failed; the whole log: $BUILD.library-bench.log"
  exit 1
fi

run() {
  "$ROOT/tools/wine-run.sh" "$BUILD/tests/e2e/rewindor_library_bench.exe" --program="$BUILD/ui/rewindor.exe" \
    --cli="$BUILD/cli/rewindor-cli.exe" --corpus="$(cd "$CORPUS" && pwd)" "$@"
  local rc=$?
  wineserver -k 2>/dev/null
  return $rc
}

export WINEPREFIX=${WINEPREFIX:-$BUILD/wineprefix}
if [[ -n ${DISPLAY:-} ]]; then
  run "$@"
  exit
fi
fifo=$(mktemp -u) && mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
read -r -t 30 number <"$fifo"
rm -f "$fifo"
[[ -n $number ]] || { echo "Xvfb did not start"; kill "$xvfb" 2>/dev/null; exit 1; }
DISPLAY=:$number run "$@"
rc=$?
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
exit $rc
