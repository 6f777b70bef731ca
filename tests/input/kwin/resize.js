// Gives the window's contents the size args.width x args.height where they are.
function main(ours) {
    const at = ours.frameGeometry, client = ours.clientGeometry || ours.bufferGeometry;
    ours.frameGeometry = {x: at.x, y: at.y, width: args.width + at.width - client.width,
                          height: args.height + at.height - client.height};
    reply('ok');
}
