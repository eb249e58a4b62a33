#!/bin/sh
# The kernels' translation units, built without optimisation (where every inline function
# is emitted out of line and the linker keeps any one copy of it): no function outside the
# kernels' own namespaces may hold an AVX instruction, or baseline code could be linked to a
# copy built for a wider instruction set. Arguments: the object files.
set -u
status=0
for object in "$@"; do
    offenders=$(objdump -d --no-show-raw-insn "$object" | awk '
        /^[0-9a-f]+ <.*>:$/ { name = $2; next }
        # VEX and EVEX instructions all start with v; ymm, zmm and mask registers only exist there.
        /\tv[a-z0-9]+ |%[yz]mm|%k[0-7]/ {
            if (name !~ /8lucentor6avx512|8lucentor4avx2/) bad[name] = 1
        }
        END { for (n in bad) print n }')
    if [ -n "$offenders" ]; then
        echo "$object: AVX code outside the kernels' namespaces:" >&2
        echo "$offenders" >&2
        status=1
    fi
done
[ "$#" -gt 0 ] || { echo "no object files given" >&2; exit 1; }
exit $status
