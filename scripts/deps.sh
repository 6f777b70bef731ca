#!/usr/bin/env bash
# The distribution packages quadview needs, in one place. Sourced by run.sh, test.sh
# and CI; `ensure_packages GROUP...` installs whatever of those groups is missing and
# makes no network call when everything is already there.

declare -A QUADVIEW_PACKAGES=(
    # The programs: Qt, OpenGL and GLU, and xcb for asking whether an X display answers
    # (it comes with OpenGL's headers anyway).
    [build]="cmake g++ make pkg-config qt6-base-dev libqt6opengl6-dev libgl-dev libglu1-mesa-dev libxcb1-dev"
    # Mesa's software renderer, so OpenGL works without a GPU; Qt's Wayland platform, so that
    # a Wayland desktop gets a Wayland client; Xvfb for machines without a display.
    [run]="libgl1-mesa-dri qt6-wayland xvfb xauth"
    # Real input and a real compositor for the end-to-end tests and the benchmark, on X11
    # and on Wayland (sway, in a D-Bus session of its own); a real Xorg with the input
    # driver that sends what XTest cannot (a touchpad's pinch, touches); a screen reader's
    # view (AT-SPI). Then what the tests' own input tools are built with: XTest, the
    # Wayland client library and xkbcommon (pointerdrive), KWin's fake-input protocol, the
    # inputtest driver's header, and Qt's window-system interface (a pinch, where no
    # display server sends one).
    [test]="xdotool valgrind sway xwayland grim dbus-daemon libglib2.0-bin xserver-xorg-core xserver-xorg-video-dummy at-spi2-core python3-pyatspi libxcb-xtest0-dev libwayland-dev libxkbcommon-dev plasma-wayland-protocols xserver-xorg-dev qt6-base-private-dev"
    # The same test under GNOME and under KDE Plasma (./test.sh --desktop gnome|kde), as
    # their users have them: with their recommended packages, of which these matter to
    # quadview (Qt's GTK theme, the portals, PipeWire; KWin's Breeze title bar).
    [gnome]="gnome-shell gsettings-desktop-schemas qt6-gtk-platformtheme xdg-desktop-portal pipewire"
    [kde]="kwin-wayland kwin-style-breeze xdg-desktop-portal"
    # Building, checking and installing the .deb.
    [package]="dpkg-dev file desktop-file-utils lintian appstream man-db"
    # Fresh Debian roots for scripts/distro-test.sh.
    [distro]="debootstrap"
)

missing_packages() {
    local group pkg
    for group in "$@"; do
        for pkg in ${QUADVIEW_PACKAGES[$group]}; do
            if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
                echo "$pkg"
            fi
        done
    done
}

# Groups installed as a user installs them, recommended packages included.
QUADVIEW_WITH_RECOMMENDS=" gnome kde "

ensure_packages() {
    local missing group recommends=--no-install-recommends
    missing=$(missing_packages "$@" | sort -u | tr '\n' ' ')
    [ -z "${missing// /}" ] && return 0
    for group in "$@"; do
        if [[ $QUADVIEW_WITH_RECOMMENDS == *" $group "* ]]; then
            recommends=--install-recommends
        fi
    done

    if ! command -v apt-get >/dev/null 2>&1; then
        echo "Missing packages: $missing" >&2
        echo "This machine has no apt-get; install them with your package manager." >&2
        return 1
    fi
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    echo "Installing missing packages: $missing"
    "${sudo[@]}" apt-get update -qq || return 1
    # shellcheck disable=SC2086
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$recommends" $missing || return 1
}
