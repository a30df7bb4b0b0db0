"""intro-capture run for real: music, video, stills, determinism and every way it can fail."""
import fcntl
import hashlib
import json
import os
import pty
import resource
import select
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
from xharness import XServer  # noqa: E402

CAPTURE = os.environ["INTRO_CAPTURE"]
RENDER_PORT = os.environ["RENDER_PORT"]
RENDER_TINY = os.environ["RENDER_TINY"]
STILL_PORT = os.environ["STILL_PORT"]
RATE = 44100


def capture(*args, cwd, env=None, limit=None, timeout=300):
    """Runs intro-capture in cwd; returns (status, stderr text)."""
    def cap_files():
        if limit is not None:
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    run = subprocess.run([CAPTURE, *args], cwd=cwd, env=dict(os.environ, **(env or {})), capture_output=True,
                         text=True, timeout=timeout, preexec_fn=cap_files)
    return run.returncode, run.stderr


def wav_body(path):
    """(channels, samples bytes) of a WAV written by intro-capture, its header checked."""
    data = open(path, "rb").read()
    riff, size, wave, fmt, flen, pcm, ch, rate, brate, align, bits, tag, dlen = struct.unpack(
        "<4sI4s4sIHHIIHH4sI", data[:44])
    assert (riff, wave, fmt, flen, pcm, rate, bits, tag) == (b"RIFF", b"WAVE", b"fmt ", 16, 1, RATE, 16, b"data")
    assert brate == RATE * ch * 2 and align == ch * 2 and size == 36 + dlen and dlen == len(data) - 44
    return ch, data[44:]


def offline(render, samples):
    return subprocess.run([render, str(samples)], capture_output=True, check=True).stdout


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_streams", "-show_format", "-of", "json",
                          path], capture_output=True, check=True, text=True).stdout
    return json.loads(out)


