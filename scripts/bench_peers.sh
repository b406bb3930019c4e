#!/usr/bin/env bash
# Whole fits of k0*exp(-(x-k1)^2/k2) from k0=2, k1=0.2, k2=1 on the Gaussian anchor data (1000
# and 65536 rows), by Calvane and by three peers, side by side in one run, with the ratios.
#
#   scripts/bench_peers.sh [BUILD_DIR]     (default build/release; fit_bench must be built there)
#   CALVANE_BENCH_ROUNDS=N                 rounds of Calvane and the peers in turn (default 4)
#
# Calvane's figure is the median real time of one whole fit (bench/fit_bench.cpp, rough
# estimation on, as in bench/data/gauss.ccn; the run without it is shown too), by the lattice
# search and by "LM only" (the Levenberg-Marquardt phase in its place). It includes the two run
# files each fit writes in its folder under TMPDIR, whose file system therefore counts at 1000
# points (see run_fixed_costs in fit_bench). The peers' figures are the medians of the fit times
# their scripts print (bench/peers/): SciPy curve_fit, Fityk's cfityk, gnuplot's fit (whose time
# includes reading the file; its read time is shown apart).
# The peers come from the Debian packages python3-scipy, fityk and gnuplot-nox, installed here
# when missing (as root). A peer that cannot be run is reported and left out.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build/release}
fit_bench="$build_dir/bench/fit_bench"
if [ ! -x "$fit_bench" ]; then
  echo "no $fit_bench: build it first (cmake --build $build_dir --target fit_bench)" >&2
  exit 1
fi

# The peers' packages.
missing=()
for p in python3-scipy fityk gnuplot-nox; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
  else
    echo "missing packages (not root, not installed): ${missing[*]}" >&2
  fi
fi

