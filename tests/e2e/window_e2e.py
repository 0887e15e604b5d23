#!/usr/bin/python3
"""The installed program's real window, driven as a user drives it: read and set through the
accessibility interface (AT-SPI), typed and pressed with real key events (xdotool), closed by the
window manager. Run by run.sh, which provides the display, the buses and the window manager.

Environment: ORVALIN_PROGRAM (the program), E2E_FILES (an empty folder that keeps user.*
attributes), XDG_CONFIG_HOME (where the settings file goes), E2E_MODE: "x11" (Xvfb and openbox,
the default), "xwayland" or "wayland" (inside mutter, with or without its X server; the program
chooses its platform itself there), or "scaled" (mutter with its X server, its output scaled by
2: the program goes natively to Wayland)."""

import os
import re
import shlex
import struct
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

PROGRAM = os.environ.get("ORVALIN_PROGRAM", "/usr/bin/orvalin")
FILES = os.environ["E2E_FILES"]
SETTINGS = os.path.join(os.environ["XDG_CONFIG_HOME"], "Kelterhof-Orvalin")
WAIT = 15.0  # seconds any one wait may take
MODE = os.environ.get("E2E_MODE", "x11")

passed = 0
failed = 0


def say(text):
    print(text, flush=True)


def check(what, ok, detail=""):
    global passed, failed
    if ok:
        passed += 1
        say(f"ok    {what}")
    else:
        failed += 1
        say(f"FAIL  {what}{': ' + str(detail) if detail else ''}")
    return ok


class Stop(Exception):
    """A step the rest depends on went wrong."""


class Spoken:
    """What a screen reader is told without asking, as AT-SPI events: an announcement (Qt 6.8 and
    later), or a notification that shows (before), whose name Orca speaks."""

    def __init__(self):
        self.heard = []
        self.menus = []  # popup menus that showed: no window of the application lists them
        pyatspi.Registry.registerEventListener(self.on_event, "object:state-changed:showing")
        pyatspi.Registry.registerEventListener(self.on_event, "object:announcement")

    def on_event(self, event):
        try:
            if event.type.startswith("object:announcement"):
                self.heard.append(str(event.any_data))
            elif event.detail1 and event.source.getRole() == pyatspi.ROLE_NOTIFICATION:
                self.heard.append(event.source.name)
            elif event.detail1 and event.source.getRole() in (pyatspi.ROLE_MENU,
                                                              pyatspi.ROLE_POPUP_MENU):
                self.menus.append(event.source)
        except Exception:  # a source gone meanwhile
            pass

    def take(self):
        pump()
        heard, self.heard = self.heard, []
        return heard


def pump():
    """Delivers the AT-SPI events that have arrived."""
    context = GLib.MainContext.default()
    while context.iteration(False):
        pass


spoken = None


def wait_for(what, probe, timeout=WAIT):
    """Polls probe() until it returns something true; raises Stop when the time is up."""
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        pump()
        try:
            last = probe()
        except Exception as error:  # the tree changes under us while the window works
            last = error
        if last and not isinstance(last, Exception):
            return last
        time.sleep(0.1)
    raise Stop(f"timed out waiting for {what} (last: {last!r})")


def xdotool(*args):
    say("xdotool " + " ".join(args))
    subprocess.run(["xdotool", *args], check=True, timeout=WAIT)


# Files: three MP3s of silent frames with an ID3v1 tag; the first also carries long song
# attributes, so its preview is too wide for its room.

def id3v1(title, artist, album="", year="", comment=""):
    def field(text, size):
        return text.encode().ljust(size, b"\0")[:size]

    return (b"TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4)
            + field(comment, 30) + b"\xff")


def write_song(name, tag):
    frame = b"\xff\xfb\x90\x64" + bytes(413)  # MPEG-1 layer III, 128 kbit/s, 44.1 kHz
    path = os.path.join(FILES, name)
    with open(path, "wb") as out:
        out.write(frame * 8 + tag)
    return path


LONG_TITLE = "A title long enough that the preview cannot show it whole"
LONG_ALBUM = "An album whose name goes on and on as well"


