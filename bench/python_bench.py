#!/usr/bin/env python3
"""The Python module against the programs (make bench):

1. slipvel.pulses of 10^4 answer sets, against 10^4 calls of slipvel.pulse and
   against runs of the program on the same answers (goal: pulses at least
   100 times as fast as the runs). The runs are timed on BENCH_RUNS sets
   (default 300) and scaled to 10^4: 10^4 runs take some minutes.
2. slipvel.srf.read of a 10^5-subfault SRF file (about 0.4 GB, written by
   slipvel-fault) in MB/s against `slipvel-fault info` on the same file
   (goal: at least as fast), and its peak memory against the arrays' size
   (goal: at most 20% more).

   bench/python_bench.py BUILD_DIRECTORY
"""
import os
import subprocess
import sys
import tempfile
import time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
sys.path.insert(0, os.path.join(build, "python"))
import numpy as np  # noqa: E402

import slipvel  # noqa: E402

N = 10_000
runs = int(os.environ.get("BENCH_RUNS", "300"))
rng = np.random.default_rng(1)
fmax, slip = rng.uniform(1, 10, N), rng.uniform(0.5, 5, N)
vm, ts = rng.uniform(1, 5, N), rng.uniform(1, 5, N)

t0 = time.perf_counter()
slipvel.pulses(fmax, slip, vm, ts, errors="nan")
t_pulses = time.perf_counter() - t0
t0 = time.perf_counter()
slipvel.pulses(fmax, slip, vm, ts, errors="nan", jobs=1)
t_one = time.perf_counter() - t0
t0 = time.perf_counter()
for k in range(N):
    try:
        slipvel.pulse(fmax[k], slip[k], vm[k], ts[k])
    except ValueError:
        pass
t_pulse = time.perf_counter() - t0
with tempfile.TemporaryDirectory() as work:
    t0 = time.perf_counter()
    for k in range(runs):
        answers = "%r\n%r\n%r\n%r\n" % (fmax[k], slip[k], vm[k], ts[k])
        subprocess.run([os.path.join(build, "slipvel")], input=answers.encode(), cwd=work,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    t_run = (time.perf_counter() - t0) / runs * N
print("pulses, 10^4 answer sets on %d cores: %.3f s (%.1f us a pulse)" % (os.cpu_count(), t_pulses, t_pulses / N * 1e6))
print("pulses, the same on 1 core:          %.3f s" % t_one)
print("pulse, 10^4 calls:                   %.3f s (pulses %.1fx as fast)" % (t_pulse, t_pulse / t_pulses))
print("slipvel, 10^4 runs (%d timed):      %.1f s (pulses %.0fx as fast; goal 100x)" % (runs, t_run, t_run / t_pulses))

# 2. A 400 x 250-subfault plane of the example answers.
TOML = subprocess.run([os.path.join(os.path.dirname(os.path.abspath(__file__)), "uniform_fault.sh"), "400", "250"],
                      capture_output=True, text=True, check=True).stdout
READ = """
import sys, time
sys.path.insert(0, sys.argv[2])
import slipvel
# This process's own memory in kB (getrusage's maxrss would start from the
# parent's at fork).
def status(name):
    return int(next(l for l in open("/proc/self/status") if l.startswith(name + ":")).split()[1])
before = status("VmRSS")
t0 = time.perf_counter()
f = slipvel.srf.read(sys.argv[1])
t = time.perf_counter() - t0
peak = status("VmHWM")
arrays = sum(a.nbytes for a in (f.planes, f.points, f.blocks, f.sr1, f.sr2, f.sr3, f.off1, f.off2, f.off3))
print(t, (peak - before) * 1024, arrays)
"""
with tempfile.TemporaryDirectory() as work:
    open(os.path.join(work, "f.toml"), "w").write(TOML)
    srf = os.path.join(work, "f.srf")
    subprocess.run([os.path.join(build, "slipvel-fault"), "-o", srf, os.path.join(work, "f.toml")],
                   stdout=subprocess.DEVNULL, check=True)
    size = os.path.getsize(srf)
    subprocess.run(["cat", srf], stdout=subprocess.DEVNULL)  # both read from the page cache
    best_info = best_read = float("inf")
    most = 0
    for _ in range(3):
        t0 = time.perf_counter()
        subprocess.run([os.path.join(build, "slipvel-fault"), "info", srf], stdout=subprocess.DEVNULL, check=True)
        best_info = min(best_info, time.perf_counter() - t0)
        out = subprocess.run([sys.executable, "-c", READ, srf, os.path.join(build, "python")],
                             capture_output=True, text=True, check=True).stdout.split()
        t, grown, arrays = float(out[0]), int(out[1]), int(out[2])
        best_read = min(best_read, t)
        most = max(most, grown)
    print("SRF of 10^5 subfaults: %.0f MB" % (size / 1e6))
    print("slipvel-fault info:    %.2f s, %.0f MB/s" % (best_info, size / 1e6 / best_info))
    print("slipvel.srf.read:      %.2f s, %.0f MB/s (%.2fx info; goal 1x)"
          % (best_read, size / 1e6 / best_read, best_info / best_read))
    print("peak memory of read:   %.0f MB for %.0f MB of arrays (+%.1f%%; goal 20%%)"
          % (most / 1e6, arrays / 1e6, 100 * (most - arrays) / arrays))
