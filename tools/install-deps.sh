#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages that building and testing Rewindor need.
# Installs only what is missing, so it is quick to run again.
set -euo pipefail

SUDO=()
[[ $(id -u) -eq 0 ]] || SUDO=(sudo)

PACKAGES=(
  # native build, unit tests, sanitizers and fuzzing
  g++ cmake ninja-build clang libclang-rt-14-dev googletest
  # the code's format and its static checks
  clang-format-14 clang-tidy-14
  # Windows build and Wine to run it
  mingw-w64 wine wine64
  # a screen for the end-to-end tests, and screenshots of it
  xvfb xauth x11-utils imagemagick zip
)

missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${db:Status-Status}\n' "$p" 2>/dev/null | grep -qx installed || echo "$p"
  done
}

APT_UPDATED=
apt_install() {
  local log
  log=$(mktemp)
  if [[ -z $APT_UPDATED ]]; then
    "${SUDO[@]}" apt-get update -qq >"$log" 2>&1 || { cat "$log"; rm -f "$log"; return 1; }
    APT_UPDATED=1
  fi
  echo "installing: $*"
  if ! "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >"$log" 2>&1; then
    cat "$log"
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

# 32-bit Wine only helps where the kernel runs 32-bit code; some (sandboxes
# among them) refuse it, and there the Windows tests run as a 64-bit build.
runs_32bit_code() {
  local file ok=1
  file=$(mktemp)
  # A 93-byte 32-bit Linux program that only exits with 0 (an ELF header, one
  # program header, then mov eax,1; xor ebx,ebx; int 0x80): no compiler needed.
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$file"
  chmod +x "$file"
  "$file" 2>/dev/null && ok=0
  rm -f "$file"
  return $ok
}

main() {
  local need
  mapfile -t need < <(missing "${PACKAGES[@]}")
  [[ ${#need[@]} -eq 0 ]] || apt_install "${need[@]}"

  if runs_32bit_code; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      "${SUDO[@]}" dpkg --add-architecture i386
      APT_UPDATED=
    fi
    mapfile -t need < <(missing wine32:i386)
    [[ ${#need[@]} -eq 0 ]] || apt_install "${need[@]}"
  else
    echo "note: this machine does not run 32-bit programs, so 32-bit Wine is left out"
  fi
}

main "$@"
