#!/usr/bin/python3
"""What a screen reader gets from Quorel over AT-SPI, in English and in Portuguese.

Starts a private X server, a private session bus with the accessibility bus launcher, and an
XEmbed tray (trayer); then the quorel binary with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1. Over
AT-SPI it reads the focus order of the main window and of the tray panel (pressing Tab and
reading the focused object each time) and every slider's name, value and description. Checks:
the main window's order begins with the sidebar (web site link, five rows, the switch) and has
no stop without a name (the scroll area had one); the tray panel is a dialog named "Quorel
panel" ("Painel do Quorel") among the application's windows, whose controls a screen reader
browses (each named, its four sliders with their values) and reaches by Tab in that same order,
beginning with its power button; every slider speaks its value with its unit in the language
("6.0 dB" / "6,0 dB", "50%").

Usage: atspi_readings.py QUOREL_BINARY OUTPUT_FILE. Exits 77 (skipped) when pyatspi or a helper
program is missing.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def skip(why):
    print("skipped: " + why)
    sys.exit(SKIP)


def start_ready(arguments, env=None):
    """Starts a helper that writes one line to the pipe given as {fd} once it is ready."""
    read_end, write_end = os.pipe()
    process = subprocess.Popen([a.replace("{fd}", str(write_end)) for a in arguments], env=env,
                               pass_fds=(write_end,), stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    line = b""
    deadline = time.time() + 30
    while not line.endswith(b"\n") and time.time() < deadline:
        chunk = os.read(read_end, 256)
        if not chunk:
            break
        line += chunk
    os.close(read_end)
    return process, line.decode().strip()


def wait_for(condition, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    return condition()


class Session:
    def __init__(self, binary, home):
        self.binary = binary
        self.home = home
        self.children = []
        xvfb, display = start_ready(["Xvfb", "-displayfd", "{fd}", "-nolisten", "tcp", "-screen", "0",
                                     "1400x1000x24", "-noreset"])
        self.children.append(xvfb)
        bus, address = start_ready(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                    "--print-address={fd}", "--address=unix:tmpdir=" + home])
        self.children.append(bus)
        if not display or not address:
            raise RuntimeError("Xvfb or dbus-daemon did not start")
        self.env = dict(os.environ, DISPLAY=":" + display, DBUS_SESSION_BUS_ADDRESS=address,
                        XDG_RUNTIME_DIR=home, XDG_CONFIG_HOME=home + "/config",
                        XDG_STATE_HOME=home + "/state", QT_QPA_PLATFORM="xcb",
                        QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                        PULSE_SERVER="unix:/nonexistent/quorel-test/native",
                        PIPEWIRE_REMOTE="/nonexistent/quorel-test/pipewire-0")
        self.env.pop("XDG_CURRENT_DESKTOP", None)
        self.spawn([LAUNCHER, "--launch-immediately"])
        self.spawn(["trayer"])
        # pyatspi finds the accessibility bus through the session bus it was started with.
        os.environ.update(DISPLAY=self.env["DISPLAY"], DBUS_SESSION_BUS_ADDRESS=address)
        if not wait_for(lambda: subprocess.run(
                ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                 "org.a11y.Bus.GetAddress"], env=self.env, capture_output=True).returncode == 0, 20):
            raise RuntimeError("the accessibility bus did not start")

    def spawn(self, arguments):
        process = subprocess.Popen(arguments, env=self.env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.children.append(process)
        return process

    def xdotool(self, *arguments):
        return subprocess.run(["xdotool", *arguments], env=self.env, capture_output=True, text=True).stdout

    def close(self):
        for process in reversed(self.children):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()


def walk(accessible, depth=0):
    yield accessible
    if depth > 60:
        return
    for i in range(accessible.childCount):
        child = accessible.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def describe(accessible):
    return "%s '%s'" % (accessible.getRoleName(), accessible.name) + (
        " [%s]" % accessible.description if accessible.description else "")


class FocusListener:
    """The objects that announce that they took the focus, as a screen reader hears them: each
    as (role, description). The role is compared, not its name, which AT-SPI spells differently
    from one version to another ("push button", "button")."""

    def __init__(self, pyatspi):
        from gi.repository import GLib
        self.context = GLib.MainContext.default()
        self.focused = []
        pyatspi.Registry.registerEventListener(self.on_focus, "object:state-changed:focused")

    def on_focus(self, event):
        if event.detail1 == 1 and event.source is not None:
            self.focused.append((event.source.getRole(), describe(event.source)))

    def pump(self, seconds):
        deadline = time.time() + seconds
        while time.time() < deadline:
            while self.context.pending():
                self.context.iteration(False)
            time.sleep(0.02)


def focus_order(session, listener, limit=80):
    """From the stop that has the focus, presses Tab until the focus comes back to the first
    stop; the stops in order, each as (role, description)."""
    listener.pump(0.5)
    order = listener.focused[-1:]
    for _ in range(limit):
        listener.focused.clear()
        session.xdotool("key", "--clearmodifiers", "Tab")
        listener.pump(0.4)
        if not listener.focused:
            continue
        stop = listener.focused[-1]
        if order and stop[1] == order[0][1]:
            break
        order.append(stop)
    return order


def read_language(session, pyatspi, listener, language, out):
    config = os.path.join(session.home, "config", "Quorel")
    os.makedirs(config, exist_ok=True)
    with open(os.path.join(config, "Quorel.conf"), "w") as settings:
        settings.write("[General]\nQuorel.Language=%s\nCorvanta.Onboarding.v1=true\n" % language)
    quorel = session.spawn([session.binary])
    try:
        def find_app():
            desktop = pyatspi.Registry.getDesktop(0)
            desktop.clear_cache()
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                if app is not None and app.name.lower() == "quorel":
                    return app
            return None
        app = wait_for(find_app, 30)
        assert app is not None, "quorel did not appear on the accessibility bus"
        main = wait_for(lambda: next((w for w in walk(app) if w.getRole() == pyatspi.ROLE_FRAME and
                                      w.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).width >= 1000), None), 20)
        assert main is not None, "no main window"
        out.append("== %s ==" % language)

        sliders = [w for w in walk(main) if w.getRole() == pyatspi.ROLE_SLIDER]
        out.append("-- sliders (name = value: description) --")
        decimal = "," if language == "pt-BR" else "."
        spoken = re.compile(r"^(-?\d+%s\d [^ ]+|\d+%%)$" % re.escape(decimal))
        problems = []
        for slider in sliders:
            value = slider.queryValue().currentValue
            out.append("%s = %g: %s" % (slider.name, value, slider.description))
            if not spoken.match(slider.description):
                problems.append("slider %s speaks %r" % (slider.name, slider.description))

        windows = [w for w in session.xdotool("search", "--class", "Quorel").split() if w]
        geometry = {w: session.xdotool("getwindowgeometry", w) for w in windows}
        big = [w for w in windows if "1120x" in geometry[w] or re.search(r"Geometry: 1\d{3}x", geometry[w])]
        assert big, "no main window on the display"
        listener.focused.clear()
        session.xdotool("windowfocus", "--sync", big[0])
        order = focus_order(session, listener)
        out.append("-- main window, Tab order --")
        out.extend(text for _, text in order)
        roles = [role for role, _ in order]
        if roles[:6] != [pyatspi.ROLE_PUSH_BUTTON] * 6:
            problems.append("the main window's order does not begin with the sidebar")
        problems += ["a stop without a name: " + text for _, text in order if "''" in text]

        icon = [w for w in windows if re.search(r"Geometry: (1\d|2\d)x(1\d|2\d)\b", geometry[w])]
        assert icon, "no tray icon in trayer"
        listener.focused.clear()
        session.xdotool("mousemove", "--window", icon[0], "5", "5", "click", "1")
        panel_name = "Painel do Quorel" if language == "pt-BR" else "Quorel panel"

        def find_panel():
            app.clear_cache()
            return next((w for w in walk(app) if w.getRole() == pyatspi.ROLE_DIALOG and w.name == panel_name
                         and w.getState().contains(pyatspi.STATE_SHOWING)), None)
        panel = wait_for(find_panel, 10)
        out.append("-- tray panel, as browsed --")
        if panel is None:
            problems.append("no dialog %r among the application's windows" % panel_name)
        else:
            out.append(describe(panel))
            # Moved as an assistive technology moves them: Boost to 6 dB, Loudness to half.
            sliders = [w for w in walk(panel) if w.getRole() == pyatspi.ROLE_SLIDER]
            for slider, value in zip(sliders, (6.0, 0.5)):
                slider.queryValue().currentValue = value
            expected = {"Boost": "6%s0 dB" % decimal, "Loudness": "50%"}
            for slider in sliders[:2]:
                heard = wait_for(lambda: slider.description == expected[slider.name] and slider.description, 5)
                if not heard:
                    problems.append("tray slider %s set by AT-SPI speaks %r" % (slider.name, slider.description))
            # What a screen reader's browse mode walks: every control, in tree order.
            browsed = [w for w in walk(panel) if w.getState().contains(pyatspi.STATE_FOCUSABLE)
                       and w.getState().contains(pyatspi.STATE_SHOWING)]
            for control in browsed:
                line = describe(control)
                if control.getRole() == pyatspi.ROLE_SLIDER:
                    line += " value %g" % control.queryValue().currentValue
                    if not spoken.match(control.description):
                        problems.append("tray slider %s speaks %r" % (control.name, control.description))
                out.append(line)
            problems += ["a control without a name: " + describe(w) for w in browsed if not w.name]
            if len([w for w in browsed if w.getRole() == pyatspi.ROLE_SLIDER]) != 4:
                problems.append("the tray panel does not show its four sliders")
        listener.pump(1.0)
        order = focus_order(session, listener)
        out.append("-- tray panel, Tab order --")
        out.extend(text for _, text in order)
        if not order or order[0][0] != pyatspi.ROLE_PUSH_BUTTON:
            problems.append("the tray panel's order does not begin with its power button")
        if panel is not None and [text for _, text in order] != [describe(w) for w in browsed]:
            problems.append("the tray panel's Tab order is not its reading order")
        return problems
    finally:
        quorel.terminate()
        try:
            quorel.wait(15)
        except subprocess.TimeoutExpired:
            quorel.kill()
            quorel.wait()


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    binary, output = sys.argv[1], sys.argv[2]
    for program in ("Xvfb", "dbus-daemon", "dbus-send", "trayer", "xdotool"):
        if shutil.which(program) is None:
            skip(program + " is not installed")
    if not os.path.exists(LAUNCHER):
        skip("at-spi2-core is not installed")
    home = tempfile.mkdtemp(prefix="quorel-atspi.")
    os.chmod(home, 0o700)
    session = None
    try:
        session = Session(binary, home)
        try:
            import pyatspi
        except ImportError:
            skip("python3-pyatspi is not installed")
        readings, problems = [], []
        listener = FocusListener(pyatspi)
        for language in ("en", "pt-BR"):
            problems += read_language(session, pyatspi, listener, language, readings)
        os.makedirs(os.path.dirname(output), exist_ok=True)
        with open(output, "w") as file:
            file.write("\n".join(readings) + "\n")
        print("\n".join(readings))
        for problem in problems:
            print("FAIL: " + problem)
        return 1 if problems else 0
    finally:
        if session:
            session.close()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
