#!/bin/sh
# The kernels' translation units and those of the one-ray forms, built without optimisation
# (where every inline function and template instance is emitted out of line): no function of an
# instruction set (of its namespace, or a template instantiated over its lane type) may be
# emitted by two of them. The linker keeps any one copy of such a function for every caller, so
# a copy that one translation unit built from different definitions or flags would silently
# replace the other's. Arguments: the object files.
set -u
[ "$#" -gt 0 ] || { echo "no object files given" >&2; exit 1; }
for object in "$@"; do
    [ -r "$object" ] || { echo "cannot read object file '$object'" >&2; exit 1; }
done
for object in "$@"; do
    symbols=$(nm --defined-only "$object") || exit 1
    printf '%s\n' "$symbols" | awk -v object="$object" '$2 ~ /^[TtWwVvu]$/ { print $3, object }'
done | c++filt | awk '
    # The demangled name holds spaces: the object is the last field.
    { object = $NF; $NF = ""; sub(/ $/, ""); if ($0 ~ /lucentor::(avx2|avx512)::/) print $0 "\t" object }' |
    sort -u | awk -F '\t' '
    $1 == last { if (!reported[$1]++) print "emitted twice:", $1, "in", lastObject, "and", $2; bad = 1 }
    { last = $1; lastObject = $2 }
    END { exit bad }' >&2
