"""Stepping the selection by frames: jumps, nudges and the nudge amount."""

from harness import CuedeckCase, counter_data, menu, play_header, PERIOD

ASK_NUDGE = "Enter new nudge amount (in samples) or '0' to keep settings\n"


def nudge_amount(samples, seconds):
    return "\nCurrent Nudge Amount = %d samples or %s sec\n" % (samples, seconds) + ASK_NUDGE


class Nudging(CuedeckCase):
    def setUp(self):
        super().setUp()
        self.data = counter_data(441000, 1, 2)  # ten seconds at 44100 Hz
        self.wav(data=self.data)

    def session(self, words, start=0, stop=1):
        return self.run_cuedeck(self.device, "t.wav", start, stop, " ", 1, 0, stdin=words.encode())

    def menus(self, out):
        """The selections that the menu showed, in order."""
        marker = "'p' to play with current settings: "
        return [line[len(marker):-4] for line in out.split("\n") if line.startswith(marker)]

    def test_jumps_ahead_and_back(self):
        r = self.session("j j J J J x")
        self.assertEqual(self.menus(r.out), ["0.00 to 1.00", "1.00 to 2.00", "2.00 to 3.00",
                                             "1.00 to 2.00", "0.00 to 1.00", "0.00 to 0.00"])

    def test_jump_ahead_is_clipped_at_the_end(self):
        r = self.session("j x", 6, 9)
        self.assertEqual(self.menus(r.out), ["6.00 to 9.00", "9.00 to 10.00"])

    def test_nudges_of_start_and_stop(self):
        r = self.session("n b b bo no no x", 0.5, 1)
        self.assertEqual(self.menus(r.out), [
            "0.50 to 1.00", "0.77 to 1.00", "0.50 to 1.00", "0.23 to 1.00",
            "0.23 to 0.73", "0.23 to 1.00", "0.23 to 1.27"])

    def test_nudge_forward_stops_at_the_stop_and_the_end(self):
        r = self.session("n n n n x", 0.8, 1)
        self.assertEqual(self.menus(r.out)[-1], "1.00 to 1.00")
        r = self.session("bo no x", 0, 0)
        self.assertEqual(self.menus(r.out), ["0.00 to 10.00", "0.00 to 9.73", "0.00 to 10.00"])

    def test_both_forward_can_pass_the_held_stop(self):
        r = self.session("nn 6000 N N p x", 9.8, 0)
        self.assertEqual(self.menus(r.out)[2:], ["9.94 to 10.00", "10.07 to 10.00", "10.07 to 10.00"])
        self.assertIn("Start time is set later than stop time!\n" + play_header("10.07", "10.00"), r.out)
        self.assertEqual(self.played(), b"")

    def test_both_backward_clips_at_zero(self):
        r = self.session("B B x", 0.5, 0.6)
        self.assertEqual(self.menus(r.out), ["0.50 to 0.60", "0.23 to 0.33", "0.00 to 0.06"])

    def test_nudge_amount(self):
        r = self.session("nn 0 nn -5 nn 500 nn abc nn 99999999999 x")
        self.assertIn(menu("0.00", "1.00") + nudge_amount(12000, "0.272") + menu("0.00", "1.00") +
                      nudge_amount(12000, "0.272") + menu("0.00", "1.00") +
                      nudge_amount(12000, "0.272") + menu("0.00", "1.00") +
                      nudge_amount(500, "0.011") + menu("0.00", "1.00") * 2 +
                      nudge_amount(500, "0.011") + menu("0.00", "1.00") + "\n", r.out)
        self.assertEqual(r.rc, 0)

    def test_frames_that_two_decimals_hide_are_played_exactly(self):
        # The start nudged by one frame: one period from frame 1, which the
        # menu's two decimals can't show but the played bytes do.
        r = self.session("nn 1 n p x", 0, 0.05)
        self.assertEqual(self.menus(r.out)[-1], "0.00 to 0.05")
        self.assertIn(play_header("0.00", "0.05"), r.out)
        self.assertPlayed(self.data[2:(1 + PERIOD) * 2])
