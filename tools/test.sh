#!/usr/bin/env bash
# Runs every test, on a fresh Debian/Ubuntu machine too: ./tools/test.sh
# Stages: install the packages; check the product code's format; build
# natively (Release) and run ctest; clang-tidy over the product code; the unit
# tests again under the sanitizers; a short run of each fuzz target; build for Windows and run the unit tests and
# then the end-to-end tests under Wine. Every build treats compiler warnings as
# errors. Exits non-zero when anything failed.
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

# Configures and builds one build folder, quietly unless it fails; warnings
# fail the build. BUILD_TARGET names the one target to build (default all).
build() {
  local dir=$1 log
  shift
  log="$dir.build.log"
  mkdir -p "$dir"
  if ! { cmake -S "$ROOT" -B "$dir" -G Ninja -DREWINDOR_WERROR=ON "$@" &&
         cmake --build "$dir" -j "$JOBS" ${BUILD_TARGET:+--target "$BUILD_TARGET"}; } >"$log" 2>&1; then
    grep -E 'error|Error|FAILED' "$log" | head -n 60
    echo "build failed; the whole log: $log"
    return 1
  fi
  echo "compiler warnings: $(grep -c 'warning:' "$log")"
}

# Runs ctest in a build folder, with any further ctest arguments, and shows
# its summary (and the output of failed tests). REWINDOR_CTEST_LOG names the
# log (default <dir>.ctest.log).
run_ctest() {
  local dir=$1 log rc
  shift
  log=${REWINDOR_CTEST_LOG:-$dir.ctest.log}
  (cd "$dir" && ctest --output-on-failure -j "$JOBS" --timeout 1500 "$@") >"$log" 2>&1
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

# The product code follows .clang-format.
format() {
  "$ROOT/tools/format.sh" --check
}

# clang-tidy's checks (.clang-tidy: faults, not style; no function over 60
# lines) over the product code the native build compiles.
tidy() {
  "$ROOT/tools/tidy.sh" "$OUT/native"
}

# The unit tests built with clang's sanitizers, each fault halting the run:
# AddressSanitizer with UndefinedBehaviorSanitizer, then ThreadSanitizer (the
# library's reader, the timeline's reading and the lease watch start threads).
# Only the tests' binary is built; it runs whole, in one process.
sanitize() {
  local kind dir rc=0
  for kind in address,undefined thread; do
    dir=$OUT/asan
    [[ $kind == thread ]] && dir=$OUT/tsan
    CC=clang CXX=clang++ BUILD_TARGET=rewindor_tests build "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DREWINDOR_SANITIZE="$kind" -DREWINDOR_BENCH=OFF || return 1
    # ThreadSanitizer lets the edit tests' forked children go on (they only
    # take the demo and are killed).
    if (cd "$dir" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
          TSAN_OPTIONS=halt_on_error=1:die_after_fork=0 ./tests/rewindor_tests --gtest_brief=1 >tests.log 2>&1); then
      echo "$kind: $(grep -E 'PASSED' "$dir/tests.log")"
    else
      tail -n 60 "$dir/tests.log"
      echo "$kind FAILED; the whole log: $dir/tests.log"
      rc=1
    fi
  done
  return $rc
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
  WINDOWS_TESTED=$tested
  with_display test_under_wine "$tested" -LE e2e
}

# The end-to-end tests (ctest label e2e): the Windows program driven through
# its windows under Wine, in the build that the windows stage tested. The
# screenshot of the main window is kept in <build>/artifacts/.
e2e() {
  [[ -n ${WINDOWS_TESTED:-} ]] || { echo "no Windows build to test"; return 1; }
  # A menu or dialog of Wine's can still close at once under load; a failed
  # run is repeated once, whole, and both runs are in the log.
  REWINDOR_CTEST_LOG=$WINDOWS_TESTED.e2e.log with_display test_under_wine "$WINDOWS_TESTED" -L e2e \
    --repeat until-pass:2
}

# The libFuzzer targets (clang, ASan, UBSan), each for a short bounded run
# from the builder's seed demos. A crash leaves its input in out/fuzz.
fuzz() {
  local dir=$OUT/fuzz target rc=0
  CC=clang CXX=clang++ build "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREWINDOR_FUZZ=ON -DREWINDOR_TESTS=OFF \
    -DREWINDOR_BENCH=OFF || return 1
  rm -rf "$dir/seeds" && mkdir -p "$dir/seeds" && "$dir/tests/fuzz/rewindor-fuzz-seeds" "$dir/seeds" || return 1
  for target in info_fuzz edits_fuzz keyvalues_fuzz messages_fuzz; do
    mkdir -p "$dir/corpus-$target"
    if (cd "$dir" && "./tests/fuzz/$target" -max_total_time="${REWINDOR_FUZZ_SECONDS:-30}" -max_len=16384 \
          -print_final_stats=0 "corpus-$target" seeds >"$target.log" 2>&1); then
      echo "$target: $(grep -E '^Done' "$dir/$target.log")"
    else
      tail -n 40 "$dir/$target.log"
      echo "$target FAILED"
      rc=1
    fi
  done
  return $rc
}

test_under_wine() {
  local dir=$1 rc
  shift
  # A fresh Wine prefix for every run; tools/wine-run.sh makes it on first use.
  WINEPREFIX=$dir/wineprefix wineserver -k 2>/dev/null
  rm -rf "$dir/wineprefix" "$dir/wineprefix.lock"
  run_ctest "$dir" "$@"
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
    stage format format
    stage native native
    stage tidy tidy
    stage sanitize sanitize
    stage fuzz fuzz
    stage windows windows
    stage e2e e2e
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
