"""intro-port built with ThreadSanitizer, playing for real on a virtual display: no data race,
lock-order inversion or other report may involve the program's own code.

Reports that lie wholly inside third-party libraries are printed but do not fail the test; the
known ones are suppressed in tsan.supp, each with its reason.
"""
import glob
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "e2e"))
from xharness import Intro, XServer, strip_leading_silence, wait_for  # noqa: E402

PORT = os.environ.get("INTRO_PORT", "")
RACY = os.environ.get("TSAN_RACY", "")
ROOT = str(pathlib.Path(__file__).resolve().parents[2]) + "/"  # our sources live below this
SUPPRESSIONS = str(pathlib.Path(__file__).resolve().with_name("tsan.supp"))
FRAME = 4          # bytes per captured stereo frame
RATE = 44100
SECONDS = 10       # playback the run must cover


def options(log_dir):
    # Reports go to files, not to a pipe nobody drains while the program runs. Exit status 0
    # even after reports: the reports themselves decide, so third-party ones cannot fail a run.
    return ":".join([f"suppressions={SUPPRESSIONS}", f"log_path={log_dir}/tsan", "exitcode=0",
                     "second_deadlock_stack=1"])


def logged(log_dir):
    return "".join(open(p, errors="replace").read() for p in sorted(glob.glob(f"{log_dir}/tsan*")))


def reports(text):
    """The ThreadSanitizer reports in a log, each a list of lines from WARNING to SUMMARY."""
    found, cur = [], None
    for line in text.splitlines():
        if line.startswith("WARNING: ThreadSanitizer:"):
            cur = [line]
            found.append(cur)
        elif cur is not None:
            cur.append(line)
            if line.startswith("SUMMARY: ThreadSanitizer"):
                cur = None
    return found


def involves_us(report, program):
    """Whether an access, a lock or a memory location of the report is in our code: a frame or a
    global in the program's own module, or a frame in one of our sources. How a thread or mutex
    came to be does not count: SDL makes its threads while our start-up calls it."""
    module = f"({os.path.basename(program)}+0x"
    section = ""
    for line in report[1:]:
        s = line.strip()
        if not s.startswith("#"):
            section = s
            if s.startswith("Location is") and module in s:
                return True
            continue
        if " created " in section or section.startswith("As if synchronized"):
            continue
        if module in s or ROOT in s:
            return True
    return False


def instrumented(path):
    dyn = subprocess.run(["readelf", "-d", "-W", path], capture_output=True, text=True).stdout
    return "libtsan" in dyn


class Canary(unittest.TestCase):
    def test_a_race_in_our_code_is_reported(self):
        self.assertTrue(instrumented(RACY), RACY)
        with tempfile.TemporaryDirectory() as tmp:
            r = subprocess.run([RACY], env=dict(os.environ, TSAN_OPTIONS=options(tmp)), timeout=60)
            found = reports(logged(tmp))
        self.assertEqual(r.returncode, 0)
        ours = [rep for rep in found if involves_us(rep, RACY)]
        self.assertTrue(ours, found)
        self.assertIn("data race", ours[0][0])
        self.assertIn("racy.cpp", "\n".join(ours[0]))


class IntroPort(unittest.TestCase):
    def test_ten_seconds_of_playback_without_a_race_in_our_code(self):
        self.assertTrue(instrumented(PORT), f"{PORT} is not built with -fsanitize=thread")
        with tempfile.TemporaryDirectory() as tmp, XServer() as x, Intro(x, PORT, ["-w"], env={
                "TSAN_OPTIONS": options(tmp),
                # llvmpipe draws on the calling thread instead of worker threads of its own. Mesa
                # is not instrumented, so TSan sees its threads' hand-offs only in part and
                # reports races inside Mesa when the context is torn down.
                "LP_NUM_THREADS": "0",
                # No shader-cache thread, and nothing written under $HOME.
                "MESA_SHADER_CACHE_DISABLE": "true",
        }) as intro:
            win = intro.window(120)
            status = None

            def played_or_raced():
                if any(involves_us(rep, PORT) for rep in reports(logged(tmp))):
                    return "raced"  # no need to play on: TSan slows a reporting thread to a crawl
                # The disk driver writes at the device's pace: this much sound is this much playback.
                return len(strip_leading_silence(intro.captured(), FRAME)) >= SECONDS * RATE * FRAME and "played"
            if wait_for(played_or_raced, 180, f"{SECONDS} s of played music") == "played":
                self.assertTrue(intro.running())
                x.xdo("windowfocus", "--sync", win, "key", "space")
                status = intro.wait(60)
            else:
                intro.proc.kill()
                intro.proc.wait()
            err = intro.stderr()
            found = reports(logged(tmp))
        for rep in found:
            print("\n".join(rep), file=sys.stderr)
        ours = [rep[-1] for rep in found if involves_us(rep, PORT)]
        if ours:
            self.fail(f"{len(ours)} report(s) involve our code (printed above):\n" + "\n".join(ours))
        self.assertEqual(status, 0, err)


if __name__ == "__main__":
    unittest.main()
