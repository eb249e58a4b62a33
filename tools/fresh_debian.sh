#!/bin/sh
# Tries one of the two README commands as a newcomer would: on a fresh minimal Debian tree made
# with debootstrap, into which the repository is cloned, as root, with nothing else installed.
#   tools/fresh_debian.sh [--keep] RELEASE COMMAND [REF]
#     RELEASE  bookworm or 12, trixie or 13
#     COMMAND  run (./run.sh) or test (./test.sh)
#     REF      what to clone: a commit, branch or tag of this repository (default HEAD, so
#              changes not yet committed are not tried)
#     --keep   leave the tree (about 2 GB after ./test.sh) in place and print where it is
# The tree comes from the Debian mirror this machine's apt uses (MIRROR overrides it) and is
# made under TMPDIR (default /var/tmp). Needs root, and debootstrap (Debian package
# debootstrap); neither the build nor the tests use it, so it stays out of tools/packages.txt.
#
# A chroot has no display, so ./run.sh builds and then lucentor-box refuses to start with one
# line and exit 1, as on any machine without one. That is the expected end here when the
# program was built; the program is then started once more on SDL's dummy driver and ended by
# SIGTERM, which must give exit 0, to show that it runs.
set -eu
usage="usage: tools/fresh_debian.sh [--keep] bookworm|trixie|12|13 run|test [REF]"
keep=false
if [ "${1:-}" = --keep ]; then
    keep=true
    shift
fi
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "$usage" >&2
    exit 2
fi
case $1 in
    bookworm | 12) release=bookworm ;;
    trixie | 13) release=trixie ;;
    *) echo "fresh_debian: unknown release '$1'" >&2; echo "$usage" >&2; exit 2 ;;
esac
case $2 in
    run | test) command=$2 ;;
    *) echo "fresh_debian: unknown command '$2'" >&2; echo "$usage" >&2; exit 2 ;;
esac
ref=${3:-HEAD}

if [ "$(id -u)" -ne 0 ]; then
    echo "fresh_debian: debootstrap and chroot need root" >&2
    exit 1
fi
if ! command -v debootstrap >/dev/null 2>&1; then
    echo "fresh_debian: debootstrap not found: install the Debian package debootstrap" >&2
    exit 1
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$repo" rev-parse --verify --quiet "$ref^{commit}") || {
    echo "fresh_debian: '$ref' is no commit of $repo" >&2
    exit 2
}

# The first Debian archive (not its security suite) that apt here names, in either format.
if [ -z "${MIRROR:-}" ]; then
    MIRROR=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
        /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; break } }
             $1 == "URIs:" { print $2 }' |
        grep -E '/debian/?$' | head -n 1) || true
    MIRROR=${MIRROR:-http://deb.debian.org/debian}
fi

tree=$(mktemp -d "${TMPDIR:-/var/tmp}/lucentor-$release.XXXXXX")
log=$tree.debootstrap.log
# As on a machine's own root: apt's unprivileged downloader must be able to enter it.
chmod 755 "$tree"
mounted=""
cleanUp() {
    status=$?
    for point in $mounted; do
        umount -R "$point" 2>/dev/null || umount -R -l "$point" || true
    done
    if $keep; then
        echo "fresh_debian: the tree is kept in $tree"
    elif findmnt -rn -o TARGET | grep -q "^$tree/"; then
        echo "fresh_debian: something is still mounted in $tree; remove it by hand" >&2
    else
        rm -rf --one-file-system "$tree"
    fi
    rm -f "$log"
    exit $status
}
trap cleanUp EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

now() { date +%s; }
started=$(now)
echo "fresh_debian: making a minimal Debian $release in $tree from $MIRROR"
debootstrap --variant=minbase "$release" "$tree" "$MIRROR" >"$log" 2>&1 || {
    cat "$log" >&2
    echo "fresh_debian: debootstrap failed" >&2
    exit 1
}
echo "fresh_debian: tree made in $(($(now) - started)) s"

git clone --quiet --no-checkout "$repo" "$tree/root/lucentor"
git -C "$tree/root/lucentor" checkout --quiet --detach "$commit"
echo "fresh_debian: cloned $commit"

# The programs, Xvfb and the sanitizers read /proc, /dev (with its pts and shm) and /sys. The
# bound /dev becomes a slave so that unmounting it here never unmounts anything of the host's.
cp /etc/resolv.conf "$tree/etc/resolv.conf"
mount -t proc proc "$tree/proc"
mounted="$tree/proc $mounted"
mount -t sysfs sysfs "$tree/sys"
mounted="$tree/sys $mounted"
mount --rbind /dev "$tree/dev"
mount --make-rslave "$tree/dev"
mounted="$tree/dev $mounted"

inTree() {
    chroot "$tree" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        sh -c "cd /root/lucentor && $1"
}

started=$(now)
echo "fresh_debian: ./$command.sh on Debian $release"
status=0
inTree "./$command.sh" || status=$?
elapsed=$(($(now) - started))
if [ "$command" = test ]; then
    if [ $status -eq 0 ]; then
        echo "fresh_debian: PASS ./test.sh on a fresh Debian $release in $elapsed s"
    else
        echo "fresh_debian: FAIL ./test.sh on a fresh Debian $release: exit $status after $elapsed s" >&2
    fi
    exit $status
fi

if [ $status -ne 1 ] || [ ! -x "$tree/root/lucentor/build/programs/lucentor-box" ]; then
    echo "fresh_debian: FAIL ./run.sh on a fresh Debian $release: exit $status after $elapsed s" \
        "(expected: built, then exit 1 for want of a display)" >&2
    exit 1
fi
echo "fresh_debian: ./run.sh built and started lucentor-box in $elapsed s; it ended for want" \
    "of a display (exit 1), as expected here"
status=0
inTree "SDL_VIDEODRIVER=dummy timeout --preserve-status 5 build/programs/lucentor-box" ||
    status=$?
if [ $status -ne 0 ]; then
    echo "fresh_debian: FAIL lucentor-box on the dummy driver: exit $status (expected 0 after SIGTERM)" >&2
    exit 1
fi
echo "fresh_debian: PASS ./run.sh on a fresh Debian $release in $elapsed s;" \
    "lucentor-box ran 5 s on the dummy driver and ended cleanly"