def pixels(png):
    """A PNG still as top-row-first RGB bytes, decoded by ffmpeg."""
    return subprocess.run(["ffmpeg", "-v", "error", "-i", png, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                          capture_output=True, check=True).stdout


def frames_of(video, w, h):
    """The frames of a video as top-row-first RGB bytes each, decoded by ffmpeg."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", video, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                         capture_output=True, check=True).stdout
    size = w * h * 3
    return [raw[i:i + size] for i in range(0, len(raw), size)]


def mean_difference(a, b):
    """Mean difference of two pictures, in levels of 255."""
    return sum(abs(x - y) for x, y in zip(a, b)) / len(a)


def tree(top):
    """Every file under top, hidden ones included, with a digest of its bytes."""
    found = {}
    for d, _, files in os.walk(top):
        for f in files:
            with open(os.path.join(d, f), "rb") as fh:
                found[os.path.relpath(os.path.join(d, f), top)] = hashlib.sha256(fh.read()).hexdigest()[:16]
    return found


def ceil_div(a, b):
    return -(-a // b)


class Scratch(unittest.TestCase):
    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory()
        self.dir = self._tmp.name

    def tearDown(self):
        self._tmp.cleanup()

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def left(self):
        """Everything in the scratch directory, hidden files included."""
        return sorted(os.listdir(self.dir))

    def assert_one_line(self, err, *words):
        """err holds one message besides the progress lines, naming the words."""
        lines = [l for l in err.strip("\n").split("\n") if not l.endswith("x real time")]
        self.assertEqual(len(lines), 1, err)
        self.assertTrue(lines[0].startswith("intro-capture: "), err)
        for w in words:
            self.assertIn(w, lines[0])


class Music(Scratch):
    def test_wav_is_the_port_render_sample_for_sample(self):
        status, err = capture("--wav", "m.wav", cwd=self.dir)
        self.assertEqual(status, 0, err)
        ch, body = wav_body(self.path("m.wav"))
        self.assertEqual(ch, 2)
        self.assertEqual(len(body), 5116335 * 4)  # ceil(6961 frames * 44100 / 60), 4 bytes a frame
        self.assertEqual(body, offline(RENDER_PORT, 5116335))
        self.assertEqual(self.left(), ["m.wav"])  # no video without -o, no leftovers

    def test_wav_of_the_tiny_at_24_fps(self):
        status, err = capture("--wav", "m.wav", "--synth", "tiny", "-r", "24", cwd=self.dir)
        self.assertEqual(status, 0, err)
        ch, body = wav_body(self.path("m.wav"))
        self.assertEqual(ch, 1)
        samples = ceil_div(2785 * RATE, 24)  # 5117437.5 rounded up
        self.assertEqual(len(body), samples * 2)
        self.assertEqual(body, offline(RENDER_TINY, samples))

    def test_a_stretch_has_its_slice_of_the_music(self):
        status, err = capture("--wav", "m.wav", "-r", "30", "--from", "10", "--to", "12.5", cwd=self.dir)
        self.assertEqual(status, 0, err)
        _, body = wav_body(self.path("m.wav"))
        first, last = 300 * RATE // 30, 375 * RATE // 30  # frames 300..374
        self.assertEqual(body, offline(RENDER_PORT, last)[first * 4:])


class Video(Scratch):
    def check_mp4(self, synth, channels):
        status, err = capture("-s", "192x144", "-r", "25", "--from", "20", "--to", "22", "--synth", synth, "-o",
                              "v.mp4", cwd=self.dir)
        self.assertEqual(status, 0, err)
        self.assertEqual(self.left(), ["v.mp4"])
        info = probe(self.path("v.mp4"))
        video, audio = sorted(info["streams"], key=lambda s: s["codec_type"] != "video")
        self.assertEqual((video["codec_name"], video["width"], video["height"], video["pix_fmt"]),
                         ("h264", 192, 144, "yuv420p"))
        self.assertEqual(video["nb_read_frames"], "50")
        self.assertEqual(video["avg_frame_rate"], "25/1")
        self.assertAlmostEqual(float(video["duration"]), 2.0, places=3)
        self.assertEqual((audio["codec_name"], audio["sample_rate"], audio["channels"]), ("aac", "44100", channels))
        self.assertAlmostEqual(float(audio["duration"]), 2.0, delta=0.03)
        self.assertAlmostEqual(float(info["format"]["duration"]), 2.0, delta=0.03)
        data = open(self.path("v.mp4"), "rb").read()
        self.assertLess(data.find(b"moov"), data.find(b"mdat"), "the index comes first (+faststart)")

    def test_port_mp4_streams(self):
        self.check_mp4("port", 2)

    def test_tiny_mp4_streams(self):
        self.check_mp4("tiny", 1)

    def test_defaults(self):
        status, err = capture("--to", "0.03", cwd=self.dir)
        self.assertEqual(status, 0, err)
        self.assertEqual(self.left(), ["vintelo.mp4"])
        video = probe(self.path("vintelo.mp4"))["streams"][0]
        self.assertEqual((video["width"], video["height"], video["avg_frame_rate"], video["nb_read_frames"]),
                         (1280, 720, "60/1", "2"))

    def test_the_container_follows_the_extension(self):
        for name, form in (("v.mkv", "matroska,webm"), ("v.MOV", "mov,mp4,m4a,3gp,3g2,mj2")):
            status, err = capture("-s", "64x48", "--to", "0.1", "-o", name, cwd=self.dir)
            self.assertEqual(status, 0, err)
            info = probe(self.path(name))
            self.assertEqual(info["format"]["format_name"], form)
            self.assertEqual(sorted(s["codec_name"] for s in info["streams"]), ["aac", "h264"])
        data = open(self.path("v.MOV"), "rb").read()
        self.assertLess(data.find(b"moov"), data.find(b"mdat"), "the index comes first (+faststart)")
        for name, why in (("v.avi", "the container follows the name's extension"), ("-", "standard output")):
            status, err = capture("-s", "64x48", "--to", "0.1", "-o", name, cwd=self.dir)
            self.assertEqual(status, 2, name)
            self.assert_one_line(err, why)
        self.assertEqual(self.left(), ["v.MOV", "v.mkv"])

    def test_frames_are_the_stills(self):
        # The video of a stretch decoded, frame by frame, against the stills of the same frames:
        # the same within the encoder's loss (about 6 levels at most here), where a picture upside
        # down differs by over 40, one moved a pixel sideways by 20, the frame before by 12 and one
        # with red and blue swapped by 10.
        w, h = 160, 120
        for args in (["-o", "v.mp4"], ["--frames", "f"]):
            status, err = capture("-s", f"{w}x{h}", "--from", "52", "--to", "53", *args, cwd=self.dir)
            self.assertEqual(status, 0, err)
        video = frames_of(self.path("v.mp4"), w, h)
        self.assertEqual(len(video), 60)
        for n, got in enumerate(video):
            still = pixels(self.path("f", f"{n:06d}.png"))
            self.assertLess(mean_difference(got, still), 8, f"frame {n}")


class Quality(Scratch):
    def encode(self, name, *args):
        status, err = capture("-s", "320x240", "--from", "60", "--to", "61", "-o", name, *args, cwd=self.dir)
        self.assertEqual(status, 0, err)
        info = probe(self.path(name))
        return {st["codec_type"]: st for st in info["streams"]}, open(self.path(name), "rb").read()

    def test_crf_and_preset_reach_x264(self):
        (fine, fine_data), (coarse, coarse_data) = (self.encode("fine.mp4", "--crf", "10", "--preset", "medium"),
                                                    self.encode("coarse.mp4", "--crf", "35", "--preset", "ultrafast"))
        for streams in (fine, coarse):
            self.assertEqual((streams["video"]["codec_name"], streams["video"]["pix_fmt"]), ("h264", "yuv420p"))
            self.assertEqual(streams["audio"]["codec_name"], "aac")
            self.assertTrue(230000 <= int(streams["audio"]["bit_rate"]) <= 270000, streams["audio"]["bit_rate"])
        # x264 writes its settings into the stream: the quality asked for, and the preset's motion search.
        self.assertIn(b" crf=10.0 ", fine_data)
        self.assertIn(b" subme=7 ", fine_data)  # medium
        self.assertIn(b" crf=35.0 ", coarse_data)
        self.assertIn(b" subme=0 ", coarse_data)  # ultrafast
        self.assertGreater(int(fine["video"]["bit_rate"]), 4 * int(coarse["video"]["bit_rate"]))

    def test_default_quality(self):
        _, data = self.encode("v.mp4")
        self.assertIn(b" crf=15.0 ", data)
        self.assertIn(b" subme=2 ", data)  # veryfast

    def test_bad_values_are_refused_before_anything_is_written(self):
        for args, words in ((["--crf", "52"], "--crf 52"), (["--preset", "quick"], "--preset quick"),
                            (["--lossless", "-o", "v.mp4"], "need Matroska"),
                            (["--lossless", "--crf", "0"], "--crf"), (["--frames", "f", "--preset", "slow"], "stills")):
            status, err = capture(*args, cwd=self.dir)
            self.assertEqual(status, 2, args)
            self.assert_one_line(err, words, "usage: intro-capture")
        self.assertEqual(self.left(), [])


class Lossless(Scratch):
    def test_decodes_to_the_stills_and_the_music(self):
        stretch = ["-s", "320x240", "--from", "92", "--to", "92.5"]  # layers 2, 3 and 4 at once
        status, err = capture(*stretch, "--lossless", "-o", "v.mkv", cwd=self.dir)
        self.assertEqual(status, 0, err)
        status, err = capture(*stretch, "--frames", "f", "--wav", "m.wav", cwd=self.dir)
        self.assertEqual(status, 0, err)
        info = probe(self.path("v.mkv"))
        self.assertIn("matroska", info["format"]["format_name"])
        streams = {st["codec_type"]: st for st in info["streams"]}
        self.assertEqual((streams["video"]["codec_name"], streams["video"]["pix_fmt"]), ("ffv1", "bgr0"))
        self.assertEqual((streams["audio"]["codec_name"], streams["audio"]["channels"]), ("flac", 2))

        frames = subprocess.run(["ffmpeg", "-v", "error", "-i", self.path("v.mkv"), "-map", "0:v", "-f", "rawvideo",
                                 "-pix_fmt", "rgb24", "-"], capture_output=True, check=True).stdout
        stills = sorted(os.listdir(self.path("f")))
        self.assertEqual(len(stills), 30)
        size = 320 * 240 * 3
        self.assertEqual(len(frames), size * len(stills))
        for i, name in enumerate(stills):
            self.assertEqual(frames[i * size:(i + 1) * size], pixels(self.path("f", name)), name)

        sound = subprocess.run(["ffmpeg", "-v", "error", "-i", self.path("v.mkv"), "-map", "0:a", "-f", "s16le", "-"],
                               capture_output=True, check=True).stdout
        _, body = wav_body(self.path("m.wav"))
        self.assertEqual(len(sound), len(body))
        self.assertEqual(sound, body)

    def test_default_name(self):
        status, err = capture("-s", "64x48", "--to", "0.1", "--lossless", cwd=self.dir)
        self.assertEqual(status, 0, err)
        self.assertEqual(self.left(), ["vintelo.mkv"])


class Determinism(Scratch):
    def test_same_stretch_twice_gives_the_same_bytes(self):
        # Different llvmpipe thread counts as well: the picture must not depend on them.
        runs = []
        for n, threads in enumerate(["0", "2"]):
            d = f"run{n}"
            os.mkdir(self.path(d))
            for args in (["--frames", "f", "--wav", "m.wav"], ["-o", "v.mp4"]):
                status, err = capture("-s", "160x120", "--from", "52", "--to", "53", *args, cwd=self.path(d),
                                      env={"LP_NUM_THREADS": threads})
                self.assertEqual(status, 0, err)
                if args[0] == "--frames":  # the closing word names every file written
                    where = os.path.realpath(self.path(d))
                    self.assertEqual(err.splitlines()[-1], f"intro-capture: stills in {where}/f: 60 frames of 160x120 "
                                     f"at 60 fps, 1.00 s; the music is in {where}/m.wav")
            files = sorted(os.listdir(self.path(d, "f")))
            self.assertEqual(len(files), 60)
            runs.append(([open(self.path(d, "f", f), "rb").read() for f in files],
                         open(self.path(d, "m.wav"), "rb").read(), open(self.path(d, "v.mp4"), "rb").read()))
        self.assertEqual(runs[0][0], runs[1][0], "stills differ")
        self.assertEqual(runs[0][1], runs[1][1], "music differs")
        self.assertEqual(runs[0][2], runs[1][2], "videos differ")
        self.assertGreater(len(set(runs[0][0])), 50, "the frames should differ from one another")


class Stills(Scratch):
    def test_first_frame_is_black_and_numbering_starts_at_zero(self):
        status, err = capture("-s", "65x49", "--to", "1", "--frames", "f", cwd=self.dir)  # odd: only a video needs even
        self.assertEqual(status, 0, err)
        self.assertEqual(self.left(), ["f"])
        self.assertEqual(sorted(os.listdir(self.path("f"))), [f"{n:06d}.png" for n in range(60)])
        self.assertEqual(len(pixels(self.path("f", "000000.png"))), 65 * 49 * 3)
        self.assertFalse(any(pixels(self.path("f", "000000.png"))))
        mask = os.umask(0)
        os.umask(mask)
        self.assertEqual(os.stat(self.path("f", "000000.png")).st_mode & 0o777, 0o666 & ~mask)
        self.assertTrue(any(pixels(self.path("f", "000059.png"))))

    def test_same_as_the_intros_own_drawing(self):
        frames = [600, 1350, 3300, 5550, 6600]  # at 60 fps: 10, 22.5, 55, 92.5, 110 s
        with XServer() as x:
            own = subprocess.run([STILL_PORT, "60", *map(str, frames)], env=x.env(), capture_output=True,
                                 timeout=120)
        self.assertEqual(own.returncode, 0, own.stderr)
        size = 800 * 600 * 4
        self.assertEqual(len(own.stdout), size * len(frames))
        for i, n in enumerate(frames):
            ms = n * 1000 // 60  # frame n's time; the next frame comes 16 ms later
            status, err = capture("-s", "800x600", "--from", f"{ms / 1000:.3f}", "--to", f"{(ms + 1) / 1000:.3f}",
                                  "--frames", f"f{n}", cwd=self.dir)
            self.assertEqual(status, 0, err)
            self.assertEqual(os.listdir(self.path(f"f{n}")), ["000000.png"])
            got = pixels(self.path(f"f{n}", "000000.png"))
            raw = own.stdout[i * size:(i + 1) * size]
            rows = [raw[(599 - y) * 3200:(600 - y) * 3200] for y in range(600)]  # bottom row first there
            want = b"".join(bytes(b for k, b in enumerate(r) if k % 4 != 3) for r in rows)
            differ = sum(1 for a, b in zip(got, want) if a != b)
            self.assertLessEqual(differ, len(want) // 1000, f"frame {n}: {differ} bytes differ")
            self.assertTrue(any(want), f"frame {n} is black")

    def test_earlier_stills_are_replaced_whole(self):
        # 12 stills of an earlier capture, then 3 new ones: only the new ones are left.
        status, err = capture("-s", "64x48", "--to", "0.2", "--frames", "f", cwd=self.dir)
        self.assertEqual(status, 0, err)
        self.assertEqual(len(os.listdir(self.path("f"))), 12)
        status, err = capture("-s", "64x48", "--from", "10", "--to", "10.05", "--frames", "f", cwd=self.dir)
        self.assertEqual(status, 0, err)
        self.assertEqual(self.left(), ["f"])
        self.assertEqual(sorted(os.listdir(self.path("f"))), ["000000.png", "000001.png", "000002.png"])
        self.assertTrue(any(pixels(self.path("f", "000000.png"))), "the first run's black first still is left")

    def test_a_folder_with_other_files_is_refused_untouched(self):
        os.mkdir(self.path("f"))
        for name in ("000000.png", "notes.txt"):
            with open(self.path("f", name), "w") as fh:
                fh.write(name)
        before = tree(self.dir)
        status, err = capture("-s", "64x48", "--to", "0.1", "--frames", "f", cwd=self.dir)
        self.assertEqual(status, 1)
        self.assert_one_line(err, "notes.txt")
        self.assertEqual(tree(self.dir), before)

    def test_picture_is_centred_and_never_stretched(self):
        shots = {}
        for w, h in [(160, 120), (240, 120), (160, 200)]:
            d = f"f{w}x{h}"
            status, err = capture("-s", f"{w}x{h}", "--from", "30", "--to", "30.016", "--frames", d, cwd=self.dir)
            self.assertEqual(status, 0, err)
            px = pixels(self.path(d, "000000.png"))
            shots[w, h] = [px[y * w * 3:(y + 1) * w * 3] for y in range(h)]
        plain = b"".join(shots[160, 120])
        self.assertTrue(any(plain))

        def like_plain(picture):
            # The picture is the same; moved by whole pixels, a few edges round differently.
            differ = sum(1 for a, b in zip(b"".join(picture), plain) if a != b)
            self.assertLess(differ, len(plain) // 200)

        wide = shots[240, 120]  # pillarbox: 40 black columns each side
        like_plain([r[120:600] for r in wide])
        self.assertFalse(any(b"".join(r[:120] + r[600:] for r in wide)))
        tall = shots[160, 200]  # letterbox: 40 black rows above and below
        like_plain(tall[40:160])
        self.assertFalse(any(b"".join(tall[:40] + tall[160:])))


FAKE_ENCODERS = """#!/bin/sh
case "$*" in *-encoders*) printf ' V..... libx264  H.264\\n A..... aac  AAC\\n'; exit 0;; esac
"""


class Failures(Scratch):
    def fake_ffmpeg(self, body, encoders=FAKE_ENCODERS):
        os.mkdir(self.path("bin"))
        with open(self.path("bin", "ffmpeg"), "w") as f:
            f.write(encoders + body)
        os.chmod(self.path("bin", "ffmpeg"), 0o755)
        return {"PATH": self.path("bin")}

    def test_no_egl_display(self):
        status, err = capture("-s", "64x48", "--to", "1", "-o", "v.mp4", cwd=self.dir,
                              env={"__EGL_VENDOR_LIBRARY_FILENAMES": "/nonexistent.json"})
        self.assertEqual(status, 1)
        self.assert_one_line(err, "EGL")
        self.assertEqual(self.left(), [])

    def test_no_ffmpeg(self):
        os.mkdir(self.path("bin"))
        status, err = capture("-s", "64x48", "--to", "1", "-o", "v.mp4", cwd=self.dir, env={"PATH": self.path("bin")})
        self.assertEqual(status, 1)
        self.assert_one_line(err, "ffmpeg not found")
        self.assertEqual(self.left(), ["bin"])
        status, err = capture("--wav", "m.wav", cwd=self.dir, env={"PATH": self.path("bin")})
        self.assertEqual(status, 0, err)
        self.assertEqual(self.left(), ["bin", "m.wav"])

    def test_ffmpeg_without_x264(self):
        env = self.fake_ffmpeg("exit 0\n", encoders="#!/bin/sh\nprintf ' A..... aac  AAC\\n'\nexit 0\n")
        status, err = capture("-s", "64x48", "--to", "1", "-o", "v.mp4", cwd=self.dir, env=env)
        self.assertEqual(status, 1)
        self.assert_one_line(err, "libx264")
        self.assertEqual(self.left(), ["bin"])

    def test_ffmpeg_without_ffv1_for_lossless(self):
        env = self.fake_ffmpeg("exit 0\n")  # libx264 and aac only
        status, err = capture("-s", "64x48", "--to", "1", "--lossless", "-o", "v.mkv", cwd=self.dir, env=env)
        self.assertEqual(status, 1)
        self.assert_one_line(err, "no ffv1 encoder")
        self.assertEqual(self.left(), ["bin"])

    def test_output_that_cannot_be_written(self):
        open(self.path("file"), "w").close()
        os.mkdir(self.path("d.mp4"))
        for args in (["-o", "file/v.mp4"], ["--wav", "file/m.wav"], ["--frames", "file/d"], ["-o", "d.mp4"]):
            status, err = capture("-s", "64x48", "--to", "1", *args, cwd=self.dir)
            self.assertEqual(status, 1, args)
            self.assert_one_line(err, "file" if args[1] != "d.mp4" else "Is a directory")
            self.assertEqual(self.left(), ["d.mp4", "file"], args)
            self.assertEqual(os.listdir(self.path("d.mp4")), [])

    def test_full_disk_while_writing_the_music(self):
        status, err = capture("--wav", "m.wav", cwd=self.dir, limit=1 << 20)
        self.assertEqual(status, 1)
        self.assert_one_line(err, "m.wav", "File too large")
        self.assertEqual(self.left(), [])

    def test_full_disk_while_encoding(self):
        # The 5 s of music (0.9 MB) fit; the video (about 2.7 MB) does not.
        status, err = capture("-s", "320x240", "--from", "60", "--to", "65", "-o", "v.mp4", cwd=self.dir,
                              limit=3 << 19)
        self.assertEqual(status, 1)
        self.assert_one_line(err, "ffmpeg failed")
        self.assertEqual(self.left(), [])

    def test_full_disk_while_writing_stills(self):
        # The first stills, black or nearly, fit in 1000 bytes; the later ones do not.
        status, err = capture("-s", "160x120", "--to", "2", "--frames", "f", cwd=self.dir, limit=1000)
        self.assertEqual(status, 1)
        self.assert_one_line(err, "File too large")
        self.assertNotIn("f/000000.png", err)  # stills were written before, and are gone
        self.assertEqual(self.left(), [])

    def test_encoder_closes_its_pipe(self):
        env = self.fake_ffmpeg("exec 0<&-\n/bin/sleep 1\nexit 0\n")
        status, err = capture("-s", "64x48", "--to", "2", "-o", "v.mp4", cwd=self.dir, env=env)
        self.assertEqual(status, 1)
        self.assert_one_line(err, "Broken pipe")
        self.assertEqual(self.left(), ["bin"])

    def test_encoder_fails_midway(self):
        env = self.fake_ffmpeg("/usr/bin/head -c 100000 >/dev/null\necho 'disk on fire' >&2\nexit 3\n")
        status, err = capture("-s", "64x48", "--to", "2", "-o", "v.mp4", cwd=self.dir, env=env)
        self.assertEqual(status, 1)
        self.assert_one_line(err, "status 3", "disk on fire")
        self.assertEqual(self.left(), ["bin"])

    def test_encoder_killed_by_a_signal_is_named(self):
        env = self.fake_ffmpeg("/usr/bin/head -c 100000 >/dev/null\nkill -9 $$\n")
        status, err = capture("-s", "64x48", "--to", "2", "-o", "v.mp4", cwd=self.dir, env=env)
        self.assertEqual(status, 1)
        self.assert_one_line(err, "ffmpeg failed while encoding (killed by signal 9, SIGKILL)")
        self.assertEqual(self.left(), ["bin"])

    def test_encoder_succeeds_without_a_video(self):
        env = self.fake_ffmpeg("/bin/cat >/dev/null\nexit 0\n")
        status, err = capture("-s", "64x48", "--to", "1", "-o", "v.mp4", cwd=self.dir, env=env)
        self.assertEqual(status, 1)
        self.assert_one_line(err, "without writing the video")
        self.assertEqual(self.left(), ["bin"])

    def test_the_same_file_named_two_ways_is_refused(self):
        os.mkdir(self.path("d"))
        os.symlink("d", self.path("link"))
        with open(self.path("d", "v.mp4"), "wb") as f:
            f.write(b"kept")
        for wav in ("./v.mp4", self.path("d", "v.mp4"), "../link/v.mp4"):
            status, err = capture("-s", "64x48", "--to", "0.1", "-o", "v.mp4", "--wav", wav, cwd=self.path("d"))
            self.assertEqual(status, 2, wav)
            self.assert_one_line(err, "name the same file")
        self.assertEqual(tree(self.dir), {"d/v.mp4": hashlib.sha256(b"kept").hexdigest()[:16]})

    def test_bad_arguments(self):
        for args in (["-r", "120"], ["--from"], ["x.mp4"]):  # each reason: the unit tests
            status, err = capture(*args, cwd=self.dir)
            self.assertEqual(status, 2, args)
            self.assert_one_line(err, "usage: intro-capture")
        self.assertEqual(self.left(), [])

    def test_help(self):
        # On standard output with status 0, nothing on standard error; its first line is the synopsis
        # that a refused argument ends with, and every option the synopsis names is explained.
        status, refused = capture("--bogus", cwd=self.dir)
        self.assertEqual(status, 2)
        synopsis = refused.strip().split("; ")[-1]
        for flag in ("--help", "-h"):
            run = subprocess.run([CAPTURE, "-r", "30", flag, "--bogus"], capture_output=True, text=True)
            self.assertEqual((run.returncode, run.stderr), (0, ""), flag)
            self.assertEqual(run.stdout.splitlines()[0], synopsis)
            options = [w.strip("[]") for w in synopsis.split(" [")[1:]]
            self.assertGreater(len(options), 10)
            for option in options:
                self.assertIn("\n  " + option.split(" ")[0], run.stdout, option)
        self.assertEqual(self.left(), [])


class Streams(Scratch):
    """Outputs that are no plain files: devices, FIFOs, standard output; links; read-only files."""
    STRETCH = ["--from", "10", "--to", "10.05"]

    def reference_wav(self):
        status, err = capture(*self.STRETCH, "--wav", "ref.wav", cwd=self.dir)
        self.assertEqual(status, 0, err)
        with open(self.path("ref.wav"), "rb") as f:
            data = f.read()
        os.unlink(self.path("ref.wav"))
        return data

    def test_a_character_device_is_written_into(self):
        try:
            os.mknod(self.path("mynull"), 0o666 | stat.S_IFCHR, os.makedev(1, 3))
        except PermissionError:
            self.skipTest("mknod needs root")
        status, err = capture(*self.STRETCH, "--wav", "mynull", cwd=self.dir)
        self.assertEqual(status, 0, err)
        self.assertTrue(stat.S_ISCHR(os.lstat(self.path("mynull")).st_mode))
        # A video cannot go into one (it is finished by going back to its start).
        status, err = capture(*self.STRETCH, "-o", "mynull", cwd=self.dir)
        self.assertEqual(status, 2)
        self.assert_one_line(err, "-o mynull: the video cannot go into a device or a FIFO")
        self.assertEqual(self.left(), ["mynull"])

    def test_a_fifo_reader_gets_the_whole_wav(self):
        want = self.reference_wav()
        os.mkfifo(self.path("f.wav"))
        reader = subprocess.Popen(["cat", self.path("f.wav")], stdout=subprocess.PIPE)
        self.addCleanup(lambda: reader.poll() is None and (reader.kill(), reader.wait()))
        status, err = capture(*self.STRETCH, "-s", "64x48", "--wav", "f.wav", "-o", "v.mp4", cwd=self.dir)
        got, _ = reader.communicate(timeout=60)
        self.assertEqual(status, 0, err)
        self.assertEqual(got, want)
        self.assertTrue(stat.S_ISFIFO(os.lstat(self.path("f.wav")).st_mode))
        self.assertEqual(self.left(), ["f.wav", "v.mp4"])  # ffmpeg had a copy of its own, now gone
        self.assertIn("audio", [s["codec_type"] for s in probe(self.path("v.mp4"))["streams"]])

    def test_wav_dash_is_standard_output(self):
        want = self.reference_wav()
        run = subprocess.run([CAPTURE, *self.STRETCH, "--wav", "-"], cwd=self.dir, capture_output=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stdout, want)
        self.assertEqual(self.left(), [])
        self.assertTrue(run.stderr.decode().endswith("the music is on standard output: 0.05 s\n"), run.stderr)
        help_text = subprocess.run([CAPTURE, "--help"], capture_output=True, text=True).stdout
        self.assertRegex(help_text, r"\n  --wav FILE [^\n]*- for standard")

    def test_links_stay_links_for_every_output(self):
        os.mkdir(self.path("d"))
        for name in ("m.wav", "v.mp4"):
            with open(self.path("d", name), "wb") as f:
                f.write(b"old")
            os.symlink(os.path.join("d", name), self.path("l" + name))
        os.mkdir(self.path("d", "f"))
        os.symlink(os.path.join("d", "f"), self.path("lf"))
        for args in (["--wav", "lm.wav", "-o", "lv.mp4"], ["--frames", "lf"]):
            status, err = capture("-s", "64x48", "--to", "0.05", *args, cwd=self.dir)
            self.assertEqual(status, 0, err)
        for link in ("lm.wav", "lv.mp4", "lf"):
            self.assertTrue(os.path.islink(self.path(link)), link)
        self.assertEqual(len(wav_body(self.path("d", "m.wav"))[1]), ceil_div(3 * RATE, 60) * 4)
        self.assertEqual(probe(self.path("d", "v.mp4"))["streams"][0]["nb_read_frames"], "3")
        self.assertEqual(sorted(os.listdir(self.path("d", "f"))), ["000000.png", "000001.png", "000002.png"])
        self.assertEqual(sorted(os.listdir(self.path("d"))), ["f", "m.wav", "v.mp4"])
        self.assertEqual(self.left(), ["d", "lf", "lm.wav", "lv.mp4"])

    def test_a_read_only_output_is_refused(self):
        with open(self.path("v.mp4"), "wb") as f:
            f.write(b"mine")
        os.symlink("v.mp4", self.path("link.mp4"))
        os.mkdir(self.path("f"))
        os.chmod(self.path("v.mp4"), 0o444)
        os.chmod(self.path("f"), 0o555)
        before = tree(self.dir)
        for args in (["-o", "v.mp4"], ["-o", "link.mp4"], ["--wav", "v.mp4"], ["--frames", "f"]):
            status, err = capture("-s", "64x48", "--to", "0.05", *args, cwd=self.dir)
            self.assertEqual(status, 1, args)
            self.assert_one_line(err, "read-only")
        self.assertEqual(tree(self.dir), before)
        self.assertEqual(self.left(), ["f", "link.mp4", "v.mp4"])
        self.assertEqual(os.stat(self.path("v.mp4")).st_mode & 0o777, 0o444)

    def test_wav_inside_the_stills_folder_is_refused(self):
        for made in (False, True):
            if made:
                os.mkdir(self.path("st"))
            status, err = capture("-s", "64x48", "--to", "0.05", "--frames", "st", "--wav", "st/m.wav", cwd=self.dir)
            self.assertEqual(status, 2)
            self.assert_one_line(err, "--wav st/m.wav lies in the stills folder --frames st, which is replaced whole")
            self.assertEqual(self.left(), ["st"] if made else [])

    def test_another_user(self):
        # As nobody: /dev/null is written into, and a folder it may not write is named as the reason.
        nobody = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
        try:
            can = subprocess.run([*nobody, CAPTURE, "--help"], cwd="/", capture_output=True, timeout=60).returncode == 0
        except OSError:
            can = False
        if not can:
            self.skipTest("cannot run intro-capture as nobody here")
        run = subprocess.run([*nobody, CAPTURE, *self.STRETCH, "--wav", "/dev/null"], cwd="/", capture_output=True,
                             text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertTrue(stat.S_ISCHR(os.stat("/dev/null").st_mode))
        run = subprocess.run([*nobody, CAPTURE, *self.STRETCH, "--wav", "/vintelo-capture-test.wav"], cwd="/",
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 1)
        self.assert_one_line(run.stderr, "no permission to create files in /")
        self.assertFalse(os.path.exists("/vintelo-capture-test.wav"))


class Interrupt(Scratch):
    def start(self, *args, **kw):
        """Starts intro-capture (or, with shell, a shell command) and returns once it reports its
        first tenth: the capture is under way."""
        cmd = ["bash", "-c", kw["shell"]] if "shell" in kw else [CAPTURE, *args]
        proc = subprocess.Popen(cmd, cwd=self.dir, stderr=subprocess.PIPE, text=True, start_new_session=True)
        self.addCleanup(self.end, proc)
        first = proc.stderr.readline()
        self.assertIn("10%", first)
        return proc

    def end(self, proc):
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
        proc.stderr.close()

    def test_ctrl_c_stops_and_removes_the_partial_video(self):
        proc = self.start("-s", "320x240", "--from", "50", "--to", "60", "-o", "v.mp4")
        proc.send_signal(signal.SIGINT)
        status = proc.wait(60)
        self.assertEqual(status, -signal.SIGINT)  # dies by the signal, after cleaning up
        self.assert_one_line(proc.stderr.read(), "stopped", "v.mp4")
        self.assertEqual(self.left(), [])
        self.assertEqual(self.running_here(), [], "ffmpeg outlived the capture")

    def test_a_stop_leaves_earlier_stills_as_they_were(self):
        status, err = capture("-s", "64x48", "--from", "1", "--to", "3", "--frames", "f", cwd=self.dir)
        self.assertEqual(status, 0, err)
        before = tree(self.dir)
        self.assertEqual(len(before), 120)
        for sig in (signal.SIGTERM, signal.SIGHUP):
            proc = self.start("-s", "320x240", "--from", "40", "--to", "50", "--frames", "f")
            proc.send_signal(sig)
            status = proc.wait(60)
            self.assertEqual(tree(self.dir), before)  # nothing removed or changed, no hidden folder left
            self.assertEqual(status, -sig)

    def test_ctrl_c_stops_a_shell_loop(self):
        # Ctrl+C reaches the terminal's whole foreground group: the shell and the capture. The shell
        # stops the loop only if the capture dies by the signal, as it does for any other program.
        proc = self.start(shell=f"for s in 50 60 70; do echo $s >> started; {CAPTURE} -s 320x240 --from $s "
                                f"--to $((s + 5)) -o c$s.mp4; done")
        os.killpg(proc.pid, signal.SIGINT)
        self.assertEqual(proc.wait(60), -signal.SIGINT)
        with open(self.path("started")) as f:
            self.assertEqual(f.read(), "50\n", "the loop went on")
        self.assertEqual(self.left(), ["started"])

    def running_here(self):
        """Processes whose command line names the scratch directory (ffmpeg writing there)."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    if self.dir.encode() in f.read():
                        found.append(pid)
            except OSError:
                pass
        return found


