#!/usr/bin/env bash
# Installs what is missing, builds (Release) in build/ and runs a program:
#   ./run.sh [quadview|pointdemo|pointtrace] [arguments...]
#   ./run.sh bench [--quick] [--compare FILE]
#                                the benchmark on X11, then its catch-up rows under Wayland;
#                                the figures also go to build/bench.json, and --compare
#                                sets them beside FILE's (docs/benchmark.json, say)
#   ./run.sh bench --desktop sway|gnome|kde [--quick] [--compare FILE]
#                                the drag rows under that desktop, at scale 1 and at scale 2,
#                                to build/bench-DESKTOP.json
#   ./run.sh bench [--desktop NAME] --against REV [--rounds N] [--parts LIST]
#                                the working tree against revision REV, the two builds run
#                                turn about (5 rounds each unless told), every row set beside
#                                REV's with a 95 % interval (scripts/bench-against.sh)
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
# Only the benchmark needs the tests' tools and libraries.
testing=OFF
case "$program" in
    quadview)
        ensure_packages build run
        targets=(quadview)
        [ "$no_display" = yes ] && targets+=(framewatch) ;;
    # The benchmark drives the display server itself (xdotool, sway), as the tests do.
    bench) ensure_packages build run test; testing=ON; targets=(viewbench) ;;
    *) ensure_packages build; targets=("$program") ;;
esac
build_project build Release -DBUILD_TESTING=$testing --target "${targets[@]}"

if [ "$program" = bench ]; then
    desktop= compare= against=() options=()
    while [ $# -gt 0 ]; do
        case "$1" in
            --desktop) desktop=${2:-}; shift 2 || shift ;;
            --compare) compare=${2:-}; shift 2 || shift ;;
            --against) against+=("${2:-}"); shift 2 || shift ;;
            --rounds|--parts) against=("$1" "${2:-}" "${against[@]}"); shift 2 || shift ;;
            *) options+=("$1"); shift ;;
        esac
    done
    case "$desktop" in
        ''|sway) ;;
        gnome|kde) ensure_packages "$desktop" ;;
        *) echo "usage: ./run.sh bench [--desktop sway|gnome|kde] [--quick] [--compare FILE | --against REV]" >&2; exit 2 ;;
    esac
    if [ ${#against[@]} -gt 0 ]; then
        exec scripts/bench-against.sh ${desktop:+--desktop "$desktop"} "${against[@]}"
    fi
    if [ -n "$compare" ]; then
        [ -f "$compare" ] || { echo "./run.sh bench: no figures in '$compare' to compare with" >&2; exit 2; }
        # Kept aside: this run's figures may go where they came from.
        baseline=$(mktemp)
        trap 'rm -f "$baseline"' EXIT
        cp "$compare" "$baseline"
    fi
    # Inside a Wayland session, viewbench writes where the session keeps its output.
    in_session() { QUADVIEW_TEST_OUTPUT=$PWD/build tests/input/wayland-session.sh "$@"; }
    if [ -n "$desktop" ]; then
        result=build/bench-$desktop.json parts=(build/bench-"$desktop"-{1,2}.json)
        rm -f "$result" "${parts[@]}"
        for scale in 1 2; do
            echo "== drags under $desktop at scale $scale"
            in_session --desktop "$desktop" --scale "$scale" --copy build/bin/pointerdrive \
                build/bin/viewbench --drags-only --json "bench-$desktop-$scale.json" "${options[@]}"
        done
    else
        result=build/bench.json parts=(build/bench-x11.json)
        rm -f "$result" build/bench-x11.json build/bench-wayland.json
        # Room for a 3840 x 2160 viewport on a virtual screen.
        QUADVIEW_SCREEN=3900x2300x24 with_display build/bin/viewbench --json build/bench-x11.json "${options[@]}"
        if [[ " ${options[*]} " != *" --quick "* ]]; then
            echo "== how soon the picture catches up, under a Wayland compositor (headless sway)"
            in_session --outputs 2 --copy build/bin/pointerdrive build/bin/viewbench --settle-only --json bench-wayland.json
            parts+=(build/bench-wayland.json)
        fi
    fi
    python3 scripts/benchjson.py merge "$result" "${parts[@]}"
    echo "The figures are in $result."
    [ -z "$compare" ] || python3 scripts/benchjson.py compare "$baseline" "$result"
    exit
fi
if [ "$program" = quadview ] && [ "$no_display" = yes ]; then
    # No display: show it on a virtual one and keep a screenshot of the first frames.
    screenshot_quadview build/quadview.png "$@"
    echo "No display here: quadview ran on a virtual screen; its window is in build/quadview.png"
    exit 0
fi
exec "build/bin/$program" "$@"
