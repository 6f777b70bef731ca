// The window's frame back where and as large as it was before the burst.
const f = global.quadviewFirst;
ours().move_resize_frame(true, f[0], f[1], f[2], f[3]);
'ok'
