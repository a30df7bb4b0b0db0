"""The README's picture, docs/show.png, against what scripts/strip draws today, within the tolerance
the page's stills are held to: it cannot go stale, and another Mesa does not fail it."""
import os
import subprocess
import tempfile
import unittest

TOP = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.environ["STRIP_BUILD"]
COMMITTED = os.path.join(TOP, "docs", "show.png")
TOL = 8            # levels per channel, as web/tests/test_page.py holds the page to the stills
SHARE = 0.93       # of the lit pixels within TOL, likewise
MAX_BYTES = 150 * 1024
TILE_W = 322       # a 320x240 still and the one-pixel gap each side


def pixels(path):
    """(width, height, RGB bytes) of a picture, through ImageMagick."""
    size = subprocess.run(["identify", "-format", "%w %h", path], check=True, capture_output=True,
                          text=True).stdout
    w, h = map(int, size.split())
    raw = subprocess.run(["stream", "-map", "rgb", "-storage-type", "char", path, "-"], check=True,
                         capture_output=True).stdout
    assert len(raw) == w * h * 3, (path, len(raw))
    return w, h, raw


def near_share(a, b):
    """Of the pixels lit in either picture (the black ground would match anyway), the share whose
    channels all lie within TOL levels."""
    lit = near = 0
    for i in range(0, len(a), 3):
        pa, pb = a[i:i + 3], b[i:i + 3]
        if max(pa) > 8 or max(pb) > 8:
            lit += 1
            near += max(abs(pa[0] - pb[0]), abs(pa[1] - pb[1]), abs(pa[2] - pb[2])) <= TOL
    return near / lit


def rows(w, h, raw, edit):
    """The picture with edit(row) applied to each row of RGB bytes."""
    return b"".join(edit(raw[y * w * 3:(y + 1) * w * 3]) for y in range(h))


class Picture(unittest.TestCase):
    def test_committed_picture_matches_what_the_command_draws_today(self):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "show.png")
            r = subprocess.run([os.path.join(TOP, "scripts", "strip"), BUILD, out], capture_output=True,
                               text=True, timeout=240)
            self.assertEqual(r.returncode, 0, r.stderr)
            w, h, drawn = pixels(out)
        cw, ch, committed = pixels(COMMITTED)
        self.assertEqual((cw, ch), (w, h))
        share = near_share(committed, drawn)
        print(f"{share:.4f} of the lit pixels within {TOL} levels")
        self.assertGreaterEqual(share, SHARE, "docs/show.png is stale: run scripts/strip and commit it")

    def test_a_shifted_or_reordered_picture_does_not_match(self):
        w, h, raw = pixels(COMMITTED)
        shifted = rows(w, h, raw, lambda r: bytes(6) + r[:-6])           # 2 px to the right
        t = TILE_W * 3
        swapped = rows(w, h, raw, lambda r: r[t:2 * t] + r[:t] + r[2 * t:])
        for name, other in (("shifted", shifted), ("first two moments swapped", swapped)):
            with self.subTest(name):
                share = near_share(raw, other)
                print(f"{name}: {share:.4f}")
                self.assertLess(share, SHARE)

    def test_committed_picture_is_four_tiles_within_150_kb(self):
        self.assertLessEqual(os.path.getsize(COMMITTED), MAX_BYTES)
        self.assertEqual(pixels(COMMITTED)[:2], (4 * TILE_W, 240))


if __name__ == "__main__":
    unittest.main()
