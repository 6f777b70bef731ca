#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test.
#   ./test.sh              the plain build, in build/
#   ./test.sh --sanitize   the same under AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/
#   ./test.sh --ci         both, then the .deb round trip (install, run, remove), then in a fresh
#                          Debian 13 root ./run.sh, tests/wayland-plugin.sh and ./test.sh, as CI
#                          runs them
#   ./test.sh --distro SUITE [ARGS]   ./test.sh [ARGS] in a fresh Debian root (bookworm, trixie or
#                          forky; needs root)
#   ./test.sh --desktop sway|gnome|kde   the Wayland end-to-end test inside that desktop, headless
# Further arguments go to ctest (for example -R tst_points).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
source scripts/build.sh

variants=(plain)
package=no
distro=
case "${1:-}" in
    --sanitize) variants=(sanitize); shift ;;
    --ci) variants=(plain sanitize); package=yes; distro=trixie; shift ;;
    --distro)
        [ -n "${2:-}" ] || { echo "usage: ./test.sh --distro bookworm|trixie|forky [ARGS...]" >&2; exit 2; }
        exec scripts/distro-test.sh "$2" ./test.sh "${@:3}" ;;
    --desktop)
        case "${2:-}" in
            sway) ensure_packages build run test ;;
            gnome|kde) ensure_packages build run test; ensure_packages "$2" ;;
            *) echo "usage: ./test.sh --desktop sway|gnome|kde" >&2; exit 2 ;;
        esac
        build_project build Release -DQUADVIEW_WERROR=ON -DBUILD_TESTING=ON --target tst_endtoend pointerdrive quadview
        echo "== the Wayland end-to-end test under $2"
        # Verbose: one test, whose output says why it was skipped when it was.
        QUADVIEW_TEST_DESKTOP=$2 with_display ctest --test-dir build --verbose -R '^tst_endtoend_wayland$' "${@:3}"
        if [ "$2" = kde ]; then
            echo "== quadview when KWin dies and its wrapper starts it again"
            tests/input/wayland-session.sh --desktop kde --copy build/bin/quadview tests/compositor-restart.sh
        fi
        exit ;;
esac

ensure_packages build run test

for variant in "${variants[@]}"; do
    if [ "$variant" = sanitize ]; then
        dir=build-asan
        build_project "$dir" RelWithDebInfo -DQUADVIEW_WERROR=ON -DQUADVIEW_SANITIZE=ON -DBUILD_TESTING=ON
    else
        dir=build
        build_project "$dir" Release -DQUADVIEW_WERROR=ON -DBUILD_TESTING=ON
    fi
    echo "== tests: $variant build ($dir)"
    with_display ctest --test-dir "$dir" --output-on-failure "$@"
done

if [ "$package" = yes ]; then
    scripts/package-roundtrip.sh
fi

# There, ./run.sh as a new user runs it first, then the check of Qt's Wayland plugin, present
# and absent (it removes the package from that root), then the suite.
if [ -n "$distro" ]; then
    scripts/distro-test.sh "$distro" bash -c './run.sh && tests/wayland-plugin.sh && ./test.sh "$@"' bash "$@"
fi
