"""What two of cuedeck's own jobs cost, measured on whole runs through ALSA's
unpaced null device: reading a file's markers when a marker chunk is huge
(sparse files), and exact edges against whole periods for short and long
loops (CPU seconds per second of audio). Writes a Markdown report.

Usage: costs.py BUILD_DIR RUNS REPORT"""

import os
import resource
import statistics
import struct
import subprocess
import sys
import time

build, runs, report = sys.argv[1], int(sys.argv[2]), sys.argv[3]
cuedeck = os.path.join(build, "cuedeck")
work = os.path.join(build, "cost-files")
os.makedirs(work, exist_ok=True)
le = lambda n: struct.pack("<I", n)  # noqa: E731


def sparse_smpl(path, mib):
    """A short file whose smpl chunk of mib MiB is all zeros (a hole)."""
    loops = (mib << 20) // 24
    fmt = struct.pack("<4sIHHIIHH", b"fmt ", 16, 1, 2, 44100, 176400, 4, 16)
    with open(path, "wb") as f:
        f.write(b"RIFF" + le(0) + b"WAVE" + fmt + b"data" + le(44100 * 4))
        f.seek(44100 * 4, 1)
        f.write(b"smpl" + le(36 + 24 * loops) + bytes(28) + le(loops) + le(0))
        f.truncate(f.tell() + 24 * loops)


def label_list(path, mib):
    """A short file with three cue points and a LIST/adtl of mib MiB of labl
    entries for a point that isn't there (as a broken writer repeats them)."""
    cue = b"cue " + le(76) + le(3) + b"".join(le(i) + le(0) + b"data" + le(0) * 2 + le(i) for i in (1, 2, 3))
    entry = b"labl" + le(20) + le(99) + b"a label, no one\0"
    count = (mib << 20) // len(entry)
    fmt = struct.pack("<4sIHHIIHH", b"fmt ", 16, 1, 2, 44100, 176400, 4, 16)
    with open(path, "wb") as f:
        f.write(b"RIFF" + le(0) + b"WAVE" + fmt + cue + b"LIST" + le(4 + count * len(entry)) + b"adtl")
        for _ in range(count // 4096):
            f.write(entry * 4096)
        f.write(entry * (count % 4096) + b"data" + le(44100 * 4) + bytes(44100 * 4))


def looped(path, seconds):
    frames = int(44100 * seconds)
    fmt = struct.pack("<4sIHHIIHH", b"fmt ", 16, 1, 2, 44100, 176400, 4, 16)
    data = bytes((i * 2654435761 >> 13) & 0xFF for i in range(frames * 4))
    with open(path, "wb") as f:
        f.write(b"RIFF" + le(36 + len(data)) + b"WAVE" + fmt + b"data" + le(len(data)) + data)


def run(args):
    """Wall seconds and CPU seconds of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    began = time.monotonic()
    subprocess.run([cuedeck] + [str(a) for a in args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    wall = time.monotonic() - began
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


lines = ["# What cuedeck's own jobs cost", "",
         "Made by `bench/costs` (%d runs each, medians) on %d cores." % (runs, os.cpu_count()), "",
         "## Reading markers from a huge chunk, start-up to exit (two reads: at start-up and at x)", "",
         "| chunk | wall | CPU |", "|---|---|---|"]
for kind, mib, make in (("smpl, sparse", 128, sparse_smpl), ("smpl, sparse", 1024, sparse_smpl),
                        ("LIST/adtl of labl entries", 128, label_list)):
    path = os.path.join(work, "%s%d.wav" % (make.__name__, mib))
    make(path, mib)
    times = [run(["null", path, 0, 0, "x"]) for _ in range(runs)]
    lines.append("| %s, %d MiB | %.3f s | %.3f s |" % (kind, mib, statistics.median(t[0] for t in times),
                                                       statistics.median(t[1] for t in times)))
lines += ["", "## Exact edges against whole periods, CPU per second of audio (null device)", "",
          "| loop | passes | whole periods | exact | exact / whole |", "|---|---|---|---|---|"]
path = os.path.join(work, "loop.wav")
looped(path, 20)
for seconds, passes in ((0.1, 1000), (10, 10)):
    audio = seconds * passes
    cost = {}
    for mode in ("whole", "exact"):
        args = (["--exact"] if mode == "exact" else []) + ["null", path, 1, 1 + seconds, "px", passes, 0]
        cost[mode] = statistics.median(run(args)[1] for _ in range(runs)) / audio
    lines.append("| %g s | %d | %.2f ms | %.2f ms | %.2f |" % (
        seconds, passes, 1000 * cost["whole"], 1000 * cost["exact"], cost["exact"] / cost["whole"]))
open(report, "w").write("\n".join(lines) + "\n")
print("\n".join(lines))
