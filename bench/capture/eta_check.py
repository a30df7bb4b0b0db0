"""The time left that intro-capture shows, against the time that actually remained.

Runs a whole capture (default 1280x720, 60 fps, default quality) under a pseudo-terminal,
records at each redraw of its progress line the frames done, the time left shown and the CPU
time used so far by it and its ffmpeg, and reports from a tenth of the frames on:
  - the shown time left against the wall time that remained (what a user sees; on a shared
    machine this also measures how the other work came and went), and the frame-rate estimate
    (frames left at the rate so far) for comparison;
  - the same estimator run on CPU time instead of wall time (the weights from
    `capture-bench --plan`, the rate of the last minute of CPU time), against the CPU time that
    remained: how right the weighing of the frames is, whatever else the machine did.
Errors are relative, with the last 10 s left out (the line shows whole seconds).

Usage: eta_check.py BUILD_DIR [SIZE] [LOG]   (takes one whole capture: 4 minutes or more)
"""
import bisect
import os
import pty
import re
import select
import subprocess
import sys
import tempfile
import time

WINDOW = 60  # s, as capture/eta.cpp
FLOOR = 10   # s: the last seconds are left out


def cpu_of(pid):
    """CPU seconds of a process and its reaped children, or 0 once it is gone."""
    try:
        f = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    except OSError:
        return 0.0
    return sum(int(x) for x in f[11:15]) / os.sysconf("SC_CLK_TCK")


def children(pid):
    found = []
    try:
        for task in os.listdir(f"/proc/{pid}/task"):
            found += open(f"/proc/{pid}/task/{task}/children").read().split()
    except OSError:
        pass
    return found


def record(capture, size, out):
    """[(wall s, frames done, shown s left or None, CPU s)], total frames, wall s at the end."""
    points, t0, total = [], time.monotonic(), 0
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(capture, [capture, "-s", size, "-o", out])
    pattern = re.compile(rb"(\d+)/(\d+) frames[^\r]*?ETA (-:--|\d+:\d\d(?::\d\d)?)")
    while True:
        try:
            if not select.select([fd], [], [], 1)[0]:
                continue
            data = os.read(fd, 65536)
        except OSError:
            break
        if not data:
            break
        found = list(pattern.finditer(data))
        if found and (not points or time.monotonic() - t0 - points[-1][0] >= 0.5):
            m = found[-1]
            total = int(m.group(2))
            shown = None
            if m.group(3) != b"-:--":
                shown = 0
                for part in m.group(3).split(b":"):
                    shown = shown * 60 + int(part)
            cpu = cpu_of(pid) + sum(cpu_of(c) for c in children(pid))
            points.append((time.monotonic() - t0, int(m.group(1)), shown, cpu))
    _, status = os.waitpid(pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("the capture failed")
    return points, total, time.monotonic() - t0


def summary(name, errors):
    worst = max(errors, key=abs)
    inside = sum(abs(e) <= 0.3 for e in errors) / len(errors)
    print(f"| {name} | {worst * 100:+.0f} % | {inside * 100:.0f} % |")


def main():
    build = sys.argv[1]
    size = sys.argv[2] if len(sys.argv) > 2 else "1280x720"
    weights = [float(x) for x in subprocess.run([os.path.join(build, "bench", "capture", "capture-bench"), "--plan",
                                                 size], capture_output=True, check=True, text=True).stdout.split()]
    spent = [0.0]
    for x in weights:
        spent.append(spent[-1] + x)
    load0 = os.getloadavg()[0]
    with tempfile.TemporaryDirectory() as tmp:
        points, total, end = record(os.path.join(build, "intro-capture"), size, os.path.join(tmp, "v.mp4"))
    load1 = os.getloadavg()[0]
    if len(sys.argv) > 3:
        with open(sys.argv[3], "w") as f:
            f.writelines(f"{p[0]:.3f} {p[1]} {p[2]} {p[3]:.2f}\n" for p in points)
    print(f"whole capture {size}: {end:.0f} s, {points[-1][3]:.0f} CPU s, load {load0:.1f} → {load1:.1f}\n")
    report(points, total, end, spent)


def report(points, total, end, spent):
    assert total == len(spent) - 1, (total, len(spent))
    cpu_end = points[-1][3]
    late = [p for p in points if total // 10 <= p[1] < total and end - p[0] > FLOOR]
    shown = [(p[2] - (end - p[0])) / (end - p[0]) for p in late if p[2] is not None]
    linear = [(p[0] / p[1] * (total - p[1]) - (end - p[0])) / (end - p[0]) for p in late]
    cpus = [p[3] for p in points]
    model = []
    for wall, done, _, cpu in late:
        if cpu_end - cpu <= FLOOR:
            continue
        i = bisect.bisect_left(cpus, cpu - WINDOW) if cpu > WINDOW else None
        c0, d0 = (0.0, 0) if i is None else (points[i][3], points[i][1])
        if cpu <= c0 or done <= d0:
            continue
        rate = (spent[done] - spent[d0]) / (cpu - c0)
        model.append(((spent[total] - spent[done]) / rate - (cpu_end - cpu)) / (cpu_end - cpu))
    print("| from 10 % of the frames on | worst error | redraws within 30 % |\n|---|---|---|")
    summary("time left shown, against the wall time left", shown)
    summary("frames left at the frame rate so far, likewise", linear)
    summary("the same estimator on CPU time, against the CPU time left", model)


if __name__ == "__main__":
    main()
