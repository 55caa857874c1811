"""What real ALSA can't show here, through the test double of the device
calls: refused settings, underruns, other grants, and the call order."""

import os

from harness import CuedeckCase, counter_data, model_pass, PERIOD


class DeviceDouble(CuedeckCase):
    def setUp(self):
        super().setUp()
        self.log = self.path("calls.log")
        self.out = self.path("frames.raw")

    def run_fake(self, *args, stdin=b"", **settings):
        env = {"CUEDECK_FAKE_LOG": self.log, "CUEDECK_FAKE_OUT": self.out}
        env.update({"CUEDECK_FAKE_" + k.upper(): str(v) for k, v in settings.items()})
        return self.run_cuedeck(*args, stdin=stdin, fake=True, env=env)

    def calls(self):
        with open(self.log) as f:
            return f.read().split("\n")[:-1]

    def test_configuration_and_shut_down_order(self):
        self.wav(frames=5000, rate=22050, channels=2)
        r = self.run_fake("d", "t.wav", 0, 0, "wx", 1, 0)
        self.assertEqual(r.rc, 0)
        self.assertEqual(self.calls(), [
            "open default mode 0", "access 3", "format S16_LE", "channels 2", "rate 22050",
            "period 4096", "buffer 16384", "hw_params", "write 4096", "write 4096", "drain", "close"])

    def test_refused_format_and_parameters(self):
        self.wav(frames=10, bits=24)
        r = self.run_fake("d", "t.wav", 0, 0, "wx", fail="format")
        self.assertEqual((r.rc, r.err), (1, "Unable to set playback format: Invalid argument\n"))
        r = self.run_fake("d", "t.wav", 0, 0, "wx", fail="hw")
        self.assertEqual((r.rc, r.err), (1, "Unable to set hardware parameters: Invalid argument\n"))
        r = self.run_fake("d", "t.wav", 0, 0, "wx", fail="open")
        self.assertEqual((r.rc, r.err), (1, "unable to open pcm device: Invalid argument\n"))
        self.assertEqual(r.out, "")

    def test_write_faults(self):
        # Recoverable faults lose no frame; the rest end the run at once with
        # status 1, never racing through the selection.
        data = counter_data(10000, 1, 2)
        self.wav(data=data)
        whole = model_pass(data, 2, 0, 10000) * 2
        lost = "Unable to write to the playback device: %s\n"
        rows = [
            ({"writes": "1=EPIPE,5=EPIPE"}, 0, "", whole),  # underruns
            ({"writes": "2=ESTRPIPE"}, 0, "", whole),       # a suspend
            ({"writes": "2=EINTR,3=EAGAIN,4=zero"}, 0, "", whole),
            ({"writes": "2=short,3=short"}, 0, "", whole),
            ({"writes": "2=ENODEV"}, 1, lost % "No such device", whole[:PERIOD * 2]),
            ({"writes": "2=ESTRPIPE", "recover": "fail"}, 1, lost % "Streams pipe error",
             whole[:PERIOD * 2]),
            ({"writes": "2+=EPIPE"}, 1, lost % "Broken pipe", whole[:PERIOD * 2]),
        ]
        for settings, rc, err, frames in rows:
            with self.subTest(settings):
                for f in (self.out, self.log):
                    if os.path.exists(f):
                        os.remove(f)
                r = self.run_fake("d", "t.wav", 0, 0, "wx", 2, 0, **settings)
                self.assertEqual((r.rc, r.err), (rc, err))
                self.assertPlayed(frames, self.out)

    def test_other_period_grants(self):
        data = counter_data(3000, 1, 2)
        self.wav(data=data)
        r = self.run_fake("d", "t.wav", 0, 0, "wx", 1, period=1000)
        self.assertEqual(r.out, "Playing...\nstart = 0.00 sec\nstop  = 0.07 sec\n"
                         "\rclock = 0.00 sec\rclock = 0.02 sec\rclock = 0.05 sec\n")
        self.assertPlayed(data, self.out)

    def test_device_frame_wider_than_the_file_frame(self):
        # The device keeps two channels for a mono file: every write of a
        # period of its frames stays inside the buffer.
        data = counter_data(100, 1, 2)
        self.wav(data=data)
        r = self.run_fake("d", "t.wav", 0, 0, "wx", 1, 0, channels=2)
        self.assertEqual(r.rc, 0)
        self.assertPlayed(data + bytes(PERIOD * 4 - len(data)), self.out)

    def test_period_buffer_too_large(self):
        self.wav(frames=10)
        r = self.run_fake("d", "t.wav", 0, 0, "wx", period=100000000)
        self.assertEqual((r.rc, r.err), (1, "Unable to allocate a period buffer of 100000000 frames\n"))
