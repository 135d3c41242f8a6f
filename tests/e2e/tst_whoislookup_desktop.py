#!/usr/bin/env python3
"""The real whoislookup program in a real window, worked as a person would.

usage: tst_whoislookup_desktop.py WHOISLOOKUP_EXECUTABLE OUTPUT_DIR

Each case starts the program afresh. When a case fails, a picture of the
screen is saved in OUTPUT_DIR as e2e-<case>.png. Most cases run on one X11
desktop; others on the desktops people run besides: a Wayland session, an
input method, screens scaled to 125 % and 150 %. A case whose packages are
missing is skipped, saying which.

WHOISLOOKUP_E2E_CASES=name,name runs only the named cases;
WHOISLOOKUP_E2E_REPEAT=N runs each of them N times in a row, on the same
desktop, to show a case holds run after run.
"""

import os
import subprocess
import sys
import tempfile
import threading
import time
import traceback

import inputmethod
import picture
import wayland
from accessibility import AccessibilityBus, find, walk
from desktop import (Desktop, DesktopError, WhoisLookupApp, WhoisServer, check_tools,
                     enter_private_network, settled_capture, wait_until, WINDOW_CAPTION)

DEFAULT_HOST = "whois.kr"
# Where the form puts the window's frame.
DESIGNED_POSITION = (252, 218)

CRLF_REPLY = b"Domain Name : example.kr\r\nRegistrant : Example Co.\r\n\r\nName Server : ns1.example.kr\r\n"
CRLF_ROWS = "Domain Name : example.kr\nRegistrant : Example Co.\n\nName Server : ns1.example.kr"
# Bare LF: blank lines and leading line feeds leave no row.
LF_REPLY = b"\n\nfirst line\n\n\nsecond line\n\nlast line without a line feed"
LF_ROWS = "first line\nsecond line\nlast line without a line feed"
# Replies that begin with blank CR LF lines: each is a row, empty.
LEADING_BLANK_REPLIES = (
    (b"\r\nDomain Name : example.kr\r\nRegistrant : Example Co.\r\n",
     "\nDomain Name : example.kr\nRegistrant : Example Co."),
    (b"\r\n\r\nDomain Name : example.kr\r\n", "\n\nDomain Name : example.kr"),
)


class Skipped(Exception):
    """The case cannot run here; the message says why."""


class Fixture:
    def __init__(self, executable, desktop, server, out_dir):
        self.executable = executable
        self.desktop = desktop
        self.server = server
        self.out_dir = out_dir
        self.apps = []
        self._owned = []
        # What a failure's picture is taken of: a case on a screen of its
        # own points this at it.
        self.screen = desktop

    def start(self):
        app = WhoisLookupApp(self.desktop, self.executable)
        self.apps.append(app)
        return app

    def own(self, thing):
        """Closes thing at the end of the case, after any failure's picture."""
        self._owned.append(thing)
        return thing

    def close(self, thing):
        self._owned.remove(thing)
        thing.close()

    def cleanup(self):
        # A failed case must not leave its program behind for the next.
        for app in self.apps:
            app.kill()
        while self._owned:
            self._owned.pop().close()


def expect(condition, message):
    if not condition:
        raise AssertionError(message)


def expect_clean_exit(app):
    code = app.close()
    expect(code == 0, f"exit code {code}, expected 0; output: {app.output()!r}")


def point_at_local_server(app):
    app.type_into(app.EDIT1, "127.0.0.1")
    app.click(app.BUTTON1)


def expect_lookup(fx, app, domain, reply, rows, trigger):
    """Runs one lookup against the local server with the given trigger and
    checks what the server received and what the box shows."""
    fx.server.reply = reply
    before = len(fx.server.connections())
    app.type_into(app.ED_DOMAIN, domain)
    if trigger == "Enter":
        app.desktop.key("Return")
    else:
        app.click(app.BT_LOOKUP)
    received = fx.server.wait_for_connections(before + 1)
    expect(len(received) == before + 1, f"{len(received) - before} connections, expected 1")
    expect(received[-1] == domain.encode() + b"\r\n",
           f"server received {received[-1]!r}, expected {domain!r} CR LF")
    shown = app.results(rows)
    expect(shown == rows, f"results box shows {shown!r}, expected {rows!r}")


def case_start_and_close(fx):
    app = fx.start()
    expect_clean_exit(app)
    expect(fx.server.connections() == [], f"server saw {fx.server.connections()!r}")
    return "window came up, Alt+F4 closed it, exit code 0, no connection"


def case_lookups_against_local_server(fx):
    app = fx.start()
    point_at_local_server(app)
    seen = []
    for trigger in ("Enter", "btLookup click"):
        for domain, reply, rows, kind in (("example.kr", CRLF_REPLY, CRLF_ROWS, "CR LF"),
                                          ("sample.co.kr", LF_REPLY, LF_ROWS, "LF")):
            expect_lookup(fx, app, domain, reply, rows, trigger)
            seen.append(f"{trigger}/{kind}: {rows.count(chr(10)) + 1} rows")
    expect_clean_exit(app)
    return "server got domain CR LF each time; " + ", ".join(seen) + "; exit code 0"


