// What the Shell is doing, for a test that found no input reaching its window: whether
// it is still starting up, an overview, a modal dialog or the pane it covers the screen
// with while starting is up, where the pointer is, and which window has the focus.
const [px, py] = global.get_pointer();
const focus = global.display.focus_window;
const pane = Main.layoutManager._coverPane;
JSON.stringify({
    startingUp: Main.layoutManager._startingUp,
    overview: Main.overview.visible,
    modalCount: Main.modalCount,
    coverPane: !!(pane && pane.visible),
    pointer: [px, py],
    focus: focus ? `${focus.get_wm_class()} (pid ${focus.get_pid()})` : null,
    ours: ours() ? ours().get_frame_rect().x + ',' + ours().get_frame_rect().y : null,
})
