"""Shared pieces of the end-to-end tests: WAV fixtures with a counter
pattern, a runner for the built program, and the model of which bytes a play
sends to the device."""

import os
import re
import resource
import shlex
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CUEDECK = os.path.abspath(os.environ.get("CUEDECK", os.path.join(HERE, "../../build/cuedeck")))
CUEDECK_FAKE = os.path.abspath(os.environ.get("CUEDECK_FAKE", os.path.join(HERE, "../../build/tests/cuedeck_fake")))
# Extra words in front of the program, e.g. an emulator for a cross build.
RUNNER = os.environ.get("CUEDECK_RUNNER", "").split()

PERIOD = 4096  # what ALSA's file plugin grants for the player's request


def counter_data(frames, channels, width, first=0):
    """Sample n of the data holds n (mod 2^bits), so every frame of a short
    file is distinct and a misplaced frame is visible."""
    mask = (1 << (8 * width)) - 1
    samples = range(first * channels, (first + frames) * channels)
    if width == 2:
        return b"".join(struct.pack("<%dH" % len(c), *(n & mask for n in c))
                        for c in (samples[i:i + 65536] for i in range(0, len(samples), 65536)))
    return b"".join((n & mask).to_bytes(width, "little") for n in samples)


def wav_bytes(rate=44100, channels=1, bits=16, frames=10000, data=None, before_data=b"",
              after_data=b"", data_size=None, tag=1, extensible=False, fmt_size=None,
              block_align=None, before_fmt=b"", mask=3):
    """A RIFF/WAVE file: optional chunks, "fmt ", more optional chunks, then
    "data". An extensible format chunk carries tag as its sub-format, and
    fmt_size cuts it short."""
    width = bits // 8
    if data is None:
        data = counter_data(frames, channels, width)
    align = channels * width if block_align is None else block_align
    fields = (0xFFFE if extensible else tag, channels, rate, rate * channels * width, align, bits)
    if extensible:
        size = 40 if fmt_size is None else fmt_size
        payload = struct.pack("<HHIIHHHHIH14s", *fields, max(size - 18, 0), bits, mask, tag, b"\0" * 14)
        fmt = struct.pack("<4sI", b"fmt ", size) + payload[:size]
    else:
        fmt = struct.pack("<4sIHHIIHH", b"fmt ", 16, *fields)
    size = len(data) if data_size is None else data_size
    body = (b"WAVE" + before_fmt + fmt + before_data + struct.pack("<4sI", b"data", size) + data +
            after_data)
    return b"RIFF" + struct.pack("<I", len(body)) + body


# Chunks as writers make them, and the marker chunks: cue points, label
# lists and sampler loops.
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


def note(i, text):
    return chunk(b"note", le(i) + text + b"\0")


def smpl(*loops):
    """Loops of (start, end); the chunk's size counts them all."""
    body = le(0) * 7 + le(len(loops)) + le(0) + b"".join(le(0) * 2 + le(s) + le(e) + le(0) * 2
                                                          for s, e in loops)
    return b"smpl" + le(len(body)) + body


def rifx(riff, width=2):
    """The RIFF file in big-endian order, as RIFX: the header's and every
    chunk's fields (of fmt, cue, smpl and LIST/adtl entries) and the samples."""
    def swapped(raw, fields):  # fields: (offset, size) pairs
        raw = bytearray(raw)
        for at, n in fields:
            raw[at:at + n] = raw[at:at + n][::-1]
        return bytes(raw)

    def words(raw, skip=()):
        return swapped(raw, ((at, 4) for at in range(0, len(raw) - 3, 4) if at not in skip))

    def payload(cid, body):
        if cid == b"fmt ":
            return swapped(body, [(0, 2), (2, 2), (4, 4), (8, 4), (12, 2), (14, 2), (16, 2), (18, 2),
                                  (20, 4), (24, 2)][:6 if len(body) < 18 else 10])
        if cid == b"data":
            return b"".join(body[i:i + width][::-1] for i in range(0, len(body), width))
        if cid == b"cue ":
            return words(body, skip=range(12, len(body), 24))  # each point's "data"
        if cid == b"smpl":
            return words(body)
        if cid.upper() == b"LIST" and body[:4] == b"adtl":
            return body[:4] + chunks(body[4:], lambda c, b: words(b[:8 if c == b"ltxt" else 4]) +
                                     b[8 if c == b"ltxt" else 4:])
        return body

    def chunks(raw, convert):
        out, at = b"", 0
        while at + 8 <= len(raw):
            cid, size = raw[at:at + 4], struct.unpack("<I", raw[at + 4:at + 8])[0]
            body = raw[at + 8:at + 8 + size]
            out += cid + struct.pack(">I", size) + convert(cid, body) + raw[at + 8 + len(body):
                                                                             at + 8 + size + (size & 1)]
            at += 8 + size + (size & 1)
        return out
    return b"RIFX" + struct.pack(">I", len(riff) - 8) + b"WAVE" + chunks(riff[12:], payload)


