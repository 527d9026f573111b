#!/usr/bin/env bash
# Runs the end-to-end tests under Wine with a second drive: R: in the Wine
# prefix's dosdevices links to a host folder of the build, so that a test can
# put a Steam library on another drive letter, as players have it.
#
#   with_second_drive.sh BUILD_DIR EMULATOR PROGRAM [ARGUMENTS...]
#
# The prefix is the one the emulator (tools/wine-run.sh) uses for programs in
# BUILD_DIR: $WINEPREFIX, or BUILD_DIR/wineprefix. It is made first (by
# listing the tests), since the emulator makes a missing prefix anew, and the
# link is removed again at the end.
set -uo pipefail

build=$1 emulator=$2 program=$3
shift 3
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
drive=$build/e2e-drive-r
link=$WINEPREFIX/dosdevices/r:

"$emulator" "$program" --gtest_list_tests >/dev/null || exit
if [[ -e $link && ! -L $link ]] || { [[ -L $link ]] && [[ $(readlink "$link") != "$drive" ]]; }; then
  echo "with_second_drive.sh: R: is taken in $WINEPREFIX; the tests use no second drive" >&2
  exec "$emulator" "$program" "$@"
fi
mkdir -p "$drive" && ln -sfn "$drive" "$link" || exit
"$emulator" "$program" --second-drive=R: "$@"
rc=$?
rm -f "$link"
exit $rc
