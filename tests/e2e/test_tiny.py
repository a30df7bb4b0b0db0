"""intro-tiny run for real: picture, sound, always full screen, quits on a key release only, signals,
no display, its own end."""
import os
import signal
import subprocess
import unittest

from xharness import (CLASSIC, SCREEN_H, SCREEN_W, changes, ends_by_signal, full_run,
                      ignored_signal_stays_ignored, Intro, picture, s16, strip_leading_silence,
                      wait_for, without_display, XServer)

TINY = os.environ["INTRO_TINY"]
RENDER = os.environ["RENDER_TINY"]
SAMPLE = 2         # bytes per mono 16-bit sample, as the synthesizer writes them
FRAME = 4          # bytes per captured stereo frame (SDL2 widens the mono stream)
RATE = 44100


class Picture(unittest.TestCase):
    def test_picture_is_not_black_and_changes(self):
        with XServer() as x, Intro(x, TINY) as intro:
            intro.window()
            picture(x)
            changes(x, "the picture to change")
            self.assertTrue(intro.running())


class FullScreen(unittest.TestCase):
    def test_always_full_screen_whatever_the_command_line(self):
        for args in ([], ["-w"]):
            with self.subTest(args=args), XServer(wm=True) as x, Intro(x, TINY, args) as intro:
                win = intro.window()
                picture(x)
                size = wait_for(lambda: (lambda g: g if g in ((800, 600), (SCREEN_W, SCREEN_H)) else None)(
                    intro.geometry(win)), 10, "a settled window size")
                self.assertEqual(size, (SCREEN_W, SCREEN_H))


def offline():
    """The synthesizer's first 10 s rendered offline, from the first sound on."""
    total = subprocess.run([RENDER, str(RATE * 10)], capture_output=True, check=True).stdout
    return s16(strip_leading_silence(total, SAMPLE))


class Sound(unittest.TestCase):
    def test_plays_the_offline_render(self):
        # Classic SDL writes the mono stream as it is. SDL2 plays it on a stereo device: both
        # sides carry each sample, passed through its float conversion (s / 32768 * 32767,
        # rounded), which is exact for small magnitudes and may move a loud sample by one step.
        frame = SAMPLE if CLASSIC else FRAME
        with XServer() as x, Intro(x, TINY) as intro:
            win = intro.window()
            wait_for(lambda: len(strip_leading_silence(intro.captured(), frame)) >= 3 * RATE * frame,
                     60, "3 s of captured music")
            x.xdo("windowfocus", "--sync", win, "key", "space")
            self.assertEqual(intro.wait(10), 0)
            played = s16(strip_leading_silence(intro.captured(), frame))
        if CLASSIC:
            tolerance = lambda b: 0
        else:
            self.assertEqual(played[0::2], played[1::2])
            played = played[0::2]
            tolerance = lambda b: 1 if abs(b) > 16000 else 0
        expected = offline()[:len(played)]
        self.assertGreaterEqual(len(played), 3 * RATE)
        self.assertEqual(len(expected), len(played))
        first_diff = next((i for i, (a, b) in enumerate(zip(played, expected)) if abs(a - b) > tolerance(b)), None)
        self.assertIsNone(first_diff, "captured audio differs from the offline render")


class QuitInput(unittest.TestCase):
    def test_held_key_runs_on_until_released(self):
        with XServer() as x, Intro(x, TINY) as intro:
            win = intro.window()
            picture(x)
            x.xdo("windowfocus", "--sync", win, "keydown", "a")
            changes(x, "the picture to change while the key is held")
            self.assertTrue(intro.running())
            x.xdo("keyup", "a")
            # The bound only proves the release was taken: the show would run on for minutes.
            self.assertEqual(intro.wait(10), 0, intro.stderr())

    def test_buttons_wheel_and_close_request_do_not_end_it(self):
        with XServer(wm=True) as x, Intro(x, TINY) as intro:
            win = intro.window()
            picture(x)
            x.xdo("windowfocus", "--sync", win)
            x.xdo("mousemove", "--window", win, "400", "300", "click", "1", "click", "3", "click", "5")
            x.close_request(win)
            changes(x, "the picture to change after the events")
            self.assertTrue(intro.running())
            # ...while a key release still ends it.
            x.xdo("windowfocus", "--sync", win, "key", "q")
            self.assertEqual(intro.wait(10), 0)


