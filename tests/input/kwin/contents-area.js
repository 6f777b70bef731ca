// Where the window's contents are: KWin draws the title bar (with its Breeze decoration)
// outside the client area, which KWin 5 gives as the surface's buffer geometry.
function main(ours) {
    const c = ours.clientGeometry || ours.bufferGeometry;
    reply([c.x, c.y, c.width, c.height].join(','));
}
