#!/usr/bin/python3
"""Plays 1, 4, 9 and 16 views of 720p25 and 1080p25 in the record player's own main window and
compares what each view paints with the decode-only limit of the ffmpeg tool on the same file, in
the same run and on the same cores (ffmpeg -threads 2 -f null -, frames per second / views).

Per case it prints the painted pictures per second of the worst and the median view, the pace
(frames consumed per second / 25: 1.0 is real time), how long the window took to answer a command
while it played (its GUI thread serves the control socket: worst and 95th percentile, milliseconds)
and the player's peak memory. Run it through bench/run_player.sh."""
import argparse
import json
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time


def frames_of(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-count_packets",
                          "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", path],
                         capture_output=True, text=True, check=True).stdout.strip()
    return int(out)


def decode_limit(path, cpus, runs=3):
    """Frames per second the ffmpeg tool decodes the file at with two threads (best of runs)."""
    frames = frames_of(path)
    best = 0.0
    for _ in range(runs):
        t0 = time.monotonic()
        subprocess.run(["taskset", "-c", cpus, "ffmpeg", "-v", "error", "-threads", "2", "-i", path,
                        "-f", "null", "-"], check=True)
        best = max(best, frames / (time.monotonic() - t0))
    return best


class Player:
    def __init__(self, binary, cpus, display, home):
        self.name = "vantel-bench-%d" % os.getpid()
        env = dict(os.environ)
        env.update({
            "HOME": home, "XDG_CONFIG_HOME": home + "/config", "XDG_DATA_HOME": home + "/data",
            "XDG_CACHE_HOME": home + "/cache", "DISPLAY": display,
            "VANTEL_PLAYER_CONTROL": self.name, "VANTEL_INSTANCE_SCOPE": self.name,
            "VANTEL_UI_REPLY": "ok", "VANTEL_LOG_DIR": home + "/log", "QT_QPA_PLATFORM": "xcb",
        })
        self.proc = subprocess.Popen(["taskset", "-c", cpus, binary], env=env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        path = os.path.join(tempfile.gettempdir(), self.name)
        deadline = time.monotonic() + 30
        self.sock = None
        while time.monotonic() < deadline and self.sock is None:
            if self.proc.poll() is not None:
                raise RuntimeError("the player ended at start (%d)" % self.proc.returncode)
            try:
                s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                s.connect(path)
                self.sock = s
            except OSError:
                time.sleep(0.2)
        if self.sock is None:
            raise RuntimeError("the player's control socket did not open")
        self.reader = self.sock.makefile("r", encoding="utf-8")

    def ask(self, line):
        self.sock.sendall((line + "\n").encode())
        answer = self.reader.readline().strip()
        return answer

    def peak_mb(self):
        with open("/proc/%d/status" % self.player_pid()) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) / 1024.0
        return -1.0

    def player_pid(self):
        return self.proc.pid  # taskset execs the program: same process

    def close(self):
        try:
            self.ask("quit")
        except OSError:
            pass
        try:
            self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


def run_case(args, display, path, views, limit):
    home = tempfile.mkdtemp(prefix="vantel-bench-home-")
    try:
        p = Player(args.binary, args.cpus, display, home)
        try:
            assert p.ask("split %d" % views) == "ok"
            for v in range(views):
                answer = p.ask("open %d %s" % (v, path))
                if not answer.startswith("ok"):
                    raise RuntimeError("open %d: %s" % (v, answer))
            time.sleep(args.warmup)
            s0 = [json.loads(p.ask("stats %d" % v)) for v in range(views)]
            t0 = time.monotonic()
            waits = []
            while time.monotonic() - t0 < args.seconds:
                a = time.monotonic()
                p.ask("state 0")
                waits.append((time.monotonic() - a) * 1000.0)
                time.sleep(0.05)
            s1 = [json.loads(p.ask("stats %d" % v)) for v in range(views)]
            sec = time.monotonic() - t0
            painted = sorted((b["painted"] - a["painted"]) / sec for a, b in zip(s0, s1))
            pace = min(((b["decoded"] + b["skipped"]) - (a["decoded"] + a["skipped"])) / sec / 25.0
                       for a, b in zip(s0, s1))
            waits.sort()
            p95 = waits[int(len(waits) * 0.95) - 1] if waits else -1
            return {"worst": painted[0], "median": statistics.median(painted), "pace": pace,
                    "limit": limit / views, "wait_max": waits[-1] if waits else -1, "wait_p95": p95,
                    "peak_mb": p.peak_mb()}
        finally:
            p.close()
    finally:
        shutil.rmtree(home, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--binary", required=True)
    ap.add_argument("--files", required=True, help="720=<path>,1080=<path>")
    ap.add_argument("--cpus", default="0,1")
    ap.add_argument("--views", default="1,4,9,16")
    ap.add_argument("--warmup", type=float, default=4)
    ap.add_argument("--seconds", type=float, default=10)
    args = ap.parse_args()
    files = dict(kv.split("=", 1) for kv in args.files.split(","))

    xvfb = subprocess.Popen(["Xvfb", ":97", "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.5)
    met = True
    try:
        print("%-10s %6s %9s %9s %9s %6s %7s %9s %9s %8s %s" % (
            "case", "views", "worst", "median", "limit", "ratio", "pace", "wait-max", "wait-p95",
            "peak-MB", "goal"))
        for size in sorted(files, key=int):
            limit = decode_limit(files[size], args.cpus)
            for views in [int(v) for v in args.views.split(",")]:
                r = run_case(args, ":97", files[size], views, limit)
                ratio = r["worst"] / min(25.0, r["limit"])
                goals = []
                if size == "1080" and views == 16:
                    goals.append(ratio >= 0.9)
                    goals.append(r["peak_mb"] < 700)
                if size == "720" and views == 16:
                    goals.append(r["worst"] >= 24.0)
                goals.append(r["pace"] >= 0.97)
                goals.append(r["wait_max"] < 100)
                ok = all(goals)
                met = met and ok
                print("%-10s %6d %9.1f %9.1f %9.1f %6.2f %7.2f %9.1f %9.1f %8.0f %s" % (
                    size + "p25", views, r["worst"], r["median"], r["limit"], ratio, r["pace"],
                    r["wait_max"], r["wait_p95"], r["peak_mb"], "met" if ok else "MISSED"), flush=True)
    finally:
        xvfb.send_signal(signal.SIGTERM)
        xvfb.wait()
    print("columns: painted pictures per second per view (worst, median); limit = ffmpeg -threads 2 "
          "decode fps / views; ratio = worst / min(25, limit); pace = frames consumed / 25 per second "
          "(slowest view); wait = answer time of the window's GUI thread (ms); peak memory of the player")
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