def model_pass(data, frame_bytes, start, stop, period=PERIOD, silence=b"\0"):
    """Bytes of one pass: whole periods from the start (0 when negative) to
    the first period boundary at or past the stop, never past the data; the
    last period is filled up with silence."""
    length = len(data) // frame_bytes
    out = bytearray()
    pos = max(start, 0)
    while pos < length:
        chunk = data[pos * frame_bytes:min(pos + period, length) * frame_bytes]
        out += chunk + silence * (period * frame_bytes - len(chunk))
        pos += period
        if pos >= stop:
            break
    return bytes(out)


MOST_OUTPUT = 64 << 20


def wait_until(condition, timeout, what, every=0.01):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("timed out: " + what)
        time.sleep(every)


def start_sound_server(folder, kind):
    """tests/e2e/sound-server FOLDER KIND, in a process group of its own, once
    both sinks are heard and PulseAudio's protocol answers. Returns the
    process, whose id is the daemon's (to stop and start it), and the
    clients' environment. Stopped through its group, never by name."""
    proc = subprocess.Popen([os.path.join(HERE, "sound-server"), folder, kind],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    captures = [os.path.join(folder, name) for name in ("heard.raw", "heard6.raw")]
    env = {}

    def ready():
        if proc.poll() is not None:
            return True
        if not all(os.path.exists(c) and os.path.getsize(c) > 0 for c in captures):
            return False
        if not env:  # written before the server starts
            with open(os.path.join(folder, "client.env")) as f:
                env.update(line.rstrip("\n").split("=", 1) for line in f)
        return subprocess.run(["pactl", "info"], env=dict(os.environ, **env),
                              capture_output=True).returncode == 0
    wait_until(ready, 20, "the sound server did not answer")
    if proc.poll() is not None:
        raise AssertionError("the sound server exited with status %d" % proc.returncode)
    return proc, env


def scheduled_in_real_time(pid):
    """Whether a thread of the process runs with a real-time policy, as a
    sound server's data thread does where the system allows it (with or
    without the flag that its children not inherit it)."""
    def realtime(tid):
        try:
            policy = os.sched_getscheduler(int(tid)) & ~os.SCHED_RESET_ON_FORK
            return policy in (os.SCHED_FIFO, os.SCHED_RR)
        except OSError:  # the thread has ended
            return False
    return any(realtime(tid) for tid in os.listdir("/proc/%d/task" % pid))


def stop_sound_server(proc):
    """Ends the server and its helpers: pipewire-pulse outlives its daemon."""
    os.killpg(proc.pid, signal.SIGKILL)
    proc.wait()


def limit_output():
    resource.setrlimit(resource.RLIMIT_FSIZE, (MOST_OUTPUT, MOST_OUTPUT))


def program(case, args, env=None, fake=None):
    """The command line and environment of one run of the program, or, with
    fake (a dict of knobs, see tests/fake/fake_pcm.cpp), of its test double,
    which logs its calls to calls.log and the frames to frames.raw."""
    full_env = dict(os.environ, **(env or {}))
    if fake is not None:
        knobs = dict({"log": case.log, "out": case.out}, **fake)
        full_env.update({"CUEDECK_FAKE_" + k.upper(): str(v) for k, v in knobs.items()})
    return RUNNER + [CUEDECK if fake is None else CUEDECK_FAKE] + [str(a) for a in args], full_env


class Result:
    def __init__(self, proc):
        self.rc = proc.returncode
        self.out = proc.stdout.decode("latin-1")
        self.err = proc.stderr.decode("latin-1")


class CuedeckCase(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="cd", dir="/tmp")
        self.raw = os.path.join(self.dir, "o.raw")
        # ALSA's file plugin writes every frame the program sends to o.raw.
        self.device = "file:'%s',raw" % self.raw
        # The test double's call log and the frames it was sent.
        self.log = os.path.join(self.dir, "calls.log")
        self.out = os.path.join(self.dir, "frames.raw")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def wav(self, name="t.wav", **kw):
        p = self.path(name)
        with open(p, "wb") as f:
            f.write(wav_bytes(**kw))
        return p

    def run_cuedeck(self, *args, stdin=b"", fake=None, env=None, timeout=30, stdout=None,
                    before=None):
        """Runs the program to its end. Its standard output goes to stdout
        when given; before, when given, runs in the child before the program."""
        command, full_env = program(self, args, env, fake)

        def prepare():
            limit_output()
            if before:
                before()
        # The output goes to files of at most MOST_OUTPUT bytes: a program
        # that prints without end is stopped (SIGXFSZ), not held in memory.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.run(command, input=stdin, stdout=out if stdout is None else stdout,
                                  stderr=err, timeout=timeout, env=full_env, cwd=self.dir,
                                  preexec_fn=prepare)
            for f in (out, err):
                f.seek(0)
            proc.stdout, proc.stderr = out.read(), err.read()
        return Result(proc)

    def fresh(self):
        """A fresh capture, and call log, for the next row."""
        for name in (self.raw, self.out, self.log):
            if os.path.exists(name):
                os.remove(name)

    def played(self, path=None):
        p = path or self.raw
        if not os.path.exists(p):
            return b""
        with open(p, "rb") as f:
            return f.read()

    def assertPlayed(self, expected, path=None):
        got = self.played(path)
        self.assertEqual(len(got), len(expected), "bytes played")
        self.assertTrue(got == expected, "played bytes differ from the expected frames")