def make_songs():
    paths = [write_song("a.mp3", id3v1("Alpha", "Ann")), write_song("b.mp3", id3v1("Beta", "Bob")),
             write_song("c.mp3", id3v1("Gamma", "Cid"))]
    try:
        os.setxattr(paths[0], "user.Artist", b"Ann Attr")
        os.setxattr(paths[0], "user.Title", LONG_TITLE.encode())
        os.setxattr(paths[0], "user.Album", LONG_ALBUM.encode())
        return paths, True
    except OSError as error:
        say(f"note: {FILES} keeps no user.* attributes ({error}); the long preview is not checked")
        return paths, False


def names_on_disk():
    return sorted(os.listdir(FILES))


# The settings file: magic "ORVM", version 1, the command code, then the fields (name, type,
# values), every integer little-endian.

def read_settings():
    with open(SETTINGS, "rb") as f:
        data = f.read()
    at = 0

    def get(count):
        nonlocal at
        if at + count > len(data):
            raise ValueError("settings file is truncated")
        chunk = data[at:at + count]
        at += count
        return chunk

    def u32():
        return struct.unpack("<I", get(4))[0]

    if get(4) != b"ORVM" or u32() != 1:
        raise ValueError("settings file has a foreign header")
    fields = {"what": u32()}
    for _ in range(u32()):
        name = get(u32()).decode()
        kind = struct.pack(">I", u32()).decode()
        values = [get(u32()) for _ in range(u32())]
        if kind == "BPNT":
            fields[name] = struct.unpack("<ff", values[0])
        elif kind == "CSTR":
            fields[name] = values[0]
    return fields


def write_settings(place, template):
    def u32(value):
        return struct.pack("<I", value)

    def field(name, kind, value):
        return (u32(len(name)) + name.encode() + u32(int.from_bytes(kind.encode(), "big")) + u32(1)
                + u32(len(value)) + value)

    with open(SETTINGS, "wb") as f:
        f.write(b"ORVM" + u32(1) + u32(0) + u32(2) + field("winloc", "BPNT", struct.pack("<ff", *place))
                + field("constructor", "CSTR", template.encode()))


def close_through_mutter():
    """Alt+F4 through mutter's remote desktop bus: its key binding closes the focused window, as a
    user's keys do, X11 and Wayland clients alike."""
    import dbus
    name = "org.gnome.Mutter.RemoteDesktop"
    bus = dbus.SessionBus()
    path = dbus.Interface(bus.get_object(name, "/" + name.replace(".", "/")), name).CreateSession()
    session = dbus.Interface(bus.get_object(name, path), name + ".Session")
    session.Start()
    for keysym, down in ((0xffe9, True), (0xffc1, True), (0xffc1, False), (0xffe9, False)):
        session.NotifyKeyboardKeysym(dbus.UInt32(keysym), down)
    session.Stop()


def scale_mutter_output(scale):
    """Scales mutter's one monitor, as the display settings do."""
    import dbus
    name = "org.gnome.Mutter.DisplayConfig"
    config = dbus.Interface(dbus.SessionBus().get_object(name, "/org/gnome/Mutter/DisplayConfig"),
                            name)
    serial, monitors, _, _ = config.GetCurrentState()
    connector = str(monitors[0][0][0])
    mode = [str(m[0]) for m in monitors[0][1] if m[6].get("is-current")][0]
    config.ApplyMonitorsConfig(serial, dbus.UInt32(1),
                               [(0, 0, float(scale), dbus.UInt32(0), True, [(connector, mode, {})])],
                               {})


# The program through AT-SPI.

def walk(node):
    node.clearCache()
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


