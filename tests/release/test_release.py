"""The release archive as a user gets it: unpacked into an empty folder and used from there with a
clean environment (intro-tiny under Xvfb, the page from file:// in headless Chromium), its
information file's checksums, the same bytes from a second run, and the failures that must leave
no archive. web.release.make packs the archive these tests read (RELEASE_MADE)."""
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

TOP = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SCRIPT = os.path.join(TOP, "scripts", "release")
MADE, BUILD, WEB = (os.environ[k] for k in ("RELEASE_MADE", "RELEASE_BUILD", "RELEASE_WEB"))
RENDER_TINY = os.path.join(BUILD, "tests", "e2e", "render-tiny")
ORDER = ["vintelo.txt", "intro-tiny", "vintelo.html", "vintelo.png"]
RATE = 44100
FRAME = 4          # bytes per stereo frame SDL's disk driver writes (SDL2 widens the mono stream)

sys.path.insert(0, os.path.join(TOP, "tests", "e2e"))
sys.path.insert(0, os.path.join(TOP, "web", "tests"))


def clean_env(home):
    """What a fresh login has: a path and a home, nothing from the build."""
    return {"PATH": "/usr/bin:/bin", "HOME": home, "LANG": "C.UTF-8"}


def archive():
    found = glob.glob(os.path.join(MADE, "vintelo-*.zip"))
    assert len(found) == 1, found
    return found[0]


def own_lines(err):
    return [line for line in err.splitlines() if line.startswith("release:")]


