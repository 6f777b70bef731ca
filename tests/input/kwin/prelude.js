// Comes before each script the KWin desk loads, after `args`, which names the test's
// process (pid), the D-Bus service that takes the answers and this script. Runs the
// script's main() for the newest window of the test's process: one closed a moment ago
// may still be listed. Plasma 6 renamed the list of windows.
function reply(value) {
    callDBus(args.service, '/', args.service, 'reply', args.script, String(value));
}

try {
    const ours = (workspace.windowList ? workspace.windowList() : workspace.clientList())
        .filter(c => c.pid === args.pid).pop();
    if (!ours)
        throw 'no window of ours';
    main(ours);
} catch (error) {
    reply('error: ' + error);
}
