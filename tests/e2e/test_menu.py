"""The interactive menu, driven by words on standard input."""

import os

from harness import (CuedeckCase, Session, counter_data, menu, model_pass, play_header,
                     wav_bytes, PERIOD)

IN = "Enter in-time in seconds.\n"
OUT = "Enter out-time in seconds.\n"
ADDITIONAL = ("\nAdditional Commands:\n\t'j' to jump time selection ahead\n"
              "\t'J' to jump time selection back\n\t'n' to nudge start forward\n"
              "\t'b' to nudge start backward\n\t'no' to nudge stop point forward\n"
              "\t'bo' to nudge stop point backward\n"
              "\t'N' to nudge both start and stop forward\n"
              "\t'B' to nudge both start and stop backward\n\t'nn' to set nudge amount\n")


class MenuCase(CuedeckCase):
    def setUp(self):
        super().setUp()
        self.data = counter_data(44100, 1, 2)  # one second at 44100 Hz
        self.wav(data=self.data)

    def session(self, words, *args):
        """Runs the menu with the clock off; args go after the device and file."""
        args = list(args) or [0, 0]
        args += [None] * (5 - len(args))
        if args[2] is None:
            args[2] = " "  # no command: the menu first
        r = self.run_cuedeck(self.device, "t.wav", args[0], args[1], args[2], 1, 0,
                             stdin=words.encode())
        return r


class Commands(MenuCase):
    def test_in_and_out_then_play_then_play_and_end(self):
        r = self.session("i 0.1 o 0.2 p px")
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.out, menu("0.00", "1.00") + IN + menu("0.10", "1.00") + OUT +
                         menu("0.10", "0.20") + play_header("0.10", "0.20") + "\n" +
                         menu("0.10", "0.20") + play_header("0.10", "0.20") + "\n")
        self.assertPlayed(self.data[4410 * 2:(4410 + 2 * PERIOD) * 2] * 2)

    def test_whole_file_after_in_and_out(self):
        r = self.session("i\n0.1\no\n0.2\nw\nx\n")
        self.assertIn(menu("0.10", "0.20") + play_header("0.00", "1.00") + "\n" +
                      menu("0.00", "1.00") + "\n", r.out)
        self.assertPlayed(model_pass(self.data, 2, 0, 44100))

    def test_in_and_out_past_the_end_and_negative(self):
        r = self.session("i 0.5 i 1 o 7 o -0.00001 o -1 p")
        self.assertEqual(r.out, menu("0.00", "1.00") + IN + menu("0.50", "1.00") + IN +
                         menu("0.00", "1.00") + OUT + menu("0.00", "1.00") + OUT +
                         menu("0.00", "0.00") + OUT + menu("0.00", "-1.00") +
                         "Start time is set later than stop time!\n" +
                         play_header("0.00", "-1.00") + "\n" + menu("0.00", "-1.00") + "\n")
        self.assertEqual(self.played(), b"")

    def test_loops_read_like_percent_i(self):
        r = self.session("l 010 l 0x10 l -3 l 99999999999 l abc x")
        for loops in (8, 16, -3, 2147483647):
            self.assertIn("Enter number of loops.\n" + menu("0.00", "1.00", loops), r.out)
        # "abc" is no number: loops stay, and the word is read as a command.
        self.assertTrue(r.out.endswith("Enter number of loops.\n" +
                                       menu("0.00", "1.00", 2147483647) * 2 + "\n"))

    def test_additional_commands_then_the_menu(self):
        r = self.session("+ x")
        self.assertEqual(r.out, menu("0.00", "1.00") + ADDITIONAL + menu("0.00", "1.00") + "\n")

    def test_words_that_are_no_commands(self):
        r = self.session("P pp X xx px2 \t\n  x")
        self.assertEqual(r.out, menu("0.00", "1.00") * 6 + "\n")
        self.assertEqual(self.played(), b"")

    def test_times_are_read_as_the_c_library_reads_them(self):
        # What "%f" takes and leaves: a word it can't read stays for the next
        # command, but a partial "nan" ("nn", "no") is consumed whole.
        rows = [("i 0.5 i x", IN + menu("0.50", "1.00")),
                ("i 0.5 i nn x", IN + menu("0.50", "1.00")),
                ("o 0.5 o no 0.2 x", OUT + menu("0.00", "0.50") * 2),
                ("i 0.5 i 0x. x", IN + menu("0.00", "1.00")),
                ("i " + "0" * 300 + ".5 x", IN + menu("0.50", "1.00"))]
        for words, ending in rows:
            with self.subTest(words[:20]):
                r = self.session(words)
                self.assertEqual(r.rc, 0)
                self.assertTrue(r.out.endswith(ending + "\n"), r.out[-300:])

    def test_overlong_word_is_no_command(self):
        r = self.session("p" * 1000 + " x")
        self.assertEqual(r.out, menu("0.00", "1.00") * 2 + "\n")


