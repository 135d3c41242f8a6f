"""Reads the program's windows as a screen reader does: over AT-SPI, the
accessibility bus of Linux desktops.

Each AccessibilityBus is a D-Bus session bus of its own (dbus-run-session);
at-spi2-core's accessibility bus starts on it when first asked for. The
program joins it with Qt's accessibility bridge switched on, and the tree is
read with pyatspi in a process of its own, so nothing is cached between
reads. Run as a script, this file is that reader: it prints the tree of the
named application as JSON, or works its controls as a screen reader's
user does (see act).
"""

import json
import os
import subprocess
import sys
import tempfile

from desktop import DesktopError, wait_until

APPLICATION_NAME = "whoislookup"
TOOLS = ["dbus-run-session"]


class AccessibilityBus:
    def __init__(self):
        # Without DISPLAY the accessibility bus leaves the X server alone, so
        # no address of a bus from an earlier case can linger on the screen.
        self._env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        # The accessibility bus's socket goes in the runtime folder, else in
        # ~/.cache/at-spi/ under one name for every bus of the user: there
        # another run's bus, or an earlier case's on its way out, would
        # take it or remove it.
        self._runtime = tempfile.TemporaryDirectory(prefix="whoislookup-a11y-",
                                                    ignore_cleanup_errors=True)
        self._env["XDG_RUNTIME_DIR"] = self._runtime.name
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

    def address(self):
        return self._env["DBUS_SESSION_BUS_ADDRESS"]

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

    def act(self, *steps, timeout=30.0):
        """Works the program's controls (see perform); returns once it has
        answered each step."""
        self.start_acting(*steps).finish(timeout)

    def start_acting(self, *steps):
        """Like act, without waiting for the program's answer: a button
        whose handler opens a modal box answers only once the box has closed."""
        return _Acting(subprocess.Popen(
            [sys.executable, os.path.abspath(__file__), APPLICATION_NAME, json.dumps(steps)],
            env=self._env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True))

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
        self._runtime.cleanup()


class _Acting:
    def __init__(self, process):
        self._process = process

    def finish(self, timeout=30.0):
        try:
            _, err = self._process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self._process.kill()
            self._process.communicate()
            raise DesktopError(f"the program did not answer within {timeout:g} s")
        if self._process.returncode != 0:
            raise DesktopError(f"working the program's controls failed: {err.strip()}")

    def kill(self):
        if self._process.poll() is None:
            self._process.kill()
            self._process.communicate()


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
    the names of the nodes it is labelled by, its text where it holds
    text, and its children."""
    pyatspi = _pyatspi()

    def node(accessible):
        labelled_by = []
        for relation in accessible.getRelationSet():
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
                labelled_by += [relation.getTarget(i).name for i in range(relation.getNTargets())]
        result = {
            "role": accessible.getRoleName(),
            "name": accessible.name,
            "states": sorted(pyatspi.stateToString(s) for s in accessible.getState().getStates()),
            "labelled_by": labelled_by,
            "children": [node(child) for child in accessible if child is not None],
        }
        if result["role"] == "text":
            result["text"] = accessible.queryText().getText(0, -1)
        return result

    application = _application(pyatspi, application_name)
    return node(application) if application else None


def perform(application_name, steps):
    """Each step is ["set text", role, name, text] or ["press", role, name]:
    sets a field's text as a screen reader's user does, or invokes a
    button's press action. The control is found by role and name, anywhere
    in the application's windows, and must be the only one so named."""
    pyatspi = _pyatspi()
    application = _application(pyatspi, application_name)
    if application is None:
        sys.exit(f"{application_name} is not on the accessibility bus")
    for what, role, name, *rest in steps:
        found = pyatspi.utils.findAllDescendants(
            application, lambda a: a is not None and a.getRoleName() == role and a.name == name)
        if len(found) != 1:
            sys.exit(f"{len(found)} {role!r} named {name!r}, expected one")
        control = found[0]
        if what == "set text":
            if not control.queryEditableText().setTextContents(rest[0]):
                sys.exit(f"the {role} {name!r} refused the text {rest[0]!r}")
        elif what == "press":
            action = control.queryAction()
            names = [action.getName(i) for i in range(action.nActions)]
            if "Press" not in names:
                sys.exit(f"the {role} {name!r} has no press action, only {names}")
            action.doAction(names.index("Press"))
        else:
            sys.exit(f"unknown step {what!r}")


def _pyatspi():
    try:
        import pyatspi
    except ImportError as e:
        sys.exit(f"{e}: python3-pyatspi is missing; tools/install-deps.sh installs it")
    return pyatspi


def _application(pyatspi, name):
    for application in pyatspi.Registry.getDesktop(0):
        if application is not None and application.name == name:
            return application
    return None


if __name__ == "__main__":
    if len(sys.argv) == 3:
        perform(sys.argv[1], json.loads(sys.argv[2]))
    else:
        print(json.dumps(read_tree(sys.argv[1])))
