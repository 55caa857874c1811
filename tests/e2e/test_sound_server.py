"""Playing through a real, paced sound server: a private PulseAudio whose pipe
sink is timed by the system clock, reached through ALSA's pulse plugin. The
sink writes everything it plays, silence while idle, into a fifo that the
test reads, so every frame heard can be checked."""

import os
import signal
import subprocess
import time
import unittest

from harness import CUEDECK, RUNNER, CuedeckCase, Session, counter_data, menu, model_pass

RATE = 44100
FRAME_BYTES = 4  # 16-bit stereo, as the sink plays: no conversion on the way

SERVER_CONFIG = """\
load-module module-pipe-sink sink_name=S file={dir}/S.fifo use_system_clock_for_timing=yes \
rate=44100 format=s16le channels=2 channel_map=front-left,front-right
load-module module-native-protocol-unix auth-anonymous=1 socket={dir}/native
"""


@unittest.skipIf(RUNNER, "the emulated build plays through ALSA's own plugins only")
class SoundServer(CuedeckCase):
    def setUp(self):
        super().setUp()
        self.device = "pulse:S"
        self.env = {"PULSE_SERVER": "unix:%s/native" % self.dir,
                    "XDG_RUNTIME_DIR": self.dir, "HOME": self.dir}
        self.start_server()
        with open(self.raw, "wb") as capture:
            self.reader = subprocess.Popen(["cat", self.path("S.fifo")], stdout=capture)
        self.addCleanup(self.reader.wait)
        self.addCleanup(self.reader.kill)

    def start_server(self):
        with open(self.path("default.pa"), "w") as f:
            f.write(SERVER_CONFIG.format(dir=self.dir))
        env = dict(os.environ, **self.env)
        # Stopped through its own process id, never by name.
        self.server = subprocess.Popen(
            ["pulseaudio", "-n", "-F", self.path("default.pa"), "--daemonize=no",
             "--use-pid-file=no", "--exit-idle-time=-1", "--realtime=no", "--high-priority=no"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
        self.addCleanup(self.server.wait)
        self.addCleanup(self.server.kill)
        deadline = time.time() + 10
        while subprocess.run(["pactl", "info"], env=env, capture_output=True).returncode != 0:
            self.assertLess(time.time(), deadline, "the sound server did not start")
            time.sleep(0.05)

    def launch(self, *args, **popen):
        """Starts the program on the server's sink without waiting for it."""
        return subprocess.Popen(RUNNER + [CUEDECK, self.device] + [str(a) for a in args],
                                stdout=subprocess.DEVNULL, cwd=self.dir,
                                env=dict(os.environ, **self.env), **popen)

    def heard(self):
        time.sleep(0.3)  # let the sink hand its last frames to the fifo
        return self.played()

    def assertHeardInOrder(self, *stretches):
        """Each stretch was heard once, in this order, and nothing but silence
        around them."""
        got = self.heard()
        at, rest = 0, bytearray()
        for stretch in stretches:
            found = got.find(stretch, at)
            self.assertGreaterEqual(found, 0, "a stretch was not heard whole")
            rest += got[at:found]
            at = found + len(stretch)
        rest += got[at:]
        self.assertEqual(rest.count(0), len(rest), "something else was heard")

    def test_plays_in_real_time(self):
        data = counter_data(RATE, 2, 2)
        self.wav(rate=RATE, channels=2, data=data)
        began = time.monotonic()
        r = self.run_cuedeck(self.device, "t.wav", 0, 0, "wx", 1, 0, env=self.env)
        wall = time.monotonic() - began
        self.assertEqual(r.rc, 0)
        played = len(model_pass(data, FRAME_BYTES, 0, RATE)) / FRAME_BYTES / RATE
        self.assertGreater(wall, played - 0.05)
        self.assertLess(wall, played + 0.5)
        self.assertHeardInOrder(data)

    def test_play_after_the_device_ran_dry_starts_at_its_start(self):
        data = counter_data(RATE, 2, 2)
        self.wav(rate=RATE, channels=2, data=data)
        s = Session(self, self.device, "t.wav", 0.25, 0.5, "p", 1, 0, env=self.env)
        s.expect(menu("0.25", "0.50"))
        time.sleep(2.1)  # the queued audio plays out: the next write finds an underrun
        s.send("p\nx\n")
        rc, out = s.finish()
        self.assertEqual(rc, 0)
        selection = model_pass(data, FRAME_BYTES, RATE // 4, RATE // 2)
        self.assertHeardInOrder(selection, selection)

    def test_loops_play_back_to_back(self):
        data = counter_data(5000, 2, 2)
        self.wav(rate=RATE, channels=2, data=data)
        r = self.run_cuedeck(self.device, "t.wav", 0, 0, "wx", 3, 0, env=self.env)
        self.assertEqual(r.rc, 0)
        self.assertHeardInOrder(model_pass(data, FRAME_BYTES, 0, 5000) * 3)

    def test_ctrl_c_stops_a_play_and_keeps_the_selection(self):
        data = counter_data(3 * RATE, 2, 2)
        self.wav(rate=RATE, channels=2, data=data)
        s = Session(self, self.device, "t.wav", 0.5, 2.5, " ", 1, 0, env=self.env)
        s.send("l 3 nn 500 p\n")
        s.expect("Playing...")
        playing = time.monotonic()
        time.sleep(0.5)
        s.proc.send_signal(signal.SIGINT)
        interrupted = time.monotonic()
        s.expect(menu("0.50", "2.50", 3))
        self.assertLess(time.monotonic() - interrupted, 0.5)
        s.send("nn 0 x\n")
        s.expect("Current Nudge Amount = 500 samples")
        rc, out = s.finish()
        self.assertEqual(rc, 0)
        self.assertNotIn("Loops remaining: 1", out)
        # Heard: the selection's beginning, in order, up to the interrupt; the
        # audio still queued then (a buffer, about 0.4 s) was dropped.
        got = self.heard()
        selection = model_pass(data, FRAME_BYTES, RATE // 2, 5 * RATE // 2)
        start = got.find(selection[:4096])
        self.assertGreaterEqual(start, 0)
        heard = got[start:].rstrip(b"\0")
        self.assertTrue(selection.startswith(heard))
        self.assertLess(len(heard) / FRAME_BYTES / RATE, interrupted - playing + 0.25)

    def test_ctrl_c_ends_a_scripted_play(self):
        self.wav(rate=RATE, channels=2, frames=3 * RATE)
        program = self.launch("t.wav", 0, 0, "wx")
        time.sleep(0.5)
        program.send_signal(signal.SIGINT)
        self.assertEqual(program.wait(timeout=5), -signal.SIGINT)

    def test_server_gone_mid_play_ends_with_status_1(self):
        self.wav(rate=RATE, channels=2, frames=3 * RATE)
        program = self.launch("t.wav", 0, 0, "wx", 20000, 0, stderr=subprocess.PIPE)
        time.sleep(0.5)
        self.server.kill()
        killed = time.monotonic()
        with program.stderr:
            err = program.stderr.read().decode()
        rc = program.wait(timeout=10)
        self.assertLess(time.monotonic() - killed, 1.0)
        self.assertEqual(rc, 1)
        self.assertRegex(err, r"^Unable to write to the playback device: .+\n$")
