#!/usr/bin/env bash
# Builds everything and runs Rewindor on the bundled sample demos: ./tools/run.sh
# Uses the same build folders as tools/test.sh (REWINDOR_OUT, default out/).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${REWINDOR_OUT:-$ROOT/out}
JOBS=${REWINDOR_JOBS:-2}

# Configures and builds one build folder, quietly unless it fails.
build() {
  local dir=$1
  shift
  mkdir -p "$dir"
  echo "building $dir"
  if ! { cmake -S "$ROOT" -B "$dir" -G Ninja "$@" && cmake --build "$dir" -j "$JOBS"; } >"$dir.build.log" 2>&1; then
    grep -E 'error|Error|FAILED' "$dir.build.log" | head -n 40
    echo "build failed; the whole log: $dir.build.log"
    exit 1
  fi
}

run_cli() {
  build "$OUT/native" -DCMAKE_BUILD_TYPE=Release
  echo "=== rewindor-cli info samples/"
  (cd "$ROOT" && "$OUT/native/cli/rewindor-cli" info samples/)
}

# The Windows program, under Wine, on a sample demo. It is built as 32-bit
# (what ships) or, where this machine runs no 32-bit code, as 64-bit.
run_windows_program() {
  local dir=$OUT/win32 toolchain=mingw-i686
  if ! "$ROOT/tools/wine-run.sh" --can-run-32bit; then
    dir=$OUT/win64 toolchain=mingw-x86_64
  fi
  build "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain.cmake"
  if [[ ! -f $dir/app/rewindor.exe ]]; then
    echo "(the Windows program is not built yet)"
    return 0
  fi
  if [[ -z ${DISPLAY:-} ]]; then
    echo "(no display: not starting the Windows program)"
    return 0
  fi
  echo "=== rewindor.exe samples/de_rewind_client.dem"
  "$ROOT/tools/wine-run.sh" "$dir/app/rewindor.exe" "$ROOT/samples/de_rewind_client.dem"
}

run_cli
run_windows_program
