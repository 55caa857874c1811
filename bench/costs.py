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
         "## Reading markers from a huge smpl chunk (sparse file), start-up to exit", "",
         "| smpl chunk | wall | CPU |", "|---|---|---|"]
for mib in (128, 1024):
    path = os.path.join(work, "smpl%d.wav" % mib)
    sparse_smpl(path, mib)
    times = [run(["null", path, 0, 0, "x"]) for _ in range(runs)]
    lines.append("| %d MiB | %.3f s | %.3f s |" % (mib, statistics.median(t[0] for t in times),
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
