#!/usr/bin/env bash
# The benchmark of the working tree against another revision, the two builds run turn
# about in one session, so that what the machine does meanwhile falls on both alike:
#   scripts/bench-against.sh [--rounds N] [--parts LIST] [--desktop sway|gnome|kde] REV
# (./run.sh bench --against REV calls it, after building the working tree in build/.)
# REV is built from its own tree, as it was committed, in build/against/SHA. Each round
# runs the working tree's benchmark, then REV's: on X11 and under sway, or under the
# desktop at scales 1 and 2. Every run's figures are kept in build/against/SHA/rounds/
# (rounds-DESKTOP/), and scripts/benchjson.py against sets each row of the working tree
# beside REV's: by its ratio to a bare window's floor where it has one, else by its value.
# --parts takes viewbench's parts (frames, launches, drags, floors, catchups) for a
# quicker look; a REV whose benchmark has no parts runs all of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build.sh

rounds=5 parts= desktop=
while [ $# -gt 1 ]; do
    case "$1" in
        --rounds) rounds=$2 ;;
        --parts) parts=$2 ;;
        --desktop) desktop=$2 ;;
        *) break ;;
    esac
    shift 2
done
[ $# -eq 1 ] || { echo "usage: scripts/bench-against.sh [--rounds N] [--parts LIST] [--desktop NAME] REV" >&2; exit 2; }
# Fewer than four of each give no interval at 95 %.
[ "$rounds" -ge 4 ] 2>/dev/null || { echo "bench-against.sh: at least 4 rounds" >&2; exit 2; }
sha=$(git rev-parse --verify --quiet "$1^{commit}") \
    || { echo "bench-against.sh: no revision '$1' here" >&2; exit 2; }

# REV's tree as committed, configured and built once per revision.
rev_dir=build/against/$sha
if [ ! -x "$rev_dir/build/bin/viewbench" ]; then
    echo "== building $1 ($sha) in $rev_dir"
    rm -rf "$rev_dir"
    mkdir -p "$rev_dir/src"
    git archive "$sha" | tar -x -C "$rev_dir/src"
    cmake -S "$rev_dir/src" -B "$rev_dir/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON > /dev/null
    cmake --build "$rev_dir/build" --parallel "$(nproc)" --target viewbench pointerdrive > /dev/null
fi
rev_parts=yes
grep -q -- '"--parts"' "$rev_dir/src/bench/viewbench.cpp" || rev_parts=

# Which parts go to which run: the frames and launches on X11 alone, the drags and
# catch-ups on X11 and under sway, the floors under a desktop.
pick() {
    local wanted=$1 from=$2 part picked=()
    for part in ${from//,/ }; do
        [[ ",$wanted," == *",$part,"* ]] && picked+=("$part")
    done
    (IFS=,; echo "${picked[*]}")
}

# Each comparison keeps its runs and its table beside REV's build, until the next
# comparison with the same REV.
rounds_dir=$rev_dir/rounds${desktop:+-$desktop}
rm -rf "$rounds_dir"
mkdir -p "$rounds_dir"
# A run that failed says why and ends the comparison.
logged() {
    local log=$1
    shift
    "$@" > "$log" 2>&1 || { echo "bench-against.sh: a run failed ($*); the end of $log:" >&2; tail -n 20 "$log" >&2; exit 1; }
}
# One run of one build: SIDE (tree or rev), its bin folder, the round.
run_once() {
    local side=$1 bin=$2 round=$3 out=$rounds_dir/$1-$3 x11 wayland flags scale
    local files=()
    if [ -n "$desktop" ]; then
        flags=(--drags-only)
        if [ -n "$parts" ] && { [ "$side" = tree ] || [ -n "$rev_parts" ]; }; then
            flags=(--parts "$(pick "$parts" drags,floors)")
        fi
        for scale in 1 2; do
            logged "$out-$scale.log" env QUADVIEW_TEST_OUTPUT="$PWD/$rounds_dir" tests/input/wayland-session.sh \
                --desktop "$desktop" --scale "$scale" --copy "$bin/pointerdrive" "$bin/viewbench" "${flags[@]}" \
                --json "$side-$round-$scale.json"
            files+=("$rounds_dir/$side-$round-$scale.json")
        done
    else
        x11=frames,launches,drags,catchups wayland=drags,catchups
        if [ -n "$parts" ]; then
            x11=$(pick "$parts" frames,launches,drags,catchups)
            wayland=$(pick "$parts" drags,catchups)
        fi
        if [ -n "$x11" ]; then
            flags=()
            [ -n "$parts" ] && { [ "$side" = tree ] || [ -n "$rev_parts" ]; } && flags=(--parts "$x11")
            # Room for a 3840 x 2160 viewport on a virtual screen.
            QUADVIEW_SCREEN=3900x2300x24 logged "$out-x11.log" with_display "$bin/viewbench" "${flags[@]}" --json "$out-x11.json"
            files+=("$out-x11.json")
        fi
        if [ -n "$wayland" ]; then
            flags=(--settle-only)
            [ -n "$parts" ] && { [ "$side" = tree ] || [ -n "$rev_parts" ]; } && flags=(--parts "$wayland")
            logged "$out-wayland.log" env QUADVIEW_TEST_OUTPUT="$PWD/$rounds_dir" tests/input/wayland-session.sh \
                --outputs 2 --copy "$bin/pointerdrive" "$bin/viewbench" "${flags[@]}" --json "$side-$round-wayland.json"
            files+=("$rounds_dir/$side-$round-wayland.json")
        fi
    fi
    python3 scripts/benchjson.py merge "$out.json" "${files[@]}"
}

start=$(date +%s)
tree_runs=() rev_runs=()
for round in $(seq "$rounds"); do
    echo "== round $round of $rounds: this tree, then $1"
    run_once tree build/bin "$round"
    run_once rev "$rev_dir/build/bin" "$round"
    tree_runs+=("$rounds_dir/tree-$round.json")
    rev_runs+=("$rounds_dir/rev-$round.json")
done
echo "== $rounds rounds of each in $(( ($(date +%s) - start + 30) / 60 )) min"
python3 scripts/benchjson.py against --tree "${tree_runs[@]}" --rev "${rev_runs[@]}" | tee "$rounds_dir/table.md"
echo "The runs and the table are in $rounds_dir."
