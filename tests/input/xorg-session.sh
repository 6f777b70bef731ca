#!/usr/bin/env bash
# Runs a command on a private, real Xorg server with QUADVIEW_DESKTOP=xorg: a screen of
# the dummy video driver (no GPU; Mesa renders in software) and, as input devices, the
# inputtest driver's touchpad (motion, smooth scrolling, pinch and swipe), touch screen
# (five fingers) and keyboard, each driven through a socket in the folder that
# QUADVIEW_XORG_DEVICES names (see tests/input/inputtestdevice.h):
#   tests/input/xorg-session.sh COMMAND [ARGS...]
# Each socket takes one client for the server's life, so every run gets a server of its
# own. Xorg runs here as root only (as a user it needs a console it owns); elsewhere, or
# without its packages, this says why and exits with status 77, CTest's skip.
set -euo pipefail

skip() {
    echo "xorg-session.sh: $1; skipped" >&2
    exit 77
}
xorg=/usr/lib/xorg/Xorg
[ "$(id -u)" -eq 0 ] || skip "Xorg runs only as root here"
[ -x "$xorg" ] || skip "no Xorg (xserver-xorg-core)"
for module in drivers/dummy_drv.so input/inputtest_drv.so; do
    [ -e "/usr/lib/xorg/modules/$module" ] || skip "no $module (xserver-xorg-video-dummy, xserver-xorg-core)"
done

folder=$(mktemp -d /tmp/quadview-xorg.XXXXXX)
pid=
stop() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && { wait "$pid" 2>/dev/null || true; }
    rm -rf "$folder"
}
trap stop EXIT

# The screen is as large as Xvfb's in the other runs; no device is added on its own.
cat > "$folder/xorg.conf" <<CONF
Section "ServerFlags"
    Option "AutoAddDevices" "off"
    Option "AutoAddGPU" "off"
    Option "DontVTSwitch" "on"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 64000
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
    Option "ReducedBlanking"
    Modeline "2560x1600" 134.25 2560 2608 2640 2720 1600 1603 1609 1646 +hsync -vsync
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Virtual 2560 1600
        Modes "2560x1600"
    EndSubSection
EndSection
Section "InputDevice"
    Identifier "touchpad"
    Driver "inputtest"
    Option "SocketPath" "$folder/touchpad"
    Option "DeviceType" "PointerGesture"
    Option "CorePointer" "on"
EndSection
Section "InputDevice"
    Identifier "touchscreen"
    Driver "inputtest"
    Option "SocketPath" "$folder/touchscreen"
    Option "DeviceType" "Touch"
    Option "TouchCount" "5"
EndSection
Section "InputDevice"
    Identifier "keyboard"
    Driver "inputtest"
    Option "SocketPath" "$folder/keyboard"
    Option "DeviceType" "Keyboard"
    Option "CoreKeyboard" "on"
EndSection
Section "ServerLayout"
    Identifier "layout"
    Screen "screen"
    InputDevice "touchpad"
    InputDevice "touchscreen"
    InputDevice "keyboard"
EndSection
CONF

# Xorg writes its display number once it takes clients.
# The server is not ours to sanitize: a sanitizer's preload stays out of it.
env -u LD_PRELOAD "$xorg" -displayfd 3 -config "$folder/xorg.conf" -noreset -nolisten tcp -sharevts -novtswitch \
    -logfile "$folder/xorg.log" 3> "$folder/display" > "$folder/xorg.out" 2>&1 &
pid=$!
for _ in $(seq 200); do
    [ -s "$folder/display" ] && [ -S "$folder/touchscreen" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
done
if [ ! -s "$folder/display" ]; then
    cat "$folder/xorg.log" "$folder/xorg.out" >&2 2>/dev/null || true
    skip "Xorg did not start"
fi

export DISPLAY=:$(head -n 1 "$folder/display")
# The keymap of a keyboard that libinput or evdev drives, as on a desktop: the inputtest
# driver takes the server's default, with the old xfree86 keycodes (Right is 102, not 114).
setxkbmap -rules evdev -model pc105 -layout us
export QUADVIEW_DESKTOP=xorg QUADVIEW_XORG_DEVICES=$folder QUADVIEW_DESKTOP_LOG=$folder/xorg.log QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
status=0
"$@" || status=$?
exit "$status"
