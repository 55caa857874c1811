"""Scripted playback from the command line through the real ALSA library."""

import os
import re
import socket
import struct

from harness import HERE, CuedeckCase, counter_data, cue, found, model_pass, rifx, wav_bytes, PERIOD
from texts import play_header, menu, HELP, PROMPT, NO_DEVICE, FOREIGN, PLUG_HINT, USAGE


class WholeFile(CuedeckCase):
    def test_wx_plays_every_frame_then_silence_to_the_period_end(self):
        # A chunk after the data must never be played as sound.
        self.wav(frames=10000, after_data=b"LIST" + b"\x08\0\0\0" + b"\x7f" * 8)
        r = self.run_cuedeck(self.device, "t.wav", 0, 0, "wx", 1, 0)
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.out, play_header("0.00", "0.23") + "\n")
        data = counter_data(10000, 1, 2)
        self.assertPlayed(data + bytes(3 * PERIOD * 2 - len(data)))

    def test_every_encoding_plays_byte_exact(self):
        # bits, format tag, extensible, channels, rate, ALSA format, silence
        rows = [(8, 1, False, 2, 8000, "U8", b"\x80"),
                (16, 1, True, 1, 44100, "S16_LE", b"\0"),
                (24, 1, False, 2, 48000, "S24_3LE", b"\0"),
                (32, 1, False, 1, 96000, "S32_LE", b"\0"),
                (32, 3, True, 2, 48000, "FLOAT_LE", b"\0"),
                (64, 3, False, 1, 44100, "FLOAT64_LE", b"\0"),
                (8, 6, False, 1, 8000, "A_LAW", b"\x55"),
                (8, 7, True, 1, 8000, "MU_LAW", b"\x7f")]
        for bits, tag, extensible, channels, rate, name, silence in rows:
            with self.subTest(name):
                data = counter_data(5000, channels, bits // 8)
                self.wav(rate=rate, channels=channels, bits=bits, tag=tag, extensible=extensible,
                         data=data)
                self.fresh()
                r = self.run_cuedeck(self.device, "t.wav", 0, 0, "wx", 1, 0)
                self.assertEqual((r.rc, r.err), (0, ""))
                self.assertPlayed(model_pass(data, channels * bits // 8, 0, 5000, silence=silence))
                r = self.run_cuedeck("d", "t.wav", 0, 0, "x", fake={})
                with open(self.log) as f:
                    self.assertIn("format %s\n" % name, f.read())

    def test_chunk_lists_are_walked_to_their_data(self):
        le = lambda n: struct.pack("<I", n)  # noqa: E731
        rows = [  # chunks before "fmt ", chunks between it and "data"
            (b"", b"LIST" + le(26) + b"INFOINAM" + le(14) + b"Big data song\0"),
            (b"bext" + le(16) + b"A fmt data take ", b""),
            (b"", cue((1, 100))),
            (b"", b"JUNK" + le(200 << 10) + bytes(200 << 10)),
            (b"", b"abcd" + le(5) + b"data\x01" + b"\0"),  # odd size, then the pad byte
        ]
        data = counter_data(5000, 1, 2)
        for before_fmt, before_data in rows:
            with self.subTest((before_fmt + before_data)[:4]):
                self.wav(data=data, before_fmt=before_fmt, before_data=before_data)
                self.fresh()
                r = self.run_cuedeck(self.device, "t.wav", 0, 0, "wx", 1, 0)
                self.assertEqual((r.rc, r.err), (0, ""))
                self.assertPlayed(model_pass(data, 2, 0, 5000))

    def test_exact_edges_play_the_selection_and_nothing_else(self):
        cues = cue((1, 1000), (2, 7000))
        rows = [  # rate, frames, tag, the arguments (D: the device, F: the file), menu words, in,
            # out, loops; the option anywhere, and -- before a file named -e
            (8000, 20000, 1, ("--exact", "D", "F", "0.5", "0.6", "px", 7, 0), b"", 4000, 4800, 7),
            (44100, 30000, 1, ("D", "F", "0.1", "0.5", "px", 3, 0, "-e"), b"", 4410, 22050, 3),
            (48000, 10000, 1, ("D", "F", 0, "-e", 0, "wx", 3, 0), b"", 0, 10000, 3),  # whole
            (8000, 9000, 1, ("D", "F", "#1", "#2", "px", 2, "--exact"), b"", 1000, 7000, 2),
            (8000, 5000, 1, ("D", "F", "0.5", 10, "px", "-e"), b"", 4000, 5000, 1),  # past the end
            (8000, 3000, 1, ("-e", "--", "D", "-e", "0.1", "0.2", "px"), b"", 800, 1600, 1),
            (8000, 3000, 6, ("D", "F", "0.1", "0.2", "-e"), b"l 2 p x", 800, 1600, 2),  # A-law
        ]
        for rate, frames, tag, args, words, start, stop, loops in rows:
            with self.subTest(rate=rate, args=args):
                width = 1 if tag == 6 else 2
                data = counter_data(frames, 1, width)
                name = "-e" if "--" in args else "t.wav"
                self.wav(name, rate=rate, data=data, tag=tag, bits=8 * width,
                         before_data=cues if "#1" in args else b"")
                self.fresh()
                r = self.run_cuedeck(*({"D": self.device, "F": name}.get(a, a) for a in args), stdin=words)
                self.assertEqual((r.rc, r.err), (0, ""))
                self.assertPlayed(data[start * width:stop * width] * loops)  # and nothing after
        # "e" at the menu turns them on for the plays that follow, and says so.
        self.fresh()
        r = self.run_cuedeck(self.device, "t.wav", "0.1", "0.2", " ", 2, 0, stdin=b"e + p e + p x")
        self.assertIn("\nExact edges are on: a play ends on its stop frame, and loops join without "
                      "a gap.\n", r.out)
        self.assertIn("\t'nn' to set nudge amount\n\t'e' to turn exact edges off (they are on)\n", r.out)
        self.assertIn("\t'nn' to set nudge amount\n\t'e' to turn exact edges on (they are off)\n", r.out)
        self.assertIn("\nExact edges are off: a play ends on a whole period.\n", r.out)
        self.assertPlayed(data[800:1600] * 2 + model_pass(data, 1, 800, 1600, silence=b"\x55") * 2)

    def test_headers_as_other_writers_leave_them(self):
        le, le8 = (lambda n: struct.pack("<I", n)), (lambda n: struct.pack("<Q", n))  # noqa: E731

        def patch(raw, at, value, size=2):
            return raw[:at] + value.to_bytes(size, "little") + raw[at + size:]

        s16, s24 = counter_data(3000, 2, 2), counter_data(3000, 2, 3)
        f16, f24 = wav_bytes(channels=2, data=s16), wav_bytes(channels=2, bits=24, data=s24)
        ds64 = b"ds64" + le(28) + le8(0) + le8(len(s16)) + le8(0) + le(0)
        rows = [  # the file, its samples, bytes a frame, standard error
            (patch(f16, 34, 12), s16, 4, ""), (patch(f24, 34, 20), s24, 6, ""),
            (patch(f16, 32, 0), s16, 4, ""),  # block align never filled in
            (patch(patch(f16, 34, 12), 32, 0), s16, 4, ""),  # ... and 12 bits: rounded up
            (rifx(f16, 2), s16, 4, ""), (rifx(f24, 3), s24, 6, ""),
            (patch(f16, 40, 20000, 4), s16, 4, "Warning: the data of t.wav is cut short: its header "
             "gives 5000 frames, the file holds 3000\n"),
            (b"RF64" + f16[4:40] + le(0xFFFFFFFF) + s16, s16, 4, ""),  # no ds64 at all
            (b"RF64" + f16[4:36] + ds64 + b"data" + le(0xFFFFFFFF) + s16 + b"\x7f" * 8, s16, 4, ""),
        ]
        for raw, data, frame, err in rows:
            with self.subTest(raw[:4], bits=raw[34:36], err=err):
                with open(self.path("t.wav"), "wb") as f:
                    f.write(raw)
                self.fresh()
                r = self.run_cuedeck(self.device, "t.wav", 0, 0, "wx", 1, 0)
                self.assertEqual((r.rc, r.err), (0, err))
                self.assertPlayed(model_pass(data, frame, 0, 3000))

    def test_placeholder_data_size_plays_what_is_there(self):
        data = counter_data(5000, 2, 2) + b"\x01"  # a partial frame at the end
        self.wav(channels=2, data=data, data_size=0xFFFFFFFF)
        r = self.run_cuedeck(self.device, "t.wav", 0, 0, "wx", 1, 0)
        self.assertEqual((r.out, r.err), (play_header("0.00", "0.11") + "\n", ""))
        self.assertPlayed(model_pass(data[:20000], 4, 0, 5000))

    def test_clock_lines(self):
        clock = "\rclock = 0.00 sec\rclock = 0.09 sec"
        rows = [  # frames, arguments after the file, standard output
            (10000, [0, 0, "wx"], play_header("0.00", "0.23") + clock + "\rclock = 0.19 sec\n"),
            # Each pass's clock lines follow its loop line.
            (5000, [0, 0, "wx", 2], play_header("0.00", "0.11") + "\nLoops remaining: 1\n" + clock +
             "\nLoops remaining: 0\n" + clock + "\n"),
            # Only a seventh argument of 0 hides the clock.
            (100, [0, 0, "wx", 1, 0, "extra"], play_header("0.00", "0.00") + "\rclock = 0.00 sec\n"),
            (100, [0, 0, "wx", 1, -1], play_header("0.00", "0.00") + "\rclock = 0.00 sec\n"),
        ]
        for frames, args, out in rows:
            with self.subTest(args):
                self.wav(frames=frames)
                r = self.run_cuedeck(self.device, "t.wav", *args)
                self.assertEqual(r.out, out)


class Selection(CuedeckCase):
    def test_plays_end_at_the_first_period_boundary_at_or_past_the_stop(self):
        data = counter_data(44100, 1, 2)
        rows = [  # rate, frames, start, stop, command, bytes played
            (44100, 44100, 0.1, 0.2, "px", data[4410 * 2:(4410 + 2 * PERIOD) * 2]),
            (4096, 44100, 0, 1, "px", data[:PERIOD * 2]),  # exactly one period long
            (44100, PERIOD + 1, 0, 0, "wx", data[:(PERIOD + 1) * 2] + bytes((PERIOD - 1) * 2)),
        ]
        for rate, frames, start, stop, command, played in rows:
            with self.subTest(rate=rate, frames=frames, stop=stop):
                self.wav(rate=rate, data=data[:frames * 2])
                self.fresh()
                r = self.run_cuedeck(self.device, "t.wav", start, stop, command, 1, 0)
                self.assertEqual(r.rc, 0)
                self.assertPlayed(played)

    def test_loops_and_selections_the_data_does_not_hold(self):
        data = counter_data(44100, 1, 2)
        self.wav(data=data, after_data=b"junk\x04\0\0\0\x7f\x7f\x7f\x7f")  # never played
        loops = "\nLoops remaining: 2\n\nLoops remaining: 1\n\nLoops remaining: 0\n\n"
        rows = [  # arguments after the file, menu words, output shown, bytes played
            ([0.5, 0.6, "px", 3, 0], "", play_header("0.50", "0.60") + loops,
             model_pass(data, 2, 22050, 26460) * 3),
            ([0.5, 0.6, "px", "010", 0], "", "sec\n\nLoops remaining: 9\n", None),  # base 10: ten
            ([0, 0, " ", 1, 0], "o 0.05 l 2 p x", play_header("0.00", "0.05") +
             "\nLoops remaining: 1\n\nLoops remaining: 0\n\n", data[:PERIOD * 2] * 2),
            ([0, 0, "wx", 0, 0], "", play_header("0.00", "1.00") + "\n", b""),
            # A start after the stop prints its lines and plays nothing.
            ([0.5, 0.2, "px", 2, 0], "", "Start time is set later than stop time!\n" +
             play_header("0.50", "0.20") + "\nLoops remaining: 1\n\nLoops remaining: 0\n\n", b""),
            ([-1, 0.05, "px", 1, 0], "", play_header("-1.00", "0.05") + "\n", data[:PERIOD * 2]),
            ([0, 100, "px", 1, 0], "", play_header("0.00", "100.00") + "\n",
             model_pass(data, 2, 0, 44100)),
        ]
        for args, words, shown, played in rows:
            with self.subTest(args=args, words=words):
                self.fresh()
                r = self.run_cuedeck(self.device, "t.wav", *args, stdin=words.encode())
                self.assertEqual(r.rc, 0)
                self.assertIn(shown, r.out)
                if played is not None:
                    self.assertPlayed(played)

    def test_numbers_that_do_not_convert_give_zero(self):
        data = counter_data(5000, 1, 2)
        self.wav(data=data)
        r = self.run_cuedeck(self.device, "t.wav", "abc", "xyz", "px", "many", 0)
        self.assertEqual(r.out, play_header("0.00", "0.11") + "\n")
        self.assertEqual(self.played(), b"")
        # What the C library takes from a number with more after it, and a word of warning.
        r = self.run_cuedeck(self.device, "t.wav", "0:12.5", "0.05,5", "px", "", "x")
        self.assertEqual(r.out, play_header("0.00", "0.05") + "\n")
        self.assertEqual(r.err, "".join('Warning: %s "%s" is not a number; taken as %s.\n' % w for w in [
            ("START", "0:12.5", "0"), ("STOP", "0.05,5", "0.05"), ("LOOPS", "", "0"),
            ("CLOCK", "x", "0")]))

    def test_output_that_goes_away_never_stops_the_audio(self):
        data = counter_data(10000, 1, 2)
        self.wav(data=data)
        read, write = os.pipe()
        os.close(read)
        r = self.run_cuedeck(self.device, "t.wav", 0, 0, "wx", 2, stdout=write)
        os.close(write)
        self.assertEqual(r.rc, 0)
        self.assertPlayed(model_pass(data, 2, 0, 10000) * 2)


class FailuresAndPrompt(CuedeckCase):
    def test_arguments_prompts_and_files_that_cannot_be_played(self):
        with open(os.path.join(HERE, "../../CMakeLists.txt")) as f:
            version = re.search(r"project\(cuedeck VERSION (\S+)", f.read()).group(1)
        bad = "bad.wav"
        busy = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)  # a port another program has
        busy.bind(("127.0.0.1", 0))
        self.addCleanup(busy.close)
        rows = [  # the file bad.wav holds, arguments, input, status, standard output, standard error
            (None, ["null", "nope.wav", 0, 0, "wx"], b"", 2,
             "The file called nope.wav cannot be found!\n", ""),
            (None, ["null", "/tmp", 0, 0, "wx"], b"", 2, "The file called /tmp is not a regular file!\n", ""),
            (None, ["null", "no\x1b[2Jpe\u009b.wav", 0, 0, "wx"], b"", 2,
             "The file called no?[2Jpe?.wav cannot be found!\n", ""),
            (b"RIFF\0\0\0\0WAVE", ["null", bad, 0, 0, "wx"], b"", 2,
             "Can't find format chunk in wave file!\n", ""),
            (wav_bytes(frames=10)[:36] + b"junk" + bytes(40), ["null", bad, 0, 0, "wx"], b"", 2,
             "Can't find data block in wave file!\n", ""),
            (wav_bytes(frames=10)[:30], ["null", bad, 0, 0, "wx"], b"", 2, "The wave header is cut short!\n", ""),
            (wav_bytes(bits=16, frames=10, extensible=True)[:44], ["null", bad, 0, 0, "wx"], b"", 2,
             "The wave header is cut short!\n", ""),
            (wav_bytes(bits=0, frames=10), ["null", bad, 0, 0, "wx"], b"", 2,
             "Can't play a wave file with 0 bits per sample!\n", ""),
            (wav_bytes(channels=0, frames=10), ["null", bad, 0, 0, "wx"], b"", 2,
             "Can't play a wave file with no channels!\n", ""),
            (wav_bytes(bits=16, frames=10, tag=0x11, extensible=True), ["null", bad, 0, 0, "wx"], b"", 2,
             "Can't play this wave file: its samples are encoded as format 0x0011; only PCM, "
             "floating-point, A-law and mu-law samples are supported!\n", ""),
            (wav_bytes(bits=4, frames=10, tag=0x11), ["null", bad, 0, 0, "wx"], b"", 2,
             ("has", "encoded as format 0x0011;"), ""),  # IMA ADPCM: 4 bits a sample
            (wav_bytes(bits=16, frames=10, tag=3), ["null", bad, 0, 0, "wx"], b"", 2,
             "Can't play this wave file: format 0x0003 has no 16-bit samples!\n", ""),
            (wav_bytes(bits=16, frames=10, tag=6), ["null", bad, 0, 0, "wx"], b"", 2,
             "Can't play this wave file: format 0x0006 has no 16-bit samples!\n", ""),
            (wav_bytes(bits=40, frames=10), ["null", bad, 0, 0, "wx"], b"", 2,
             "Can't play this wave file: format 0x0001 has no 40-bit samples!\n", ""),
            (wav_bytes(bits=16, frames=10, tag=7), ["null", bad, 0, 0, "wx"], b"", 2,
             "Can't play this wave file: format 0x0007 has no 16-bit samples!\n", ""),
            (wav_bytes(bits=16, frames=10, extensible=True)[:36] + b"\x15\0" +  # cbSize 21
             wav_bytes(bits=16, frames=10, extensible=True)[38:], ["null", bad, 0, 0, "wx"], b"", 2,
             "The wave header is cut short!\n", ""),
            (wav_bytes(bits=16, frames=10, extensible=True, fmt_size=22), ["null", bad, 0, 0, "wx"],
             b"", 2, "The wave header is cut short!\n", ""),
            (wav_bytes(bits=16, frames=10, extensible=True, fmt_size=16), ["null", bad, 0, 0, "wx"],
             b"", 2, "The wave header is cut short!\n", ""),
            (wav_bytes(bits=24, channels=2, frames=10, block_align=8), ["null", bad, 0, 0, "wx"], b"", 2,
             "Can't play this wave file: its frames are 8 bytes long (block align), but 2 channels "
             "of 3 bytes make 6!\n", ""),
            (wav_bytes(rate=0, frames=10), ["null", bad, 0, 0, "wx"], b"", 2,
             "Can't play this wave file: its sample rate is 0!\n", ""),
            (b"riff\x2e\x91\xcf\x11" + wav_bytes(frames=10)[8:], ["null", bad, 0, 0, "wx"], b"", 2,
             FOREIGN, ""),
            # An empty data block, from the command line and from the prompt.
            (wav_bytes(frames=0), [self.device, bad], b"wx", 0,
             ("has", "'p' to play with current settings: 0.00 to 0.00 sec"), ""),
            (wav_bytes(frames=10), [self.device], b"bad.wav\nx\n", 0,
             ("ends", "'p' to play with current settings: 0.00 to 0.00 sec\n'w' to play whole file"
                      "\n'x' to exit\n'+' to show additional commands\n\n"), ""),
            (wav_bytes(frames=10), ["nosuchdevice", bad, 0, 0, "wx"], b"", 1, "", ("ends", NO_DEVICE)),
            # The file named first, as a new user would: a hint follows.
            (wav_bytes(frames=10), [bad], b"bad.wav", 1, None, (
                "ends", NO_DEVICE + "(The first argument is the ALSA device. To play bad.wav on the "
                "default device: cuedeck d bad.wav)\n")),
            (None, ["nope.wav", "--help"], b"x", 0, USAGE, ""),
            (None, ["-h"], b"x", 0, ("has", "\nThe menu and everything else: man cuedeck"), ""),
            (None, ["--version"], b"", 0, "cuedeck %s\n" % version, ""),
            # No device name begins with "-".
            (None, ["-D", "hw:0", "t.wav"], b"x", 2, "", "cuedeck: unknown option '-D'\n" + USAGE),
            (None, ["-v"], b"x", 2, "", ("has", "man -l man/cuedeck.1")),
            # ... but what the C library reads as a number is a position.
            (wav_bytes(frames=10), [self.device, bad, "-nan", "-Infinity", "px"], b"", 0,
             ("has", "Playing..."), ""),
            # The remote: where it listens, and a script's play with it on.
            (None, ["--osc", "nope", "null"], b"", 2, "",
             "cuedeck: can't listen for OSC at nope: give a port, or HOST:PORT\n"),
            (None, ["null", "--osc"], b"", 2, "", ("starts", "cuedeck: --osc needs a port")),
            (None, ["--osc=0", "--osc-reply-port", "0", "null"], b"", 2, "",
             "cuedeck: --osc-reply-port needs a port, 1 to 65535, not 0\n"),
            (None, ["--osc-reply-port=9000", "null"], b"", 2, "",
             "cuedeck: --osc-reply-port goes with --osc\n" + USAGE),
            (wav_bytes(frames=10), ["--osc=%d" % busy.getsockname()[1], "null", bad, 0, 0, "wx"], b"", 1,
             "", ("ends", "in use\n")),
            (wav_bytes(frames=10), ["--osc=0", self.device, bad, 0, 0, "wx"], b"", 0, ("has", "Playing"),
             ("starts", "cuedeck: listening for OSC at 127.0.0.1:")),
            (wav_bytes(frames=10), ["--osc", "127.0.0.2:0", "null", bad, 0, 0, "wx"], b"", 0, None,
             ("starts", "cuedeck: listening for OSC at 127.0.0.2:")),
            (None, ["--osc", ":9000", "null"], b"", 2, "", ("ends", "give a port, or HOST:PORT\n")),
            (None, ["--osc", "9000x", "null"], b"", 2, "", ("ends", "give a port, or HOST:PORT\n")),
            (wav_bytes(frames=10), ["n" * 64, bad, 0, 0, "wx"], b"", 1, "",
             "The device name is too long: at most 63 characters\n"),
            (None, ["null", "f" * 256, 0, 0, "wx"], b"", 2,
             "The file name is too long: at most 255 characters!\n", ""),
            (None, ["null"], b"f" * 300 + b"\n", 2, ("ends", "at most 255 characters!\n"), ""),
            (None, [], b"h\nx\n", 1, PROMPT + HELP + "\nEnter the name of .wav file or 'x' to exit: \n", ""),
            (None, ["null"], b"h h", 2, ("ends", "The file called h cannot be found!\n"), ""),
            (None, ["null"], b"", 1, PROMPT, ""),  # the end of input at either prompt
            (None, ["null"], b"h\n", 1, ("ends", "or 'x' to exit: \n"), ""),
        ]
        for content, args, stdin, rc, out, err in rows:
            with self.subTest(args=args[:2], stdin=stdin[:10]):
                if content is not None:
                    with open(self.path(bad), "wb") as f:
                        f.write(content)
                r = self.run_cuedeck(*args, stdin=stdin)
                self.assertEqual(r.rc, rc)
                self.assertTrue(found(r.out, out), r.out[-300:])
                self.assertTrue(found(r.err, err), r.err)
        self.assertEqual(len(self.played()), 2 * PERIOD)  # the one play, with the remote on

    def test_long_recordings_play_their_tail(self):
        # Sparse files: only the header and the last MiB (a ramp) take disk.
        le, le8 = (lambda n: struct.pack("<I", n)), (lambda n: struct.pack("<Q", n))  # noqa: E731

        def rf64(data_size, fmt):
            return (b"RF64" + le(0xFFFFFFFF) + b"WAVE" + b"ds64" + le(28) + le8(0) + le8(data_size) +
                    le8(0) + le(0) + fmt + b"data" + le(0xFFFFFFFF))
        stereo = wav_bytes(channels=2, rate=48000, frames=0)[12:36]
        mono8 = wav_bytes(bits=8, rate=48000, frames=0)[12:36]
        tail = counter_data(1 << 18, 2, 2)
        rows = [  # header, data bytes, start in seconds (a whole frame), status, standard output
            (b"RIFF" + le(0) + b"WAVE" + stereo + b"data" + le(5 << 29), 5 << 29, 13981, 0, None),
            (rf64(5 << 30, stereo), 5 << 30, 27962, 0, None),
            (rf64((1 << 31) - 1, mono8), (1 << 31) - 1, 0, 0, "\n"),
            (rf64(1 << 31, mono8), 1 << 31, 0, 2, "Can't play this wave file: it holds more than "
             "2147483647 frames, the most that can be played!\n"),
        ]
        for header, size, start, rc, out in rows:
            with self.subTest(header[:4], size=size):
                with open(self.path("big.wav"), "wb") as f:
                    f.write(header)
                    f.seek(len(header) + size - len(tail))
                    f.write(tail[-size:])
                    f.write(b"LIST" + le(8) + b"\x7f" * 8)  # never played
                self.fresh()
                r = self.run_cuedeck(self.device, "big.wav", start, 0, "px" if out is None else "x", 1, 0)
                self.assertEqual(r.rc, rc)
                if out is not None:
                    self.assertEqual(r.out, out)
                    continue
                left = size // 4 - start * 48000
                self.assertPlayed(tail[-left * 4:] + bytes((PERIOD - left) * 4))
        # Samples that begin past 4 GiB, behind a chunk only ds64 sizes.
        with open(self.path("late.wav"), "wb") as f:
            f.write(b"RF64" + le(0xFFFFFFFF) + b"WAVE" + b"ds64" + le(40) + le8(0) + le8(len(tail)) +
                    le8(0) + le(1) + b"JUNK" + le8(5 << 30) + stereo + b"JUNK" + le(0xFFFFFFFF))
            f.seek(5 << 30, 1)
            f.write(b"data" + le(0xFFFFFFFF) + tail)
        self.fresh()
        r = self.run_cuedeck(self.device, "late.wav", 5, 0, "px", 1, 0)
        self.assertEqual((r.rc, r.err), (0, ""))
        self.assertPlayed(model_pass(tail, 4, 5 * 48000, len(tail) // 4))

    def test_devices_that_refuse(self):
        # A card that takes two channels only, as most small boards' hw:
        # devices do, made of ALSA's own plugins.
        conf = self.path("asound.conf")
        with open(conf, "w") as f:
            f.write('</usr/share/alsa/alsa.conf>\npcm.stereo_only { type multi; slaves.a.pcm { type '
                    'file; slave.pcm "null"; file "%s"; format raw; } slaves.a.channels 2; bindings.0 '
                    '{ slave a; channel 0; } bindings.1 { slave a; channel 1; } }\n' % self.raw)
        env = {"ALSA_CONFIG_PATH": conf}
        self.wav(frames=5000)
        r = self.run_cuedeck("stereo_only", "t.wav", 0, 0, "wx", 1, 0, env=env)
        self.assertEqual((r.rc, r.out), (1, ""))
        self.assertEqual(r.err, "Unable to set the channel count to 1: the device takes 2\n" + PLUG_HINT)
        self.assertEqual(self.played(), b"")
        data = counter_data(5000, 2, 2)
        self.wav(channels=2, data=data)
        r = self.run_cuedeck("stereo_only", "t.wav", 0, 0, "wx", 1, 0, env=env)
        self.assertEqual((r.rc, r.err), (0, ""))
        self.assertPlayed(model_pass(data, 4, 0, 5000, period=2 * PERIOD))

    def test_closed_standard_streams_are_never_the_wave_file_nor_the_capture(self):
        # With descriptor 0 closed, the wave file would be opened on it and its
        # bytes read as commands: here a chunk that spells " wx ". With 1 or 2
        # closed, the capture file would get the text.
        data = counter_data(1000, 1, 2)
        self.wav(data=data, before_data=b"LIST\x04\0\0\0 wx ")
        with open(self.path("t.wav"), "rb") as f:
            wave = f.read()
        whole = model_pass(data, 2, 0, 1000)
        # A device that writes to the closed descriptor must not write into the wave file.
        for fd, device, command, played in ((0, self.device, " ", b""), (1, self.device, "wx", whole),
                                            (2, self.device, "wx", whole),
                                            (1, "file:'/dev/stdout',raw", "wx", b""),
                                            (2, "file:'/dev/stderr',raw", "wx", b"")):
            with self.subTest(fd=fd, device=device):
                self.fresh()
                r = self.run_cuedeck(device, "t.wav", 0, 0, command, 1, 1,
                                     before=lambda: os.close(fd))
                self.assertEqual(r.rc, 0)
                self.assertEqual("Playing..." in r.out, fd == 2)
                self.assertPlayed(played)
                with open(self.path("t.wav"), "rb") as f:
                    self.assertTrue(f.read() == wave, "the wave file was written")
