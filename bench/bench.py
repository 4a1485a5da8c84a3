#!/usr/bin/env python3
"""Measures OrnPcap on large traces.

    bench/bench.py <build dir> [records] [runs]

Makes traces with mktrace (kept in <build>/bench for later runs): N and N/2
records of 150 bytes, mostly random, on one LSN and over 256 LSNs, in
compressed and in stored blocks; N/2 and N/4 records of realistic Ethernet
traffic (real headers, text, repeated patterns) in compressed blocks. Then
times every converter, best of `runs` (default 3):

  all cores   the binary as it runs, on every CPU the process may use
  one core    the same binary held to one CPU (as `taskset -c 0`): it then
              checks and expands the blocks on the thread that scans them
  floor       OrnPcap on a port with no records: reads, checks and expands
              every block and cuts every record, writes nothing
  editcap     Wireshark's editcap -F pcap copying the pcap file OrnPcap wrote

and prints, ready for the README, a Markdown table with records and MB of
trace per second, each converter against its floor, all cores against one,
the growth when the records double and the peak RSS, then the comparison
with editcap and the project's targets.
"""
import os
import platform
import resource
import shutil
import subprocess
import sys
import time

BUILD = os.path.abspath(sys.argv[1])
RECORDS = int(sys.argv[2]) if len(sys.argv) > 2 else 2000000
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 3
DATA = os.path.join(BUILD, "bench")
WORK = os.path.join(DATA, "out")
ORNPCAP = os.path.join(BUILD, "OrnPcap")
MKTRACE = os.path.join(BUILD, "mktrace")
CPUS = sorted(os.sched_getaffinity(0))
TIME = "/usr/bin/time" if os.access("/usr/bin/time", os.X_OK) else None

# kind: (records at full size, scenario line for n records)
TRACES = {
    "random": (RECORDS, "blocks 60000 compressed",
               "bulk count=%d port=30 lsn=1 lsns=1 size=150 step=1"),
    "lsns": (RECORDS, "blocks 60000 compressed",
             "bulk count=%d port=30 lsn=0 lsns=256 size=150 step=1"),
    "stored": (RECORDS, "blocks 60000 stored",
               "bulk count=%d port=30 lsn=1 lsns=1 size=150 step=1"),
    "realistic": (RECORDS // 2, "blocks 60000 compressed",
                  "traffic format=ethernet count=%d port=30 step=1"),
}

# name, arguments, trace kind; the first of each kind is its floor.
CONVERTERS = [
    ("floor (no output)", ["-f4", "-p9"], "random"),
    ("pcap ETHERNET", ["-f1", "-p30"], "random"),
    ("pcap Raw-IP", ["-f4", "-p30"], "random"),
    ("pcap PPP-Sync, one direction", ["-f2", "-p30", "-lANY", "-d1"], "random"),
    (".vn PPP-Sync", ["-f2", "-p30", "-lANY"], "random"),
    (".i4b", ["-f5", "-p30"], "random"),
    ("floor, 256 LSNs", ["-f4", "-p9"], "lsns"),
    ("pcap ALL, 256 LSNs (256 files)", ["-f4", "-p30", "-lALL"], "lsns"),
    (".vn ALL, 256 LSNs (256 files)", ["-f2", "-p30", "-lALL"], "lsns"),
    ("floor, stored blocks", ["-f4", "-p9"], "stored"),
    ("pcap ETHERNET, stored blocks", ["-f1", "-p30"], "stored"),
    ("floor, realistic traffic", ["-f4", "-p9"], "realistic"),
    ("pcap ETHERNET, realistic traffic", ["-f1", "-p30"], "realistic"),
    # The companion programs over the same traces.
    ("orninfo", ["orninfo"], "random"),
    ("orninfo, 256 LSNs", ["orninfo"], "lsns"),
    ("orninfo, stored blocks", ["orninfo"], "stored"),
]

