"""Headless Chromium from Debian's archive, driven over its DevTools pipe.

The pipe needs no WebSocket client and no package beyond Python: Chromium reads commands from
file descriptor 3 and writes answers and events to descriptor 4, one JSON text each, ended by a
NUL byte. Used by the replay page's browser checks, its screenshot and its measurements.
"""
import json
import os
import queue
import shutil
import subprocess
import tempfile
import threading
import time

# Without the networking switches Chromium tries to reach its vendor's services at every start.
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--hide-scrollbars", "--mute-audio"]


class Unavailable(Exception):
    """Chromium is not installed or does not start."""


class BrowserError(Exception):
    pass


def find_chromium():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    return None


class Browser:
    def __init__(self, width=1400, height=1000, timeout=30):
        chromium = find_chromium()
        if chromium is None:
            raise Unavailable("no chromium on the search path (tools/setup.sh browser installs it)")
        self.profile = tempfile.mkdtemp(prefix="talvik-chromium.")
        to_browser_r, self._to_browser = os.pipe()
        self._from_browser, from_browser_w = os.pipe()

        def descriptors():
            # Copies first: either end may already sit at 3 or 4.
            read_end, write_end = os.dup(to_browser_r), os.dup(from_browser_w)
            os.dup2(read_end, 3)
            os.dup2(write_end, 4)

        self.process = subprocess.Popen(
            [chromium, *FLAGS, "--remote-debugging-pipe", f"--user-data-dir={self.profile}",
             f"--window-size={width},{height}", "about:blank"],
            preexec_fn=descriptors, pass_fds=(3, 4),
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.timeout = timeout
        self._next_id = 0
        self._answers = {}
        self._events = queue.Queue()
        self._lock = threading.Condition()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        try:
            self.version = self.send("Browser.getVersion", timeout=timeout)["product"]
        except BrowserError as e:
            self.close()
            raise Unavailable(f"chromium does not start: {e}") from e

    def _read(self):
        pending = b""
        while True:
            try:
                chunk = os.read(self._from_browser, 1 << 16)
            except OSError:
                chunk = b""
            if not chunk:
                with self._lock:
                    self._answers[None] = "closed"
                    self._lock.notify_all()
                return
            pending += chunk
            *messages, pending = pending.split(b"\0")
            for raw in messages:
                message = json.loads(raw)
                if "id" in message:
                    with self._lock:
                        self._answers[message["id"]] = message
                        self._lock.notify_all()
                else:
                    self._events.put(message)

    def send(self, method, params=None, session=None, timeout=None):
        with self._lock:
            self._next_id += 1
            ident = self._next_id
        message = {"id": ident, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        try:
            os.write(self._to_browser, json.dumps(message).encode() + b"\0")
        except OSError as e:
            raise BrowserError(f"{method}: the browser is gone ({e})") from e
        deadline = time.monotonic() + (timeout or self.timeout)
        with self._lock:
            while ident not in self._answers:
                left = deadline - time.monotonic()
                if None in self._answers or left <= 0:
                    raise BrowserError(f"{method}: no answer from the browser")
                self._lock.wait(left)
            answer = self._answers.pop(ident)
        if "error" in answer:
            raise BrowserError(f"{method}: {answer['error'].get('message')}")
        return answer.get("result", {})

    def events(self):
        """The events that have arrived since the last call."""
        out = []
        while True:
            try:
                out.append(self._events.get_nowait())
            except queue.Empty:
                return out

    def page(self):
        return Page(self)

    def close(self):
        try:
            os.close(self._to_browser)
        except OSError:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


class Page:
    """One tab; records what a test must see empty: console errors, exceptions, requests."""

    def __init__(self, browser):
        self.browser = browser
        target = browser.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = browser.send("Target.attachToTarget",
                                    {"targetId": target, "flatten": True})["sessionId"]
        self.problems = []
        self.requests = []
        self.loaded = False
        for domain in ("Page", "Runtime", "Log", "Network"):
            self.send(f"{domain}.enable")

    def send(self, method, params=None):
        result = self.browser.send(method, params, session=self.session)
        self.poll()
        return result

    def poll(self):
        for event in self.browser.events():
            if event.get("sessionId") != self.session:
                continue
            method, params = event["method"], event.get("params", {})
            if method == "Runtime.consoleAPICalled" and params["type"] in ("error", "warning", "assert"):
                text = " ".join(str(a.get("value", a.get("description", ""))) for a in params["args"])
                self.problems.append(f"console {params['type']}: {text}")
            elif method == "Runtime.exceptionThrown":
                details = params["exceptionDetails"]
                text = details.get("exception", {}).get("description", details.get("text"))
                self.problems.append(f"exception: {text}")
            elif method == "Log.entryAdded" and params["entry"]["level"] in ("error", "warning"):
                self.problems.append(f"log {params['entry']['level']}: {params['entry']['text']}")
            elif method == "Network.requestWillBeSent":
                self.requests.append(params["request"]["url"])
            elif method == "Page.loadEventFired":
                self.loaded = True

    def goto(self, url):
        self.loaded = False
        self.send("Page.navigate", {"url": url})
        deadline = time.monotonic() + self.browser.timeout
        while not self.loaded:
            if time.monotonic() > deadline:
                raise BrowserError(f"{url} did not load")
            time.sleep(0.01)
            self.poll()

    def eval(self, expression):
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True})
        if "exceptionDetails" in result:
            raise BrowserError(f"{expression[:60]}...: {result['exceptionDetails'].get('text')}")
        return result["result"].get("value")

    def wait_for(self, expression, timeout=10):
        deadline = time.monotonic() + timeout
        while not self.eval(expression):
            if time.monotonic() > deadline:
                raise BrowserError(f"timed out waiting for {expression}")
            time.sleep(0.02)

    def key(self, key, code=None, shift=False):
        """A key press as the keyboard sends it."""
        params = {"key": key, "code": code or key, "modifiers": 8 if shift else 0}
        if len(key) == 1:
            params["text"] = key
        names = {"ArrowLeft": 37, "ArrowUp": 38, "ArrowRight": 39, "ArrowDown": 40,
                 "Home": 36, "End": 35, " ": 32}
        params["windowsVirtualKeyCode"] = names.get(key, 0)
        self.send("Input.dispatchKeyEvent", {"type": "keyDown", **params})
        self.send("Input.dispatchKeyEvent", {"type": "keyUp", **params})

    def screenshot(self, path):
        import base64
        data = self.send("Page.captureScreenshot", {"format": "png"})["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))
