"""The manual page, the install target and the Debian package."""

import glob
import os
import re
import subprocess
import tempfile

from harness import HERE, CuedeckCase, RUNNER, counter_data, model_pass

SOURCE = os.path.abspath(os.path.join(HERE, "../.."))
MANUAL = os.path.join(SOURCE, "man/cuedeck.1")
BUILD = os.environ.get("CUEDECK_BUILD_DIR", os.path.join(SOURCE, "build"))
COMMANDS = ["i", "o", "l", "p", "px", "w", "wx", "x", "+",
            "j", "J", "n", "b", "no", "bo", "N", "B", "nn"]


class Manual(CuedeckCase):
    def test_renders_without_warnings(self):
        r = subprocess.run(["man", "--warnings", "-l", MANUAL], capture_output=True,
                           env=dict(os.environ, MANWIDTH="80"))
        self.assertEqual(r.returncode, 0)
        self.assertEqual(r.stderr.decode(), "")

    def test_lists_every_command_word(self):
        with open(MANUAL) as f:
            text = f.read()
        listed = re.findall(r"^\.TP\n\.B (\S+)\n", text, re.M)
        for word in COMMANDS:
            self.assertIn(word, listed)
        # And every word it lists as a command is one the program takes.
        menu = text[text.index(".SH MENU COMMANDS"):text.index(".SH NUMBER PROMPTS")]
        self.assertEqual(sorted(re.findall(r"^\.TP\n\.B (\S+)\n", menu, re.M)), sorted(COMMANDS))


class Package(CuedeckCase):
    def test_install_target(self):
        r = subprocess.run(["cmake", "--install", BUILD, "--prefix", self.path("root")],
                           capture_output=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(os.access(self.path("root/bin/cuedeck"), os.X_OK))
        self.assertTrue(os.path.exists(self.path("root/share/man/man1/cuedeck.1.gz")))

    def test_deb_installs_into_a_scratch_root_and_plays(self):
        r = subprocess.run(["cpack", "-B", self.path("pkg")], cwd=BUILD, capture_output=True)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        debs = glob.glob(self.path("pkg/*.deb"))
        self.assertEqual(len(debs), 1)
        fields = subprocess.run(["dpkg-deb", "-f", debs[0], "Depends", "Architecture"],
                                capture_output=True, check=True).stdout.decode()
        self.assertIn("libasound2", fields)
        native = subprocess.run(["dpkg", "--print-architecture"], capture_output=True,
                                check=True).stdout.decode().strip()
        self.assertIn("Architecture: %s\n" % ("armhf" if RUNNER else native), fields)
        r = subprocess.run(["lintian", debs[0]], capture_output=True)
        self.assertEqual(re.findall(r"^E: .*", r.stdout.decode(), re.M), [])
        subprocess.run(["dpkg-deb", "-x", debs[0], self.path("root")], check=True)
        self.assertTrue(os.path.exists(self.path("root/usr/share/man/man1/cuedeck.1.gz")))
        data = counter_data(5000, 1, 2)
        self.wav(data=data)
        r = subprocess.run(RUNNER + [self.path("root/usr/bin/cuedeck"), self.device, "t.wav",
                                     "0", "0", "wx", "1", "0"], capture_output=True, cwd=self.dir)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertPlayed(model_pass(data, 2, 0, 5000))
