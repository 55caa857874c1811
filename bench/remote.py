"""What bench/paced measures of the remote, on each private sound server:
an OSC /cuedeck/go to the first sound heard, loaded and not (the capture
marked once the load is answered and has had 0.3 s to be heard, which it
must not be), and a command to its reply over UDP and over TCP. Times of
sound are the capture's arrivals, polled every 0.5 ms. The messages are built here, byte for
byte, so that no client's own start-up is timed.
python3 bench/remote.py CUEDECK"""

import os
import socket
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/e2e"))
from harness import osc_port  # noqa: E402
from paced import RUNS, Arrivals, run_on_each_server, sound_span  # noqa: E402

COMMANDS = 1000


def padded(text):
    raw = text.encode() + b"\0"
    return raw + b"\0" * (-len(raw) % 4)


def message(address, types="", *args):
    packs = {"i": lambda v: struct.pack(">i", v)}
    return padded(address) + padded("," + types) + b"".join(packs[t](a) for t, a in zip(types, args))


class Remote:
    """cuedeck as a service with the remote on, and a UDP socket to drive it."""

    def __init__(self, cuedeck, server, device, tone):
        self.proc = subprocess.Popen([cuedeck, "--osc", "0", device, tone], stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                     env=dict(os.environ, **server.env))
        self.port = osc_port(self.proc)
        self.udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.udp.settimeout(5)

    def ask(self, address, types="", *args):
        """Sends a message and returns its reply's text."""
        self.udp.sendto(message(address, types, *args), ("127.0.0.1", self.port))
        return self.udp.recv(65536).split(b"\0")

    def close(self):
        self.ask("/cuedeck/exit")
        self.proc.wait(timeout=10)
        self.proc.stderr.close()


def ms(times):
    times = sorted(times)
    return "median %.3f ms, p99 %.3f ms, worst %.3f ms (%d)" % (
        times[len(times) // 2] * 1000, times[len(times) * 99 // 100] * 1000, times[-1] * 1000, len(times))


def go_to_first_sound(cuedeck, server, device, tone):
    remote = Remote(cuedeck, server, device, tone)
    arrivals = Arrivals(server.capture)
    for loaded in (False, True):
        first, heard = [], 0
        for _ in range(RUNS):
            time.sleep(0.5)
            mark = os.path.getsize(server.capture)
            if loaded:
                remote.ask("/cuedeck/load")
                time.sleep(0.3)
                heard += sound_span(server.capture, mark)[0] is not None
                mark = os.path.getsize(server.capture)
            sent = time.monotonic()
            remote.ask("/cuedeck/go")
            time.sleep(0.5)
            remote.ask("/cuedeck/stop")
            time.sleep(0.3)
            begin, _ = sound_span(server.capture, mark)
            first.append(arrivals.time_of(begin) - sent)
        print("  OSC go to the first sound heard, %s: %s" % ("loaded" if loaded else "not loaded", ms(first)))
        if loaded:
            print("  loads heard before their go: %d of %d" % (heard, RUNS))
    arrivals.stop()
    remote.close()


def command_to_reply(cuedeck, server, device, tone):
    """At the menu, then with a looped play under way."""
    remote = Remote(cuedeck, server, device, tone)
    with socket.create_connection(("127.0.0.1", remote.port)) as tcp:
        for when in ("idle", "playing"):
            if when == "playing":
                remote.ask("/cuedeck/loops", "i", 100)
                remote.ask("/cuedeck/go")
            times = {"UDP": [], "TCP": []}
            state = message("/cuedeck/state")
            for _ in range(COMMANDS):
                sent = time.monotonic()
                remote.ask("/cuedeck/state")
                times["UDP"].append(time.monotonic() - sent)
                sent = time.monotonic()
                tcp.sendall(struct.pack(">I", len(state)) + state)
                size = struct.unpack(">I", tcp.recv(4))[0]
                while size > 0:
                    size -= len(tcp.recv(size))
                times["TCP"].append(time.monotonic() - sent)
            for route, taken in times.items():
                print("  /cuedeck/state to its reply over %s, %s: %s" % (route, when, ms(taken)))
    remote.ask("/cuedeck/stop")
    remote.close()


if __name__ == "__main__":
    run_on_each_server(os.path.abspath(sys.argv[1]), (go_to_first_sound, command_to_reply), ", the remote")