def case_leading_blank_rows(fx):
    app = fx.start()
    point_at_local_server(app)
    seen = []
    for reply, rows in LEADING_BLANK_REPLIES:
        expect_lookup(fx, app, "example.kr", reply, rows, "Enter")
        seen.append(f"{len(rows) - len(rows.lstrip(chr(10)))} blank + "
                    f"{rows.strip(chr(10)).count(chr(10)) + 1} rows")
    expect_clean_exit(app)
    return "copied from the box: " + ", ".join(seen)


def case_enter_in_edit1(fx):
    app = fx.start()
    # Typed but not applied: the next lookup still goes to the default host.
    app.type_into(app.EDIT1, "127.0.0.1")
    app.desktop.key("Return")
    app.type_into(app.ED_DOMAIN, "example.kr")
    app.click(app.BT_LOOKUP)
    box = app.wait_for_message_box()
    text = app.read_message_box(box)
    expect(f'"{DEFAULT_HOST}"' in text, f"message box does not name {DEFAULT_HOST}: {text!r}")
    app.dismiss_message_box(box)
    # Applied now; Enter in Edit1 must start no lookup of its own, so the
    # click that follows it makes the only connection.
    app.click(app.BUTTON1)
    app.click(app.EDIT1)
    app.desktop.key("Return")
    fx.server.reply = CRLF_REPLY
    app.click(app.BT_LOOKUP)
    fx.server.wait_for_connections(1)
    app.results(CRLF_ROWS)
    time.sleep(0.5)  # room for a stray second connection to show
    received = fx.server.connections()
    expect(received == [b"example.kr\r\n"], f"server received {received!r}")
    expect_clean_exit(app)
    return ("Enter in Edit1 applied nothing (next lookup went to whois.kr and failed) and "
            "started no lookup (only the btLookup click reached the server)")


def case_default_host_fails_then_window_works(fx):
    app = fx.start()
    # The window opens with the focus in the domain field.
    app.desktop.type("example.kr")
    app.desktop.key("Return")
    box = app.wait_for_message_box()
    text = app.read_message_box(box)
    expect(f'WHOIS query to "{DEFAULT_HOST}" port 43 failed:' in text, f"message box text: {text!r}")
    app.dismiss_message_box(box)
    expect(fx.server.connections() == [], "the local server was reached")
    shown = app.results("")
    expect(shown == "", f"results box shows {shown!r} after a failed lookup")
    point_at_local_server(app)
    fx.server.reply = CRLF_REPLY
    app.click(app.BT_LOOKUP)
    received = fx.server.wait_for_connections(1)
    expect(received == [b"example.kr\r\n"], f"server received {received!r}")
    shown = app.results(CRLF_ROWS)
    expect(shown == CRLF_ROWS, f"results box shows {shown!r}")
    expect_clean_exit(app)
    return f"message box said {message_line(text)!r}; after OK the next lookup worked"


def case_button1_unedited(fx):
    app = fx.start()
    app.click(app.BUTTON1)
    app.type_into(app.ED_DOMAIN, "example.kr")
    app.desktop.key("Return")
    box = app.wait_for_message_box()
    text = app.read_message_box(box)
    expect('WHOIS query to "Edit1" port 43 failed:' in text, f"message box text: {text!r}")
    app.dismiss_message_box(box)
    expect(fx.server.connections() == [], "the local server was reached")
    expect_clean_exit(app)
    return f"message box said {message_line(text)!r}"


def message_line(text):
    line = next(line for line in text.splitlines() if "WHOIS" in line)
    return line[line.index("WHOIS"):]


def count_differing(rows_a, rows_b, x0, x1, y0, y1, dy=0):
    """Pixels that differ between a[y] and b[y + dy] in the given box."""
    n = 0
    for y in range(y0, y1):
        a, b = rows_a[y][x0 * 3:x1 * 3], rows_b[y + dy][x0 * 3:x1 * 3]
        if a != b:
            n += sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3])
    return n


