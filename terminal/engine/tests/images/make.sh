#!/usr/bin/env bash
# Makes the pictures of the sixel tests: each source is a binary PPM written here, and its
# sixel stream is what img2sixel (Debian libsixel-bin) makes of it. colors: 61 x 47 pixels (the
# last band only partly drawn) in 27 colours whose channels are multiples of 8, so that
# img2sixel's five-bit channels keep them; gradient: 97 x 50 pixels of smooth gradients with
# far more colours than registers, which img2sixel dithers.
# Usage: make.sh   (needs python3 and img2sixel)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here"
python3 - <<'PY'
def ppm(path, w, h, pixel):
    out = bytearray(b"P6\n%d %d\n255\n" % (w, h))
    for y in range(h):
        for x in range(w):
            out += bytes(pixel(x, y))
    open(path, "wb").write(out)

levels = [0, 64, 128, 192, 248]
colors = [(r, g, b) for r in levels[::2] for g in levels[1::2] + [248] for b in levels[::2]]
ppm("colors.ppm", 61, 47, lambda x, y: colors[(x // 4 + (y // 3) * 5) % len(colors)])
ppm("gradient.ppm", 97, 50, lambda x, y: (x * 255 // 96, y * 255 // 49, (x + y) * 255 // 145))
PY
img2sixel -d none colors.ppm >colors.six
img2sixel gradient.ppm >gradient.six
ls -l colors.* gradient.*
