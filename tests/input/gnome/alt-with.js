// Left Alt (evdev 56) held while the key args.key goes down and up.
const Clutter = imports.gi.Clutter, GLib = imports.gi.GLib;
const keyboard = global.quadviewKeyboard, t = GLib.get_monotonic_time();
keyboard.notify_key(t, 56, Clutter.KeyState.PRESSED);
keyboard.notify_key(t + 1000, args.key, Clutter.KeyState.PRESSED);
keyboard.notify_key(t + 2000, args.key, Clutter.KeyState.RELEASED);
keyboard.notify_key(t + 3000, 56, Clutter.KeyState.RELEASED);
'ok'
