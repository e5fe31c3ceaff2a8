#!/usr/bin/env python3
"""The control panel's pages as a real browser loads them from disk.

Usage: check_pages.py <folder with the installed pages> <folder for screenshots>

Checks that vornixui-popup.htm carries every element id the control panel
binds, each of the kind it binds, that neither page loads anything from
outside, and saves a PNG screenshot of each page; and that the native page's
table (NativePage.cpp) has the page's ids, kinds and labels.
"""
import html.parser
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

PAGES = sys.argv[1] if len(sys.argv) > 1 else "."
SHOTS = sys.argv[2] if len(sys.argv) > 2 else "."

CHECK_BOXES = ["ShowTray", "Quit", "ShowDiag", "MuteAudio", "NoSameSite", "NoFixed",
               "Ctrl", "Alt", "Shift", "AllowClicked", "NotifyBlock"]
CLICKABLE = ["ButtonOK", "ButtonCancel", "WebSite", "PickFile", "Vabout", "Vhelp", "Play",
             "AddSite", "RemoveSite"]
TEXT_BOXES = {"FileName": "input", "NewSite": "input", "Sites": "textarea"}
# The dialog's client area: 425 x 290 dialog units of 8-point MS Shell Dlg.
DIALOG_SIZE = (638, 472)
HELP_SIZE = (900, 1500)


def browser():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    raise AssertionError("no chromium: scripts/setup.sh installs it")