class Progress(Scratch):
    def bar(self, columns):
        """intro-capture's output on a terminal of that many columns."""
        pid, fd = pty.fork()
        if pid == 0:
            os.chdir(self.dir)
            os.execv(CAPTURE, [CAPTURE, "-s", "64x48", "--to", "2", "--frames", "f"])
        fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
        out = b""
        while True:
            ready, _, _ = select.select([fd], [], [], 60)
            if not ready:
                break
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            out += chunk
        _, st = os.waitpid(pid, 0)
        os.close(fd)
        self.assertEqual(os.waitstatus_to_exitcode(st), 0, out)
        return out.decode()

    def test_bar_on_a_terminal(self):
        text = self.bar(120)
        self.assertIn("\r[", text)
        self.assertIn("] 120/120 frames 100%", text)
        self.assertIn("ETA 0:00", text)
        self.assertIn("x real time", text)
        # The finished bar keeps its line; the closing word comes on the next one.
        self.assertRegex(text, r"100%[^\r\n]*\r?\nintro-capture: stills in ")

    def test_bar_fits_a_narrow_terminal(self):
        text = self.bar(50)
        bars = [b.replace("\x1b[K", "") for b in text.split("\r") if "%" in b and "intro-capture:" not in b]
        self.assertTrue(bars, text)
        for b in bars:
            self.assertLess(len(b.rstrip("\n")), 50, b)
            self.assertIn("ETA", b)
        self.assertIn("120/120 frames 100%  ETA 0:00", bars[-1])


