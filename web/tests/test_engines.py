"""vintelo.html in Firefox ESR (over WebDriver BiDi) and in WebKitGTK's MiniBrowser (through its
WebDriver), each on a virtual display of its own and playing into a PulseAudio null sink: loading,
the gesture, the picture on the sound's moment, the samples, the stills, the end by a key and the
failure paths each engine can show. A suite shares one browser; every test loads the page afresh
and takes away what it added to it."""
import hashlib
import json
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.webkitgtk.options import Options
from selenium.webdriver.webkitgtk.service import Service

import engines
from test_page import COMPARE, PAGE_HASH, Stills, until

HTML = os.environ["VINTELO_HTML"]
BOUND = engines.BOUND
FRAME_MS = 1000 / 60  # one frame of the display

# Before the page's own script: where and when the song's source node was started, so a test can
# work out the playing position from the AudioContext alone.
PROBE = """
(function () {
  var start = AudioBufferSourceNode.prototype.start;
  AudioBufferSourceNode.prototype.start = function (when, offset) {
    window.__source = {ctx: this.context, at: Math.max(when || 0, this.context.currentTime), offset: offset || 0};
    return start.apply(this, arguments);
  };
})();
"""
# The playing position, ms, at the context time the page drew its latest frame from (WebKit's
# clock moves on while the page draws), less the latency the context reports; read in the
# animation frame right after the page's own (the page's callback was registered first).
POSITION = """
const done = arguments[arguments.length - 1];
requestAnimationFrame(() => {
  const s = window.__source, c = s.ctx, lag = (c.outputLatency || 0) + (c.baseLatency || 0);
  done([vintelo.t, (vintelo.drawn_clock - s.at + s.offset - lag) * 1000, lag * 1000]);
});
"""
# WebKit's console cannot be read over WebDriver: the page records its console errors and
# uncaught errors itself.
RECORD = """
window.__errors = [];
(function () {
  var error = console.error;
  console.error = function () { __errors.push(Array.prototype.join.call(arguments, ' ')); return error.apply(console, arguments); };
  addEventListener('error', function (e) { __errors.push('Uncaught ' + e.message); });
  addEventListener('unhandledrejection', function (e) { __errors.push('Uncaught (in promise) ' + e.reason); });
})();
"""
NO_WEBGL = """
(function () {
  var get = HTMLCanvasElement.prototype.getContext;
  HTMLCanvasElement.prototype.getContext = function (t) { return /webgl/.test(t) ? null : get.apply(this, arguments); };
})();
"""
NO_WEBAUDIO = "delete window.AudioContext; delete window.webkitAudioContext;"

_native = {}


def native_hash(program, n):
    if (program, n) not in _native:
        out = subprocess.run([program, str(n)], check=True, capture_output=True).stdout
        _native[program, n] = hashlib.sha256(out).hexdigest()
    return _native[program, n]