def case_caption_and_scroll_bars(fx):
    app = fx.start()
    d = app.desktop
    name = d.run("xdotool", "getwindowname", str(app.window)).strip()
    expect(name == WINDOW_CAPTION, f"caption is {name!r}")
    full_size = d.geometry(app.window)
    expect(full_size == (647, 413), f"client area is {full_size}, expected 647x413")
    corner = frame_corner(d, app.window)
    expect(corner == DESIGNED_POSITION, f"the frame's corner is at {corner}, "
           f"expected the designed {DESIGNED_POSITION}")
    # Focus on a button: no blinking caret to spoil the comparison.
    app.click(app.BUTTON1)
    d.park_pointer()
    _, _, full = d.settled_capture(app.window, full_size)

    small = (400, 250)
    d.xdotool("windowsize", str(app.window), str(small[0]), str(small[1]))
    w, h, shrunk = d.settled_capture(app.window, small)
    margin = 24  # more than a scroll bar is wide
    inside = count_differing(shrunk, full, 0, w - margin, 0, h - margin)
    expect(inside == 0, f"{inside} pixels of the controls moved or changed when shrunk")
    strip = 6
    right = count_differing(shrunk, full, w - strip, w, 0, h - margin)
    bottom = count_differing(shrunk, full, 0, w - margin, h - strip, h)
    expect(right > strip * (h - margin) * 0.8, f"no vertical scroll bar ({right} pixels differ)")
    expect(bottom > strip * (w - margin) * 0.8, f"no horizontal scroll bar ({bottom} pixels differ)")

    # Scroll down with the wheel over a label: the hidden part comes into view.
    d.wheel(app.window, 20, 20, 5, 10)
    d.park_pointer()
    _, _, scrolled = d.settled_capture(app.window, small)
    offsets = [dy for dy in range(1, full_size[1] - h + margin)
               if count_differing(scrolled, full, 0, w - margin, 0, h - margin, dy) == 0]
    expect(offsets, "after scrolling the view is not the designed layout moved up")
    expect_clean_exit(app)
    return (f"caption {name!r}, frame at {corner}, client 647x413; "
            "at 400x250 both scroll bars showed and the "
            f"controls kept their places; the wheel scrolled the view down {offsets[0]} px")


def start_held_lookup(fx, app, reset):
    """Starts a lookup of example.kr at the local server, which holds it
    until fx.server.gate is set, then answers (or resets the connection);
    returns once the server has the query, the window held by the lookup."""
    fx.server.gate = threading.Event()
    fx.server.reset = reset
    fx.server.reply = CRLF_REPLY
    point_at_local_server(app)
    app.type_into(app.ED_DOMAIN, "example.kr")
    app.desktop.key("Return")
    fx.server.wait_for_queries(1)


def case_close_during_lookup(fx):
    """Alt+F4 while a lookup holds the window waits for it, like any input."""
    app = fx.start()
    start_held_lookup(fx, app, reset=False)
    app.press_alt_f4()
    fx.server.gate.set()
    code = app.wait_for_exit(10, "the reply")
    expect(code == 0, f"exit code {code}, expected 0; output: {app.output()!r}")
    received = fx.server.wait_for_connections(1)
    expect(received == [b"example.kr\r\n"], f"server received {received!r}")
    return "Alt+F4 during the lookup: the reply was read in full, then the program ended, exit code 0"


def case_close_during_failing_lookup(fx):
    """Alt+F4 while a lookup holds the window, and the lookup fails: the
    failure is shown, and once its box is dismissed the program ends."""
    app = fx.start()
    start_held_lookup(fx, app, reset=True)
    app.press_alt_f4()
    fx.server.gate.set()
    box = app.wait_for_message_box()
    text = app.read_message_box(box)
    expect('WHOIS query to "127.0.0.1" port 43 failed: the connection was reset' in text,
           f"message box text: {text!r}")
    app.desktop.key("Return")
    code = app.wait_for_exit(5, "the failure's box was dismissed")
    expect(code == 0, f"exit code {code}, expected 0; output: {app.output()!r}")
    expect(fx.server.queries() == [b"example.kr\r\n"], f"server saw {fx.server.queries()!r}")
    return f"box said {message_line(text)!r}; Enter dismissed it and the program ended, exit code 0"


def case_input_during_failing_lookup(fx):
    """Keys typed while a lookup holds the window start nothing inside the
    report of its failure; the window goes on after the box."""
    app = fx.start()
    start_held_lookup(fx, app, reset=True)
    # Enter in the domain field would start a second lookup.
    app.desktop.wm_sync("key", "--clearmodifiers", "Return")
    fx.server.gate.set()
    box = app.wait_for_message_box()
    queries = fx.server.queries()
    expect(queries == [b"example.kr\r\n"], f"with the box up, the server saw {queries!r}")
    text = app.read_message_box(box)
    expect("the connection was reset" in text, f"message box text: {text!r}")
    app.dismiss_message_box(box)
    fx.server.gate = None
    fx.server.reset = False
    app.click(app.BT_LOOKUP)
    shown = app.results(CRLF_ROWS)
    expect(shown == CRLF_ROWS, f"results box shows {shown!r}")
    queries = fx.server.queries()
    expect(queries == [b"example.kr\r\n"] * 2, f"server saw {queries!r}")
    expect_clean_exit(app)
    return "Enter typed during the failing lookup started nothing before or inside its box; " \
           "the next lookup worked"


def start_with(fx, env=None, args=()):
    app = WhoisLookupApp(fx.desktop, fx.executable, env=env, args=args)
    fx.apps.append(app)
    return app


# What a screen reader says for each control: (role, name, labelled by).
SPOKEN_CONTROLS = [
    ("text", "Domain", ["Domain"]),
    ("push button", "Look up", []),
    ("text", "Results", ["Results"]),
    ("push button", "Button1", []),
    ("text", "WHOIS server", []),
]


