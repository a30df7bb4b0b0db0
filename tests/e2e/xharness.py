"""Runs the intro programs for real under a virtual X server of the test's own.

Each test starts its own Xvfb (it picks a free display number itself), optionally a window
manager, and the program under test, and stops exactly those processes by their ids.
"""
import os
import signal
import struct
import subprocess
import tempfile
import time

SCREEN_W, SCREEN_H = 1024, 768  # larger than the intro's 800x600, so full screen shows


def _kill(proc):
    if proc and proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def wait_for(cond, timeout, what):
    """Polls cond() until it returns something true; fails the test after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        got = cond()
        if got:
            return got
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.05)


class XServer:
    """An Xvfb display with GLX (Mesa's software renderer), optionally with a window manager."""

    def __init__(self, wm=False):
        rfd, wfd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(wfd), "-screen", "0", f"{SCREEN_W}x{SCREEN_H}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(wfd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(wfd)
        with os.fdopen(rfd) as f:
            num = f.readline().strip()
        if not num:
            _kill(self.xvfb)
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + num
        self.wm = None
        if wm:
            self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env(),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_for(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.run(
                "xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), 10, "the window manager")

    def env(self, **extra):
        env = dict(os.environ, DISPLAY=self.display, LIBGL_ALWAYS_SOFTWARE="1")
        env.update(extra)
        return env

    def run(self, *cmd):
        return subprocess.run(cmd, env=self.env(), capture_output=True, text=True).stdout

    def xdo(self, *args):
        subprocess.run(["xdotool", *args], env=self.env(), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def screenshot(self):
        """The whole screen as (width, height, RGB bytes)."""
        ppm = subprocess.run(["import", "-display", self.display, "-window", "root", "ppm:-"],
                             capture_output=True, check=True).stdout
        parts = ppm.split(maxsplit=4)
        w, h = int(parts[1]), int(parts[2])
        return w, h, parts[4][-w * h * 3:]

    def stop(self):
        _kill(self.wm)
        _kill(self.xvfb)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class Intro:
    """One run of an intro program on an XServer, its audio going to SDL's disk or dummy driver."""

    def __init__(self, x, path, args=(), argv0=None, audio="disk", env=None):
        self.x = x
        self.tmp = tempfile.TemporaryDirectory()
        self.audio_file = os.path.join(self.tmp.name, "audio.raw")
        extra = {"SDL_AUDIODRIVER": audio, "SDL_DISKAUDIOFILE": self.audio_file}
        extra.update(env or {})
        self.proc = subprocess.Popen([argv0 or path, *args], executable=path, env=x.env(**extra),
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.started = time.monotonic()

    def window(self, timeout=30):
        """Id of the program's visible window, once it is mapped."""
        def find():
            if self.proc.poll() is not None:
                raise AssertionError(f"program ended early with {self.proc.returncode}: {self.stderr()}")
            out = self.x.run("xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid))
            return out.split()[-1] if out.split() else None
        return wait_for(find, timeout, "the program's window")

    def geometry(self, win):
        out = self.x.run("xdotool", "getwindowgeometry", "--shell", win)
        vals = dict(line.split("=") for line in out.split())
        return int(vals["WIDTH"]), int(vals["HEIGHT"])

    def wait(self, timeout):
        """Exit status, or None if the program still runs after timeout seconds."""
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def running(self):
        return self.proc.poll() is None

    def stderr(self):
        if self.proc.poll() is None:
            return ""
        return self.proc.stderr.read().decode(errors="replace")

    def captured(self):
        """What SDL's disk driver has written so far (nothing before it opens the file)."""
        try:
            with open(self.audio_file, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def stop(self):
        # The intros ignore SDL's quit request, which is what SIGTERM becomes: kill outright.
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.proc.stdout.close()
        self.proc.stderr.close()
        self.tmp.cleanup()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def picture(x):
    """Waits for a screen that is not all black and returns it."""
    return wait_for(lambda: (lambda s: None if is_black(s) else s)(x.screenshot()), 60,
                    "a picture that is not black")


def changes(x, what):
    """Waits until the picture differs from the one on screen now: the frame loop is still going."""
    before = x.screenshot()
    wait_for(lambda: x.screenshot()[2] != before[2], 30, what)


def full_run(path, args=()):
    """Runs a whole show without input; returns its exit status and its length in seconds."""
    with XServer() as x, Intro(x, path, args, audio="dummy") as intro:
        intro.window()
        status = intro.wait(200)
        return status, time.monotonic() - intro.started


def strip_leading_silence(raw, frame_bytes):
    """The samples from the first non-zero frame on."""
    for i in range(0, len(raw) - frame_bytes + 1, frame_bytes):
        if raw[i:i + frame_bytes] != bytes(frame_bytes):
            return raw[i:]
    return b""


def is_black(shot):
    return not any(shot[2])


def mean_level(shot):
    px = shot[2]
    return sum(px[::97]) / max(1, len(px[::97]))


def s16(raw):
    return struct.unpack(f"<{len(raw) // 2}h", raw)
