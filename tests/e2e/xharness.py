"""Runs the intro programs for real under a virtual X server of the test's own.

Each test starts its own Xvfb (it picks a free display number itself), optionally a window
manager, and the program under test, and stops exactly those processes by their ids.

The programs run on the SDL 1.2 the build links (SDL 1.2 on SDL2), or, when INTRO_SDL_CLASSIC
names the folder that tests/e2e/fetch-classic-sdl filled, on Debian's classic SDL 1.2.

An X server that resets when its last client leaves drops, with nothing in its log, the
connections that arrive while it resets: a program that connects twice in a row, as classic SDL
does, then fails about one start in two. These servers run with -noreset, which avoids that. As a
guard against what remains, a program or tool that exits at start-up because it could not connect
is started again, at most twice, and the test's output says so; every other failure stands.
"""
import os
import re
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

SCREEN_W, SCREEN_H = 1024, 768  # larger than the intro's 800x600, so full screen shows
RETRIES = 2  # fresh starts after a lost X connection, at most

CLASSIC = os.environ.get("INTRO_SDL_CLASSIC")  # folder of the fetched classic SDL 1.2, if chosen
# Classic SDL's disk driver waits 150 ms per buffer by default, six times slower than playing;
# one 1024-frame buffer lasts 23 ms at 44100 Hz.
CLASSIC_DISK_DELAY_MS = "23"

# An X tool's complaint that it could not connect (xdotool, ImageMagick's import, xprop, wmctrl,
# openbox).
TOOL_NO_X = re.compile(r"(?i)(can'?t|cannot|unable to|failed to) open (the )?(display|x server)")

# An intro's one-line report that it could not reach the X server: its own refusal when SDL fell
# back to a driver that shows nothing (SDL2), classic SDL's failed connection, or the OpenGL
# refusal of the text-mode driver classic SDL falls back to when X was not there for it.
PROGRAM_NO_X = re.compile(r"^intro-\w+: (no display|.*(Couldn't open X11 display|OpenGL not available)).*$",
                          re.M)


def complaint(err):
    """The line of an X tool's stderr that says it could not connect."""
    return next(line for line in err.splitlines() if TOOL_NO_X.search(line))


def note(text):
    """A line in the test's output."""
    print(f"xharness: {text}", file=sys.stderr, flush=True)


