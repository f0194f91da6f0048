#!/usr/bin/python3
"""Drives the real Drive Scout wizard on an X server as a person would and checks what that
person sees and gets.

Run by run-window-test inside the demo's private network namespace (NAS simulator and Samba
server up, DISPLAY and a D-Bus session set). Keys and clicks go through xdotool, as from a real
keyboard and mouse; what is on the screen is read through AT-SPI, as a screen reader reads it.
Three runs of the wizard:
  mouse:    at 100 %, with the mouse and typed passwords (a wrong one first);
  keyboard: at 200 % (QT_SCALE_FACTOR=2), with the keyboard alone, Enter and Escape tried on
            every page;
  close:    the window's close key on the first page.
Every page is saved as a PNG of the real screen in the output folder given as the argument.
Exit status 0 when every check holds; each failed check is printed.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

OUT = sys.argv[1]
BUILD = os.environ["DRIVESCOUT_BUILD_DIR"]
NAS = os.environ["DRIVESCOUT_DEMO_NAS"]
ACCOUNTS = dict(pair.split(":", 1) for pair in os.environ["DRIVESCOUT_DEMO_ACCOUNTS"].split())
TITLE = "Drive Scout"
DEVICE = "Homevault 1"

LANGUAGE = "ENU"
DICTIONARY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources",
                          "dictionary.tsv")

failures = []


def load_texts():
    """The wizard's English texts as it shows them: the dictionary's ENU column, else the key."""
    escapes = {"\\\\": "\\", "\\t": "\t", "\\n": "\n", "\\r": "\r", '\\"': '"'}

    def unescape(text):
        return re.sub(r'\\[\\tnr"]', lambda match: escapes[match.group(0)], text)

    texts = {}
    column = None
    with open(DICTIONARY, encoding="utf-8") as dictionary:
        for line in dictionary:
            if line.startswith("#") or not line.strip():
                continue
            cells = line.rstrip("\n").split("\t")
            if column is None:
                column = cells.index(LANGUAGE)
                continue
            key = unescape(cells[0])
            shown = unescape(cells[column]) if column < len(cells) else ""
            texts[key] = shown or key
    return texts


TEXTS = load_texts()


def say(key):
    return TEXTS.get(key, key)

# Controls a person acts on: each must carry a name a screen reader can say.
INTERACTIVE_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TEXT,
    pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX,
    pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE, pyatspi.ROLE_LIST_ITEM,
    pyatspi.ROLE_TREE_ITEM, pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_LINK,
}
PICTURE_ROLES = {pyatspi.ROLE_IMAGE, pyatspi.ROLE_ICON}
TEXT_ROLES = {pyatspi.ROLE_LABEL, pyatspi.ROLE_STATIC}
# Controls whose place on the page is compared between 100 % and 200 %.
LAID_OUT = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_PASSWORD_TEXT,
            pyatspi.ROLE_TEXT, pyatspi.ROLE_IMAGE, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE,
            pyatspi.ROLE_LABEL}
FIELD_ROLES = {pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY}


def log(text):
    print("window test: " + text, flush=True)


CURRENT = []  # the wizard being driven, whose tree a failure dumps


def check(condition, text):
    if condition:
        log("ok: " + text)
    else:
        log("FAILED: " + text)
        failures.append(text)
        if CURRENT:
            CURRENT[-1].dump(text)
    return condition


def wait_for(predicate, what, timeout=30.0):
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = predicate()
        except Exception:  # the accessibility tree changes while it is read
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            if CURRENT:
                CURRENT[-1].dump("timed out waiting for " + what)
            raise TimeoutError("timed out waiting for " + what)
        time.sleep(0.2)


def xdotool(*args):
    return subprocess.run(["xdotool", *map(str, args)], check=True, capture_output=True,
                          text=True).stdout


class Node:
    """One accessible object as a screen reader sees it at one moment."""

    def __init__(self, accessible):
        self.role = accessible.getRole()
        self.role_name = accessible.getRoleName()
        self.name = accessible.name or ""
        states = accessible.getState()
        self.showing = states.contains(pyatspi.STATE_SHOWING)
        self.focused = states.contains(pyatspi.STATE_FOCUSED)
        # What a screen reader says a field is: the label tied to it, else its own name.
        self.labels = []
        try:
            for relation in accessible.getRelationSet():
                if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
                    for index in range(relation.getNTargets()):
                        target = relation.getTarget(index)
                        if target is not None and target.name:
                            self.labels.append(target.name.rstrip(":").strip())
        except Exception:
            pass
        self.called = self.labels[0] if self.labels else self.name
        self.extents = None
        try:
            box = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            self.extents = (box.x, box.y, box.width, box.height)
        except NotImplementedError:
            pass

    def centre(self):
        x, y, w, h = self.extents
        return x + w // 2, y + h // 2

    def __repr__(self):
        if self.labels:
            return "%s %r labelled %r" % (self.role_name, self.name, self.labels)
        return "%s %r" % (self.role_name, self.name)


class Wizard:
    """One run of build/drivescout on the X server, with its own user folder and browser."""

    def __init__(self, tag, scale=1):
        self.tag = tag
        self.scale = scale
        self.home = tempfile.mkdtemp(prefix="drivescout-window-")
        self.opened = os.path.join(self.home, "browser-opened")
        bin_dir = os.path.join(self.home, "bin")
        os.makedirs(bin_dir)
        # The desktop's way to open an address, recorded instead of starting a browser.
        recorder = os.path.join(bin_dir, "xdg-open")
        with open(recorder, "w") as script:
            script.write('#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s"\n' % self.opened)
        os.chmod(recorder, 0o755)
        env = dict(os.environ)
        env.update({
            "PATH": bin_dir + ":" + env.get("PATH", ""),
            "BROWSER": recorder,
            "XDG_CONFIG_HOME": os.path.join(self.home, "config"),
            "XDG_DATA_HOME": os.path.join(self.home, "data"),
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_ACCESSIBILITY": "1",
        })
        env.pop("DRIVESCOUT_SNAPSHOT_DIR", None)
        if scale != 1:
            env["QT_SCALE_FACTOR"] = str(scale)
        else:
            env.pop("QT_SCALE_FACTOR", None)
        self.log = open(os.path.join(OUT, "wizard-%s.log" % tag), "w")
        self.process = subprocess.Popen([os.path.join(BUILD, "drivescout"),
                                         "LANGUAGE=" + LANGUAGE], env=env,
                                        stdout=self.log, stderr=subprocess.STDOUT)
        self.window = wait_for(self.find_window, "the window titled %r" % TITLE)
        self.app = wait_for(self.find_application, "the wizard on the accessibility bus")
        self.shots = 0
        CURRENT.append(self)
        log("%s: window %s" % (tag, self.window))

    def find_window(self):
        if self.process.poll() is not None:
            raise RuntimeError("the wizard ended early")
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid",
                                str(self.process.pid), "--name", "^%s$" % TITLE],
                               capture_output=True, text=True).stdout.split()
        return found[0] if found else None

    def find_application(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        return None

    # --- what is on the screen

    def nodes(self):
        result = []

        def walk(accessible, depth):
            if accessible is None or depth > 40:
                return
            result.append(Node(accessible))
            for index in range(accessible.childCount):
                walk(accessible.getChildAtIndex(index), depth + 1)

        walk(self.app, 0)
        return result

    def showing(self, role=None, name=None):
        return [node for node in self.nodes() if node.showing
                and (role is None or node.role == role
                     or (isinstance(role, (set, frozenset)) and node.role in role))
                and (name is None or (name.match(node.name) if hasattr(name, "match")
                                      else node.name == name))]

    def header(self):
        for node in self.showing(TEXT_ROLES):
            if node.name.startswith(TITLE + ": "):
                return node.name
        return None

    def wait_page(self, step):
        wanted = "%s: %s" % (TITLE, say(step))
        wait_for(lambda: self.header() == wanted, "the page %r" % wanted)
        time.sleep(0.3)  # let the page paint before it is photographed

    def texts(self):
        return [node.name for node in self.showing(TEXT_ROLES)]

    def focused(self):
        return [node for node in self.nodes() if node.focused and node.showing]

    def has_focus(self, role, name):
        roles = role if isinstance(role, (set, frozenset)) else {role}
        return any(node.role in roles and node.called == name for node in self.focused())

    def window_origin(self):
        geometry = xdotool("getwindowgeometry", "--shell", self.window)
        values = dict(line.split("=", 1) for line in geometry.split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def screenshot(self, step):
        self.shots += 1
        x, y, w, h = self.window_origin()
        path = os.path.join(OUT, "%s-%02d-%s.png" % (self.tag, self.shots, step))
        subprocess.run([os.path.join(BUILD, "drivescout-screenshot"), path,
                        str(x), str(y), str(w), str(h)], check=True)
        log("%s: screenshot %s" % (self.tag, os.path.basename(path)))
        return path

    def check_names(self, page):
        """Every control a person acts on, and every picture, has a name."""
        unnamed = [node for node in self.showing()
                   if (node.role in INTERACTIVE_ROLES or node.role in PICTURE_ROLES)
                   and not node.called.strip()]
        # A choice or a field shows its value; what it is for must come from a label.
        unlabelled = [node for node in self.showing()
                      if node.role in FIELD_ROLES | {pyatspi.ROLE_COMBO_BOX} and not node.labels
                      and node.role != pyatspi.ROLE_PASSWORD_TEXT]
        unnamed += unlabelled
        check(not unnamed, "%s, %s page: every control and picture is named %s"
              % (self.tag, page, unnamed if unnamed else ""))

    def record_page(self, step, page, layouts):
        """Checks the names on the page shown, photographs it and notes its layout."""
        self.check_names(page)
        self.screenshot(step)
        layouts[step] = self.layout()

    def layout(self):
        """The named controls' rectangles relative to the window, in points (as AT-SPI tells
        them), and the window's size in screen pixels."""
        nodes = self.showing()
        frame = [node for node in nodes if node.role in (pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG,
                                                         pyatspi.ROLE_WINDOW) and node.extents]
        x0, y0 = frame[0].extents[:2] if frame else (0, 0)
        controls = {(node.role, node.name): (node.extents[0] - x0, node.extents[1] - y0,
                                             node.extents[2], node.extents[3])
                    for node in nodes if node.name and node.extents and node.role in LAID_OUT}
        return controls, self.window_origin()[2:]

    # --- the person's hands

    def focus_window(self):
        # No window manager on this X server: the window gets the keyboard directly.
        xdotool("windowfocus", self.window)
        time.sleep(0.3)

    def click(self, node):
        x, y = node.centre()
        xdotool("mousemove", "--sync", x, y)
        xdotool("click", 1)
        time.sleep(0.3)

    def click_control(self, role, name):
        nodes = wait_for(lambda: self.showing(role, name), "%s %r" % (role, name))
        self.click(nodes[0])

    def keys(self, *keys):
        for key in keys:
            xdotool("key", "--delay", 60, key)
            time.sleep(0.15)

    def type(self, text):
        xdotool("type", "--delay", 40, text)
        time.sleep(0.2)

    def nothing_happens(self, key, page):
        before = self.header()
        self.keys(key)
        time.sleep(0.5)
        check(self.process.poll() is None and self.header() == before,
              "%s, %s page: %s does nothing" % (self.tag, page, key))

    def wait_end(self, timeout=15):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def browser_addresses(self):
        if not os.path.exists(self.opened):
            return []
        with open(self.opened) as recorded:
            return recorded.read().split()

    def remembered_connections(self):
        store = os.path.join(self.home, "config", "drivescout", "user-store")
        if not os.path.exists(store):
            return ""
        with open(store, encoding="utf-8", errors="replace") as text:
            return text.read()

    def dump(self, why):
        """What a screen reader saw when a check failed, for the output folder."""
        try:
            with open(os.path.join(OUT, "accessible-%s.txt" % self.tag), "a") as out:
                out.write("--- %s\n" % why)
                for node in self.nodes():
                    out.write("%s%s%s %s\n" % ("showing " if node.showing else "hidden  ",
                                               "focused " if node.focused else "",
                                               node, node.extents))
        except Exception as error:  # the wizard may be gone
            log("cannot read the tree: %s" % error)

    def close(self):
        if CURRENT and CURRENT[-1] is self:
            CURRENT.pop()
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.log.close()
        shutil.rmtree(self.home, ignore_errors=True)


