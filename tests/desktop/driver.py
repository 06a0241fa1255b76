"""The program in a process of its own, in a private world (runtime
directory, settings, TEMP), driven through the display's automation socket:
the process connects when it makes its first window and waits for "go";
then each request is a line, answered by lines ending with ".".
"""
import ctypes
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time


def _die_with_parent():
    # The program goes when the test process goes, killed on a time-out
    # included: PR_SET_PDEATHSIG.
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)


class Program:
    def __init__(self, path, env=None):
        self.path = path
        self.scratch = tempfile.mkdtemp(prefix="tapeloom-desktop-")
        run = os.path.join(self.scratch, "run")
        os.mkdir(run, 0o700)
        os.mkdir(os.path.join(self.scratch, "temp"), 0o700)
        self.socket_path = os.path.join(self.scratch, "automation")
        self.env = dict(os.environ)
        self.env.update({
            "TAPELOOM_RUNTIME_DIR": run,
            "TAPELOOM_REGISTRY": os.path.join(self.scratch, "registry"),
            "TEMP": os.path.join(self.scratch, "temp"),
            "TAPELOOM_AUTOMATION": self.socket_path,
            "TAPELOOM_DECKS": "Virtual DV Deck=pal",
            "TAPELOOM_DECK_PACING": "realtime",
        })
        if "XDG_RUNTIME_DIR" not in self.env:
            self.env["XDG_RUNTIME_DIR"] = run
        self.env.update(env or {})
        self.process = None
        self.conn = None
        self.buffer = b""

    def start(self, title, limit=30):
        server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        server.bind(self.socket_path)
        server.listen(1)
        server.settimeout(limit)
        self.process = subprocess.Popen([self.path], env=self.env, preexec_fn=_die_with_parent)
        self.pid = self.process.pid
        self.conn, _ = server.accept()
        server.close()
        hello = self.line()
        assert hello.startswith("hello "), hello
        self.send("go")
        return self.wait_window(title, limit)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.scratch, ignore_errors=True)

    def send(self, text):
        self.conn.sendall((text + "\n").encode())

    def line(self):
        while b"\n" not in self.buffer:
            data = self.conn.recv(4096)
            if not data:
                raise EOFError("the program went away")
            self.buffer += data
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode()

    def request(self, text):
        self.send(text)
        lines = []
        while (line := self.line()) != ".":
            lines.append(line)
        if any(l.startswith("error") for l in lines):
            raise RuntimeError(f"{text}: {lines}")
        return lines

    def windows(self):
        """title -> hwnd of the visible top-level windows."""
        out = {}
        for line in self.request("windows"):
            if " visible=1" in line:
                out[line[line.index('"') + 1:line.rindex('"')]] = line.split()[0]
        return out

    def wait_window(self, title, limit=30):
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            hwnd = self.windows().get(title)
            if hwnd:
                return hwnd
            time.sleep(0.05)
        return None

    def wait_gone(self, title, limit=10):
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            if title not in self.windows():
                return True
            time.sleep(0.05)
        return False

    def controls(self):
        """id -> (hwnd, class, text, (left, top, right, bottom)) of every
        control of the main window and its panel."""
        out = {}
        main = self.wait_window("Quindle Tapeloom", 1)
        parents = [main]
        while parents:
            for line in self.request("children " + parents.pop()):
                f = line.split()
                text = line[line.index('"') + 1:line.rindex('"')]
                hwnd, cid, cls = f[0], int(f[1]), f[2]
                if cls == "#32770":
                    parents.append(hwnd)
                # The panel's own control wins over the main window's of the
                # same id.
                if cid not in out or out[cid][1] == "STATIC":
                    out[cid] = (hwnd, cls, text, tuple(int(v) for v in f[4:8]))
        return out

    def text(self, cid):
        return self.controls()[cid][2]

    def enabled(self, cid):
        return self.request("enabled " + self.controls()[cid][0]) == ["1"]

    def click(self, cid):
        self.request("click " + self.controls()[cid][0])

    def focus(self, cid):
        self.request("focus " + self.controls()[cid][0])

    def key(self, hwnd, name):
        self.request(f"key {hwnd} {name}")

    def shot(self, hwnd, path):
        self.request(f"shot {hwnd} {path}")

    def wait_for(self, condition, limit=15):
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            if condition():
                return True
            time.sleep(0.05)
        return False

    def wait_ready(self, limit=15):
        """A deck listed, Capture and the transport buttons enabled."""
        assert self.wait_for(lambda: self.enabled(1019) and self.enabled(1003), limit), \
            "the deck did not come up"
