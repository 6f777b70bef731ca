// A keyboard of the Shell's own: keys from the RemoteDesktop session's keyboard never
// reached a window here (GNOME 43).
const Clutter = imports.gi.Clutter;
global.quadviewKeyboard = Clutter.get_default_backend().get_default_seat()
    .create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);
'ok'
