#!/usr/bin/env bash
# clang-format over the C++ sources with the repository's .clang-format.
#   scripts/format.sh          rewrites every file that is not formatted
#   scripts/format.sh --check  changes nothing; lists the files that are not formatted and fails if any
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT" || exit 1
CLANG_FORMAT="${CLANG_FORMAT:-clang-format}"

mode=fix
case "${1:-}" in
  --check) mode=check ;;
  "") ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac
command -v "$CLANG_FORMAT" >/dev/null || { echo "format: $CLANG_FORMAT not found (scripts/setup.sh installs it)" >&2; exit 2; }
# A broken .clang-format would otherwise show up as every file "not formatted".
"$CLANG_FORMAT" --style=file --dump-config >/dev/null || exit 2

mapfile -t files < <(find src tests tools bench fuzz -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

if [ "$mode" = fix ]; then
  printf '%s\0' "${files[@]}" | xargs -0 "$CLANG_FORMAT" -i --style=file
  echo "format: ${#files[@]} files formatted with $("$CLANG_FORMAT" --version | sed 's/.*version \([0-9.]*\).*/clang-format \1/')"
  exit 0
fi

unformatted=()
for f in "${files[@]}"; do
  "$CLANG_FORMAT" --dry-run --Werror --style=file "$f" >/dev/null 2>&1 || unformatted+=("$f")
done
if ((${#unformatted[@]})); then
  printf 'format: not formatted: %s\n' "${unformatted[@]}"
  echo "FORMAT CHECK FAILED: ${#unformatted[@]} of ${#files[@]} files are not formatted (fix: bash scripts/format.sh)"
  exit 1
fi
echo "format: ${#files[@]} files formatted"
