#!/usr/bin/env bash
# Prepares a working directory for Calvane: the sample data and condition files in Sample/ and
# the help page in Help/Help.htm. The program's internal files (Formula.ini and the others)
# already there are left alone. Usage: bash scripts/prepare_workdir.sh [directory] (default run/).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$top/run}"

mkdir -p "$dir/Sample" "$dir/Help"
cp -f "$top"/resources/Sample/* "$dir/Sample/"
cp -f "$top/resources/Help/Help.htm" "$dir/Help/Help.htm"
echo "Working directory ready: $dir"