# SciPy is a package of the system's Python, which need not be the first python3 on PATH.
python=python3
if [ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import scipy' 2>/dev/null; then
  python=/usr/bin/python3
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The data: the C++ port in fit_bench, checked against the anchor script byte for byte.
for n in 1000 65536; do
  "$fit_bench" --write-gauss "$n" "$work/gauss$n.csv"
  if command -v python3 >/dev/null; then
    python3 bench/peers/gen_gauss.py "$n" "$work/gauss$n.py.csv"
    if ! cmp -s "$work/gauss$n.csv" "$work/gauss$n.py.csv"; then
      echo "fit_bench --write-gauss $n differs from gen_gauss.py" >&2
      exit 1
    fi
  fi
done

# Calvane and the peers in turns: this machine's speed changes by half and more from one minute to
# the next, so each takes its share of every stretch of the run rather than a stretch of its own.
# Each round: Calvane's benchmarks (Google Benchmark, two repetitions), then SciPy and Fityk; gnuplot
# once at the end (its 65536-point fit alone takes seconds). The medians are over every round.
rounds=${CALVANE_BENCH_ROUNDS:-4}
for ((r = 1; r <= rounds; r++)); do
  "$fit_bench" --benchmark_filter='whole_fit|probe_sum/[0-9]+$|evaluations' \
    --benchmark_repetitions=2 --benchmark_enable_random_interleaving=true \
    --benchmark_format=json \
    --benchmark_out="$work/calvane$r.json" --benchmark_out_format=json >/dev/null
  {
    echo "== SciPy, round $r"
    for n in 1000 65536; do
      "$python" bench/peers/fit_scipy.py "$work/gauss$n.csv" --repeats 3 || echo "scipy failed"
    done
    echo "== Fityk, round $r"
    for n in 1000 65536; do
      bash bench/peers/fit_fityk.sh "$work/gauss$n.csv" 2 || echo "fityk failed"
    done
  } >> "$work/peers.txt" 2>&1
done
{
  echo "== gnuplot"
  gnuplot -c bench/peers/fit_gnuplot.gp "$work/gauss1000.csv" 5 || echo "gnuplot failed"
  gnuplot -c bench/peers/fit_gnuplot.gp "$work/gauss65536.csv" 3 || echo "gnuplot failed"
} >> "$work/peers.txt" 2>&1

python3 - "$work/peers.txt" "$work"/calvane*.json <<'EOF'
import json
import statistics
import sys

calvane_runs = {}  # name -> [ms], every repetition of every round
for path in sys.argv[2:]:
    for b in json.load(open(path))["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        name = b["run_name"].replace("/real_time", "")
        # Whole fits run on a worker thread: real time. The probe sum and the evaluations run on
        # the benchmark's thread: CPU time, so that other processes' load stays out of their ratio.
        key = "real_time" if name.startswith("whole_fit") else "cpu_time"
        calvane_runs.setdefault(name, []).append(b[key] * unit)
calvane = {name: statistics.median(times) for name, times in calvane_runs.items()}

peers = {}  # (tool, points) -> [ms]
gnuplot_read = {}
for line in open(sys.argv[1]):
    f = line.strip().split(",")
    try:
        if f[0] == "scipy":
            peers.setdefault(("SciPy curve_fit", int(f[1])), []).append(float(f[3]) * 1e3)
        elif f[0] == "fityk":
            peers.setdefault(("Fityk cfityk", int(f[1])), []).append(float(f[3]) * 1e3)
        elif f[0] == "gnuplot":
            peers.setdefault(("gnuplot fit", int(f[1])), []).append(float(f[4]) * 1e3)
        elif f[0] == "gnuplot-read":
            gnuplot_read.setdefault(int(f[1]), []).append(float(f[4]) * 1e3)
    except (IndexError, ValueError):
        pass
for line in open(sys.argv[1]):
    if "failed" in line:
        print("peer run failed:", line.strip())

print("Whole fit of k0*exp(-(x-k1)^2/k2) from (2, 0.2, 1), medians in ms (one run, "
      f"{len(sys.argv) - 2} rounds):")
print(f"{'':34}{'1000 points':>14}{'65536 points':>14}")
rows = [("Calvane, rough estimation on", "rough"), ("Calvane, rough estimation off", "no_rough"),
        ("Calvane LM only, rough on", "lm_rough"), ("Calvane LM only, rough off", "lm_no_rough")]
for title, key in rows:
    cells = [calvane.get(f"whole_fit/{n}/{key}") for n in (1000, 65536)]
    print(f"{title:34}" + "".join(f"{c:14.2f}" if c is not None else f"{'-':>14}" for c in cells))
for tool in ("SciPy curve_fit", "Fityk cfityk", "gnuplot fit"):
    cells = [statistics.median(peers[(tool, n)]) if (tool, n) in peers else None
             for n in (1000, 65536)]
    print(f"{tool:34}" + "".join(f"{c:14.2f}" if c is not None else f"{'-':>14}" for c in cells))
if gnuplot_read:
    cells = [statistics.median(gnuplot_read[n]) if n in gnuplot_read else None for n in (1000, 65536)]
    print(f"{'  (gnuplot reading the file alone)':34}" +
          "".join(f"{c:14.2f}" if c is not None else f"{'-':>14}" for c in cells))

for title, key in (("on", "rough"), ("off", "no_rough")):
    print(f"\nRatio Calvane (rough estimation {title}) / peer (below 1: Calvane is faster):")
    for tool in ("SciPy curve_fit", "Fityk cfityk", "gnuplot fit"):
        parts = []
        for n in (1000, 65536):
            c = calvane.get(f"whole_fit/{n}/{key}")
            if c is None or (tool, n) not in peers:
                parts.append(f"{'-':>14}")
            else:
                parts.append(f"{c / statistics.median(peers[(tool, n)]):14.3f}")
        print(f"{tool:34}" + "".join(parts))

print("\nProbe sum / the evaluations it makes over the same points, CPU time "
      "(target at most 1.10):")
for n in (1000, 65536):
    s, e = calvane.get(f"probe_sum/{n}"), calvane.get(f"evaluations/{n}")
    if s and e:
        print(f"  {n:5d} points: {s * 1e6 / n:6.2f} ns per point against {e * 1e6 / n:6.2f}: "
              f"ratio {s / e:.3f}")
print("\nRatio Calvane LM only / SciPy curve_fit (below 1: Calvane is faster):")
for title, key in rows[2:]:
    parts = []
    for n in (1000, 65536):
        c = calvane.get(f"whole_fit/{n}/{key}")
        s = peers.get(("SciPy curve_fit", n))
        parts.append(f"{c / statistics.median(s):14.3f}" if c is not None and s else f"{'-':>14}")
    print(f"{title:34}" + "".join(parts))
for n in (1000, 65536):
    s = peers.get(("SciPy curve_fit", n))
    for title, key in rows[2:]:
        c = calvane.get(f"whole_fit/{n}/{key}")
        if c is not None and s:
            verdict = "beats" if c < statistics.median(s) else "does NOT beat"
            print(f"At {n} points {title} {verdict} SciPy curve_fit in this run.")
c, g = calvane.get("whole_fit/65536/rough"), peers.get(("gnuplot fit", 65536))
if c is not None and g:
    verdict = "beats" if c < statistics.median(g) else "does NOT beat"
    print(f"\nAt 65536 points Calvane {verdict} gnuplot in this run.")
EOF
