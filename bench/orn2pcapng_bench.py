#!/usr/bin/env python3
"""Measures orn2pcapng against OrnPcap on large traces.

    bench/orn2pcapng_bench.py <build dir> [records] [runs]

Traces (made with mktrace, kept in <build>/bench beside bench.py's):

  random     N records of 150 mostly random bytes on port 30 (bench.py's):
             one port, which orn2pcapng exports with -p30=ethernet
  realistic  N/2 records of realistic Ethernet traffic on port 30
             (bench.py's), its format recognised
  ports      N records of realistic traffic on six ports, one per frame
             format (ETHERNET 30, PPP-Sync 20 on four LSNs, PPP-Async 21,
             Raw-IP 40, I4B 3, Internal-UDP 50), one port after the other

For each trace, in one run and in turn, best of `runs` (default 5), each in
a fresh folder: OrnPcap converting port 30 to pcap (-f1 -p30), and
orn2pcapng exporting every port; the ratio of the two is the target
(at most 1.3). For `ports` also the OrnPcap runs a user needs for every
port. Peak RSS of orn2pcapng on N and N/2 records: it must not grow with
the records. Prints the load of the machine while it ran.
"""
import os
import shutil
import subprocess
import sys
import time

BUILD = os.path.abspath(sys.argv[1])
RECORDS = int(sys.argv[2]) if len(sys.argv) > 2 else 2000000
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 5
DATA = os.path.join(BUILD, "bench")
WORK = os.path.join(DATA, "pcapng-out")
ORNPCAP = os.path.join(BUILD, "OrnPcap")
ORN2PCAPNG = os.path.join(BUILD, "orn2pcapng")
MKTRACE = os.path.join(BUILD, "mktrace")
TIME = "/usr/bin/time"

PORTS = ("traffic format=ethernet count=%(n5)d port=30 step=1\n"
         "traffic format=ppp-sync count=%(n5)d port=20 lsns=4 step=1\n"
         "traffic format=ppp-async count=%(n6)d port=21 step=1\n"
         "traffic format=raw-ip count=%(n6)d port=40 step=1\n"
         "traffic format=i4b count=%(n6)d port=3 step=1\n"
         "traffic format=internal-udp count=%(n6)d port=50 step=1\n")

TRACES = {
    "random": (1, "bulk count=%(n)d port=30 lsn=1 lsns=1 size=150 step=1\n", ["-p30=ethernet"]),
    "realistic": (2, "traffic format=ethernet count=%(n)d port=30 step=1\n", []),
    "ports": (1, PORTS, []),
}

# What OrnPcap needs for every port of the `ports` trace, one run each.
EVERY_PORT = [["-f1", "-p30"], ["-f2", "-p20", "-lALL"], ["-f3", "-p21", "-lALL"],
              ["-f4", "-p40", "-lALL"], ["-f5", "-p3"], ["-f6", "-p50", "-lALL"]]


def trace_of(kind, records):
    divisor, lines, _ = TRACES[kind]
    n = records // divisor
    path = os.path.join(DATA, "%s-%d.orn" % (kind, n))
    if not os.path.exists(path):
        counts = {"n": n, "n5": n // 5, "n6": (n - 2 * (n // 5)) // 4}
        scenario = "version 8\nblocks 60000 compressed\nlevel 1\n" + lines % counts
        subprocess.run([MKTRACE, "-", path + ".part"], input=scenario.encode(), check=True,
                       stderr=subprocess.DEVNULL)
        os.rename(path + ".part", path)
    return path


def timed(command):
    """Seconds and peak RSS (MB) of one run in a fresh folder."""
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    rss = os.path.join(DATA, "pcapng-rss.txt")
    start = time.perf_counter()
    done = subprocess.run([TIME, "-f", "%M", "-o", rss] + command, cwd=WORK,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    took = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("failed (%d): %s" % (done.returncode, " ".join(command)))
    with open(rss) as f:
        return took, int(f.read().split()[-1]) / 1024.0


def ornpcap(trace, args):
    return [ORNPCAP, "-i" + trace, "-ox.pcap"] + args


def busy_seconds():
    with open("/proc/stat") as stat:
        fields = [int(v) for v in stat.readline().split()[1:]]
    return (sum(fields) - fields[3] - fields[4]) / os.sysconf("SC_CLK_TCK")


def children_seconds():
    import resource
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def measure(kind):
    trace = trace_of(kind, RECORDS)
    half = trace_of(kind, RECORDS // 2)
    export = [ORN2PCAPNG] + TRACES[kind][2] + [trace, "x.pcapng"]
    single, ours, rss = [], [], []
    for _ in range(RUNS):  # in turn, so that both see the same load
        single.append(timed(ornpcap(trace, ["-f1", "-p30"]))[0])
        took, peak = timed(export)
        ours.append(took)
        rss.append(peak)
    half_rss = timed([ORN2PCAPNG] + TRACES[kind][2] + [half, "x.pcapng"])[1]
    every = None
    if kind == "ports":
        every = min(sum(timed(ornpcap(trace, a))[0] for a in EVERY_PORT) for _ in range(2))
    return {"records": RECORDS // TRACES[kind][0], "mb": os.path.getsize(trace) / 1e6,
            "single": min(single), "ours": min(ours), "rss": max(rss), "half_rss": half_rss,
            "every": every}


def main():
    os.makedirs(DATA, exist_ok=True)
    for kind in TRACES:
        trace_of(kind, RECORDS)
        trace_of(kind, RECORDS // 2)
    load = os.getloadavg()
    start, busy, ours = time.perf_counter(), busy_seconds(), children_seconds()
    results = {kind: measure(kind) for kind in TRACES}
    wall = time.perf_counter() - start
    others = max(0.0, (busy_seconds() - busy) - (children_seconds() - ours)) / wall
    print("%s; %d CPUs; load average %.2f before; others used %.2f CPUs on average while the "
          "runs were timed; best of %d\n" % (time.strftime("%Y-%m-%d"), os.cpu_count(), load[0],
                                            others, RUNS))
    print("| Trace | Records | MB | OrnPcap -f1 -p30 (s) | orn2pcapng, every port (s) | Ratio "
          "| Peak RSS MB (N/2 records) |")
    print("|---|---|---|---|---|---|---|")
    for kind, r in results.items():
        print("| %s | %s | %.0f | %.2f | %.2f | %.2f | %.1f (%.1f) |" % (
            kind, format(r["records"], ",").replace(",", " "), r["mb"], r["single"], r["ours"],
            r["ours"] / r["single"], r["rss"], r["half_rss"]))
    every = results["ports"]["every"]
    print("\nOrnPcap, one run per port of `ports` (6 runs): %.2f s; orn2pcapng %.2f× that" % (
        every, results["ports"]["ours"] / every))
    print("\nTarget: every port in one pass at most 1.3× OrnPcap's pcap conversion of one port:")
    for kind, r in results.items():
        ratio = r["ours"] / r["single"]
        print("  %-10s %.2f: %s" % (kind, ratio, "met" if ratio <= 1.3 else "NOT met"))
    shutil.rmtree(WORK, ignore_errors=True)


if __name__ == "__main__":
    main()
