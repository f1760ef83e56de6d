#!/usr/bin/env python3
"""Draws the layout of a font bitmap as LOADFONT reads it: the picture enlarged, a grid
line between its 16 x 8 cells, each row labelled with the code of its first cell and
each column with what it adds, so a cell's code is its row's label plus its column's.
Black (transparent) pixels stay black; the cell of "A" is outlined. The labels are
written with the font itself.

    tools/fontlayout.py build/Smalfont.bmp docs/font-layout.png
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bmp2png import read_bmp, write_png  # noqa: E402

BACKGROUND = (40, 40, 48)
GRID = (200, 110, 40)
MARK = (60, 200, 230)
LABEL = (250, 220, 90)
TITLE = (210, 210, 210)
MARKED = ord("A")


def main(src, dst):
    width, height, rows = read_bmp(src)
    cw, ch = width // 16, height // 8
    if cw < 1 or ch < 1:
        raise SystemExit(f"{src}: {width} x {height} is too small for 16 x 8 cells")
    scale = max(1, 24 // cw)
    pitch_x, pitch_y = cw * scale + 1, ch * scale + 1  # a cell and the grid line after it
    left = 4 * cw + 8
    title = [f"{os.path.basename(src)}: {width} x {height} pixels,",
             f"16 x 8 cells of {cw} x {ch}; code = row + column"]
    top = (len(title) + 1) * ch + 8
    out_w = max(left + 16 * pitch_x + 1, max(len(t) for t in title) * cw + 8)
    out_h = top + 8 * pitch_y + 5
    picture = [[BACKGROUND] * out_w for _ in range(out_h)]

    def font_pixel(x, y):
        p = rows[y][3 * x: 3 * x + 3]
        return tuple(p)

    def text(s, x, y, colour):
        for i, c in enumerate(s.encode("ascii")):
            gx, gy = (c % 16) * cw, (c // 16) * ch
            for dy in range(ch):
                for dx in range(cw):
                    if any(font_pixel(gx + dx, gy + dy)):
                        picture[y + dy][x + i * cw + dx] = colour

    for i, line in enumerate(title):
        text(line, 4, 4 + i * ch, TITLE)
    # The grid: lines around every cell.
    for r in range(8 * pitch_y + 1):
        for k in range(17):
            picture[top + r][left + k * pitch_x] = GRID
    for k in range(9):
        for c in range(16 * pitch_x + 1):
            picture[top + k * pitch_y][left + c] = GRID
    # The cells, enlarged.
    for code in range(128):
        col, row = code % 16, code // 16
        x0, y0 = left + col * pitch_x + 1, top + row * pitch_y + 1
        for y in range(ch * scale):
            for x in range(cw * scale):
                picture[y0 + y][x0 + x] = font_pixel(col * cw + x // scale, row * ch + y // scale)
    # The marked cell: its grid lines in another colour.
    col, row = MARKED % 16, MARKED // 16
    x0, y0 = left + col * pitch_x, top + row * pitch_y
    for d in range(pitch_x + 1):
        picture[y0][x0 + d] = picture[y0 + pitch_y][x0 + d] = MARK
    for d in range(pitch_y + 1):
        picture[y0 + d][x0] = picture[y0 + d][x0 + pitch_x] = MARK
    # Labels: columns above, rows to the left.
    for col in range(16):
        label = str(col)
        text(label, left + col * pitch_x + 1 + (pitch_x - len(label) * cw) // 2, top - ch - 2, LABEL)
    for row in range(8):
        label = str(row * 16)
        text(label, left - 4 - len(label) * cw, top + row * pitch_y + 1 + (pitch_y - ch) // 2, LABEL)
    write_png(dst, out_w, out_h, [bytes(v for p in line for v in p) for line in picture])


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit("usage: fontlayout.py <font.bmp> <out.png>")
    main(sys.argv[1], sys.argv[2])
