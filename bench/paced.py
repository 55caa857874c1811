"""What bench/paced measures, on each private sound server of the tests
(tests/e2e/sound-server): PulseAudio through ALSA's pulse plugin, PipeWire
through its own plugin, and PipeWire through pipewire-pulse.

A sink's capture file grows as the sink plays, and a poller notes when each
byte arrived: "when a sound was heard" is when its capture arrived, which
is later than the sink played it by the capture's own delay (up to a cycle
of the server). Run by bench/paced_run.py."""

import os
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/e2e"))
from harness import HERE, Session, TtySession, start_sound_server, stop_sound_server  # noqa: E402
from texts import menu  # noqa: E402

SERVERS = (("PulseAudio, pulse:S", "pulseaudio", "pulse:S"),
           ("PipeWire, pipewire:NODE=S", "pipewire", "pipewire:NODE=S"),
           ("PipeWire, pipewire-pulse, pulse:S", "pipewire", "pulse:S"))
RUNS = 10


class Server:
    def __init__(self, kind):
        self.dir = tempfile.mkdtemp(prefix="cdp", dir="/tmp")
        self.capture = os.path.join(self.dir, "heard.raw")
        self.proc, self.env = start_sound_server(self.dir, kind)
        time.sleep(0.3)

    def signal(self, sig):
        self.proc.send_signal(sig)  # the daemon's process id

    def stop(self):
        stop_sound_server(self.proc)
        subprocess.run(["rm", "-rf", self.dir])


class Arrivals:
    """When each byte of the capture file arrived: sizes polled every 0.5 ms."""

    def __init__(self, path):
        self.path, self.seen, self.running = path, [], True
        self.thread = threading.Thread(target=self.poll)
        self.thread.start()

    def poll(self):
        while self.running:
            self.seen.append((time.monotonic(), os.path.getsize(self.path)))
            time.sleep(0.0005)

    def time_of(self, pos):
        return next(t for t, size in self.seen if size > pos)

    def stop(self):
        self.running = False
        self.thread.join()


def sound_span(path, mark):
    """The first and the last byte of sound in the capture after mark."""
    with open(path, "rb") as f:
        f.seek(mark)
        data = f.read()
    first = next((i for i, b in enumerate(data) if b), None)
    if first is None:
        return None, None
    return mark + first, mark + len(data.rstrip(b"\0")) - 1


def whole_tone(cuedeck, server, device, tone):
    mark = os.path.getsize(server.capture)
    began = time.monotonic()
    rc = subprocess.run([cuedeck, device, tone, "0", "0", "wx", "1", "0"], env=dict(os.environ, **server.env),
                        stdout=subprocess.DEVNULL).returncode
    wall = time.monotonic() - began
    time.sleep(0.5)
    data = open(tone, "rb").read()[44:]
    with open(server.capture, "rb") as f:
        f.seek(mark)
        heard = f.read()
    at = heard.find(data)
    rest = heard[:at] + heard[at + len(data):] if at >= 0 else heard
    print("  3.00 s tone: wall time %.3f s, status %d; every frame heard once and in order: %s;"
          " other sound heard: %d bytes" % (wall, rc, at >= 0, len(rest) - rest.count(0)))


