#!/bin/sh
# make bench: large traces made with mktrace, every converter over them on all
# cores and held to one, and the references (read-and-expand floor, editcap
# copying the pcap output).
#   bench/run.sh <build dir> [records] [runs]
set -eu
cd "$(dirname "$0")/.."
exec python3 bench/bench.py "${1:-build}" "${2:-2000000}" "${3:-3}"
