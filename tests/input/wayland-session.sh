#!/usr/bin/env bash
# Runs a command inside a private, headless Wayland desktop with Mesa's software
# renderer, with QT_QPA_PLATFORM=wayland, QUADVIEW_DESKTOP naming the desktop and
# QUADVIEW_SCALE its output's scale:
#   tests/input/wayland-session.sh [--desktop sway|gnome|kde] [--scale S] [--outputs N]
#                                  [--platform wayland|xcb] [--copy FILE]... COMMAND [ARGS...]
# The desktop is sway unless --desktop or QUADVIEW_TEST_DESKTOP names another. --scale
# gives the output that scale from the start (its logical size stays 1280 x 800);
# --outputs 2 adds a second output, at scale 2, right of the first (sway only).
# --platform xcb runs the command as an X11 client of the desktop's Xwayland (sway only).
#
# Under a KWin that takes no screenshots (KWin 6 without a GPU) the command does not run,
# unless QUADVIEW_WITHOUT_SCREENSHOTS=1 says it needs none (test functions that take no
# pictures, such as tst_endtoend's chordOnLayout).
#
# A desktop that does not come up within 60 s is tried once more in a fresh session,
# then reported as not started, with exit status 77 (CTest's skip), never as a pass.
# The compositors refuse to run as root, or need a user's session: as root, the
# desktop and the command run as an unprivileged user made for this run and removed
# after it, from copies of the command, its file arguments and each --copy FILE, side
# by side in a folder that user can read.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# The second stage, as the desktop's user: a D-Bus session of its own, the desktop
# brought up and marked started, the command, and everything taken down again.
if [ "${1:-}" = --inner ]; then
    desktop=$2 scale=$3 outputs=$4 platform=$5
    shift 5
    pid= bus=
    # The desktop first, then its bus, then whatever the bus started on demand (the
    # portals, the accessibility bus): every process of this session but this shell.
    stop() {
        local process
        for process in $pid $bus; do
            kill "$process" 2>/dev/null && { wait "$process" 2>/dev/null || true; }
        done
        local others
        others=$(pgrep -s "$$") || true
        for process in $others; do
            [ "$process" = "$$" ] || kill -KILL "$process" 2>/dev/null || true
        done
    }
    trap stop EXIT
    # As a login to that desktop sets them: Qt chooses its platform theme by them, and
    # what the bus starts on demand inherits them.
    case "$desktop" in
        sway) ;;
        gnome) export XDG_CURRENT_DESKTOP=GNOME ;;
        kde) export XDG_CURRENT_DESKTOP=KDE ;;
    esac
    export XDG_SESSION_TYPE=wayland
    # A session bus of its own, whose chatter goes to the desktop's log.
    dbus-daemon --session --nofork --print-address=3 3> "$RUNTIME/bus" 2>> "$RUNTIME/desktop.log" &
    bus=$!
    for _ in $(seq 100); do
        [ -s "$RUNTIME/bus" ] && break
        sleep 0.05
    done
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$RUNTIME/bus")
    export DBUS_SESSION_BUS_ADDRESS
    # Logical 1280 x 800 at every scale (KWin takes the logical size).
    width=$(awk -v s="$scale" 'BEGIN { printf "%d", 1280 * s }')
    height=$(awk -v s="$scale" 'BEGIN { printf "%d", 800 * s }')
    ready=
    case "$desktop" in
        sway)
            WLR_HEADLESS_OUTPUTS=$outputs WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
                sway -c "$RUNTIME/sway.conf" >> "$RUNTIME/desktop.log" 2>&1 &
            pid=$!
            ready() {
                WAYLAND_DISPLAY=$(cd "$XDG_RUNTIME_DIR" && ls wayland-[0-9] 2>/dev/null | head -n 1) || true
                SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock 2>/dev/null | head -n 1) || true
                [ -n "$WAYLAND_DISPLAY" ] && [ -n "$SWAYSOCK" ] && export WAYLAND_DISPLAY SWAYSOCK \
                    && swaymsg -q "output HEADLESS-1 resolution ${width}x${height} scale $scale" \
                    && swaymsg -q "focus output HEADLESS-1"
            }
            ;;
        gnome)
            # Without logind (a container, CI) the Shell's JavaScript needs a system bus.
            export DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS
            # The top left corner would open the overview and take every event; banners
            # would cover the window.
            {
                gsettings set org.gnome.desktop.interface enable-hot-corners false
                gsettings set org.gnome.desktop.notifications show-banners false
                gsettings set org.gnome.mutter experimental-features "['scale-monitor-framebuffer']"
            } 2>> "$RUNTIME/desktop.log"
            # A GNOME session runs PipeWire, through which mutter casts the screen (the
            # test's pointer moves on such a cast).
            if command -v pipewire > /dev/null; then
                pipewire >> "$RUNTIME/desktop.log" 2>&1 &
            fi
            # --unsafe-mode opens the Shell's Eval and Screenshot to the test.
            NO_AT_BRIDGE=1 gnome-shell --headless --wayland --no-x11 --virtual-monitor "${width}x${height}" --unsafe-mode \
                >> "$RUNTIME/desktop.log" 2>&1 &
            pid=$!
            ready() {
                [ -S "$XDG_RUNTIME_DIR/wayland-0" ] || return 1
                export WAYLAND_DISPLAY=wayland-0
                # The Shell opens its overview, which would hold every new window, at the end
                # of its start-up animation; a loaded machine may take seconds to get there.
                gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
                    --method org.gnome.Shell.Eval \
                    'Main.layoutManager._startingUp || Main.overview.hide(); Main.layoutManager._startingUp || Main.overview.visible' \
                    | grep -q "^(true, 'false')" || return 1
                [ "$scale" = 1 ] && return 0
                # The virtual monitor starts at scale 1; give it its scale as Settings would.
                local state serial mode
                state=$(gdbus call --session --dest org.gnome.Mutter.DisplayConfig \
                    --object-path /org/gnome/Mutter/DisplayConfig --method org.gnome.Mutter.DisplayConfig.GetCurrentState)
                serial=$(sed -E 's/^\(uint32 ([0-9]+),.*/\1/' <<< "$state")
                mode=$(grep -oE "'${width}x${height}@[0-9.]+'" <<< "$state" | head -n 1)
                gdbus call --session --dest org.gnome.Mutter.DisplayConfig --object-path /org/gnome/Mutter/DisplayConfig \
                    --method org.gnome.Mutter.DisplayConfig.ApplyMonitorsConfig "$serial" 1 \
                    "[(0, 0, $scale, uint32 0, true, [('Meta-0', $mode, @a{sv} {})])]" "@a{sv} {}" > /dev/null
            }
            ;;
        kde)
            # As Plasma runs it: under its wrapper, which holds the Wayland socket and starts
            # KWin again when it dies; and Plasma 6 asks Qt programs to reconnect then. The
            # installed binary carries a file capability, which a container refuses to run;
            # the wrapper finds a plain copy first on PATH. The fake input and screenshot
            # interfaces are open to any client of this private session.
            mkdir "$RUNTIME/kwin"
            cp /usr/bin/kwin_wayland "$RUNTIME/kwin/kwin_wayland"
            export QT_WAYLAND_RECONNECT=1
            # A second virtual desktop to take the window off screen.
            printf '[Desktops]\nNumber=2\nRows=1\n' > "$XDG_CONFIG_HOME/kwinrc"
            PATH="$RUNTIME/kwin:$PATH" KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 \
                kwin_wayland_wrapper --virtual --width 1280 --height 800 --scale "$scale" \
                --no-lockscreen --no-kactivities >> "$RUNTIME/desktop.log" 2>&1 &
            pid=$!
            ready() {
                WAYLAND_DISPLAY=$(cd "$XDG_RUNTIME_DIR" && ls wayland-[0-9] 2>/dev/null | head -n 1) || true
                [ -n "$WAYLAND_DISPLAY" ] || return 1
                export WAYLAND_DISPLAY
                gdbus call --session --dest org.kde.KWin --object-path /KWin \
                    --method org.kde.KWin.currentDesktop > /dev/null 2>&1
            }
            ;;
    esac
    for _ in $(seq 600); do
        kill -0 "$pid" 2>/dev/null || break
        if ready 2>/dev/null; then
            ready=yes
            break
        fi
        sleep 0.1
    done
    [ -n "$ready" ] || exit 0
    touch "$RUNTIME/started"
    # GNOME and Plasma start the desktop portals with the session (where they are
    # installed, as they are with those desktops' recommended packages); the document
    # portal mounts itself in the runtime folder.
    if [ "$desktop" != sway ] && [ -x /usr/libexec/xdg-desktop-portal ]; then
        gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
            --method org.freedesktop.DBus.UpdateActivationEnvironment "{'WAYLAND_DISPLAY': '$WAYLAND_DISPLAY'}" > /dev/null
        gdbus call --session --dest org.freedesktop.portal.Desktop --object-path /org/freedesktop/portal/desktop \
            --method org.freedesktop.DBus.Peer.Ping > /dev/null 2>> "$RUNTIME/desktop.log" || true
    fi
    # KWin 6 takes screenshots only while it composites with OpenGL, and its virtual
    # output does that only on a GPU's render node; without one it has no pictures to give.
    if [ "$desktop" = kde ]; then
        for _ in $(seq 50); do
            gdbus introspect --session --dest org.kde.KWin --object-path /org/kde/KWin/ScreenShot2 \
                2>/dev/null | grep -q org.kde.KWin.ScreenShot2 && break
            sleep 0.1
        done || true
        if ! gdbus introspect --session --dest org.kde.KWin --object-path /org/kde/KWin/ScreenShot2 \
                2>/dev/null | grep -q org.kde.KWin.ScreenShot2; then
            echo "wayland-session.sh: KWin takes no screenshots here: it composites with QPainter, having" \
                 "no GPU render node (/dev/dri/renderD*), and KWin 6 takes them only with OpenGL" >&2
            if [ -z "${QUADVIEW_WITHOUT_SCREENSHOTS:-}" ]; then
                echo "wayland-session.sh: the test did not run" >&2
                exit 77
            fi
        fi
    fi
    if [ "$platform" = xcb ]; then
        # sway starts Xwayland when its first client connects; its environment knows the display.
        swaymsg -q exec "echo \$DISPLAY > '$RUNTIME/display'"
        for _ in $(seq 100); do
            [ -s "$RUNTIME/display" ] && break
            sleep 0.05
        done
        DISPLAY=$(cat "$RUNTIME/display" 2>/dev/null) || true
        [ -n "$DISPLAY" ] || { echo "wayland-session.sh: sway offers no Xwayland" >&2; exit 1; }
        export DISPLAY
    fi
    status=0
    QUADVIEW_DESKTOP=$desktop QUADVIEW_SCALE=$scale QT_QPA_PLATFORM=$platform QUADVIEW_TEST_OUTPUT=$RUNTIME/output \
        QUADVIEW_DESKTOP_LOG=$RUNTIME/desktop.log "$@" || status=$?
    exit "$status"
