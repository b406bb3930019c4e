#!/usr/bin/env bash
# Installs what is needed, builds Calvane, prepares the working directory run/ (Sample/ and
# Help/Help.htm) and starts Calvane there. Without a display the windows cannot open: the
# Gaussian sample is then fitted by calvane-batch instead and its constants are printed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install_deps.sh

echo "== build"
cmake -S . -B build/run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALVANE_BUILD_TESTS=OFF \
  -DCALVANE_BUILD_BENCH=OFF >/dev/null
cmake --build build/run -j "$(nproc)" --target calvane calvane-batch

echo "== working directory"
bash scripts/prepare_workdir.sh "$PWD/run"
cd run

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo
  echo "No display: DISPLAY and WAYLAND_DISPLAY are both empty, so Calvane's windows cannot open."
  echo "Fitting the Gaussian sample with calvane-batch instead:"
  echo "  calvane-batch --data Sample/gauss_peak.csv --x 1 --y 2 --start 2 --to-last-row" \
       "--conditions Sample/gauss_peak.ccn"
  echo
  exec ../build/run/calvane-batch --data Sample/gauss_peak.csv --x 1 --y 2 --start 2 \
    --to-last-row --conditions Sample/gauss_peak.ccn
fi

echo "== starting Calvane in $PWD"
exec ../build/run/calvane
