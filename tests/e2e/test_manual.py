"""The manual page."""

import os
import re
import subprocess

from harness import HERE, CuedeckCase

MANUAL = os.path.abspath(os.path.join(HERE, "../../man/cuedeck.1"))
COMMANDS = ["i", "o", "l", "p", "px", "w", "wx", "x", "+",
            "j", "J", "n", "b", "no", "bo", "N", "B", "nn", "m", "c", "e"]


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
