"""Scripted playback from the command line through the real ALSA library."""

import os
import re
import subprocess

from harness import (CUEDECK, HERE, RUNNER, CuedeckCase, counter_data, model_pass, play_header,
                     wav_bytes, PERIOD)

HELP = ("\n\nThis program will play mono or stereo, 16 or 24 bit wave files.\n"
        "You will be able to play the entire file or set start and stop points.\n"
        "Press 'enter' after your choices.\n"
        "\nSound will be sent to the default alsa soundcard unless you enter a device name\n"
        "such as plughw:0,0 as the first argument when you first run the application.\n"
        "For example, cuedeck plughw:0,0\n"
        "\nAdditional Command Line Arguments:\n\n"
        "These are optional, but if you need argument 3 for example,\n"
        "you need to enter arguments 1 and 2 as well.\n\n"
        "The name of the wavefile is the 2nd argument.\n"
        "In this case, you may wish to use the shortcut 'd' for the first argument\n"
        "to use the default soundcard. For example, cuedeck d song1.wav\n\n"
        "The 3rd argument is the start time\n\n"
        "The 4th argument is the stop time\n\n"
        "Adding a 5th argument will skip the first interactive dialog and use the\n"
        "5th argument as the command.  So, entering 'p' will start playback immediately.\n\n"
        "'px' will play once or the set number of loops and exit.\n\n"
        "'w' will overwrite the in and out times and play the whole file.\n\n"
        "'wx' will play the whole file once or the set number of loops and exit.\n\n"
        "The 6th argument can set the number of loops, 1 = play once\n"
        "The 7th argument if set to 0 hides the clock\n")


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
        log = self.path("calls.log")
        for bits, tag, extensible, channels, rate, name, silence in rows:
            with self.subTest(name):
                data = counter_data(5000, channels, bits // 8)
                self.wav(rate=rate, channels=channels, bits=bits, tag=tag, extensible=extensible,
                         data=data)
                for f in (self.raw, log):
                    if os.path.exists(f):
                        os.remove(f)
                r = self.run_cuedeck(self.device, "t.wav", 0, 0, "wx", 1, 0)
                self.assertEqual((r.rc, r.err), (0, ""))
                self.assertPlayed(model_pass(data, channels * bits // 8, 0, 5000, silence=silence))
                r = self.run_cuedeck("d", "t.wav", 0, 0, "x", fake=True, env={"CUEDECK_FAKE_LOG": log})
                with open(log) as f:
                    self.assertIn("format %s\n" % name, f.read())

    def test_placeholder_data_size_plays_what_is_there(self):
        data = counter_data(5000, 2, 2) + b"\x01"  # a partial frame at the end
        self.wav(channels=2, data=data, data_size=0xFFFFFFFF)
        r = self.run_cuedeck(self.device, "t.wav", 0, 0, "wx", 1, 0)
        self.assertEqual(r.out, play_header("0.00", "0.11") + "\n")
        self.assertPlayed(model_pass(data[:20000], 4, 0, 5000))

    def test_clock_line_per_period(self):
        self.wav(frames=10000)
        r = self.run_cuedeck(self.device, "t.wav", 0, 0, "wx")
        clock = "\rclock = 0.00 sec\rclock = 0.09 sec\rclock = 0.19 sec"
        self.assertEqual(r.out, play_header("0.00", "0.23") + clock + "\n")

    def test_clock_lines_keep_their_place_among_the_loop_lines(self):
        self.wav(frames=5000)
        r = self.run_cuedeck(self.device, "t.wav", 0, 0, "wx", 2)
        clock = "\rclock = 0.00 sec\rclock = 0.09 sec"
        self.assertEqual(r.out, play_header("0.00", "0.11") + "\nLoops remaining: 1\n" + clock +
                         "\nLoops remaining: 0\n" + clock + "\n")

    def test_clock_off_only_with_a_seventh_argument_of_0(self):
        self.wav(frames=100)
        for clock in ([0, "extra"], [-1]):
            r = self.run_cuedeck(self.device, "t.wav", 0, 0, "wx", 1, *clock)
            self.assertIn("\rclock = 0.00 sec", r.out)


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
                if os.path.exists(self.raw):
                    os.remove(self.raw)
                r = self.run_cuedeck(self.device, "t.wav", start, stop, command, 1, 0)
                self.assertEqual(r.rc, 0)
                self.assertPlayed(played)

    def test_loops_play_back_to_back(self):
        data = counter_data(44100, 1, 2)
        self.wav(data=data)
        r = self.run_cuedeck(self.device, "t.wav", 0.5, 0.6, "px", 3, 0)
        self.assertEqual(r.out, play_header("0.50", "0.60") +
                         "\nLoops remaining: 2\n\nLoops remaining: 1\n\nLoops remaining: 0\n\n")
        self.assertPlayed(model_pass(data, 2, 22050, 26460) * 3)
        r = self.run_cuedeck(self.device, "t.wav", 0.5, 0.6, "px", "010", 0)  # base 10: ten
        self.assertIn("\nLoops remaining: 9\n", r.out)

    def test_zero_loops_play_nothing(self):
        self.wav(frames=1000)
        r = self.run_cuedeck(self.device, "t.wav", 0, 0, "wx", 0, 0)
        self.assertEqual(r.out, play_header("0.00", "0.02") + "\n")
        self.assertEqual(self.played(), b"")

    def test_start_after_stop_plays_nothing(self):
        self.wav(frames=44100)
        r = self.run_cuedeck(self.device, "t.wav", 0.5, 0.2, "px", 2, 0)
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.out, "Start time is set later than stop time!\n" + play_header("0.50", "0.20") +
                         "\nLoops remaining: 1\n\nLoops remaining: 0\n\n")
        self.assertEqual(self.played(), b"")

    def test_negative_start_plays_from_the_first_frame(self):
        data = counter_data(44100, 1, 2)
        self.wav(data=data)
        r = self.run_cuedeck(self.device, "t.wav", -1, 0.05, "px", 1, 0)
        self.assertEqual(r.out, play_header("-1.00", "0.05") + "\n")
        self.assertPlayed(data[:PERIOD * 2])

    def test_stop_past_the_end_stops_at_the_end_of_the_data(self):
        data = counter_data(5000, 1, 2)
        self.wav(data=data, after_data=b"junk\x04\0\0\0\x7f\x7f\x7f\x7f")
        r = self.run_cuedeck(self.device, "t.wav", 0, 100, "px", 1, 0)
        self.assertEqual(r.out, play_header("0.00", "100.00") + "\n")
        self.assertPlayed(data + bytes(2 * PERIOD * 2 - len(data)))

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
        r = subprocess.run(RUNNER + [CUEDECK, self.device, "t.wav", "0", "0", "wx", "2"], stdout=write,
                           stderr=subprocess.PIPE, cwd=self.dir, timeout=60)
        os.close(write)
        self.assertEqual(r.returncode, 0)
        self.assertPlayed(model_pass(data, 2, 0, 10000) * 2)


class FailuresAndPrompt(CuedeckCase):
    def test_missing_file_or_no_file_at_all(self):
        r = self.run_cuedeck("null", "nope.wav", 0, 0, "wx")
        self.assertEqual((r.rc, r.out), (2, "The file called nope.wav cannot be found!\n"))
        r = self.run_cuedeck("null", "/tmp", 0, 0, "wx")
        self.assertEqual((r.rc, r.out), (2, "The file called /tmp is not a regular file!\n"))

    def test_headers_that_cannot_be_played(self):
        cases = [
            (b"RIFF\0\0\0\0WAVE", "Can't find format chunk in wave file!\n"),
            (wav_bytes(frames=10)[:36] + b"junk" + bytes(40), "Can't find data block in wave file!\n"),
            (wav_bytes(frames=10)[:30], "The wave header is cut short!\n"),
            (wav_bytes(bits=4, frames=10),
             "Can't play a wave file with no channels or under 8 bits per sample!\n"),
            (wav_bytes(bits=16, frames=10, tag=0x11, extensible=True),
             "Can't play this wave file: its samples are encoded as format 0x0011; only PCM, "
             "floating-point, A-law and mu-law samples are supported!\n"),
            (wav_bytes(bits=16, frames=10, tag=3), "Can't play this wave file: format 0x0003 has no "
             "16-bit samples!\n"),
            (wav_bytes(bits=20, frames=10), "Can't play this wave file: format 0x0001 has no "
             "20-bit samples!\n"),
            (wav_bytes(bits=16, frames=10, extensible=True)[:44], "The wave header is cut short!\n"),
        ]
        for content, message in cases:
            with open(self.path("bad.wav"), "wb") as f:
                f.write(content)
            r = self.run_cuedeck("null", "bad.wav", 0, 0, "wx")
            self.assertEqual((r.rc, r.out), (2, message))

    def test_files_of_2_gib_or_more_are_refused(self):
        with open(self.path("big.wav"), "wb") as f:
            f.write(wav_bytes(frames=10))
            f.truncate((1 << 31) - 1)  # sparse: costs no disk
        r = self.run_cuedeck("null", "big.wav", 0, 0, "x")
        self.assertEqual((r.rc, r.out), (0, "\n"))
        os.truncate(self.path("big.wav"), 1 << 31)
        r = self.run_cuedeck("null", "big.wav", 0, 0, "wx")
        self.assertEqual((r.rc, r.out),
                         (2, "The file called big.wav is 2 GiB or larger, or can't be measured!\n"))

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
        self.assertEqual(r.err, "Unable to set the channel count to 1: the device takes 2\n(A plug "
                         "device converts format, rate and channels: plughw:0,0 or default, for "
                         "example.)\n")
        self.assertEqual(self.played(), b"")
        data = counter_data(5000, 2, 2)
        self.wav(channels=2, data=data)
        r = self.run_cuedeck("stereo_only", "t.wav", 0, 0, "wx", 1, 0, env=env)
        self.assertEqual((r.rc, r.err), (0, ""))
        self.assertPlayed(model_pass(data, 4, 0, 5000, period=2 * PERIOD))

    def test_unknown_device(self):
        self.wav(frames=10)
        r = self.run_cuedeck("nosuchdevice", "t.wav", 0, 0, "wx")
        self.assertEqual(r.rc, 1)
        self.assertIn("unable to open pcm device: No such file or directory\n", r.err)
        # The file named first, as a new user would: a hint follows.
        r = self.run_cuedeck("t.wav", stdin=b"t.wav")
        self.assertEqual(r.rc, 1)
        self.assertTrue(r.err.endswith(
            "unable to open pcm device: No such file or directory\n(The first argument is the ALSA "
            "device. To play t.wav on the default device: cuedeck d t.wav)\n"), r.err)

    def test_help_and_version(self):
        for first in ("--help", "-h"):
            r = self.run_cuedeck(first, "nope.wav", stdin=b"x")
            self.assertEqual((r.rc, r.err), (0, ""))
            self.assertTrue(r.out.startswith("Usage: cuedeck [DEVICE [FILE [START [STOP"), r.out)
            self.assertIn("man cuedeck", r.out)
        with open(os.path.join(HERE, "../../CMakeLists.txt")) as f:
            version = re.search(r"project\(cuedeck VERSION (\S+)", f.read()).group(1)
        r = self.run_cuedeck("--version")
        self.assertEqual((r.rc, r.out), (0, "cuedeck %s\n" % version))
        for option in (["-D", "hw:0", "t.wav"], ["-v"]):  # no device name begins with "-"
            r = self.run_cuedeck(*option, stdin=b"x")
            self.assertEqual((r.rc, r.out), (2, ""))
            self.assertTrue(r.err.startswith("Usage: cuedeck [DEVICE"), r.err)
            self.assertIn("man -l man/cuedeck.1", r.err)

    def test_names_too_long_are_refused(self):
        self.wav(frames=10)
        r = self.run_cuedeck("n" * 64, "t.wav", 0, 0, "wx")
        self.assertEqual(r.rc, 1)
        self.assertEqual(r.err, "The device name is too long: at most 63 characters\n")
        r = self.run_cuedeck("null", "f" * 256, 0, 0, "wx")
        self.assertEqual((r.rc, r.out), (2, "The file name is too long: at most 255 characters!\n"))
        r = self.run_cuedeck("null", stdin=b"f" * 300 + b"\n")
        self.assertEqual(r.rc, 2)

    def test_help_then_x(self):
        r = self.run_cuedeck(stdin=b"h\nx\n")
        self.assertEqual(r.rc, 1)
        self.assertEqual(r.out, "\nEnter the name of .wav file, 'h' for help, or 'x' to exit: \n" +
                         HELP + "\nEnter the name of .wav file or 'x' to exit: \n")

    def test_second_h_is_a_file_name(self):
        r = self.run_cuedeck("null", stdin=b"h h")
        self.assertEqual(r.rc, 2)
        self.assertTrue(r.out.endswith("The file called h cannot be found!\n"))

    def test_end_of_input_at_the_prompt(self):
        for stdin in (b"", b"h\n"):
            r = self.run_cuedeck("null", stdin=stdin)
            self.assertEqual(r.rc, 1)

    def test_closed_standard_input_is_never_the_wave_file(self):
        # With descriptor 0 closed, the wave file would be opened on it and its
        # bytes read as commands: here a chunk that spells " wx ".
        self.wav(frames=1000, before_data=b"LIST\x04\0\0\0 wx ")
        r = subprocess.run(RUNNER + [CUEDECK, self.device, "t.wav"], cwd=self.dir, capture_output=True,
                           timeout=60, preexec_fn=lambda: os.close(0))
        self.assertEqual(r.returncode, 0)
        self.assertNotIn(b"Playing...", r.stdout)
        self.assertEqual(self.played(), b"")

    def test_empty_data_block(self):
        self.wav(frames=0)
        r = self.run_cuedeck(self.device, "t.wav", stdin=b"wx")
        self.assertEqual(r.rc, 0)
        self.assertIn("'p' to play with current settings: 0.00 to 0.00 sec", r.out)
        self.assertEqual(self.played(), b"")

    def test_file_from_the_prompt_then_menu(self):
        self.wav(frames=10)
        r = self.run_cuedeck(self.device, stdin=b"t.wav\nx\n")
        self.assertEqual(r.rc, 0)
        self.assertIn("'p' to play with current settings: 0.00 to 0.00 sec", r.out)
        self.assertTrue(r.out.endswith("'+' to show additional commands\n\n"))
