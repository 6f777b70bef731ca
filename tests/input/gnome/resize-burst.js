// Gives the window's frame each of args.sizes in turn, one every args.interval ms;
// global.quadviewBurst says 'done' at the end, and global.quadviewFirst keeps the frame
// it had.
const GLib = imports.gi.GLib;
const w = ours();
const first = w.get_frame_rect();
global.quadviewFirst = [first.x, first.y, first.width, first.height];
global.quadviewBurst = 'running';
let i = 0;
GLib.timeout_add(GLib.PRIORITY_DEFAULT, args.interval, () => {
    if (i < args.sizes.length) {
        w.move_resize_frame(true, first.x, first.y, args.sizes[i][0], args.sizes[i][1]);
        ++i;
        return GLib.SOURCE_CONTINUE;
    }
    global.quadviewBurst = 'done';
    return GLib.SOURCE_REMOVE;
});
'started'
