// The program under Node: the process's environment, TMPDIR among it, is the program's own.
Module['preRun'] = [function() {
    Object.assign(ENV, process.env);
}];
