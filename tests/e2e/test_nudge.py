"""Stepping the selection by frames: jumps, nudges and the nudge amount."""

from harness import CuedeckCase, counter_data, PERIOD
from texts import play_header, menu, LATER, nudge_amount


class Nudging(CuedeckCase):
    def setUp(self):
        super().setUp()
        self.data = counter_data(441000, 1, 2)  # ten seconds at 44100 Hz
        self.wav(data=self.data)

    def menus(self, out):
        """The selections that the menu showed, in order."""
        marker = "'p' to play with current settings: "
        return [line[len(marker):-4] for line in out.split("\n") if line.startswith(marker)]

    def test_steps_of_the_selection_and_the_nudge_amount(self):
        one = "0.00 to 1.00"
        amounts = (menu("0.00", "1.00") + nudge_amount(12000, "0.272") + menu("0.00", "1.00") +
                   nudge_amount(12000, "0.272") + menu("0.00", "1.00") +
                   nudge_amount(12000, "0.272") + menu("0.00", "1.00") +
                   nudge_amount(500, "0.011") + menu("0.00", "1.00") * 2 +
                   nudge_amount(500, "0.011") + menu("0.00", "1.00") + "\n")
        rows = [  # words, start, stop, the selections the menu showed, text shown, bytes played
            ("j j J J J x", 0, 1, [one, "1.00 to 2.00", "2.00 to 3.00", "1.00 to 2.00", one,
                                   "0.00 to 0.00"], "", b""),
            ("j x", 6, 9, ["6.00 to 9.00", "9.00 to 10.00"], "", b""),  # clipped at the end
            ("n b b bo no no x", 0.5, 1, ["0.50 to 1.00", "0.77 to 1.00", "0.50 to 1.00",
                                          "0.23 to 1.00", "0.23 to 0.73", "0.23 to 1.00",
                                          "0.23 to 1.27"], "", b""),
            # The start stops at the stop, the stop at the end.
            ("n n n n x", 0.8, 1, ["0.80 to 1.00"] + ["1.00 to 1.00"] * 4, "", b""),
            ("bo no x", 0, 0, ["0.00 to 10.00", "0.00 to 9.73", "0.00 to 10.00"], "", b""),
            # The start passes the stop held at the end: "p" then says so.
            ("nn 6000 N N p x", 9.8, 0, ["9.80 to 10.00"] * 2 + ["9.94 to 10.00"] +
             ["10.07 to 10.00"] * 2, LATER + play_header("10.07", "10.00"), b""),
            ("B B x", 0.5, 0.6, ["0.50 to 0.60", "0.23 to 0.33", "0.00 to 0.06"], "", b""),
            # 0, negative numbers and words keep the amount; so does a number past the range.
            ("nn 0 nn -5 nn 500 nn abc nn 99999999999 x", 0, 1, [one] * 7, amounts, b""),
            # None of the words ends the run after the next play: the menu follows it.
            ("+ l 1 j J n b N B no bo o 0.05 p x", 0, 1, [one] * 3 + [
                "1.00 to 2.00", one, "0.27 to 1.00", one, "0.27 to 1.27", one, "0.00 to 1.27", one] +
             ["0.00 to 0.05"] * 2, play_header("0.00", "0.05"), self.data[:PERIOD * 2]),
            # One frame, which the menu's two decimals can't show but the played bytes do.
            ("nn 1 n p x", 0, 0.05, ["0.00 to 0.05"] * 4, play_header("0.00", "0.05"),
             self.data[2:(1 + PERIOD) * 2]),
        ]
        for words, start, stop, menus, shown, played in rows:
            with self.subTest(words):
                r = self.run_cuedeck(self.device, "t.wav", start, stop, " ", 1, 0, stdin=words.encode())
                self.assertEqual((r.rc, self.menus(r.out)), (0, menus))
                self.assertIn(shown, r.out)
                self.assertPlayed(played)
