// The chunk scan shared by the pattern, instrument and sample readers, and positioned reads of the work file.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

// 64-bit positioning, so a work file past 2 GiB on a 32-bit platform is still read where it says.
inline int kzmseek(FILE* f, uint64_t pos)
{
#ifdef _WIN32
    return _fseeki64(f, (long long)pos, SEEK_SET);
#else
    return fseeko(f, (off_t)pos, SEEK_SET);
#endif
}

// Size of the open file, 0 when it cannot be told.
inline uint64_t kzmsize(FILE* f)
{
#ifdef _WIN32
    long long end = _fseeki64(f, 0, SEEK_END) == 0 ? _ftelli64(f) : -1;
#else
    off_t end = fseeko(f, 0, SEEK_END) == 0 ? ftello(f) : -1;
#endif
    return end > 0 ? (uint64_t)end : 0;
}

// Reads n bytes at pos into buf. Bytes past the end of the file read as zero.
// Returns the number of bytes that came from the file.
inline size_t kzmreadat(FILE* f, uint64_t pos, void* buf, size_t n)
{
    if (n == 0)
        return 0;
    size_t got = 0;
    if (kzmseek(f, pos) == 0)
        got = fread(buf, 1, n, f);
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

// Called for each match at chunk position pos; it may move the file position freely.
// A non-zero result ends the scan.
typedef int (*kzmchunkfn)(FILE* f, uint64_t pos, void* ctx);

// Finds, in file order, every offset at which the whole probe lies within the file and matches,
// exactly the offsets that probing byte by byte would find, overlapping and nested ones included.
// The file is read in blocks that overlap by one probe length less one byte, so a tag across a
// block boundary is seen once; memory does not depend on the file's size.
inline void kzmscan(FILE* f, const kzmprobe& probe, kzmchunkfn fn, void* ctx)
{
    const size_t plen = kzmprobelen(probe);
    const size_t cap = (size_t)1 << 20;
    std::vector<uint8_t> buf(cap);
    uint64_t base = 0;   // file position of buf[0]
    size_t have = 0;
    if (kzmseek(f, 0) != 0)
        return;
    for (;;) {
        size_t got = fread(buf.data() + have, 1, cap - have, f);
        have += got;
        bool last = have < cap;
        size_t limit = have >= plen ? have - plen + 1 : 0;   // candidates whose probe lies whole in buf
        size_t i = 0;
        while (i < limit) {
            const uint8_t* hit = (const uint8_t*)memchr(buf.data() + i, probe.tag[0], limit - i);
            if (!hit)
                break;
            i = (size_t)(hit - buf.data());
            if (memcmp(hit, probe.tag, 4) == 0 && (!probe.form || memcmp(hit + 8, probe.form, 8) == 0)) {
                if (fn(f, base + i, ctx) != 0)
                    return;
                if (kzmseek(f, base + have) != 0)
                    return;
            }
            i++;
        }
        if (last)
            return;
        size_t keep = have - limit;
        memmove(buf.data(), buf.data() + limit, keep);
        base += limit;
        have = keep;
    }
}
