// The worker's in-memory files grow by doubling, so that a file of n bytes costs at most 2n bytes of
// copying, and a file that memory cannot hold fails its write instead of stopping the worker.
Module['preRun'] = [function() {
    MEMFS.expandFileStorage = function(node, wanted) {
        var had = node.contents ? node.contents.length : 0;
        if (had >= wanted)
            return;
        var grown;
        try {
            grown = new Uint8Array(Math.max(wanted, had * 2, 256));
        } catch (e) {
            throw new FS.ErrnoError(ERRNO_CODES.ENOSPC);
        }
        if (node.usedBytes > 0)
            grown.set(node.contents.subarray(0, node.usedBytes));
        node.contents = grown;
    };
}];