# The companion programs, by the first word of a row's arguments.
PROGRAMS = {"orninfo": lambda trace, rest: [os.path.join(BUILD, "orninfo"), trace] + rest}


def command_for(args, trace):
    if args and args[0] in PROGRAMS:
        return PROGRAMS[args[0]](trace, args[1:])
    return [ORNPCAP, "-i" + trace, "-ox.pcap"] + args

FLOORS = {kind: name for name, _, kind in reversed(CONVERTERS) if name.startswith("floor")}


def make_trace(kind, records):
    path = os.path.join(DATA, "%s-%d.orn" % (kind, records))
    if not os.path.exists(path):
        _, blocks, line = TRACES[kind]
        scenario = "version 8\n%s\nlevel 1\n%s\n" % (blocks, line % records)
        subprocess.run([MKTRACE, "-", path + ".part"], input=scenario.encode(), check=True,
                       stdout=subprocess.DEVNULL)
        os.rename(path + ".part", path)
    return path


def one_cpu():
    os.sched_setaffinity(0, {CPUS[0]})


def timed(command, cwd, pinned=False):
    """Seconds and peak RSS (MB, None without GNU time) of one run, in a
    fresh folder. The RSS comes from /usr/bin/time: the rusage of a child of
    this process would count the interpreter it was forked from."""
    shutil.rmtree(cwd, ignore_errors=True)
    os.makedirs(cwd)
    rss_file = os.path.join(DATA, "rss.txt")
    measured = [TIME, "-f", "%M", "-o", rss_file] + command if TIME else command
    start = time.perf_counter()
    done = subprocess.run(measured, cwd=cwd, stdout=subprocess.DEVNULL,
                          preexec_fn=one_cpu if pinned else None)
    took = time.perf_counter() - start
    expected = 1 if "-p9" in command else 0  # the floor finds no events
    if done.returncode != expected:
        sys.exit("failed (%d): %s" % (done.returncode, " ".join(command)))
    if not TIME:
        return took, None
    with open(rss_file) as f:
        return took, int(f.read().split()[-1]) / 1024.0


def best_of(command, pinned=False):
    runs = [timed(command, WORK, pinned) for _ in range(RUNS)]
    return min(t for t, _ in runs), None if not TIME else max(rss for _, rss in runs)


def megabytes(rss):
    return "n/a" if rss is None else "%.1f" % rss


def editcap_seconds(pcap):
    best = None
    for _ in range(RUNS):
        copy = os.path.join(WORK, "copy.pcap")
        if os.path.exists(copy):
            os.remove(copy)
        start = time.perf_counter()
        subprocess.run(["editcap", "-F", "pcap", pcap, copy], check=True)
        took = time.perf_counter() - start
        best = took if best is None else min(best, took)
    return best


def cpu_seconds():
    """CPU seconds of the whole machine, and of this benchmark's children."""
    with open("/proc/stat") as stat:
        fields = [int(v) for v in stat.readline().split()[1:]]
    busy = sum(fields) - fields[3] - fields[4]  # all but idle and iowait
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return busy / os.sysconf("SC_CLK_TCK"), children.ru_utime + children.ru_stime


def machine():
    model = "unknown CPU"
    for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines():
        if line.startswith("Model name:"):
            model = line.split(":", 1)[1].strip()
    with open("/proc/meminfo") as info:
        memory = int(info.readline().split()[1]) / 1024 / 1024
    return "%d CPUs usable (nproc %d) of %s, %.0f GiB, Linux %s" % (
        len(CPUS), os.cpu_count(), model, memory, platform.release())


