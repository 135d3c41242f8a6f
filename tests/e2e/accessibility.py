"""Reads the program's windows as a screen reader does: over AT-SPI, the
accessibility bus of Linux desktops.

Each AccessibilityBus is a D-Bus session bus of its own (dbus-run-session);
at-spi2-core's accessibility bus starts on it when first asked for. The
program joins it with Qt's accessibility bridge switched on, and the tree is
read with pyatspi in a process of its own, so nothing is cached between
reads. Run as a script, this file is that reader: it prints the tree of the
named application as JSON.
"""

import json
import os
import subprocess
import sys

from desktop import DesktopError, wait_until

APPLICATION_NAME = "whoislookup"
TOOLS = ["dbus-run-session"]


class AccessibilityBus:
    def __init__(self):
        # Without DISPLAY the accessibility bus leaves the X server alone, so
        # no address of a bus from an earlier case can linger on the screen.
        self._env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        # The bus lives as long as the command, which waits for its input to close.
        self._session = subprocess.Popen(
            ["dbus-run-session", "--", "sh", "-c", 'echo "$DBUS_SESSION_BUS_ADDRESS"; exec cat'],
            env=self._env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL, text=True)
        address = self._session.stdout.readline().strip()
        if not address:
            self.close()
            raise DesktopError("dbus-run-session gave no session bus")
        self._env["DBUS_SESSION_BUS_ADDRESS"] = address

    def program_env(self):
        """What the program needs to be read: the bus, the bridge on."""
        return {"DBUS_SESSION_BUS_ADDRESS": self._env["DBUS_SESSION_BUS_ADDRESS"],
                "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}

    def tree(self):
        """The program's accessible tree (see read_tree), or None while it
        has not joined the bus."""
        result = subprocess.run([sys.executable, os.path.abspath(__file__), APPLICATION_NAME],
                                env=self._env, capture_output=True, text=True, timeout=60)
        if result.returncode != 0:
            raise DesktopError(f"reading the accessible tree failed: {result.stderr.strip()}")
        return json.loads(result.stdout)

    def wait_for(self, what, probe, timeout=15.0):
        """Reads the tree until probe(tree) gives something true; returns it."""
        return wait_until(what, lambda: (lambda t: t and probe(t))(self.tree()), timeout,
                          interval=0.3)

    def close(self):
        if self._session.poll() is None:
            self._session.stdin.close()
            try:
                self._session.wait(10)
            except subprocess.TimeoutExpired:
                self._session.kill()
                self._session.wait()


def walk(node):
    """Every node of a tree, depth first."""
    yield node
    for child in node["children"]:
        yield from walk(child)


def find(tree, role, name=None):
    """The nodes of the given role, and name when given."""
    return [n for n in walk(tree) if n["role"] == role and (name is None or n["name"] == name)]


def read_tree(application_name):
    """Each node: role and name as a screen reader says them, its states,
    the names of the nodes it is labelled by, and its children."""
    try:
        import pyatspi
    except ImportError as e:
        sys.exit(f"{e}: python3-pyatspi is missing; tools/install-deps.sh installs it")

    def node(accessible):
        labelled_by = []
        for relation in accessible.getRelationSet():
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
                labelled_by += [relation.getTarget(i).name for i in range(relation.getNTargets())]
        return {
            "role": accessible.getRoleName(),
            "name": accessible.name,
            "states": sorted(pyatspi.stateToString(s) for s in accessible.getState().getStates()),
            "labelled_by": labelled_by,
            "children": [node(child) for child in accessible if child is not None],
        }

    for application in pyatspi.Registry.getDesktop(0):
        if application is not None and application.name == application_name:
            return node(application)
    return None


if __name__ == "__main__":
    print(json.dumps(read_tree(sys.argv[1])))