def case_screen_reader_names(fx):
    bus = AccessibilityBus()
    try:
        app = start_with(fx, env=bus.program_env())
        tree = bus.wait_for("the window on the accessibility bus, with a focused control",
                            lambda t: any("focused" in n["states"] for n in walk(t)) and t)
        frames = [n for n in tree["children"] if n["role"] in ("frame", "window")]
        expect([n["name"] for n in frames] == [WINDOW_CAPTION],
               f"top-level windows: {[(n['role'], n['name']) for n in tree['children']]}")
        window = frames[0]
        for role, name, labels in SPOKEN_CONTROLS:
            found = find(window, role, name)
            expect(len(found) == 1, f"{len(found)} {role!r} named {name!r}")
            expect(found[0]["labelled_by"] == labels,
                   f"{role} {name!r} is labelled by {found[0]['labelled_by']}, expected {labels}")
        for label in ("Domain", "Results"):
            expect(len(find(window, "label", label)) == 1, f"no label {label!r}")
        # Nothing a person can reach is left nameless.
        nameless = [n["role"] for n in walk(window)
                    if n["role"] in ("text", "push button") and not n["name"]]
        expect(not nameless, f"nameless controls: {nameless}")
        focused = [(n["role"], n["name"]) for n in walk(window) if "focused" in n["states"]]
        expect(focused == [("text", "Domain")], f"focused at start: {focused}")
        expect_clean_exit(app)
    finally:
        bus.close()
    spoken = "; ".join(f"{role} {name!r}" + (f" labelled by {labels[0]!r}" if labels else "")
                       for role, name, labels in SPOKEN_CONTROLS)
    return f"frame {WINDOW_CAPTION!r}: {spoken}; focus on text 'Domain' at start"


def failure_for_host(fx, host):
    """Applies host, looks a domain up there, and returns the failure as a
    person meets it: the alerts on the accessibility bus, and the text of
    the box on the screen. The box is then dismissed and the program closed."""
    bus = AccessibilityBus()
    try:
        app = start_with(fx, env=bus.program_env())
        app.type_into(app.EDIT1, host)
        app.click(app.BUTTON1)
        app.type_into(app.ED_DOMAIN, "example.kr")
        app.desktop.key("Return")
        box = app.wait_for_message_box()
        alerts = bus.wait_for("an alert on the accessibility bus", lambda t: find(t, "alert"))
        text = app.read_message_box(box)
        app.dismiss_message_box(box)
        expect_clean_exit(app)
    finally:
        bus.close()
    return alerts, text


MARKUP_HOST = "<b>x</b>.invalid"


def case_failure_alert_shows_message_as_typed(fx):
    """A host typed with markup is shown and spoken as typed, never rendered."""
    alerts, text = failure_for_host(fx, MARKUP_HOST)
    expect(len(alerts) == 1, f"{len(alerts)} alerts")
    alert = alerts[0]
    expect(alert["name"].startswith(f'WHOIS query to "{MARKUP_HOST}" port 43 failed:'),
           f"the alert says {alert['name']!r}")
    # The label in the box is read from what it displays: rendered
    # markup would be read as the bare "x.invalid".
    labels = [n["name"] for n in find(alert, "label")]
    expect(labels == [alert["name"]], f"the box's label reads {labels!r}")
    expect(MARKUP_HOST in text.replace(" ", ""), f"the box shows {text!r}")
    return f"alert {alert['name']!r}; the box shows {MARKUP_HOST!r} as typed"


PERCENT_HOST = "a%1b.invalid"


def case_failure_message_keeps_percent_signs(fx):
    """A "%1" typed into the host is named as typed, and the message has its
    port and cause each in their place."""
    alerts, text = failure_for_host(fx, PERCENT_HOST)
    expected = f'WHOIS query to "{PERCENT_HOST}" port 43 failed: the host was not found.'
    expect([a["name"] for a in alerts] == [expected], f"the alerts say {alerts!r}")
    expect(PERCENT_HOST in text.replace(" ", "") and "port 43 failed" in text,
           f"the box shows {text!r}")
    return f"alert and box both say {expected!r}"


def frame_corner(desktop, window):
    """Where the window manager put the window's frame."""
    x, y = window_position(desktop, window)
    extents = desktop.run("xprop", "-id", str(window), "_NET_FRAME_EXTENTS")
    left, _, top, _ = (int(v) for v in extents.split("=")[1].split(","))
    return x - left, y - top


def window_position(desktop, window):
    info = desktop.run("xwininfo", "-id", str(window))
    fields = dict(line.strip().split(":", 1) for line in info.splitlines() if ":" in line)
    return int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"])


def still_window(app):
    """Caption, place, size and pixels of the window at rest (the focus on
    Button1, so no caret blinks; the pointer out of the way), then the
    pixels when shrunk so that scroll bars show."""
    d = app.desktop
    caption = d.run("xdotool", "getwindowname", str(app.window)).strip()
    app.click(app.BUTTON1)
    d.park_pointer()
    size = d.geometry(app.window)
    _, _, pixels = d.settled_capture(app.window)
    small = (400, 250)
    d.xdotool("windowsize", str(app.window), str(small[0]), str(small[1]))
    _, _, shrunk = d.settled_capture(app.window, small)
    return caption, window_position(d, app.window), size, pixels + shrunk


