"""intro-port under valgrind's memcheck, playing for real on a virtual display: no invalid read or
write and no use of an uninitialised value may involve the program's own code.

Errors that lie wholly inside third-party libraries are printed but do not fail the test; the
known ones are suppressed in memcheck.supp, each with its reason.
"""
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "e2e"))
from xharness import Intro, XServer, strip_leading_silence, wait_for  # noqa: E402

VALGRIND = os.environ.get("VALGRIND", "valgrind")
PORT = os.environ.get("INTRO_PORT", "")
FAULTY = os.environ.get("MEMCHECK_FAULTY", "")
ROOT = str(pathlib.Path(__file__).resolve().parents[2]) + "/"  # our sources live below this
SUPPRESSIONS = str(pathlib.Path(__file__).resolve().with_name("memcheck.supp"))
FRAME = 4          # bytes per captured stereo frame
RATE = 44100
SECONDS = 3        # playback the run must cover; memcheck runs the program some 30 times slower


def memcheck(xml_file):
    return [
        "--tool=memcheck", "--xml=yes", f"--xml-file={xml_file}", f"--suppressions={SUPPRESSIONS}",
        "--track-origins=yes", "--num-callers=40",
        # D-Bus forks a helper; the fork's own report would land in the same file.
        "--child-silent-after-fork=yes",
        # Threads take turns fairly: the audio thread keeps up while the main thread draws.
        "--fair-sched=yes",
    ]


class Frame:
    def __init__(self, el):
        self.fn = el.findtext("fn") or ""
        self.obj = el.findtext("obj") or ""
        self.path = os.path.join(el.findtext("dir") or "", el.findtext("file") or "")

    def __str__(self):
        return f"{self.fn or '???'} ({self.path if self.path.strip('/') else self.obj})"


def errors(xml_file):
    """Each error of the report as (kind, what, error stack, origin stack or None). Leaks are not
    looked for: the intro's tables live for the whole run by design, and SDL, D-Bus and Mesa keep
    blocks to the end of the process (memcheck lists leaks in its XML whatever --leak-check says)."""
    found = []
    for err in ET.parse(xml_file).getroot().iter("error"):
        kind = err.findtext("kind")
        if kind.startswith("Leak_"):
            continue
        what = err.findtext("what") or err.findtext("xwhat/text") or ""
        stack, origin, aux = None, None, ""
        for child in err:
            if child.tag == "auxwhat":
                aux = child.text or ""
            elif child.tag == "stack":
                frames = [Frame(f) for f in child.iter("frame")]
                if stack is None:
                    stack = frames
                elif aux.startswith("Uninitialised value was created"):
                    origin = frames
        found.append((kind, what, stack or [], origin))
    return found


def involves_us(error, program):
    """Whether our code made the fault: the faulting frame is ours (main included), or our code
    below main led to it, for the access itself or, for an uninitialised value, where that value
    came from. Third-party code that main calls directly (SDL's start-up, say) does not count."""
    prog = os.path.realpath(program)

    def ours(f):
        return f.obj == prog or f.path.startswith(ROOT)

    def touches(stack):
        frames = [f for f in stack if "vgpreload" not in f.obj]  # memcheck's own malloc, memcpy...
        return bool(frames) and (ours(frames[0]) or any(ours(f) and f.fn != "main" for f in frames))

    _, _, stack, origin = error
    return touches(stack) or (origin is not None and touches(origin))


def describe(error):
    kind, what, stack, origin = error
    lines = [f"{kind}: {what}"] + [f"    {f}" for f in stack[:16]]
    if origin:
        lines += ["  origin:"] + [f"    {f}" for f in origin[:8]]
    return "\n".join(lines)


class Canary(unittest.TestCase):
    def test_faults_in_our_code_are_reported(self):
        with tempfile.TemporaryDirectory() as tmp:
            xml_file = os.path.join(tmp, "memcheck.xml")
            subprocess.run([VALGRIND, *memcheck(xml_file), FAULTY], capture_output=True, timeout=120)
            ours = [e for e in errors(xml_file) if involves_us(e, FAULTY)]
        kinds = {e[0] for e in ours}
        self.assertEqual(kinds, {"InvalidRead", "UninitCondition"}, "\n".join(map(describe, ours)))


class IntroPort(unittest.TestCase):
    def test_playback_without_a_memory_error_in_our_code(self):
        with tempfile.TemporaryDirectory() as tmp, XServer() as x, Intro(
                x, VALGRIND, [*memcheck(os.path.join(tmp, "memcheck.xml")), PORT, "-w"], env={
                    # llvmpipe draws on the main thread instead of threads of its own, which
                    # memcheck would only run one at a time anyway.
                    "LP_NUM_THREADS": "0",
                    # No shader-cache thread, and nothing written under $HOME.
                    "MESA_SHADER_CACHE_DISABLE": "true",
                }) as intro:
            win = intro.window(300)
            # The disk driver writes at the device's pace: this much sound is this much playback.
            wait_for(lambda: len(strip_leading_silence(intro.captured(), FRAME)) >= SECONDS * RATE * FRAME,
                     300, f"{SECONDS} s of played music")
            x.xdo("windowfocus", "--sync", win, "key", "space")
            status = intro.wait(120)
            err = intro.stderr()
            found = errors(os.path.join(tmp, "memcheck.xml"))
        for e in found:
            print(describe(e), file=sys.stderr)
        ours = [describe(e) for e in found if involves_us(e, PORT)]
        if ours:
            self.fail(f"{len(ours)} error(s) involve our code:\n" + "\n".join(ours))
        self.assertEqual(status, 0, err)


if __name__ == "__main__":
    unittest.main()