class RunIntro(Scratch):
    """scripts/run-intro, which `make run` calls: the intro on a display, the capture without one."""
    SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "run-intro")

    def run_with(self, display, then="exit 0", status=0):
        for name in ("intro-port", "intro-capture"):
            with open(self.path(name), "w") as f:
                f.write(f'#!/bin/sh\necho "{name} $*" > "{self.path("ran")}"\n{then}\n')
            os.chmod(self.path(name), 0o755)
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        if display:
            env["DISPLAY"] = display
        run = subprocess.run([self.SCRIPT, self.path("intro-port")], env=env, capture_output=True, text=True,
                             timeout=60)
        self.assertEqual(run.returncode, status, run.stderr)
        return open(self.path("ran")).read().strip(), run.stderr

    def test_without_a_display_it_captures(self):
        ran, err = self.run_with(None)
        self.assertEqual(ran, "intro-capture -o vintelo.mp4")
        lines = err.splitlines()
        self.assertEqual(len(lines), 2, err)
        # First what it is about to do and for about how long, last how to watch the file.
        self.assertRegex(lines[0], r"^run-intro: no display; recording .* to vintelo.mp4 .*: about \d+ minutes")
        self.assertRegex(lines[1], r"^run-intro: to watch it, .*mpv vintelo.mp4")

    def test_a_failed_or_stopped_capture_gives_no_hint_and_its_status(self):
        _, err = self.run_with(None, then="exit 1", status=1)
        self.assertNotIn("to watch it", err)
        _, err = self.run_with(None, then="kill -INT $$", status=-signal.SIGINT)  # Ctrl+C: the script too
        self.assertNotIn("to watch it", err)

    def test_with_a_display_that_does_not_answer_it_captures(self):
        ran, err = self.run_with(":65000")  # no X server has this number: Xvfb -displayfd counts up from 0
        self.assertEqual(ran, "intro-capture -o vintelo.mp4")
        self.assertIn(":65000 does not answer", err)

    def test_with_a_display_it_plays(self):
        with XServer() as x:
            ran, err = self.run_with(x.display)
        self.assertEqual(ran, "intro-port -w")
        self.assertEqual(err, "")


if __name__ == "__main__":
    unittest.main()
