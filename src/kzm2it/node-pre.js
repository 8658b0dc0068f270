// The program under Node: the process's environment, TMPDIR among it, is the program's own, and a
// file that cannot seek (a named pipe, a terminal) is read and written where it stands, as Node's
// positional calls, which the runtime uses for every file, refuse such files.
Module['preRun'] = [function() {
    Object.assign(ENV, process.env);
    var open = FS.open;
    FS.open = function() {
        var stream = open.apply(null, arguments);
        if (stream.nfd !== undefined && !require('fs').fstatSync(stream.nfd).isFile())
            stream.seekable = false;
        return stream;
    };
}];
