"""The file's own markers: listed by "m", selected by "c N", played from
"#a" to "#b" on the command line."""

import os
import struct

from harness import CuedeckCase, counter_data, model_pass, wav_bytes

le = struct.Struct("<I").pack


def chunk(cid, payload):
    return cid + le(len(payload)) + payload + b"\0" * (len(payload) & 1)


def cue(*points, cut=0):
    """Points of (id, frame), the frame in dwSampleOffset and dwPosition 0."""
    body = le(len(points)) + b"".join(le(i) + le(0) + b"data" + le(0) * 2 + le(f) for i, f in points)
    return chunk(b"cue ", body[:len(body) - cut])


def adtl(*entries):
    return chunk(b"LIST", b"adtl" + b"".join(entries))


def labl(i, text):
    return chunk(b"labl", le(i) + text + b"\0")


def ltxt(i, frames):
    return chunk(b"ltxt", le(i) + le(frames) + b"rgn " + b"\0" * 8)


def smpl(start, end):
    return chunk(b"smpl", le(0) * 7 + le(1) + le(0) + le(0) * 2 + le(start) + le(end) + le(0) * 2)


def rf64(riff, data_bytes):
    ds64 = chunk(b"ds64", struct.pack("<QQQI", 0, data_bytes, 0, 0))
    body = riff[12:].replace(b"data" + le(data_bytes), b"data" + le(0xFFFFFFFF), 1)
    return b"RF64" + le(0xFFFFFFFF) + b"WAVE" + ds64 + body


def listing(*markers):
    return "\nMarkers:\n" + "".join("%4d  at %.3f sec  for %.3f sec  %s\n" % (n + 1, at, length, label)
                                    for n, (at, length, label) in enumerate(markers))


class Markers(CuedeckCase):
    def test_markers_are_listed_selected_and_played(self):
        data = counter_data(10000, 1, 2)
        rows = [  # chunks before and after the data, RF64, "m" lists, "c" N and its stretch,
            # "#a" "#b" and the frames they play, standard error
            (cue((1, 2000), (2, 6000), (3, 4000)),  # out of order; labels before and after ltxt
             adtl(labl(1, b"Intro"), ltxt(1, 1500), ltxt(2, 3000), labl(2, b"Verse"),
                  labl(3, b"Bridge")), False,  # "Bridge" makes an odd-sized labl
             listing((2, 1.5, "Intro"), (4, 2, "Bridge"), (6, 3, "Verse")), (2, "4.00 to 6.00"),
             (1, 3, 2000, 6000), ""),
            (b"", cue((1, 1000), (2, 12000)) + smpl(5000, 5999), True,  # after the data, in RF64
             listing((1, 4, ""), (5, 1, "loop")), (2, "5.00 to 6.00"), (1, 2, 1000, 5000),
             "Warning: markers past the end of the samples of t.wav are left out\n"),
            (cue((1, 1000), (2, 3000), cut=20), b"", False, "\nThis file has no markers.\n", None,
             None, "Warning: a marker chunk of t.wav is cut short; playing without markers\n"),
        ]
        for before, after, wide, listed, select, play, err in rows:
            with self.subTest(listed=listed[:40], wide=wide):
                riff = wav_bytes(rate=1000, data=data, before_data=before, after_data=after)
                with open(self.path("t.wav"), "wb") as f:
                    f.write(rf64(riff, len(data)) if wide else riff)
                words = "m c %d +\n" % select[0] if select else "m c +\n"
                r = self.run_cuedeck("null", "t.wav", 0, 0, " ", 1, 0, stdin=words.encode())
                self.assertEqual((r.rc, r.err), (0, err))
                self.assertIn(listed, r.out)
                self.assertEqual(r.out.count("'c' to select a marker's stretch"), 1 if select else 0)
                if select:
                    self.assertIn("'p' to play with current settings: %s sec" % select[1], r.out)
                if os.path.exists(self.raw):
                    os.remove(self.raw)
                first, last, start, stop = play or (1, 2, 0, 0)
                r = self.run_cuedeck(self.device, "t.wav", "#%d" % first, "#%d" % last, "px", 1, 0)
                if play is None:
                    self.assertEqual((r.rc, r.out), (2, "There is no marker 1 in t.wav!\n"))
                self.assertPlayed(model_pass(data, 2, start, stop) if play else b"")
