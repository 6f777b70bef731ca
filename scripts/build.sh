#!/usr/bin/env bash
# Helpers shared by run.sh and test.sh.

# build_project DIR BUILD_TYPE [CMAKE_OPTIONS...] [--target TARGET...]: configure once,
# then build incrementally: everything, or only the targets named (and what they need).
build_project() {
    local dir=$1 type=$2
    shift 2
    local options=() targets=()
    while [ $# -gt 0 ] && [ "$1" != --target ]; do
        options+=("$1")
        shift
    done
    [ $# -gt 0 ] && { shift; targets=(--target "$@"); }
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" "${options[@]}"
    else
        # Keep the cache's options in step with what was asked for this time.
        cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" "${options[@]}" >/dev/null
    fi
    cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
}

# with_display COMMAND...: runs COMMAND on the current display, or on a private Xvfb
# with a 24-bit screen when there is none (Mesa's software renderer needs no GPU);
# QUADVIEW_SCREEN=WxHxD asks for another size of screen.
with_display() {
    # Qt warns on every start when there is no runtime directory, as in CI.
    if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
        export XDG_RUNTIME_DIR="$PWD/build/runtime"
        mkdir -p -m 700 "$XDG_RUNTIME_DIR"
    fi
    if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
        "$@"
    else
        # Xvfb starts itself afresh whenever its last client leaves, as between two tests,
        # and refuses a connection meanwhile: the screen reader's quadview was told ":99 does
        # not answer" once in the Debian 13 root, once under Debian testing.
        xvfb-run -a -s "-noreset -screen 0 ${QUADVIEW_SCREEN:-2560x1600x24}" "$@"
    fi
}

# screenshot_quadview OUT.png [ARGS...]: runs build/bin/quadview on a private Xvfb and
# saves the window once all four views have drawn. Never uses a desktop's display, so
# nothing else gets into the picture.
screenshot_quadview() {
    local out=$1
    shift
    (unset DISPLAY WAYLAND_DISPLAY; with_display build/bin/framewatch --out "$out" --settle 300 -- build/bin/quadview "$@" >/dev/null)
}
