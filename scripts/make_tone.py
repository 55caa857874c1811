#!/usr/bin/env python3
"""Writes a short 16-bit stereo test tone: make_tone.py OUT.wav [SECONDS]."""
import math
import struct
import sys

rate, seconds = 44100, float(sys.argv[2]) if len(sys.argv) > 2 else 2.0
frames = int(rate * seconds)
data = bytearray()
for n in range(frames):
    fade = min(1.0, n / 2000, (frames - n) / 2000)
    left = int(12000 * fade * math.sin(2 * math.pi * 440 * n / rate))
    right = int(12000 * fade * math.sin(2 * math.pi * 660 * n / rate))
    data += struct.pack("<hh", left, right)
fmt = struct.pack("<4sIHHIIHH", b"fmt ", 16, 1, 2, rate, rate * 4, 4, 16)
body = b"WAVE" + fmt + struct.pack("<4sI", b"data", len(data)) + data
with open(sys.argv[1], "wb") as f:
    f.write(b"RIFF" + struct.pack("<I", len(body)) + body)
