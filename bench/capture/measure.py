"""Whole captures timed end to end: intro-capture at 800x600, 1280x720 and 1920x1080, 60 fps,
to an MP4 with x264, as a multiple of real time (116.02 s of show). Prints a Markdown table
with the load average before and after each run, since the machine may be shared.

Usage: measure.py BUILD_DIR [SIZE...]   (takes several minutes per size)
"""
import os
import resource
import subprocess
import sys
import tempfile
import time

SHOW_S = 6961 / 60


def main():
    build = sys.argv[1]
    sizes = sys.argv[2:] or ["800x600", "1280x720", "1920x1080"]
    print("| size | wall (s) | × real time | CPU s (capture + ffmpeg) | load before → after |")
    print("|---|---|---|---|---|")
    for size in sizes:
        with tempfile.TemporaryDirectory() as tmp:
            before = os.getloadavg()[0]
            used0 = resource.getrusage(resource.RUSAGE_CHILDREN)
            t0 = time.monotonic()
            subprocess.run([os.path.join(build, "intro-capture"), "-s", size, "-o", os.path.join(tmp, "v.mp4")],
                           check=True, stderr=subprocess.DEVNULL)
            wall = time.monotonic() - t0
            used = resource.getrusage(resource.RUSAGE_CHILDREN)
            cpu = used.ru_utime + used.ru_stime - used0.ru_utime - used0.ru_stime
            after = os.getloadavg()[0]
        print(f"| {size} | {wall:.0f} | {SHOW_S / wall:.2f} | {cpu:.0f} | {before:.1f} → {after:.1f} |", flush=True)


if __name__ == "__main__":
    main()