class Unpacked(unittest.TestCase):
    """The archive unpacked by unzip into an empty folder; everything runs with a clean environment."""

    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.dir = os.path.join(tmp.name, "unpacked")
        os.mkdir(self.dir)
        os.environ.clear()
        os.environ.update(clean_env(tmp.name))
        subprocess.run(["unzip", "-q", archive(), "-d", self.dir], check=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def test_holds_the_files_in_order_with_the_run_bit_kept(self):
        listed = subprocess.run(["unzip", "-Z1", archive()], check=True, capture_output=True, text=True)
        self.assertEqual(listed.stdout.split(), ORDER)
        self.assertEqual(sorted(os.listdir(self.dir)), sorted(ORDER))
        for name in ORDER:
            mode = 0o755 if name == "intro-tiny" else 0o644
            self.assertEqual(os.stat(self.path(name)).st_mode & 0o777, mode, name)
        for name, built in (("intro-tiny", os.path.join(BUILD, "intro-tiny")),
                            ("vintelo.html", os.path.join(WEB, "vintelo.html"))):
            with open(self.path(name), "rb") as a, open(built, "rb") as b:
                self.assertEqual(a.read(), b.read(), name)
        with open(self.path("vintelo.png"), "rb") as f:
            head = f.read(24)
        self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", head[16:24]), (1920, 1080))
        version = subprocess.run(["git", "-C", TOP, "describe", "--tags", "--always", "--dirty"],
                                 check=True, capture_output=True, text=True).stdout.strip()
        self.assertEqual(os.path.basename(archive()), f"vintelo-{version}.zip")

    def test_information_file_is_ascii_within_80_columns_and_its_sizes_and_checksums_match(self):
        with open(self.path("vintelo.txt"), "rb") as f:
            text = f.read()
        self.assertTrue(all(b == 10 or 32 <= b < 127 for b in text), "not plain ASCII")
        lines = text.decode().splitlines()
        self.assertLessEqual(max(len(line) for line in lines), 80)
        sizes = dict(m.groups() for m in (re.fullmatch(r"  (\S+) +(\d+) bytes", l) for l in lines) if m)
        sums = {m[2]: m[1] for m in (re.fullmatch(r"([0-9a-f]{64})  (\S+)", l) for l in lines) if m}
        files = ORDER[1:]
        self.assertEqual(sorted(sizes), sorted(files))
        self.assertEqual(sorted(sums), sorted(files))
        for name in files:
            with self.subTest(name):
                self.assertEqual(int(sizes[name]), os.path.getsize(self.path(name)))
        # The check the file itself gives, run as it says.
        r = subprocess.run("grep -E '^[0-9a-f]{64}  ' vintelo.txt | sha256sum -c", shell=True,
                           cwd=self.dir, capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertEqual(sorted(r.stdout.split("\n")[:-1]), sorted(f"{n}: OK" for n in files))

    def test_intro_tiny_draws_plays_and_ends_on_a_key_release(self):
        from xharness import Intro, picture, s16, strip_leading_silence, wait_for, XServer
        with XServer() as x, Intro(x, self.path("intro-tiny")) as intro:
            win = intro.window()
            picture(x)
            wait_for(lambda: len(strip_leading_silence(intro.captured(), FRAME)) >= RATE * FRAME, 60,
                     "a second of music")
            x.xdo("windowfocus", "--sync", win, "key", "space")
            self.assertEqual(intro.wait(10), 0, intro.stderr())
            played = s16(strip_leading_silence(intro.captured(), FRAME)[:RATE * FRAME])
        # Its first second is the synthesizer's offline render, on both sides (SDL2's float
        # conversion may move a loud sample by one step).
        rendered = subprocess.run([RENDER_TINY, str(RATE * 10)], check=True, capture_output=True).stdout
        offline = s16(strip_leading_silence(rendered, 2))[:RATE]
        self.assertEqual(played[0::2], played[1::2])
        self.assertEqual(len(played[0::2]), RATE)
        self.assertTrue(all(abs(a - b) <= (1 if abs(b) > 16000 else 0)
                            for a, b in zip(played[0::2], offline)))

    def test_page_loads_from_disk_and_a_click_starts_it(self):
        os.environ["VINTELO_HTML"] = self.path("vintelo.html")
        from test_page import Session
        s = Session(self.dir, autoplay=False)  # the click must be the gesture that allows sound
        try:
            s.d.get("file://" + self.path("vintelo.html"))
            self.assertEqual(s.until("vintelo.state != 'loading' && vintelo.state", "start"), "ready")
            self.assertEqual(s.message(), "click to start")
            s.click()
            s.until("vintelo.state == 'playing' && vintelo.audio() == 'running' && vintelo.t > 0",
                    "the show")
            self.assertEqual(s.errors(), [])
        finally:
            s.close()


def run_release(out, *args, env=None, umask=None, **kw):
    return subprocess.run([*kw.pop("prefix", []), SCRIPT, *args, BUILD, WEB, out], capture_output=True,
                          text=True, timeout=240, env=env, preexec_fn=umask and (lambda: os.umask(umask)))


class Reproducible(unittest.TestCase):
    def test_a_second_run_elsewhere_gives_the_same_archive_byte_for_byte(self):
        with tempfile.TemporaryDirectory() as out:
            # Another time zone and umask: neither may reach the archive.
            r = run_release(out, "--no-build", env=dict(os.environ, TZ="Pacific/Chatham"), umask=0o077)
            self.assertEqual(r.returncode, 0, r.stderr)
            # The same name (the same commit) and nothing else: the work folder is gone.
            self.assertEqual(os.listdir(out), [os.path.basename(archive())])
            again = os.path.join(out, os.path.basename(archive()))
            with open(again, "rb") as a, open(archive(), "rb") as b:
                data = a.read()
                self.assertTrue(data == b.read(), "the two archives differ")
        digest = subprocess.run(["sha256sum", archive()], check=True, capture_output=True,
                                text=True).stdout.split()[0]
        self.assertEqual(r.stdout, f"{again}: {len(data)} bytes, sha256 {digest}\n")


class Failures(unittest.TestCase):
    """Each failure is one line of the script's own, status 1, and leaves the folder as it was."""

    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.tmp = tmp.name
        self.out = os.path.join(self.tmp, "out")
        os.mkdir(self.out)

    def assert_refused(self, r, line):
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertEqual(own_lines(r.stderr), [line])
        self.assertEqual(os.listdir(self.out), [])

    def test_missing_zip(self):
        # A PATH with every program of /usr/bin but zip.
        bin_dir = os.path.join(self.tmp, "bin")
        os.mkdir(bin_dir)
        for name in os.listdir("/usr/bin"):
            if name != "zip":
                os.symlink(os.path.join("/usr/bin", name), os.path.join(bin_dir, name))
        r = run_release(self.out, "--no-build", env=dict(os.environ, PATH=bin_dir))
        self.assert_refused(r, "release: zip is not installed (scripts/install-deps release installs it)")

    def test_failing_build(self):
        make = os.path.join(self.tmp, "make")
        called = os.path.join(self.tmp, "called")
        with open(make, "w") as f:
            f.write(f"#!/bin/sh\necho \"$@\" > '{called}'\n"
                    "echo 'make: *** [Makefile:30: programs] Error 2' >&2\nexit 2\n")
        os.chmod(make, 0o755)
        r = run_release(self.out, env=dict(os.environ, MAKE=make))
        self.assert_refused(r, "release: the build failed; no archive written")
        with open(called) as f:
            self.assertEqual(f.read().split(), ["-C", TOP, "--no-print-directory", "programs", "web",
                                                f"BUILD={BUILD}", f"WEB={WEB}"])

    def test_unwritable_folder(self):
        os.chmod(self.tmp, 0o755)  # the folder is reached, only not written
        os.chmod(self.out, 0o555)
        # root may write anywhere: then the script runs as nobody, to whom the folder is closed.
        nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        prefix = nobody if os.geteuid() == 0 else []
        r = run_release(self.out, "--no-build", prefix=prefix)
        self.assert_refused(r, f"release: cannot write to {self.out} (Permission denied); no archive written")

    def test_a_failure_once_the_work_began_leaves_no_archive_and_no_work_folder(self):
        # A build folder whose intro-capture cannot draw, as on a machine without EGL.
        build = os.path.join(self.tmp, "build")
        os.mkdir(build)
        shutil.copy(os.path.join(BUILD, "intro-tiny"), build)
        capture = os.path.join(build, "intro-capture")
        with open(capture, "w") as f:
            f.write("#!/bin/sh\necho 'intro-capture: no usable EGL display' >&2\nexit 1\n")
        os.chmod(capture, 0o755)
        r = subprocess.run([SCRIPT, "--no-build", build, WEB, self.out], capture_output=True, text=True,
                           timeout=60)
        self.assert_refused(
            r, "release: the screenshot could not be drawn: intro-capture: no usable EGL display")


if __name__ == "__main__":
    unittest.main()
