"""The window under the colour schemes and scales a technician's desktop may have: every
text it draws on a colour it fixes stays readable, at the contrast the WCAG asks for.

Screenshots of every scheme and scale are kept in CRTEST_ARTIFACTS/screenshots for a
person to look at.
"""

import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession  # noqa: E402
from test_window import WindowTest  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SCHEMES = {
    "default": None,
    "dark": "/usr/share/qt6ct/colors/darker.conf",
    "high-contrast": os.path.join(HERE, "highcontrast.conf"),
}

# Text on the colours the window fixes, in window pixels at scale 1, and for captions the
# side they are aligned to: the row titles and drawer numbers on the drawer panel, the
# captions and boxes of the statistics panel, and the STATUS caption on its button. The
# drawer letters keep their design colours.
TEXTS = [
    ("Cash Drawer Number :", (40, 120, 183, 18), "left"),
    ("Open/Close/Not Preset:", (40, 152, 185, 21), "left"),
    ("Kick This Drawer Out ?", (40, 184, 185, 17), "left"),
    *((f"#{n}", (244 + 32 * n, 112, 25, 21), "centre") for n in range(8)),
    ("SerialNumber :", (16, 264, 165, 17), "right"),
    ("MechanicalRevision : ", (16, 296, 165, 17), "right"),
    ("ManufactureDate :", (16, 328, 165, 17), "right"),
    ("InstallationDate :", (304, 264, 165, 17), "right"),
    ("DrawerGoodOpen :", (304, 296, 165, 25), "right"),
    ("DrawerFailedOpen :", (304, 328, 165, 17), "right"),
    *((f"box {r}", xsession.statistics_box(r), None) for r in (5, 6, 7, 10, 13, 14)),
    ("STATUS", (252, 50, 72, 20), None),
]
# A caption too wide for its label is cut at the edge opposite its alignment, and its
# letters touch that edge.
CUT_EDGES = {"left": [-1], "centre": [0, -1], "right": [0]}


def luminance(rgb):
    def channel(c):
        c /= 255
        return c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (channel(c) for c in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


def text_contrast(pixels):
    """The contrast of a region's text against its background: the background is the
    region's most common colour, the text the colour that stands out most from it."""
    counts = {}
    for row in pixels:
        for colour in row:
            counts[colour] = counts.get(colour, 0) + 1
    background = max(counts, key=counts.get)
    return max(contrast(colour, background) for colour in counts), background


class Appearance(WindowTest):
    screen = (1600, 1000)  # room for the window at twice its size

    def look(self, scheme, scale):
        environment = {"QT_SCALE_FACTOR": str(scale)}
        if SCHEMES[scheme]:
            config = tempfile.mkdtemp(prefix="crtest-qt6ct-")
            self.addCleanup(shutil.rmtree, config, True)
            os.makedirs(os.path.join(config, "qt6ct"))
            with open(os.path.join(config, "qt6ct", "qt6ct.conf"), "w") as conf:
                conf.write(f"[Appearance]\ncolor_scheme_path={SCHEMES[scheme]}\n"
                           "custom_palette=true\n")
            environment.update({"QT_QPA_PLATFORMTHEME": "qt6ct", "XDG_CONFIG_HOME": config})
        program = self.start(environment=environment)
        self.assertLetters("CCCCNNNN")
        folder = os.path.join(os.environ.get("CRTEST_ARTIFACTS", "."), "screenshots")
        os.makedirs(folder, exist_ok=True)
        self.server.save(os.path.join(folder, f"{scheme}-x{scale}.png"))
        _, _, width, height = program.origin()
        self.assertEqual((width, height), (607 * scale, 384 * scale))
        for name, box, aligned in TEXTS:
            pixels = program.pixels(box)
            ratio, background = text_contrast(pixels)
            self.assertGreaterEqual(ratio, 4.5, f"{name} on {background}, {scheme}, x{scale}")
            if aligned:
                edges = {row[c] for row in pixels for c in CUT_EDGES[aligned]}
                self.assertEqual(edges, {background}, f"{name} cut, {scheme}, x{scale}")
        self.exit()

    def test_default_scheme(self):
        for scale in (1, 2):
            with self.subTest(scale=scale):
                self.look("default", scale)

    def test_dark_scheme(self):
        for scale in (1, 2):
            with self.subTest(scale=scale):
                self.look("dark", scale)

    def test_high_contrast_scheme(self):
        for scale in (1, 2):
            with self.subTest(scale=scale):
                self.look("high-contrast", scale)


if __name__ == "__main__":
    unittest.main(verbosity=2)
