#!/usr/bin/env bash
# Installs what is missing, builds (Release) in build/ and runs a program:
#   ./run.sh [quadview|pointdemo|pointtrace] [arguments...]
#   ./run.sh bench [--quick]     the benchmark; its figures also go to build/bench.json
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
    with_display build/bin/viewbench --json build/bench.json "$@"
    exit
fi
if [ "$program" = quadview ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    # No display: show it on a virtual one and keep a screenshot of the first frames.
    screenshot_quadview build/quadview.png "$@"
    echo "No display here: quadview ran on a virtual screen; its window is in build/quadview.png"
    exit 0
fi
exec "build/bin/$program" "$@"
