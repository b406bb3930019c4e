#!/usr/bin/env python3
"""Correct significant digits (LRE) on the NIST StRD nonlinear problems of
tests/end_to_end/data/nist, Calvane's search methods against SciPy's curve_fit (method "lm", its
default tolerances), from the same two NIST starts.

Usage: nist_lre.py CALVANE_BATCH [--methods LM,Lattice+LM,Lattice] [--no-scipy] [--rough on|off]
                   [--timeout SECONDS]

Calvane's conditions follow tests/end_to_end/nist_lm_test.cpp: bounds are the span of the two
starts and the certified value, widened by that span on each side (kept on the certified value's
side of zero where the span would cross it); each accuracy is one significant digit of
certified_sd / 10^4. LRE = -log10(|fit - certified| / |certified|), capped at 11 (the digits the
certified values carry), 0 when the fit failed. A problem counts as reached when every constant
has LRE >= 6.
"""
import argparse
import json
import math
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "..", "tests", "end_to_end", "data", "nist")


def one_digit(value):
    """value rounded to one significant digit, as text Calvane reads."""
    exponent = math.floor(math.log10(value))
    digit = round(value / 10 ** exponent)
    if digit >= 10:
        digit, exponent = 1, exponent + 1
    return f"{digit}e{exponent}"


def bounds(p):
    values = [p["start1"], p["start2"], p["certified_value"]]
    lo, hi = min(values), max(values)
    span = hi - lo
    lower, upper = lo - span, hi + span
    if lo > 0 and lower <= 0:
        lower = lo / 10
    if hi < 0 and upper >= 0:
        upper = hi / 10
    return lower, upper


ACCURACY_DIVISOR = [1e4]


def condition_file(problem, start, method, rough):
    rows = []
    for p in problem["parameters"]:
        lower, upper = bounds(p)
        rows.append(f"{p['start' + str(start)]!r},{lower:.10g},{upper:.10g},"
                    f"{one_digit(p['certified_sd'] / ACCURACY_DIVISOR[0])}")
    rows += [",,,"] * (10 - len(rows))
    text = ("[Formula]\r\ny=\r\n" + problem["calvane_formula"] +
            "\r\n[Initial, Minimum, Maximum and Accuracy]\r\n" + "\r\n".join(rows) +
            "\r\n[Angle Unit]\r\nRadian\r\n[No Wild Guess]\r\n" +
            ("Invalid" if rough else "Valid") + "\r\n[Valid Data Interval]\r\n1")
    if method != "Lattice":
        text += "\r\n[Search Method]\r\n" + method
    return text.encode("ascii") + b"\0"


def lre(value, certified):
    if value is None or not math.isfinite(value):
        return 0.0
    if value == certified:
        return 11.0
    return max(0.0, min(11.0, -math.log10(abs(value - certified) / abs(certified))))


def run_calvane(batch, problem, start, method, rough, timeout):
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(DATA, problem["name"] + ".csv"), "rb") as f:
            data = f.read()
        with open(os.path.join(work, "d.csv"), "wb") as f:
            f.write(data)
        with open(os.path.join(work, "c.ccn"), "wb") as f:
            f.write(condition_file(problem, start, method, rough))
        t0 = time.perf_counter()
        try:
            proc = subprocess.run([batch, "--data", "d.csv", "--x", "1", "--y", "2", "--start",
                                   "2", "--to-last-row", "--conditions", "c.ccn"],
                                  cwd=work, capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            return [None] * len(problem["parameters"]), float("inf")
        elapsed = time.perf_counter() - t0
    values = []
    for line in proc.stdout.decode("utf-8", "replace").splitlines()[:len(problem["parameters"])]:
        try:
            values.append(float(line.split(",")[1].replace("*", "").strip()))
        except (IndexError, ValueError):
            values.append(None)
    while len(values) < len(problem["parameters"]):
        values.append(None)
    if proc.returncode != 0:
        values = [None] * len(problem["parameters"])
    return values, elapsed


def scipy_model(problem):
    import numpy as np
    formula = problem["calvane_formula"].replace("Exp", "np.exp").replace("^", "**")
    names = [p["calvane"] for p in problem["parameters"]]
    return eval(f"lambda x, {', '.join(names)}: {formula}", {"np": np})


def run_scipy(problem, start):
    import numpy as np
    import warnings
    from scipy.optimize import curve_fit
    table = np.loadtxt(os.path.join(DATA, problem["name"] + ".csv"), delimiter=",", skiprows=1)
    x, y = table[:, 0], table[:, 1]
    p0 = [p["start" + str(start)] for p in problem["parameters"]]
    t0 = time.perf_counter()
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            popt, _ = curve_fit(scipy_model(problem), x, y, p0=p0, method="lm")
        values = [float(v) for v in popt]
    except Exception:  # no convergence: counted as LRE 0
        values = [None] * len(p0)
    return values, time.perf_counter() - t0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("batch", type=os.path.abspath)
    ap.add_argument("--methods", default="LM,Lattice+LM")
    ap.add_argument("--no-scipy", action="store_true")
    ap.add_argument("--rough", default="on", choices=["on", "off"])
    ap.add_argument("--timeout", type=float, default=120.0,
                    help="seconds after which a Calvane fit counts as failed")
    ap.add_argument("--accuracy-divisor", type=float, default=1e4,
                    help="each accuracy is one digit of certified_sd / this")
    args = ap.parse_args()
    ACCURACY_DIVISOR[0] = args.accuracy_divisor
    problems = json.load(open(os.path.join(DATA, "problems.json")))
    tools = [("Calvane " + m, m) for m in args.methods.split(",") if m]
    if not args.no_scipy:
        tools.append(("SciPy curve_fit lm", None))
    summary = {}
    for title, method in tools:
        print(f"== {title}" + (f" (rough estimation {args.rough})" if method else ""))
        print(f"{'problem':10} {'start':>5} {'min LRE':>8} {'seconds':>8}  LRE per constant")
        reached, minima = 0, []
        for problem in problems:
            for start in (1, 2):
                if method is None:
                    values, seconds = run_scipy(problem, start)
                else:
                    values, seconds = run_calvane(args.batch, problem, start, method,
                                                  args.rough == "on", args.timeout)
                lres = [lre(v, p["certified_value"]) for v, p in zip(values, problem["parameters"])]
                low = min(lres)
                minima.append(low)
                reached += low >= 6
                print(f"{problem['name']:10} {start:5d} {low:8.1f} {seconds:8.3f}  " +
                      " ".join(f"{v:4.1f}" for v in lres), flush=True)
        minima.sort()
        median = (minima[len(minima) // 2] + minima[(len(minima) - 1) // 2]) / 2
        summary[title] = (reached, len(minima), median)
        print()
    print("Problems x starts with LRE >= 6 in every constant:")
    for title, (reached, total, median) in summary.items():
        print(f"  {title:34} {reached:3d} of {total}, median of the smallest LRE {median:.1f}")


if __name__ == "__main__":
    main()
