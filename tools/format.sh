#!/usr/bin/env bash
# Formats the product code with clang-format after .clang-format:
#   ./tools/format.sh           rewrites the files that deviate
#   ./tools/format.sh --check   changes nothing; lists the files that deviate and fails when any does
# Tests and generated tables are left as they are.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
CLANG_FORMAT=${CLANG_FORMAT:-$(command -v clang-format-14 || command -v clang-format)}
FOLDERS=(app cli demo launch library res settings tools ui)

files() {
  git -C "$ROOT" ls-files -- "${FOLDERS[@]}" | grep -E '\.(h|cpp)$' | grep -v '^demo/case_folding_table\.h$'
}

[[ -n $CLANG_FORMAT ]] || { echo "clang-format is not installed (tools/install-deps.sh)"; exit 1; }
cd "$ROOT" || exit 1
if [[ ${1:-} == --check ]]; then
  deviating=0
  while read -r file; do
    if ! "$CLANG_FORMAT" --style=file "$file" | cmp -s - "$file"; then
      echo "not formatted: $file ($("$CLANG_FORMAT" --style=file "$file" | diff "$file" - | grep -c '^[<>]') lines differ)"
      deviating=1
    fi
  done < <(files)
  [[ $deviating -eq 0 ]] && echo "the product code follows .clang-format"
  exit $deviating
fi
files | xargs -r "$CLANG_FORMAT" --style=file -i