def found(text, want):
    """want is the whole text, or ("starts"|"ends"|"has", part), or None for anything."""
    if want is None:
        return True
    if isinstance(want, tuple):
        kind, part = want
        return {"starts": text.startswith, "ends": text.endswith, "has": text.__contains__}[kind](part)
    return text == want


class Session:
    """The program with its standard output on a pseudo-terminal, so that it
    is line-buffered and a test can act between plays (rewrite the file,
    say) and then send the next words."""

    def __init__(self, case, *args, env=None, fake=None):
        import pty
        import termios
        master, slave = pty.openpty()
        attrs = termios.tcgetattr(slave)
        attrs[1] &= ~termios.OPOST  # keep "\n" as it is, no "\r\n"
        termios.tcsetattr(slave, termios.TCSANOW, attrs)
        command, full_env = program(case, args, env, fake)
        self.proc = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=slave,
                                     stderr=subprocess.PIPE, cwd=case.dir, env=full_env)
        os.close(slave)
        self.master = master
        self.out = b""
        self.seen = 0

    def expect(self, text, timeout=8):
        """Waits until text appears in the output after what was last expected."""
        import select
        import time
        want = text.encode("latin-1")
        deadline = time.time() + timeout
        while self.out.find(want, self.seen) < 0:
            left = deadline - time.time()
            ready = select.select([self.master], [], [], max(left, 0))[0]
            if not ready:
                raise AssertionError("timed out waiting for %r; output so far: %r" % (text, self.out))
            try:
                chunk = os.read(self.master, 65536)
            except OSError:
                chunk = b""
            if not chunk:
                raise AssertionError("output ended before %r; output: %r" % (text, self.out))
            self.out += chunk
            if len(self.out) > MOST_OUTPUT:
                raise AssertionError("output without end, waiting for %r" % text)
        self.seen = self.out.find(want, self.seen) + len(want)

    def send(self, words):
        self.proc.stdin.write(words.encode())
        self.proc.stdin.flush()

    def finish(self, timeout=10):
        """Closes the input, waits for the end; returns (status, all output)."""
        self.proc.stdin.close()
        rc = self.proc.wait(timeout=timeout)
        while True:
            try:
                chunk = os.read(self.master, 65536)
            except OSError:
                break
            if not chunk:
                break
            self.out += chunk
        os.close(self.master)
        self.proc.stderr.close()
        return rc, self.out.decode("latin-1")