fi

desktop=${QUADVIEW_TEST_DESKTOP:-sway} scale=1 outputs=1 platform=wayland
companions=()
while [ $# -gt 0 ]; do
    case "$1" in
        --desktop) desktop=$2 ;;
        --scale) scale=$2 ;;
        --outputs) outputs=$2 ;;
        --platform) platform=$2 ;;
        --copy) companions+=("$2") ;;
        *) break ;;
    esac
    shift 2
done
case "$desktop" in
    sway|gnome|kde) ;;
    *) echo "wayland-session.sh: no desktop \"$desktop\" (sway, gnome or kde)" >&2; exit 2 ;;
esac
case "$desktop:$platform" in
    *:wayland|sway:xcb) ;;
    *) echo "wayland-session.sh: no platform \"$platform\" under $desktop (wayland; xcb under sway)" >&2; exit 2 ;;
esac

runtime=
user=
session=
# Takes the session's runtime folder away: what still runs of the session first, then any
# mount below it (the document portal's FUSE mount outlives a session that was killed),
# never deleting through one.
remove_runtime() {
    [ -n "$runtime" ] || return 0
    if [ -n "$session" ]; then
        pkill -KILL -s "$session" 2>/dev/null || true
        session=
    fi
    # And whatever left the session: its environment names this runtime folder. (Not
    # by user: another run, in a Debian root say, may have a user of the same number.)
    local environ
    for environ in /proc/[0-9]*/environ; do
        if { tr '\0' '\n' < "$environ"; } 2>/dev/null | grep -qxF "XDG_RUNTIME_DIR=$runtime"; then
            environ=${environ#/proc/}
            kill -KILL "${environ%/environ}" 2>/dev/null || true
        fi
    done
    sleep 0.2
    local mount
    for mount in $(awk -v dir="$runtime" 'index($2, dir "/") == 1 { print $2 }' /proc/mounts | sort -r); do
        fusermount3 -u -z "$mount" 2>/dev/null || umount -l "$mount" 2>/dev/null \
            || echo "wayland-session.sh: cannot unmount $mount" >&2
    done
    rm -rf --one-file-system "$runtime"
    runtime=
}
cleanup() {
    remove_runtime
    if [ -n "$user" ]; then userdel "$user" 2>/dev/null || true; fi
    true
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

as_user=()
if [ "$(id -u)" -eq 0 ]; then
    user=quadview-$(head -c 4 /dev/urandom | od -An -tx1 | tr -d ' \n')
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"
    as_user=(setpriv --reuid="$user" --regid="$user" --clear-groups --)
fi

attempt() {
    runtime=$(mktemp -d /tmp/quadview-wayland.XXXXXX)
    mkdir "$runtime/files" "$runtime/config" "$runtime/output"
    # The desktop's user may not be able to read this tree (a private clone).
    cp "$here/sway.conf" "$runtime/sway.conf"
    # Xwayland only where the command is its client.
    if [ "$platform" = xcb ]; then echo "xwayland enable"; else echo "xwayland disable"; fi >> "$runtime/sway.conf"
    cp "$0" "$runtime/files/"
    local args=() arg file
    for file in "${companions[@]}"; do
        cp "$file" "$runtime/files/"
    done
    for arg in "${command[@]}"; do
        if [ -n "$user" ] && [ -f "$arg" ]; then
            cp "$arg" "$runtime/files/"
            arg=$runtime/files/$(basename "$arg")
        fi
        args+=("$arg")
    done
    [ -n "$user" ] && chown -R "$user:" "$runtime"
    chmod 700 "$runtime"
    local status=0
    # A session of its own, so that everything the desktop starts can be found again.
    env -u DISPLAY -u WAYLAND_DISPLAY -u SWAYSOCK -u DBUS_SESSION_BUS_ADDRESS \
        XDG_RUNTIME_DIR="$runtime" HOME="$runtime" XDG_CACHE_HOME="$runtime/cache" \
        XDG_CONFIG_HOME="$runtime/config" RUNTIME="$runtime" \
        "${as_user[@]}" setsid --wait "$runtime/files/$(basename "$0")" --inner "$desktop" "$scale" "$outputs" "$platform" \
        "${args[@]}" &
    # Waited for in the background, so that a signal to this script cleans up at once.
    session=$!
    wait "$session" || status=$?
    session=
    # What the command left for its log (pictures that did not match) outlives the run.
    if [ -n "$(ls -A "$runtime/output" 2>/dev/null)" ]; then
        cp "$runtime/output/"* "${QUADVIEW_TEST_OUTPUT:-$PWD}/" \
            && echo "wayland-session.sh: kept $(ls "$runtime/output" | tr '\n' ' ')in ${QUADVIEW_TEST_OUTPUT:-$PWD}" >&2
    fi
    [ -e "$runtime/started" ] && return "$status"
    tail -n 20 "$runtime/desktop.log" >&2 || true
    remove_runtime
    return 125
}

command=("$@")
status=0
attempt || status=$?
if [ "$status" -eq 125 ]; then
    echo "wayland-session.sh: $desktop did not start; trying once more" >&2
    status=0
    attempt || status=$?
fi
if [ "$status" -eq 125 ]; then
    echo "wayland-session.sh: $desktop did not start twice; the test did not run" >&2
    exit 77
fi
exit "$status"
