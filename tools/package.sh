#!/usr/bin/env bash
# Makes the portable release from a Windows build folder:
#   tools/package.sh BUILD_DIR OUT_DIR
# OUT_DIR/rewindor/ holds rewindor.exe, rewindor-cli.exe, the sample demos with
# their map picture (in cstrike\maps, where the program looks for it) and the
# user's README.txt (docs/user-readme.txt with Windows line ends);
# OUT_DIR/rewindor-<version>-<arch>.zip is the same folder zipped.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$1
out=$(mkdir -p "$2" && cd "$2" && pwd)  # absolute: the zip is made from inside it
version=$(sed -n 's/^project(Rewindor VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
case $(od -An -t x2 -j $(($(od -An -t u4 -j 60 -N 4 "$build/ui/rewindor.exe" | tr -d ' ') + 4)) -N 2 \
  "$build/ui/rewindor.exe" | tr -d ' ') in
  014c) arch=win32 ;;
  8664) arch=win64 ;;
  *) arch=windows ;;
esac

stage=$out/rewindor
rm -rf "$stage"
mkdir -p "$stage/cstrike/maps"
cp "$build/ui/rewindor.exe" "$build/cli/rewindor-cli.exe" "$ROOT"/samples/*.dem "$stage/"
sed 's/$/\r/' "$ROOT/docs/user-readme.txt" >"$stage/README.txt"
cp "$ROOT"/samples/cstrike/maps/*.bmp "$stage/cstrike/maps/"
zip=$out/rewindor-$version-$arch.zip
rm -f "$zip"
(cd "$out" && zip -qr "$zip" rewindor)
echo "$zip"
