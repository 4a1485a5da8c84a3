#!/bin/sh
# make deb: the binary Debian package of the suite, built with the Debian
# tools from a copy of the source tree, into <out> (default build-deb/),
# then checked by lintian. Any lintian error fails the build.
#
#   scripts/build-deb.sh [out]
set -eu
cd "$(dirname "$0")/.."
out=$(mkdir -p "${1:-build-deb}" && cd "${1:-build-deb}" && pwd)
rm -rf "$out/src" "$out"/*.deb "$out"/*.ddeb "$out"/*.changes "$out"/*.buildinfo
mkdir -p "$out/src"
# The tracked and new files as they stand, not the build folders.
git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$out/src"
(cd "$out/src" && dpkg-buildpackage -b -us -uc -J"${JOBS:-auto}" >"$out/build.log" 2>&1) || {
    tail -n 30 "$out/build.log" >&2
    echo "build-deb: dpkg-buildpackage failed; the whole log is $out/build.log" >&2
    exit 1
}
changes=$(ls "$out"/*.changes)
status=0
lintian --fail-on error --info "$changes" >"$out/lintian.log" 2>&1 || status=$?
grep -E '^[EWI]:' "$out/lintian.log" || true
[ "$status" -eq 0 ] || { echo "build-deb: lintian reports errors ($out/lintian.log)" >&2; exit 1; }
ls -l "$out"/*.deb
