#!/bin/sh
# The kernels' translation units and those of the one-ray forms, built without optimisation
# (where every inline function is emitted out of line and the linker keeps any one copy of it):
# no function but those of an instruction set (its namespace, or a template instantiated over
# its lane type) may hold an AVX instruction, or baseline code could be linked to a copy built
# for a wider instruction set. Arguments: the object files.
set -u
[ "$#" -gt 0 ] || { echo "no object files given" >&2; exit 1; }
status=0
for object in "$@"; do
    [ -r "$object" ] || { echo "cannot read object file '$object'" >&2; exit 1; }
    listing=$(objdump -d -C --no-show-raw-insn "$object") || exit 1
    offenders=$(printf '%s\n' "$listing" | awk '
        /^[0-9a-f]+ <.*>:$/ { name = substr($0, index($0, "<")); next }
        # VEX and EVEX instructions all start with v; ymm, zmm and mask registers only exist there.
        /\tv[a-z0-9]+ |%[yz]mm|%k[0-7]/ {
            if (name !~ /lucentor::(avx2|avx512)::/) bad[name] = 1
        }
        END { for (n in bad) print n }')
    if [ -n "$offenders" ]; then
        echo "$object: AVX code outside the kernels' instruction sets:" >&2
        echo "$offenders" >&2
        status=1
    fi
done
exit $status
