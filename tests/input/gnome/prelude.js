// Comes before the GNOME desk's scripts that act on the test's window, after `args`,
// which names the test's process (pid). The newest of its windows: one closed a moment
// ago may still be listed.
function ours() {
    return global.get_window_actors().map(a => a.meta_window).filter(w => w.get_pid() === args.pid)
        .sort((a, b) => a.get_stable_sequence() - b.get_stable_sequence()).pop();
}
