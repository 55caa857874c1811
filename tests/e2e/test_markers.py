"""The file's own markers: listed by "m", selected by "c N", played from
"#a" to "#b" on the command line."""

import struct

from harness import (CuedeckCase, adtl, chunk, counter_data, cue, labl, le, ltxt, model_pass, note, rifx, smpl,
                     wav_bytes)
from texts import listing, BROKEN


def rf64(riff, data_bytes):
    ds64 = chunk(b"ds64", struct.pack("<QQQI", 0, data_bytes, 0, 0))
    body = riff[12:].replace(b"data" + le(data_bytes), b"data" + le(0xFFFFFFFF), 1)
    return b"RF64" + le(0xFFFFFFFF) + b"WAVE" + ds64 + body


class Markers(CuedeckCase):
    def test_markers_are_listed_selected_and_played(self):
        data = counter_data(10000, 1, 2)
        long = b"L" * 70
        rows = [  # chunks before and after the data, the form, "m" lists, "c" N and its stretch,
            # "#a" "#b" and the frames they play, standard error
            # Out of order, two at one frame (kept in file order), a region past the end.
            (cue((1, 2000), (2, 6000), (3, 4000), (4, 8000), (5, 4000)),
             adtl(labl(1, b"Intro"), note(1, b"Not this"), ltxt(1, 1500), ltxt(2, 5000),
                  labl(2, b"Verse one\x1b[0m"), labl(3, long), labl(9, b"No such point"),
                  note(4, b"Outro"), labl(5, b"Twin")), "RIFF",  # 71 bytes: an odd-sized labl
             listing((2, 1.5, "Intro"), (4, 2, "L" * 63), (4, 2, "Twin"), (6, 4, "Verse one?[0m"),
                     (8, 2, "Outro")), (2, "4.00 to 6.00"), (1, 4, 2000, 6000), ""),
            # After the data, in RF64; one loop starts at a point, one alone.
            (b"", cue((2, 12000), (1, 1000), (3, 10000)) + smpl((1000, 1999), (5000, 5000)), "RF64",
             listing((1, 1, ""), (5, 0.001, "loop"), (10, 0, "")), (2, "5.00 to 5.00"),
             (1, 2, 1000, 5000),
             "Warning: markers past the end of the samples of t.wav are left out\n"),
            (cue((1, 1000), (2, 3000), cut=4), b"", "RIFF", "\nThis file has no markers.\n", None,
             None, BROKEN),
            # A loop count with no room for its loops; a chunk the file's end cuts.
            (cue((1, 1000)), smpl((1000, 1999)).replace(le(1) + le(0) * 3, le(2) + le(0) * 3, 1),
             "RIFF", "\nThis file has no markers.\n", None, None, BROKEN),
            (b"", cue((1, 1000), (2, 3000))[:-10], "RIFF", "\nThis file has no markers.\n", None, None,
             BROKEN),
            (cue((1, 1000)), chunk(b"LIST", b"adtl" + b"labl" + le(100) + le(1)), "RIFF",  # overruns
             "\nThis file has no markers.\n", None, None, BROKEN),
            # A lowercase list before the points, UTF-8 kept, C1 controls (raw and in UTF-8) not.
            (chunk(b"list", b"adtl" + labl(1, "Café".encode()) + labl(2, b"a\x9bb") +
                   labl(3, "x\u009by".encode())) + cue((1, 1000), (2, 3000), (3, 5000)), b"", "RIFF",
             listing((1, 2, "Caf\xc3\xa9"), (3, 2, "a?b"), (5, 5, "x?y")), (3, "5.00 to 10.00"),
             (1, 3, 1000, 5000), ""),
        ]
        rows[:0] = [row[:2] + ("RIFX",) + row[3:] for row in rows[:2]]  # every field big-endian
        for before, after, form, listed, select, play, err in rows:
            with self.subTest(listed=listed[:40], form=form):
                riff = wav_bytes(rate=1000, data=data, before_data=before, after_data=after)
                with open(self.path("t.wav"), "wb") as f:
                    f.write({"RIFF": riff, "RF64": rf64(riff, len(data)), "RIFX": rifx(riff)}[form])
                words = "m c %d c 9 c 0 + p x\n" % select[0] if select else "m c + p x\n"
                r = self.run_cuedeck("null", "t.wav", 0, 0, " ", 1, 0, stdin=words.encode())
                self.assertEqual((r.rc, r.err), (0, err))
                self.assertIn(listed + "\n'i' to set in", r.out)
                commands = "\t'm' to list markers\n\t'c' to select a marker's stretch\n"
                self.assertEqual(r.out.count(commands), 1 if select else 0)
                self.assertTrue(r.out.endswith("'+' to show additional commands\n\n"))  # after p
                if select:
                    self.assertIn("Enter marker number.\nThere is no marker 9.\n", r.out)
                    self.assertIn("Enter marker number.\nThere is no marker 0.\n", r.out)
                    self.assertIn("'p' to play with current settings: %s sec" % select[1], r.out)
                self.fresh()
                first, last, start, stop = play or (1, 2, 0, 0)
                r = self.run_cuedeck(self.device, "t.wav", "#%d" % first, "#%d" % last, "px", 1, 0)
                if play is None:
                    self.assertEqual((r.rc, r.out), (2, "There is no marker 1 in t.wav!\n"))
                self.assertPlayed(model_pass(data, 2, start, stop) if play else b"")
        # The last row's file: "#N" at the in and out prompts, and words that are no marker.
        r = self.run_cuedeck("null", "t.wav", 0, 0, " ", 1, 0, stdin=b"i #2 o #3 i #7 o #x p x")
        self.assertIn("in-time in seconds.\nThere is no marker 7.\n", r.out)
        self.assertIn("out-time in seconds.\nThere is no marker x.\n", r.out)
        self.assertIn("'p' to play with current settings: 3.00 to 5.00 sec", r.out)
        for word in ("#2.5", "#x", "#", "#2s", "#-1"):
            r = self.run_cuedeck(self.device, "t.wav", 0, word, "px")
            self.assertEqual((r.rc, r.out), (2, 'STOP "%s" names no marker: a marker is "#" and its '
                                                'number, as #2!\n' % word))
        r = self.run_cuedeck(self.device, "t.wav", "#0", 0, "px")
        self.assertEqual((r.rc, r.out), (2, "There is no marker 0 in t.wav!\n"))
        # A full list: a loop still gives a point kept its stretch.
        self.wav(rate=1000, data=data, before_data=cue(*((i, i) for i in range(1, 1001))),
                 after_data=smpl((5, 504)))
        r = self.run_cuedeck("null", "t.wav", 0, 0, " ", stdin=b"m x")
        self.assertEqual(r.err, "Warning: only the first 999 markers of t.wav are kept\n")
        self.assertIn("   5  at 0.005 sec  for 0.500 sec  \n", r.out)
        # 300 points in a chunk that ends the file, after the data.
        self.wav(rate=1000, data=data, after_data=cue(*((i, 30 * i) for i in range(300, 0, -1))))
        r = self.run_cuedeck("null", "t.wav", 0, 0, " ", stdin=b"m x")
        self.assertEqual(r.err, "")
        self.assertIn(" 300  at 9.000 sec  for 1.000 sec  \n", r.out)
        self.assertIn("   1  at 0.030 sec  for 0.030 sec  \n", r.out)
        # A file found by the scan has no markers, and that is no fault.
        with open(self.path("t.wav"), "wb") as f:
            f.write(b"JUNK" + wav_bytes(rate=1000, data=data)[4:])
        r = self.run_cuedeck("null", "t.wav", 0, 0, " ", 1, 0, stdin=b"m x")
        self.assertEqual((r.err, r.out.count("This file has no markers.")), ("", 1))
