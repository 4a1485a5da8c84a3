#!/bin/sh
# The Debian package as a user meets it: built and checked by lintian
# (scripts/build-deb.sh), installed with dpkg, every program run from its
# installed path, the sample converted, the completions loaded, then removed.
# Installing needs root; elsewhere the package is only built and checked.
#
#   scripts/test-package.sh [out]
set -eu
cd "$(dirname "$0")/.."
out=${1:-build-deb}
scripts/build-deb.sh "$out"
deb=$(ls "$out"/ornpcap_*_*.deb)

if [ "$(id -u)" -ne 0 ]; then
    echo "test-package: not root: the package was built and checked, not installed"
    exit 0
fi
if dpkg-query -W -f='${Status}' ornpcap 2>/dev/null | grep -q "install ok installed"; then
    echo "test-package: ornpcap is installed on this machine already: left alone, not tested"
    exit 0
fi

fail() { echo "test-package: $*" >&2; dpkg -r ornpcap >/dev/null 2>&1 || true; exit 1; }

dpkg -i "$deb" >/dev/null || fail "dpkg -i $deb failed"
/usr/bin/OrnPcap -? >/dev/null && fail "OrnPcap -? should end with 1"
for program in $(cat scripts/programs); do
    [ "$program" = OrnPcap ] && continue
    path=/usr/bin/$program
    # The extcap lives where Wireshark runs extcaps from.
    [ "$program" = orndump ] && path=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/wireshark/extcap/orndump
    "$path" --help >/dev/null || fail "$program --help failed"
    man -w "$program" >/dev/null || fail "no man page for $program"
done
man -w OrnPcap >/dev/null || fail "no man page for OrnPcap"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/Trace.orn "$work/"
(cd "$work" && /usr/bin/OrnPcap -f1 -p30 >stdout.txt) || fail "the sample did not convert"
grep -q "Number of generated files:          1" "$work/stdout.txt" || fail "unexpected report"
[ -s "$work/Trace.pcap" ] || fail "no Trace.pcap"

if command -v tshark >/dev/null 2>&1; then
    tshark -D 2>/dev/null | grep -q "orn (ORN trace)" || fail "tshark -D does not list orndump's interface"
fi

for program in $(cat scripts/programs); do
    bash -c ". /usr/share/bash-completion/bash_completion; _completion_loader $program;
             complete -p $program" >/dev/null 2>&1 || fail "no completion loads for $program"
done

dpkg -r ornpcap >/dev/null || fail "dpkg -r failed"
[ ! -e /usr/bin/OrnPcap ] || fail "OrnPcap still installed after dpkg -r"
echo "test-package: $deb installs, runs, converts the sample and removes cleanly"
