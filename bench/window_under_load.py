#!/usr/bin/env python3
"""The running window (offscreen) driven from outside while it is loaded, measured.

  latency  GET /v1/state latency (p50, p99, max) with nothing else, then with 20 idle and 5 trickling
           HTTP connections held open (target: p99 <= 50 ms); then during and after a flood of
           100,000 OSC parameter packets sent as fast as one socket can (target: max <= 250 ms).
  memory   a 2400 x 2400 random-noise PNG opened over HTTP, the four algorithms in turn, then each
           with hatching, cross-hatching, spacing 0, tolerance 0 and 4 pens, then algorithm changes
           over OSC (background runs): the window's VmHWM (peak) and VmRSS once the runs have
           finished and the window has idled (targets: peak <= 1.5 GB, held <= 600 MB).

Run after `./dev build`: bench/window_under_load.py latency|memory [--build DIR]. Settings live in a
temporary XDG_CONFIG_HOME and the update feed points at the loopback. Reports; exits 0 once it ran.
"""
import argparse
import http.client
import json
import os
import random
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def free_port(kind):
    s = socket.socket(socket.AF_INET, kind)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Window:
    def __init__(self, build, workdir):
        self.api = free_port(socket.SOCK_STREAM)
        self.osc = free_port(socket.SOCK_DGRAM)
        env = dict(os.environ)
        env.update({
            "QT_QPA_PLATFORM": "offscreen",
            "OSTREL_API_PORT": str(self.api),
            "OSTREL_OSC_IN_PORT": str(self.osc),
            "XDG_CONFIG_HOME": os.path.join(workdir, "config"),
            "KAVRIN_UPDATE_URL": "http://127.0.0.1:9/feed.json",
            "LC_ALL": "C",
        })
        self.process = subprocess.Popen([os.path.join(build, "src/app/Ostrel")], env=env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            try:
                if not self.state()["isProcessing"]:
                    return
            except (OSError, ValueError, KeyError, http.client.HTTPException):
                pass
            time.sleep(0.2)
        raise RuntimeError("the window did not answer within 60 s")

    def request(self, method, path, body=None, timeout=60):
        connection = http.client.HTTPConnection("127.0.0.1", self.api, timeout=timeout)
        data = json.dumps(body) if body is not None else None
        connection.request(method, path, body=data)
        answer = connection.getresponse()
        payload = answer.read()
        connection.close()
        return answer.status, payload

    def state(self):
        return json.loads(self.request("GET", "/v1/state", timeout=10)[1])

    def timed_state(self):
        """Milliseconds until GET /v1/state was answered, and its status (0: failed or 30 s passed)."""
        start = time.monotonic()
        try:
            status, _ = self.request("GET", "/v1/state", timeout=30)
        except (OSError, http.client.HTTPException):
            status = 0
        return (time.monotonic() - start) * 1000.0, status

    def memory(self):
        fields = {}
        with open(f"/proc/{self.process.pid}/status") as status:
            for line in status:
                key, _, value = line.partition(":")
                if key in ("VmRSS", "VmHWM"):
                    fields[key] = int(value.split()[0]) / 1024.0  # MiB
        return fields

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(30)
        except subprocess.TimeoutExpired:
            self.process.kill()


def percentiles(samples):
    ordered = sorted(samples)
    pick = lambda p: ordered[min(len(ordered) - 1, int(p * len(ordered)))]
    return f"p50 {pick(0.5):7.2f} ms  p99 {pick(0.99):7.2f} ms  max {ordered[-1]:7.2f} ms  (n={len(ordered)})"


def hold_connections(port, idle, trickling, stop):
    """Keeps `idle` silent and `trickling` body-trickling connections open until `stop` is set."""
    held = []

    def open_one(trickles):
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=1)
            if trickles:
                s.sendall(b"POST /v1/params HTTP/1.1\r\nContent-Length: 100000\r\n\r\n")
            s.setblocking(False)
        except OSError:
            s = socket.socket()  # refused (a full backlog): an unconnected socket, tried again next round
        return [s, trickles]

    for i in range(idle + trickling):
        held.append(open_one(i >= idle))
    while not stop.is_set():
        for entry in held:
            s, trickles = entry
            try:
                if s.recv(1) == b"":
                    raise ConnectionError
            except BlockingIOError:
                if trickles:
                    try:
                        s.send(b" ")
                    except BlockingIOError:
                        pass
                continue
            except OSError:
                pass
            s.close()  # dropped by the server at its deadline: open again
            entry[:] = open_one(trickles)
        time.sleep(0.1)
    for s, _ in held:
        s.close()


def osc_message(address, value):
    def padded(b):
        b += b"\0"
        return b + b"\0" * (-len(b) % 4)
    return padded(address.encode()) + padded(b",i") + struct.pack(">i", value)


