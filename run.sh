#!/usr/bin/env bash
# Installs what is missing, builds (Release) in build/ and runs a program:
#   ./run.sh [quadview|pointdemo|pointtrace] [arguments...]
#   ./run.sh bench [--quick]     the benchmark on X11, then its drag rows under Wayland;
#                                the X11 figures also go to build/bench.json
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
source scripts/build.sh

program=quadview
case "${1:-}" in
    quadview|pointdemo|pointtrace|bench) program=$1; shift ;;
esac

case "$program" in
    quadview|bench) ensure_packages build run ;;
    *) ensure_packages build ;;
esac
build_project build Release

if [ "$program" = bench ]; then
    # Room for a 3840 x 2160 viewport on a virtual screen.
    QUADVIEW_SCREEN=3900x2300x24 with_display build/bin/viewbench --json build/bench.json "$@"
    if [ "${1:-}" != --quick ]; then
        ensure_packages test
        echo "== the same drags under a Wayland compositor (headless sway)"
        tests/input/wayland-session.sh --copy build/bin/pointerdrive build/bin/viewbench --settle-only
    fi
    exit
fi
if [ "$program" = quadview ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    # No display: show it on a virtual one and keep a screenshot of the first frames.
    screenshot_quadview build/quadview.png "$@"
    echo "No display here: quadview ran on a virtual screen; its window is in build/quadview.png"
    exit 0
fi
exec "build/bin/$program" "$@"
