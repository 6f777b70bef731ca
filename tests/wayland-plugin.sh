#!/usr/bin/env bash
# quadview started as a Wayland desktop starts it (headless sway, XDG_SESSION_TYPE=wayland,
# no QT_QPA_PLATFORM), with Qt's Wayland platform plugin and without it:
#   with it          a Wayland client, and nothing on standard error;
#   without it       one line naming qt6-wayland, and four views through Xwayland (on
#                    sway's screen);
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
    # Starts quadview and waits until sway shows a window of it through that shell
    # (xdg_shell: a Wayland client; xwayland: an X11 one).
    start_quadview() {
        "$here/quadview" 2> "$err" &
        pid=$!
        for _ in $(seq 300); do
            swaymsg -q "[pid=$pid shell=\"$1\"] nop" 2>/dev/null && return 0
            kill -0 "$pid" 2>/dev/null || fail "quadview ended before it showed a window"
            sleep 0.1
        done
        fail "no $1 window of quadview's in sway's tree"
    }
    case "$case" in
        native)
            start_quadview xdg_shell
            kill "$pid"
            wait "$pid" || true
            [ ! -s "$err" ] || fail "quadview printed something"
            echo "with qt6-wayland: a Wayland client, nothing printed"
            ;;
        xwayland)
            start_quadview xwayland
            # The window fills the output (sway.conf: no borders or gaps). Each quarter of it
            # is a view, with the cube's faces, in pure colours, around its middle.
            for _ in $(seq 60); do
                grim -t ppm "$RUNTIME/screen.ppm"
                views=$(tail -c $((1280 * 800 * 3)) "$RUNTIME/screen.ppm" | od -An -v -tu1 -w3 | awk '
                    { x = (NR - 1) % 1280; y = int((NR - 1) / 1280)
                      qx = x % 640; qy = y % 400
                      if (qx > 220 && qx < 420 && qy > 120 && qy < 280 \
                          && ($1 == 0 || $1 == 255) && ($2 == 0 || $2 == 255) && ($3 == 0 || $3 == 255) \
                          && $1 + $2 + $3 > 0 && $1 + $2 + $3 < 765)
                          face[int(x / 640) + 2 * int(y / 400)]++ }
                    END { n = 0; for (v = 0; v < 4; ++v) if (face[v] > 100) ++n; print n }')
                [ "$views" = 4 ] && break
                sleep 0.5
            done
            kill "$pid"
            wait "$pid" || true
            [ "$views" = 4 ] || fail "the screen shows the cube in $views of the four views"
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
    tests/input/wayland-session.sh "${@:2}" --copy build/bin/quadview "$script" --inner "$1" \
        || status=$?
    [ "$status" = 0 ] || { echo "wayland-plugin.sh: the $1 run failed (status $status)" >&2; exit 1; }
}
session native
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq qt6-wayland > /dev/null
session xwayland --platform xcb
session none
echo "wayland-plugin.sh: passed"
