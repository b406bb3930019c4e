#!/usr/bin/env python3
"""Writes the sample data files and their condition files into resources/Sample/.

Each sample is a table of a few hundred points of a known shape with a little reproducible
noise: a header row and two comma-separated columns, Shift-JIS (code page 932), CR LF line ends.
Each has a condition file (.ccn) in the program's condition-file layout whose formula fits that
shape, ready to be opened from the fitting-conditions dialog or given to calvane-batch.
Run from the repository top:
    python3 scripts/make_samples.py
"""
import math
import os
import random

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "Sample")


def number(v):
    text = "%.6f" % v
    return "0.000000" if text == "-0.000000" else text


def write_data(name, header, points):
    lines = [header] + ["%s,%s" % (number(x), number(y)) for x, y in points]
    data = ("\r\n".join(lines) + "\r\n").encode("cp932")
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def write_conditions(name, formula, constants, radian=False, rough=True, interval=1):
    """constants: up to ten (initial, lower, upper, accuracy) text tuples for k0, k1, ..."""
    lines = ["[Formula]", "y=", formula, "[Initial, Minimum, Maximum and Accuracy]"]
    for i in range(10):
        lines.append(",".join(constants[i]) if i < len(constants) else ",,,")
    lines += ["[Angle Unit]", "Radian" if radian else "Degree", "[No Wild Guess]",
              "Invalid" if rough else "Valid", "[Valid Data Interval]", str(interval)]
    data = "\r\n".join(lines).encode("cp932") + b"\0"
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def sample(count, lo, hi, shape, noise, seed):
    rng = random.Random(seed)
    points = []
    for i in range(count):
        x = lo + (hi - lo) * i / (count - 1)
        points.append((x, shape(x) + rng.gauss(0.0, noise)))
    return points


def main():
    os.makedirs(OUT, exist_ok=True)

    # Gaussian peak: 3.2 exp(-(x - 0.7)^2 / 2.42) + 0.2.
    write_data("gauss_peak.csv", "位置,強度",
               sample(301, -5.0, 5.0,
                      lambda x: 3.2 * math.exp(-(x - 0.7) ** 2 / 2.42) + 0.2, 0.05, 1))
    write_conditions("gauss_peak.ccn", "k0*Exp(-(x-k1)^2/k2)+k3",
                     [("3", "0", "10", "0.0001"), ("0.5", "-5", "5", "0.0001"),
                      ("2", "0.1", "20", "0.0001"), ("0", "-1", "1", "0.0001")])

    # Exponential decay: 5 exp(-x / 1.8) + 0.3.
    write_data("exp_decay.csv", "時間,残量",
               sample(250, 0.0, 8.0, lambda x: 5.0 * math.exp(-x / 1.8) + 0.3, 0.04, 2))
    write_conditions("exp_decay.ccn", "k0*Exp(-x/k1)+k2",
                     [("4", "0", "20", "0.0001"), ("1", "0.1", "10", "0.0001"),
                      ("0", "-2", "2", "0.0001")])

    # Straight line: 1.75 x - 2.4.
    write_data("straight_line.csv", "x値,y値",
               sample(200, 0.0, 20.0, lambda x: 1.75 * x - 2.4, 0.3, 3))
    write_conditions("straight_line.ccn", "k0*x+k1",
                     [("1", "-10", "10", "0.0001"), ("0", "-10", "10", "0.0001")])

    # Damped sine (angles in radians): 2.5 exp(-x / 3) sin(2 x + 0.5).
    write_data("damped_sine.csv", "時間,変位",
               sample(300, 0.0, 10.0,
                      lambda x: 2.5 * math.exp(-x / 3.0) * math.sin(2.0 * x + 0.5), 0.03, 4))
    write_conditions("damped_sine.ccn", "k0*Exp(-x/k1)*Sin(k2*x+k3)",
                     [("2", "0.5", "5", "0.0001"), ("2.5", "0.5", "10", "0.0001"),
                      ("1.9", "1.5", "2.5", "0.0001"), ("0.4", "0", "1.5", "0.0001")],
                     radian=True)


if __name__ == "__main__":
    main()