def run_browser(url, *extra):
    profile = tempfile.mkdtemp(prefix="vornix-chromium-")
    try:
        args = [browser(), "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                "--no-first-run", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                "--user-data-dir=" + profile, *extra, url]
        done = subprocess.run(args, capture_output=True, text=True, timeout=120)
        if done.returncode != 0:
            raise AssertionError("chromium failed: " + done.stderr[-2000:])
        return done.stdout
    finally:
        shutil.rmtree(profile, ignore_errors=True)


class Element:
    def __init__(self, tag, attrs):
        self.tag = tag
        self.attrs = dict(attrs)
        self.text = ""


class Dom(html.parser.HTMLParser):
    """Every element with an id, and every attribute that names a resource."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.by_id = {}
        self.duplicates = []
        self.references = []  # (tag, attribute, value)
        self.styles = []
        self.label_targets = set()
        self.labels = {}
        self.text = ""
        self.open = []
        self.in_style = False

    def handle_starttag(self, tag, attrs):
        element = Element(tag, attrs)
        if tag == "label":
            self.label_targets.add(element.attrs.get("for"))
            self.labels[element.attrs.get("for")] = element
        for name, value in attrs:
            if name in ("src", "href", "data", "background", "action") and value is not None:
                self.references.append((tag, name, value))
            if name == "style" and value:
                self.styles.append(value)
        ident = element.attrs.get("id")
        if ident:
            if ident in self.by_id:
                self.duplicates.append(ident)
            self.by_id[ident] = element
        self.in_style = tag == "style"
        if tag not in ("input", "br", "meta", "link", "img", "hr"):
            self.open.append(element)

    def handle_endtag(self, tag):
        self.in_style = False
        for i in range(len(self.open) - 1, -1, -1):
            if self.open[i].tag == tag:
                del self.open[i:]
                break

    def handle_data(self, data):
        if self.in_style:
            self.styles.append(data)
        else:
            self.text += data
        for element in self.open:
            element.text += data


def load(name):
    path = os.path.abspath(os.path.join(PAGES, name))
    if not os.path.isfile(path):
        raise AssertionError(path + " is not installed")
    dom = Dom()
    dom.feed(run_browser("file://" + path, "--dump-dom"))
    return path, dom


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        raise AssertionError(path + " is not a PNG")
    return struct.unpack(">II", head[16:24])


def is_external(value):
    v = value.strip().lower()
    return v.startswith(("http:", "https:", "ftp:", "//", "file:")) or "://" in v


class Pages(unittest.TestCase):
    def assert_self_contained(self, dom, links_allowed):
        for tag, attribute, value in dom.references:
            if tag == "a" and attribute == "href" and links_allowed:
                continue
            self.assertFalse(is_external(value) or tag != "a",
                             "%s %s=%r loads something" % (tag, attribute, value))
        for style in dom.styles:
            self.assertNotIn("url(", style.lower(), "a stylesheet loads something")
            self.assertNotIn("@import", style.lower())

    def screenshot(self, path, name, size):
        os.makedirs(SHOTS, exist_ok=True)
        shot = os.path.join(SHOTS, name)
        if os.path.exists(shot):
            os.remove(shot)
        run_browser("file://" + path, "--window-size=%d,%d" % size, "--screenshot=" + shot)
        self.assertEqual(png_size(shot), size)
        self.assertGreater(os.path.getsize(shot), 5000, "an empty picture")

    def test_control_panel_page(self):
        path, dom = load("vornixui-popup.htm")
        self.assertEqual(dom.duplicates, [])
        for ident in CHECK_BOXES:
            with self.subTest(ident=ident):
                element = dom.by_id.get(ident)
                self.assertIsNotNone(element, "missing")
                self.assertEqual(element.tag, "input")
                self.assertEqual(element.attrs.get("type", "").lower(), "checkbox")
        for ident, tag in TEXT_BOXES.items():
            with self.subTest(ident=ident):
                field = dom.by_id.get(ident)
                self.assertIsNotNone(field, "missing")
                self.assertEqual(field.tag, tag)
                self.assertIn(field.attrs.get("type", "text").lower(), ("text", ""))
        count = dom.by_id.get("NumPopups")
        self.assertIsNotNone(count, "NumPopups missing")
        self.assertNotEqual(count.tag, "input", "the count is shown as inner text")
        self.assertTrue(count.text.strip().isdigit(), repr(count.text))
        for ident in CLICKABLE:
            with self.subTest(ident=ident):
                element = dom.by_id.get(ident)
                self.assertIsNotNone(element, "missing")
                self.assertIn(element.tag, ("button", "a", "span", "div", "input"))
                self.assertTrue(element.text.strip() or element.attrs.get("value"),
                                "a clickable element says what it does")
                # The host opens links itself; the page must not navigate away.
                self.assertNotIn("href", element.attrs)
        for ident in CHECK_BOXES:
            self.assertIn(ident, dom.label_targets, ident + " has no label")
        self.assert_self_contained(dom, links_allowed=False)
        self.screenshot(path, "vornixui-popup.png", DIALOG_SIZE)

    def test_native_page_has_the_pages_ids_kinds_and_labels(self):
        here = os.path.dirname(os.path.abspath(__file__))
        source = os.path.join(here, "..", "..", "VornixUI")
        with open(os.path.join(source, "NativePage.cpp"), encoding="utf-8") as f:
            rows = re.findall(r'\{(?:nullptr|L"(\w+)"), PartKind::(\w+), L"([^"]*)", \d\}',
                              f.read())
        dom = Dom()
        with open(os.path.join(source, "vornixui-popup.htm"), encoding="cp1252") as f:
            dom.feed(f.read())

        def words(text):
            return " ".join(text.replace("\xa0", " ").split())

        self.assertEqual(sorted(i for i, _, _ in rows if i),
                         sorted(CHECK_BOXES + CLICKABLE + list(TEXT_BOXES) + ["NumPopups"]))
        for ident, kind, label in rows:
            with self.subTest(ident=ident, label=label):
                element = dom.by_id.get(ident)
                if kind in ("Check", "Key"):
                    self.assertEqual(element.attrs.get("type"), "checkbox")
                    self.assertEqual(words(dom.labels[ident].text), label)
                elif kind in ("Field", "Lines"):
                    self.assertEqual(element.tag, TEXT_BOXES[ident])
                    self.assertIn(label, words(dom.text))
                elif kind in ("Button", "Link", "Enter", "Escape"):
                    self.assertEqual(words(element.text), label)
                else:
                    self.assertIn(label, words(dom.text))

    def test_help_page(self):
        path, dom = load("index.htm")
        self.assertEqual(dom.duplicates, [])
        self.assert_self_contained(dom, links_allowed=True)
        with open(path, encoding="cp1252") as f:
            text = f.read()
        self.assertIn("http://www.quandrel.com/", text)
        self.screenshot(path, "index.png", HELP_SIZE)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
