#!/usr/bin/env python3
"""Measures ornfix against OrnPcap's floor, as ratios within one run.

  bench/ornfix.py <build dir> [records] [runs] [junk MiB]

Makes (or reuses) the benchmark's trace of N records with mktrace (150-byte
frames, 60000-byte blocks compressed with NRV2B), and from it two damaged
traces: one block in the middle damaged (one data byte flipped), and `junk`
MiB (default 200) of random bytes between two blocks in the middle. Then
times in turn, `runs` rounds of (default 5):

  floor            OrnPcap on a port with no records over the intact trace:
                   reads, checks and expands every block and cuts every record
  ornfix           repairing the trace with the damaged block (both passes,
                   the write with fsync, the read-back), output in the same
                   folder
  floor, junk size the floor over an intact trace as large as the one with
                   the junk (mktrace, more records)
  ornfix, junk     repairing the trace with the junk

Each line gives the median and the range of the times, and ornfix's ratio to
its floor: the median of the rounds' ratios and their range. The load
average before and after tells how busy the machine was. The junk must cost
no record: the run stops when ornfix keeps fewer than all of them.
"""
import os
import random
import statistics
import struct
import subprocess
import sys
import time

BUILD = os.path.abspath(sys.argv[1])
RECORDS = int(sys.argv[2]) if len(sys.argv) > 2 else 2000000
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 5
JUNK_MIB = int(sys.argv[4]) if len(sys.argv) > 4 else 200
DATA = os.path.join(BUILD, "bench")
ORNPCAP = os.path.join(BUILD, "OrnPcap")
ORNFIX = os.path.join(BUILD, "ornfix")
MKTRACE = os.path.join(BUILD, "mktrace")


def make_trace(records):
    path = os.path.join(DATA, "one-%d.orn" % records)
    if not os.path.exists(path):
        scenario = ("version 8\nblocks 60000 compressed\nlevel 1\n"
                    "bulk count=%d port=30 lsn=1 lsns=1 size=150 step=1\n" % records)
        subprocess.run([MKTRACE, "-", path], input=scenario.encode(), check=True,
                       stdout=subprocess.DEVNULL)
    return path


def middle_block(trace):
    """The offset and number of the block that starts past the middle of the file."""
    pos, number = 203, 1
    while pos < len(trace) // 2:
        pos += 6 + struct.unpack_from("<H", trace, pos + 2)[0]
        number += 1
    return pos, number


def damage_middle(path):
    """Flips a data byte of the block that starts past the middle of the file."""
    damaged = os.path.join(DATA, "one-%d-damaged.orn" % RECORDS)
    trace = bytearray(open(path, "rb").read())
    pos, number = middle_block(trace)
    trace[pos + 6 + 100] ^= 0xFF
    open(damaged, "wb").write(trace)
    return damaged, number


def junk_between(path):
    """Random bytes in front of the block that starts past the middle of the file."""
    damaged = os.path.join(DATA, "one-%d-junk-%d.orn" % (RECORDS, JUNK_MIB))
    trace = open(path, "rb").read()
    pos, _ = middle_block(trace)
    with open(damaged, "wb") as out:
        out.write(trace[:pos])
        out.write(random.Random(20).randbytes(JUNK_MIB << 20))
        out.write(trace[pos:])
    return damaged


def timed(command, expected):
    start = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    took = time.perf_counter() - start
    if done.returncode != expected:
        sys.exit("failed (%d): %s" % (done.returncode, " ".join(command)))
    return took


def floor(trace):
    return [ORNPCAP, "-i" + trace, "-o/dev/null", "-f4", "-p9"]


def kept(command):
    """The records ornfix's report says it kept."""
    report = subprocess.run(command, capture_output=True, check=True, text=True).stdout
    line = next(line for line in report.splitlines() if line.startswith("kept: "))
    return int(line.split()[1])


def main():
    os.makedirs(DATA, exist_ok=True)
    intact = make_trace(RECORDS)
    damaged, block = damage_middle(intact)
    junk = junk_between(intact)
    # An intact trace of the junk trace's size: as many more records as the
    # junk is larger than the trace.
    size = os.path.getsize(intact)
    large = make_trace(RECORDS * os.path.getsize(junk) // size)
    fixed = os.path.join(DATA, "repaired.orn")
    cases = [("floor", floor(intact), 1),
             ("ornfix", [ORNFIX, "-f", damaged, fixed], 0),
             ("floor, junk size", floor(large), 1),
             ("ornfix, junk", [ORNFIX, "-f", junk, fixed], 0)]
    junk_kept = kept(cases[3][1])
    if junk_kept != RECORDS:
        sys.exit("the junk cost records: %d of %d kept" % (junk_kept, RECORDS))
    runs = {name: [] for name, _, _ in cases}
    load_before = open("/proc/loadavg").read().split()[:3]
    for _ in range(RUNS):
        for name, command, expected in cases:
            runs[name].append(timed(command, expected))
    load_after = open("/proc/loadavg").read().split()[:3]
    print("%d records, %.0f MB, block %d damaged; %d MiB of junk, %.0f MB (floor: %.0f MB); "
          "%d rounds, %s cores"
          % (RECORDS, size / 1e6, block, JUNK_MIB, os.path.getsize(junk) / 1e6,
             os.path.getsize(large) / 1e6, RUNS, os.cpu_count()))
    print("load average before %s, after %s" % (" ".join(load_before), " ".join(load_after)))
    for name, times in runs.items():
        print("%-17s median %6.2f s, range %.2f to %.2f s"
              % (name, statistics.median(times), min(times), max(times)))
    for name, base in (("ornfix", "floor"), ("ornfix, junk", "floor, junk size")):
        ratios = [a / b for a, b in zip(runs[name], runs[base])]
        print("%-17s %.2f x its floor (median of the rounds; range %.2f to %.2f)"
              % (name, statistics.median(ratios), min(ratios), max(ratios)))
    os.remove(fixed)


if __name__ == "__main__":
    main()
