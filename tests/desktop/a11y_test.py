#!/usr/bin/env python3
"""What a screen reader reads of the program: its windows and controls seen
through a real AT-SPI client, and the keyboard's Tab order walked there.

Run inside a private D-Bus session under an X server (the CTest entry does
both): `xvfb-run -a dbus-run-session -- python3 a11y_test.py PROGRAM`.
"""
import os
import sys
import time
import unittest

import pyatspi

from driver import Program

MAIN_TITLE = "Quindle Tapeloom"

# Control id -> (role, name, caption shown on screen).
PICTURE_BUTTONS = {
    1005: "Stop", 1010: "Slow reverse", 1007: "Rewind", 1003: "Play", 1006: "Fast forward",
    1011: "Slow forward", 1004: "Pause", 1009: "Frame step back", 1008: "Frame step forward",
    1029: "Choose capture file",
}
CAPTIONS = {
    1005: "[]", 1010: "<<", 1007: "<<<", 1003: "|>", 1006: ">>>", 1011: ">>", 1004: "| |",
    1009: "< | |", 1008: "| | >", 1029: "...",
}
# Fields and value texts named by the label before them: role, the label's
# text, and the control's own text (a drop-down list keeps its choice as its
# name, Qt's way on Linux; readers take the label from the relation).
LABELLED = [
    (pyatspi.ROLE_COMBO_BOX, "DV Device:", 1031),
    (pyatspi.ROLE_LABEL, "Device Type:", 1018),
    (pyatspi.ROLE_LABEL, "Current Status:", 1016),
    (pyatspi.ROLE_LABEL, "Current Possition:", 1015),
    (pyatspi.ROLE_TEXT, "Capture File:", 1022),
    (pyatspi.ROLE_COMBO_BOX, "File Type:", 1032),
    (pyatspi.ROLE_LABEL, "Dropped:", 1020),
    (pyatspi.ROLE_LABEL, "Captured:", 1021),
]
# The Tab order inside the capture panel, a child dialog of its own: Tab
# goes round its controls (those disabled at the time are passed over) and
# back to the first.
TAB_ORDER = [
    "DV Device:", "Stop", "Slow reverse", "Rewind", "Play", "Fast forward", "Slow forward",
    "Pause", "Frame step back", "Frame step forward", "Capture File:",
    "Choose capture file", "File Type:", "Capture",
]


def walk(acc):
    yield acc
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def labelled_by(acc):
    names = []
    for rel in acc.getRelationSet():
        if rel.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [rel.getTarget(i).name for i in range(rel.getNTargets())]
    return names


def has(acc, state):
    return acc.getState().contains(state)


def application(pid, limit=20):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:
                pass
        time.sleep(0.1)
    return None


def find(root, role, name, limit=10):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        for acc in walk(root):
            if acc.getRole() == role and acc.name == name:
                return acc
        time.sleep(0.1)
    return None


class ScreenReaderTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Qt's AT-SPI bridge needs a real display connection (xcb); with the
        # offscreen platform the program never shows on the bus.
        cls.program = Program(sys.argv[1], {"QT_QPA_PLATFORM": "xcb",
                                            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"})
        try:
            cls.start()
        except BaseException:
            cls.program.stop()
            raise

    @classmethod
    def start(cls):
        cls.main = cls.program.start(MAIN_TITLE)
        assert cls.main, "the main window did not show"
        cls.program.wait_ready()
        cls.app = application(cls.program.pid)
        assert cls.app is not None, "the program is not on the accessibility bus"
        cls.dialog = find(cls.app, pyatspi.ROLE_DIALOG, MAIN_TITLE)
        assert cls.dialog is not None, "no dialog named " + MAIN_TITLE

    @classmethod
    def tearDownClass(cls):
        cls.program.stop()

    def named(self, role, name):
        acc = find(self.dialog, role, name, limit=2)
        self.assertIsNotNone(acc, f"no {role} named {name!r}")
        return acc

    def test_picture_buttons_are_named_and_tipped_in_words_captions_unchanged(self):
        for cid, name in PICTURE_BUTTONS.items():
            with self.subTest(name=name):
                acc = self.named(pyatspi.ROLE_PUSH_BUTTON, name)
                self.assertEqual(acc.description, name)  # the tooltip
                self.assertEqual(self.program.text(cid), CAPTIONS[cid])

    def labelled(self, role, label):
        found = [a for a in walk(self.dialog) if a.getRole() == role and labelled_by(a) == [label]]
        self.assertEqual(len(found), 1, f"{role} labelled by {label!r}")
        return found[0]

    def test_fields_and_values_are_named_by_their_labels(self):
        for role, label, cid in LABELLED:
            with self.subTest(label=label):
                acc = self.labelled(role, label)
                if role == pyatspi.ROLE_COMBO_BOX:
                    self.assertEqual(acc.name, self.program.text(cid))
                else:
                    self.assertEqual(acc.name, label)
                # The labels' own texts are unchanged.
                self.assertIsNotNone(self.named(pyatspi.ROLE_LABEL, label))

    def test_value_texts_read_their_value_as_description(self):
        for role, label, cid in LABELLED:
            if role != pyatspi.ROLE_LABEL:
                continue
            with self.subTest(label=label):
                acc = self.labelled(role, label)
                # The value changes while the deck runs: read both sides
                # until they agree.
                self.assertTrue(self.program.wait_for(
                    lambda: acc.description == self.program.text(cid), 3),
                    f"{acc.description!r} != {self.program.text(cid)!r}")

    def test_buttons_with_words_keep_them_and_panel_is_a_pane(self):
        for name in ("Capture", "About Tapeloom", "Exit"):
            with self.subTest(name=name):
                acc = self.named(pyatspi.ROLE_PUSH_BUTTON, name)
                self.assertEqual(acc.description, "")
        panels = [a for a in walk(self.dialog) if a.getRole() == pyatspi.ROLE_PANEL]
        self.assertTrue(panels, "the capture panel is not a pane")

    def test_tab_walks_the_controls_in_order(self):
        sensitive = [n for n in TAB_ORDER if any(
            (labelled_by(a) or [a.name])[0] == n and has(a, pyatspi.STATE_SENSITIVE)
            and has(a, pyatspi.STATE_FOCUSABLE) for a in walk(self.dialog))]
        self.assertIn("Play", sensitive)
        self.program.focus(1031)
        visited = []
        for _ in range(len(sensitive) + 1):
            visited.append(self.focused())
            self.program.key(self.main, "tab")
        self.assertEqual(visited, sensitive + sensitive[:1])

    def focused(self, limit=3):
        deadline = time.monotonic() + limit
        last = None
        while time.monotonic() < deadline:
            now = [(labelled_by(a) or [a.name])[0] for a in walk(self.dialog)
                   if has(a, pyatspi.STATE_FOCUSED)]
            if now and now == last:
                return now[-1]
            last = now
            time.sleep(0.05)
        return last[-1] if last else None

    def test_about_box_is_a_dialog(self):
        self.program.click(1042)
        about = find(self.app, pyatspi.ROLE_DIALOG, "About Tapeloom")
        self.assertIsNotNone(about)
        ok = find(about, pyatspi.ROLE_PUSH_BUTTON, "OK")
        self.assertIsNotNone(ok)
        box = self.program.wait_window("About Tapeloom")
        self.program.key(box, "escape")
        self.assertTrue(self.program.wait_gone("About Tapeloom"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
