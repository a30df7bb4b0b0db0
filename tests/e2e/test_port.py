"""intro-port run for real: sound, picture, quit inputs, signals, window mode, no display, its own end."""
import os
import signal
import subprocess
import unittest

from xharness import (SCREEN_H, SCREEN_W, changes, ends_by_signal, full_run,
                      ignored_signal_stays_ignored, Intro, picture, strip_leading_silence, wait_for,
                      without_display, XServer)

PORT = os.environ["INTRO_PORT"]
RENDER = os.environ["RENDER_PORT"]
FRAME = 4          # bytes per stereo frame of 16-bit samples
RATE = 44100


def offline(frames):
    """What the synthesizer renders for the first frames, without SDL."""
    return subprocess.run([RENDER, str(frames)], capture_output=True, check=True).stdout


class Sound(unittest.TestCase):
    def test_plays_exactly_the_offline_render(self):
        with XServer() as x, Intro(x, PORT, ["-w"]) as intro:
            win = intro.window()
            seconds = 3
            wait_for(lambda: len(strip_leading_silence(intro.captured(), FRAME)) >= seconds * RATE * FRAME,
                     60, f"{seconds} s of captured music")
            x.xdo("windowfocus", "--sync", win, "key", "space")
            self.assertEqual(intro.wait(10), 0)
            played = strip_leading_silence(intro.captured(), FRAME)
        # The synthesizer's own first 15129 frames are silent too; both sides start at the first sound.
        expected = strip_leading_silence(offline(15129 + len(played) // FRAME), FRAME)
        self.assertGreaterEqual(len(played), seconds * RATE * FRAME)
        self.assertEqual(len(expected), len(played))
        first_diff = next((i for i in range(0, len(played), FRAME)
                           if played[i:i + FRAME] != expected[i:i + FRAME]), None)
        self.assertIsNone(first_diff, "captured audio differs from the offline render")


class Picture(unittest.TestCase):
    def test_picture_is_not_black_and_changes(self):
        with XServer() as x, Intro(x, PORT, ["-w"]) as intro:
            intro.window()
            picture(x)
            changes(x, "the picture to change")
            self.assertTrue(intro.running())


class QuitInput(unittest.TestCase):
    def quits(self, *xdo_args):
        with XServer() as x, Intro(x, PORT, ["-w"]) as intro:
            win = intro.window()
            picture(x)
            x.xdo("windowfocus", "--sync", win)
            x.xdo(*[a.replace("WIN", win) for a in xdo_args])
            # The bound only proves the input was taken: the show would run on for minutes.
            self.assertEqual(intro.wait(10), 0, intro.stderr())

    def test_key_press_ends_it(self):
        self.quits("key", "Escape")

    def test_mouse_button_ends_it(self):
        self.quits("mousemove", "--window", "WIN", "400", "300", "click", "1")

    def test_wheel_ends_it(self):
        self.quits("mousemove", "--window", "WIN", "400", "300", "click", "5")

    def test_release_motion_and_close_request_do_not_end_it(self):
        with XServer(wm=True) as x, Intro(x, PORT, ["-w"]) as intro:
            win = intro.window()
            picture(x)
            x.xdo("windowfocus", "--sync", win)
            x.xdo("keyup", "a")
            x.xdo("mousemove", "--window", win, "100", "100", "mousemove", "--window", win, "300", "200")
            x.close_request(win)
            # The frame loop goes on drawing after the events were queued...
            changes(x, "the picture to change after the events")
            self.assertTrue(intro.running())
            # ...and a key press, queued behind them, still ends it normally.
            x.xdo("windowfocus", "--sync", win, "key", "q")
            self.assertEqual(intro.wait(10), 0)


class Signals(unittest.TestCase):
    def test_sigint_ends_it_while_the_close_request_does_not(self):
        ends_by_signal(self, PORT, ["-w"], signal.SIGINT, close_first=True)

    def test_sigterm_ends_it(self):
        ends_by_signal(self, PORT, ["-w"], signal.SIGTERM, close_first=False)

    def test_sigint_left_ignored_by_the_parent_stays_ignored(self):
        ignored_signal_stays_ignored(self, PORT, ["-w"], signal.SIGINT, "q")


class WindowMode(unittest.TestCase):
    def size(self, args, argv0=None):
        with XServer(wm=True) as x, Intro(x, PORT, args, argv0=argv0) as intro:
            win = intro.window()
            picture(x)
            # The window manager may apply full screen a moment after mapping.
            return wait_for(lambda: (lambda g: g if g in ((800, 600), (SCREEN_W, SCREEN_H)) else None)(
                intro.geometry(win)), 10, "a settled window size")

    def test_full_screen_without_arguments(self):
        self.assertEqual(self.size([]), (SCREEN_W, SCREEN_H))

    def test_dash_w_gives_800_by_600_window(self):
        self.assertEqual(self.size(["-w"]), (800, 600))

    def test_only_an_exact_first_dash_w_counts(self):
        for args in (["-wx"], ["-W"], ["x", "-w"]):
            with self.subTest(args=args):
                self.assertEqual(self.size(args), (SCREEN_W, SCREEN_H))

    def test_program_name_ending_in_w_flips_the_choice(self):
        self.assertEqual(self.size([], argv0="intro-portw"), (800, 600))
        self.assertEqual(self.size(["-w"], argv0="intro-portw"), (SCREEN_W, SCREEN_H))


def own_lines(r):
    return [l for l in r.stderr.splitlines() if l.startswith("intro-port:")]


class NoDisplay(unittest.TestCase):
    def test_display_not_set_is_refused_in_one_line_with_status_1(self):
        r = subprocess.run([PORT, "-w"], env=without_display(), capture_output=True, text=True, timeout=30)
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertEqual(own_lines(r), ["intro-port: no display (DISPLAY is not set); "
                                        "set SDL_VIDEODRIVER=offscreen to run unseen"])

    def test_nothing_but_that_line_without_a_session(self):
        # No display and no session's runtime folder: SDL would print a line of its own trying
        # Wayland; the refusal comes before SDL starts.
        env = without_display()
        for name in ("XDG_RUNTIME_DIR", "WAYLAND_DISPLAY", "WAYLAND_SOCKET"):
            env.pop(name, None)
        r = subprocess.run([PORT, "-w"], env=env, capture_output=True, text=True, timeout=30)
        self.assertEqual((r.returncode, r.stderr), (1, "intro-port: no display (DISPLAY is not set); "
                                                       "set SDL_VIDEODRIVER=offscreen to run unseen\n"))

    def test_display_that_cannot_be_reached_is_refused_likewise(self):
        r = subprocess.run([PORT, "-w"], env=without_display(DISPLAY="/nonexistent/vintelo:0"),
                           capture_output=True, text=True, timeout=30)
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertEqual(own_lines(r), ["intro-port: no display (cannot open DISPLAY=/nonexistent/vintelo:0); "
                                        "set SDL_VIDEODRIVER=offscreen to run unseen"])

    def test_offscreen_asked_for_plays_unseen(self):
        with Intro(None, PORT, ["-w"], env={"SDL_VIDEODRIVER": "offscreen"}) as intro:
            def playing():
                if not intro.running():
                    self.fail(f"ended with {intro.proc.returncode}: {intro.stderr()}")
                return len(strip_leading_silence(intro.captured(), FRAME)) >= RATE * FRAME
            wait_for(playing, 60, "a second of music")
            intro.proc.send_signal(signal.SIGTERM)
            self.assertEqual(intro.wait(10), -signal.SIGTERM)


class Failure(unittest.TestCase):
    def test_x11_without_display_is_one_line_and_status_1(self):
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        env.update(SDL_AUDIODRIVER="dummy", SDL_VIDEODRIVER="x11")
        r = subprocess.run([PORT, "-w"], env=env, capture_output=True, text=True, timeout=30)
        self.assertEqual(r.returncode, 1)
        lines = own_lines(r)
        self.assertEqual(len(lines), 1, r.stderr)
        self.assertTrue(lines[0].startswith("intro-port: SDL_Init failed: "), lines[0])

    def test_unknown_audio_driver_is_one_line_and_status_1(self):
        with XServer() as x:
            r = x.run_program([PORT, "-w"], SDL_AUDIODRIVER="nosuchdriver")
        self.assertEqual(r.returncode, 1)
        lines = own_lines(r)
        self.assertEqual(len(lines), 1, r.stderr)
        # SDL refuses an unknown driver when its audio part starts or when the device opens.
        self.assertRegex(lines[0], "^intro-port: SDL_(Init|OpenAudio) failed: ")


    def test_audio_device_that_cannot_open_says_how_to_run_silently(self):
        # As on a machine without a sound card: the driver starts, the device does not open.
        with XServer() as x:
            r = x.run_program([PORT, "-w"], SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE="/nonexistent/audio.raw")
        self.assertEqual(r.returncode, 1)
        lines = own_lines(r)
        self.assertEqual(len(lines), 1, r.stderr)
        self.assertRegex(lines[0], "^intro-port: SDL_OpenAudio failed: .*nonexistent.*; to run silently, "
                                   "set SDL_AUDIODRIVER=dummy$")

class FullRun(unittest.TestCase):
    def test_ends_by_itself_after_116_seconds(self):
        status, elapsed = full_run(PORT, ["-w"])
        self.assertEqual(status, 0)
        self.assertGreaterEqual(elapsed, 116)  # not before the end of the timeline


if __name__ == "__main__":
    unittest.main()
