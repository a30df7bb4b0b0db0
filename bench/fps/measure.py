"""Frames drawn per second in each section of the timeline, intro-port on Mesa under Xvfb.

Usage: measure.py BUILD_DIR   (takes the whole 116 s show)
"""
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "e2e"))
from xharness import Intro, XServer  # noqa: E402

SECTIONS = [(0, 20, "layer 1"), (20, 25, "layers 1+2"), (25, 50, "layer 2"), (50, 90, "layers 2+3"),
            (90, 95, "layers 2+3+4"), (95, 100, "layer 4 growing"), (100, 116, "layer 4, 39601 cells")]


def main():
    build = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        log = os.path.join(tmp, "frames.log")
        with XServer() as x, Intro(x, os.path.join(build, "intro-port"), ["-w"], audio="dummy",
                                   env={"LD_PRELOAD": os.path.join(build, "bench", "fps", "libfps_shim.so"),
                                        "FPS_LOG": log}) as intro:
            status = intro.wait(200)
        stamps = [float(line) for line in open(log)]
    t0 = stamps[0]
    print(f"exit status {status}, {len(stamps)} frames")
    print("| section (s) | layers | frames/s |")
    print("|---|---|---|")
    for lo, hi, what in SECTIONS:
        n = sum(1 for s in stamps if lo <= s - t0 < hi)
        print(f"| {lo}–{hi} | {what} | {n / (hi - lo):.0f} |")


if __name__ == "__main__":
    main()
