#!/usr/bin/env node
// The command kzm2it: the converter compiled to WebAssembly, with the files, environment and exit status of this process.
require('../kzm2it.js');