def case_qt_options_change_nothing(fx):
    style_sheet = os.path.join(fx.desktop.env["HOME"], "red.qss")
    with open(style_sheet, "w") as f:
        f.write("* { background: red; color: yellow; font-size: 20px; }\n")
    option_sets = [
        ["-title", "X", "-qwindowtitle", "X"],
        ["-geometry", "320x200+0+0", "-qwindowgeometry", "320x200+0+0"],
        ["-reverse"],
        ["-style", "windows", "-stylesheet", style_sheet],
        ["-platform", "offscreen"],
        ["-display", ":4242"],
        ["example.kr", "-widgetcount"],
    ]
    plain = start_with(fx)
    expected = still_window(plain)
    expect_clean_exit(plain)
    plain_output = plain.output()
    problems = []
    for options in option_sets:
        what = " ".join(options)
        try:
            app = start_with(fx, args=options)
        except DesktopError as e:
            problems.append(f"with {what} no window captioned {WINDOW_CAPTION!r} came up ({e})")
            continue
        try:
            caption, place, size, pixels = still_window(app)
            if (caption, place, size) != expected[:3]:
                problems.append(f"with {what} the window is {caption!r} at {place}, {size}")
                continue
            differing = sum(a != b for a, b in zip(pixels, expected[3]))
            if differing:
                problems.append(f"with {what} {differing} rows of pixels differ")
                continue
            code = app.close()
            output = app.output()
            if code != 0 or output != plain_output:
                problems.append(f"with {what} exit code {code}, output {output!r}")
        except DesktopError as e:
            problems.append(f"with {what}: {e}")
        finally:
            app.kill()
    expect(not problems, "; ".join(problems))
    expect(fx.server.connections() == [], f"server saw {fx.server.connections()!r}")
    return (f"{len(option_sets)} runs with Qt's options ({', '.join(o[0] for o in option_sets)}) "
            "each gave the plain run's caption, place, size, and pixels at full size and "
            "shrunk to show scroll bars")


def need(missing, what):
    if missing:
        raise Skipped(f"{', '.join(missing)} missing, so no {what} here; "
                      "tools/install-deps.sh installs it")


class SessionProgram:
    """The program started in a session that no X tool reaches."""

    def __init__(self, executable, env):
        self.proc = subprocess.Popen([executable], env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT)

    def has_loaded(self, library):
        with open(f"/proc/{self.proc.pid}/maps") as maps:
            return f"/{library}" in maps.read()

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()

    def output(self):
        if self.proc.poll() is None:
            return ""
        return self.proc.stdout.read().decode(errors="replace")


def field_text(tree, name):
    found = find(tree, "text", name)
    return found[0]["text"] if len(found) == 1 else None


def wait_while_running(bus, program, what, probe, timeout=15.0):
    """Reads the program's tree until probe(tree) gives something true;
    fails at once should the program end."""
    def look():
        if program.proc.poll() is not None:
            raise DesktopError(f"the program ended (exit code {program.proc.returncode}) "
                               f"while waiting for {what}")
        tree = bus.tree()
        return tree and probe(tree)
    return wait_until(what, look, timeout, interval=0.3)


def lookups_over_accessibility(fx, bus, program):
    """A failed lookup, Button1, and a lookup against the local server,
    worked as a screen reader's user works them: fields' text set, buttons
    pressed, the results box read."""
    bus.act(["set text", "text", "Domain", "example.kr"])
    # The lookup button's press answers once the failure box has closed.
    pressing = bus.start_acting(["press", "push button", "Look up"])
    try:
        alert = wait_while_running(bus, program, "the failure box", lambda t: find(t, "alert"),
                                   timeout=30)[0]
        expect(alert["name"].startswith(f'WHOIS query to "{DEFAULT_HOST}" port 43 failed:'),
               f"the failure box says {alert['name']!r}")
        bus.act(["press", "push button", "OK"])
        pressing.finish()
    finally:
        pressing.kill()
    wait_while_running(bus, program, "the failure box to close",
                       lambda t: not find(t, "alert") and t)
    expect(fx.server.connections() == [], "the local server was reached")

    bus.act(["set text", "text", "WHOIS server", "127.0.0.1"], ["press", "push button", "Button1"])
    # A push button's press clicks it about 100 ms later; until then it is down.
    wait_while_running(bus, program, "Button1's click",
                       lambda t: all("pressed" not in n["states"]
                                     for n in find(t, "push button", "Button1")) and t)
    fx.server.reply = CRLF_REPLY
    bus.act(["set text", "text", "Domain", "example.kr"], ["press", "push button", "Look up"])
    received = fx.server.wait_for_connections(1)
    expect(received == [b"example.kr\r\n"], f"server received {received!r}")
    # The press answered once the lookup was done.
    shown = field_text(bus.tree(), "Results")
    expect(shown == CRLF_ROWS, f"results box reads {shown!r}, expected {CRLF_ROWS!r}")
    expect(program.proc.poll() is None, "the program ended after the lookup")
    return f"failure box said {alert['name']!r}; after Button1 the lookup listed the reply"


