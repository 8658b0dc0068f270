// The file layer of the page's worker: in-memory files held as lists of pieces, the chosen file among them.
mergeInto(LibraryManager.library, {
    // The in-memory file system's files become lists of pieces of 1 MiB, the size of the
    // converter's own reads and writes: a file grows by a piece at a time and is never copied as it
    // grows, and holds less than one piece more than its content. The pieces of a file removed go
    // to a pool that the next files take first, so that a conversion leaves little for the
    // collector: the work file's pieces serve the IT file, and one file's the next. Between
    // conversions the pool keeps at most 4 pieces, what a small module's files take;
    // Module.kzmdropped counts the bytes of the pieces let go, which the collector of a busy worker
    // may leave in its memory for long, so that the page can replace a worker that has let much
    // go. A piece that memory cannot hold fails the write as a full disk would (ENOSPC), so that
    // the conversion reports it instead of the worker stopping.
    // The chosen file comes as the page's reads of it, each a whole number of pieces of
    // Module.kzmpiece bytes but the last, which become the input file's own pieces. The inflater
    // reads it once, front to back, so each piece that a read has passed goes to the pool at once:
    // the input's memory becomes the work file's.
    kzmpagefiles__deps: ['$FS', '$MEMFS'],
    kzmpagefiles: function() {
        var PIECE = 1048576;
        var POOLED = 4;
        var pool = [];
        var file = MEMFS.ops_table.file.stream;   // made when the runtime mounted its root folder

        function grow(node, size) {
            var pieces = node.contents || (node.contents = []);
            while (pieces.length * PIECE < size) {
                try {
                    pieces.push(pool.pop() || new Uint8Array(PIECE));
                } catch (e) {
                    throw new FS.ErrnoError({{{ cDefine('ENOSPC') }}});
                }
            }
        }

        // Pieces from the index first on go back to the pool.
        function release(node, first) {
            var pieces = node.contents || [];
            while (pieces.length > first) {
                var p = pieces.pop();
                if (p && p.length === PIECE)
                    pool.push(p);
                else if (p)
                    Module['kzmdropped'] += p.length;
            }
        }

        // Ends a conversion's use of the pool.
        function trim() {
            Module['kzmdropped'] += Math.max(0, pool.length - POOLED) * PIECE;
            pool.length = Math.min(pool.length, POOLED);
        }

        // Calls fn(piece, offset in it, bytes there, bytes before) for each piece of the file's range.
        function span(node, position, length, fn) {
            for (var done = 0; done < length;) {
                var at = position + done;
                var off = at % PIECE;
                var n = Math.min(PIECE - off, length - done);
                fn(node.contents[Math.floor(at / PIECE)], off, n, done);
                done += n;
            }
        }

        // Makes the file size bytes long. Past its old end it reads as zeros: a pooled piece holds
        // an earlier file's bytes.
        function resize(node, size) {
            grow(node, size);
            span(node, node.usedBytes, size - node.usedBytes, function(p, off, n) {
                p.fill(0, off, off + n);
            });
            release(node, Math.ceil(size / PIECE));
            node.usedBytes = size;
        }

        // A file read once (the input) has no pieces before the last read's end: reading there
        // again fails as an I/O error, as does a read past the end of a piece that the page read short.
        file.read = function(stream, buffer, offset, length, position) {
            var node = stream.node;
            var n = Math.max(0, Math.min(length, node.usedBytes - position));
            span(node, position, n, function(p, off, k, done) {
                if (!p || p.length < off + k)
                    throw new FS.ErrnoError({{{ cDefine('EIO') }}});
                buffer.set(p.subarray(off, off + k), offset + done);
            });
            for (; node.passed < Math.floor((position + n) / PIECE); node.passed++) {
                pool.push(node.contents[node.passed]);
                node.contents[node.passed] = null;
            }
            return n;
        };
        file.write = function(stream, buffer, offset, length, position) {
            var node = stream.node;
            if (position > node.usedBytes)
                resize(node, position);
            grow(node, position + length);
            span(node, position, length, function(p, off, k, done) {
                p.set(buffer.subarray(offset + done, offset + done + k), off);
            });
            node.usedBytes = Math.max(node.usedBytes, position + length);
            node.timestamp = Date.now();
            return length;
        };
        file.allocate = function(stream, offset, length) {
            if (offset + length > stream.node.usedBytes)
                resize(stream.node, offset + length);
        };
        file.mmap = function() {
            throw new FS.ErrnoError({{{ cDefine('ENODEV') }}});
        };
        MEMFS.resizeFileStorage = resize;
        // A file removed while no stream has it open gives its pieces back.
        var unlink = MEMFS.ops_table.dir.node.unlink;
        MEMFS.ops_table.dir.node.unlink = function(parent, name) {
            var node = parent.contents[name];
            unlink(parent, name);
            if (FS.isFile(node.mode) && !FS.streams.some(function(s) { return s && s.node === node; }))
                release(node, 0);
        };

        // The input, {reads: [ArrayBuffer, a whole number of kzmpiece bytes but the last], size},
        // as the file at the path returned, read once, until kzminputdone.
        Module['kzmpiece'] = PIECE;
        Module['kzmdropped'] = 0;
        Module['kzminput'] = function(input) {
            FS.writeFile('/input.kzm', new Uint8Array(0));
            var node = FS.lookupPath('/input.kzm').node;
            node.contents = [];
            input.reads.forEach(function(b) {
                for (var at = 0; at < b.byteLength; at += PIECE)
                    node.contents.push(new Uint8Array(b, at, Math.min(PIECE, b.byteLength - at)));
            });
            node.usedBytes = input.size;
            node.passed = 0;   // pieces read past, and gone
            return '/input.kzm';
        };
        // Removes the input and ends the conversion's use of the pool.
        Module['kzminputdone'] = function() {
            try {
                FS.unlink('/input.kzm');
            } catch (e) {
                // never laid out
            }
            trim();
        };
        // Removes the file at path and resolves to its content as a Blob of this type, made from
        // its pieces as a stream, so that the browser takes them in where it keeps Blobs without
        // this worker keeping a copy; the pieces then go back to the pool.
        Module['kzmtake'] = function(path, type) {
            var node = FS.lookupPath(path).node;
            var views = (node.contents || []).map(function(p, i) {
                return p.subarray(0, Math.min(PIECE, node.usedBytes - i * PIECE));
            });
            var next = 0;
            var pieces = new ReadableStream({
                pull: function(stream) {
                    if (next < views.length)
                        stream.enqueue(views[next++]);
                    else
                        stream.close();
                },
            });
            return new Response(pieces, { headers: { 'Content-Type': type } }).blob().finally(function() {
                FS.unlink(path);
                trim();
            });
        };
    },
});
