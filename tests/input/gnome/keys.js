// The key args.key goes down and up while the keys args.held are held down, in order
// (evdev codes).
const Clutter = imports.gi.Clutter, GLib = imports.gi.GLib;
const keyboard = global.quadviewKeyboard;
let t = GLib.get_monotonic_time();
const send = (code, state) => keyboard.notify_key(t += 1000, code, state);
args.held.forEach(code => send(code, Clutter.KeyState.PRESSED));
send(args.key, Clutter.KeyState.PRESSED);
send(args.key, Clutter.KeyState.RELEASED);
args.held.slice().reverse().forEach(code => send(code, Clutter.KeyState.RELEASED));
'ok'
