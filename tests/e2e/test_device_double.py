"""What real ALSA can't show here, through the test double of the device
calls: refused settings, underruns, other grants, and the call order."""

import re
import signal
import struct
import termios
import time

from harness import TtySession, wait_until, CuedeckCase, Session, adtl, counter_data, cue, labl, model_pass, PERIOD
from texts import menu, PLUG_HINT, GAP, GAPS


class DeviceDouble(CuedeckCase):
    def run_fake(self, *args, **knobs):
        return self.run_cuedeck(*args, fake=knobs)

    def calls(self):
        with open(self.log) as f:
            return f.read().split("\n")[:-1]

    def test_configuration_and_shut_down_order(self):
        self.wav(frames=5000, rate=22050, channels=2)
        # PipeWire is asked for a quarter-period cycle, unless the user chose one.
        for chosen, cycle in ((None, "1024/22050"), ("64/48000", "64/48000")):
            self.fresh()
            r = self.run_cuedeck("d", "t.wav", 0, 0, "wx", 1, 0, fake={},
                                 env=None if chosen is None else {"PIPEWIRE_LATENCY": chosen})
            self.assertEqual(r.rc, 0)
            self.assertEqual(self.calls(), [
                "open default mode 0", "access 3", "format S16_LE", "channels 2", "rate 22050",
                # A start threshold of a buffer: the pulse plugin makes it the
                # server's pre-buffer in 32 bits, where the boundary wraps to 0.
                "period 4096", "buffer 16384", "hw_params " + cycle, "start threshold 16384",
                "write 4096", "start",
                "write 4096", "drain", "close"])

    def test_device_settings_and_drain(self):
        rows = [  # settings, status, standard error
            ({"fail": "format"}, 1, "Unable to set playback format: Invalid argument\n(The device "
             "takes no S24_3LE samples; plug:default converts them.)\n"),
            ({"fail": "hw"}, 1, "Unable to set hardware parameters: Invalid argument\n" + PLUG_HINT),
            ({"channels": "2-8"}, 1, "Unable to set the channel count to 1: the device takes 2 to 8\n" +
             PLUG_HINT),
            ({"fail": "open"}, 1, "unable to open pcm device: Invalid argument\n"),
            ({"fail": "drain"}, 1, "Unable to write to the playback device: Input/output error\n"),
            ({"rate": 48000}, 0, "Warning: the device plays at 48000 Hz, not at the file's 44100 Hz: "
             "the sound is off in pitch and speed\n" + PLUG_HINT),
        ]
        self.wav(frames=10, bits=24)
        for settings, rc, err in rows:
            with self.subTest(settings):
                r = self.run_fake("d", "t.wav", 0, 0, "wx", 1, 0, **settings)
                self.assertEqual((r.rc, r.err), (rc, err))
        self.assertEqual(r.out, "Playing...\nstart = 0.00 sec\nstop  = 0.00 sec\n\n")

    def test_write_faults(self):
        # Recoverable faults lose no frame; the rest end the run at once with
        # status 1, never racing through the selection.
        data = counter_data(10000, 1, 2)
        self.wav(data=data)
        whole = model_pass(data, 2, 0, 10000) * 2
        lost = "Unable to write to the playback device: %s\n"
        rows = [  # settings, status, standard error, frames played, recoveries and waits
            # An underrun at the first write follows a wait at the menu and
            # loses nothing; those mid-play are gaps, told once with their
            # count, and a script is not told that all was heard.
            ({"writes": "1=EPIPE"}, 0, "", whole, ["recover EPIPE silent"]),
            ({"writes": "3=EPIPE"}, 1, GAP, whole, ["recover EPIPE silent"]),
            # Failures that a good write parts are not in a row.
            ({"writes": "1=EPIPE,3=EPIPE,5=EPIPE,7=EPIPE,9=EPIPE"}, 1, GAPS % 4, whole,
             ["recover EPIPE silent"] * 5),
            ({"writes": "2=ESTRPIPE"}, 0, "", whole, ["recover ESTRPIPE silent"]),  # a suspend
            # Nothing taken is "try again": the device is waited for, not recovered.
            ({"writes": "2=EINTR,3=EAGAIN,4=zero"}, 0, "", whole,
             ["recover EINTR silent", "wait 1000", "wait 1000"]),
            ({"writes": "2=short,3=short"}, 0, "", whole, []),
            # Down to the last frame of a period of three.
            ({"writes": "1=short,2=short", "period": 3}, 0, "", model_pass(data, 2, 0, 10000, 3) * 2, []),
            ({"writes": "2=ENODEV"}, 1, lost % "No such device", whole[:PERIOD * 2],
             ["recover ENODEV silent"]),
            ({"writes": "2=ESTRPIPE", "recover": "fail"}, 1, lost % "Streams pipe error",
             whole[:PERIOD * 2], ["recover ESTRPIPE silent"]),
            # Four recoveries; the fifth failure in a row ends the run, also
            # after a short write.
            ({"writes": "2+=EPIPE"}, 1, lost % "Broken pipe", whole[:PERIOD * 2],
             ["recover EPIPE silent"] * 4),
            ({"writes": "2=EPIPE,3=short,4+=EPIPE"}, 1, lost % "Broken pipe", whole[:PERIOD * 3],
             ["recover EPIPE silent"] * 5),
        ]
        for settings, rc, err, frames, recoveries in rows:
            with self.subTest(settings):
                self.fresh()
                r = self.run_fake("d", "t.wav", 0, 0, "wx", 2, 0, **settings)
                self.assertEqual((r.rc, r.err), (rc, err))
                self.assertPlayed(frames, self.out)
                self.assertEqual([c for c in self.calls() if c.startswith(("recover", "wait"))],
                                 recoveries)

    def test_refused_formats_are_converted(self):
        try:
            import audioop  # the G.711 tables, as ALSA's plug converts with them
        except ImportError:
            self.skipTest("this Python has no audioop")
        most = 3.4028234663852886e38  # the largest float
        doubles = struct.pack("<6d", 0.5, -1 / 3, 1e-30, most, -most, 1e300)
        rows = [  # bits, format tag, the file's samples, as played, format played
            (64, 3, doubles, struct.pack("<6f", 0.5, -1 / 3, 1e-30, most, -most, float("inf")),
             "FLOAT_LE"),
            (8, 6, bytes(range(256)), audioop.alaw2lin(bytes(range(256)), 2), "S16_LE"),
            (8, 7, bytes(range(256)), audioop.ulaw2lin(bytes(range(256)), 2), "S16_LE"),
        ]
        for bits, tag, data, played, name in rows:
            with self.subTest(name, tag=tag):
                self.fresh()
                self.wav(rate=8000, bits=bits, tag=tag, data=data)
                r = self.run_fake("d", "t.wav", 0, 0, "wx", 1, 0, refuse="FLOAT64_LE,A_LAW,MU_LAW")
                self.assertEqual((r.rc, r.err), (0, ""))
                self.assertEqual(self.played(self.out)[:len(played)], played)
                self.assertIn("format " + name, self.calls())

    def test_channels_go_out_in_the_devices_order(self):
        # The double tells no channel map: ALSA's usual order, where there is one.
        usual = ("Warning: the device tells no channel map; the %d channels are sent in ALSA's usual "
                 "order (FL FR RL RR FC LFE SL SR)\n")
        rows = [  # channels, mask (3: none that fits), the device's map, where each of the file's
            # channels goes, stderr
            (6, 3, "", (1, 2, 5, 6, 3, 4), usual % 6),
            (6, 0x60F, "", (1, 2, 5, 6, 3, 4), usual % 6),  # side speakers for the rear ones
            (5, 3, "", (1, 2, 4, 5, 3), usual % 5),
            (8, 3, "", (1, 2, 5, 6, 3, 4, 7, 8), usual % 8),
            (4, 0x33, "", (1, 2, 3, 4), usual % 4),  # FL FR BL BR: a gap in the mask
            # FL FR FC BC: each channel plays once at most, and what has no place is said.
            (4, 0x107, "", (1, 2, 0, 0), usual % 4 + "Warning: FC and BC have no speaker on this "
             "device and are not heard\n"),
            (8, 0xFF, "", (1, 2, 5, 6, 3, 4, 0, 0), usual % 8 + "Warning: FLC and FRC have no "
             "speaker on this device and are not heard\n"),
            (6, 0, "", (1, 2, 3, 4, 5, 6), ""),  # the tracks of a multitrack recording
            (6, 0x63F, "", (1, 2, 5, 6, 3, 4), usual % 6),  # more bits than channels: the lowest
            (3, 3, "", (1, 2, 3), "Warning: the device tells no channel map; the 3 channels are sent "
             "in the file's order\n"),
            # ALSA's positions: FL 3, FR 4, RL 5, RR 6, FC 7, LFE 8, SL 9, TRR 26.
            (6, 0x2020F, "take", (1, 2, 3, 4, 5, 6), ""),
            (6, 3, "tell:7,3,4,5,6,8", (3, 1, 2, 5, 6, 4), ""),
            (6, 3, "tell:3,4,5,6,7,1", (1, 2, 5, 6, 3, 4), ""),  # 1: none, for what is left
            # Side speakers: FL FR FC LFE SL SR. A device that answers 1 keeps its
            # own order, and gets it back; one that tells a map and takes any
            # keeps the file's.
            (6, 0x60F, "one:3,4,5,6,7,8", (1, 2, 5, 6, 3, 4), ""),
            (6, 0x60F, "take:3,4,5,6,7,8", (1, 2, 3, 4, 5, 6), ""),
            # No mask (a plain format chunk): the WAVE order for six, FL FR FC LFE BL BR.
            (6, None, "tell:3,4,5,6,7,8", (1, 2, 5, 6, 3, 4), ""),
            # Side and rear speakers both there: each to its own.
            (8, 0x63F, "tell:3,4,5,6,7,8,9,10", (1, 2, 5, 6, 3, 4, 7, 8), ""),
            (6, 0x63F, "take", (1, 2, 3, 4, 5, 6), ""),  # more bits than channels, offered
        ]
        offered = {0x2020F: "chmap 3 4 7 8 9 26", 0x63F: "chmap 3 4 7 8 5 6"}
        for channels, mask, chmap, order, err in rows:
            with self.subTest(channels=channels, mask=mask, chmap=chmap):
                self.fresh()
                frame = struct.pack("<%dh" % channels, *range(1, channels + 1))
                self.wav(channels=channels, data=frame * 10, extensible=mask is not None, mask=mask or 0)
                r = self.run_fake("d", "t.wav", 0, 0, "wx", 1, 0, chmap=chmap, period=5)
                self.assertEqual((r.rc, r.err), (0, err))  # said once, for two writes
                # Every frame of each period, its last too.
                self.assertEqual(self.played(self.out), struct.pack("<%dh" % channels, *order) * 10)
                offers = [c for c in self.calls() if c.startswith("chmap")]
                if chmap == "take":
                    self.assertEqual(offers, [offered[mask]])
                elif chmap.startswith(("one", "take")):
                    given_back = ["chmap 3 4 5 6 7 8"] if chmap.startswith("one") else []
                    self.assertEqual(offers, ["chmap 3 4 7 8 9 10"] + given_back)
                # Said only when a play sends the channels.
                self.assertEqual(self.run_fake("d", "t.wav", 0, 0, "x", chmap=chmap).err, "")

    def test_other_period_grants(self):
        data = counter_data(3000, 1, 2)
        self.wav(data=data)
        r = self.run_fake("d", "t.wav", 0, 0, "wx", 1, period=1000)
        self.assertEqual(r.out, "Playing...\nstart = 0.00 sec\nstop  = 0.07 sec\n"
                         "\rclock = 0.00 sec\rclock = 0.02 sec\rclock = 0.05 sec\n")
        self.assertPlayed(data, self.out)

    def test_period_buffer_too_large(self):
        self.wav(frames=10)  # 16-bit mono: 64 MiB is the most, one frame past it too much
        r = self.run_fake("d", "t.wav", 0, 0, "x", period=32 << 20)
        self.assertEqual((r.rc, r.err), (0, ""))
        r = self.run_fake("d", "t.wav", 0, 0, "wx", period=(32 << 20) + 1)
        self.assertEqual((r.rc, r.err), (1, "Unable to allocate a period buffer of 33554433 frames\n"))

    def test_ctrl_c_drops_the_queued_audio_before_the_next_write(self):
        # Also when the write was waiting for a stalled device (300 ms), or
        # the stream's start for a stopped server (2 s, deaf to signals): the
        # drop runs beside the menu, and the next write waits for it.
        self.wav(rate=8000, frames=200000)
        played = ["drop", "prepare", "write 400", "start", "drain", "close"]
        writing = lambda: self.calls().count("write 400") >= 2  # the stream started and written on
        rows = [  # the device's knobs, when Ctrl-C comes, the words after it, the last calls
            ({}, writing, "o 0.05 px\n", played),
            ({"writes": "1=slow"}, 0.15, "o 0.05 px\n", played),  # in the first write's wait
            ({}, writing, "x\n", ["write 400", "drop", "prepare", "drain", "close"]),  # dropped first
            ({"start": "hang"}, lambda: "start" in self.calls(), "x\n",
             ["write 400", "start", "drop", "prepare", "drain", "close"]),
        ]
        for knobs, when, words, last in rows:
            with self.subTest(knobs=knobs, words=words):
                self.fresh()
                s = Session(self, "d", "t.wav", 0, 0, "p", 1, 1,
                            fake=dict({"period": 400, "delay_ms": 5}, **knobs))
                s.expect("stop  = 25.00 sec\n")
                if callable(when):
                    wait_until(when, 10, "the play did not get under way")
                else:
                    time.sleep(when)
                interrupted = time.monotonic()
                s.proc.send_signal(signal.SIGINT)
                s.expect(menu("0.00", "25.00"))
                self.assertLess(time.monotonic() - interrupted, 0.3)
                # The next play, not stoppable, plays; then the drain.
                s.send(words)
                rc, out = s.finish()
                self.assertEqual(rc, 0)
                self.assertEqual(self.calls()[-len(last):], last)

    def test_the_terminal_is_put_back_on_every_way_out(self):
        self.wav(rate=8000, frames=800)
        rows = [  # the device's knobs, how the play ends, status
            ({}, signal.SIGINT, 0), ({}, signal.SIGTERM, -signal.SIGTERM), ({}, signal.SIGTSTP, 0),
            ({}, signal.SIGQUIT, -signal.SIGQUIT),  # Ctrl-\
            ({"writes": "3+=EIO", "recover": "fail"}, None, 1),
        ]
        for knobs, end, rc in rows:
            with self.subTest(end=end):
                s = TtySession(self, "d", "t.wav", 0, 0, " ", 100, 0,
                               fake=dict({"period": 400, "delay_ms": 50}, **knobs))
                s.expect("to show additional commands\n")
                s.send("p\n")
                s.expect("Loops remaining: 99\n")
                self.assertNotEqual(s.terminal(), s.settings)  # single keys, no echo
                if end == signal.SIGTSTP:  # Ctrl-Z, then fg: the keys again
                    s.proc.send_signal(end)
                    wait_until(lambda: open("/proc/%d/stat" % s.proc.pid).read().split()[2] == "T", 5,
                               "the program did not stop")
                    self.assertEqual(s.terminal(), s.settings)
                    s.proc.send_signal(signal.SIGCONT)
                    wait_until(lambda: s.terminal() != s.settings, 5, "the keys were not set again")
                    end = signal.SIGINT
                if end is not None:
                    s.proc.send_signal(end)
                if end == signal.SIGINT:
                    s.expect(menu("0.00", "0.10", 100))
                    s.send("x\n")
                s.proc.wait(timeout=10)
                self.assertEqual(s.terminal(), s.settings)
                self.assertEqual(s.finish()[0], rc)
        # From a pipe nothing is read during a play: ">" sent then is the next menu word.
        s = Session(self, "d", "t.wav", 0, 0, " ", 3, 0, fake={"period": 400, "delay_ms": 50})
        s.send("p\n")
        s.expect("Loops remaining: 2\n")
        s.send("> x\n")
        rc, out = s.finish()
        self.assertEqual((rc, out.count(menu("0.00", "0.10", 3))), (0, 3))

    def test_keys_during_a_looped_play(self):
        # Through a paced device, at a terminal: a pass of ten periods (0.5 s)
        # loops; keys sent as its third pass begins act at its end.
        data = counter_data(4000, 1, 2)
        self.wav(rate=8000, data=data, before_data=cue((1, 0), (2, 1000), (3, 3000)) +
                 adtl(labl(3, b"Outro")))
        self.wav("plain.wav", rate=8000, data=data)  # no markers: a hand-on jumps, as j and J do
        stretch = lambda a, b: model_pass(data, 2, a, b, period=400)  # noqa: E731
        rows = [  # keys, the device's knobs, what follows the three passes, the menu's times and
            # loops, and what the clock line says
            (">", {}, stretch(3000, 4000), ("0.38", "0.50", 1), '→ #3 "Outro"'),
            ("<", {}, stretch(0, 1000), ("0.00", "0.12", 1), '→ #1 ""'),
            ("<>", {}, stretch(3000, 4000), ("0.38", "0.50", 1), '→ #3 "Outro"'),  # the later wins
            ("\n", {}, b"", ("0.12", "0.38", 100), "→ release: last pass"),
            # A pause: the device holds its place where it can, else plays out and rests.
            (" ", {"pause": "can"}, None, ("0.12", "0.38", 100), "paused"),
            (" ", {}, None, ("0.12", "0.38", 100), "paused"),
            ("q", {}, None, ("0.12", "0.38", 100), "  stopped\x1b[K"),  # as by Ctrl-C
            ("\x1b[A\x1b", {}, None, ("0.12", "0.38", 100), "  stopped\x1b[K"),  # an arrow, then Esc
            (">", {}, stretch(3000, 4000), ("0.38", "0.50", 1), "→ 0.38 to 0.50 sec", "plain.wav"),
            ("<", {}, stretch(0, 1000), ("0.00", "0.12", 1), "→ 0.00 to 0.12 sec", "plain.wav"),
        ]
        # After the last marker, '>' has nowhere to go: the bell, and Enter still acts.
        rows.append((">\n", {}, b"", ("0.38", "0.50", 100), "\a", "t.wav", ("#3", 0), stretch(3000, 4000)))
        for keys, knobs, after, (start, stop, loops), said, *where in rows:
            name, selection, loop = (where + ["t.wav", ("#2", "#3"), stretch(1000, 3000)][len(where):])
            with self.subTest(keys=keys, knobs=knobs, name=name):
                self.fresh()
                if name == "plain.wav":
                    selection = (0.125, 0.375)
                s = TtySession(self, "d", name, *selection, " ", 100, 1,
                               fake=dict({"period": 400, "delay_ms": 50}, **knobs))
                s.expect("to show additional commands\n")
                s.send("p\n")
                s.expect("Loops remaining: 97\n")
                self.assertEqual(s.terminal()[3] & (termios.ECHO | termios.ICANON), 0)
                self.assertEqual(s.terminal()[0] & termios.IXON, 0)
                s.send(keys + "x")  # what is typed during a play never reaches the menu
                if keys == " ":  # held in place where the device can, else played out and rested
                    held = "pause 1" if knobs else "drop"
                    wait_until(lambda: held in self.calls(), 5, "the play did not pause")
                    self.assertNotIn("drop" if knobs else "pause 1", self.calls())
                    s.send(" \n")
                s.expect(menu(start, stop, loops), timeout=10)
                s.send("l 3\n")  # read as "xl" were the x left
                s.expect(menu(start, stop, 3))
                s.send("x\n")
                self.assertEqual(s.finish()[0], 0)
                self.assertIn(said, s.out.decode())
                self.assertEqual("\a" in s.out.decode(), said == "\a")
                if after is not None:  # three passes, then what follows, or Enter's end
                    self.assertPlayed(loop * 3 + after, self.out)
                    self.assertNotIn("Loops remaining: 96", s.out.decode())
                    # A hand-on's one pass is the last: the count shown says so.
                    self.assertEqual("Loops remaining: 0\n" in s.out.decode(), bool(after))
                else:  # a prefix of whole passes: nothing lost or played twice
                    played = self.played(self.out)
                    self.assertTrue((loop * 100).startswith(played) and len(played) >= 2 * len(loop))

    def test_a_late_key_acts_at_the_end_of_the_pass_heard(self):
        # The paced device plays from its start at 8 kHz, and would take far
        # more ahead; it is heard 0.25 s after it plays (a server's latency):
        # the second pass of a 0.5 s loop ends 1.25 s later. '>' 0.4 s before
        # that end (the lead is 278 ms, counted by the delay) acts there, not
        # a pass later.
        data = counter_data(16000, 1, 2)
        self.wav(rate=8000, data=data)
        s = TtySession(self, "--exact", "d", "t.wav", 0.5, 1, " ", 50, 1,
                       fake={"period": 300, "delay_ms": 5, "latency": 2000})  # a pass ends inside a period
        s.expect("to show additional commands\n")
        s.send("p\n")
        wait_until(lambda: "start" in self.calls(), 5, "the play did not start", 0.002)
        time.sleep(0.85)
        s.send(">")
        s.expect(menu("1.00", "1.50", 1), timeout=10)
        s.send("x\n")
        self.assertEqual(s.proc.stderr.read(), b"")  # heard whole: no stall, no underrun
        self.assertEqual(s.finish()[0], 0)
        self.assertPlayed(data[8000:16000] * 2 + data[16000:24000], self.out)
        # Each period's own start, until the key shows the clock again with what it will do.
        clocks = re.findall(r"clock = (\d+\.\d+) sec(?!  )", s.out.decode().split("→")[0])
        steps = [round(float(b) - float(a), 2) for a, b in zip(clocks, clocks[1:])]
        back = [step for step in steps if step <= 0]  # once, to the loop's start
        self.assertTrue(len(back) == 1 and all(step <= 0.04 for step in steps), clocks)  # a period on
        self.assertIn("write 400", self.calls())  # a pass's last 100 frames with the period before

    def test_an_ignored_ctrl_c_stays_ignored(self):
        # A background job's SIGINT is ignored: a menu play goes on to its end.
        self.wav(rate=8000, frames=800)
        previous = signal.signal(signal.SIGINT, signal.SIG_IGN)
        try:
            s = Session(self, "d", "t.wav", 0, 0, "p", 1, 0, fake={"period": 400, "writes": "1=slow"})
        finally:
            signal.signal(signal.SIGINT, previous)
        s.expect("stop  = 0.10 sec\n")
        time.sleep(0.15)
        s.proc.send_signal(signal.SIGINT)
        s.expect(menu("0.00", "0.10"))
        s.proc.send_signal(signal.SIGINT)  # and after the play, at the menu
        # A pause at the menu (Ctrl-Z, fg) leaves the menu waiting for its word.
        s.proc.send_signal(signal.SIGSTOP)
        s.proc.send_signal(signal.SIGCONT)
        time.sleep(0.1)
        s.send("l 3\n")
        s.expect(menu("0.00", "0.10", 3))
        self.assertEqual(s.finish()[0], 0)
        self.assertEqual([c for c in self.calls() if c.startswith(("write", "drop"))], ["write 400"] * 2)
