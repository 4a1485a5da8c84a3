#!/usr/bin/env python3
"""Measures ornfix against OrnPcap's floor, as a ratio within one run.

  bench/ornfix.py <build dir> [records] [runs]

Makes (or reuses) the benchmark's trace of N records with mktrace (150-byte
frames, 60000-byte blocks compressed with NRV2B), damages one block in the
middle (one data byte flipped), then times in turn, best of `runs`:

  floor     OrnPcap on a port with no records over the intact trace: reads,
            checks and expands every block and cuts every record
  ornfix    repairing the damaged trace (both passes, the write with fsync,
            the read-back), output in the same folder

The floor over the damaged trace is shown too: OrnPcap stops at the damage,
halfway. The load average before and after tells how busy the machine was.
"""
import os
import struct
import subprocess
import sys
import time

BUILD = os.path.abspath(sys.argv[1])
RECORDS = int(sys.argv[2]) if len(sys.argv) > 2 else 2000000
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 5
DATA = os.path.join(BUILD, "bench")
ORNPCAP = os.path.join(BUILD, "OrnPcap")
ORNFIX = os.path.join(BUILD, "ornfix")
MKTRACE = os.path.join(BUILD, "mktrace")


def make_trace():
    path = os.path.join(DATA, "one-%d.orn" % RECORDS)
    if not os.path.exists(path):
        scenario = ("version 8\nblocks 60000 compressed\nlevel 1\n"
                    "bulk count=%d port=30 lsn=1 lsns=1 size=150 step=1\n" % RECORDS)
        subprocess.run([MKTRACE, "-", path], input=scenario.encode(), check=True,
                       stdout=subprocess.DEVNULL)
    return path


def damage_middle(path):
    """Flips a data byte of the block that starts past the middle of the file."""
    damaged = os.path.join(DATA, "one-%d-damaged.orn" % RECORDS)
    trace = bytearray(open(path, "rb").read())
    pos, number = 203, 1
    while pos < len(trace) // 2:
        pos += 6 + struct.unpack_from("<H", trace, pos + 2)[0]
        number += 1
    trace[pos + 6 + 100] ^= 0xFF
    open(damaged, "wb").write(trace)
    return damaged, number


def timed(command, expected):
    start = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    took = time.perf_counter() - start
    if done.returncode != expected:
        sys.exit("failed (%d): %s" % (done.returncode, " ".join(command)))
    return took


def main():
    os.makedirs(DATA, exist_ok=True)
    intact = make_trace()
    damaged, block = damage_middle(intact)
    fixed = os.path.join(DATA, "repaired.orn")
    runs = {"floor": [], "floor, damaged trace": [], "ornfix": []}
    load_before = open("/proc/loadavg").read().split()[:3]
    for _ in range(RUNS):
        runs["floor"].append(timed([ORNPCAP, "-i" + intact, "-o/dev/null", "-f4", "-p9"], 1))
        runs["floor, damaged trace"].append(
            timed([ORNPCAP, "-i" + damaged, "-o/dev/null", "-f4", "-p9"], 11))
        runs["ornfix"].append(timed([ORNFIX, "-f", damaged, fixed], 0))
    load_after = open("/proc/loadavg").read().split()[:3]
    print("%d records, %.0f MB, block %d damaged; best of %d, %s cores"
          % (RECORDS, os.path.getsize(intact) / 1e6, block, RUNS, os.cpu_count()))
    print("load average before %s, after %s" % (" ".join(load_before), " ".join(load_after)))
    floor = min(runs["floor"])
    for name, times in runs.items():
        print("%-22s best %.2f s, worst %.2f s, %.2f x floor"
              % (name, min(times), max(times), min(times) / floor))
    os.remove(fixed)


if __name__ == "__main__":
    main()
