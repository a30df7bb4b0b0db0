"""The harness's guard against lost X connections: what it starts again, how often, and what it
lets fail."""
import contextlib
import io
import os
import tempfile
import unittest

from xharness import RETRIES, Intro, XServer

TINY = os.environ["INTRO_TINY"]
LOST = "intro-tiny: no display; to run unseen, set SDL_VIDEODRIVER=offscreen"


def failing_first(tmp, starts, line, then):
    """A script that prints line to stderr and exits 1 on its first `starts` runs, then execs `then`
    (the same process, so the same id)."""
    count, says, path = (os.path.join(tmp, name) for name in ("count", "says", "flaky"))
    with open(says, "w") as f:
        f.write(line + "\n")
    with open(path, "w") as f:
        f.write(f"#!/bin/sh\nn=$(cat '{count}' 2>/dev/null || echo 0)\necho $((n + 1)) > '{count}'\n"
                f"if [ \"$n\" -lt {starts} ]; then cat '{says}' >&2; exit 1; fi\nexec {then}\n")
    os.chmod(path, 0o755)
    return path


class LostDisplay(unittest.TestCase):
    def run_flaky(self, starts, line):
        """Starts a program that fails `starts` times, then is intro-tiny; returns the number of
        starts, the harness's notes and the failure, if any."""
        notes = io.StringIO()
        with tempfile.TemporaryDirectory() as tmp, XServer() as x, contextlib.redirect_stderr(notes):
            with Intro(x, failing_first(tmp, starts, line, TINY)) as intro:
                try:
                    intro.window()
                    failure = None
                except AssertionError as e:
                    failure = str(e)
                return intro.starts, notes.getvalue().splitlines(), failure

    def test_started_again_at_most_twice_and_said_so(self):
        starts, notes, failure = self.run_flaky(RETRIES, LOST)
        self.assertIsNone(failure)
        self.assertEqual(starts, 3)
        self.assertEqual(notes, [f"xharness: flaky could not connect ({LOST}); starting it again ({n} of 2)"
                                 for n in (1, 2)])

    def test_a_third_loss_fails(self):
        starts, notes, failure = self.run_flaky(RETRIES + 1, LOST)
        self.assertEqual(starts, 3)
        self.assertEqual(len(notes), 2)
        self.assertIn("program ended early with 1", failure)

    def test_classic_sdl_connection_failure_counts_as_lost(self):
        starts, notes, failure = self.run_flaky(1, "intro-tiny: SDL_Init failed: Couldn't open X11 display")
        self.assertIsNone(failure)
        self.assertEqual(starts, 2)

    def test_any_other_early_exit_fails_at_once(self):
        starts, notes, failure = self.run_flaky(1, "intro-tiny: SDL_OpenAudio failed: no such device")
        self.assertEqual(starts, 1)
        self.assertEqual(notes, [])
        self.assertIn("SDL_OpenAudio failed", failure)


class LostToolConnection(unittest.TestCase):
    def run_tool(self, starts, check):
        notes = io.StringIO()
        with tempfile.TemporaryDirectory() as tmp, XServer() as x, contextlib.redirect_stderr(notes):
            tool = failing_first(tmp, starts, "Error: Can't open display: (null)", "echo done")
            try:
                return x.tool(tool, check=check), notes.getvalue().splitlines()
            except AssertionError as e:
                return str(e), notes.getvalue().splitlines()

    def test_run_again_at_most_twice_and_said_so(self):
        out, notes = self.run_tool(RETRIES, check=True)
        self.assertEqual(out, b"done\n")
        self.assertEqual(len(notes), 2)
        self.assertTrue(all("could not connect" in n for n in notes), notes)

    def test_a_third_loss_fails_a_checked_run(self):
        out, notes = self.run_tool(RETRIES + 1, check=True)
        self.assertIn("failed with 1", out)
        self.assertEqual(len(notes), 2)


if __name__ == "__main__":
    unittest.main()
