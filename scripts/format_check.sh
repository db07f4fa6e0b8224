#!/usr/bin/env bash
# Checks the C++ sources against the committed .clang-format.
#   scripts/format_check.sh          every tracked source file (what CI runs on a fresh clone)
#   scripts/format_check.sh REF      only the lines changed since REF (e.g. main, HEAD~3)
# Exits 1 and shows the reformatting when something is off.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
command -v clang-format >/dev/null || install_packages clang-format

if [ $# -gt 0 ]; then
  diff=$(git clang-format --quiet --diff "$1" -- '*.cc' '*.h' || true)
  if [ -n "$diff" ] && [ "$diff" != "no modified files to format" ]; then
    echo "$diff"
    echo "format check: lines changed since $1 are not formatted (git clang-format $1)" >&2
    exit 1
  fi
  echo "format check: lines changed since $1 are formatted"
  exit 0
fi

mapfile -t files < <(git ls-files '*.cc' '*.h')
# One run over every file; its warnings name the files that are off.
mapfile -t bad < <(clang-format --dry-run "${files[@]}" 2>&1 |
                   sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning: .*clang-format-violations.*/\1/p' |
                   sort -u)
if [ ${#bad[@]} -gt 0 ]; then
  for f in "${bad[@]}"; do clang-format "$f" | diff -u "$f" - || true; done
  echo "format check: ${#bad[@]} file(s) not formatted (clang-format -i FILE)" >&2
  exit 1
fi
echo "format check: ${#files[@]} files formatted"
