#!/usr/bin/env bash
# Runs every test, on a fresh Debian/Ubuntu machine too: ./tools/test.sh
# Stages: install the packages; build natively (Release) and run ctest; build
# for Windows and run ctest under Wine. Exits non-zero when anything failed.
#
# Environment: REWINDOR_OUT (build folders, default out/), REWINDOR_JOBS
# (parallel build jobs, default 2).
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${REWINDOR_OUT:-$ROOT/out}
JOBS=${REWINDOR_JOBS:-2}
FAILED=()
TIMES=()

# Runs one stage, times it and notes a failure.
stage() {
  local name=$1 start=$SECONDS
  shift
  echo "=== $name"
  if "$@"; then
    TIMES+=("$(printf '%-10s %5d s  ok' "$name" $((SECONDS - start)))")
  else
    TIMES+=("$(printf '%-10s %5d s  FAILED' "$name" $((SECONDS - start)))")
    FAILED+=("$name")
  fi
}

# Configures and builds one build folder, quietly unless it fails.
build() {
  local dir=$1 log
  shift
  log="$dir.build.log"
  mkdir -p "$dir"
  if ! { cmake -S "$ROOT" -B "$dir" -G Ninja "$@" && cmake --build "$dir" -j "$JOBS"; } >"$log" 2>&1; then
    grep -E 'error|Error|FAILED' "$log" | head -n 60
    echo "build failed; the whole log: $log"
    return 1
  fi
  echo "compiler warnings: $(grep -c 'warning:' "$log")"
}

# Runs ctest in a build folder and shows its summary (and the output of
# failed tests).
run_ctest() {
  local dir=$1 log rc
  log="$dir.ctest.log"
  (cd "$dir" && ctest --output-on-failure -j "$JOBS" --timeout 1500) >"$log" 2>&1
  rc=$?
  if [[ $rc -eq 0 ]]; then
    sed -n '/tests passed/,$p' "$log"
  else
    cat "$log"
  fi
  return $rc
}

deps() {
  bash "$ROOT/tools/install-deps.sh"
}

native() {
  build "$OUT/native" -DCMAKE_BUILD_TYPE=Release && run_ctest "$OUT/native"
}

# The shipped 32-bit build is always built; its tests run under Wine where
# this machine runs 32-bit code, otherwise the same sources built as 64-bit
# programs are tested under 64-bit Wine.
windows() {
  build "$OUT/win32" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" || return 1
  local tested=$OUT/win32
  if ! "$ROOT/tools/wine-run.sh" --can-run-32bit; then
    echo "note: this machine does not run 32-bit programs; testing the 64-bit Windows build under Wine"
    tested=$OUT/win64
    build "$tested" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake" || return 1
  fi
  with_display test_under_wine "$tested"
}

test_under_wine() {
  local dir=$1 rc
  # A fresh Wine prefix for every run; tools/wine-run.sh makes it on first use.
  WINEPREFIX=$dir/wineprefix wineserver -k 2>/dev/null
  rm -rf "$dir/wineprefix" "$dir/wineprefix.lock"
  run_ctest "$dir"
  rc=$?
  WINEPREFIX=$dir/wineprefix wineserver -k 2>/dev/null
  return $rc
}

# Runs a command with an X display: the present one, or an Xvfb of its own on
# a free display number, stopped when the command has ended (the command ends
# Wine's server first, so that no Wine process is left talking to it).
with_display() {
  if [[ -n ${DISPLAY:-} ]]; then
    "$@"
    return
  fi
  local fifo xvfb number rc
  fifo=$(mktemp -u) && mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb=$!
  read -r -t 30 number <"$fifo"
  rm -f "$fifo"
  if [[ -z $number ]]; then
    echo "Xvfb did not start"
    kill "$xvfb" 2>/dev/null
    return 1
  fi
  DISPLAY=:$number "$@"
  rc=$?
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  return $rc
}

main() {
  local start=$SECONDS
  stage deps deps
  if [[ ${#FAILED[@]} -eq 0 ]]; then
    stage native native
    stage windows windows
  fi
  echo "=== timings"
  printf '%s\n' "${TIMES[@]}"
  printf '%-10s %5d s\n' total $((SECONDS - start))
  if [[ ${#FAILED[@]} -gt 0 ]]; then
    echo "FAILED: ${FAILED[*]}"
    exit 1
  fi
  echo "all stages passed"
}

main "$@"
