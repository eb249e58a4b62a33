#!/bin/sh
# The kernels' translation units, built without optimisation (where every inline function is
# emitted out of line): no function of an instruction set's namespace may be emitted by two of
# them. The linker keeps any one copy of such a function for every caller, so a copy that one
# translation unit built from different definitions or flags would silently replace the other's.
# Arguments: the object files.
set -u
[ "$#" -gt 0 ] || { echo "no object files given" >&2; exit 1; }
for object in "$@"; do
    nm --defined-only "$object" | awk -v object="$object" '
        $2 ~ /^[TtWwVvu]$/ && $3 ~ /8lucentor(4avx2|6avx512)/ { print $3, object }'
done | sort | awk '
    $1 == last { if (!reported[$1]++) print "emitted twice:", $1, "in", lastObject, "and", $2; bad = 1 }
    { last = $1; lastObject = $2 }
    END { exit bad }' >&2