def library_dir():
    """The classic library's folder when it was chosen; skips the test when it could not be fetched."""
    if not CLASSIC:
        return None
    why = os.path.join(CLASSIC, "unavailable")
    if os.path.exists(why):
        with open(why) as f:
            raise unittest.SkipTest(f.read().strip())
    if not os.path.exists(os.path.join(CLASSIC, "lib", "libSDL.so")):
        raise unittest.SkipTest(f"classic SDL 1.2 not fetched into {CLASSIC} (run tests/e2e/fetch-classic-sdl)")
    return os.path.join(CLASSIC, "lib")


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
             "-nolisten", "tcp", "-noreset"],  # see above
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
            self.wm_log = tempfile.TemporaryFile()
            self.wm_starts = 0
            self.start_wm()
            wait_for(self.wm_ready, 10, "the window manager")

    def start_wm(self):
        self.wm_log.seek(0)
        self.wm_log.truncate()
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env(),
                                   stdout=subprocess.DEVNULL, stderr=self.wm_log)
        self.wm_starts += 1

    def wm_ready(self):
        if self.wm.poll() is not None:
            self.wm_log.seek(0)
            err = self.wm_log.read().decode(errors="replace")
            if not TOOL_NO_X.search(err) or self.wm_starts > RETRIES:
                raise AssertionError(f"openbox ended with {self.wm.returncode}: {err}")
            note(f"openbox could not connect ({complaint(err)}); starting it again "
                 f"({self.wm_starts} of {RETRIES})")
            self.start_wm()
            return False
        return "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK")

    def env(self, **extra):
        env = dict(os.environ, DISPLAY=self.display, LIBGL_ALWAYS_SOFTWARE="1")
        env.update(extra)
        return env

    def tool(self, *cmd, check=False):
        """Runs an X client to its end; returns its standard output as bytes."""
        for attempt in range(RETRIES + 1):
            r = subprocess.run(cmd, env=self.env(), capture_output=True)
            err = r.stderr.decode(errors="replace")
            if r.returncode == 0 or not TOOL_NO_X.search(err) or attempt == RETRIES:
                break
            note(f"{os.path.basename(cmd[0])} could not connect ({complaint(err)}); "
                 f"running it again ({attempt + 1} of {RETRIES})")
        if check and r.returncode != 0:
            raise AssertionError(f"{' '.join(cmd)} failed with {r.returncode}: {err}")
        return r.stdout

    def run(self, *cmd):
        return self.tool(*cmd).decode(errors="replace")

    def run_program(self, cmd, **extra):
        """Runs an intro that is expected to end by itself at start-up; returns the completed run."""
        for attempt in range(RETRIES + 1):
            r = subprocess.run(cmd, env=self.env(**extra), capture_output=True, text=True, timeout=60)
            lost = PROGRAM_NO_X.search(r.stderr)
            if r.returncode != 1 or not lost or attempt == RETRIES:
                return r
            note(f"{os.path.basename(cmd[0])} could not connect ({lost.group(0)}); running it again "
                 f"({attempt + 1} of {RETRIES})")

    def xdo(self, *args):
        self.tool("xdotool", *args, check=True)

    def close_request(self, win):
        """Asks the window manager to close the window, as its close button does."""
        self.tool("wmctrl", "-i", "-c", win, check=True)

    def screenshot(self):
        """The whole screen as (width, height, RGB bytes)."""
        ppm = self.tool("import", "-display", self.display, "-window", "root", "ppm:-", check=True)
        parts = ppm.split(maxsplit=4)
        w, h = int(parts[1]), int(parts[2])
        return w, h, parts[4][-w * h * 3:]

    def stop(self):
        _kill(self.wm)
        _kill(self.xvfb)
        if self.wm:
            self.wm_log.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class Intro:
    """One run of an intro program on an XServer, its audio going to SDL's disk or dummy driver.

    It starts with SIGINT and SIGTERM at their default action, as from a shell, but for the
    signals named in `ignored`, which it starts with ignored, as nohup does."""

    def __init__(self, x, path, args=(), argv0=None, audio="disk", env=None, ignored=()):
        """With x None, the program runs with no display at all (DISPLAY unset)."""
        self.x = x
        self.tmp = tempfile.TemporaryDirectory()
        self.audio_file = os.path.join(self.tmp.name, "audio.raw")
        extra = {"SDL_AUDIODRIVER": audio, "SDL_DISKAUDIOFILE": self.audio_file}
        self.libdir = library_dir()
        if self.libdir:
            extra.update(LD_LIBRARY_PATH=self.libdir, SDL_DISKAUDIODELAY=CLASSIC_DISK_DELAY_MS)
        extra.update(env or {})
        self.cmd = [argv0 or path, *args]
        self.path = path
        if x:
            self.env = x.env(**extra)
        else:
            self.env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
            self.env.update(extra)
        self.ignored = tuple(ignored)
        self.starts = 0
        self.proc = None
        self.start()

    def start(self):
        def dispositions():
            for sig in (signal.SIGINT, signal.SIGTERM):
                signal.signal(sig, signal.SIG_IGN if sig in self.ignored else signal.SIG_DFL)
        if self.proc:
            self.proc.stdout.close()
            self.proc.stderr.close()
        self.proc = subprocess.Popen(self.cmd, executable=self.path, env=self.env, preexec_fn=dispositions,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.started = time.monotonic()
        self.starts += 1

    def restarted_after_lost_display(self):
        """When the program ended at start-up for want of the X server, starts it again (at most
        RETRIES times) and returns True."""
        err = self.stderr()
        lost = PROGRAM_NO_X.search(err)
        if self.proc.returncode != 1 or not lost or self.starts > RETRIES:
            return False
        note(f"{os.path.basename(self.path)} could not connect ({lost.group(0)}); starting it again "
             f"({self.starts} of {RETRIES})")
        self.start()
        return True

    def window(self, timeout=30):
        """Id of the program's visible window, once it is mapped."""
        def find():
            if self.proc.poll() is not None:
                if self.restarted_after_lost_display():
                    return None
                raise AssertionError(f"program ended early with {self.proc.returncode}: {self.stderr()}")
            out = self.x.run("xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid))
            return out.split()[-1] if out.split() else None
        win = wait_for(find, timeout, "the program's window")
        self.check_library()
        return win

    def check_library(self):
        """The SDL 1.2 library the running program has loaded is the one chosen."""
        with open(f"/proc/{self.proc.pid}/maps") as f:
            paths = {os.path.realpath(line.split()[-1]) for line in f if "/libSDL-1.2.so" in line}
        classic = {p for p in paths if CLASSIC and p.startswith(os.path.realpath(CLASSIC) + os.sep)}
        if len(paths) != 1 or bool(classic) != bool(self.libdir):
            wanted = "the classic library" if self.libdir else "the build's own"
            raise AssertionError(f"SDL 1.2 loaded from {sorted(paths)}; wanted {wanted}")

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
        """Everything the program wrote to stderr, once it has ended; "" while it runs."""
        if self.proc.poll() is None:
            return ""
        if not hasattr(self.proc, "err_text"):
            self.proc.err_text = self.proc.stderr.read().decode(errors="replace")
        return self.proc.err_text

    def captured(self):
        """What SDL's disk driver has written so far (nothing before it opens the file)."""
        try:
            with open(self.audio_file, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def stop(self):
        # Outright: a test may have left the program with SIGTERM ignored.
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


def ends_by_signal(test, path, args, sig, close_first):
    """sig ends the running program at once, by its default action; with close_first, a close
    request sent before it has been ignored."""
    with XServer(wm=close_first) as x, Intro(x, path, args) as intro:
        win = intro.window()
        picture(x)
        if close_first:
            x.close_request(win)
            changes(x, "the picture to change after the close request")
            test.assertTrue(intro.running())
        intro.proc.send_signal(sig)
        # A shell reports 128 + sig; the bound only proves it was not turned into an ignored quit request.
        test.assertEqual(intro.wait(10), -sig, intro.stderr())


def ignored_signal_stays_ignored(test, path, args, sig, quit_key):
    """A program started with sig ignored plays on when it arrives, and quit_key still ends it."""
    with XServer() as x, Intro(x, path, args, ignored=[sig]) as intro:
        win = intro.window()
        picture(x)
        intro.proc.send_signal(sig)
        changes(x, f"the picture to change after signal {sig}")
        test.assertTrue(intro.running())
        x.xdo("windowfocus", "--sync", win, "key", quit_key)
        test.assertEqual(intro.wait(10), 0)


def without_display(**extra):
    """The environment of a session with no display, in which nobody asked SDL for a video driver."""
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "SDL_VIDEODRIVER")}
    env.update(SDL_AUDIODRIVER="dummy", **extra)
    return env


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