class FirefoxPage:
    """The page in Firefox: before-load scripts, console entries and trusted input over BiDi."""

    def __init__(self, display, pulse):
        self.f = engines.Firefox(display, pulse)
        self.b, self.ctx = self.f.b, self.f.context
        self.b.cmd("browsingContext.setViewport", context=self.ctx,
                   viewport={"width": 800, "height": 600}, devicePixelRatio=1)
        self.b.cmd("script.addPreloadScript", functionDeclaration="() => {" + PROBE + "}")
        self.extra = []

    def warm_sound(self):
        """Opens the sound device once on a blank page: Firefox's first stream (its audio server
        and the connection to PulseAudio) can take more than the second the page waits for the
        sound on a loaded machine, later ones do not."""
        self.get("about:blank")
        self.js("(window.ac = new AudioContext(), addEventListener('click', () => ac.resume()), 0)")
        self.click()
        engines.until(lambda: self.js("ac.state == 'running' && ac.currentTime > 0"), "sound from a blank page")
        self.js("ac.close()")

    def before_load(self, script):
        r = self.b.cmd("script.addPreloadScript", functionDeclaration="() => {" + script + "}")
        self.extra.append(r["script"])

    def reset(self):
        for s in self.extra:
            self.b.cmd("script.removePreloadScript", script=s)
        self.extra = []

    def get(self, url):
        self.b.events.clear()
        self.b.cmd("browsingContext.navigate", context=self.ctx, url=url, wait="complete")

    def run(self, body, *args):
        """body as a WebDriver async script: its last argument is the callback with the result."""
        expr = (f"new Promise(done => (function () {{ {body} }}).apply(null, {json.dumps(args)}.concat([done])))"
                ".then(v => JSON.stringify(v === undefined ? null : v))")
        r = self.b.cmd("script.evaluate", expression=expr, target={"context": self.ctx}, awaitPromise=True)
        if r["type"] == "exception":
            raise AssertionError("in the page: " + r["exceptionDetails"]["text"])
        return json.loads(r["result"]["value"])

    def js(self, expr):
        return self.run(f"arguments[0]({expr})")

    def click(self, kind="mouse"):
        self.b.cmd("input.performActions", context=self.ctx, actions=[
            {"type": "pointer", "id": kind, "parameters": {"pointerType": kind}, "actions": [
                {"type": "pointerMove", "x": 400, "y": 300},
                {"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0}]}])
        self.b.cmd("input.releaseActions", context=self.ctx)

    def key(self, k):
        self.b.cmd("input.performActions", context=self.ctx, actions=[
            {"type": "key", "id": "keys", "actions": [{"type": "keyDown", "value": k}, {"type": "keyUp", "value": k}]}])

    def console(self, level="error"):
        self.js("0")  # entries logged before this answer have arrived
        return [e["text"] for e in self.b.events.get("log.entryAdded", []) if e["level"] == level]

    def errors(self):
        return self.console("error")

    def close(self):
        self.f.close()


class WebKitPage:
    """The page in MiniBrowser: the HTTP server puts the recorder (and a failure path's changes)
    at the top of the page's <head>."""

    def __init__(self, display, pulse, server):
        self.server = server
        # Without a server of the test's, one that is not there (not the desktop's).
        env = dict(os.environ, DISPLAY=display,
                   PULSE_SERVER=pulse or "unix:" + os.path.join(server.root, "no-sound-server"))
        self.service = Service("/usr/bin/WebKitWebDriver", env=env,
                               popen_kw={"preexec_fn": engines.orphan_guard})
        self.service.start()
        try:
            o = Options()
            o.binary_location = engines.MINIBROWSER
            o.add_argument("--automation")
            self.d = webdriver.Remote(self.service.service_url, options=o)
            self.d.set_script_timeout(BOUND)
            self.d.set_window_rect(0, 0, 800, 600 + 38)  # the toolbar takes 38 px
        except Exception:
            self.service.stop()
            raise
        self.reset()

    def before_load(self, script):
        self.server.set_head(self.server.handler.head + script)

    def reset(self):
        self.server.set_head(PROBE + RECORD)

    def get(self, url):
        self.d.get(url)

    def run(self, body, *args):
        return self.d.execute_async_script(body, *args)

    def js(self, expr):
        return self.d.execute_script("return " + expr)

    def click(self, kind="mouse"):
        ActionChains(self.d).move_to_element(self.d.find_element("id", "c")).click().perform()

    def key(self, k):
        ActionChains(self.d).send_keys(k).perform()

    def errors(self):
        return self.js("window.__errors")

    def close(self):
        try:
            self.d.quit()
        finally:
            self.service.stop()


class Engine:
    """The tests, the same in each engine; a subclass starts the browser (cls.page)."""
    pulse = True

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="vintelo-engines-")
        shutil.copy(HTML, cls.root)
        cls.stop = []
        try:
            cls.server = engines.Server(cls.root)
            cls.stop.append(cls.server.close)
            x = engines.Xvfb()
            cls.stop.append(x.close)
            sound = None
            if cls.pulse:
                p = engines.Pulse()
                cls.stop.append(p.close)
                sound = p.server
            t = time.monotonic()
            cls.page = cls.start(x.display, sound)
            cls.stop.append(cls.page.close)
            print(f"{cls.__name__}: browser up in {time.monotonic() - t:.1f} s")
        except Exception:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        for close in reversed(cls.stop):
            close()
        shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self.addCleanup(self.page.reset)

    def js(self, expr):
        return self.page.js(expr)

    def until(self, expr, what):
        return until(self.js, expr, what, BOUND)

    def open(self, query=""):
        self.page.get(self.server.url(query))
        return self.until("vintelo.state != 'loading' && vintelo.state", "start")

    def message(self):
        return self.js("document.getElementById('m').textContent")

    def start_show(self, kind="mouse"):
        """A click or tap on the page, then the picture on the sound's clock. A device that opens
        later than the page waits for (a second) makes it offer the show without sound first; the
        sound, once it starts, plays the show all the same."""
        self.page.click(kind)
        self.until("vintelo.state == 'playing' && vintelo.audio() == 'running' && vintelo.t > 0", "picture")
        self.assertFalse(self.js("vintelo.silent"))

    def assert_failed_with(self, words):
        self.assertEqual(self.open(), "failed")
        msg = self.message()
        self.assertIn(words, msg)
        errors = self.page.errors()
        self.assertTrue(any(msg in e for e in errors), errors)  # said on the console too
        self.assertFalse([e for e in errors if "Uncaught" in e], errors)


class Show(Engine):
    def test_loads_without_console_errors(self):
        self.assertEqual(self.open(), "ready")
        self.assertEqual(self.message(), "click to start")
        self.assertIn(self.js("vintelo.webgl"), (1, 2))
        print(f"load to 'click to start': {self.js('vintelo.shown_ms'):.0f} ms")
        self.assertEqual(self.page.errors(), [])

    def test_a_click_starts_sound_and_picture_drawn_at_the_sound_s_moment(self):
        self.open()
        self.start_show()
        print(f"click to first frame: {self.js('vintelo.first_frame_ms'):.0f} ms")
        # The drawn moment is the AudioContext's playing position less its latency, at moments
        # half a second of music apart, and it moves with the audio clock.
        moments = []
        for k in range(4):
            c = self.js("vintelo.clock()")
            self.until(f"vintelo.clock() > {c} + 0.5", "half a second of music")
            t, pos, lag = self.page.run(POSITION)
            print(f"drawn {t} ms, sound at {pos:.1f} ms (latency {lag:.1f} ms)")
            moments.append((t, pos))
        for t, pos in moments:
            self.assertAlmostEqual(t, pos, delta=FRAME_MS)
        steps = [b[0] - a[0] for a, b in zip(moments, moments[1:])]
        self.assertTrue(all(s >= 500 - FRAME_MS for s in steps), steps)
        self.assertEqual(self.page.errors(), [])

    def test_a_key_ends_the_show(self):
        self.open()
        self.start_show()
        self.until("vintelo.t > 200", "picture")
        self.page.key("q")
        self.until("vintelo.state == 'ended'", "end")
        self.assertEqual(self.message(), "play again")
        self.assertFalse(self.js("vintelo.playing"))
        self.assertEqual(self.page.errors(), [])

    def check_samples(self, query, program, channels):
        self.assertEqual(self.open(query), "ready")
        n, ch, page = self.page.run(PAGE_HASH)
        self.assertEqual(ch, channels)
        self.assertGreaterEqual(n, 116 * 44100)
        self.assertEqual(page, native_hash(program, n))

    def test_port_samples_equal_the_native_render(self):
        self.check_samples("", os.environ["RENDER_PORT"], 2)

    def test_tiny_samples_equal_the_native_render(self):
        self.check_samples("?synth=tiny", os.environ["RENDER_TINY"], 1)

    def test_stills_match_the_capture(self):
        for ms in Stills.MOMENTS:
            d = os.path.join(self.root, str(ms))
            subprocess.run([os.environ["INTRO_CAPTURE"], "-s", "800x600", "--from", str(ms / 1000),
                            "--to", str((ms + 17) / 1000), "--frames", d], check=True, capture_output=True)
            with self.subTest(ms=ms):
                self.assertEqual(self.open(f"?at={ms}"), "still")
                near, mean, lit = self.page.run(COMPARE, Stills.TOL, f"{ms}/000000.png", "")
                print(f"{ms} ms: {near:.4f} of the lit pixels within {Stills.TOL} levels, mean difference {mean:.3f}, {lit:.3f} lit")
                self.assertGreater(lit, 0.02)
                self.assertGreaterEqual(near, Stills.SHARE)
                flipped = self.page.run(COMPARE, Stills.TOL, f"{ms}/000000.png", "flip")[0]
                self.assertLess(flipped, Stills.SHARE)  # the comparison tells pictures apart here too

    def test_without_webgl_says_so(self):
        self.page.before_load(NO_WEBGL)
        self.assert_failed_with("WebGL is not available")
        self.assertEqual(self.js("vintelo.webgl"), 0)

    def test_without_web_audio_says_so(self):
        self.page.before_load(NO_WEBAUDIO)
        self.assert_failed_with("Web Audio is not available")


# The drawn moment and the page's own clock, ms, in the animation frame right after the page's.
OWN_CLOCK = """
const done = arguments[arguments.length - 1];
requestAnimationFrame(() => done([vintelo.t, performance.now()]));
"""


class FirefoxNoSound(Engine, unittest.TestCase):
    """Firefox with no sound server to play to: its AudioContext never starts."""
    pulse = False

    @classmethod
    def start(cls, display, pulse):
        return FirefoxPage(display, pulse)

    def test_says_the_sound_could_not_start_and_plays_silently_on_the_next_click(self):
        self.assertEqual(self.open(), "ready")
        self.page.click()
        self.until("document.getElementById('m').textContent.includes('could not start')", "message")
        msg = self.message()
        self.assertIn("The sound could not start", msg)
        self.assertIn("click to watch without sound", msg)
        said = [e for level in ("error", "warn", "info", "debug") for e in self.page.console(level)]
        self.assertTrue(any(msg in e for e in said), said)  # said on the console too
        self.assertEqual(self.js("[vintelo.state, vintelo.playing]"), ["nosound", False])
        self.assertNotEqual(self.js("vintelo.audio()"), "running")
        self.page.click()
        self.until("vintelo.state == 'playing' && vintelo.t > 0", "silent picture")
        # The picture runs on the page's own clock: the drawn moment moves as performance.now().
        t1, n1 = self.page.run(OWN_CLOCK)
        self.until(f"vintelo.t > {t1} + 1000", "a second of picture")
        t2, n2 = self.page.run(OWN_CLOCK)
        self.assertAlmostEqual(t2 - t1, n2 - n1, delta=FRAME_MS)
        self.assertTrue(self.js("vintelo.silent"))
        self.assertNotEqual(self.js("vintelo.audio()"), "running")
        self.page.key("q")
        self.until("vintelo.state == 'ended'", "end")
        self.assertFalse([e for e in self.page.errors() if msg not in e])


class Firefox(Show, unittest.TestCase):
    @classmethod
    def start(cls, display, pulse):
        page = FirefoxPage(display, pulse)
        t = time.monotonic()
        page.warm_sound()
        print(f"Firefox: the first sound started in {time.monotonic() - t:.1f} s")
        return page


    def test_a_tap_starts_sound_and_picture(self):
        # A touch, under the browser's own autoplay policy (the context is made suspended).
        self.assertEqual(self.open(), "ready")
        self.start_show("touch")
        self.assertEqual(self.page.errors(), [])


class WebKit(Show, unittest.TestCase):
    # Without a sound server WebKit's audio clock runs from the start; on a PulseAudio null sink
    # it stands for about 2 s first, which the page takes for a sound that stopped.
    pulse = False

    @classmethod
    def start(cls, display, pulse):
        return WebKitPage(display, pulse, cls.server)


if __name__ == "__main__":
    unittest.main()
