#!/usr/bin/env python3
"""Measures OrnPcap on large traces.

Makes four traces with mktrace (N and N/2 records on one port and one LSN; N and
N/2 records spread over 256 LSNs; compressed blocks), then times, best of three:

  floor     OrnPcap on a port with no records: reads, checks and expands every
            block and cuts every record, writes nothing
  each converter and mode over the traces, and orninfo's inventory of them
  editcap   Wireshark's editcap -F pcap copying the pcap file OrnPcap wrote

and prints records per second, MB per second of trace, each converter's time
against the floor, pcap against editcap, and the growth when the records double.
"""
import os
import shutil
import subprocess
import sys
import time

BUILD = os.path.abspath(sys.argv[1])
RECORDS = int(sys.argv[2])
DATA = os.path.join(BUILD, "bench")
ORNPCAP = os.path.join(BUILD, "OrnPcap")
MKTRACE = os.path.join(BUILD, "mktrace")
ORNINFO = os.path.join(BUILD, "orninfo")


def make_trace(name, records, lsns, blocks="compressed"):
    """Port 30; one trace on LSN 1 (the IPv4 protocol code of the ETHERNET
    format), the other over LSNs 0 to lsns - 1."""
    path = os.path.join(DATA, name)
    if not os.path.exists(path):
        first = 1 if lsns == 1 else 0
        scenario = ("version 8\nblocks 60000 %s\nlevel 1\n"
                    "bulk count=%d port=30 lsn=%d lsns=%d size=150 step=1\n"
                    % (blocks, records, first, lsns))
        subprocess.run([MKTRACE, "-", path], input=scenario.encode(), check=True,
                       stdout=subprocess.DEVNULL)
    return path


def best_of(command, cwd, runs=3):
    best = None
    for _ in range(runs):
        shutil.rmtree(cwd, ignore_errors=True)
        os.makedirs(cwd)
        start = time.perf_counter()
        done = subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL)
        took = time.perf_counter() - start
        expected = 1 if "-p9" in command else 0  # the floor finds no events
        if done.returncode != expected:
            sys.exit("failed (%d): %s" % (done.returncode, " ".join(command)))
        best = took if best is None else min(best, took)
    return best


CONVERTERS = [
    # name, arguments, trace kind
    ("floor (no output)", ["-f4", "-p9"], "one"),
    ("pcap ETHERNET", ["-f1", "-p30"], "one"),
    ("pcap Raw-IP", ["-f4", "-p30"], "one"),
    ("pcap PPP-Sync -d1", ["-f2", "-p30", "-lANY", "-d1"], "one"),
    (".vn PPP-Sync", ["-f2", "-p30", "-lANY"], "one"),
    (".i4b", ["-f5", "-p30"], "one"),
    ("floor, 256 LSNs", ["-f4", "-p9"], "lsns"),
    ("pcap ALL, 256 LSNs", ["-f4", "-p30", "-lALL"], "lsns"),
    (".vn ALL, 256 LSNs", ["-f2", "-p30", "-lALL"], "lsns"),
    # The same records in stored blocks: what the converter costs without NRV2B.
    ("floor, stored blocks", ["-f4", "-p9"], "stored"),
    ("pcap ETHERNET, stored", ["-f1", "-p30"], "stored"),
    # orninfo reads every block and record as the floor does, and writes no file.
    ("orninfo", None, "one"),
    ("orninfo, 256 LSNs", None, "lsns"),
    ("orninfo, stored blocks", None, "stored"),
]


def command_for(args, trace):
    if args is None:
        return [ORNINFO, trace]
    return [ORNPCAP, "-i" + trace, "-ox.pcap"] + args

FLOORS = {"one": "floor (no output)", "lsns": "floor, 256 LSNs", "stored": "floor, stored blocks"}


def main():
    os.makedirs(DATA, exist_ok=True)
    print("Making traces with mktrace (kept in %s for later runs)..." % DATA)
    traces = {
        ("one", RECORDS): make_trace("one-%d.orn" % RECORDS, RECORDS, 1),
        ("one", RECORDS // 2): make_trace("one-%d.orn" % (RECORDS // 2), RECORDS // 2, 1),
        ("lsns", RECORDS): make_trace("lsns-%d.orn" % RECORDS, RECORDS, 256),
        ("lsns", RECORDS // 2): make_trace("lsns-%d.orn" % (RECORDS // 2), RECORDS // 2, 256),
        ("stored", RECORDS): make_trace("stored-%d.orn" % RECORDS, RECORDS, 1, "stored"),
        ("stored", RECORDS // 2): make_trace("stored-%d.orn" % (RECORDS // 2), RECORDS // 2, 1,
                                             "stored"),
    }
    work = os.path.join(DATA, "out")
    results = {}
    for name, args, kind in CONVERTERS:
        for records in (RECORDS // 2, RECORDS):
            trace = traces[(kind, records)]
            results[(name, records)] = best_of(command_for(args, trace), work)

    print()
    print("%-24s %9s %8s %12s %9s %8s" % ("run", "records", "seconds", "records/s", "MB/s", "x floor"))
    for name, args, kind in CONVERTERS:
        trace = traces[(kind, RECORDS)]
        mb = os.path.getsize(trace) / 1e6
        took = results[(name, RECORDS)]
        floor = results[(FLOORS[kind], RECORDS)]
        print("%-24s %9d %8.2f %12.0f %9.1f %8.2f" % (name, RECORDS, took, RECORDS / took, mb / took,
                                                       took / floor))

    # The peer reference: editcap copying the pcap file OrnPcap wrote.
    if shutil.which("editcap"):
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        subprocess.run([ORNPCAP, "-i" + traces[("one", RECORDS)], "-oa.pcap", "-f1", "-p30"],
                       cwd=work, stdout=subprocess.DEVNULL, check=True)
        best = None
        for _ in range(3):
            start = time.perf_counter()
            subprocess.run(["editcap", "-F", "pcap", "a.pcap", "b.pcap"], cwd=work, check=True)
            took = time.perf_counter() - start
            best = took if best is None else min(best, took)
        print()
        print("editcap -F pcap copying the same %d packets: %.2f s" % (RECORDS, best))
        for name in ("pcap ETHERNET", "pcap ETHERNET, stored"):
            ours = results[(name, RECORDS)]
            print("  OrnPcap %-22s %.2f s (%.2fx editcap)" % (name + ":", ours, ours / best))
    else:
        print("\neditcap not installed: peer reference skipped")

    print()
    print("Growth when the records double (%d -> %d):" % (RECORDS // 2, RECORDS))
    for name, _, _ in CONVERTERS:
        print("  %-24s %.2fx" % (name, results[(name, RECORDS)] / results[(name, RECORDS // 2)]))
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
