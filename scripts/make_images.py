#!/usr/bin/env python3
"""Draws Calvane's program icon and its four toolbar images as XPM files in resources/.

The images are small pixel drawings described below as rows of palette letters; XPM is plain
text that Qt reads directly and that C++ can include as an array. Run from the repository top:
    python3 scripts/make_images.py
"""
import os

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")

PALETTE = {
    ".": "None",      # transparent
    "k": "#000000",   # outline
    "g": "#808080",   # grey
    "l": "#C0C0C0",   # light grey
    "w": "#FFFFFF",   # white
    "y": "#F0C040",   # folder yellow
    "o": "#B08020",   # folder shade
    "p": "#FF0064",   # data points (the graph's colour)
    "v": "#6400FF",   # curve (the graph's colour)
    "b": "#2060C0",   # blue
    "G": "#20A040",   # green
    "d": "#106020",   # dark green
}

# 16 x 15 toolbar images, in toolbar order.
OPEN_DATA = [  # an opened folder with a table sheet coming out of it
    "................",
    "......kkkkkkk...",
    "......kwwwwwkk..",
    "......kwkgkgwk..",
    ".kkkk.kwwwwwwk..",
    "kyyyykkwkgkgwk..",
    "kyyyyyywwwwwwk..",
    "kyyyyyykkkkkkkk.",
    "kyyykkkkkkkkkkkk",
    "kyyko.oyyyyyyyk.",
    "kyyk.oyyyyyyyok.",
    "kyk.oyyyyyyyyk..",
    "kyk.yyyyyyyyok..",
    "kkkkkkkkkkkkk...",
    "................",
]
SAVE_RESULTS = [  # a result sheet with dots and a curve, and a down arrow into a tray
    "kkkkkkkkkk......",
    "kwwwwwwwwkk.....",
    "kwwwwwvvwwkk....",
    "kwpwwvwwwwwk....",
    "kwwwvwwpwwwk....",
    "kwwvpwwwwwwk....",
    "kwvwwwwwwwwk.bb.",
    "kvwwwwwwwwwk.bb.",
    "kwwwwwwwwwwk.bb.",
    "kkkkkkkkkkkkbbbb",
    "...........bbbbb",
    "..kk........bbb.",
    "..kgggggggggkbk.",
    "..kgggggggggggk.",
    "..kkkkkkkkkkkkk.",
]
CONDITIONS = [  # a form with "k" rows and slider-like fields
    "kkkkkkkkkkkkkkk.",
    "kwwwwwwwwwwwwwk.",
    "kwkwkwwkkkkkkwk.",
    "kwkkwwwkwwwwkwk.",
    "kwkwkwwkkkkkkwk.",
    "kwwwwwwwwwwwwwk.",
    "kwkwkwwkkkkkkwk.",
    "kwkkwwwkwwwwkwk.",
    "kwkwkwwkkkkkkwk.",
    "kwwwwwwwwwwwwwk.",
    "kwkwkwwkkkkkkwk.",
    "kwkkwwwkwwwwkwk.",
    "kwkwkwwkkkkkkwk.",
    "kwwwwwwwwwwwwwk.",
    "kkkkkkkkkkkkkkk.",
]
RUN = [  # a green start arrow beside a fitted curve
    "................",
    "..k.............",
    "..kk........vv..",
    "..kGk......v..p.",
    "..kGGk....v.....",
    "..kGGGk..v..p...",
    "..kGGGGk.v......",
    "..kGGGGGkv......",
    "..kGGGGdk.v.p...",
    "..kGGGdk...v....",
    "..kGGdk.....v...",
    "..kGdk...p...vv.",
    "..kdk...........",
    "..kk............",
    "..k.............",
]


def icon_rows():
    """32 x 32 program icon: a small plot window with the data dots and the fitted curve."""
    size = 32
    rows = [["." for _ in range(size)] for _ in range(size)]
    for y in range(2, 30):
        for x in range(2, 30):
            rows[y][x] = "w"
    for i in range(2, 30):
        rows[2][i] = rows[29][i] = "k"
        rows[i][2] = rows[i][29] = "k"
    for y in range(3, 7):
        for x in range(3, 29):
            rows[y][x] = "b"
    # axes
    for x in range(6, 27):
        rows[26][x] = "k"
    for y in range(9, 27):
        rows[y][6] = "k"
    # a peak-shaped curve, sampled per column
    import math
    for x in range(7, 27):
        t = (x - 16.5) / 4.0
        y = int(round(25 - 14 * math.exp(-t * t)))
        rows[y][x] = "v"
        rows[y - 1][x] = "v"
    # data dots (2 x 2) scattered around the curve
    for (x, dy) in [(8, 0), (11, -2), (14, 1), (16, -1), (19, 2), (22, -1), (25, 0)]:
        t = (x - 16.5) / 4.0
        y = int(round(25 - 14 * math.exp(-t * t))) + dy
        for yy in (y, y + 1):
            for xx in (x, x + 1):
                if 7 <= xx < 29 and 8 <= yy < 26:
                    rows[yy][xx] = "p"
    return ["".join(r) for r in rows]


def write_xpm(name, rows):
    height = len(rows)
    width = len(rows[0])
    assert all(len(r) == width for r in rows), name
    used = sorted({c for r in rows for c in r})
    lines = ["/* XPM */", "static const char *const %s_xpm[] = {" % name,
             '"%d %d %d 1",' % (width, height, len(used))]
    for c in used:
        lines.append('"%s c %s",' % (c, PALETTE[c]))
    for i, r in enumerate(rows):
        lines.append('"%s"%s' % (r, "," if i + 1 < height else ""))
    lines.append("};")
    with open(os.path.join(OUT, name + ".xpm"), "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def main():
    os.makedirs(OUT, exist_ok=True)
    write_xpm("open_data", OPEN_DATA)
    write_xpm("save_results", SAVE_RESULTS)
    write_xpm("conditions", CONDITIONS)
    write_xpm("run", RUN)
    write_xpm("calvane_icon", icon_rows())


if __name__ == "__main__":
    main()
