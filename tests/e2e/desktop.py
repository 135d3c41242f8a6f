"""Runs the real whoislookup program in a real X window and works it as a
person would: keys and clicks through xdotool, text read back through the
clipboard, pictures taken from the screen. Nothing reaches inside the
process.

Everything runs inside a network namespace of its own, with only loopback
up, so a WHOIS server started here can take 127.0.0.1 port 43 and nothing
the program sends can leave the machine.
"""

import os
import re
import shlex
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

SKIP_EXIT_CODE = 77
WINDOW_CAPTION = "WhoIs Lookup"
# The message box caption is the application name, the executable's name.
MESSAGE_BOX_CAPTION = "whoislookup"

TOOLS = ["Xvfb", "openbox", "xdotool", "xclip", "xprop", "xwininfo", "import", "tesseract", "ip",
         "unshare", "dbus-run-session"]

_NAMESPACE_MARK = "WHOISLOOKUP_IN_PRIVATE_NETWORK"


class DesktopError(AssertionError):
    pass


def wait_until(what, probe, timeout=10.0, interval=0.05):
    """Polls probe until it returns something true, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise DesktopError(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


def check_tools():
    missing = [t for t in TOOLS if shutil.which(t) is None]
    if missing:
        sys.exit(f"FAILED: missing {', '.join(missing)}; tools/install-deps.sh installs them")


def enter_private_network(loopback_names=()):
    """Re-runs this script in a network and process namespace of its own and
    exits with its result; returns only inside the namespace, with loopback
    up. Names in loopback_names resolve to 127.0.0.1 there, through a hosts
    file of the namespace's own. Exits with SKIP_EXIT_CODE when no namespace
    can be made here."""
    if os.environ.get(_NAMESPACE_MARK) == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        if loopback_names:
            _map_to_loopback(loopback_names)
        return
    # A process namespace too, so whatever is left running dies with the run;
    # its own /proc, so that tools reading their process there (such as
    # LeakSanitizer in a sanitizer build) find it.
    common = ["--net", "--pid", "--fork", "--kill-child", "--mount", "--mount-proc"]
    attempts = ([common] if os.geteuid() == 0 else []) + [["--map-root-user", *common]]
    reasons = []
    for flags in attempts:
        probe = subprocess.run(["unshare", *flags, "true"], capture_output=True, text=True)
        if probe.returncode == 0:
            env = dict(os.environ, **{_NAMESPACE_MARK: "1"})
            result = subprocess.run(["unshare", *flags, sys.executable, *sys.argv], env=env)
            sys.exit(result.returncode)
        reasons.append(f"unshare {' '.join(flags)}: {probe.stderr.strip() or probe.returncode}")
    print("SKIPPED: cannot make a network namespace here, so no private WHOIS server "
          "on port 43 is possible (" + "; ".join(reasons) + ")", flush=True)
    sys.exit(SKIP_EXIT_CODE)


def _map_to_loopback(names):
    hosts = tempfile.NamedTemporaryFile("w", prefix="whoislookup-hosts-", delete=False)
    with hosts, open("/etc/hosts") as system_hosts:
        hosts.write("".join(f"127.0.0.1 {name}\n" for name in names) + system_hosts.read())
    os.chmod(hosts.name, 0o644)
    subprocess.run(["mount", "--bind", hosts.name, "/etc/hosts"], check=True)
    os.unlink(hosts.name)  # the mount keeps it


class WhoisServer:
    """A WHOIS server on 127.0.0.1 port 43. Each connection gets the current
    reply; everything the client sent on it is recorded.

    With gate set to a threading.Event, each query is held (a lookup in
    progress) until the event is set; with reset true, the connection is
    then reset instead of answered."""

    GATE_LIMIT = 30.0

    def __init__(self, host="127.0.0.1", port=43):
        self.reply = b""
        self.gate = None
        self.reset = False
        self._queries = []
        self._received = []
        self._lock = threading.Lock()
        self._listener = socket.create_server((host, port))
        self._listener.settimeout(0.2)
        self._stopping = False
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def _serve(self):
        while not self._stopping:
            try:
                conn, _ = self._listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            with conn:
                conn.settimeout(10)
                data = b""
                try:
                    while b"\n" not in data:
                        chunk = conn.recv(4096)
                        if not chunk:
                            break
                        data += chunk
                    with self._lock:
                        self._queries.append(data)
                    if self.gate is not None and not self.gate.wait(self.GATE_LIMIT):
                        data += b"<never let through>"
                    if self.reset:
                        # Closing with a zero linger time sends a reset.
                        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                        struct.pack("ii", 1, 0))
                        data += b"<reset>"
                        raise _Reset()
                    conn.sendall(self.reply)
                    conn.shutdown(socket.SHUT_WR)
                    # The client closes once it has the whole reply; keep
                    # what it sent until then, to see it sent nothing more.
                    while True:
                        chunk = conn.recv(4096)
                        if not chunk:
                            break
                        data += chunk
                except _Reset:
                    pass
                except OSError as e:
                    data += f"<connection failed: {e}>".encode()
            with self._lock:
                self._received.append(data)

    def queries(self):
        """Each query line taken in so far, answered or not, in order."""
        with self._lock:
            return list(self._queries)

    def wait_for_queries(self, count, timeout=15.0):
        return wait_until(f"{count} WHOIS queries, have {len(self.queries())}",
                          lambda: len(self.queries()) >= count and self.queries(), timeout)

    def connections(self):
        """What each finished connection received, in order."""
        with self._lock:
            return list(self._received)

    def wait_for_connections(self, count, timeout=15.0):
        return wait_until(f"{count} finished WHOIS connection(s), have {len(self.connections())}",
                          lambda: len(self.connections()) >= count and self.connections(),
                          timeout)

    def close(self):
        self._stopping = True
        self._listener.close()
        self._thread.join(2)


class _Reset(Exception):
    pass


def stop(process, timeout):
    """Asks a helper process to end, and makes it if it has not within
    timeout seconds."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
    process.wait()


