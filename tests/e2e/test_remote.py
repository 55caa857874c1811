"""The remote: a show driven over OSC by other projects' clients, through the
paced device double (8 kHz, 400-frame periods, a 1,600-frame buffer)."""

import os
import re
import socket
import subprocess
import unittest

from harness import (CuedeckCase, OscDump, Session, adtl, counter_data, cue, labl, model_pass,
                     osc_client, osc_port, oscsend, program, wait_until)

PACED = {"period": 400, "buffer": 1600, "delay_ms": 20}
DATA = counter_data(4000, 1, 2)


def stretch(a, b):
    return model_pass(DATA, 2, a, b, period=400)


class Remote(CuedeckCase):
    def setUp(self):
        super().setUp()
        self.wav(rate=8000, data=DATA, before_data=cue((1, 0), (2, 1000), (3, 3000)) +
                 adtl(labl(2, b"Verse"), labl(3, b"Outro")))
        self.dump = OscDump()

    def tearDown(self):
        self.dump.close()
        super().tearDown()

    def serve(self, *args, fake=PACED):
        """The program as a service: no terminal, its input at an end."""
        command, env = program(self, ["--osc", "0"] + list(args) + ["d", "t.wav"], fake=fake)
        self.proc = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE, cwd=self.dir, env=env)
        self.addCleanup(self.proc.kill)  # a row that failed leaves no service behind
        self.port = osc_port(self.proc)
        return self.port

    def finish(self):
        oscsend(self.port, "/cuedeck/exit")
        self.assertEqual(self.proc.wait(timeout=10), 0)
        self.proc.stderr.close()

    def busyness(self):
        """CPU ticks and wake-ups so far: a wait that spins shows in one or the other."""
        with open("/proc/%d/stat" % self.proc.pid) as f:
            ticks = sum(int(t) for t in f.read().rsplit(")", 1)[1].split()[11:13])
        with open("/proc/%d/status" % self.proc.pid) as f:
            wakes = int(re.search(r"voluntary_ctxt_switches:\s+(\d+)", f.read()).group(1))
        return ticks, wakes

    def assertWaitsWithoutSpinning(self, before):
        ticks, wakes = (now - then for now, then in zip(self.busyness(), before))
        self.assertLess(ticks, 10, "the play spun while it waited")
        self.assertLess(wakes, 500, "the play woke without end")

    def calls(self):
        with open(self.log) as f:
            return f.read()

    def test_an_armed_show_through_oscsend_and_oscdump(self):
        port = self.serve()
        oscsend(port, "/cuedeck/subscribe", "ii", 0, self.dump.port)
        oscsend(port, "/cuedeck/loops", "i", 3)
        oscsend(port, "/cuedeck/load", "i", 2)
        self.dump.wait_for("/cuedeck/state", "armed")
        # Nothing written that would start it by itself, and not started.
        self.assertNotRegex(self.calls(), r"\nstart(ed by the write)?\n")
        self.assertNotIn("write", self.calls())
        oscsend(port, "/cuedeck/go")
        self.dump.wait_for("/cuedeck/pass", "2", "3")
        oscsend(port, "/cuedeck/next")
        self.dump.wait_for("/cuedeck/done")
        self.finish()
        self.assertPlayed(stretch(1000, 3000) * 2 + stretch(3000, 4000), self.out)
        got = self.dump.messages()
        self.assertEqual([m[1] for m in got], list(range(1, len(got) + 1)))  # no gap
        state = ("1000", "3000", "0.125000", "0.375000", "3", "0", "2")
        self.assertEqual([m[:1] + m[2:] for m in got], [
            ("/cuedeck/state", "idle", "0", "4000", "0.000000", "0.500000", "1", "0", "1"),
            ("/cuedeck/state", "idle", "0", "4000", "0.000000", "0.500000", "3", "0", "1"),
            ("/cuedeck/state", "armed") + state,
            ("/cuedeck/state", "playing") + state,
            ("/cuedeck/pass", "1", "3"),
            ("/cuedeck/pass", "2", "3"),
            ("/cuedeck/pass", "1", "1"),
            ("/cuedeck/marker", "3", "Outro"),
            ("/cuedeck/done", "heard", "0"),
            ("/cuedeck/state", "idle", "3000", "4000", "0.375000", "0.500000", "1", "0", "3"),
        ])

    def test_passes_shorter_than_a_period_are_told_as_heard(self):
        # Exact edges: the first two passes share the first period, written
        # before the stream starts; each pass is told when its frames are heard.
        port = self.serve()
        oscsend(port, "/cuedeck/subscribe", "ii", 50, self.dump.port)
        osc_client(port, "m /cuedeck/exact i 1\nm /cuedeck/out f 0.0375\nm /cuedeck/loops i 3\n"
                   "m /cuedeck/go\nw 4\n")
        self.dump.wait_for("/cuedeck/done", "heard", "0")
        told = [m[0][9:] for m in self.dump.messages() if m[0][9:] in ("pass", "position")]
        second = told.index("pass", told.index("pass") + 1)
        self.assertIn("position", told[told.index("pass"):second], "pass 2 told as pass 1 began")
        self.assertPlayed(DATA[:600] * 3, self.out)
        # A cue shorter than a period is sent whole by its load, below the
        # start threshold.
        self.fresh()
        osc_client(port, "m /cuedeck/loops i 1\nm /cuedeck/load\nw 2\n")
        self.assertIn("write 300", self.calls())
        self.assertNotRegex(self.calls(), r"\nstart(ed by the write)?\n")
        self.finish()

    def test_seconds_left_after_a_release_of_a_pass_longer_than_the_lead(self):
        # Released while the pass heard is the only one written.
        port = self.serve()
        oscsend(port, "/cuedeck/subscribe", "ii", 50, self.dump.port)
        osc_client(port, "m /cuedeck/loops i 100\nm /cuedeck/go\nw 2\n")
        self.dump.wait_for("/cuedeck/pass", "2", "100")
        oscsend(port, "/cuedeck/release")
        self.dump.wait_for("/cuedeck/done", "heard", "0")
        self.finish()
        got = self.dump.messages()
        before_done = got[:next(i for i, m in enumerate(got) if m[0] == "/cuedeck/done")]
        self.assertLess([float(m[3]) for m in before_done if m[0] == "/cuedeck/position"][-1], 0.5)

    def test_a_file_changed_after_the_arm_disarms_it(self):
        port = self.serve()
        oscsend(port, "/cuedeck/subscribe", "ii", 0, self.dump.port)
        self.assertEqual(osc_client(port, "m /cuedeck/arm\nw 1\n")[0][3], "armed")
        new = counter_data(4000, 1, 2, first=777)
        self.wav(rate=8000, data=new)  # rewritten in place
        self.assertEqual(osc_client(port, "m /cuedeck/go\nw 1\n")[0][2:4], ["ok", "playing 0.00 to 0.50 sec"])
        self.dump.wait_for("/cuedeck/done", "heard")
        self.finish()
        # The fill from the old file was dropped before the stream started.
        self.assertEqual(self.calls().count("\ndrop\n"), 1)
        self.assertLess(self.calls().index("\ndrop\n"), self.calls().index("\nstart\n"))
        self.assertTrue(self.played(self.out).endswith(model_pass(new, 2, 0, 4000, period=400)))

    def test_a_play_no_one_listens_to_waits_without_spinning(self):
        port = self.serve()
        osc_client(port, "m /cuedeck/loops i 8\nm /cuedeck/go\nw 2\n")
        played = lambda n: len(self.played(self.out)) >= n * len(stretch(0, 4000))  # noqa: E731
        wait_until(lambda: played(1), 10, "the first pass")
        busy = self.busyness()
        wait_until(lambda: played(4), 10, "the fourth pass")
        self.assertWaitsWithoutSpinning(busy)
        self.finish()

    def test_a_device_lost_mid_play_is_the_last_word(self):
        port = self.serve(fake=dict(PACED, writes="6+=ENODEV"))
        oscsend(port, "/cuedeck/subscribe", "ii", 0, self.dump.port)
        oscsend(port, "/cuedeck/go")
        self.dump.wait_for("/cuedeck/done", "device error", "1")
        self.assertEqual(self.proc.wait(timeout=10), 1)
        self.assertEqual(self.dump.messages()[-1][0], "/cuedeck/done")
        self.proc.stderr.close()

    def test_replies_bad_input_and_a_flood_leave_the_play_whole(self):
        port = self.serve()
        oscsend(port, "/cuedeck/subscribe", "ii", 0, self.dump.port)
        rows = [  # what is sent, and the reply's address, verdict and text
            ("m /cuedeck/loops i 4", ["/cuedeck/loops", "ok", "loops = 4"]),
            ("m /cuedeck/state", ["/cuedeck/state", "ok", "the state follows"]),
            ("m /cuedeck/go i 9", ["/cuedeck/go", "error", "there is no marker 9"]),
            ("m /cuedeck/go f 1", ["/cuedeck/go", "error", "wrong arguments for this address"]),
            ("m /cuedeck/loops ii 1 2", ["/cuedeck/loops", "error", "wrong arguments for this address"]),
            # What the menu would snap or play as nothing, a controller hears of.
            ("m /cuedeck/loops i 0", ["/cuedeck/loops", "error", "loops: at least 1"]),
            ("m /cuedeck/exact i 2", ["/cuedeck/exact", "error", "exact edges: 0 (off) or 1 (on)"]),
            ("m /cuedeck/exact T", ["/cuedeck/exact", "ok", "exact edges on"]),
            ("m /cuedeck/exact F", ["/cuedeck/exact", "ok", "exact edges off"]),
            ("m /cuedeck/in f 0.5", ["/cuedeck/in", "error", "0.5 sec is outside the file, which lasts 0.50 sec"]),
            ("m /cuedeck/go ff 0.1 -1", ["/cuedeck/go", "error", "-1 sec is outside the file, which lasts 0.50 sec"]),
            ("m /cuedeck/subscribe i 101", ["/cuedeck/subscribe", "error", "position messages per second: 0 to 100"]),
            ("m /cuedeck/subscribe ii 5 70000", ["/cuedeck/subscribe", "error", "the port to send to: 1 to 65535"]),
            ("m /cuedeck/nope", ["/cuedeck/nope", "error", "no such address"]),
            # An unknown address answered as far as 63 bytes go.
            ("m /cuedeck/" + "x" * 70, ["/cuedeck/" + "x" * 54, "error", "no such address"]),
            ("m /cuedeck/*", ["/cuedeck/*", "error", "the pattern names more than one address"]),
            ("m /cuedeck/ex?t s now", ["/cuedeck/exit", "error", "wrong arguments for this address"]),
            ("x 2f6375656465636b", ["", "error", "not an OSC message"]),
            ("x " + "00" * 65000, ["", "error", "not an OSC message"]),
            ("m /cuedeck/next", ["/cuedeck/next", "error", "no play is under way"]),
            ("b /cuedeck/in f 0.125 | /cuedeck/out f 0.375", ["/cuedeck/in", "ok", "start = 0.12 sec"]),
            (None, ["/cuedeck/out", "ok", "stop = 0.38 sec"]),  # the bundle's second message
            ("m /cuedeck/go", ["/cuedeck/go", "ok", "playing 0.12 to 0.38 sec"]),
            ("m /cuedeck/in f 0", ["/cuedeck/in", "error", "a play is under way: stop it first"]),
        ]
        script = [step for step, _ in rows if step] + ["w %d" % len(rows)]
        replies = osc_client(port, "\n".join(script))
        self.assertEqual([r[1:4] for r in replies], [reply for _, reply in rows])
        self.assertEqual(replies[1][4:], ["idle", "0", "4000", "0", "0.5", "4", "0", "1"])
        # During the play: a change is refused, a flood answered, the state told.
        self.dump.wait_for("/cuedeck/pass", "1", "4")
        osc_client(port, "f 10000 /cuedeck/nope\nm /cuedeck/out f 0\n")
        for mode in ("tcp", "slip"):  # both framings of OSC over TCP
            got = osc_client(port, "x %s\nm /cuedeck/state\nw 2\n" % ("00" * 65537), mode)
            self.assertEqual([r[2:4] for r in got[:1]], [["error", "the packet is too long"]])
            self.assertEqual(got[1][2], "ok")
            self.assertEqual(got[1][4], "playing")
        # A size too long to take is refused at once, before its bytes come.
        got = osc_client(port, "r 00100000\nw 1\n", "tcp")
        self.assertEqual([r[1:4] for r in got], [["", "error", "the packet is too long"]])
        self.dump.wait_for("/cuedeck/done", "heard", "0", timeout=20)
        # A subscriber on a connection, beside the one over UDP, until it
        # unsubscribes; SLIP's escapes (192 is its frame end) read back.
        got = osc_client(port, "m /cuedeck/subscribe i 0\nw 2\nm /cuedeck/unsubscribe\n"
                               "m /cuedeck/loops i 49372\nm /cuedeck/state\nw 5\n", "slip")
        self.assertEqual([r[0] for r in got], ["/cuedeck/reply", "/cuedeck/state"] + ["/cuedeck/reply"] * 3)
        self.assertEqual([r[3] for r in got[2:4]], ["unsubscribed", "loops = 49372"])
        self.dump.wait_for("/cuedeck/state", "idle", "1000", "3000", "0.125000", "0.375000", "49372")
        # A place taken again at once: the last connection was closed here.
        held = socket.create_connection(("127.0.0.1", port))
        self.finish()
        held.close()
        self.assertPlayed(stretch(1000, 3000) * 4, self.out)
        self.assertEqual(self.serve("--osc", str(port)), port)
        self.finish()

    def test_disarm_pause_release_stop_and_exit(self):
        # A server's latency beyond the ring: several passes written and not yet heard.
        port = self.serve(fake=dict(PACED, pause="can", latency=1600))
        oscsend(port, "/cuedeck/subscribe", "ii", 50, self.dump.port)  # and 50 positions a second
        # A change while armed disarms: the filled audio is dropped.
        replies = osc_client(port, "m /cuedeck/arm i 1\nw 1\nm /cuedeck/loops i 100\nw 2\n")
        self.assertEqual([r[1:4] for r in replies], [["/cuedeck/arm", "ok", "armed"],
                                                    ["/cuedeck/loops", "ok", "loops = 100"]])
        # The drop runs beside the menu, which does not wait for it.
        wait_until(lambda: "\ndrop\n" in self.calls(), 5, "the armed audio was not dropped")
        self.assertNotRegex(self.calls(), r"\nstart(ed by the write)?\n")
        self.fresh()
        replies = osc_client(port, "m /cuedeck/go\nw 1\nm /cuedeck/pause\nw 2\n")
        self.assertEqual(replies[1][1:4], ["/cuedeck/pause", "ok", "paused"])
        self.dump.wait_for("/cuedeck/state", "paused")
        wait_until(lambda: "pause 1" in self.calls(), 5, "the device was not paused")
        self.assertEqual(osc_client(port, "m /cuedeck/resume\nw 1\n")[0][1:4], ["/cuedeck/resume", "ok", "playing"])
        self.dump.wait_for("/cuedeck/state", "playing")
        self.dump.wait_for("/cuedeck/pass", "3", "100")
        busy = self.busyness()
        self.dump.wait_for("/cuedeck/pass", "6", "100")
        self.assertWaitsWithoutSpinning(busy)
        oscsend(port, "/cuedeck/release")
        self.dump.wait_for("/cuedeck/done", "heard", "0")
        # Whole passes, nothing lost or played twice across the pause.
        released = self.played(self.out)
        self.assertEqual(released, stretch(0, 1000) * (len(released) // len(stretch(0, 1000))))
        self.assertGreaterEqual(len(released), 3 * len(stretch(0, 1000)))
        passes = lambda k: [m[2:] for m in self.dump.messages()].count((k, "100"))  # noqa: E731
        oscsend(port, "/cuedeck/go")
        wait_until(lambda: passes("2") == 2, 10, "the second play's second pass")
        oscsend(port, "/cuedeck/stop")
        self.dump.wait_for("/cuedeck/done", "stopped", "130")
        oscsend(port, "/cuedeck/go")
        wait_until(lambda: passes("1") == 3, 10, "the third play's first pass")
        self.finish()  # an exit during a play stops it, and that is the last word
        dones = lambda: [m[2:] for m in self.dump.messages()].count(("stopped", "130"))  # noqa: E731
        wait_until(lambda: dones() == 2, 10, "the third play's end")
        got = self.dump.messages()
        self.assertEqual(got[-1][0], "/cuedeck/done")
        self.assertEqual([m[1] for m in got], list(range(1, len(got) + 1)))
        self.assertIn(("/cuedeck/state", "idle", "0", "1000", "0.000000", "0.125000", "100", "0", "1"),
                      [m[:1] + m[2:] for m in got])
        # Positions: the frame heard, within the pass, and the seconds left,
        # which shrink as a play goes on.
        # Passes of 0.15 s, several not yet heard at once: each told once, in order.
        self.assertEqual([m[2] for m in got if m[0] == "/cuedeck/pass"][:6], ["1", "2", "3", "4", "5", "6"])
        positions = [(int(m[2]), float(m[3])) for m in got if m[0] == "/cuedeck/position"]
        self.assertGreater(len(positions), 10)
        self.assertTrue(all(0 <= frame <= 1200 and left <= 100 * 0.15 for frame, left in positions))
        self.assertLess(positions[5][1], positions[0][1])
        # ... counting only the passes heard after a release (a pass and
        # what was queued, not the 90 and more the loop count had left).
        before_done = got[:next(i for i, m in enumerate(got) if m[2:] == ("heard", "0"))]
        self.assertLess([float(m[3]) for m in before_done if m[0] == "/cuedeck/position"][-1], 0.5)

    def test_replies_to_a_fixed_port(self):
        # A desk that sends from any port and listens on one, as oscsend does.
        port = self.serve("--osc-reply-port", str(self.dump.port))
        oscsend(port, "/cuedeck/loops", "i", 0)
        self.dump.wait_for("/cuedeck/reply", "error", "loops: at least 1")  # after its address
        oscsend(port, "/cuedeck/subscribe")  # the feedback too, where no port is named
        self.dump.wait_for("/cuedeck/state", "idle")
        self.finish()

    def test_the_menu_and_the_remote_side_by_side(self):
        s = Session(self, "--osc", "0", self.device, "t.wav")
        self.addCleanup(s.proc.kill)
        port = osc_port(s.proc)
        s.expect("to show additional commands\n")
        s.send("\n")  # a line with no word: the remote is still served
        s.send("l\n")  # ... and at a prompt, answered at once
        s.expect("Enter number of loops.\n")
        got = osc_client(port, "m /cuedeck/loops i 2\nm /cuedeck/state\nw 2\n")
        self.assertEqual([r[1:4] for r in got], [["/cuedeck/loops", "error", "the terminal is at a prompt"],
                                                 ["/cuedeck/state", "ok", "the state follows"]])
        s.send("1\n")
        osc_client(port, "m /cuedeck/in f 0.125\nm /cuedeck/exact i 1\nw 2\n")
        s.expect("'p' to play with current settings: 0.12 to 0.50 sec")
        s.send("l 3 p\n")  # words and a number on one line, read ahead by stdio
        s.expect("Loops remaining: 0")
        s.expect("to show additional commands\n")
        # The end of input leaves the remote serving until it is told to exit.
        s.proc.stdin.close()
        self.assertEqual(osc_client(port, "m /cuedeck/state\nw 1\n")[0][2], "ok")
        self.assertIsNone(s.proc.poll())
        oscsend(port, "/cuedeck/exit")
        s.proc.stdin = open(os.devnull, "wb")
        self.assertEqual(s.finish()[0], 0)
        self.assertPlayed(DATA[2000:] * 3)  # exact edges: to the stop frame


if __name__ == "__main__":
    unittest.main()