class Signals(unittest.TestCase):
    def test_sigint_ends_it_while_the_close_request_does_not(self):
        ends_by_signal(self, TINY, (), signal.SIGINT, close_first=True)

    def test_sigterm_ends_it(self):
        ends_by_signal(self, TINY, (), signal.SIGTERM, close_first=False)

    def test_sigterm_left_ignored_by_the_parent_stays_ignored(self):
        ignored_signal_stays_ignored(self, TINY, (), signal.SIGTERM, "q")


def own_lines(test, r):
    test.assertEqual(r.returncode, 1, r.stderr)  # a crash would be a negative signal number
    return [l for l in r.stderr.splitlines() if l.startswith("intro-tiny:")]


class NoDisplay(unittest.TestCase):
    def test_display_not_set_is_refused_in_one_line_with_status_1(self):
        r = subprocess.run([TINY], env=without_display(), capture_output=True, text=True, timeout=30)
        self.assertEqual(own_lines(self, r), ["intro-tiny: no display; to run unseen, set SDL_VIDEODRIVER=offscreen"])

    def test_an_empty_driver_choice_asks_for_nothing(self):
        r = subprocess.run([TINY], env=without_display(SDL_VIDEODRIVER=""), capture_output=True, text=True,
                           timeout=30)
        self.assertEqual(own_lines(self, r), ["intro-tiny: no display; to run unseen, set SDL_VIDEODRIVER=offscreen"])

    def test_offscreen_asked_for_plays_unseen(self):
        with Intro(None, TINY, env={"SDL_VIDEODRIVER": "offscreen"}) as intro:
            def playing():
                if not intro.running():
                    self.fail(f"ended with {intro.proc.returncode}: {intro.stderr()}")
                return len(strip_leading_silence(intro.captured(), FRAME)) >= RATE * FRAME
            wait_for(playing, 60, "a second of music")
            intro.proc.send_signal(signal.SIGINT)
            self.assertEqual(intro.wait(10), -signal.SIGINT)


class Failure(unittest.TestCase):
    # A library or function that cannot be bound is covered on the program itself in tests/shell.
    def test_x11_without_display_is_one_line_and_status_1(self):
        r = subprocess.run([TINY], env=without_display(SDL_VIDEODRIVER="x11"), capture_output=True, text=True,
                           timeout=30)
        lines = own_lines(self, r)
        self.assertEqual(len(lines), 1, r.stderr)
        self.assertTrue(lines[0].startswith("intro-tiny: SDL_Init failed: "), lines[0])

    def test_unknown_audio_driver_is_one_line_and_status_1(self):
        with XServer() as x:
            r = x.run_program([TINY], SDL_AUDIODRIVER="nosuchdriver")
        lines = own_lines(self, r)
        # SDL refuses an unknown driver when its audio part starts or when the device opens.
        self.assertEqual(len(lines), 1, r.stderr)
        self.assertRegex(lines[0], "^intro-tiny: SDL_(Init|OpenAudio) failed: ")


    def test_audio_device_that_cannot_open_says_how_to_run_silently(self):
        # As on a machine without a sound card: the driver starts, the device does not open.
        with XServer() as x:
            r = x.run_program([TINY], SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE="/nonexistent/audio.raw")
        self.assertEqual(r.returncode, 1)
        lines = own_lines(self, r)
        self.assertEqual(len(lines), 1, r.stderr)
        self.assertRegex(lines[0], "^intro-tiny: SDL_OpenAudio failed: .*nonexistent.*; to run silently, "
                                   "set SDL_AUDIODRIVER=dummy$")

class FullRun(unittest.TestCase):
    def test_ends_by_itself_after_116_seconds(self):
        status, elapsed = full_run(TINY)
        self.assertEqual(status, 0)
        self.assertGreaterEqual(elapsed, 116)  # not before the end of the timeline


if __name__ == "__main__":
    unittest.main()
