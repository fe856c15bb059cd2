"""What the wizard and the backdrop paint, read back from the screen."""
import os
import unittest

import harness
from wizard_support import *  # noqa: F401,F403

MAGENTA, RED, GREEN, BLUE = (255, 0, 255), (255, 0, 0), (0, 255, 0), (0, 0, 255)


def hexrgb(c):
    return (c[0] << 16) | (c[1] << 8) | c[2]


class WizardPaintTest(WizardCase):
    def picture(self, name, width, height, pixel):
        with open(os.path.join(self.scratch, name), "wb") as f:
            f.write(bmp(width, height, pixel))
        return name

    def test_header_gradient(self):
        self.open(pages("license") + '[wizard]\nheader_gradient = true\nheader_gradient_start = "#000000"\n'
                  'header_color = "#FFFFFF"\nheader_picture = "none"\n')
        # Row 56 lies below the title and subtitle texts.
        for x, grey in ((0, 0), (85, 127), (169, 253), (170, 255), (400, 255)):
            self.assertEqual(self.pixel(x, 56), grey * 0x010101, x)

    def test_header_picture_key_colour_and_band_edge(self):
        # Left half magenta (the corner colour), right half red.
        pic = self.picture("header.bmp", 40, 30, lambda x, y: MAGENTA if x < 20 else RED)
        wizard = ('[wizard]\nheader_color = "#00FF00"\nheader_picture = "%s"\nheader_picture_left = 300\n'
                  'header_picture_top = 10\nheader_picture_transparent = %s\n')
        for transparent, left in (("true", GREEN), ("false", MAGENTA)):
            with self.subTest(transparent=transparent):
                self.open(pages("license") + wizard % (pic, transparent))
                self.assertEqual(self.pixel(305, 15), hexrgb(left))
                self.assertEqual(self.pixel(335, 15), hexrgb(RED))
                self.assertEqual(self.pixel(345, 15), hexrgb(GREEN))  # beyond the picture
                self.assertEqual(self.pixel(250, 59), 0xFFFFFF)
                self.process.kill()

    def test_header_picture_is_clipped_to_the_band(self):
        pic = self.picture("tall.bmp", 20, 100, lambda x, y: RED)
        self.open(pages("license") + '[wizard]\nheader_color = "#00FF00"\nheader_picture = "%s"\n'
                  'header_picture_left = 300\nheader_picture_top = 0\nheader_picture_transparent = false\n' % pic)
        self.assertEqual(self.pixel(305, 57), hexrgb(RED))
        self.assertEqual(self.pixel(305, 59), 0xFFFFFF)  # the etched edge is drawn over it
        self.assertNotEqual(self.pixel(305, 62), hexrgb(RED))  # the page below shows no picture

    def test_page_picture_loses_its_black(self):
        pic = self.picture("folder.bmp", 48, 48, lambda x, y: (0, 0, 0) if x < 24 else BLUE)
        self.open(pages("folder") + '[wizard]\nfolder_picture = "%s"\n' % pic)
        page = self.pixel(5, 100)
        self.assertEqual(self.pixel(32 + 10, 60 + 32 + 10), page)
        self.assertEqual(self.pixel(32 + 40, 60 + 32 + 10), hexrgb(BLUE))

    def test_side_picture(self):
        pic = self.picture("side.bmp", 50, 50, lambda x, y: MAGENTA if (x, y) == (0, 0) or x > 25 else RED)
        base = '[wizard]\nside_picture = "%s"\nside_picture_left = 10\nside_picture_top = 20\n' % pic
        for transparent, right in (("false", MAGENTA), ("true", (255, 255, 255))):
            with self.subTest(transparent=transparent):
                self.open(pages("welcome") + base + "side_picture_transparent = %s\n" % transparent)
                self.assertEqual(self.pixel(10 + 5, 20 + 5), hexrgb(RED))
                self.assertEqual(self.pixel(10 + 40, 20 + 5), hexrgb(right))
                self.assertEqual(self.pixel(5, 5), 0xFFFFFF)
                self.process.kill()


