// Gives the window each of args.sizes (of its contents) in turn, one every args.interval
// ms, then answers 'done'. KWin sizes the frame, which holds the title bar around them.
function main(ours) {
    const first = ours.frameGeometry, client = ours.clientGeometry || ours.bufferGeometry;
    const dw = first.width - client.width, dh = first.height - client.height;
    let i = 0;
    const timer = new QTimer();
    timer.interval = args.interval;
    timer.timeout.connect(() => {
        if (i < args.sizes.length) {
            ours.frameGeometry = {x: first.x, y: first.y, width: args.sizes[i][0] + dw, height: args.sizes[i][1] + dh};
            ++i;
        } else {
            timer.stop();
            reply('done');
        }
    });
    timer.start();
}
