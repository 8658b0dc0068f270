// The chunk scan shared by the pattern, instrument and sample readers, and positioned reads of the work file.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "kzmpath.h"

// 64-bit positioning, so a work file past 2 GiB on a 32-bit platform is still read where it says.
inline int kzmseek(FILE* f, uint64_t pos)
{
#ifdef _WIN32
    return _fseeki64(f, (long long)pos, SEEK_SET);
#else
    return fseeko(f, (off_t)pos, SEEK_SET);
#endif
}

// Opens the work file for a scanning reader. Its reads are whole blocks or exact sizes, so the
// stream goes without a buffer of its own that every byte would be copied through.
inline FILE* kzmopen(const char* path)
{
    FILE* f = kzmfopen(path, "rb");
    if (f)
        setbuf(f, nullptr);
    return f;
}

// Reads n bytes at pos into buf and returns the number of them that came from the file. The rest
// of buf, past the end of the file, is zeroed with zerofill and left as it was without.
inline size_t kzmreadat(FILE* f, uint64_t pos, void* buf, size_t n, bool zerofill = true)
{
    size_t got = 0;
    if (kzmseek(f, pos) == 0)
        got = fread(buf, 1, n, f);
    if (zerofill)
        memset((uint8_t*)buf + got, 0, n - got);
    return got;
}

// A chunk's probe: tag at the chunk's first byte and, for RIFF forms, form bytes at offset 8.
struct kzmprobe {
    const char* tag;   // 4 bytes
    const char* form;  // 8 bytes at offset 8, or nullptr
};

constexpr kzmprobe KZM_PATTPROBE = {"PATT", nullptr};
constexpr kzmprobe KZM_INSTPROBE = {"RIFF", "AI  INST"};
constexpr kzmprobe KZM_SAMPPROBE = {"RIFF", "AS  SAMP"};

inline size_t kzmprobelen(const kzmprobe& probe)
{
    return probe.form ? 16 : 4;
}

// Bytes of the file read per block of the scan: small enough to stay in the processor's cache
// and cost few page faults, large enough that a read costs little per byte.
enum : size_t { KZM_SCANBLOCK = 131072 };

// A match as the scan hands it over: the bytes of the file from the match that its block holds,
// so that a reader takes a chunk's header, and often the whole chunk, from memory.
struct kzmchunk {
    FILE* f;
    uint64_t pos;          // file offset of the match
    const uint8_t* held;   // the block's copy of the file from pos
    size_t nheld;          // bytes at held; at least the probe's length
    bool moved;            // the file position has moved; kzmchunkread sets it
};

// Copies n bytes from off bytes past the match into dst: what the block holds from memory, the
// rest with one read of the file. Returns the number of those bytes that the file has; the rest
// of dst is zeroed with zerofill, and left as it was without.
inline size_t kzmchunkread(kzmchunk* c, size_t off, void* dst, size_t n, bool zerofill)
{
    size_t got = 0;
    if (off < c->nheld) {
        got = std::min(c->nheld - off, n);
        memcpy(dst, c->held + off, got);
    }
    if (got < n) {
        c->moved = true;
        got += kzmreadat(c->f, c->pos + off + got, (uint8_t*)dst + got, n - got, zerofill);
    }
    return got;
}

// Called for each match; it reads through kzmchunkread. A non-zero result ends the scan.
typedef int (*kzmchunkcb)(kzmchunk* c, void* ctx);

// Finds, in file order, every offset at which the whole probe lies within the file and matches,
// exactly the offsets that probing byte by byte would find, overlapping and nested ones included.
// The file is read in blocks that overlap by one probe length less one byte, so a tag across a
// block boundary is seen once; memory does not depend on the file's size. The block lies on the
// stack, so that a scan allocates nothing. It is not zeroed: only bytes read into it are looked at.
inline void kzmscanchunks(FILE* f, const kzmprobe& probe, kzmchunkcb fn, void* ctx)
{
    const size_t plen = kzmprobelen(probe);
    const size_t cap = KZM_SCANBLOCK;
    uint8_t buf[KZM_SCANBLOCK];
    uint64_t base = 0;   // file position of buf[0]
    size_t have = 0;
    if (kzmseek(f, 0) != 0)
        return;
    for (;;) {
        have += fread(buf + have, 1, cap - have, f);
        if (have < plen)
            break;   // the end of the file: the probes that it holds whole have all been looked at
        size_t limit = have - plen + 1;   // candidates whose probe lies whole in buf
        const uint8_t* hit = buf;
        while ((hit = (const uint8_t*)memchr(hit, probe.tag[0], (size_t)(buf + limit - hit))) != nullptr) {
            if (memcmp(hit, probe.tag, 4) == 0 && (!probe.form || memcmp(hit + 8, probe.form, 8) == 0)) {
                size_t i = (size_t)(hit - buf);
                kzmchunk c = {f, base + i, hit, have - i, false};
                if (fn(&c, ctx) != 0 || (c.moved && kzmseek(f, base + have) != 0))
                    return;
            }
            hit++;
        }
        size_t keep = have - limit;
        memmove(buf, buf + limit, keep);
        base += limit;
        have = keep;
    }
}