def check_done_page(wizard, user):
    texts = wizard.texts()
    check(any(re.fullmatch(r"[A-Z]: Public", text) for text in texts),
          "%s: the done page lists the Public drive (%s)" % (wizard.tag, texts))
    check(any(re.fullmatch(r"[A-Z]: " + user, text) for text in texts),
          "%s: the done page lists %s's drive" % (wizard.tag, user))
    check(say('You are logged in as "%s"').replace("%s", user) in texts,
          "%s: the done page says %s is logged in" % (wizard.tag, user))
    store = wizard.remembered_connections()
    for share in ("Public", user):
        check(("\\\\%s\\%s" % (NAS, share)).lower() in store.lower(),
              "%s: \\\\%s\\%s is a remembered connection" % (wizard.tag, NAS, share))


def check_browser(wizard, user):
    addresses = wizard.browser_addresses()
    check(len(addresses) == 1 and addresses[0].lower().startswith("http://%s" % NAS)
          and "token=" in addresses[0],
          "%s: Done handed the web application's address with a sign-in token to the browser "
          "(%s)" % (wizard.tag, addresses))


def mouse_run():
    """At 100 %: the mouse and typed passwords."""
    user = "bob"
    wizard = Wizard("mouse")
    layouts = {}
    try:
        wizard.wait_page("Discover")
        # The simulator answers within seconds: the scanning view may be gone already.
        if any(text.startswith(say("Scanning: %d seconds").split("%d")[0])
               for text in wizard.texts()):
            wizard.screenshot("discover-scanning")
        else:
            log("mouse: the NAS was found before the scanning view could be photographed")
        row = wait_for(lambda: [node for node in wizard.showing(name=DEVICE)
                                if node.role not in TEXT_ROLES],
                       "the device row %r" % DEVICE, timeout=60)[0]
        time.sleep(0.3)
        check(say("Found 1 network drive.") in wizard.texts(),
              "mouse: the result text (%s)" % wizard.texts())
        wizard.record_page("discover-found", "discover", layouts)

        wizard.click(row)
        wizard.wait_page("Sign in")
        wizard.record_page("sign-in", "sign-in", layouts)

        # The user list: open it and click the user.
        wizard.click_control(pyatspi.ROLE_COMBO_BOX, None)
        time.sleep(0.5)
        choices = [node for node in wizard.showing(name=user)
                   if node.role != pyatspi.ROLE_COMBO_BOX and node.extents
                   and node.extents[2] > 0]
        if choices:
            wizard.click(choices[0])
        else:  # the open list is not in the tree: pick with the keys the list offers
            wizard.keys("Down", "Return")
        wait_for(lambda: wizard.showing(pyatspi.ROLE_COMBO_BOX, user), "%s chosen" % user)

        wizard.click_control(FIELD_ROLES, say("Password"))
        wizard.type("not-the-password")
        wizard.click_control(pyatspi.ROLE_PUSH_BUTTON, say("Sign in"))
        wait_for(lambda: say("Wrong Password") in wizard.texts(), "the text Wrong Password")
        check(wizard.header() == TITLE + ": " + say("Sign in"),
              "mouse: a wrong password stays on the page")
        wizard.record_page("sign-in-wrong-password", "sign-in with an error", layouts)

        wizard.click_control(FIELD_ROLES, say("Password"))
        wizard.keys("ctrl+a")
        wizard.type(ACCOUNTS[user])
        wizard.click_control(pyatspi.ROLE_PUSH_BUTTON, say("Sign in"))
        wizard.wait_page("Assign")
        check_done_page(wizard, user)
        wizard.record_page("done", "done", layouts)

        wizard.click_control(pyatspi.ROLE_PUSH_BUTTON, say("Done"))
        status = wizard.wait_end()
        check(status == 0, "mouse: Done ends the wizard (status %s)" % status)
        check_browser(wizard, user)
    finally:
        wizard.close()
    return layouts


