"""The interactive menu, driven by words on standard input."""

import os

from harness import CuedeckCase, Session, counter_data, cue, found, model_pass, rifx, wav_bytes, PERIOD
from texts import play_header, menu, RESTART, IN, OUT, ADDITIONAL


class Commands(CuedeckCase):
    def test_words_at_the_menu_and_first_commands(self):
        data = counter_data(44100, 1, 2)  # one second at 44100 Hz
        self.wav(data=data)
        first = data[4410 * 2:(4410 + 2 * PERIOD) * 2]
        M = menu("0.00", "1.00")
        MENU = [0, 0, " ", 1, 0]  # the menu first, the clock off
        rows = [  # words, arguments after the file, what the output is or holds, bytes played
            ("i 0.1 o 0.2 p px", MENU, M + IN + menu("0.10", "1.00") + OUT + menu("0.10", "0.20") +
             play_header("0.10", "0.20") + "\n" + menu("0.10", "0.20") + play_header("0.10", "0.20") +
             "\n", first * 2),
            ("i\n0.1\no\n0.2\nw\nx\n", MENU, ("has", menu("0.10", "0.20") + play_header("0.00", "1.00") +
                                                "\n" + M + "\n"), model_pass(data, 2, 0, 44100)),
            ("i 0.5 i 1 o 7 o -0.00001 o -1 p", MENU, M + IN + menu("0.50", "1.00") + IN + M + OUT + M +
             OUT + menu("0.00", "0.00") + OUT + menu("0.00", "-1.00") +
             "Start time is set later than stop time!\n" + play_header("0.00", "-1.00") + "\n" +
             menu("0.00", "-1.00") + "\n", b""),
            # "%i": octal, hex, saturated; "abc" is no number, and is read as a command.
            ("l 010 l 0x10 l -3 l +5 l 99999999999 l abc x", MENU,
             [("has", "Enter number of loops.\n" + menu("0.00", "1.00", n)) for n in (8, 16, -3, 5)] +
             [("ends", "Enter number of loops.\n" + menu("0.00", "1.00", 2147483647) * 2 + "\n")], None),
            ("+ x", MENU, M + ADDITIONAL + M + "\n", None),
            ("P pp X xx px2 \t\n  x", MENU, M * 6 + "\n", b""),
            ("p" * 1000 + " x", MENU, M * 2 + "\n", None),
            # What "%f" takes and leaves: a word it can't read stays for the
            # next command, but a partial "nan" ("nn", "no") is consumed whole.
            ("i 0.5 i x", MENU, ("ends", IN + menu("0.50", "1.00") + "\n"), None),
            ("i 0.5 i nn x", MENU, ("ends", IN + menu("0.50", "1.00") + "\n"), None),
            ("o 0.5 o no 0.2 x", MENU, ("ends", OUT + menu("0.00", "0.50") * 2 + "\n"), None),
            ("i 0.5 i 0x. x", MENU, ("ends", IN + M + "\n"), None),
            ("i 0.5 i -0.1 x", MENU, ("ends", IN + M + "\n"), None),  # a negative in-point: 0
            ("i " + "0" * 300 + ".5 x", MENU, ("ends", IN + menu("0.50", "1.00") + "\n"), None),
            # First commands, and START and STOP alone.
            ("", [0, 0, "x", 1, 0], "\n", b""),
            ("o 0.2 p", [0.1, 0.1, "px", 1, 0], "Start time and stop time are the same!\n" +
             menu("0.10", "0.10") + OUT + menu("0.10", "0.20") + play_header("0.10", "0.20") + "\n",
             first),
            ("x", [0.5], menu("0.50", "1.00") + "\n", None),
            ("x", [0.5, 0.7], menu("0.50", "0.70") + "\n", None),
            ("x", [0, 0.05, "p", 1, 0], play_header("0.00", "0.05") + "\n" + menu("0.00", "0.05") + "\n",
             None),
        ] + [(words, MENU, ("ends", "\n'+' to show additional commands\n\n"), None)  # end of input
             for words in ("", "i", "l", "o 0.3 l")]
        for words, args, wants, played in rows:
            with self.subTest(words=words[:20], args=args):
                self.fresh()
                r = self.run_cuedeck(self.device, "t.wav", *args, stdin=words.encode())
                self.assertEqual(r.rc, 0)
                for want in wants if isinstance(wants, list) else [wants]:
                    self.assertTrue(found(r.out, want), r.out[-300:])
                if played is not None:
                    self.assertPlayed(played)


class FileChangesBetweenPlays(CuedeckCase):
    def rewrite(self, **kw):
        with open(self.path("t.wav"), "wb") as f:
            f.write(wav_bytes(**kw))

    def rewrite_rifx(self, frames):
        """The same samples in a big-endian file."""
        with open(self.path("t.wav"), "wb") as f:
            f.write(rifx(wav_bytes(data=bytes(2 * frames))))

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
                self.fresh()

    def test_changed_or_deleted_file_ends_the_program(self):
        def rewrite(**change):
            return lambda: self.rewrite(frames=10000, **change)
        rows = [  # the change, status, the output's end
            (rewrite(rate=48000), 1, RESTART % "samplerate"), (rewrite(bits=24), 1, RESTART % "bit depth"),
            (rewrite(channels=2), 1, RESTART % "channel number"),
            (rewrite(tag=3, extensible=True), 1, RESTART % "sample format"),
            (rewrite(tag=6), 1, RESTART % "sample format"),
            (lambda: self.rewrite_rifx(10000), 1, RESTART % "sample format"),  # the byte order
            (rewrite(block_align=4), 1, RESTART % "sample format"),
            (lambda: os.remove(self.path("t.wav")), 2, "The file called t.wav cannot be found!\n"),
        ]
        for change, rc, ending in rows:
            s = self.start(10000)
            change()
            s.send("p\n")
            status, out = s.finish()
            self.assertEqual(status, rc)
            self.assertTrue(out.endswith(menu("0.00", "0.23") + ending), out[-200:])

    def test_markers_rewritten_in_place_are_read_again(self):
        data = counter_data(10000, 1, 2)
        self.wav(data=data, before_data=cue((1, 1000), (2, 3000)))
        s = Session(self, self.device, "t.wav", 0, 0, " ", 1, 0)
        s.send("c 1 p\n")
        s.expect(play_header("0.02", "0.07"))
        s.expect(menu("0.02", "0.07"))  # after the play
        self.wav(data=data, before_data=cue((1, 2000), (2, 4000)))  # the same size
        s.send("p c 1 p x\n")  # the first play's check reads them again
        s.expect(menu("0.05", "0.09"))
        self.assertEqual(s.finish()[0], 0)
        self.assertPlayed(model_pass(data, 2, 1000, 3000) * 2 + model_pass(data, 2, 2000, 4000))

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