# A frame of weston's holds an X window: its border and title bar.
XWAYLAND_FRAME_MAX = (16, 48)


def client_on_screen(screen, client):
    """Where the client picture lies in the screen picture, or None."""
    probe_row = 20  # through the Domain caption and field
    probe = client[2][probe_row][:120 * 3]
    for y in range(probe_row, screen[1] - client[1] + probe_row + 1):
        at = screen[2][y].find(probe)
        while at >= 0:
            if at % 3 == 0:
                x, top = at // 3, y - probe_row
                if all(screen[2][top + r][x * 3:(x + client[0]) * 3] == client[2][r]
                       for r in range(client[1])):
                    return x, top
            at = screen[2][y].find(probe, at + 1)
    return None


def lookups_in_wayland_session(fx, executable, native):
    session = fx.screen = fx.own(wayland.WaylandSession())
    bus = fx.own(AccessibilityBus())
    program = SessionProgram(executable, dict(session.env, **bus.program_env()))
    fx.apps.append(program)
    tree = wait_while_running(bus, program, "the window on the accessibility bus",
                              lambda t: find(t, "frame") and t, timeout=20)
    windows = [(n["role"], n["name"]) for n in tree["children"]]
    expect(windows == [("frame", WINDOW_CAPTION)], f"top-level windows: {windows}")
    if native:
        expect(program.has_loaded("libqwayland-generic.so")
               or program.has_loaded("libqwayland-egl.so"), "Qt's Wayland platform is not loaded")
        expect(not program.has_loaded("libqxcb.so"), "Qt's X11 platform is loaded")
        x_windows = session.x_windows(WINDOW_CAPTION)
        expect(x_windows == [], f"an X window {x_windows} on XWayland")
        where = "a Wayland window (Qt's wayland platform, no X window)"
    else:
        expect(program.has_loaded("libqxcb.so"), "Qt's X11 platform is not loaded")
        window = wait_until("the window on XWayland",
                            lambda: session.x_windows(WINDOW_CAPTION))[0]
        client = settled_capture(session.env, window)
        expect(client[:2] == (647, 413), f"client area is {client[:2]}")
        corner = wait_until("the window on the screen",
                            lambda: client_on_screen(session.capture(), client))
        offset = (corner[0] - DESIGNED_POSITION[0], corner[1] - DESIGNED_POSITION[1])
        expect(all(0 <= o <= m for o, m in zip(offset, XWAYLAND_FRAME_MAX)),
               f"client area at {corner}: its frame is not at the designed {DESIGNED_POSITION}")
        where = (f"an X window on XWayland (Qt's xcb platform), its client area at {corner}, "
                 f"inside a frame at the designed {DESIGNED_POSITION}")
    seen = lookups_over_accessibility(fx, bus, program)
    program.kill()
    output = program.output()
    if not native:
        expect('Could not find the Qt platform plugin "wayland"' in output,
               f"Qt did not look for its Wayland platform first: {output!r}")
    return f"{where}; {seen}; still running after both"


def case_wayland_session(fx):
    need(wayland.missing_tools(), "Wayland session")
    if not wayland.qt_wayland_plugins():
        raise Skipped(f"{wayland.QT_WAYLAND_PACKAGE} is not installed, so Qt has no Wayland "
                      "platform (xwayland_without_qt_wayland shows what it does instead)")
    return lookups_in_wayland_session(fx, fx.executable, native=True)


def case_xwayland_without_qt_wayland(fx):
    need(wayland.missing_tools(), "Wayland session")
    with tempfile.TemporaryDirectory(prefix="whoislookup-no-qt-wayland-") as folder:
        executable = wayland.program_without_qt_wayland(fx.executable, folder)
        return lookups_in_wayland_session(fx, executable, native=False)


# A name in Hangul and its keys on the 2-set keyboard (ㅎㅏㄴ ㄱㅜㄱ).
HANGUL_NAME, HANGUL_KEYS = "한국", "gksrnr"
# The Hangul engine's switch between Latin and Hangul (the Hangul key is the other).
SWITCH_KEY = "shift+space"


