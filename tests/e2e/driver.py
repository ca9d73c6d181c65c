#!/usr/bin/python3
"""End-to-end driver of the desktop program.

Runs one scenario of scenarios.py against the real tavrin_rx_ctrl: its own X
server (Xvfb) with openbox, a private session bus for the accessibility tree,
a simulated unit that logs every request it takes in, and the program started
from a program folder of its own. Controls are found only through the
accessibility tree (role and name) and used only through the X server (XTest
by xdotool, the window manager by wmctrl).

    driver.py --bin BUILD/bin --scenario NAME [--work DIR] [--screenshots DIR]
    driver.py --list      # "NAME TIMEOUT" a line, for CTest

Ends every process it started, by pid, also on failure; on failure leaves a
screenshot of the screen in the work folder and prints its path.
Needs Debian's /usr/bin/python3 (python3-pyatspi).
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scenarios  # noqa: E402

PROGRAM = "tavrin_rx_ctrl"
SIM = "tavrin_unit_sim"
SCREEN = "1280x1024x24"
STEP_WAIT_S = 15.0          # default wait for a condition to come true
POLL_S = 0.2
KILLED = "--- killed ---\n"
# A dark colour scheme in KDE's format (red,green,blue) and the Fusion style.
DARK_KDEGLOBALS = "[General]\nwidgetStyle=Fusion\n" + "".join(
    "[Colors:%s]\nBackgroundNormal=%s\nForegroundNormal=230,230,230\n" % group
    for group in (("Button", "55,55,60"), ("Window", "45,45,48"), ("View", "30,30,32"), ("Selection", "61,110,200")))


class Failure(Exception):
    pass


def case_resources(index):
    """Display number and loopback address of the scenario at `index`: each
    case has its own, so that cases run side by side."""
    return 140 + index, "127.0.%d.9" % (140 + index)


def descendants(pids, marker):
    """Every live process below `pids` (by the parent links in /proc), and
    those carrying `marker` in their environment: the services the session
    bus started, which leave their parent (the case's runtime folder is in
    their environment and in no one else's)."""
    children, marked = {}, []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
            ppid = int(stat[stat.rindex(")") + 2:].split()[1])
            with open("/proc/%s/environ" % entry, "rb") as f:
                if marker in f.read().split(b"\0"):
                    marked.append(int(entry))
        except (OSError, ValueError, IndexError):
            continue
        children.setdefault(ppid, []).append(int(entry))
    found, todo = [], list(pids)
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found + [p for p in marked if p not in found and p not in pids and p != os.getpid()]


class Rig:
    """The processes of one case and the ways to reach them."""

    def __init__(self, bin_dir, work, display, address):
        self.bin_dir = bin_dir
        self.work = work
        self.display = ":%d" % display
        self.display_number = display
        self.address = address
        self.program_folder = os.path.join(work, "program")
        self.request_log = os.path.join(work, "requests.log")
        self.pids = []          # in start order; ended in reverse
        self.sim = None
        self.program = None
        self.mark = 0
        self.env = dict(os.environ)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env["DISPLAY"] = self.display
        # A runtime folder of its own: the accessibility bus puts its socket there.
        self.env["XDG_RUNTIME_DIR"] = os.path.join(work, "runtime")
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700)
        os.makedirs(os.path.join(self.program_folder, "ports"), exist_ok=True)

    # ---- processes ------------------------------------------------------
    def spawn(self, argv, name, env=None):
        out = open(os.path.join(self.work, name + ".out"), "ab")
        proc = subprocess.Popen(argv, stdout=out, stderr=subprocess.STDOUT, env=env or self.env,
                                stdin=subprocess.DEVNULL)
        out.close()
        self.pids.append(proc.pid)
        return proc

    def start_desktop(self):
        lock = "/tmp/.X%d-lock" % self.display_number
        holder = read(lock).strip()
        if holder.isdigit() and alive(int(holder)):
            raise Failure("display %s is in use by process %s (%s)" % (self.display, holder, lock))
        self.spawn(["Xvfb", self.display, "-screen", "0", SCREEN, "-nolisten", "tcp", "-noreset"], "xvfb")
        wait_for(lambda: subprocess.run(["xdotool", "getdisplaygeometry"], env=self.env,
                                        capture_output=True).returncode == 0, 20, "the X server")
        self.spawn(["openbox"], "openbox")
        wait_for(lambda: subprocess.run(["wmctrl", "-m"], env=self.env, capture_output=True).returncode == 0,
                 20, "the window manager")
        bus = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
                             env=self.env, capture_output=True, text=True, check=True).stdout.split()
        self.pids.append(int(bus[1]))
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus[0]
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus[0]
        os.environ["DISPLAY"] = self.display
        os.environ["XDG_RUNTIME_DIR"] = self.env["XDG_RUNTIME_DIR"]

    def start_sim(self, serial=True, tcp=False):
        argv = [os.path.join(self.bin_dir, SIM), "--request-log", self.request_log, "--restart-ms", "3000"]
        if serial:
            argv += ["--serial-link", os.path.join(self.program_folder, "ports", "COM1")]
        else:
            argv += ["--no-serial"]
        if tcp:
            argv += ["--tcp", self.address]
        self.sim = self.spawn(argv, "sim")
        wait_for(lambda: "model" in read(os.path.join(self.work, "sim.out")).split(KILLED)[-1]
                 or self.sim.poll() is not None, 10, "the simulated unit")
        if self.sim.poll() is not None:
            raise Failure("the simulated unit did not start: " + read(os.path.join(self.work, "sim.out")))

    def kill_sim(self):
        self.sim.kill()
        self.sim.wait()
        self.pids.remove(self.sim.pid)
        with open(os.path.join(self.work, "sim.out"), "a") as f:
            f.write(KILLED)

    def dark_desktop(self):
        """A dark desktop as KDE Plasma gives one to every Qt program: its
        colour scheme in kdeglobals, read by Qt's own KDE theme. Takes effect
        for the program started after it."""
        config = os.path.join(self.work, "config")
        os.makedirs(config, exist_ok=True)
        with open(os.path.join(config, "kdeglobals"), "w") as f:
            f.write(DARK_KDEGLOBALS)
        self.env.update(XDG_CONFIG_HOME=config, XDG_CURRENT_DESKTOP="KDE", KDE_SESSION_VERSION="5")

    def start_program(self):
        exe = os.path.join(self.program_folder, PROGRAM)
        if not os.path.exists(exe):
            shutil.copy2(os.path.join(self.bin_dir, PROGRAM), exe)
        env = dict(self.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
        self.program = self.spawn([exe], "program", env)

    def stop_all(self):
        """Ends what this case started, by pid: the processes it spawned and
        those they started in turn (the accessibility bus and registry that
        the session bus activated)."""
        marker = ("XDG_RUNTIME_DIR=" + self.env["XDG_RUNTIME_DIR"]).encode()
        everything = self.pids + descendants(self.pids, marker)
        print("ending the case's processes: %s" % " ".join(map(str, everything)), flush=True)
        for pid in reversed(everything):
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        deadline = time.time() + 5
        for pid in everything:
            while time.time() < deadline and alive(pid):
                reap(pid)
                time.sleep(0.05)
            if alive(pid):
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            reap(pid)
        self.pids = []

    def screenshot(self, path, window=None):
        argv = ["import", "-display", self.display, "-window", "root"]
        if window is not None:
            x, y, w, h = window
            argv += ["-crop", "%dx%d+%d+%d" % (w, h, x, y)]
        subprocess.run(argv + [path], env=self.env, capture_output=True, timeout=30)
        return path

    # ---- what the unit received ------------------------------------------
    def requests(self):
        return read(self.request_log).splitlines()

    def set_mark(self):
        self.mark = len(self.requests())

    def requests_since_mark(self):
        return self.requests()[self.mark:]


def read(path):
    try:
        with open(path, errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().split(")")[-1].split()[0] != "Z"
    except OSError:
        return False


def reap(pid):
    try:
        os.waitpid(pid, os.WNOHANG)
    except ChildProcessError:
        pass


def wait_for(condition, seconds, what):
    deadline = time.time() + seconds
    while True:
        result = condition()
        if result:
            return result
        if time.time() > deadline:
            raise Failure("timed out after %g s waiting for %s" % (seconds, what))
        time.sleep(POLL_S)


# ---- the accessibility tree ------------------------------------------------
class Screen:
    """Finds controls by role and name and uses them through the X server."""

    WINDOW_ROLES = ("frame", "dialog", "window", "file chooser", "alert")

    def __init__(self, rig):
        import pyatspi  # the session bus of the case must be set first
        self.atspi = pyatspi
        self.rig = rig

    def app(self):
        desktop = self.atspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            a = desktop.getChildAtIndex(i)
            if a is not None and a.name == PROGRAM:
                return a
        return None

    def showing(self, obj):
        try:
            return obj.getState().contains(self.atspi.STATE_SHOWING)
        except Exception:
            return False

    def windows(self):
        app = self.app()
        if app is None:
            return []
        out = []
        for i in range(app.childCount):
            w = app.getChildAtIndex(i)
            if w is not None and self.showing(w):
                out.append(w)
        return out

    def window(self, title):
        for w in self.windows():
            if w.name == title:
                return w
        return None

    def walk(self, root):
        """Showing objects under `root`, depth first (hidden subtrees skipped)."""
        stack = [root]
        while stack:
            obj = stack.pop()
            try:
                n = obj.childCount
            except Exception:
                continue
            kids = []
            for i in range(n):
                try:
                    c = obj.getChildAtIndex(i)
                except Exception:
                    c = None
                if c is not None and self.showing(c):
                    kids.append(c)
            for c in kids:
                yield c
            stack.extend(reversed(kids))

    @staticmethod
    def name_matches(obj_name, name):
        # A menu entry's name may carry its shortcut after a tab.
        return obj_name == name or obj_name.startswith(name + "\t")

    def role(self, obj):
        try:
            return obj.getRoleName()
        except Exception:
            return ""

    def enabled(self, obj):
        try:
            return obj.getState().contains(self.atspi.STATE_ENABLED)
        except Exception:
            return False

    def find(self, roles, name, window=None, enabled=False):
        """The first showing control of `roles` (None: any) named `name`; with
        `enabled`, the first one that takes input (a disabled twin, such as
        the other mode's column, is passed over)."""
        roots = [self.window(window)] if window else self.windows()
        for root in roots:
            if root is None:
                continue
            for obj in self.walk(root):
                if ((roles is None or self.role(obj) in roles) and self.name_matches(obj.name or "", name)
                        and (not enabled or self.enabled(obj))):
                    return obj
        return None

    def extents(self, obj):
        e = obj.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)
        return e.x, e.y, e.width, e.height

    FIELD_ROLES = ("entry", "text", "password text", "spin button")

    def field(self, name, window=None):
        """An edit field that takes input, by its accessible name; a control
        holding several fields (the IP address) gives its first."""
        obj = self.find(self.FIELD_ROLES, name, window, enabled=True)
        if obj is None:
            holder = self.find(("filler", "panel"), name, window)
            inner = [o for o in self.walk(holder) if self.role(o) in self.FIELD_ROLES] if holder else []
            obj = min(inner, key=lambda o: self.extents(o)[0]) if inner else None
        return obj

    def focused(self, window):
        """The control of `window` that has the keyboard focus, or None (a
        tab calls itself focused whenever it is the current one: only a
        control that can take the focus counts)."""
        root = self.window(window)
        for obj in self.walk(root) if root else []:
            try:
                state = obj.getState()
                if state.contains(self.atspi.STATE_FOCUSED) and state.contains(self.atspi.STATE_FOCUSABLE):
                    return obj
            except Exception:
                pass
        return None

    def text_of(self, obj):
        try:
            t = obj.queryText()
            return t.getText(0, t.characterCount)
        except Exception:
            return obj.name or ""

    def states(self, obj):
        return {self.atspi.stateToString(s) for s in obj.getState().getStates()}

    def dump(self, path):
        lines = []
        for w in self.windows():
            lines.append("window %r" % w.name)
            for obj in self.walk(w):
                try:
                    lines.append("  %s %r %r %s %s" % (self.role(obj), obj.name, obj.description,
                                                       self.extents(obj), ",".join(sorted(self.states(obj)))))
                except Exception:
                    pass
        with open(path, "w") as f:
            f.write("\n".join(lines) + "\n")
        return path

    # ---- input through the X server ------------------------------------
    def xdo(self, *args):
        subprocess.run(["xdotool"] + list(args), env=self.rig.env, check=True, capture_output=True)

    def click(self, obj, button="1"):
        x, y, w, h = self.extents(obj)
        if w <= 0 or h <= 0:
            raise Failure("%s %r has no place on the screen" % (self.role(obj), obj.name))
        self.xdo("mousemove", "--sync", str(x + w // 2), str(y + h // 2))
        self.xdo("click", button)

    def program_windows(self):
        """The program's X windows on the screen (popup menus included)."""
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", PROGRAM],
                               env=self.rig.env, capture_output=True, text=True)
        return found.stdout.split()

    def type(self, text):
        self.xdo("type", "--delay", "40", "--", text)

    def key(self, *keys):
        self.xdo("key", "--delay", "60", *keys)

    def wm(self, *args):
        subprocess.run(["wmctrl"] + list(args), env=self.rig.env, check=True, capture_output=True)


# ---- the steps of the scenario table -----------------------------------------
class Runner:
    def __init__(self, rig, screenshots):
        self.rig = rig
        self.screen = None
        self.screenshots = screenshots

    def run(self, steps):
        for number, step in enumerate(steps, 1):
            op = step[0]
            args = [a.format(**self.words()) if isinstance(a, str) and "{" in a else a for a in step[1:]]
            print("  step %d: %s %s" % (number, op, " ".join(repr(a) for a in args)), flush=True)
            getattr(self, "op_" + op)(*args)

    def words(self):
        """What the table's texts may name: the unit's address."""
        return {"address": self.rig.address}

    def need(self, finder, what, seconds=STEP_WAIT_S):
        return wait_for(finder, seconds, what)

    def control(self, roles, name, window=None, seconds=STEP_WAIT_S, enabled=False):
        roles = (roles,) if isinstance(roles, str) else roles
        return self.need(lambda: self.screen.find(roles, name, window, enabled),
                         "%s %r%s%s" % ("/".join(roles) if roles else "control", name,
                                        " in %r" % window if window else "", " to take input" if enabled else ""),
                         seconds)

    # processes
    def op_sim(self, serial=True, tcp=False):
        self.rig.start_sim(serial, tcp)

    def op_dark_desktop(self):
        self.rig.dark_desktop()

    def op_kill_sim(self):
        self.rig.kill_sim()

    def op_program(self):
        self.rig.start_program()
        if self.screen is None:
            self.screen = Screen(self.rig)
        self.need(lambda: self.screen.window(scenarios.MAIN_TITLE), "the main window", 40)

    # input
    def op_click(self, roles, name, window=None):
        self.screen.click(self.control(roles, name, window, enabled=True))

    def op_menu(self, menu, entry):
        self.screen.click(self.control(("menu", "menu item"), menu))
        self.screen.click(self.control("menu item", entry))

    def op_type_into(self, name, text, window=None):
        obj = self.need(lambda: self.screen.field(name, window), "the field %r" % name)
        self.screen.click(obj)
        self.screen.key("ctrl+a")
        self.screen.type(text)

    PASTES = {
        "keys": (("1",), ("ctrl+v",)),        # a click, then Ctrl+V
        "menu": (("3",), ("p",)),             # the field's menu, its "&Paste"
        "middle": (("2",), ()),               # the X selection, by a middle click
    }

    def op_paste_into(self, name, window=None, how="keys"):
        """A paste into the field `name` (its first field, for the IP address)."""
        obj = self.need(lambda: self.screen.field(name, window), "the field %r" % name)
        buttons, keys = self.PASTES[how]
        shown = len(self.screen.program_windows())
        for button in buttons:
            self.screen.click(obj, button)
        if how == "menu":
            # A popup menu is not in the accessibility tree: it is an X window of the program's.
            self.need(lambda: len(self.screen.program_windows()) > shown, "the field's menu")
        if keys:
            self.screen.key(*keys)

    def op_tab_round(self, window, never_roles):
        """Tab goes once round `window` (until a control comes back, at most
        60 presses) and never gives the focus to a control of `never_roles`."""
        self.op_activate(window)
        seen = []
        for _ in range(60):
            self.screen.key("Tab")
            obj = self.need(lambda: self.screen.focused(window), "a focused control in %r" % window)
            role, name = self.screen.role(obj), obj.name or ""
            if role in never_roles:
                raise Failure("Tab gave the focus to the %s %r" % (role, name))
            place = (role, name, self.screen.extents(obj))
            if place in seen:
                break
            seen.append(place)
        print("  Tab went round %d controls" % len(seen), flush=True)
        if len(seen) < 3:
            raise Failure("Tab reached only %r" % seen)

    def op_type(self, text):
        self.screen.type(text)

    def op_key(self, keys, window=None):
        if window:
            self.op_activate(window)
        self.screen.key(*keys.split())

    def op_activate(self, title):
        self.need(lambda: self.screen.window(title), "the window %r" % title)
        self.screen.wm("-F", "-a", title)
        self.need(lambda: "active" in self.screen.states(self.screen.window(title)),
                  "the window %r to be active" % title)

    def op_close(self, title):
        """Closes a window as its title bar's close button would."""
        self.need(lambda: self.screen.window(title), "the window %r" % title)
        self.screen.wm("-F", "-c", title)
        self.op_gone(title)

    def op_file_dialog(self, title, name):
        """Types a full path into the file dialog's name field (the field that
        has the focus when its label is in another language) and accepts it."""
        self.op_window(title)
        path = os.path.join(self.rig.work, name)

        def name_field():
            found = self.screen.field(scenarios.FILE_NAME_FIELD, title)
            if found is None and self.screen.window(title) is not None:
                found = next((o for o in self.screen.walk(self.screen.window(title))
                              if self.screen.role(o) in ("entry", "text") and "focused" in self.screen.states(o)),
                             None)
            return found
        self.screen.click(self.need(name_field, "the name field of %r" % title))
        self.screen.key("ctrl+a")
        self.screen.type(path)
        self.screen.key("Return")
        self.op_gone(title)

    # windows
    def op_window(self, title, seconds=STEP_WAIT_S):
        self.need(lambda: self.screen.window(title), "the window %r" % title, seconds)

    def op_gone(self, title, seconds=STEP_WAIT_S):
        self.need(lambda: self.screen.window(title) is None, "the window %r to go" % title, seconds)

    def op_active(self, title):
        self.need(lambda: self.screen.window(title) is not None
                  and "active" in self.screen.states(self.screen.window(title)),
                  "the window %r in front" % title)

    # what the unit received
    def op_mark(self):
        self.rig.set_mark()

    def op_received(self, pattern, seconds=STEP_WAIT_S):
        rx = re.compile(pattern)
        self.need(lambda: any(rx.search(r) for r in self.rig.requests_since_mark()),
                  "the unit to receive /%s/ (it received %s)" % (pattern, self.rig.requests_since_mark()[-8:]),
                  seconds)

    def op_not_received(self, pattern):
        rx = re.compile(pattern)
        got = [r for r in self.rig.requests_since_mark() if rx.search(r)]
        if got:
            raise Failure("the unit received %s, matching /%s/" % (got, pattern))

    def op_sleep(self, seconds):
        time.sleep(seconds)

    # what the screen and the tree show
    def op_label(self, names, seconds=STEP_WAIT_S):
        """A label (the connection status) shows one of `names`."""
        names = (names,) if isinstance(names, str) else names
        self.need(lambda: any(self.screen.find(("label",), n, scenarios.MAIN_TITLE) for n in names),
                  "a label saying one of %s" % (names,), seconds)

    def op_no_label(self, name, seconds=STEP_WAIT_S):
        self.need(lambda: self.screen.find(("label",), name, scenarios.MAIN_TITLE) is None,
                  "no label saying %r" % name, seconds)

    def op_text(self, roles, name, window, wanted):
        """The text of a control holds `wanted`."""
        def holds():
            obj = self.screen.find((roles,), name, window)
            return obj is not None and wanted in self.screen.text_of(obj)
        self.need(holds, "%r in the %s %r of %r" % (wanted, roles, name, window))

    def op_state(self, roles, name, state, window=None, seconds=STEP_WAIT_S):
        self.need(lambda: state in self.screen.states(self.control(roles, name, window)),
                  "%s %r to be %s" % (roles, name, state), seconds)

    def op_selected(self, tab, window=None):
        """The tab `tab` is the current one: its state says so, or (where the
        toolkit gives tabs no such state) its tab list is named after it."""
        def selected():
            obj = self.control("page tab", tab, window)
            return "selected" in self.screen.states(obj) or obj.parent.name == tab
        self.need(selected, "the tab %r to be selected" % tab)

    def op_description(self, name, wanted, seconds=STEP_WAIT_S, negate=False):
        def matches():
            # The lamp, not its caption of the same name.
            window = self.screen.window(scenarios.MAIN_TITLE)
            lamps = [o for o in (self.screen.walk(window) if window else [])
                     if o.name == name and self.screen.role(o) != "label"]
            return lamps and ((lamps[0].description == wanted) != negate)
        self.need(matches, "%r to be described %s%r" % (name, "other than " if negate else "", wanted), seconds)

    def op_not_description(self, name, wanted, seconds=STEP_WAIT_S):
        self.op_description(name, wanted, seconds, negate=True)

    def op_described(self, name, wanted, seconds=STEP_WAIT_S, window=scenarios.MAIN_TITLE):
        """The control `name` of `window` is described `wanted` (a state in words)."""
        def matches():
            obj = self.screen.find(None, name, window)
            return obj is not None and obj.description == wanted
        self.need(matches, "%r to be described %r" % (name, wanted), seconds)

    def op_shows(self, name, window, seconds=STEP_WAIT_S):
        """A control named `name` (a list's cell) shows in `window`."""
        self.control(None, name, window, seconds)

    # files
    def op_file(self, name):
        path = os.path.join(self.rig.work, name)
        self.need(lambda: os.path.isfile(path) and os.path.getsize(path) > 0, "the file %s" % path)

    def op_program_file(self, name, wanted):
        """The file `name` of the program folder holds the text `wanted`."""
        path = os.path.join(self.rig.program_folder, name)
        self.need(lambda: wanted in read(path), "%r in %s" % (wanted, path))

    def op_event(self, name, seconds=STEP_WAIT_S, detail=None):
        """The event log holds the event `name` (with `detail`, when given)."""
        log = os.path.join(self.rig.program_folder, scenarios.EVENT_LOG)
        rx = r"\t%s(\t|$)" % re.escape(name) if detail is None else r"\t%s\t%s$" % (re.escape(name), re.escape(detail))
        self.need(lambda: re.search(rx, read(log), re.M),
                  "the event %r%s in %s" % (name, "" if detail is None else " " + detail, log), seconds)

    def op_screenshot(self, window, name):
        obj = self.need(lambda: self.screen.window(window), "the window %r" % window)
        x, y, w, h = self.screen.extents(obj)
        top = 24   # the title bar of the window manager
        path = self.rig.screenshot(os.path.join(self.rig.work, name),
                                   (max(0, x - 1), max(0, y - top), w + 2, h + top + 1))
        if self.screenshots:
            os.makedirs(self.screenshots, exist_ok=True)
            shutil.copy(path, os.path.join(self.screenshots, name))
        print("  screenshot: %s" % path, flush=True)


    def op_dark(self, name):
        """The screenshot `name` is mostly dark: the program took the desktop's palette."""
        mean = subprocess.run(["convert", os.path.join(self.rig.work, name), "-colorspace", "Gray", "-format",
                               "%[fx:mean]", "info:"], capture_output=True, text=True, check=True).stdout
        if float(mean) >= 0.4:
            raise Failure("%s is not dark: mean lightness %s" % (name, mean))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--bin")
    parser.add_argument("--scenario")
    parser.add_argument("--work")
    parser.add_argument("--screenshots")
    args = parser.parse_args()
    if args.list:
        for case in scenarios.CASES:
            print(case["name"], case["timeout"])
        return 0
    names = [c["name"] for c in scenarios.CASES]
    if args.scenario not in names or not args.bin:
        parser.error("--bin and --scenario (one of %s) are needed" % ", ".join(names))
    index = names.index(args.scenario)
    case = scenarios.CASES[index]
    work = os.path.abspath(args.work or os.path.join("e2e-work", case["name"]))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    display, address = case_resources(index)
    rig = Rig(os.path.abspath(args.bin), work, display, address)
    runner = Runner(rig, args.screenshots)

    # The case ends itself a little before CTest would, so that it can
    # still take its screenshot and end its processes.
    def out_of_time(signum, frame):
        raise Failure("out of time (signal %d)" % signum)
    signal.signal(signal.SIGTERM, out_of_time)
    signal.signal(signal.SIGALRM, out_of_time)
    signal.alarm(max(10, case["timeout"] - 15))

    started = time.time()
    print("e2e.%s: display %s, unit address %s, work folder %s" % (case["name"], rig.display, address, work),
          flush=True)
    status = 1
    try:
        rig.start_desktop()
        runner.run(case["steps"])
        status = 0
    except Exception as e:  # noqa: BLE001 - every failure ends the same way
        print("FAILED: %s: %s" % (type(e).__name__, e), flush=True)
        try:
            print("screenshot of the failing moment: %s"
                  % rig.screenshot(os.path.join(work, "failure.png")), flush=True)
            if runner.screen is not None:
                print("accessibility tree: %s" % runner.screen.dump(os.path.join(work, "failure-tree.txt")),
                      flush=True)
        except Exception as e2:  # noqa: BLE001
            print("(no screenshot: %s)" % e2, flush=True)
    finally:
        signal.alarm(0)
        rig.stop_all()
    print("e2e.%s: %s in %.1f s" % (case["name"], "passed" if status == 0 else "FAILED", time.time() - started),
          flush=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
