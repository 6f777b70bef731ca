#!/usr/bin/env bash
# quadview started as a Wayland desktop starts it (headless sway, XDG_SESSION_TYPE=wayland,
# no QT_QPA_PLATFORM), with Qt's Wayland platform plugin and without it:
#   with it          a Wayland client, and nothing on standard error;
#   without it       one line naming qt6-wayland, and four views through Xwayland;
#   without it or Xwayland   that one line, and exit status 1 (no abort).
# A desktop session that does not start is a failure here, not a skip.
# It removes qt6-wayland, so it runs only in a Debian root made for one run, after
# ./run.sh or ./test.sh has built quadview there:
#   scripts/distro-test.sh trixie bash -c './run.sh && tests/wayland-plugin.sh'
set -euo pipefail

# Inside the desktop session, as its user: one of the three runs.
if [ "${1:-}" = --inner ]; then
    case=$2
    here=$(dirname "$0")
    unset QT_QPA_PLATFORM
    err=$RUNTIME/quadview.err
    fail() { echo "wayland-plugin.sh ($case): $*" >&2; sed 's/^/    stderr: /' "$err" >&2; exit 1; }
    case "$case" in
        native)
            "$here/quadview" 2> "$err" &
            pid=$!
            for _ in $(seq 300); do
                swaymsg -q "[pid=$pid shell=\"xdg_shell\"] nop" 2>/dev/null && break
                kill -0 "$pid" 2>/dev/null || fail "quadview ended before it showed a window"
                sleep 0.1
            done
            swaymsg -q "[pid=$pid shell=\"xdg_shell\"] nop" 2>/dev/null || fail "no Wayland window of quadview's in sway's tree"
            kill "$pid"
            wait "$pid" || true
            [ ! -s "$err" ] || fail "quadview printed something"
            echo "with qt6-wayland: a Wayland client, nothing printed"
            ;;
        xwayland)
            "$here/framewatch" --settle 1000 --timeout 60 -- "$here/quadview" > /dev/null 2> "$err" \
                || fail "quadview did not show four views through Xwayland"
            [ "$(grep -c '^quadview: ' "$err")" = 1 ] && grep -q '^quadview: .*qt6-wayland' "$err" \
                || fail "not one line of quadview's naming qt6-wayland"
            echo "without qt6-wayland: four views through Xwayland, and: $(grep '^quadview: ' "$err")"
            ;;
        none)
            status=0
            timeout 60 "$here/quadview" 2> "$err" || status=$?
            [ "$status" = 1 ] || fail "exit status $status, not 1"
            [ "$(wc -l < "$err")" = 1 ] && grep -q '^quadview: .*qt6-wayland' "$err" \
                || fail "not one line naming qt6-wayland"
            echo "without qt6-wayland or Xwayland: exit status 1, and: $(cat "$err")"
            ;;
    esac
    exit 0
fi

script=$(realpath "$0")
cd "$(dirname "$0")/.."
if [ -z "${QUADVIEW_DISPOSABLE_ROOT:-}" ]; then
    echo "wayland-plugin.sh removes qt6-wayland: run it in a Debian root of its own," \
         "through scripts/distro-test.sh" >&2
    exit 2
fi
dpkg-query -W -f='${Status}' qt6-wayland 2>/dev/null | grep -q 'install ok installed' \
    || { echo "wayland-plugin.sh: qt6-wayland is not installed" >&2; exit 1; }
echo "qt6-wayland is installed"
# The desktop to run in.
source scripts/deps.sh
ensure_packages test
# session CASE [OPTIONS...]: one run in a desktop session of its own.
session() {
    local status=0
    tests/input/wayland-session.sh "${@:2}" --copy build/bin/quadview --copy build/bin/framewatch "$script" --inner "$1" \
        || status=$?
    [ "$status" = 0 ] || { echo "wayland-plugin.sh: the $1 run failed (status $status)" >&2; exit 1; }
}
session native
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq qt6-wayland > /dev/null
session xwayland --platform xcb
session none
echo "wayland-plugin.sh: passed"
