// The window's buffer rectangle, once its actor shows: not before, and not while on
// another workspace; empty until then.
const w = ours(), a = w.get_compositor_private(), r = w.get_buffer_rect();
a && a.visible ? [r.x, r.y, r.width, r.height].join(',') : ''
