#!/bin/sh
# The README's package lines must name exactly the packages of tools/packages.txt, stage by
# stage and in order, so that a newcomer installing them by hand gets what setup installs.
# Usage: packages_test.sh SOURCE_DIR
set -u
root=${1:?usage: packages_test.sh SOURCE_DIR}
status=0
for stage in build test; do
    expected="$stage: $(awk -v stage="$stage" '$1 == stage { print $2 }' "$root/tools/packages.txt" |
        tr '\n' ' ' | sed 's/ $//')"
    if ! grep -qxF "$expected" "$root/README.md"; then
        echo "FAIL: README.md has no line '$expected'" >&2
        status=1
    fi
done
exit $status
