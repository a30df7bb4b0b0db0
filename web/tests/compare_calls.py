"""The scene's calls in wasm against the native build's, at moments of each layer and section:
the same calls in the same order, every argument within a relative 1e-6. The browser's sinf,
cosf and tanf differ from the C library's by an ulp, which two things magnify: a difference of
nearly equal values (0.1 cos h + 0.1 where cos h is near -1, h + k in layer 4), so arguments
are taken relative to at least one world unit (colours and heights are of that order); and the division by a ripple height h near its zero (|h| <
0.1, the corners far out), where the bound is a relative 1e-4."""
import subprocess
import sys
import tempfile

MOMENTS = ["10000", "22000", "60000", "92000", "105000"]
REL, REL_NEAR_ZERO, NEAR_ZERO, SCALE = 1e-6, 1e-4, 0.1, 1.0
COLOR = "6"  # glColor3f's slot: its red is h / 2 of the cell whose vertices follow


def calls(cmd):
    # Into a file: node may drop what is still queued for a pipe when the program exits.
    with tempfile.TemporaryFile("w+") as out:
        subprocess.run(cmd + MOMENTS, check=True, stdout=out)
        out.seek(0)
        return [line.split() for line in out]


def main():
    native = calls([sys.argv[1]])
    wasm = calls(sys.argv[2:])
    if len(native) != len(wasm):
        sys.exit(f"{len(wasm)} lines from wasm, {len(native)} natively")
    worst, differ, near, h = 0.0, 0, 0, 1.0
    for n, (a, b) in enumerate(zip(native, wasm)):
        if a[0] != b[0] or len(a) != len(b):
            sys.exit(f"line {n}: {' '.join(b)} in wasm, {' '.join(a)} natively")
        if a[0] == "t":
            if a != b:
                sys.exit(f"moment {a[1]}: {b[2]} calls in wasm, {a[2]} natively")
            continue
        if a[0] == COLOR:
            h = 2 * abs(float(a[1]))
        for x, y in zip(map(float, a[1:]), map(float, b[1:])):
            if x == y:
                continue
            differ += 1
            rel = abs(x - y) / max(abs(x), abs(y), SCALE)
            worst = max(worst, rel)
            bound = REL_NEAR_ZERO if h < NEAR_ZERO else REL
            near += rel > REL
            if rel > bound:
                sys.exit(f"line {n}: {' '.join(b)} in wasm, {' '.join(a)} natively "
                         f"(relative {rel:.3g}, h {h:.3g})")
    print(f"{len(native)} lines; {differ} arguments differ, by at most {worst:.3g} relative; "
          f"{near} beyond {REL} where |h| < {NEAR_ZERO}")


main()
