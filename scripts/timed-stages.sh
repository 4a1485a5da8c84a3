#!/bin/sh
# Runs make targets one after the other and says how long each took, then
# the whole; stops at the first that fails (its time is still said).
#
#   scripts/timed-stages.sh MAKE [MAKE ARGUMENTS] -- TARGET...
set -u
make_command=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    make_command="$make_command $1"
    shift
done
[ $# -gt 0 ] && shift

times=""
all_start=$(date +%s)
status=0
for target in "$@"; do
    start=$(date +%s)
    # shellcheck disable=SC2086
    $make_command "$target" || status=$?
    took=$(( $(date +%s) - start ))
    times="$times$(printf '  %-16s %4d s' "$target" "$took")
"
    echo "== $target: $took s"
    [ "$status" -eq 0 ] || break
done
echo "== how long each stage took:"
printf '%s' "$times"
printf '  %-16s %4d s\n' "all" "$(( $(date +%s) - all_start ))"
[ "$status" -eq 0 ] || echo "== $target failed" >&2
exit "$status"