def window_size(env, window):
    """An X window's inner size, as xwininfo reports it."""
    result = subprocess.run(["xwininfo", "-id", str(window)], env=env, capture_output=True,
                            timeout=30)
    if result.returncode != 0:
        raise DesktopError(f"xwininfo -id {window} failed: "
                           f"{result.stderr.decode(errors='replace')}")
    info = result.stdout.decode(errors="replace")
    fields = dict(line.strip().split(":", 1) for line in info.splitlines() if ":" in line)
    return int(fields["Width"]), int(fields["Height"])


def capture_window(env, window):
    """An X window's pixels: (width, height, rows of RGB bytes)."""
    width, height = window_size(env, window)
    raw = subprocess.run(["import", "-window", str(window), "-depth", "8", "rgb:-"],
                         env=env, capture_output=True, check=True, timeout=30).stdout
    return rgb_rows(raw, width, height)


def settled_capture(env, window):
    """Like capture_window, once two pictures in a row agree, so painting
    has finished."""
    previous = None

    def same_twice():
        nonlocal previous
        current = capture_window(env, window)
        done = previous is not None and current == previous
        previous = current
        return done and current

    return wait_until("the window to finish painting", same_twice, interval=0.2)


def rgb_rows(raw, width, height):
    if len(raw) != width * height * 3:
        raise DesktopError(f"a {width}x{height} picture came back with {len(raw)} bytes")
    return width, height, [raw[y * width * 3:(y + 1) * width * 3] for y in range(height)]