def case_hangul_input_method(fx):
    need(inputmethod.missing_parts(), "IBus with its Hangul engine")
    bus = fx.own(AccessibilityBus())
    ibus = fx.own(inputmethod.IBus(fx.desktop.env, bus.address()))
    app = start_with(fx, env=dict(bus.program_env(), **ibus.program_env()))
    fx.server.reply = CRLF_REPLY
    d = app.desktop

    def wait_for_field(text, name="Domain"):
        try:
            return bus.wait_for(f"{text!r} in the field {name!r}",
                                lambda t: field_text(t, name) == text and t)
        except DesktopError as e:
            raise DesktopError(f"{e}; it holds {field_text(bus.tree(), name)!r}")

    # Keys reach the field once IBus has passed them on, a click at once:
    # the host must be in the field before Button1 is clicked.
    app.type_into(app.EDIT1, "127.0.0.1")
    wait_for_field("127.0.0.1", "WHOIS server")
    app.click(app.BUTTON1)

    # Hangul on, the name, Hangul off, the rest in Latin.
    app.click(app.ED_DOMAIN)
    d.key(SWITCH_KEY)
    d.type(HANGUL_KEYS)
    d.key(SWITCH_KEY)
    wait_for_field(HANGUL_NAME)
    d.type(".kr")
    wait_for_field(HANGUL_NAME + ".kr")
    d.key("Return")
    received = fx.server.wait_for_connections(1)
    sent = (HANGUL_NAME + ".kr\r\n").encode()
    expect(received == [sent], f"server received {received!r}, expected {sent!r}")
    bus.wait_for("the reply in the results box",
                 lambda t: field_text(t, "Results") == CRLF_ROWS and t)

    # Enter while the last syllable is still being composed: the field
    # shows it, underlined, but its text does not hold it yet.
    d.key("ctrl+a")
    d.key(SWITCH_KEY)
    d.type(HANGUL_KEYS)
    wait_for_field(HANGUL_NAME[0])
    d.key("Return")
    received = fx.server.wait_for_connections(2)
    sent = (HANGUL_NAME + "\r\n").encode()
    expect(received[1:] == [sent], f"server received {received[1:]!r}, expected {sent!r}")
    # Switching back would commit anything still being composed; the x
    # typed after it marks where the field's text ends.
    d.key(SWITCH_KEY)
    d.type("x")
    tree = bus.wait_for("the x typed after the lookup",
                        lambda t: (field_text(t, "Domain") or "").endswith("x") and t)
    shown = field_text(tree, "Domain")
    expect(shown == HANGUL_NAME + "x", f"the field holds {shown!r} after the lookup")
    expect(len(fx.server.connections()) == 2, "more than one lookup for one Enter")
    expect_clean_exit(app)
    return (f"{HANGUL_KEYS} in Hangul mode, then .kr: server got {HANGUL_NAME}.kr CR LF in UTF-8; "
            f"Enter with {HANGUL_NAME[1]} still being composed committed it and looked up "
            f"{HANGUL_NAME}, which the field holds")


GLYPH_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir, "ui",
                          "lookup.bmp")
# The desktop's 125 % and 150 %: Xft.dpi, and the client area the designed
# 647 x 413 becomes.
SCALES = [(120, (809, 516)), (144, (970, 620))]
# Framed controls, as designed: (left, top, right, bottom) in the client area.
FRAMED = [
    ("btLookup", (544, 11, 567, 33)),
    ("edDomain", (56, 12, 537, 33)),
    ("meResults", (6, 56, 647, 313)),
    ("Button1", (296, 352, 371, 377)),
    ("Edit1", (128, 352, 273, 373)),
]
# Texts, each with the room it has: a caption up to the control beside or
# below it, or the inside of its control.
TEXTS = [
    ("the Domain caption", (8, 12, 56, 33)),
    ("the Results caption", (8, 36, 647, 56)),
    ("Button1's caption", (296, 352, 371, 377)),
    ("Edit1's text", (128, 352, 273, 373)),
]


def window_at_rest(fx, dpi, client):
    """A picture of the window at rest on a screen scaled by Xft.dpi."""
    desktop = fx.screen = fx.own(Desktop(1920, 1200, dpi=dpi))
    app = WhoisLookupApp(desktop, fx.executable)
    fx.apps.append(app)
    size = desktop.geometry(app.window)
    expect(all(abs(a - b) <= 1 for a, b in zip(size, client)),
           f"the client area is {size[0]}x{size[1]}, expected about {client[0]}x{client[1]}")
    # The focus on Button1, so that no caret blinks.
    app.click(tuple(round(v * dpi / 96) for v in app.BUTTON1))
    desktop.park_pointer()
    return desktop, app, desktop.settled_capture(app.window)


