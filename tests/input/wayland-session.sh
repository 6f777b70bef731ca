#!/usr/bin/env bash
# Runs a command inside a private headless sway (a real Wayland compositor with
# Mesa's software renderer), with QT_QPA_PLATFORM=wayland:
#   tests/input/wayland-session.sh [--outputs N] [--copy FILE]... COMMAND [ARGS...]
# --outputs 2 adds a second output, at scale 2, right of the first.
# sway refuses to run as root; as root, compositor and command run as an
# unprivileged user made for the purpose, from copies of the command, its file
# arguments and each --copy FILE, side by side in a folder that user can read.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
companions=()
outputs=1
while [ "${1:-}" = --copy ] || [ "${1:-}" = --outputs ]; do
    case "$1" in
        --copy) companions+=("$2") ;;
        --outputs) outputs=$2 ;;
    esac
    shift 2
done

runtime=$(mktemp -d /tmp/quadview-wayland.XXXXXX)
sway_pid=
cleanup() {
    [ -n "$sway_pid" ] && kill "$sway_pid" 2>/dev/null && wait "$sway_pid" 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT
# The compositor's user may not be able to read this tree.
cp "$here/sway.conf" "$runtime/sway.conf"

as_user=()
if [ "$(id -u)" -eq 0 ]; then
    user=quadview-wayland
    id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"
    # The command and its arguments may live where that user cannot look (a private
    # clone); give it copies of every file among them.
    mkdir "$runtime/files"
    for file in "${companions[@]}"; do
        cp "$file" "$runtime/files/"
    done
    args=()
    for arg in "$@"; do
        if [ -f "$arg" ]; then
            cp "$arg" "$runtime/files/"
            arg=$runtime/files/$(basename "$arg")
        fi
        args+=("$arg")
    done
    set -- "${args[@]}"
    chown -R "$user:" "$runtime"
    as_user=(setpriv --reuid="$user" --regid="$user" --clear-groups --)
fi
chmod 700 "$runtime"

export XDG_RUNTIME_DIR=$runtime HOME=$runtime XDG_CACHE_HOME=$runtime/cache
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK
WLR_HEADLESS_OUTPUTS=$outputs WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    "${as_user[@]}" sway -c "$runtime/sway.conf" > "$runtime/sway.log" 2>&1 &
sway_pid=$!

for _ in $(seq 100); do
    socket=$(cd "$runtime" && ls wayland-[0-9] 2>/dev/null | head -n 1 || true)
    swaysock=$(ls "$runtime"/sway-ipc.*.sock 2>/dev/null | head -n 1 || true)
    [ -n "$socket" ] && [ -n "$swaysock" ] && break
    kill -0 "$sway_pid" 2>/dev/null || { cat "$runtime/sway.log" >&2; echo "wayland-session.sh: sway did not start" >&2; exit 1; }
    sleep 0.1
done
[ -n "$socket" ] || { echo "wayland-session.sh: sway made no Wayland socket" >&2; exit 1; }

status=0
WAYLAND_DISPLAY=$socket SWAYSOCK=$swaysock QT_QPA_PLATFORM=wayland "${as_user[@]}" "$@" || status=$?
exit "$status"
