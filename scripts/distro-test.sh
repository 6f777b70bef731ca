#!/usr/bin/env bash
# Runs a command on the committed tree inside a fresh, minimal Debian root, as a new
# user of that release would:
#   scripts/distro-test.sh SUITE [COMMAND...]     (default COMMAND: ./test.sh)
# SUITE is bookworm (Debian 12), trixie (Debian 13) or forky (testing). The first run
# makes a pristine root with debootstrap under /var/tmp/quadview-roots and keeps it;
# every run works in a copy of it that is deleted afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."

# Second stage, in the private mount namespace: mount what the tests need and run.
if [ "${1:-}" = --inside ]; then
    work=$2 cache=$3
    shift 3
    mounts=()
    unmount_all() {
        local i process
        # Whatever the command left running in the root (a server, an agent) would
        # keep its mounts busy.
        for process in /proc/[0-9]*; do
            [ "$(readlink "$process/root" 2>/dev/null)" = "$work" ] && kill -9 "${process#/proc/}" 2>/dev/null
        done
        for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
            umount "${mounts[i]}" || umount -l "${mounts[i]}"
        done
    }
    trap unmount_all EXIT
    mount_at() {
        local target=$work$1
        shift
        mount "$@" "$target"
        mounts+=("$target")
    }
    mount_at /proc -t proc proc
    mount_at /dev --bind /dev
    mount_at /dev/pts --bind /dev/pts
    # Compositor and clients hand frames over shared memory.
    mount_at /dev/shm -t tmpfs -o mode=1777 tmpfs
    mount_at /var/cache/apt/archives --bind "$cache"
    env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 TERM="${TERM:-dumb}" CI="${CI:-}" QUADVIEW_DISPOSABLE_ROOT=1 \
        chroot "$work" /bin/bash -c 'cd /quadview && "$@"' bash "$@"
    exit
fi

usage() {
    echo "usage: scripts/distro-test.sh bookworm|trixie|forky [COMMAND...]" >&2
    exit 2
}

suite=${1:-}
case "$suite" in
    bookworm|trixie|forky) shift ;;
    *) usage ;;
esac
[ $# -gt 0 ] || set -- ./test.sh

if [ "$(id -u)" -ne 0 ]; then
    echo "distro-test.sh: making and entering a Debian root needs root (debootstrap, mount, chroot);" \
         "run it as root, for example: sudo ./test.sh --distro $suite" >&2
    exit 1
fi

source scripts/deps.sh
ensure_packages distro

store=/var/tmp/quadview-roots
pristine=$store/$suite
cache=$store/$suite.apt-cache
mkdir -p "$store" "$cache"

# The Debian mirror this machine's own apt uses; Debian's own when there is none.
mirror_url() {
    local uri
    uri=$( (grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | tr ' ' '\n' | grep -v '^URIs:'
            grep -hsE '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list | awk '{print $2}') \
           | grep -E '/debian/?$' | head -n 1)
    echo "${uri:-http://deb.debian.org/debian}"
}

# True while anything is mounted at or below the given folder.
mounted_below() {
    awk -v dir="$1" '$2 == dir || index($2, dir "/") == 1 { found = 1 } END { exit !found }' /proc/mounts
}

# Deletes a root, but never through a mount: rm -rf through a bind of /dev would
# delete the host's device nodes.
remove_root() {
    local dir=$1
    [ -e "$dir" ] || return 0
    if mounted_below "$dir"; then
        echo "distro-test.sh: something is still mounted below $dir; not deleting it" >&2
        return 1
    fi
    rm -rf --one-file-system "$dir"
}

if [ ! -d "$pristine" ]; then
    mirror=$(mirror_url)
    script=/usr/share/debootstrap/scripts/$suite
    # An older debootstrap has no script for a newer testing suite; sid's fits it.
    [ -e "$script" ] || script=/usr/share/debootstrap/scripts/sid
    echo "== making a minimal $suite root from $mirror (once; kept in $pristine)"
    remove_root "$pristine.new"
    unshare --mount --propagation private debootstrap --variant=minbase "$suite" "$pristine.new" "$mirror" "$script" > "$store/$suite.debootstrap.log" 2>&1 || {
        tail -n 20 "$store/$suite.debootstrap.log" >&2
        echo "distro-test.sh: debootstrap of $suite failed; the whole log is in $store/$suite.debootstrap.log" >&2
        remove_root "$pristine.new"
        exit 1
    }
    # A dated mirror may serve a testing Release file past its Valid-Until.
    echo 'Acquire::Check-Valid-Until "false";' > "$pristine.new/etc/apt/apt.conf.d/99quadview-valid-until"
    mv "$pristine.new" "$pristine"
fi

work=$(mktemp -d "$store/$suite.run.XXXXXX")
cleanup() {
    local status=$?
    remove_root "$work" || status=1
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "== copying the $suite root and the committed tree ($(git rev-parse --short HEAD))"
cp -a "$pristine/." "$work/"
cp -L /etc/resolv.conf "$work/etc/resolv.conf"
mkdir -p "$work/quadview"
git archive HEAD | tar -x -C "$work/quadview"

# The mounts live in a mount namespace of their own, so none can outlive the run, and
# the trap inside takes them down on every way out before the root is deleted.
unshare --mount --propagation private "$PWD/scripts/distro-test.sh" --inside "$work" "$cache" "$@"
