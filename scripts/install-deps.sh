#!/bin/sh
# Installs the Debian packages OrnPcap needs to build, test, fuzz and benchmark.
# Safe to run again: it only installs what is missing. Works as root (no sudo
# needed) or as a user with password-less sudo; otherwise it says what to install.
set -eu

PACKAGES="cmake make g++ pkg-config libucl-dev googletest libgtest-dev tshark \
clang libclang-rt-14-dev groff-base man-db python3 time \
build-essential dpkg-dev debhelper fakeroot lintian mandoc bash-completion \
tcpdump python3-scapy file"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

[ -z "$missing" ] && exit 0

echo "install-deps: installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    SUDO="sudo -n"
else
    echo "install-deps: cannot install packages (not root, no password-less sudo)." >&2
    echo "install-deps: please run as root:  apt-get install$missing" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
# tshark asks whether non-root users may capture; we only read files.
echo "wireshark-common wireshark-common/install-setuid boolean false" | $SUDO debconf-set-selections

# Another apt run may hold the dpkg lock (an unattended upgrade, a second
# make): wait for it rather than fail.
APT="apt-get -o DPkg::Lock::Timeout=600"

# shellcheck disable=SC2086
if ! $SUDO $APT install -y --no-install-recommends $missing; then
    $SUDO $APT update
    $SUDO $APT install -y --no-install-recommends $missing
fi
