#!/usr/bin/env python3
"""How OrnPcap, orn2pcapng and orninfo scale over the CPUs.

    bench/scaling.py <build dir> [records] [runs]

Makes traces with mktrace (kept in <build>/bench, beside bench.py's): N
records of 150 mostly random bytes in compressed 60 000-byte blocks, the
same in stored blocks, N/2 in stored 32 000-byte blocks (the writer's
choice when compression does not pay), N over 256 LSNs, and N/2 records of
realistic Ethernet traffic. Then, for every converter over the traces it
reads, in one run and in turn, best of `runs` (default 5), each in a fresh
folder:

  all    the binary on both CPUs (taskset over the first two)
  one    held to the first CPU (taskset over one): it reads on one thread
  busy   both again, with a busy loop on the second CPU the whole time

and prints all ÷ one (also with the busy loop), the serial fraction f
that all ÷ one implies by Amdahl's law (all ÷ one = f + (1 - f) / 2 on two
CPUs) and the speed-up that f predicts on 8 and 16 cores (1 / (f + (1 -
f) / n)), the peak RSS, the load of the machine, then the targets: pcap
ETHERNET on random payloads at most 0.58, on stored blocks at most 0.65,
every converter and orn2pcapng at most 0.62, no run above 0.95, none above
1.05 with the busy loop; pcap ETHERNET at most 1.0 times editcap copying
the pcap file it wrote.
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
WORK = os.path.join(DATA, "scaling-out")
MKTRACE = os.path.join(BUILD, "mktrace")
CPUS = sorted(os.sched_getaffinity(0))
TIME = "/usr/bin/time"
BULK = "bulk count=%d port=30 lsn=1 lsns=1 size=150 step=1"

# kind: (records, blocks line, records line)
TRACES = {
    "random": (RECORDS, "blocks 60000 compressed", BULK),
    "stored": (RECORDS, "blocks 60000 stored", BULK),
    "stored 32 KB": (RECORDS // 2, "blocks 32000 stored", BULK),
    "256 LSNs": (RECORDS, "blocks 60000 compressed",
                 "bulk count=%d port=30 lsn=0 lsns=256 size=150 step=1"),
    "realistic": (RECORDS // 2, "blocks 60000 compressed",
                  "traffic format=ethernet count=%d port=30 step=1"),
}

# name, program, arguments (the trace goes where {} stands), trace kinds
RUNS_OF = [
    ("floor (no output)", "OrnPcap", ["-i{}", "-ox.pcap", "-f4", "-p9"],
     ["random", "stored", "stored 32 KB"]),
    ("pcap ETHERNET", "OrnPcap", ["-i{}", "-ox.pcap", "-f1", "-p30"],
     ["random", "stored", "stored 32 KB", "realistic"]),
    ("pcap Raw-IP", "OrnPcap", ["-i{}", "-ox.pcap", "-f4", "-p30"], ["random"]),
    ("pcap PPP-Sync, one direction", "OrnPcap",
     ["-i{}", "-ox.pcap", "-f2", "-p30", "-lANY", "-d1"], ["random"]),
    (".vn PPP-Sync", "OrnPcap", ["-i{}", "-ox.pcap", "-f2", "-p30", "-lANY"], ["random"]),
    (".i4b", "OrnPcap", ["-i{}", "-ox.pcap", "-f5", "-p30"], ["random"]),
    ("pcap ALL (256 files)", "OrnPcap", ["-i{}", "-ox.pcap", "-f4", "-p30", "-lALL"],
     ["256 LSNs"]),
    (".vn ALL (256 files)", "OrnPcap", ["-i{}", "-ox.pcap", "-f2", "-p30", "-lALL"],
     ["256 LSNs"]),
    ("orn2pcapng", "orn2pcapng", ["-p30=ethernet", "{}", "x.pcapng"], ["random", "stored"]),
    ("orn2pcapng, format recognised", "orn2pcapng", ["{}", "x.pcapng"], ["realistic"]),
    ("orninfo", "orninfo", ["{}"], ["random", "stored"]),
]


def make_trace(kind):
    records, blocks, line = TRACES[kind]
    path = os.path.join(DATA, "scaling-%s-%d.orn" % (kind.replace(" ", "-"), records))
    if not os.path.exists(path):
        scenario = "version 8\n%s\nlevel 1\n%s\n" % (blocks, line % records)
        subprocess.run([MKTRACE, "-", path + ".part"], input=scenario.encode(), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.rename(path + ".part", path)
    return path


def on_cpus(cpus):
    return lambda: os.sched_setaffinity(0, set(cpus))


def timed(command, cpus):
    """Seconds and peak RSS (MB) of one run, in a fresh folder."""
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    os.sync()  # the last run's output is written back before this one starts
    rss = os.path.join(DATA, "scaling-rss.txt")
    start = time.perf_counter()
    subprocess.run([TIME, "-f", "%M", "-o", rss] + command, cwd=WORK, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, preexec_fn=on_cpus(cpus))
    took = time.perf_counter() - start
    with open(rss) as f:
        return took, int(f.read().split()[-1]) / 1024.0


def best(command, cpus):
    runs = [timed(command, cpus) for _ in range(RUNS)]
    return min(t for t, _ in runs), max(r for _, r in runs)


class BusyLoop:
    """A loop that keeps the second CPU busy while it lives."""

    def __enter__(self):
        self.process = subprocess.Popen([sys.executable, "-c", "while True: pass"],
                                        preexec_fn=on_cpus(CPUS[1:2]))
        time.sleep(0.2)
        return self

    def __exit__(self, *args):
        self.process.kill()
        self.process.wait()


def amdahl(ratio, cpus=2):
    """The serial fraction a time ratio (all ÷ one) implies, and the speed-ups it predicts."""
    f = max(0.0, (cpus * ratio - 1) / (cpus - 1))
    return f, 1 / (f + (1 - f) / 8), 1 / (f + (1 - f) / 16)


def measure(traces):
    rows = []
    for name, program, args, kinds in RUNS_OF:
        for kind in kinds:
            command = [os.path.join(BUILD, program)] + [a.replace("{}", traces[kind])
                                                        for a in args]
            print("  %s, %s..." % (name, kind), flush=True)
            two, one = CPUS[:2], CPUS[:1]
            row = {"name": name, "kind": kind, "all": best(command, two), "one": best(command, one)}
            with BusyLoop():
                row["busy all"] = best(command, two)
                row["busy one"] = best(command, one)
            rows.append(row)
    return rows


def editcap_ratio(traces, rows):
    if not shutil.which("editcap"):
        return None
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    subprocess.run([os.path.join(BUILD, "OrnPcap"), "-i" + traces["random"], "-oa.pcap", "-f1",
                    "-p30"], cwd=WORK, stdout=subprocess.DEVNULL, check=True)
    copies = []
    for _ in range(RUNS):
        copy = os.path.join(WORK, "copy.pcap")
        if os.path.exists(copy):
            os.remove(copy)
        start = time.perf_counter()
        subprocess.run(["editcap", "-F", "pcap", os.path.join(WORK, "a.pcap"), copy],
                       check=True, preexec_fn=on_cpus(CPUS[:2]))
        copies.append(time.perf_counter() - start)
    ours = next(r for r in rows if r["name"] == "pcap ETHERNET" and r["kind"] == "random")
    return ours["all"][0] / min(copies), min(copies)


def print_rows(rows):
    print("| Run | Trace | All (s) | One (s) | All ÷ one | Serial fraction | Predicted on 8 "
          "| on 16 | All ÷ one, busy loop | Peak RSS MB (one) |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for r in rows:
        ratio = r["all"][0] / r["one"][0]
        f, on8, on16 = amdahl(ratio)
        print("| %s | %s | %.2f | %.2f | %.2f | %.2f | %.1f× | %.1f× | %.2f | %.1f (%.1f) |" % (
            r["name"], r["kind"], r["all"][0], r["one"][0], ratio, f, on8, on16,
            r["busy all"][0] / r["busy one"][0], r["all"][1], r["one"][1]))


def print_targets(rows, editcap):
    def ratio(name, kind):
        r = next(r for r in rows if r["name"] == name and r["kind"] == kind)
        return r["all"][0] / r["one"][0]

    others = [r for r in rows if r["name"] not in ("pcap ETHERNET", "floor (no output)",
                                                  "orninfo")]
    checks = [
        ("pcap ETHERNET, random: all ÷ one", ratio("pcap ETHERNET", "random"), 0.58),
        ("pcap ETHERNET, stored blocks: all ÷ one", ratio("pcap ETHERNET", "stored"), 0.65),
        ("every other converter, random: most all ÷ one",
         max(r["all"][0] / r["one"][0] for r in others if r["kind"] in ("random", "256 LSNs")),
         0.62),
        ("pcap ETHERNET, any trace: most all ÷ one",
         max(r["all"][0] / r["one"][0] for r in rows if r["name"] == "pcap ETHERNET"), 0.95),
        ("pcap ETHERNET, any trace, busy loop: most all ÷ one",
         max(r["busy all"][0] / r["busy one"][0] for r in rows if r["name"] == "pcap ETHERNET"),
         1.05),
        ("any run: most all ÷ one", max(r["all"][0] / r["one"][0] for r in rows), 0.95),
        ("any run, busy loop: most all ÷ one",
         max(r["busy all"][0] / r["busy one"][0] for r in rows), 1.05),
    ]
    if editcap is not None:
        checks.append(("pcap ETHERNET, random ÷ editcap (%.2f s)" % editcap[1], editcap[0], 1.0))
    print("\nTargets:")
    for what, value, limit in checks:
        print("  %-52s %.3f (at most %.2f): %s" % (what, value, limit,
                                                   "met" if value <= limit else "NOT met"))


def main():
    if len(CPUS) < 2:
        sys.exit("scaling.py needs two CPUs at least")
    os.makedirs(DATA, exist_ok=True)
    print("Making traces with mktrace (kept in %s)..." % DATA, flush=True)
    traces = {kind: make_trace(kind) for kind in TRACES}
    load = os.getloadavg()
    print("Timing, best of %d, CPUs %s (load average %.2f %.2f %.2f)..." % (
        (RUNS, CPUS[:2]) + load), flush=True)
    rows = measure(traces)
    editcap = editcap_ratio(traces, rows)
    print("\n%s; load average %.2f before, %.2f after\n" % (
        time.strftime("%Y-%m-%d %H:%M"), load[0], os.getloadavg()[0]))
    print_rows(rows)
    print_targets(rows, editcap)
    shutil.rmtree(WORK, ignore_errors=True)


if __name__ == "__main__":
    main()
