// The file layer's calls that only Node can answer, for the WebAssembly build: umask and folder lock.
mergeInto(LibraryManager.library, {
    // The runtime's own umask masks everything; under Node the process's umask is the one that
    // counts. Elsewhere (the page's worker) the usual 022.
    kzmnodeumask: function() {
        return typeof process === 'object' && process.umask ? process.umask() : 18;
    },

    // The folder lock under Node, whose runtime has no flock: a lock file in the temporary folder,
    // named by a hash of the folder's path and holding the holder's process id. Taking it links a
    // file already holding this process's id under its name, so that it is never seen empty; a
    // waiter that finds its holder ended takes the lock away and tries again, and otherwise sleeps
    // 20 ms at a time. Returns 1 once it holds the lock, 0 where it cannot lock.
    kzmnodelock__deps: ['kzmnodeunlock'],
    kzmnodelock: function() {
        if (typeof process !== 'object' || typeof require !== 'function')
            return 0;
        var fs = require('fs'), os = require('os'), path = require('path'), crypto = require('crypto');
        var hash = crypto.createHash('sha256').update(process.cwd()).digest('hex').slice(0, 16);
        var lock = path.join(os.tmpdir(), 'kzm2it-' + hash + '.lock');
        var mine = lock + '.' + process.pid;
        var pause = new Int32Array(new SharedArrayBuffer(4));
        var taken = false;
        try {
            fs.writeFileSync(mine, String(process.pid), { flag: 'wx' });
            while (!taken) {
                try {
                    fs.linkSync(mine, lock);
                    taken = true;
                    continue;
                } catch (e) {
                    if (e.code !== 'EEXIST')
                        break;
                }
                var holder = 0;
                try {
                    holder = parseInt(fs.readFileSync(lock, 'utf8'), 10);
                    process.kill(holder, 0);
                } catch (e) {
                    if (e.code === 'ESRCH') {
                        var stale = lock + '.stale.' + process.pid;
                        try {
                            fs.renameSync(lock, stale);
                            // Another waiter may have taken the lock meanwhile: then it goes back.
                            if (parseInt(fs.readFileSync(stale, 'utf8'), 10) !== holder)
                                fs.linkSync(stale, lock);
                            fs.unlinkSync(stale);
                        } catch (e2) {
                            // another waiter took it away first
                        }
                        continue;
                    }
                }
                Atomics.wait(pause, 0, 0, 20);
            }
            fs.unlinkSync(mine);
        } catch (e) {
            // no lock where the temporary folder cannot be written
        }
        if (!taken)
            return 0;
        Module['kzmlock'] = lock;
        process.once('exit', _kzmnodeunlock);
        return 1;
    },

    // Releases the lock that this process holds, if it still does.
    kzmnodeunlock: function() {
        var lock = Module['kzmlock'];
        Module['kzmlock'] = undefined;
        try {
            if (lock && parseInt(require('fs').readFileSync(lock, 'utf8'), 10) === process.pid)
                require('fs').unlinkSync(lock);
        } catch (e) {
            // gone already
        }
    },
});
