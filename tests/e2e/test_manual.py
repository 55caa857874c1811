"""The manual page."""

import os
import re
import subprocess

from harness import HERE, CuedeckCase

MANUAL = os.path.abspath(os.path.join(HERE, "../../man/cuedeck.1"))
# The menu's words, as the program's own table of commands lists them.
with open(os.path.join(HERE, "../../src/control/commands.cpp")) as source:
    TABLE = source.read().split("} MENU_WORDS[] = {", 1)[1].split("};", 1)[0]
COMMANDS = re.findall(r'^\s*\{"([^"]+)",', TABLE, re.M)


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