def scaling_problems(shot, scale, plain_ink, glyph):
    """What in the picture at scale is out of proportion, or blurred."""
    problems = []

    def check(ok, problem):
        if not ok:
            problems.append(problem)

    outlines = {}
    for name, box in FRAMED:
        expected = picture.scaled(box, scale)
        got = outlines[name] = picture.outline(
            shot, (expected[0] - 3, expected[1] - 3, expected[2] + 3, expected[3] + 3))
        check(got and all(abs(a - b) <= 1 for a, b in zip(got, expected)),
              f"{name} is drawn at {got}, expected {expected}")
    for name, room in TEXTS:
        room = picture.scaled(room, scale)
        got = picture.ink(shot, room)
        if not got:
            check(False, f"{name} is not there")
            continue
        check(picture.inside(got, room, 1), f"{name} at {got} is not inside {room}")
        # Where its ink is at 100 %, times the scale.
        expected = [v * scale for v in plain_ink[name]]
        check(all(abs(a - b) <= 2 for a, b in zip(got, expected)),
              f"{name} is inked at {got}, expected {tuple(round(v) for v in expected)}")
    # The glyph by whole pixels, the largest enlargement that fits the place
    # the button gives it, centred in the button.
    button = outlines["btLookup"]
    factor = max(1, round(16 * scale) // 16)
    places = picture.find_glyph(shot, button, glyph, factor) if button else []
    check(len(places) == 1, f"the glyph is not drawn {factor}:1 in the button ({places})")
    if len(places) == 1 and button:
        middle = [(button[0] + button[2]) / 2, (button[1] + button[3]) / 2]
        glyph_middle = [places[0][0] + 8 * factor, places[0][1] + 8 * factor]
        check(all(abs(a - b) <= 1 for a, b in zip(glyph_middle, middle)),
              f"the glyph's middle {glyph_middle} is not the button's {middle}")
    return problems


def case_fractional_scaling(fx):
    glyph = picture.read_glyph(GLYPH_FILE)
    desktop, app, plain = window_at_rest(fx, 96, (647, 413))
    expect_clean_exit(app)
    fx.close(desktop)
    plain_ink = {name: picture.ink(plain, room) for name, room in TEXTS}
    problems, seen = [], []
    for dpi, client in SCALES:
        scale = dpi / 96
        percent = f"{round(scale * 100)} %"
        try:
            desktop, app, shot = window_at_rest(fx, dpi, client)
            found = scaling_problems(shot, scale, plain_ink, glyph)
            if found:
                path = os.path.join(fx.out_dir, f"e2e-fractional_scaling-{dpi}.png")
                desktop.screenshot(path, app.window)
                found.append(f"window: {path}")
            expect_clean_exit(app)
            fx.close(desktop)
        except AssertionError as e:
            found = [str(e)]
        problems += [f"at {percent} {p}" for p in found]
        if not found:
            seen.append(f"{percent}: {shot[0]}x{shot[1]}")
    expect(not problems, "; ".join(problems))
    return ("controls where designed times the scale, captions and text in proportion and "
            "inside their controls, the glyph 16 px and sharp in the button's middle; "
            + ", ".join(seen))


CASES = [
    ("start_and_close", case_start_and_close),
    ("lookups_against_local_server", case_lookups_against_local_server),
    ("leading_blank_rows", case_leading_blank_rows),
    ("enter_in_edit1", case_enter_in_edit1),
    ("default_host_fails_then_window_works", case_default_host_fails_then_window_works),
    ("button1_unedited", case_button1_unedited),
    ("caption_and_scroll_bars", case_caption_and_scroll_bars),
    ("screen_reader_names", case_screen_reader_names),
    ("failure_alert_shows_message_as_typed", case_failure_alert_shows_message_as_typed),
    ("failure_message_keeps_percent_signs", case_failure_message_keeps_percent_signs),
    ("qt_options_change_nothing", case_qt_options_change_nothing),
    ("close_during_lookup", case_close_during_lookup),
    ("close_during_failing_lookup", case_close_during_failing_lookup),
    ("input_during_failing_lookup", case_input_during_failing_lookup),
    ("wayland_session", case_wayland_session),
    ("xwayland_without_qt_wayland", case_xwayland_without_qt_wayland),
    ("hangul_input_method", case_hangul_input_method),
    ("fractional_scaling", case_fractional_scaling),
]


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    executable, out_dir = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    check_tools()
    enter_private_network()

    only = set(filter(None, os.environ.get("WHOISLOOKUP_E2E_CASES", "").split(",")))
    unknown = only - {name for name, _ in CASES}
    if unknown:
        sys.exit(f"FAILED: no such case: {', '.join(sorted(unknown))}")
    repeat = int(os.environ.get("WHOISLOOKUP_E2E_REPEAT", "1"))
    passed = failed = skipped = 0
    desktop = Desktop()
    try:
        for name, case in [c for c in CASES if not only or c[0] in only] * repeat:
            server = WhoisServer()
            fixture = Fixture(executable, desktop, server, out_dir)
            started = time.monotonic()
            try:
                seen = case(fixture)
                passed += 1
                print(f"PASS {name} ({time.monotonic() - started:.1f} s): {seen}", flush=True)
            except Skipped as e:
                skipped += 1
                print(f"SKIP {name}: {e}", flush=True)
            except (AssertionError, DesktopError, OSError) as e:
                failed += 1
                shot = os.path.join(out_dir, f"e2e-{name}.png")
                try:
                    fixture.screen.screenshot(shot)
                except Exception as shot_error:
                    shot = f"(no picture: {shot_error})"
                print(f"FAIL {name}: {e}\n  screen: {shot}", flush=True)
                traceback.print_exc()
            finally:
                fixture.cleanup()
                server.close()
    finally:
        desktop.close()
    print(f"{passed} passed, {failed} failed, {skipped} skipped", flush=True)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