class Run:
    """One start of the program on some files."""

    def __init__(self, paths, language=None, window=True):
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
        env.pop("QT_QPA_PLATFORM", None)
        if language is not None:
            env.update(LANGUAGE=language, LANG=f"{language}_{language.upper()}.UTF-8")
        if MODE == "x11":
            env["QT_QPA_PLATFORM"] = "xcb"
        elif MODE in ("wayland", "scaled"):
            env["WAYLAND_DEBUG"] = "client"  # the protocol, for the alert's parent
        self.trace_path = os.path.join(FILES, "..", "trace.txt")
        self.trace = open(self.trace_path, "ab")
        say(f"start {PROGRAM} {' '.join(os.path.basename(p) for p in paths)}")
        self.process = subprocess.Popen([PROGRAM, *paths], env=env, stdout=self.trace,
                                        stderr=subprocess.STDOUT)
        global current
        current = self
        self.app = wait_for("the program on the accessibility bus", self.find_app)
        if not window:
            return
        self.frame = wait_for("the window", lambda: self.find(pyatspi.ROLE_FRAME, "Orvalin"))
        if MODE in ("wayland", "scaled"):
            return
        self.xid = wait_for("the X window", self.find_xid)
        if MODE == "x11":  # the keys typed below go to the active window
            xdotool("windowactivate", self.xid)
            wait_for("the window to be active", lambda: subprocess.run(
                ["xdotool", "getactivewindow"], capture_output=True, text=True,
                timeout=WAIT).stdout.strip() == self.xid)

    def find_app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        desktop.clearCache()
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        return None

    def x_windows(self):
        """The program's visible X windows titled Orvalin. A frame that the compositor draws
        around one in a client of its own (mutter 44 and later) may carry the same title and
        process: it is told apart by its class."""
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid",
                              str(self.process.pid), "--name", "^Orvalin$"],
                             capture_output=True, text=True, timeout=WAIT).stdout.split()
        return [x for x in out if "orvalin" in subprocess.run(
            ["xprop", "-id", x, "WM_CLASS"], capture_output=True, text=True,
            timeout=WAIT).stdout.lower()]

    def find_xid(self):
        windows = self.x_windows()
        return windows[0] if windows else None

    def find(self, role, name=None, within=None):
        for node in walk(within or self.app):
            if node.getRole() == role and (name is None or node.name == name):
                return node
        return None

    def all_of(self, role, within=None):
        return [node for node in walk(within or self.frame) if node.getRole() == role]

    def labels(self):
        return [label.name for label in self.all_of(pyatspi.ROLE_LABEL)]

    def slots(self):
        """The position, name and preview texts, as assistive technology reads them."""
        labels = self.labels()
        return labels[0], labels[1], labels[3]

    def field(self):
        fields = [n for n in walk(self.frame) if n.getRole() in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY)]
        return fields[0] if fields else None

    def template(self):
        text = self.field().queryText()
        return text.getText(0, text.characterCount)

    def focused(self):
        for node in walk(self.frame):
            if node.getState().contains(pyatspi.STATE_FOCUSED) and node.getRole() != pyatspi.ROLE_FRAME:
                return node.name
        return None

    def geometry(self, xid=None):
        """The content area's left-top in screen coordinates, as X reports it."""
        return self.rect(xid)[:2]

    def rect(self, xid=None):
        out = subprocess.run(["xwininfo", "-id", xid or self.xid], capture_output=True, text=True,
                             timeout=WAIT).stdout
        values = dict(line.strip().split(":", 1) for line in out.splitlines() if ":" in line)
        return tuple(int(values[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y",
                                              "Width", "Height"))

    def close_by_window_manager(self):
        if MODE != "x11":
            close_through_mutter()
        else:
            xdotool("windowactivate", self.xid)
            xdotool("key", "alt+F4")  # openbox's Close: WM_DELETE_WINDOW to the window
        try:
            status = self.process.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            self.kill()
            raise Stop("the program did not end after the window manager closed its window")
        return status

    def close_by_keys(self, keys):
        """Closes the window on X11 with its own shortcut (ctrl+w, ctrl+q)."""
        xdotool("windowactivate", "--sync", self.xid)
        xdotool("key", keys)
        try:
            return self.process.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            self.kill()
            raise Stop(f"the program did not end after {keys}")

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=WAIT)


def dump(node, depth=0):
    """The accessible tree under node, one line per node, for a failure's report."""
    try:
        node.clearCache()
        say("  " * depth + f"{node.getRoleName()} {node.name!r}")
        for i in range(node.childCount):
            child = node.getChildAtIndex(i)
            if child is not None and depth < 12:
                dump(child, depth + 1)
    except Exception as error:
        say("  " * depth + f"({error})")


