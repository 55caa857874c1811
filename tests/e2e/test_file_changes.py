"""A file that another program changes while a long play is running. The
device is the test double, paced at 2 ms per period, so that the play lasts
long enough to act during it."""

import os

from harness import CuedeckCase, Session, counter_data, wav_bytes
from texts import menu, RESTART

PERIOD = 1000
FRAMES = 40000  # 40 periods of 16-bit mono at 8000 Hz: 5 s of audio, 0.08 s of play
PACED = {"period": PERIOD, "delay_ms": 2}


class ChangesDuringAPlay(CuedeckCase):
    def setUp(self):
        super().setUp()
        self.data = counter_data(FRAMES, 1, 2)
        self.wav(rate=8000, data=self.data)

    def play_and_change(self, change, then):
        """Starts a play, applies change a few periods in, waits for the
        play to end, sends `then`; returns (status, output)."""
        s = Session(self, "d", "t.wav", 0, 0, "p", 1, 1, fake=PACED)
        s.expect("\rclock = 0.50 sec")
        change(self.path("t.wav"))
        s.expect(menu("0.00", "5.00"))
        s.send(then)
        return s.finish()

    def assertPlayedWholePeriodsOfTheData(self):
        """The file's frames in whole periods; a read cut short by the
        truncation leaves silence in the rest of its period."""
        played = self.played(self.out)
        self.assertEqual(len(played) % (PERIOD * 2), 0)
        self.assertGreater(len(played), 0)
        last = len(played) - PERIOD * 2
        self.assertTrue(played[:last] == self.data[:last], "played frames are not the file's")
        tail = played[last:].rstrip(b"\0")
        self.assertTrue(tail == self.data[last:last + len(tail)], "the last period is not the file's")

    def test_cut_short_during_a_scripted_play(self):
        s = Session(self, "d", "t.wav", 0, 0, "wx", 2, 1, fake=PACED)
        s.expect("\rclock = 0.50 sec")
        os.truncate(self.path("t.wav"), 44 + 2 * 20500)  # inside a period
        err = s.proc.stderr.read().decode()
        rc, out = s.finish()
        self.assertEqual((rc, err), (1, "The file called t.wav ended at frame 20500 during the play!\n"))
        self.assertTrue(out.endswith("\n") and "Loops remaining: 0" not in out)
        self.assertEqual(self.played(self.out), self.data[:2 * 20500] + bytes(2 * 500))
        with open(self.log) as f:  # what the file held is heard to its end
            self.assertTrue(f.read().endswith("drain\nclose\n"))

    def replace(self, path, content):
        with open(path + ".new", "wb") as f:
            f.write(content)
        os.rename(path + ".new", path)

    def rewrite(self, path, content):
        with open(path, "r+b") as f:
            f.write(content)

    def test_changes_during_a_menu_play(self):
        other = wav_bytes(rate=44100, frames=FRAMES)
        wider = wav_bytes(rate=8000, frames=FRAMES, bits=24)
        grown = wav_bytes(rate=8000, data=counter_data(FRAMES * 2, 1, 2))
        rows = [  # the change, the word after the play, status, the output's end, what played
            (lambda p: open(p, "wb").close(), "x\n", 2, "Can't find format chunk in wave file!\n",
             "cut"),
            (lambda p: os.truncate(p, 30), "p\n", 2, "The wave header is cut short!\n", "cut"),
            (lambda p: self.replace(p, grown), "x\n", 0, "WARNING: Wavefile length has changed!\n\n",
             "all"),
            # The open file plays on.
            (os.remove, "p\n", 2, "The file called t.wav cannot be found!\n", "all"),
            (lambda p: self.replace(p, other), "p\n", 1, RESTART % "samplerate", "all"),
            (lambda p: self.replace(p, wider), "p\n", 1, RESTART % "bit depth", "all"),
            (lambda p: self.replace(p, b"#!/bin/sh\necho hi\n" * 100), "x\n", 2,
             "Can't find format chunk in wave file!\n", "all"),
            # Rewritten in place: the play read the new bytes where the samples
            # were, whole periods, never more than the data's length.
            (lambda p: self.rewrite(p, wider), "p\n", 1, RESTART % "bit depth", "length"),
        ]
        for change, then, rc, ending, played in rows:
            with self.subTest(then=then, ending=ending, played=played):
                self.fresh()
                self.wav(rate=8000, data=self.data)
                status, out = self.play_and_change(change, then)
                self.assertEqual(status, rc)
                self.assertTrue(out.endswith(ending), out[-200:])
                if played == "cut":
                    self.assertPlayedWholePeriodsOfTheData()
                    self.assertLess(len(self.played(self.out)), len(self.data))
                elif played == "all":
                    self.assertEqual(self.played(self.out), self.data)
                else:
                    self.assertEqual(len(self.played(self.out)), len(self.data))
