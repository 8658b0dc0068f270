// Container inflater: skips the 24-byte KZM header and inflates the zlib stream behind it, file to file.
#include "kzm.h"
#include "kzmpath.h"
#include "kzmscan.h"

#include <cassert>
#include <cstdlib>
#include <zlib.h>

static const uint64_t KZM_HEADERSIZE = 24;   // container header, never read
static const unsigned CHUNK = 16384;         // bytes per input and per output block

// Writes what the last zlib call left in out; false on a short write or a write error.
static bool putblock(FILE* dest, const unsigned char* out, const z_stream* strm)
{
    unsigned have = CHUNK - strm->avail_out;
    return fwrite(out, 1, have, dest) == have && !ferror(dest);
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
    int ret = Z_ERRNO;
    char* destbuf = nullptr;
    if (source) {
        // Both files are read and written in pieces as large as the container, up to KZM_IOBLOCK
        // bytes, not in the inflater's blocks; without the memory for that, in the library's own.
        uint64_t size = kzmsize(source);
        size_t piece = size < CHUNK ? CHUNK : size < KZM_IOBLOCK ? (size_t)size : KZM_IOBLOCK;
        destbuf = (char*)malloc(piece);
        if (destbuf)
            setvbuf(dest, destbuf, _IOFBF, piece);
        char* sourcebuf = (char*)malloc(piece);
        if (sourcebuf)
            setvbuf(source, sourcebuf, _IOFBF, piece);
        // A file shorter than the header leaves the stream empty: the first read finds nothing.
        kzmseek(source, KZM_HEADERSIZE);
        ret = inf(source, dest);
        fclose(source);
        free(sourcebuf);
    }
    bool written = !ferror(dest);
    if (fclose(dest) != 0)
        written = false;
    free(destbuf);
    return !written ? KZM_WORKFAILED : ret == Z_OK ? KZM_OK : KZM_DAMAGED;
}

// Bytes after the end of the stream are not used.
int inf(FILE* source, FILE* dest)
{
    unsigned char in[CHUNK];
    unsigned char out[CHUNK];
    z_stream strm = {};   // default allocator, no input yet
    int ret = inflateInit(&strm);
    if (ret != Z_OK)
        return ret;

    do {
        strm.avail_in = (uInt)fread(in, 1, CHUNK, source);
        if (ferror(source)) {
            inflateEnd(&strm);
            return Z_ERRNO;
        }
        if (strm.avail_in == 0)
            break;
        strm.next_in = in;
        do {
            strm.avail_out = CHUNK;
            strm.next_out = out;
            ret = inflate(&strm, Z_NO_FLUSH);
            assert(ret != Z_STREAM_ERROR);
            if (ret == Z_NEED_DICT || strm.total_out > KZM_MAXWORK)
                ret = Z_DATA_ERROR;
            if (ret == Z_DATA_ERROR || ret == Z_MEM_ERROR) {
                inflateEnd(&strm);
                return ret;
            }
            if (!putblock(dest, out, &strm)) {
                inflateEnd(&strm);
                return Z_ERRNO;
            }
        } while (strm.avail_out == 0);
    } while (ret != Z_STREAM_END);

    inflateEnd(&strm);
    return ret == Z_STREAM_END ? Z_OK : Z_DATA_ERROR;
}

// Returns Z_OK, Z_ERRNO on a read or write error, or deflateInit's code for a bad level or version.
int def(FILE* source, FILE* dest, int level)
{
    unsigned char in[CHUNK];
    unsigned char out[CHUNK];
    z_stream strm = {};
    int ret = deflateInit(&strm, level);
    if (ret != Z_OK)
        return ret;

    int flush;
    do {
        strm.avail_in = (uInt)fread(in, 1, CHUNK, source);
        if (ferror(source)) {
            deflateEnd(&strm);
            return Z_ERRNO;
        }
        flush = feof(source) ? Z_FINISH : Z_NO_FLUSH;
        strm.next_in = in;
        do {
            strm.avail_out = CHUNK;
            strm.next_out = out;
            ret = deflate(&strm, flush);
            assert(ret != Z_STREAM_ERROR);
            if (!putblock(dest, out, &strm)) {
                deflateEnd(&strm);
                return Z_ERRNO;
            }
        } while (strm.avail_out == 0);
    } while (flush != Z_FINISH);
    assert(ret == Z_STREAM_END);

    deflateEnd(&strm);
    return Z_OK;
}
