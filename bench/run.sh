#!/bin/sh
# make bench: large traces made with mktrace, every converter over them, and
# the references (read-and-expand floor, editcap copying the pcap output).
#   bench/run.sh <build dir> [records]
set -eu
cd "$(dirname "$0")/.."
exec python3 bench/bench.py "${1:-build}" "${2:-2000000}"
