#!/usr/bin/env bash
# Runs a Windows program under Wine and passes its exit code through:
#   tools/wine-run.sh PROGRAM.exe [ARGUMENTS...]
# ctest uses it as the emulator of the Windows builds; the end-to-end tests and
# tools/run.sh use it too.
#
# The Wine prefix is a throwaway one: $WINEPREFIX when set, otherwise
# "wineprefix" in the build folder that holds the program. It is made on first
# use (delete it to start afresh). A wineserver is kept warm for a minute so
# that test processes that follow each other do not each start Wine anew.
#
#   tools/wine-run.sh --can-run-32bit   exits 0 when this machine runs 32-bit Wine
set -uo pipefail

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no offer to install Mono or Gecko

die() {
  echo "wine-run.sh: $*" >&2
  exit 125
}

loader32() {
  local w
  for w in /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine; do
    [[ -x $w ]] && { echo "$w"; return 0; }
  done
  return 1
}
loader64() {
  local w
  for w in /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64 "$(command -v wine64)"; do
    [[ -n $w && -x $w ]] && { echo "$w"; return 0; }
  done
  return 1
}
# Some kernels (and sandboxes) refuse 32-bit code altogether; 32-bit Wine then
# cannot start, and only 64-bit Windows programs can be run.
can_run_32bit() {
  local w
  w=$(loader32) && "$w" --version >/dev/null 2>&1
}

# 32 or 64: the machine field of the program's PE header.
pe_bits() {
  local pe machine
  pe=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
  [[ -n $pe ]] || return 1
  machine=$(od -An -t x2 -j $((pe + 4)) -N 2 "$1" | tr -d ' ')
  case $machine in
    014c) echo 32 ;;
    8664) echo 64 ;;
    *) return 1 ;;
  esac
}

default_prefix() {
  local dir
  dir=$(cd "$(dirname "$1")" && pwd)
  while [[ $dir != / && ! -f $dir/CMakeCache.txt ]]; do dir=$(dirname "$dir"); done
  if [[ $dir == / ]]; then
    echo "${TMPDIR:-/tmp}/rewindor-wineprefix-$(id -u)"
  else
    echo "$dir/wineprefix"
  fi
}

# Makes the prefix once (wineboot takes a while); parallel test processes wait
# for the one that makes it.
ensure_prefix() {
  local wine=$1
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    [[ -f $WINEPREFIX/.rewindor-ready ]] && exit 0
    rm -rf "$WINEPREFIX"
    "$wine" wineboot -i </dev/null >/dev/null 2>&1
    # A crashing test must end with its exit code, not wait on a dialog.
    "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.rewindor-ready"
  ) 9>"$WINEPREFIX.lock"
}

main() {
  [[ $# -ge 1 ]] || die "usage: wine-run.sh PROGRAM.exe [ARGUMENTS...]"
  if [[ $1 == --can-run-32bit ]]; then
    can_run_32bit
    exit
  fi
  local program=$1
  shift
  [[ -f $program ]] || die "no such program: $program"

  local bits wine prefix_wine
  bits=$(pe_bits "$program") || die "not a Windows program: $program"
  if [[ $bits == 64 ]]; then
    wine=$(loader64) || die "64-bit Wine is not installed (Debian: wine64)"
  else
    can_run_32bit || die "this machine cannot run 32-bit programs (32-bit Wine does not start);" \
      "build the Windows tests with cmake/mingw-x86_64.cmake instead"
    wine=$(loader32)
  fi
  # A 64-bit prefix runs both kinds of programs.
  prefix_wine=$(loader64) || prefix_wine=$wine

  export WINEPREFIX=${WINEPREFIX:-$(default_prefix "$program")}
  # Wine names files on the disk in the locale's character set: UTF-8 keeps
  # every Windows name.
  if [[ $(locale charmap 2>/dev/null) != UTF-8 ]]; then export LC_ALL=C.UTF-8; fi
  ensure_prefix "$prefix_wine" || die "could not make the Wine prefix $WINEPREFIX"
  wineserver -p60 </dev/null >/dev/null 2>&1

  # Wine's helper processes outlive the program; were they to inherit our
  # output, ctest would wait for them. So the output goes through files.
  local out err rc
  { out=$(mktemp) && err=$(mktemp); } || die "no temporary files"
  "$wine" "$program" "$@" >"$out" 2>"$err"
  rc=$?
  cat "$out"
  cat "$err" >&2
  rm -f "$out" "$err"
  exit "$rc"
}

main "$@"