def measure(traces):
    results = {}
    for name, args, kind in CONVERTERS:
        full = TRACES[kind][0]
        print("  %s..." % name, flush=True)
        command = command_for(args, traces[(kind, full)])
        half = command_for(args, traces[(kind, full // 2)])
        results[name] = {"all": best_of(command), "one": best_of(command, pinned=True),
                         "half": best_of(half)}
    return results


def print_table(results, traces):
    print("| Run | Records | Seconds | Held to one core | All ÷ one | Records/s | MB/s of trace | "
          "× floor | Time when the records double | Peak RSS MB (one core) |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for name, _, kind in CONVERTERS:
        full = TRACES[kind][0]
        r = results[name]
        took, rss = r["all"]
        one, one_rss = r["one"]
        mb = os.path.getsize(traces[(kind, full)]) / 1e6
        floor = results[FLOORS[kind]]["all"][0]
        print("| %s | %s | %.2f | %.2f | %.2f | %.2f M | %.0f | %.2f | %.2f× | %s (%s) |" % (
            name, format(full, ",").replace(",", " "), took, one, took / one,
            full / took / 1e6, mb / took, took / floor, took / r["half"][0], megabytes(rss),
            megabytes(one_rss)))


def print_editcap(results, traces):
    if not shutil.which("editcap"):
        print("\neditcap not installed: peer reference skipped")
        return None
    print()
    ratios = {}
    for name, kind in (("pcap ETHERNET", "random"), ("pcap ETHERNET, realistic traffic",
                                                      "realistic")):
        full = TRACES[kind][0]
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        subprocess.run([ORNPCAP, "-i" + traces[(kind, full)], "-oa.pcap", "-f1", "-p30"],
                       cwd=WORK, stdout=subprocess.DEVNULL, check=True)
        copy = editcap_seconds(os.path.join(WORK, "a.pcap"))
        ours, one = results[name]["all"][0], results[name]["one"][0]
        ratios[kind] = ours / copy
        print("editcap -F pcap copying the %s packets of %s: %.2f s; OrnPcap %.2f× that "
              "(one core %.2f×)" % (format(full, ",").replace(",", " "), name, copy,
                                    ours / copy, one / copy))
    return ratios


def print_targets(results, editcap):
    pcap = results["pcap ETHERNET"]
    floor = results["floor (no output)"]
    doubling = max(r["all"][0] / r["half"][0] for r in results.values())
    checks = [
        ("pcap ETHERNET, all cores ÷ one core", pcap["all"][0] / pcap["one"][0], 0.65),
        ("floor, all cores ÷ one core", floor["all"][0] / floor["one"][0], 0.6),
        ("most growth when the records double", doubling, 2.2),
    ]
    if editcap is not None:
        checks.insert(1, ("pcap ETHERNET ÷ editcap", editcap["random"], 1.0))
    checks.append(("orninfo ÷ floor", results["orninfo"]["all"][0] / floor["all"][0], 1.2))
    print("\nTargets:")
    for what, value, limit in checks:
        print("  %-40s %.3f (at most %.2f): %s" % (what, value, limit,
                                                   "met" if value <= limit else "NOT met"))


def main():
    os.makedirs(DATA, exist_ok=True)
    print("Making traces with mktrace (kept in %s for later runs)..." % DATA, flush=True)
    traces = {}
    for kind, (full, _, _) in TRACES.items():
        for records in (full, full // 2):
            traces[(kind, records)] = make_trace(kind, records)
    load = os.getloadavg()
    print("Timing, best of %d (load average %.2f %.2f %.2f)..." % ((RUNS,) + load), flush=True)
    start, (busy, ours) = time.perf_counter(), cpu_seconds()
    results = measure(traces)
    wall = time.perf_counter() - start
    busy_after, ours_after = cpu_seconds()
    others = max(0.0, (busy_after - busy) - (ours_after - ours)) / wall
    print()
    print("%s; %s; load average %.2f before; others (programs, kernel threads) used %.2f CPUs"
          " on average while the runs were timed" % (time.strftime("%Y-%m-%d"), machine(),
                                                     load[0], others))
    print()
    print_table(results, traces)
    editcap = print_editcap(results, traces)
    print_targets(results, editcap)
    shutil.rmtree(WORK, ignore_errors=True)


if __name__ == "__main__":
    main()