class Desktop:
    """An X server with a window manager, and the tools to work in it. With
    dpi, the screen is scaled as desktops scale it: the X resource Xft.dpi,
    120 for 125 %, 144 for 150 %."""

    def __init__(self, width=1280, height=1024, dpi=None):
        self._tmp = tempfile.TemporaryDirectory(prefix="whoislookup-desktop-")
        read_fd, write_fd = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise DesktopError("Xvfb did not start")
        self.env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_SCALE_FACTOR", "XAUTHORITY",
                     "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS"):
            self.env.pop(name, None)
        self.env.update(DISPLAY=f":{number}", QT_QPA_PLATFORM="xcb",
                        XDG_CONFIG_HOME=os.path.join(self._tmp.name, "config"),
                        XDG_RUNTIME_DIR=self._tmp.name, HOME=self._tmp.name)
        if dpi:
            # Xvfb keeps it after xprop leaves only because of -noreset.
            self.run("xprop", "-root", "-f", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER",
                     f"Xft.dpi:\t{dpi}\n")
        # openbox with its stock settings: Alt+F4 closes, new windows get focus.
        # It names itself on the root window early in its start-up, and what
        # reaches it before the start-up is over can go unhandled (a window's
        # map request: the window never shows); the command it runs once
        # started marks the end.
        started = os.path.join(self._tmp.name, "openbox-started")
        self._wm = subprocess.Popen(["openbox", "--sm-disable",
                                     "--startup", f"touch {shlex.quote(started)}"],
                                    env=self.env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        wait_until("the window manager", lambda: os.path.exists(started), timeout=30)
        # The first key sent through XTEST switches the X server's keyboard
        # to the XTEST device, which tells every client the keyboard mapping
        # changed; openbox then drops all its key grabs and makes them anew,
        # and a key arriving in between (the F4 of the first Alt+F4) reaches
        # the window instead. So one harmless key goes first, and openbox is
        # let finish with it.
        self.wm_sync("key", "shift")

    def close(self):
        for p in (self._wm, self._xvfb):
            stop(p, 5)
        self._tmp.cleanup()

    def run(self, *args, check=True, input=None):
        result = subprocess.run(args, env=self.env, capture_output=True, input=input, timeout=30)
        if check and result.returncode != 0:
            raise DesktopError(f"{' '.join(args)} failed: {result.stderr.decode(errors='replace')}")
        return result.stdout.decode(errors="replace")

    def xdotool(self, *args):
        return self.run("xdotool", *args)

    def wm_sync(self, *commands):
        """Runs the xdotool commands given (none is fine) and returns once the
        window manager has handled everything they sent, and all that came
        before. After them, on the same connection, the number of desktops
        is changed; openbox handles its events in order, so once the number
        has changed it has handled the rest, and what it sent in answer (a
        WM_DELETE_WINDOW for Alt+F4) has reached the X server."""
        count = wait_until("the number of desktops", self._desktop_count)
        changed = count - 1 if count % 2 == 0 else count + 1
        self.xdotool(*commands, "set_num_desktops", str(changed))
        wait_until("the window manager to catch up", lambda: self._desktop_count() == changed)

    def _desktop_count(self):
        out = self.run("xdotool", "get_num_desktops", check=False).strip()
        return int(out) if out.isdigit() else None

    def find_windows(self, caption):
        out = self.run("xdotool", "search", "--onlyvisible", "--name", f"^{caption}$", check=False)
        return [int(w) for w in out.split()]

    def active_window(self):
        out = self.run("xdotool", "getactivewindow", check=False).strip()
        return int(out) if out else None

    def key(self, *keys):
        self.xdotool("key", "--clearmodifiers", *keys)

    def type(self, text):
        self.xdotool("type", "--clearmodifiers", "--delay", "12", text)

    def click(self, window, x, y):
        """Clicks at x, y in window's own coordinates."""
        self.xdotool("mousemove", "--window", str(window), str(x), str(y), "click", "1")

    def wheel(self, window, x, y, button, times):
        self.xdotool("mousemove", "--window", str(window), str(x), str(y),
                     "click", "--repeat", str(times), "--delay", "20", str(button))

    def park_pointer(self):
        self.xdotool("mousemove", "0", "0")

    def set_clipboard(self, text):
        # xclip stays behind to serve the selection: keep none of its pipes.
        subprocess.run(["xclip", "-selection", "clipboard", "-i"], env=self.env,
                       input=text.encode(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True, timeout=10)

    def clipboard(self):
        return self.run("xclip", "-selection", "clipboard", "-o", "-t", "UTF8_STRING", check=False)

    def geometry(self, window):
        """The window's inner size, as xwininfo reports it."""
        return window_size(self.env, window)

    def capture(self, window):
        """The window's pixels: (width, height, rows of RGB bytes)."""
        return capture_window(self.env, window)

    def settled_capture(self, window, size=None):
        """Like capture, once the window has the given size and two pictures
        in a row agree, so painting has finished."""
        if size:
            wait_until(f"the window to be {size[0]}x{size[1]}", lambda: self.geometry(window) == size)
        return settled_capture(self.env, window)

    def read_text(self, window):
        """The text a window shows, by OCR of an enlarged grey picture of it."""
        picture = os.path.join(self._tmp.name, "read.png")
        subprocess.run(["import", "-window", str(window), "-resize", "300%", "-colorspace", "Gray",
                        picture], env=self.env, check=True, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        text = subprocess.run(["tesseract", picture, "-", "--psm", "6"],
                              env=dict(self.env, OMP_THREAD_LIMIT="1"), capture_output=True,
                              check=True, timeout=60).stdout.decode(errors="replace")
        # OCR reads a straight quote as curly, or as two; one straight one it was.
        text = re.sub("[\"\u201c\u201d\u201e]+", '"', text)
        return re.sub("[ \t]+", " ", text)

    def screenshot(self, path, window=None, frame=False):
        """Saves the screen, or one window (with its frame if asked), as PNG."""
        args = ["import"]
        if window is None:
            args += ["-window", "root"]
        else:
            args += (["-frame"] if frame else []) + ["-window", str(window)]
        subprocess.run(args + [path], env=self.env, check=True, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class WhoisLookupApp:
    """One run of the program, and where its controls are in the window."""

    # Points inside each control, in the window's client coordinates.
    ED_DOMAIN = (296, 22)
    BT_LOOKUP = (555, 22)
    ME_RESULTS = (326, 184)
    BUTTON1 = (333, 364)
    EDIT1 = (200, 362)

    def __init__(self, desktop, executable, env=None, args=()):
        self.desktop = desktop
        self.proc = subprocess.Popen([executable, *args], env=dict(desktop.env, **(env or {})),
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        try:
            windows = wait_until("the program's window",
                                 lambda: desktop.find_windows(WINDOW_CAPTION), timeout=20)
            self.window = windows[0]
            wait_until("the program's window to have the focus",
                       lambda: desktop.active_window() == self.window)
        except Exception:
            self.kill()
            raise

    def click(self, control):
        self.desktop.click(self.window, *control)

    def type_into(self, control, text):
        """Clicks into an edit box, selects what it holds and types over it."""
        self.click(control)
        self.desktop.key("ctrl+a")
        self.desktop.type(text)

    def results(self, expected=None, timeout=5.0):
        """The text of the results box, copied from it as a person would:
        click into it, select all, copy. Retries until it equals expected,
        when given, so a repaint still pending is waited for."""
        sentinel = "\u2400nothing was copied\u2400"

        def read():
            self.desktop.set_clipboard(sentinel)
            self.click(self.ME_RESULTS)
            self.desktop.key("ctrl+a")
            self.desktop.key("ctrl+c")
            text = self.desktop.clipboard()
            # Select-all in an empty box selects nothing, so nothing is copied.
            return "" if text == sentinel else text

        deadline = time.monotonic() + timeout
        text = read()
        while expected is not None and text != expected and time.monotonic() < deadline:
            time.sleep(0.2)
            text = read()
        return text

    def wait_for_message_box(self, timeout=30.0):
        return wait_until("a message box", lambda: self.desktop.find_windows(MESSAGE_BOX_CAPTION),
                          timeout)[0]

    def read_message_box(self, box):
        """The message box's text, read off the screen: Qt's message boxes on
        X11 offer no way to select or copy it."""
        wait_until("the message box to have the focus", lambda: self.desktop.active_window() == box)
        return self.desktop.read_text(box)

    def dismiss_message_box(self, box):
        self.desktop.key("Return")
        wait_until("the message box to close",
                   lambda: box not in self.desktop.find_windows(MESSAGE_BOX_CAPTION))
        wait_until("the window to have the focus again",
                   lambda: self.desktop.active_window() == self.window)

    def close(self, timeout=10.0):
        """Closes the window with Alt+F4; returns the exit code."""
        self.press_alt_f4()
        return self.wait_for_exit(timeout, "Alt+F4")

    def press_alt_f4(self):
        """Presses Alt+F4 on the window and returns once the window manager
        has handled it and sent the program its close."""
        wait_until("the window to have the focus", lambda: self.desktop.active_window() == self.window)
        # Any key grabs openbox is still making anew (after a change of the
        # keyboard mapping) are in place first.
        self.desktop.wm_sync()
        self.desktop.wm_sync("key", "--clearmodifiers", "alt+F4")

    def wait_for_exit(self, timeout, since):
        """The exit code, once the program has ended; a failure naming what
        the program and the desktop were doing if it is still running."""
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise DesktopError(f"the program was still running {timeout:g} s after {since}\n"
                               + self.state())

    def state(self):
        """What the program and the desktop are doing, for a failure's
        report: a stack of each of the program's threads (where gdb is
        installed), the window manager's and the X server's focus, and the
        program's windows."""
        d = self.desktop
        lines = [f"window {self.window}; _NET_ACTIVE_WINDOW {d.active_window()}; X input focus "
                 + d.run("xdotool", "getwindowfocus", check=False).strip()]
        for window in d.find_windows(".+"):
            name = d.run("xdotool", "getwindowname", str(window), check=False).strip()
            lines.append(f"window {window} {name!r} is visible")
        lines.append(d.run("xprop", "-id", str(self.window), "WM_STATE", "_NET_WM_STATE",
                           "WM_PROTOCOLS", check=False).strip())
        if shutil.which("gdb"):
            stacks = subprocess.run(["gdb", "-p", str(self.proc.pid), "-batch",
                                     "-ex", "thread apply all bt"],
                                    capture_output=True, text=True, timeout=120)
            lines.append("threads of the program:\n" + stacks.stdout.strip())
        return "\n".join(lines)

    def output(self):
        return self.proc.stdout.read().decode(errors="replace") if self.proc.poll() is not None else ""

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
