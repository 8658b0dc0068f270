// Container inflater: skips the 24-byte KZM header and inflates the zlib stream behind it, file to file.
#include "kzm.h"
#include "kzmpath.h"
#include "kzmscan.h"

#include <cassert>
#include <zlib.h>

static const uint64_t KZM_HEADERSIZE = 24;   // container header, never read
enum : unsigned { CHUNK = 16384 };   // bytes per input and per output block

// The container is read and the work file written through stdio buffers of KZM_IOBLOCK bytes, not in
// the inflater's blocks. They are static: a process converts one file at a time, and a static buffer
// costs no allocation per file (under AddressSanitizer two 1 MiB allocations a file halve the fuzz
// target's speed).
static char sourcebuf[KZM_IOBLOCK];
static char destbuf[KZM_IOBLOCK];

// Writes what the last zlib call left in out; false on a short write or a write error.
static bool putblock(FILE* dest, const unsigned char* out, const z_stream* strm)
{
    unsigned have = CHUNK - strm->avail_out;
    return fwrite(out, 1, have, dest) == have;
}

int decodekzm(const char* inpath, const char* outpath)
{
    FILE* source = kzmfopen(inpath, "rb");
    // A folder opens on POSIX systems and fails at the first read, while on Windows the open fails;
    // both platforms treat it as a read error, a damaged file, with the same work file left.
    if (!source && !kzmisdir(inpath))
        return KZM_NOINPUT;
    FILE* dest = kzmfopen(outpath, "wb");
    if (!dest) {
        if (source)
            fclose(source);
        return KZM_WORKFAILED;
    }
    setvbuf(dest, destbuf, _IOFBF, sizeof destbuf);
    int ret = Z_ERRNO;
    if (source) {
        setvbuf(source, sourcebuf, _IOFBF, sizeof sourcebuf);
        // A file shorter than the header leaves the stream empty: the first read finds nothing.
        kzmseek(source, KZM_HEADERSIZE);
        ret = inf(source, dest);
        fclose(source);
    }
    bool written = !ferror(dest);
    if (fclose(dest) != 0)
        written = false;
    return !written ? KZM_WORKFAILED : ret == Z_OK ? KZM_OK : KZM_DAMAGED;
}

// Inflates source into dest through strm, which the caller ends. Bytes after the end of the stream
// are not used.
static int inflatefile(z_stream* strm, FILE* source, FILE* dest)
{
    unsigned char in[CHUNK];
    unsigned char out[CHUNK];
    int ret = Z_OK;
    do {
        strm->avail_in = (uInt)fread(in, 1, CHUNK, source);
        if (ferror(source))
            return Z_ERRNO;
        if (strm->avail_in == 0)
            break;
        strm->next_in = in;
        do {
            strm->avail_out = CHUNK;
            strm->next_out = out;
            ret = inflate(strm, Z_NO_FLUSH);
            assert(ret != Z_STREAM_ERROR);
            if (ret == Z_NEED_DICT || strm->total_out > KZM_MAXWORK)
                ret = Z_DATA_ERROR;
            if (ret == Z_DATA_ERROR || ret == Z_MEM_ERROR)
                return ret;
            if (!putblock(dest, out, strm))
                return Z_ERRNO;
        } while (strm->avail_out == 0);
    } while (ret != Z_STREAM_END);
    return ret == Z_STREAM_END ? Z_OK : Z_DATA_ERROR;
}

int inf(FILE* source, FILE* dest)
{
    z_stream strm = {};   // default allocator, no input yet
    int ret = inflateInit(&strm);
    if (ret != Z_OK)
        return ret;
    ret = inflatefile(&strm, source, dest);
    inflateEnd(&strm);
    return ret;
}

// Deflates the whole of source into dest through strm, which the caller ends.
static int deflatefile(z_stream* strm, FILE* source, FILE* dest)
{
    unsigned char in[CHUNK];
    unsigned char out[CHUNK];
    int flush, ret;
    do {
        strm->avail_in = (uInt)fread(in, 1, CHUNK, source);
        if (ferror(source))
            return Z_ERRNO;
        flush = feof(source) ? Z_FINISH : Z_NO_FLUSH;
        strm->next_in = in;
        do {
            strm->avail_out = CHUNK;
            strm->next_out = out;
            ret = deflate(strm, flush);
            assert(ret != Z_STREAM_ERROR);
            if (!putblock(dest, out, strm))
                return Z_ERRNO;
        } while (strm->avail_out == 0);
    } while (flush != Z_FINISH);
    return ret == Z_STREAM_END ? Z_OK : Z_STREAM_ERROR;
}

// Returns Z_OK, Z_ERRNO on a read or write error, or deflateInit's code for a bad level or version.
int def(FILE* source, FILE* dest, int level)
{
    z_stream strm = {};
    int ret = deflateInit(&strm, level);
    if (ret != Z_OK)
        return ret;
    ret = deflatefile(&strm, source, dest);
    deflateEnd(&strm);
    return ret;
}