def last_sound_to_exit(cuedeck, server, device, tone):
    """From the last sound heard to the player's exit, a 1 s play: cuedeck
    with whole periods and with exact edges, and aplay (5 runs, medians)."""
    players = (("cuedeck", [cuedeck, device, tone, "0", "1", "px", "1", "0"]),
               ("cuedeck -e", [cuedeck, "-e", device, tone, "0", "1", "px", "1", "0"]),
               ("aplay", ["aplay", "-q", "-D", device, "-d", "1", tone]))
    said = []
    for name, command in players:
        gaps = []
        for _ in range(5):
            time.sleep(0.3)
            mark = os.path.getsize(server.capture)
            arrivals = Arrivals(server.capture)
            subprocess.run(command, env=dict(os.environ, **server.env), stdout=subprocess.DEVNULL)
            ended = time.monotonic()
            time.sleep(0.3)
            arrivals.stop()
            last = sound_span(server.capture, mark)[1]
            if last is not None:
                gaps.append(ended - arrivals.time_of(last))
        gaps.sort()
        said.append("%s %.1f ms" % (name, 1000 * gaps[len(gaps) // 2]) if gaps else name + " -")
    print("  last sound heard to exit, a 1 s play (median of 5): " + ", ".join(said))


def killed_mid_play(cuedeck, server, device, tone):
    player = subprocess.Popen([cuedeck, device, tone, "0", "0", "wx", "20", "0"], env=dict(os.environ, **server.env),
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    time.sleep(1)
    killed = time.monotonic()
    server.signal(signal.SIGKILL)  # the daemon alone
    err = player.stderr.read().decode().strip()
    rc = player.wait()
    print("  server killed mid-play: status %d, %.3f s after the kill; stderr: %s"
          % (rc, time.monotonic() - killed, err))


def stops_and_starts(cuedeck, server, device, tone):
    """Ctrl-C to the menu (the server playing, then stopped), and by ear:
    'p' to the first sound heard, Ctrl-C to the last."""
    class Case:
        dir = server.dir
    s = Session(Case, device, tone, 0, 0, " ", 1, 0, env=server.env)
    s.expect(menu("0.00", "3.00"))
    to_menu = {False: [], True: []}
    first, last = [], []
    arrivals = Arrivals(server.capture)
    for stalled in (False, True):
        for _ in range(RUNS):
            time.sleep(0.3)
            mark = os.path.getsize(server.capture)
            pressed = time.monotonic()
            s.send("p\n")
            s.expect("stop  = 3.00 sec\n")
            time.sleep(0.5)
            if stalled:
                server.signal(signal.SIGSTOP)
                time.sleep(0.5)
            interrupted = time.monotonic()
            s.proc.send_signal(signal.SIGINT)
            s.expect(menu("0.00", "3.00"))
            to_menu[stalled].append(time.monotonic() - interrupted)
            server.signal(signal.SIGCONT)
            if not stalled:
                time.sleep(0.5)
                begin, end = sound_span(server.capture, mark)
                first.append(arrivals.time_of(begin) - pressed)
                last.append(arrivals.time_of(end) - interrupted)
    arrivals.stop()
    s.send("x\n")
    s.finish()
    def ms(times):
        times = sorted(times)
        return "worst of %d %.1f ms (median %.1f ms, best %.1f ms)" % (
            len(times), times[-1] * 1000, times[len(times) // 2] * 1000, times[0] * 1000)
    print("  Ctrl-C to the menu, server playing: " + ms(to_menu[False]))
    print("  Ctrl-C to the menu, server stopped: " + ms(to_menu[True]))
    print("  'p' to the first sound heard: " + ms(first))
    print("  Ctrl-C to the last sound heard: " + ms(last))


def indexed_frames(frames):
    """16-bit stereo whose frame n holds n: its low half left, its high half right."""
    return b"".join(struct.pack("<HH", n & 0xFFFF, n >> 16) for n in range(frames))


def write_wav(path, data, rate=44100):
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE" +
                struct.pack("<4sIHHIIHH", b"fmt ", 16, 1, 2, rate, rate * 4, 4, 16) +
                b"data" + struct.pack("<I", len(data)) + data)


def stall_cost(cuedeck, server, device, tone):
    """The frames a 1 s stop of the server costs in the middle of a play."""
    lost = []
    path = os.path.join(server.dir, "ramp.wav")
    frames = 3 * 44100
    write_wav(path, indexed_frames(frames))
    for _ in range(3):
        time.sleep(0.5)
        mark = os.path.getsize(server.capture)
        player = subprocess.Popen([cuedeck, device, path, "0", "0", "wx", "1", "0"],
                                  env=dict(os.environ, **server.env), stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        time.sleep(1)
        server.signal(signal.SIGSTOP)
        time.sleep(1)
        server.signal(signal.SIGCONT)
        player.wait()
        time.sleep(1)
        with open(server.capture, "rb") as f:
            f.seek(mark)
            heard = f.read()
        seen = {lo | hi << 16 for lo, hi in struct.iter_unpack("<HH", heard[:len(heard) // 4 * 4])}
        lost.append(frames - len(seen & set(range(1, frames))) - 1)
    print("  a 1 s stop of the server mid-play loses %s frames (3 runs)" % ", ".join(map(str, lost)))


def wake_ups(pid):
    """Voluntary context switches of all the process's threads so far."""
    total = 0
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/status" % (pid, tid)) as f:
                total += sum(int(line.split(":")[1]) for line in f if line.startswith("voluntary_ctxt"))
        except FileNotFoundError:
            pass
    return total


def wake_ups_per_second(cuedeck, server, device, tone):
    """Wake-ups a second over 5 s: cuedeck looping 0.1 s with keys live, and
    aplay playing the tone."""
    class Case:
        dir = server.dir
    s = TtySession(Case, "--exact", device, tone, 0, 0.1, " ", 1000, 0, env=server.env)
    s.expect("to show additional commands\n")
    s.send("p\n")
    time.sleep(1)
    before = wake_ups(s.proc.pid)
    time.sleep(5)
    looped = (wake_ups(s.proc.pid) - before) / 5
    s.proc.send_signal(signal.SIGINT)
    s.expect("to show additional commands\n")
    s.send("x\n")
    s.finish()
    aplay = subprocess.Popen(["aplay", "-q", "-D", device, tone], env=dict(os.environ, **server.env))
    time.sleep(1)
    before = wake_ups(aplay.pid)
    time.sleep(1.5)
    plain = (wake_ups(aplay.pid) - before) / 1.5
    aplay.kill()
    aplay.wait()
    print("  wake-ups a second: cuedeck looping 0.1 s with keys live %.0f, aplay %.0f" % (looped, plain))


def run_on_each_server(cuedeck, measures, heading=""):
    """Each measure on a fresh server of each kind, with a 3 s tone."""
    work = tempfile.mkdtemp(prefix="cdpt", dir="/tmp")
    tone = os.path.join(work, "tone.wav")
    subprocess.run([sys.executable, os.path.join(HERE, "../../scripts/make_tone.py"), tone, "3"], check=True)
    for title, kind, device in SERVERS:
        print(title + heading + ":")
        for measure in measures:
            server = Server(kind)
            try:
                measure(cuedeck, server, device, tone)
            finally:
                server.stop()
    subprocess.run(["rm", "-rf", work])