def latency(window):
    samples = [window.timed_state()[0] for _ in range(300)]
    print("GET /v1/state, nothing else:           ", percentiles(samples))

    stop = threading.Event()
    holder = threading.Thread(target=hold_connections, args=(window.api, 20, 5, stop))
    holder.start()
    time.sleep(0.5)
    samples, statuses = [], set()
    budget = time.monotonic() + 60  # a server that holds clients gets 60 s, not 300 waits
    while len(samples) < 300 and time.monotonic() < budget:
        ms, status = window.timed_state()
        samples.append(ms)
        statuses.add(status)
    stop.set()
    holder.join()
    print("GET /v1/state, 20 idle + 5 trickling:  ", percentiles(samples), "statuses", sorted(statuses))

    during, after = [], []
    flooding = threading.Event()
    flooding.set()

    def probe():
        while flooding.is_set():
            during.append(window.timed_state()[0])
            time.sleep(0.01)


    prober = threading.Thread(target=probe)
    prober.start()
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    addresses = ["/ostrel/threshold", "/ostrel/blur", "/ostrel/pens", "/ostrel/smoothing"]
    packets = [osc_message(addresses[i % 4], [100 + i % 100, i % 10, 1 + i % 4, i % 2][i % 4]) for i in range(100000)]
    start = time.monotonic()
    for packet in packets:
        sender.sendto(packet, ("127.0.0.1", window.osc))
    sent = time.monotonic() - start
    time.sleep(2.0)
    flooding.clear()
    prober.join()
    end = time.monotonic() + 5
    while time.monotonic() < end:
        after.append(window.timed_state()[0])
        time.sleep(0.02)
    print(f"OSC flood: 100000 packets in {sent:.2f} s")
    print("GET /v1/state during the flood (+2 s):  ", percentiles(during))
    print("GET /v1/state in the 5 s after:        ", percentiles(after))


def noise_png(path, side, seed=1):
    rng = random.Random(seed)
    rows = b"".join(b"\0" + rng.randbytes(side) for _ in range(side))
    chunk = lambda kind, data: struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 0, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(rows, 6)))
        out.write(chunk(b"IEND", b""))


def memory(window, workdir):
    image = os.path.join(workdir, "noise.png")
    noise_png(image, 2400)
    algorithms = ["neural_centerline", "vision_contours", "skeletonize", "canny_edges"]
    hatching = {"hatchEnabled": True, "crossHatch": True, "hatchSpacingPx": 0, "rdpTolerance": 0, "penCount": 4}

    def report(what, started):
        print(f"{what:<44} {time.monotonic() - started:5.1f} s  VmHWM {window.memory()['VmHWM']:6.0f} MiB  "
              f"VmRSS {window.memory()['VmRSS']:6.0f} MiB", flush=True)

    def settle():
        deadline = time.monotonic() + 600
        while window.state()["isProcessing"] and time.monotonic() < deadline:
            time.sleep(0.1)
        time.sleep(3)

    print(f"{'after start':<44} {'':7}  VmHWM {window.memory()['VmHWM']:6.0f} MiB  VmRSS {window.memory()['VmRSS']:6.0f} MiB")
    started = time.monotonic()
    window.request("POST", "/v1/open", {"path": image}, timeout=600)
    report("opened (HTTP, synchronous run)", started)
    for algorithm in algorithms:
        started = time.monotonic()
        window.request("POST", "/v1/params", {"algorithm": algorithm}, timeout=600)
        report(f"algorithm {algorithm} (HTTP)", started)
    for algorithm in algorithms:
        started = time.monotonic()
        window.request("POST", "/v1/params", dict(hatching, algorithm=algorithm), timeout=900)
        report(f"hatching on {algorithm} (HTTP)", started)
    started = time.monotonic()
    settle()
    report("idle 3 s after the runs", started)

    # The same changes as a slider or an OSC controller makes them: background runs, one after another.
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    started = time.monotonic()
    for _ in range(3):
        for algorithm in algorithms:
            address, tags = b"/ostrel/algorithm\0\0\0", b",s\0\0"
            text = algorithm.encode() + b"\0"
            sender.sendto(address + tags + text + b"\0" * (-len(text) % 4), ("127.0.0.1", window.osc))
            time.sleep(0.3)
    settle()
    report("12 algorithm changes over OSC, idle 3 s", started)
    final = window.memory()
    print(f"peak: VmHWM {final['VmHWM']:.0f} MiB; held: VmRSS {final['VmRSS']:.0f} MiB")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("what", choices=["latency", "memory"])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    arguments = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="ostrel-load-") as workdir:
        window = Window(arguments.build, workdir)
        try:
            latency(window) if arguments.what == "latency" else memory(window, workdir)
        finally:
            window.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