class TtySession(Session):
    """The program at a terminal: standard input and output on one
    pseudo-terminal, without echo, so that keys typed during a play reach it."""

    def __init__(self, case, *args, env=None, fake=None):
        import pty
        import termios
        master, slave = pty.openpty()
        attrs = termios.tcgetattr(slave)
        attrs[1] &= ~termios.OPOST
        attrs[3] &= ~termios.ECHO
        termios.tcsetattr(slave, termios.TCSANOW, attrs)
        self.settings = termios.tcgetattr(slave)
        command, full_env = program(case, args, env, fake)
        # A process group of its own within the session, as a shell's job: Ctrl-Z
        # stops it (an orphaned group's would be ignored).
        self.proc = subprocess.Popen(command, stdin=slave, stdout=slave, stderr=subprocess.PIPE,
                                     cwd=case.dir, env=full_env, process_group=0)
        self.slave = slave
        self.master = master
        self.out = b""
        self.seen = 0

    def send(self, words):
        os.write(self.master, words.encode())

    def terminal(self):
        import termios
        return termios.tcgetattr(self.slave)

    def finish(self, timeout=10):
        rc = self.proc.wait(timeout=timeout)
        os.close(self.slave)
        self.slave = None
        self.proc.stdin = open(os.devnull, "wb")
        return super().finish(timeout)


# The remote's tests drive the program with other projects' OSC clients:
# liblo's oscsend and oscdump, and a client on Perl's Protocol::OSC.
OSC_CLIENT = os.path.join(HERE, "osc_client.pl")


def osc_port(proc):
    """The port the program listens at, from its start-up line on standard error."""
    line = proc.stderr.readline().decode("latin-1")
    m = re.search(r"listening for OSC at \S*:(\d+) ", line)
    if not m:
        raise AssertionError("no OSC start-up line: %r" % line)
    return int(m.group(1))


def oscsend(port, address, types="", *args):
    subprocess.run(["oscsend", "localhost", str(port), address, types] + [str(a) for a in args],
                   check=True, timeout=10)


def osc_client(port, script, mode="udp"):
    """Runs the Protocol::OSC client; returns the packets that came back,
    each a list: the address, then the arguments as text."""
    r = subprocess.run(["perl", OSC_CLIENT, mode, str(port)], input=script.encode(),
                       capture_output=True, timeout=60, check=True)
    return [line.split("|") for line in r.stdout.decode("latin-1").splitlines()]


class OscDump:
    """liblo's oscdump on a port of its own, taking the program's feedback."""

    def __init__(self):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        self.proc = subprocess.Popen(["oscdump", "-L", str(self.port)], stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        os.set_blocking(self.proc.stdout.fileno(), False)
        self.lines, self.partial = [], ""
        wait_until(self.bound, 10, "oscdump did not listen")

    def bound(self):
        """Whether oscdump has bound its port, as the kernel's table shows."""
        lines = []
        for table in ("/proc/net/udp", "/proc/net/udp6"):
            with open(table) as f:
                lines += f.readlines()[1:]
        return any(line.split()[1].endswith(":%04X" % self.port) for line in lines)

    def messages(self):
        """Every message so far: (address, sequence number, the other arguments);
        a reply, which has no number, has the address it answers there."""
        text = self.proc.stdout.read()
        if text:  # whole lines only: a read may end inside one
            self.partial += text.decode("latin-1")
            *whole, self.partial = self.partial.split("\n")
            self.lines += whole
        out = []
        self.stamps = {}
        for line in self.lines:
            words = shlex.split(line)
            first = int(words[3]) if words[2].startswith("i") else words[3]
            out.append((words[1], first) + tuple(words[4:]))
            seconds, fraction = (int(part, 16) for part in words[0].split("."))
            self.stamps[first] = seconds - 2208988800 + fraction / 2 ** 32  # from NTP's era
        return out

    def stamped(self, messages):
        """When each message arrived, by the wall clock, as oscdump stamped it."""
        self.messages()
        return [self.stamps[m[1]] for m in messages]

    def wait_for(self, address, *args, timeout=10):
        """Waits for a message with that address and those first arguments."""
        def seen():
            return any(m[0] == address and m[2:2 + len(args)] == args for m in self.messages())
        wait_until(seen, timeout, "%s %s; got %s" % (address, args, self.messages()))

    def close(self):
        self.proc.kill()
        self.proc.wait()
        self.proc.stdout.close()
