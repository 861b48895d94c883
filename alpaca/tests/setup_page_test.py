"""The setup page in a real browser: Debian's Chromium, headless, driven
through its ChromeDriver, against the server as built on the simulated
dimmer that quorlet shares. SCREENSHOTS names the folder for its pictures."""

import os
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

from selenium.webdriver.support.ui import Select

from alpaca_test_support import SLOW, Dimmer, Server, ServerTestCase


class SetupPageTest(ServerTestCase):
    def setUp(self):
        super().setUp()
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        # The machine's network is closed: nothing of Chromium's own may call out.
        for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + tempfile.mkdtemp(prefix="chromium-")]:
            options.add_argument(flag)
        self.browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"),
                                        options=options)
        self.browser.set_window_size(1000, 760)

    def tearDown(self):
        self.browser.quit()
        super().tearDown()

    def text(self, element):
        return self.browser.find_element(By.ID, element).text

    def wait_for_text(self, element, text, timeout):
        """Seconds until the element reads `text`."""
        start = time.monotonic()
        while self.text(element) != text:
            self.assertLess(time.monotonic() - start, timeout * SLOW,
                            "%s reads %r, not %r" % (element, self.text(element), text))
            time.sleep(0.05)
        return time.monotonic() - start

    def click(self, element):
        self.browser.find_element(By.ID, element).click()

    def connect_and_switch_on(self, level):
        self.click("connect")
        self.wait_for_text("connection", "Connected", 5)
        field = self.browser.find_element(By.ID, "level")
        field.clear()
        field.send_keys(level)
        self.click("on")

    def screenshot(self, name):
        folder = os.environ.get("SCREENSHOTS", self.dimmer.folder)
        self.browser.save_screenshot(os.path.join(folder, name))

    def test_switches_the_light_and_shows_what_others_do(self):
        self.browser.get("http://127.0.0.1:%d/setup" % self.server.port)
        self.assertEqual(self.text("connection"), "Not connected")
        self.connect_and_switch_on("500")
        self.wait_for_text("light", "On, brightness 500", 5)
        self.assertEqual(self.dimmer.quorlet().stdout, "light is on, intensity 500\n")
        self.assertEqual(self.dimmer.quorlet("200").returncode, 0)
        self.assertLess(self.wait_for_text("light", "On, brightness 200", 2), 2)
        self.screenshot("setup-page.png")
        self.click("off")
        self.wait_for_text("light", "Off", 5)
        self.assertEqual(self.dimmer.quorlet().stdout, "light is off\n")

    def test_says_in_words_what_went_wrong_and_fits_a_phone(self):
        self.browser.set_window_size(390, 844)
        self.browser.get("http://127.0.0.1:%d/setup/v1/covercalibrator/0/setup"
                         % self.server.port)
        self.connect_and_switch_on("2000")
        self.wait_for_text("error", "Brightness 2000 is outside 0-1023.", 5)
        # Nothing wider than the phone's screen.
        width = self.browser.execute_script(
            "return [document.documentElement.scrollWidth, window.innerWidth]")
        self.assertLessEqual(width[0], width[1])
        self.dimmer.unplug()
        self.wait_for_text("error", "The dimmer does not answer (unplugged?).", 5)
        self.screenshot("setup-page-phone.png")

    def test_works_the_dimmer_picked_from_the_list(self):
        self.server.stop()
        self.dimmer.remove()
        self.dimmer = Dimmer(["DIMMER_SIM_SERIALS=B2,A1"])
        self.server = Server(self.dimmer)
        self.browser.get("http://127.0.0.1:%d/setup" % self.server.port)
        picker = Select(self.browser.find_element(By.ID, "device"))
        self.assertEqual([option.text for option in picker.options],
                         ["USB Light Dimmer A1", "USB Light Dimmer B2"])
        picker.select_by_visible_text("USB Light Dimmer B2")
        self.connect_and_switch_on("400")
        self.wait_for_text("light", "On, brightness 400", 5)
        self.assertEqual(self.text("number"), "1")
        self.assertEqual(self.dimmer.quorlet("--dimmer", "B2").stdout,
                         "light is on, intensity 400\n")
        self.assertEqual(self.dimmer.quorlet("--dimmer", "A1").stdout, "light is off\n")


if __name__ == "__main__":
    unittest.main()