class BackdropTest(WizardCase):
    """On the 1024 x 768 screen of the test session; the wizard covers the
    middle (about 261..762 x 192..576), so points are read outside it."""

    def open_backdrop(self, backdrop, picture=None):
        body = pages("welcome") + "[backdrop]\n" + backdrop
        if picture:
            with open(os.path.join(self.scratch, "backdrop.bmp"), "wb") as f:
                f.write(picture)
            body += 'picture = "backdrop.bmp"\n'
        self.open(body)
        self.backdrop = "hwnd=0x%x" % self.robot_ok("wait", "title=Parvolex", "class=ParvolexBackdrop",
                                                      "visible=1", "exe=setup.exe")[0]["hwnd"]

    def at(self, x, y):
        return self.pixel(x, y, self.backdrop)

    def test_picture_modes(self):
        def tile(x, y):
            return (x * 2, y * 2, 77)
        cases = [
            ("tiled", bmp(100, 100, tile),
             {(30, 130): tile(30, 30), (1000, 150): tile(0, 50), (150, 650): tile(50, 50),
              (999, 699): tile(99, 99)}),
            ("stretched", bmp(2, 2, lambda x, y: [[RED, GREEN], [BLUE, MAGENTA]][y][x]),
             {(100, 100): RED, (900, 100): GREEN, (100, 700): BLUE, (900, 650): MAGENTA}),
            # 1001 x 701 centred: offsets 11.5 and 33.5 go to the even 12 and 34.
            ("centred", bmp(1001, 701, lambda x, y: BLUE),
             {(11, 300): (0, 0, 0), (12, 300): BLUE, (900, 33): (0, 0, 0), (900, 34): BLUE,
              (1012, 300): BLUE, (1013, 300): (0, 0, 0)}),
        ]
        for mode, picture, points in cases:
            with self.subTest(mode=mode):
                self.open_backdrop('style = "picture"\npicture_mode = "%s"\n' % mode, picture)
                for (x, y), colour in points.items():
                    self.assertEqual(self.at(x, y), hexrgb(colour), (x, y))
                self.process.kill()

    def test_gradients(self):
        for direction in ("vertical", "horizontal"):
            with self.subTest(direction=direction):
                self.open_backdrop('style = "gradient"\nstart_color = "#0000FF"\nend_color = "#FF0000"\n'
                                   'direction = "%s"\n' % direction)
                n = 768 if direction == "vertical" else 1024
                for x, y in ((100, 100), (100, 700), (900, 120), (1023, 767)):
                    i = y if direction == "vertical" else x
                    red, blue = 255 * i // n, 255 - 255 * i // n
                    self.assertEqual(self.at(x, y), (red << 16) | blue, (x, y))
                self.process.kill()

    def test_texts_and_front(self):
        self.open_backdrop('style = "gradient"\nfooter = "Footer & Co"\ntitle = "Backdrop Title"\n'
                           'title_font = { name = "Arial", height = -37, color = "#FFFF00", bold = true }\n')
        controls = {r["id"]: r for r in self.robot_ok("wait", self.backdrop, "--", "dump") if r["kind"] == "control"}
        title, footer = controls[1], controls[2]
        self.assertEqual((title["x"], title["y"], title["text"]), (16, 16, "Backdrop Title"))
        self.assertEqual((title["font"], title["fontheight"], title["fontweight"]), ("Arial", -37, 700))
        self.assertEqual(footer["text"], "Footer & Co")
        self.assertEqual((footer["x"] + footer["w"], footer["y"] + footer["h"]), (1024 - 8, 768 - 8))
        wizard = int(self.hwnd.split("=")[1], 16)
        # Another program comes to the front; a click on the backdrop
        # brings the wizard back.
        fixture = self.start(os.path.join(harness.BIN, "robot_fixture.exe"), ["main", " " + self.title])
        other = self.robot_ok("wait", "title=Robot Fixture " + self.title, "visible=1")[0]["hwnd"]
        self.assertNotEqual(self.robot_ok("foreground")[0]["hwnd"], wizard)
        self.robot_ok("wait", self.backdrop, "--", "mouse", "x=5", "y=300")
        self.assertEqual(self.robot_ok("foreground")[0]["hwnd"], wizard)
        fixture.kill()

    def test_hidden_while_the_wizard_is_minimised(self):
        self.open_backdrop('style = "gradient"\n')
        self.robot_ok("wait", self.hwnd, "--", "sys", "cmd=minimize")
        self.robot_ok("wait", "class=ParvolexBackdrop", "exe=setup.exe", "visible=0")
        self.robot_ok("wait", self.hwnd, "--", "sys", "cmd=restore")
        self.robot_ok("wait", "class=ParvolexBackdrop", "exe=setup.exe", "visible=1")


if __name__ == "__main__":
    unittest.main()
