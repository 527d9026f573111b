#!/usr/bin/env bash
# Builds everything and runs Rewindor on the bundled sample demo: ./tools/run.sh
# On a fresh Debian/Ubuntu machine it first installs what it needs. It prints
# what `rewindor-cli info` finds in samples/, makes the portable release zip,
# and opens the Windows program on the sample demo: natively on Windows, under
# Wine on Linux. With a display the window appears (close it to end); without
# one, the program runs on an Xvfb screen of its own, a screenshot is saved and
# its path printed. Build folders go to out/ (REWINDOR_OUT), as for tools/test.sh.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${REWINDOR_OUT:-$ROOT/out}
JOBS=${REWINDOR_JOBS:-2}
DEMO=de_rewind_client.dem

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

on_windows() { [[ ${OS:-} == Windows_NT ]]; }

run_cli() {
  build "$OUT/native" -DCMAKE_BUILD_TYPE=Release
  echo "=== rewindor-cli info samples/"
  (cd "$ROOT" && "$OUT/native/cli/rewindor-cli" info samples/)
}

# The shipped program is 32-bit; where this machine runs no 32-bit code, the
# same sources built as 64-bit programs are what Wine can run.
build_windows() {
  build "$OUT/win32" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake"
  echo "=== portable release: $("$ROOT/tools/package.sh" "$OUT/win32" "$OUT/release")"
  RUNNABLE=$OUT/win32
  if ! "$ROOT/tools/wine-run.sh" --can-run-32bit; then
    RUNNABLE=$OUT/win64
    build "$RUNNABLE" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake"
  fi
  # The program with the samples beside it, so it finds the map picture.
  "$ROOT/tools/package.sh" "$RUNNABLE" "$OUT/run" >/dev/null
}

# Waits until the program's window is up (it is drawn a moment later).
wait_for_window() {
  local i
  for i in $(seq 1 60); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Rewindor"' && { sleep 2; return 0; }
    sleep 1
  done
  return 1
}

run_windows_program() {
  local folder=$OUT/run/rewindor
  export WINEPREFIX=$OUT/run/wineprefix
  # Wine sees the host's files through drive Z:.
  local demo="Z:${folder//\//\\}\\$DEMO"
  if [[ -n ${DISPLAY:-} ]]; then
    echo "=== rewindor.exe $DEMO (close the window to end)"
    (cd "$folder" && "$ROOT/tools/wine-run.sh" "$folder/rewindor.exe" "$demo")
    return
  fi
  local shot=$OUT/rewindor-window.png fifo number xvfb pid
  fifo=$(mktemp -u) && mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb=$!
  read -r -t 30 number <"$fifo" || true
  rm -f "$fifo"
  [[ -n ${number:-} ]] || { echo "Xvfb did not start"; exit 1; }
  export DISPLAY=:$number
  echo "=== rewindor.exe $DEMO on a screen of its own (no display here)"
  (cd "$folder" && "$ROOT/tools/wine-run.sh" "$folder/rewindor.exe" "$demo") &
  pid=$!
  if wait_for_window; then
    import -window root "$shot"
    echo "screenshot of the window: $shot"
  else
    echo "the window did not appear"
  fi
  kill "$pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}

if on_windows; then
  build "$OUT/win32" -DCMAKE_BUILD_TYPE=Release
  "$ROOT/tools/package.sh" "$OUT/win32" "$OUT/run" >/dev/null
  (cd "$OUT/run/rewindor" && ./rewindor.exe "$DEMO")
  exit 0
fi
bash "$ROOT/tools/install-deps.sh"
run_cli
build_windows
run_windows_program
