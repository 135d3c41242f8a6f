"""A Wayland session as people run one: weston, Wayland's reference
compositor, with its headless back end (no screen needed) and, as GNOME's
session has, XWayland for X11 programs. Programs started here get the
environment of such a session, so Qt chooses its platform as it would
there.

No X tool reaches a Wayland window: programs are worked over the
accessibility bus (see accessibility.py).
"""

import os
import re
import shutil
import subprocess
import tempfile

from desktop import DesktopError, rgb_rows, stop, wait_until

TOOLS = ["weston", "Xwayland", "weston-screenshooter"]
# What qt6-wayland adds to Qt's plugins: its platforms and their helpers.
QT_WAYLAND_PACKAGE = "qt6-wayland"


def missing_tools():
    return [t for t in TOOLS if shutil.which(t) is None]


def qt_wayland_plugins():
    """The plugin files qt6-wayland installs, or [] where it is not installed."""
    listing = subprocess.run(["dpkg-query", "-L", QT_WAYLAND_PACKAGE], capture_output=True,
                             text=True)
    if listing.returncode != 0:
        return []
    return [line for line in listing.stdout.splitlines()
            if "/plugins/" in line and line.endswith(".so")]


class WaylandSession:
    """weston on a socket of its own, with XWayland for X11 clients."""

    def __init__(self, width=1280, height=1024):
        self.size = width, height
        self._tmp = tempfile.TemporaryDirectory(prefix="whoislookup-wayland-")
        runtime = os.path.join(self._tmp.name, "runtime")
        os.mkdir(runtime, 0o700)
        self._log = os.path.join(self._tmp.name, "weston.log")
        socket = "wayland-whoislookup"
        self.env = dict(os.environ)
        for name in ("DISPLAY", "QT_QPA_PLATFORM", "QT_SCALE_FACTOR", "XAUTHORITY",
                     "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS", "QT_IM_MODULE",
                     "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP"):
            self.env.pop(name, None)
        self.env.update(XDG_RUNTIME_DIR=runtime, HOME=self._tmp.name,
                        XDG_CONFIG_HOME=os.path.join(self._tmp.name, "config"))
        # Drawn with pixman, so that there are pictures to take (--debug
        # lets weston-screenshooter take them).
        self._weston = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", "--use-pixman", f"--socket={socket}",
             "--xwayland", "--no-config", "--debug", f"--width={width}", f"--height={height}",
             "--idle-time=0", f"--log={self._log}"],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            # XWayland starts when its first client connects; its display
            # is taken at once.
            display = wait_until("weston with XWayland", self._x_display, timeout=20)
        except DesktopError:
            self.close()
            raise
        # What a Wayland session sets for its programs.
        self.env.update(WAYLAND_DISPLAY=socket, XDG_SESSION_TYPE="wayland", DISPLAY=display)

    def _x_display(self):
        if self._weston.poll() is not None:
            raise DesktopError(f"weston ended with {self._weston.returncode}: {self.log()}")
        found = re.search(r"xserver listening on display (:\d+)", self.log())
        return found and found.group(1)

    def log(self):
        try:
            with open(self._log, errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def run(self, *args, check=True, cwd=None):
        result = subprocess.run(args, env=self.env, capture_output=True, timeout=30, cwd=cwd)
        if check and result.returncode != 0:
            raise DesktopError(f"{' '.join(args)} failed: {result.stderr.decode(errors='replace')}")
        return result.stdout.decode(errors="replace")

    def x_windows(self, caption):
        """X11 windows of that caption on XWayland (none for Wayland clients)."""
        out = self.run("xdotool", "search", "--onlyvisible", "--name", f"^{caption}$", check=False)
        return [int(w) for w in out.split()]

    def screenshot(self, path):
        """Saves the whole screen as PNG."""
        with tempfile.TemporaryDirectory(dir=self._tmp.name) as folder:
            self.run("weston-screenshooter", cwd=folder)
            shots = os.listdir(folder)
            if len(shots) != 1:
                raise DesktopError(f"weston-screenshooter left {shots}")
            shutil.move(os.path.join(folder, shots[0]), path)

    def capture(self):
        """The screen's pixels: (width, height, rows of RGB bytes)."""
        path = os.path.join(self._tmp.name, "screen.png")
        self.screenshot(path)
        raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                             check=True, timeout=30).stdout
        return rgb_rows(raw, *self.size)

    def close(self):
        stop(self._weston, 10)
        self._tmp.cleanup()


def program_without_qt_wayland(executable, directory):
    """A copy of the program that finds Qt's plugins as if qt6-wayland were
    not installed: a qt.conf beside it points at a mirror of the plugin
    folders without that package's files. Returns the copy's path, or the
    program's own where the package is not installed."""
    wayland = set(qt_wayland_plugins())
    if not wayland:
        return executable
    plugin_root = os.path.dirname(os.path.dirname(next(p for p in wayland if "/platforms/" in p)))
    mirror = os.path.join(directory, "plugins")
    for folder, _, files in os.walk(plugin_root):
        for name in files:
            path = os.path.join(folder, name)
            if path in wayland:
                continue
            target = os.path.join(mirror, os.path.relpath(path, plugin_root))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            os.symlink(path, target)
    copy = os.path.join(directory, os.path.basename(executable))
    shutil.copy2(executable, copy)
    with open(os.path.join(directory, "qt.conf"), "w") as f:
        f.write(f"[Paths]\nPlugins = {mirror}\n")
    return copy
