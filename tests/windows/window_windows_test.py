#!/usr/bin/env python3
"""The Win32 dialog of the Windows build, shown by Wine on the test run's virtual display
(tests/windows/wine_session.sh) and worked from outside: the keyboard through xdotool,
the controls through tests/windows/dialog_probe.cpp (WM_GETTEXT and the like, from a
program of the same Wine session).

- the template: each control's id, class, style, place and size (in dialog units, as
  the dialog's own base units turn them into pixels), the window's frame and title;
- the first state: the four option boxes ticked, Refresh cache not, the focus in the
  recipe box, the bar at 0;
- the list typed in, Tab order recipe box, Generate, shopping-list box, Generate pressed
  with the space bar: the list that comes out is the Linux build's dialog's list (same
  text once CR LF is read as LF), and the cache the same; Escape ends the program with
  exit code 0;
- the message boxes: the first-time notice without owner, the empty-list warning owned
  by the dialog, the template box without owner or icon; the close box ends the program.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wintest  # noqa: E402
from wintest import MAIN_TITLE, PATIENCE, SAMPLE, path_of, wait_for  # noqa: E402

WS_CHILD, WS_VISIBLE, WS_TABSTOP, WS_BORDER, WS_VSCROLL = 0x40000000, 0x10000000, 0x00010000, 0x00800000, 0x00200000
WS_POPUP, WS_CAPTION, WS_SYSMENU = 0x80000000, 0x00C00000, 0x00080000
WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_THICKFRAME = 0x00020000, 0x00010000, 0x00040000
DS_MODALFRAME, DS_3DLOOK, DS_CENTER, DS_SHELLFONT = 0x80, 0x4, 0x800, 0x48
WS_EX_CLIENTEDGE = 0x200
ES_MULTILINE, ES_AUTOHSCROLL, ES_READONLY, ES_WANTRETURN = 0x4, 0x80, 0x800, 0x1000
BS_AUTOCHECKBOX, BS_TYPEMASK = 0x3, 0xF
SS_TYPEMASK = 0x1F

EDIT = ES_MULTILINE | ES_AUTOHSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP
# id, class, style bits that must be set, style bits that must not, x, y, width, height
TEMPLATE = [
    (0, "Static", 0, WS_TABSTOP | SS_TYPEMASK, 3, 2, 404, 11),
    (40000, "Edit", EDIT, ES_READONLY, 3, 12, 418, 160),
    (40001, "Button", BS_AUTOCHECKBOX, WS_TABSTOP, 4, 179, 55, 8),
    (40002, "Button", BS_AUTOCHECKBOX, WS_TABSTOP, 70, 179, 125, 8),
    (40003, "Button", BS_AUTOCHECKBOX, WS_TABSTOP, 204, 179, 83, 8),
    (40004, "Button", BS_AUTOCHECKBOX, WS_TABSTOP, 288, 179, 73, 8),
    (40006, "Button", WS_TABSTOP, BS_TYPEMASK, 3, 195, 48, 14),
    (40007, "msctls_progress32", 0, 0xFFFF | WS_TABSTOP, 121, 196, 298, 14),
    (40009, "Button", BS_AUTOCHECKBOX, WS_TABSTOP, 57, 199, 63, 8),
    (40005, "Edit", EDIT | ES_READONLY, 0, 3, 214, 417, 210),
]
CHECK_BOX_TEXTS = {40001: "Omit crystals", 40002: "Don't craft items sold by merchants",
                   40003: "Craft beast tribe items", 40004: "Craft material gear", 40009: "Refresh cache"}
INSTRUCTION = ("Paste your recipe list below to generate a shopping list. If you need more than one (1) item, "
               "type the quantity after the item name,")
# A recipe whose ingredient list never ends: the template report "3".
BROKEN_RECIPE = ('{"item":{"name":"Broken Recipe","id":"105","craft":[{"job":1,'
                 '"ingredients":[{"id":101,"amount":1}}')


def mul_div(value, numerator, denominator):
    """MulDiv: value * numerator / denominator rounded to the nearest, halves away from zero."""
    return (2 * value * numerator + denominator) // (2 * denominator)


class WindowTest(wintest.StandinTestCase):
    WORK_PREFIX = "shopping-window-"

    @classmethod
    def setUpClass(cls):
        with open(os.path.join(path_of("TAVRO_WINE_SESSION"), "display")) as f:
            cls.display = ":" + f.read().strip()
        super().setUpClass()

    def environment(self):
        env = wintest.program_environment(self.standin.url)
        env["DISPLAY"] = self.display
        return env

    def folder(self, with_core=True):
        folder = tempfile.mkdtemp(dir=self.work)
        os.makedirs(os.path.join(folder, "cache"))
        if with_core:
            shutil.copy(os.path.join(SAMPLE, "core.json"), os.path.join(folder, "cache", "corvanedbcore"))
        return folder

    def start(self, command, folder):
        """Starts a program without a terminal (so it shows its window)."""
        log = open(os.path.join(folder, ".program-output"), "wb")
        process = subprocess.Popen(command, cwd=folder, env=self.environment(), stdin=subprocess.DEVNULL,
                                   stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        log.close()
        self.addCleanup(self.kill, process)
        return process

    @staticmethod
    def kill(process):
        if process.poll() is None:
            process.kill()
            process.wait()

    def probe(self, *commands):
        run = subprocess.run([wintest.WINE_RUN, path_of("TAVRO_DIALOG_PROBE")] + list(commands),
                             env=self.environment(), stdin=subprocess.DEVNULL, capture_output=True,
                             timeout=PATIENCE * 2)
        lines = run.stdout.decode().replace("\r\n", "\n").splitlines()
        self.assertEqual(run.returncode, 0, "probe %s said:\n%s%s" % (commands, run.stdout.decode(),
                                                                      run.stderr.decode()))
        return lines

    def probe_text(self, control, *before):
        """The text of a control of the main dialog, byte for byte."""
        path = os.path.join(self.work, "probe-text")
        self.probe(*before, "wait", MAIN_TITLE, str(PATIENCE), "text", str(control), wintest.windows_path(path))
        with open(path, "rb") as f:
            return f.read()

    def focus(self, expected):
        """The focus, once it is on `expected` or the patience is used up."""
        return self.probe("wait", MAIN_TITLE, str(PATIENCE), "wait-focus", expected, str(PATIENCE))[-1]

    def keys(self, *keys):
        subprocess.run(["xdotool", "key", "--delay", "30"] + list(keys), env=self.environment(), check=True)

    def type_list(self, window_name):
        """Types the demo list into the focused window, a line and Return at a time."""
        env = self.environment()
        window = subprocess.run(["xdotool", "search", "--sync", "--name", "^%s$" % window_name],
                                env=env, capture_output=True, check=True, timeout=PATIENCE).stdout.split()[0]
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=env, check=True, timeout=PATIENCE)
        with open(os.path.join(SAMPLE, "list.txt")) as f:
            for line in f.read().splitlines():
                subprocess.run(["xdotool", "type", "--delay", "10", line], env=env, check=True)
                self.keys("Return")

    def ended(self, process):
        return process.wait(timeout=PATIENCE)

    def test_template_and_first_state(self):
        process = self.start(wintest.windows_command([]), self.folder())
        lines = self.probe("wait", MAIN_TITLE, str(PATIENCE), "layout", "title", "focus", "progress",
                           *[part for box in (40001, 40002, 40003, 40004, 40009) for part in ("checked", str(box))])
        window = [int(v) for v in lines[1].split()[1:]]
        client = [int(v) for v in lines[2].split()[1:]]
        work = [int(v) for v in lines[3].split()[1:]]
        dialog_style = int(lines[4].split()[1], 16)
        controls = [line.split() for line in lines[5:5 + len(TEMPLATE)]]
        rest = lines[5 + len(TEMPLATE):]
        # The dialog's base units are what turns its 424 x 427 units into its client area.
        base_x = next(b for b in range(1, 40) if mul_div(424, b, 4) == client[0])
        base_y = next(b for b in range(1, 60) if mul_div(427, b, 8) == client[1])
        for bits in (WS_POPUP, WS_VISIBLE, WS_CAPTION, WS_SYSMENU, DS_MODALFRAME, DS_3DLOOK, DS_CENTER, DS_SHELLFONT):
            self.assertEqual(dialog_style & bits, bits, hex(bits))
        for bits in (WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_THICKFRAME):
            self.assertEqual(dialog_style & bits, 0, hex(bits))
        # Centred in the work area of its monitor, frame included.
        self.assertLessEqual(abs(window[0] - (work[0] + (work[2] - window[2]) // 2)), 1, (window, work))
        self.assertLessEqual(abs(window[1] - (work[1] + (work[3] - window[3]) // 2)), 1, (window, work))
        self.assertEqual(len(controls), len(TEMPLATE))
        for found, (ident, class_name, on, off, x, y, width, height) in zip(controls, TEMPLATE):
            with self.subTest(control=ident):
                style, ex_style = int(found[3], 16), int(found[4], 16)
                self.assertEqual((int(found[1]), found[2]), (ident, class_name))
                self.assertEqual(style & (WS_CHILD | WS_VISIBLE | on), WS_CHILD | WS_VISIBLE | on)
                self.assertEqual(style & off, 0)
                if class_name == "Edit":
                    self.assertTrue(style & WS_BORDER or ex_style & WS_EX_CLIENTEDGE, "no border")
                self.assertEqual([int(v) for v in found[5:9]],
                                 [mul_div(x, base_x, 4), mul_div(y, base_y, 8),
                                  mul_div(width, base_x, 4), mul_div(height, base_y, 8)])
        self.assertEqual(rest, ["title " + MAIN_TITLE, "focus 40000", "progress 0",
                                "checked 1", "checked 1", "checked 1", "checked 1", "checked 0"])
        self.assertEqual(self.probe_text(0).decode(), INSTRUCTION)
        for ident, text in CHECK_BOX_TEXTS.items():
            self.assertEqual(self.probe_text(ident).decode(), text)
        self.assertEqual(self.probe_text(40006).decode(), "Generate")
        # Close in the system menu (as the close box) ends the program.
        self.probe("wait", MAIN_TITLE, str(PATIENCE), "close", "gone", str(PATIENCE))
        self.assertEqual(self.ended(process), 0)

    def test_keyboard_run_gives_the_linux_dialogs_list(self):
        folder = self.folder()
        process = self.start(wintest.windows_command([]), folder)
        # Refresh cache ticked by the mouse's way (it takes the focus), then back to the
        # recipe box against the tab order.
        self.probe("wait", MAIN_TITLE, str(PATIENCE), "click", "40009", "wait-checked", "40009", "1",
                   str(PATIENCE), "wait-focus", "40009", str(PATIENCE))
        self.keys("shift+Tab", "shift+Tab")
        self.assertEqual(self.focus("40000"), "focus 40000")
        self.type_list(MAIN_TITLE)
        typed = os.path.join(self.work, "typed")
        with open(os.path.join(SAMPLE, "list.txt"), "rb") as f, open(typed, "wb") as out:
            out.write(f.read().replace(b"\n", b"\r\n"))
        self.probe("wait", MAIN_TITLE, str(PATIENCE), "wait-equal", "40000", wintest.windows_path(typed),
                   str(PATIENCE))
        for key, focus in (("Tab", "40006"), ("Tab", "40005"), ("Tab", "40000"), ("shift+Tab", "40005"),
                           ("shift+Tab", "40006")):
            self.keys(key)
            self.assertEqual(self.focus(focus), "focus " + focus, key)
        self.keys("space")
        self.probe("wait", MAIN_TITLE, str(PATIENCE), "wait-text", "40005", "Shopping list:", str(PATIENCE))
        windows_list = self.probe_text(40005)
        self.assertEqual(self.probe("wait", MAIN_TITLE, str(PATIENCE), "progress", "checked", "40009")[1:],
                         ["progress 99", "checked 0"])
        self.assertEqual(self.probe_text(40006).decode(), "Generate")
        self.keys("Escape")
        self.probe("wait", MAIN_TITLE, str(PATIENCE), "gone", str(PATIENCE))
        self.assertEqual(self.ended(process), 0)
        # Every line of the box ends in CR LF.
        self.assertTrue(windows_list.endswith(b"\r\n"))
        self.assertNotIn(b"\n", windows_list.replace(b"\r\n", b""))

        # The Linux build's dialog, the same way.
        linux_folder = self.folder()
        linux = self.start(wintest.linux_command([]), linux_folder)
        self.type_list(MAIN_TITLE)
        self.keys("Tab", "space", "Tab")

        def copied_list():
            self.keys("ctrl+a", "ctrl+c")
            copied = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.environment(),
                                    capture_output=True).stdout
            return copied if copied.startswith(b"Shopping list:") else None
        linux_list = wait_for(copied_list, what="the Linux dialog's list")
        self.keys("Escape")
        self.assertEqual(self.ended(linux), 0)
        self.assertEqual(windows_list.replace(b"\r\n", b"\n").decode(), linux_list.decode().rstrip("\n") + "\n")
        self.assertEqual(wintest.folder_snapshot(os.path.join(folder, "cache")),
                         wintest.folder_snapshot(os.path.join(linux_folder, "cache")))

    def test_message_boxes_and_the_close_box(self):
        folder = self.folder(with_core=False)
        with open(os.path.join(folder, "cache", "Broken Recipe"), "w") as f:
            f.write(BROKEN_RECIPE)
        process = self.start(wintest.windows_command([]), folder)
        # Before the dialog: the first-time notice, with no owner.
        self.assertEqual(self.probe("box", "Message", str(PATIENCE)),
                         ["box none icon Loading CorvaneDB core for the first time..."])
        lines = self.probe("wait", MAIN_TITLE, str(PATIENCE), "click", "40006", "box", "Recipe list empty",
                           str(PATIENCE))
        self.assertEqual(lines[1:], ["box dialog icon Recipe list empty"])
        recipe = os.path.join(self.work, "recipe")
        with open(recipe, "w") as f:
            f.write("Broken Recipe 1\r\n")
        lines = self.probe("wait", MAIN_TITLE, str(PATIENCE), "set-text", "40000", wintest.windows_path(recipe),
                           "click", "40006", "box", "CorvaneDB template changed. Message:", str(PATIENCE),
                           "wait-text", "40005", "Error", str(PATIENCE))
        self.assertEqual(lines[1:], ["box none no-icon 3", "text ready"])
        self.assertEqual(self.probe_text(40005),
                         b"Error while getting recipe [Broken Recipe]: CorvaneDB template changed. "
                         b"Message: [3].\n\r\n")
        self.probe("wait", MAIN_TITLE, str(PATIENCE), "close", "gone", str(PATIENCE))
        self.assertEqual(self.ended(process), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
