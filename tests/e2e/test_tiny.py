"""intro-tiny run for real: picture, sound, always full screen, quits on a key release only, its own end."""
import os
import subprocess
import time
import unittest

from xharness import SCREEN_H, SCREEN_W, Intro, XServer, changes, full_run, picture, s16, strip_leading_silence, wait_for

TINY = os.environ["INTRO_TINY"]
RENDER = os.environ["RENDER_TINY"]
SAMPLE = 2         # bytes per mono 16-bit sample, as the synthesizer writes them
FRAME = 4          # bytes per captured stereo frame
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


class Sound(unittest.TestCase):
    def test_plays_the_offline_render(self):
        with XServer() as x, Intro(x, TINY) as intro:
            win = intro.window()
            seconds = 3
            wait_for(lambda: len(strip_leading_silence(intro.captured(), FRAME)) >= seconds * RATE * FRAME,
                     60, f"{seconds} s of captured music")
            x.xdo("windowfocus", "--sync", win, "key", "space")
            self.assertEqual(intro.wait(10), 0)
            played = s16(strip_leading_silence(intro.captured(), FRAME))
        # SDL plays the mono stream on a stereo device: both sides carry each sample, passed
        # through SDL's float conversion (s / 32768 * 32767, rounded). That is exact for small
        # magnitudes and may move a loud sample by one step.
        left, right = played[0::2], played[1::2]
        self.assertEqual(left, right)
        total = subprocess.run([RENDER, str(RATE * 10)], capture_output=True, check=True).stdout
        expected = s16(strip_leading_silence(total, SAMPLE))[:len(left)]
        self.assertGreaterEqual(len(left), seconds * RATE)
        self.assertEqual(len(expected), len(left))
        first_diff = next((i for i, (a, b) in enumerate(zip(left, expected))
                           if abs(a - b) > (1 if abs(b) > 16000 else 0)), None)
        self.assertIsNone(first_diff, "captured audio differs from the offline render")


class QuitInput(unittest.TestCase):
    def test_held_key_runs_on_until_released(self):
        with XServer() as x, Intro(x, TINY) as intro:
            win = intro.window()
            picture(x)
            x.xdo("windowfocus", "--sync", win, "keydown", "a")
            changes(x, "the picture to change while the key is held")
            self.assertTrue(intro.running())
            sent = time.monotonic()
            x.xdo("keyup", "a")
            self.assertEqual(intro.wait(5), 0, intro.stderr())
            self.assertLess(time.monotonic() - sent, 1.0)

    def test_buttons_wheel_and_close_request_do_not_end_it(self):
        with XServer(wm=True) as x, Intro(x, TINY) as intro:
            win = intro.window()
            picture(x)
            x.xdo("windowfocus", "--sync", win)
            x.xdo("mousemove", "--window", win, "400", "300", "click", "1", "click", "3", "click", "5")
            subprocess.run(["wmctrl", "-i", "-c", win], env=x.env(), check=True)
            changes(x, "the picture to change after the events")
            self.assertTrue(intro.running())
            # ...while a key release still ends it.
            x.xdo("windowfocus", "--sync", win, "key", "q")
            self.assertEqual(intro.wait(5), 0)


class Failure(unittest.TestCase):
    # A library or function that cannot be bound is covered on the program itself in tests/shell.
    def own_lines(self, r):
        self.assertEqual(r.returncode, 1, r.stderr)  # a crash would be a negative signal number
        return [l for l in r.stderr.splitlines() if l.startswith("intro-tiny:")]

    def test_no_display_is_one_line_and_status_1(self):
        # Pinned to X11: left to choose, SDL would fall back to drawing off screen.
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        env.update(SDL_AUDIODRIVER="dummy", SDL_VIDEODRIVER="x11")
        r = subprocess.run([TINY], env=env, capture_output=True, text=True, timeout=30)
        self.assertEqual(self.own_lines(r), ["intro-tiny: SDL_Init failed"])

    def test_unknown_audio_driver_is_one_line_and_status_1(self):
        with XServer() as x:
            r = subprocess.run([TINY], env=x.env(SDL_AUDIODRIVER="nosuchdriver"),
                               capture_output=True, text=True, timeout=30)
        lines = self.own_lines(r)
        # SDL refuses an unknown driver when its audio part starts or when the device opens.
        self.assertEqual(len(lines), 1, r.stderr)
        self.assertIn(lines[0], ("intro-tiny: SDL_Init failed", "intro-tiny: SDL_OpenAudio failed"))


class FullRun(unittest.TestCase):
    def test_ends_by_itself_after_116_seconds(self):
        status, elapsed = full_run(TINY)
        self.assertEqual(status, 0)
        self.assertGreaterEqual(elapsed, 116)
        self.assertLess(elapsed, 140)


if __name__ == "__main__":
    unittest.main()
