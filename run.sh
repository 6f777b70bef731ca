#!/usr/bin/env bash
# Installs what is missing, builds (Release) in build/ and runs a program:
#   ./run.sh [quadview|pointdemo|pointtrace] [arguments...]
#   ./run.sh bench [--quick]     the benchmark on X11, then its catch-up rows under Wayland;
#                                the X11 figures also go to build/bench.json
#   ./run.sh bench --desktop sway|gnome|kde [--quick]
#                                the drag rows under that desktop, at scale 1 and at scale 2
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
source scripts/build.sh

program=quadview
case "${1:-}" in
    quadview|pointdemo|pointtrace|bench) program=$1; shift ;;
esac

# Only what this run needs is built: the program itself, framewatch for the screenshot
# without a display, and the benchmark with what it measures (its own dependencies).
no_display=no
[ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && no_display=yes
case "$program" in
    quadview)
        ensure_packages build run
        targets=(quadview)
        [ "$no_display" = yes ] && targets+=(framewatch) ;;
    # The benchmark drives the display server itself (xdotool, sway), as the tests do.
    bench) ensure_packages build run test; targets=(viewbench) ;;
    *) ensure_packages build; targets=("$program") ;;
esac
build_project build Release --target "${targets[@]}"

if [ "$program" = bench ] && [ "${1:-}" = --desktop ]; then
    desktop=${2:-}
    case "$desktop" in
        sway) ;;
        gnome|kde) ensure_packages "$desktop" ;;
        *) echo "usage: ./run.sh bench --desktop sway|gnome|kde [--quick]" >&2; exit 2 ;;
    esac
    for scale in 1 2; do
        echo "== drags under $desktop at scale $scale"
        tests/input/wayland-session.sh --desktop "$desktop" --scale "$scale" --copy build/bin/pointerdrive \
            build/bin/viewbench --drags-only "${@:3}"
    done
    exit
fi
if [ "$program" = bench ]; then
    # Room for a 3840 x 2160 viewport on a virtual screen.
    QUADVIEW_SCREEN=3900x2300x24 with_display build/bin/viewbench --json build/bench.json "$@"
    if [ "${1:-}" != --quick ]; then
        echo "== how soon the picture catches up, under a Wayland compositor (headless sway)"
        tests/input/wayland-session.sh --outputs 2 --copy build/bin/pointerdrive build/bin/viewbench --settle-only
    fi
    exit
fi
if [ "$program" = quadview ] && [ "$no_display" = yes ]; then
    # No display: show it on a virtual one and keep a screenshot of the first frames.
    screenshot_quadview build/quadview.png "$@"
    echo "No display here: quadview ran on a virtual screen; its window is in build/quadview.png"
    exit 0
fi
exec "build/bin/$program" "$@"
