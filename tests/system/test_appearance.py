"""The window under the colour schemes a technician's desktop may have that fight its fixed
colours most, at scale 1 and 2: every text it draws on a colour it fixes stays readable, at
the contrast the WCAG asks for, and no caption is cut. Screenshots of each are kept in
CRTEST_ARTIFACTS/screenshots for a person to look at.
"""

import collections
import itertools
import os
import tempfile
import unittest

from common import ARTIFACTS, SIMULATED, STATISTICS_BOXES
from test_window import WindowTest

SCHEMES = {"dark": "/usr/share/qt6ct/colors/darker.conf",
           "high-contrast": os.path.join(os.path.dirname(__file__), "highcontrast.conf")}

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
    *((f"box {record}", box, None) for record, box in STATISTICS_BOXES.items()),
    ("STATUS", (252, 50, 72, 20), None),
]
# A caption too wide for its label is cut at the edge opposite its alignment, and its
# letters touch that edge.
CUT_EDGES = {"left": [-1], "centre": [0, -1], "right": [0]}


def luminance(rgb):
    linear = [c / 255 / 12.92 if c / 255 <= 0.03928 else ((c / 255 + 0.055) / 1.055) ** 2.4
              for c in rgb]
    return 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2]


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


def text_contrast(image):
    """The contrast of a region's text against its background: the background is the
    region's most common colour, the text the colour that stands out most from it."""
    counts = collections.Counter(image.getdata())
    background = counts.most_common(1)[0][0]
    return max(contrast(colour, background) for colour in counts), background


class Appearance(WindowTest):
    screen = (1600, 1000)  # room for the window at twice its size

    def test_texts_readable_and_whole(self):
        for scheme, scale in itertools.product(SCHEMES, (1, 2)):
            with self.subTest(scheme=scheme, scale=scale):
                self.look_at(scheme, scale)

    def look_at(self, scheme, scale):
        config = tempfile.mkdtemp(dir=self.server.runtime)
        os.makedirs(os.path.join(config, "qt6ct"))
        with open(os.path.join(config, "qt6ct", "qt6ct.conf"), "w") as conf:
            conf.write(f"[Appearance]\ncolor_scheme_path={SCHEMES[scheme]}\n"
                       "custom_palette=true\n")
        program = self.start(environment={"QT_SCALE_FACTOR": str(scale), "XDG_CONFIG_HOME": config,
                                          "QT_QPA_PLATFORMTHEME": "qt6ct"})
        self.assertLetters(SIMULATED)
        self.server.save(os.path.join(ARTIFACTS, "screenshots", f"{scheme}-x{scale}.png"))
        self.assertEqual(program.origin()[2:], (607 * scale, 384 * scale))
        for name, box, aligned in TEXTS:
            image = program.pixels(box)
            ratio, background = text_contrast(image)
            self.assertGreaterEqual(ratio, 4.5, f"{name} on {background}")
            if aligned:
                edges = {image.getpixel((column % image.width, row))
                         for column in CUT_EDGES[aligned] for row in range(image.height)}
                self.assertEqual(edges, {background}, f"{name} cut")


if __name__ == "__main__":
    unittest.main(verbosity=2)
