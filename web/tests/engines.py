"""The servers the page's tests in Firefox ESR and WebKitGTK need, each started on a display, port
or socket of its own and stopped by its process id: Xvfb, a PulseAudio null sink, the page's HTTP
server (which can put a script at the top of the page's <head>), Firefox over WebDriver BiDi and
WebKitGTK's MiniBrowser through its WebDriver."""
import ctypes
import http.server
import io
import os
import re
import shutil
import signal
import subprocess
import tempfile
import threading
import time

from bidi import Bidi

BOUND = 60  # s: a server not up by then hangs
MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"


def until(probe, what, bound=BOUND):
    end = time.monotonic() + bound
    while time.monotonic() < end:
        v = probe()
        if v:
            return v
        time.sleep(0.05)
    raise AssertionError(f"no {what} within {bound} s")


def orphan_guard():
    """Run in a child before it starts: it gets SIGTERM when the test process ends however it
    ends (ctest kills a test that overruns), so no server outlives its test."""
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # 1: PR_SET_PDEATHSIG


def stop(p):
    if p.poll() is None:
        p.terminate()
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()


class Xvfb:
    """A virtual display on the first free number (Xvfb picks it and writes it to a pipe)."""

    def __init__(self):
        r, w = os.pipe()
        self.p = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24",
                                   "-nolisten", "tcp"], pass_fds=(w,), preexec_fn=orphan_guard,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            n = f.readline().strip()
        if not n:
            stop(self.p)
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + n

    def close(self):
        stop(self.p)


class Pulse:
    """A PulseAudio server with one null sink, answering only on a socket in its own folder."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="vintelo-pulse-")
        sock = os.path.join(self.dir, "native")
        env = dict(os.environ, HOME=self.dir, XDG_RUNTIME_DIR=self.dir, XDG_CONFIG_HOME=self.dir)
        env.pop("PULSE_SERVER", None)
        self.p = subprocess.Popen(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
             "--disable-shm=yes", "--log-target=stderr",
             "-L", f"module-native-protocol-unix socket={sock} auth-anonymous=1",
             "-L", "module-null-sink sink_name=vintelo",
             "-L", "module-always-sink"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, preexec_fn=orphan_guard)
        self.server = "unix:" + sock
        until(lambda: os.path.exists(sock) or self.p.poll() is not None, "PulseAudio socket")
        if self.p.poll() is not None:
            self.close()
            raise RuntimeError("PulseAudio did not start")

    def close(self):
        stop(self.p)
        shutil.rmtree(self.dir, ignore_errors=True)


class Page(http.server.SimpleHTTPRequestHandler):
    """Serves the folder; a script given to the server goes first in vintelo.html's <head>."""
    head = ""

    def log_message(self, *args):
        pass

    def send_head(self):
        if not self.head or not self.path.split("?")[0].endswith(".html"):
            return super().send_head()
        path = self.translate_path(self.path.split("?")[0])
        try:
            with open(path, "rb") as f:
                body = f.read()
        except OSError:
            self.send_error(404)
            return None
        if b"<head>" not in body:
            self.send_error(500, "no <head> to put the script in")
            return None
        body = body.replace(b"<head>", b"<head><script>" + self.head.encode() + b"</script>", 1)
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        return io.BytesIO(body)


class Server:
    """The folder over HTTP on 127.0.0.1, on a port the system picks."""

    def __init__(self, root):
        self.root = root
        handler = type("Handler", (Page,), {})
        self.handler = handler
        self.httpd = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), lambda *a, **k: handler(*a, directory=root, **k))
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def set_head(self, script):
        self.handler.head = script

    def url(self, query=""):
        return f"http://127.0.0.1:{self.httpd.server_address[1]}/vintelo.html{query}"

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


# A fresh profile's first-run work, and services that would reach for the network.
PREFS = (("browser.shell.checkDefaultBrowser", "false"), ("browser.startup.page", "0"),
         ("browser.startup.homepage_override.mstone", '"ignore"'),
         ("datareporting.policy.dataSubmissionEnabled", "false"),
         ("toolkit.telemetry.reportingpolicy.firstRun", "false"),
         ("network.captive-portal-service.enabled", "false"),
         ("network.connectivity-service.enabled", "false"),
         ("browser.safebrowsing.update.enabled", "false"), ("extensions.update.enabled", "false"),
         ("app.update.auto", "false"), ("browser.region.network.url", '""'),
         ("services.settings.server", '"data:,#remote-settings-dummy/v1"'),
         ("extensions.getAddons.cache.enabled", "false"), ("browser.newtabpage.enabled", "false"))


class Firefox:
    """Headless Firefox ESR on the display, with a fresh profile, driven over WebDriver BiDi on a
    port it picks itself (--remote-debugging-port=0, read back from its output)."""

    def __init__(self, display, pulse_server):
        self.profile = tempfile.mkdtemp(prefix="vintelo-firefox-")
        self.log = os.path.join(self.profile, "stderr")
        with open(os.path.join(self.profile, "user.js"), "w") as f:
            f.write("".join(f'user_pref("{k}", {v});\n' for k, v in PREFS))
        env = dict(os.environ, DISPLAY=display, MOZ_CRASHREPORTER_DISABLE="1", HOME=self.profile)
        # Without a server of the test's, one that is not there: no sound server to find.
        env["PULSE_SERVER"] = pulse_server or "unix:" + os.path.join(self.profile, "none")
        with open(self.log, "wb") as err:
            self.p = subprocess.Popen(["firefox-esr", "--headless", "--no-remote", "--remote-debugging-port=0",
                                       "--profile", self.profile, "about:blank"],
                                      env=env, stdout=err, stderr=err, preexec_fn=orphan_guard)
        try:
            url = until(self.listening, "WebDriver BiDi from Firefox")
            self.b = Bidi(url + "/session", BOUND)
            self.b.cmd("session.new", capabilities={})
            self.b.cmd("session.subscribe", events=["log.entryAdded"])
            self.context = self.b.cmd("browsingContext.getTree")["contexts"][0]["context"]
        except Exception:
            self.close()
            raise

    def listening(self):
        with open(self.log, errors="replace") as f:
            out = f.read()
        if self.p.poll() is not None:
            raise RuntimeError("Firefox ended: " + out[-2000:])
        m = re.search(r"WebDriver BiDi listening on (ws://[0-9.:]+)", out)
        return m and m.group(1)

    def close(self):
        if hasattr(self, "b"):
            self.b.close()
        stop(self.p)
        shutil.rmtree(self.profile, ignore_errors=True)
