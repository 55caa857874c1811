"""The keys' measures of bench/paced: how long before the end of the pass
heard a key must come to act there, and a looped play with keys live beside
two niced busy loops."""

import os
import random
import struct
import subprocess
import time

from paced import Arrivals, TtySession, indexed_frames, sound_span, write_wav


def key_lead(cuedeck, server, device, tone, rate=44100, capture=None):
    """How long before the end of the pass heard a key must come to act
    there: an exact 0.3 s loop, and '>' at a random moment. The hand-on's
    first frame is heard at H, the key came at t: it acted at the first end
    at least a lead after t, so the lead lies between the latest end it let
    pass (H - 0.3 - t) and the earliest it made (H - t), over 12 runs."""
    class Case:
        dir = server.dir
    capture = capture or server.capture
    path = os.path.join(server.dir, "keys.wav")
    write_wav(path, indexed_frames(rate), rate)
    passed, made = [], []
    for _ in range(12):
        time.sleep(0.3)
        mark = os.path.getsize(capture)
        arrivals = Arrivals(capture)
        s = TtySession(Case, "--exact", device, path, 0.2, 0.5, " ", 100, 0, env=server.env)
        s.expect("to show additional commands\n")
        s.send("p\n")
        while sound_span(capture, mark)[0] is None:
            time.sleep(0.001)
        time.sleep(0.5 + random.random() * 0.3)
        pressed = time.monotonic()
        s.send(">")
        s.expect("'p' to play with current settings: 0.50 to 0.80 sec")
        s.send("x\n")
        s.finish()
        time.sleep(0.3)
        arrivals.stop()
        with open(capture, "rb") as f:
            f.seek(mark)
            heard = f.read()
        at = heard.find(struct.pack("<HH", rate // 2, 0))  # the hand-on's first frame
        handed = arrivals.time_of(mark + at) - pressed
        passed.append(handed - 0.3)
        made.append(handed)
    print("  at %d Hz, a key acts at the end of the pass heard when it comes more than %.0f ms, "
          "and at most %.0f ms, before it (12 runs)" % (rate, 1000 * max(passed), 1000 * min(made)))


def keys_live_soak(cuedeck, server, device, tone, rate=44100, capture=None):
    """A looped play with keys live for CUEDECK_SOAK_SECONDS (600 by default)
    beside two niced busy loops: every pass heard whole and back to back, no
    underrun told, and the lead where it was."""
    class Case:
        dir = server.dir
    seconds = int(os.environ.get("CUEDECK_SOAK_SECONDS", "600"))
    capture = capture or server.capture
    path = os.path.join(server.dir, "soak.wav")
    loop = indexed_frames(rate)
    write_wav(path, loop, rate)
    busy = [subprocess.Popen(["nice", "-n", "19", "sh", "-c", "while :; do :; done"]) for _ in range(2)]
    try:
        mark = os.path.getsize(capture)
        s = TtySession(Case, "--exact", device, path, 0, 0, " ", 100000, 0, env=server.env)
        s.expect("to show additional commands\n")
        s.send("p\n")
        time.sleep(seconds)
        s.send("q")  # a key, not SIGINT, which a bench run in the background has ignored
        s.expect("to show additional commands\n")
        s.send("x\n")
        s.proc.wait(10)
        err = s.proc.stderr.read().decode("latin-1")
        rc = s.finish()[0]
    finally:
        for b in busy:
            b.kill()
            b.wait()
    time.sleep(0.5)
    with open(capture, "rb") as f:
        f.seek(mark)
        heard = f.read().rstrip(b"\0")
    heard = heard[heard.find(loop[4:64]) - 4:]
    passes = len(heard) // len(loop)
    whole = heard == (loop * (passes + 1))[:len(heard)]
    told = " ".join(line for line in err.splitlines() if line.startswith("Warning")) or "none"
    print("  %d s looped with keys live under two busy loops, at %d Hz: %d passes heard, every frame "
          "once and in order: %s; status %d; trouble told: %s" % (seconds, rate, passes, whole, rc, told))


def at_8_khz(cuedeck, server, device, tone):
    """The lead and the soak at 8 kHz, where the server has the sink (PulseAudio's S8)."""
    capture = os.path.join(server.dir, "heard8.raw")
    if device != "pulse:S" or not os.path.exists(capture):
        return
    key_lead(cuedeck, server, "pulse:S8", tone, 8000, capture)
    keys_live_soak(cuedeck, server, "pulse:S8", tone, 8000, capture)