current = None  # the run whose tree a failure reports


def is_alert(node):
    return node.getRole() in (pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG)


def check_about(run, by_keyboard=False):
    """Opens the About alert (by the keyboard from the button before it, or by its action), checks
    that it belongs to the window, and dismisses it."""
    if by_keyboard:
        xdotool("key", "Tab")
        wait_for("About's focus", lambda: run.focused() == "About")
        xdotool("key", "space")
    else:
        run.find(pyatspi.ROLE_PUSH_BUTTON, "About", run.frame).queryAction().doAction(0)
    alert = wait_for("the About alert", lambda: next(
        (node for node in walk(run.app) if is_alert(node)), None))
    texts = [node.name for node in walk(alert) if node.getRole() == pyatspi.ROLE_LABEL]
    check("the About alert says who it is", any(t.startswith("Orvalin v001") for t in texts),
          texts)
    oki = run.find(pyatspi.ROLE_PUSH_BUTTON, "Oki", alert)
    check("the About alert has its button", oki is not None)
    if MODE in ("wayland", "scaled"):  # no place is known here: the compositor places a child
        with open(run.trace_path, "rb") as f:
            protocol = f.read().decode(errors="replace")
        check("the About alert is the window's child on Wayland",
              re.search(r"xdg_toplevel[@#]\d+\.set_parent\(xdg_toplevel[@#]\d+\)", protocol) is not None)
    else:
        box = wait_for("the alert's X window",
                       lambda: [x for x in run.x_windows() if x != run.xid])[0]
        ax, ay, aw, ah = run.rect(box)
        wx, wy, ww, wh = run.rect()
        off = (ax + aw // 2 - (wx + ww // 2), ay + ah // 2 - (wy + wh // 2))
        check("the About alert opens centred over the window", max(map(abs, off)) <= 2,
              f"alert {(ax, ay, aw, ah)}, window {(wx, wy, ww, wh)}")
    if by_keyboard:
        xdotool("key", "Return")
    else:
        oki.queryAction().doAction(0)
    wait_for("the alert to go", lambda: not any(is_alert(node) for node in walk(run.app)))


def move_close_reopen(run, template):
    """Moves the window, closes it by the window manager, and starts again on the same files:
    the settings and the second window keep the place and the template."""
    try:
        xdotool("windowmove", run.xid, "237", "161")
        time.sleep(0.5)
        place = run.geometry()
        say(f"window content at {place}")
        status = run.close_by_window_manager()
        check("the window manager's close ends the program with status 0", status == 0,
              str(status))
    finally:
        run.kill()

    settings = read_settings()
    check("settings hold the template", settings.get("constructor") == template.encode(),
          repr(settings.get("constructor")))
    check("settings hold the window's place", settings.get("winloc") == place,
          f"{settings.get('winloc')} != {place}")

    # A second start comes back where the first one closed, with its template. Its own shortcut
    # (on X11; inside mutter the window manager's close) closes it as the close button does: the
    # settings are written.
    again = Run([os.path.join(FILES, name) for name in names_on_disk()])
    keys = "ctrl+w" if MODE == "x11" else "the window manager's close"
    try:
        check("the second start restores the template", again.template() == template,
              again.template())
        check("the second start opens where the first closed", again.geometry() == place,
              f"{again.geometry()} != {place}")
        template = "/ta.mp3"
        again.field().queryEditableText().setTextContents(template)
        if MODE == "x11":
            status = again.close_by_keys(keys)
        else:
            status = again.close_by_window_manager()
        check(f"{keys} ends the second start with status 0", status == 0, str(status))
    finally:
        again.kill()
    check(f"closing the second start with {keys} writes the template",
          read_settings().get("constructor") == template.encode(),
          repr(read_settings().get("constructor")))
    check("closing the second start keeps the place", read_settings().get("winloc") == place,
          str(read_settings().get("winloc")))


def check_undo_from_nemo(expected, says):
    """Runs the installed Nemo action "Undo the last renaming with Orvalin" as Nemo does (its Exec
    line, nothing selected in it) and answers its alert; the names must be expected after."""
    share = os.path.join(os.path.dirname(os.path.dirname(os.path.realpath(PROGRAM))), "share")
    with open(os.path.join(share, "nemo", "actions", "orvalin-undo.nemo_action")) as f:
        argv = shlex.split(next(line[5:] for line in f if line.startswith("Exec=")))
    check("the Nemo action runs orvalin --undo", argv == ["orvalin", "--undo"], argv)
    undo = Run(argv[1:], window=False)
    try:
        alert = wait_for("the undo's alert", lambda: next(
            (node for node in walk(undo.app) if is_alert(node)), None))
        texts = [node.name for node in walk(alert) if node.getRole() == pyatspi.ROLE_LABEL]
        check("the undo's alert says what was put back", says in texts, texts)
        undo.find(pyatspi.ROLE_PUSH_BUTTON, "Ok", alert).queryAction().doAction(0)
        status = undo.process.wait(timeout=WAIT)
        check("the undo ends with status 0 once its alert is answered", status == 0, str(status))
    finally:
        undo.kill()
    check("the undo put back the names", names_on_disk() == expected, names_on_disk())


LANGUAGES = {
    "de": (["Namensbauer"], [".mp3 anfügen", ".mp3 entfernen", "Umbenennen", "Über", "Zurück",
                             "Weiter"]),
    "fr": (["Constructeur de nom"], ["Ajouter .mp3", "Retirer .mp3", "Renommer", "À propos",
                                     "Précédent", "Suivant"]),
}


def check_languages(paths):
    """German and French: the window's texts and Qt's own (the field's menu); Arabic: the window
    laid out right to left. Each start is killed, so it leaves no settings."""
    for language, (field, buttons) in LANGUAGES.items():
        run = Run(paths, language)
        try:
            names = [b.name for b in run.all_of(pyatspi.ROLE_PUSH_BUTTON)]
            check(f"{language}: the buttons are labelled in it", names == buttons, names)
            check(f"{language}: the field is named in it", [run.field().name] == field,
                  run.field().name)
            if language == "de":
                x, y, w, h = run.field().queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                xdotool("mousemove", str(x + w // 2), str(y + h // 2), "click", "1")
                wait_for("the field's focus", lambda: run.focused() == field[0])
                xdotool("click", "3")
                menu = wait_for("the field's menu", lambda: spoken.menus)[-1]
                items = [n.name for n in walk(menu) if n.getRole() == pyatspi.ROLE_MENU_ITEM]
                check("de: the field's own menu is in German",
                      any(item.startswith("Rückgängig") for item in items), items)
                xdotool("key", "Escape")
        finally:
            run.kill()
    run = Run(paths, "ar")
    try:
        def left(name):
            button = run.find(pyatspi.ROLE_PUSH_BUTTON, name, run.frame)
            return button.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)[0]
        check("ar: the window is laid out right to left",
              left("Next") < left("Prev") < left("About"),
              str([left(n) for n in ("About", "Prev", "Next")]))
    finally:
        run.kill()


def main_mutter():
    """Inside mutter: the window opens where the settings say; with XWayland it is moved, closed
    and reopened where it was left; natively a close keeps the stored place."""
    make_songs()
    stored = (300.0, 200.0)
    write_settings(stored, "/tt.mp3")
    if MODE == "scaled":
        scale_mutter_output(2)
    run = Run([os.path.join(FILES, name) for name in names_on_disk()])
    try:
        check("the stored template is restored", run.template() == "/tt.mp3", run.template())
        if MODE == "scaled":
            time.sleep(1)
            check("on a scaled output the window is no XWayland window", not run.x_windows())
            with open(run.trace_path, "rb") as f:
                protocol = f.read().decode(errors="replace")
            check("on a scaled output the window draws at its scale natively",
                  re.search(r"wl_surface[@#]\d+\.set_buffer_scale\(2\)", protocol) is not None)
        if MODE == "xwayland":
            check("the window opens where the settings say", run.geometry() == stored,
                  str(run.geometry()))
            actions = subprocess.run(["xprop", "-id", run.xid, "_NET_WM_ALLOWED_ACTIONS"],
                                     capture_output=True, text=True, timeout=WAIT).stdout
            check("the window can be moved, resized, minimised and closed, not maximised",
                  all(f"_{a}," in actions + "," for a in ("MOVE", "RESIZE", "MINIMIZE", "CLOSE"))
                  and "MAXIMIZE" not in actions, actions)
        check_about(run)
        if MODE == "xwayland":
            return move_close_reopen(run, "/tt.mp3")
        status = run.close_by_window_manager()
        check("the compositor's close ends the program with status 0", status == 0, str(status))
    finally:
        run.kill()
    check("a close natively on Wayland keeps the stored place",
          read_settings().get("winloc") == stored, str(read_settings().get("winloc")))


def main():
    global current
    paths, with_attributes = make_songs()
    check_languages(paths)
    spoken.take()
    run = Run(paths)
    try:
        position, name, preview = run.slots()
        heard = wait_for("the announcement at open", spoken.take)
        check("a screen reader hears the position, name and preview at open",
              heard == [f"{position}, {name}, {preview}"], heard)
        check("position reads 1/3", position == "1/3", position)
        check("name reads the first file", name == "a.mp3", name)
        if with_attributes:
            whole = f"Ann Attr - {LONG_TITLE} - {LONG_ALBUM}.mp3"
            check("the long preview reaches assistive technology whole", preview == whole, preview)
        field = run.field()
        check("the template field is named by its label", field.name == "Name-constructor",
              field.name)
        check("the template field holds the initial template",
              run.template() == "/aa - /ta - /la.mp3", run.template())
        buttons = [b.name for b in run.all_of(pyatspi.ROLE_PUSH_BUTTON)]
        check("the six buttons are there by their labels",
              buttons == ["Add .mp3", "Remove .mp3", "Rename", "About", "Prev", "Next"], buttons)

        # Type a template with real keys, into the field the pointer clicked.
        x, y, w, h = field.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        xdotool("mousemove", str(x + w // 2), str(y + h // 2), "click", "1")
        wait_for("the field's focus", lambda: run.focused() == "Name-constructor")
        xdotool("key", "ctrl+a")
        xdotool("type", "--delay", "20", "/at - /tt.mp3")
        wait_for("the typed template", lambda: run.template() == "/at - /tt.mp3")
        check("typed template reads back", True)

        # Tab walks the controls in layout order; Space on "Next" steps.
        reached = []
        for _ in range(6):
            xdotool("key", "Tab")
            previous = reached[-1] if reached else "Name-constructor"
            reached.append(wait_for("the focus to move", lambda: (
                lambda now: now if now not in (None, previous) else None)(run.focused())))
        check("Tab reaches the buttons in layout order",
              reached == ["Add .mp3", "Remove .mp3", "Rename", "About", "Prev", "Next"], reached)
        spoken.take()
        xdotool("key", "space")
        wait_for("step to 2/3", lambda: run.slots()[0] == "2/3")
        heard = wait_for("the announcement of the step", spoken.take)
        check("a screen reader hears the step", heard == ["2/3, b.mp3, Bob - Beta.mp3"], heard)
        check("Space on Next steps to the second file", run.slots()[1] == "b.mp3", run.slots()[1])
        check("the preview follows the typed template", run.slots()[2] == "Bob - Beta.mp3",
              run.slots()[2])

        # Back to "Rename" and press it: the current file only.
        for _ in range(3):
            xdotool("key", "shift+Tab")
        wait_for("Rename's focus", lambda: run.focused() == "Rename")
        xdotool("key", "Return")
        wait_for("the renamed file", lambda: "Bob - Beta.mp3" in names_on_disk())
        check("Return pressed Rename: only the current file was renamed",
              names_on_disk() == sorted(["a.mp3", "Bob - Beta.mp3", "c.mp3"]), names_on_disk())

        # A template set through the accessibility interface, then Shift held: Rename for ALL.
        run.field().queryEditableText().setTextContents("/tt_/at.mp3")
        check("a template set through AT-SPI reads back", run.template() == "/tt_/at.mp3",
              run.template())
        wait_for("the announcement of the rename", spoken.take)
        xdotool("keydown", "shift")
        try:
            wait_for("ALL", lambda: run.slots()[0] == "ALL")
            check("holding Shift shows ALL", True)
            heard = wait_for("the announcement of ALL", spoken.take)
            check("a screen reader hears ALL", len(heard) == 1 and heard[0].startswith("ALL, "),
                  heard)
            xdotool("key", "space")
            expected = sorted(["Alpha_Ann.mp3", "Beta_Bob.mp3", "Gamma_Cid.mp3"])
            wait_for("every file renamed", lambda: names_on_disk() == expected)
            check("Rename with Shift held renamed every file by the AT-SPI template", True)
            heard = wait_for("the announcement of the run", spoken.take)
            time.sleep(0.5)
            heard += spoken.take()
            check("a screen reader hears the ALL run once, at its end",
                  len(heard) == 1 and heard[0].endswith(", Gamma_Cid.mp3"), heard)
        finally:
            xdotool("keyup", "shift")
        wait_for("the position back", lambda: run.slots()[0] == "3/3")
        check("releasing Shift shows the position again", True)
        heard = wait_for("the announcement of the position", spoken.take)
        check("a screen reader hears the position again", heard[-1].startswith("3/3, "), heard)

        # Alt pressed here and let go while another client has the focus, as Alt+Tab does: back
        # in the window the position shows, and a click on Rename renames the current file only.
        template = "/at-/tt.mp3"
        run.field().queryEditableText().setTextContents(template)
        other = subprocess.Popen(["xmessage", "-title", "elsewhere", "elsewhere"])
        try:
            elsewhere = wait_for("the other client", lambda: subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--name", "^elsewhere$"],
                capture_output=True, text=True, timeout=WAIT).stdout.split())[0]
            xdotool("windowactivate", "--sync", run.xid)
            xdotool("keydown", "alt")
            try:
                wait_for("ALL", lambda: run.slots()[0] == "ALL")
                xdotool("windowactivate", "--sync", elsewhere)
                wait_for("the window to see its focus go", lambda: not run.frame.getState().contains(
                    pyatspi.STATE_ACTIVE))
            finally:
                xdotool("keyup", "alt")
            xdotool("windowactivate", "--sync", run.xid)
            wait_for("the position after Alt was let go elsewhere", lambda: run.slots()[0] == "3/3")
            check("Alt let go in another window: the position shows again", True)
        finally:
            other.kill()
        rename = run.find(pyatspi.ROLE_PUSH_BUTTON, "Rename", run.frame)
        x, y, w, h = rename.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        xdotool("mousemove", str(x + w // 2), str(y + h // 2), "click", "1")
        wait_for("the renamed file", lambda: "Cid-Gamma.mp3" in names_on_disk())
        check("then Rename renamed the current file only",
              names_on_disk() == sorted(["Alpha_Ann.mp3", "Beta_Bob.mp3", "Cid-Gamma.mp3"]),
              names_on_disk())

        # The About alert: found through AT-SPI, dismissed with the keyboard.
        check_about(run, by_keyboard=True)
    except BaseException:
        run.kill()
        raise
    move_close_reopen(run, template)
    # Every name the first window gave goes back, last rename first (Cid-Gamma.mp3 was named
    # twice), through the file manager's menu item.
    check_undo_from_nemo(["a.mp3", "b.mp3", "c.mp3"], "Put back the names of 3 files.")


if __name__ == "__main__":
    say(f"e2e mode {MODE}")
    spoken = Spoken()
    try:
        main() if MODE == "x11" else main_mutter()
    except Stop as stop:
        check("the run went on to its end", False, str(stop))
        if current is not None and getattr(current, "app", None) is not None:
            say("accessible tree at the failure:")
            dump(current.app)
    except Exception as error:
        check("the run went on to its end", False, f"{type(error).__name__}: {error}")
    say(f"{passed} passed, {failed} failed")
    sys.exit(1 if failed or not passed else 0)
