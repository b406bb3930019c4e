#!/usr/bin/env bash
# Fails when a C++ file of the repository is not formatted as .clang-format says, and names the
# files. To format a file: clang-format -i FILE (or, for the lines a change touched only,
# git clang-format).
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null; then
  echo "format check: clang-format is not installed" >&2
  exit 1
fi

unformatted=()
while IFS= read -r -d '' file; do
  clang-format --style=file --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done < <(git ls-files -z -- '*.h' '*.cpp')

if [ ${#unformatted[@]} -gt 0 ]; then
  echo "format check: ${#unformatted[@]} file(s) not formatted as .clang-format says:" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "format check: every file is formatted"