def keyboard_run(layouts_at_100):
    """At 200 %: the keyboard alone; Enter and Escape do nothing inside a page."""
    user = "alice"
    wizard = Wizard("keyboard-200", scale=2)
    layouts = {}
    try:
        wizard.focus_window()
        wizard.wait_page("Discover")
        wizard.screenshot("discover-first")
        wait_for(lambda: [node for node in wizard.showing(name=DEVICE)
                          if node.role not in TEXT_ROLES], "the device row", timeout=60)
        time.sleep(0.3)
        # From "Search again" back to the list.
        wizard.keys("shift+Tab")
        check(wait_for(lambda: any(node.role != pyatspi.ROLE_PUSH_BUTTON
                                   for node in wizard.focused()), "focus in the list", 5),
              "keyboard: Shift+Tab reaches the device list")
        wizard.keys("Down", "Up")
        wizard.record_page("discover-found", "discover", layouts)
        wizard.nothing_happens("Return", "discover")
        wizard.nothing_happens("Escape", "discover")
        wizard.keys("space")
        wizard.wait_page("Sign in")

        check(wizard.has_focus(pyatspi.ROLE_COMBO_BOX, say("Username")),
              "keyboard: the sign-in page opens with the focus on the user list (%s)"
              % wizard.focused())
        wizard.record_page("sign-in", "sign-in", layouts)
        wizard.nothing_happens("Return", "sign-in")
        wizard.nothing_happens("Escape", "sign-in")
        wizard.keys("Tab")
        check(wizard.has_focus(FIELD_ROLES, say("Password")),
              "keyboard: Tab goes from the user list to the password")
        for button in ("Sign in", "Skip", "Select a different drive"):
            wizard.keys("Tab")
            check(wizard.has_focus(pyatspi.ROLE_PUSH_BUTTON, say(button)),
                  "keyboard: Tab reaches %r next" % button)
        for _ in range(4):
            wizard.keys("shift+Tab")
        check(wizard.has_focus(pyatspi.ROLE_COMBO_BOX, say("Username")),
              "keyboard: Shift+Tab goes back to the user list")
        # alice is the first user and already chosen; type a wrong password, Tab, Space.
        wizard.keys("Tab")
        wizard.type("not-the-password")
        wizard.nothing_happens("Return", "sign-in (password)")
        wizard.keys("Tab")
        check(wizard.has_focus(pyatspi.ROLE_PUSH_BUTTON, say("Sign in")), "keyboard: on Sign in")
        wizard.keys("space")
        wait_for(lambda: say("Wrong Password") in wizard.texts(), "the text Wrong Password")
        check(wizard.has_focus(FIELD_ROLES, say("Password")),
              "keyboard: after a wrong password the focus is back on the password")
        wizard.record_page("sign-in-wrong-password", "sign-in with an error", layouts)
        wizard.type(ACCOUNTS[user])  # replaces the selected wrong one
        wizard.keys("Tab", "space")
        wizard.wait_page("Assign")

        check(wizard.has_focus(pyatspi.ROLE_PUSH_BUTTON, say("Done")),
              "keyboard: the done page opens with the focus on Done (%s)" % wizard.focused())
        check_done_page(wizard, user)
        wizard.record_page("done", "done", layouts)
        wizard.nothing_happens("Return", "done")
        wizard.nothing_happens("Escape", "done")
        wizard.keys("space")
        status = wizard.wait_end()
        check(status == 0, "keyboard: Space on Done ends the wizard (status %s)" % status)
        check_browser(wizard, user)
    finally:
        wizard.close()

    # Every page keeps its layout: each control at the same place and size in points, on a
    # window of twice as many pixels each way.
    for page, (controls, size) in layouts_at_100.items():
        if page not in layouts:
            continue
        controls2, size2 = layouts[page]
        check(size2 == (2 * size[0], 2 * size[1]),
              "200 %%, %s page: the window is %s pixels, twice %s" % (page, size2, size))
        moved = []
        for key, rect in controls.items():
            if key in controls2 and any(abs(a - b) > 1 for a, b in zip(rect, controls2[key])):
                moved.append("%s %r: %s at 200 %%, %s at 100 %%" % (
                    key[0].value_nick, key[1], controls2[key], rect))
        compared = len([key for key in controls if key in controls2])
        check(compared > 0 and not moved,
              "200 %%, %s page: %d controls in the same place in points %s"
              % (page, compared, moved if moved else ""))


def close_run():
    """The window's close key ends the wizard without opening the browser."""
    wizard = Wizard("close")
    try:
        wizard.focus_window()
        wizard.wait_page("Discover")
        wizard.keys("alt+F4")
        status = wizard.wait_end(10)
        check(status is not None, "close: Alt+F4 ends the wizard (status %s)" % status)
        check(wizard.browser_addresses() == [], "close: no browser is opened")
    finally:
        wizard.close()


def main():
    os.makedirs(OUT, exist_ok=True)
    for old in os.listdir(OUT):
        if old.endswith(".png"):
            os.remove(os.path.join(OUT, old))
    try:
        layouts = mouse_run()
        keyboard_run(layouts)
        close_run()
    except (TimeoutError, RuntimeError, subprocess.CalledProcessError) as error:
        failures.append(str(error))
        log("FAILED: " + str(error))
    shots = sorted(name for name in os.listdir(OUT) if name.endswith(".png"))
    log("screenshots in %s:" % OUT)
    for name in shots:
        log("  " + name)
    if failures:
        log("%d check(s) failed" % len(failures))
        return 1
    log("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
