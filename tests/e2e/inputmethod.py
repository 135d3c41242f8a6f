"""IBus, the input method framework of Debian's desktops, with its Hangul
engine, running for one X display on a session bus of the test's own.

Programs reach it as they do on a desktop: Qt's IBus module
(QT_IM_MODULE=ibus) finds the daemon's address in the file the daemon
writes under the user's configuration folder for that display.
"""

import os
import shutil
import signal
import subprocess

from desktop import DesktopError, wait_until

TOOLS = ["ibus-daemon", "ibus"]
# The Hangul engine's component, as ibus-hangul installs it.
HANGUL_COMPONENT = "/usr/share/ibus/component/hangul.xml"
# Settings kept in memory, as a desktop's dconf would keep them: the
# engines start with their defaults (Hangul: the Latin mode first, Shift+Space
# or the Hangul key to switch, the 2-set keyboard).
MEMORY_CONFIG = "/usr/libexec/ibus-memconf"


def missing_parts():
    missing = [t for t in TOOLS if shutil.which(t) is None]
    missing += [path for path in (HANGUL_COMPONENT, MEMORY_CONFIG) if not os.path.exists(path)]
    return missing


class IBus:
    def __init__(self, desktop_env, session_bus_address, engine="hangul"):
        self.env = dict(desktop_env, DBUS_SESSION_BUS_ADDRESS=session_bus_address,
                        GSETTINGS_BACKEND="memory")
        # The daemon quits when its parent is process 1, as the test is in
        # its process namespace: a shell of its own stands in between, and
        # heads a process group that ends with it.
        self._daemon = subprocess.Popen(
            ["sh", "-c", 'ibus-daemon "$@"; exit', "sh", "--panel=disable",
             "--emoji-extension=disable", f"--config={MEMORY_CONFIG}"],
            env=self.env, start_new_session=True, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        try:
            wait_until(f"IBus with the {engine} engine", lambda: self._select(engine), timeout=20,
                       interval=0.2)
        except DesktopError:
            self.close()
            raise

    def _select(self, engine):
        if self._daemon.poll() is not None:
            raise DesktopError(f"ibus-daemon ended with {self._daemon.returncode}")
        # Fails until the daemon is on the bus.
        selected = subprocess.run(["ibus", "engine", engine], env=self.env, capture_output=True,
                                  timeout=30)
        return selected.returncode == 0

    def program_env(self):
        return {"QT_IM_MODULE": "ibus"}

    def close(self):
        # The engine and the settings store are the daemon's children, in
        # its group.
        try:
            os.killpg(self._daemon.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            self._daemon.wait(10)
        except subprocess.TimeoutExpired:
            os.killpg(self._daemon.pid, signal.SIGKILL)
            self._daemon.wait()