class FirstCommand(MenuCase):
    def test_x_ends_without_a_menu(self):
        r = self.session("", 0, 0, "x")
        self.assertEqual((r.rc, r.out), (0, "\n"))

    def test_px_with_equal_times_waits_for_a_play_then_ends(self):
        r = self.session("o 0.2 p", 0.1, 0.1, "px")
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.out, "Start time and stop time are the same!\n" + menu("0.10", "0.10") +
                         OUT + menu("0.10", "0.20") + play_header("0.10", "0.20") + "\n")
        self.assertPlayed(self.data[4410 * 2:(4410 + 2 * PERIOD) * 2])

    def test_start_and_stop_alone_from_the_command_line(self):
        for args, start, stop in (([0.5], "0.50", "1.00"), ([0.5, 0.7], "0.50", "0.70")):
            r = self.run_cuedeck(self.device, "t.wav", *args, stdin=b"x")
            self.assertEqual(r.out, menu(start, stop) + "\n")

    def test_p_plays_then_the_menu(self):
        r = self.session("x", 0, 0.05, "p")
        self.assertEqual(r.out, play_header("0.00", "0.05") + "\n" + menu("0.00", "0.05") + "\n")

    def test_end_of_input_ends_like_x(self):
        for words in ("", "i", "l", "o 0.3 l"):
            r = self.session(words)
            self.assertEqual(r.rc, 0)
            self.assertTrue(r.out.endswith("\n'+' to show additional commands\n\n"))


class FileChangesBetweenPlays(CuedeckCase):
    def rewrite(self, **kw):
        with open(self.path("t.wav"), "wb") as f:
            f.write(wav_bytes(**kw))

    def start(self, frames=10000):
        self.data = counter_data(frames, 1, 2)
        self.wav(data=self.data)
        s = Session(self, self.device, "t.wav", 0, 0, " ", 1, 0)
        s.expect(menu("0.00", "%.2f" % (frames / 44100)))
        return s

    def test_grown_file_warns_and_plays_on(self):
        s = self.start(10000)
        self.rewrite(frames=20000)
        s.send("w\n")  # the whole file as the last probe saw it
        s.expect("WARNING: Wavefile length has changed!\n" + play_header("0.00", "0.23"))
        s.expect(menu("0.00", "0.23"))
        s.send("w\n")
        s.expect("WARNING: Wavefile length has changed!\n" + play_header("0.00", "0.45"))
        s.expect(menu("0.00", "0.45"))
        s.send("x\n")
        rc, out = s.finish()
        self.assertEqual(rc, 0)
        self.assertTrue(out.endswith(menu("0.00", "0.45") + "WARNING: Wavefile length has changed!\n\n"))
        grown = counter_data(20000, 1, 2)
        self.assertPlayed(model_pass(grown, 2, 0, 10000) + model_pass(grown, 2, 0, 20000))

    def test_stop_past_a_changed_end_is_pulled_to_it(self):
        # A shrunk file, and a negative stop (past any end, taken unsigned)
        # meeting a grown one: the selection plays to the new end.
        rows = [(20000, "", 5000, "0.11"), (10000, "o -1\n", 20000, "0.45")]
        for frames, words, new_frames, new_stop in rows:
            with self.subTest(frames=frames, words=words):
                s = self.start(frames)
                s.send(words)
                self.rewrite(frames=new_frames)
                s.send("p\n")
                s.expect("WARNING: Wavefile length has changed!\n" + play_header("0.00", new_stop))
                s.expect(menu("0.00", new_stop))
                rc, out = s.finish()
                self.assertEqual(rc, 0)
                self.assertPlayed(model_pass(counter_data(new_frames, 1, 2), 2, 0, new_frames))
                os.remove(self.raw)

    def test_changed_format_ends_the_program(self):
        cases = [({"rate": 48000}, "samplerate"), ({"bits": 24}, "bit depth"),
                 ({"channels": 2}, "channel number"), ({"tag": 3, "extensible": True}, "sample format"),
                 ({"bits": 20}, "sample format"), ({"block_align": 4}, "sample format")]
        for change, what in cases:
            s = self.start(10000)
            self.rewrite(frames=10000, **change)
            s.send("p\n")
            rc, out = s.finish()
            self.assertEqual(rc, 1)
            self.assertTrue(out.endswith(menu("0.00", "0.23") +
                                         "WARNING: Wavefile %s has changed!  Restart the program.\n" % what))

    def test_file_replaced_by_rename_plays_the_new_file(self):
        s = self.start(10000)
        other = counter_data(10000, 1, 2, first=30000)
        with open(self.path("new.wav"), "wb") as f:
            f.write(wav_bytes(data=other, before_data=b"LIST\x04\0\0\0abcd"))
        os.rename(self.path("new.wav"), self.path("t.wav"))
        s.send("w\nx\n")
        rc, out = s.finish()
        self.assertEqual(rc, 0)
        self.assertPlayed(model_pass(other, 2, 0, 10000))

    def test_deleted_file_ends_with_status_2(self):
        s = self.start(10000)
        os.remove(self.path("t.wav"))
        s.send("p\n")
        rc, out = s.finish()
        self.assertEqual(rc, 2)
        self.assertTrue(out.endswith("The file called t.wav cannot be found!\n"))
