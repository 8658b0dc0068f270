// Test helpers: the conversion in-process as main runs it, on files of the test's own; an IT file check.
#pragma once
#include "kzbuild.h"
#include "kzm.h"
#include "kzmbytes.h"

#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

// A file name of this process's own, so that tests run side by side never share one; removed at
// exit, but for the last work file, which moves to the folder KZM_SEEDS names, if set, to seed the
// fuzzer. No file grows past 64 MiB: a writer that runs away ends the test, not the disk's space.
// That is the soft limit, which a test that means to write more raises for its own commands.
inline std::string kzt_file(const char* ext) { return "kzt" + std::to_string(getpid()) + ext; }
inline struct kzt_files {
    kzt_files()
    {
        rlimit most;
        getrlimit(RLIMIT_FSIZE, &most);
        most.rlim_cur = most.rlim_max < (1u << 26) ? most.rlim_max : (1u << 26);
        setrlimit(RLIMIT_FSIZE, &most);
    }
    ~kzt_files()
    {
        if (const char* seeds = getenv("KZM_SEEDS"))
            rename(kzt_file(".emx").c_str(), (seeds + ("/" + kzt_file(".emx"))).c_str());
        for (auto ext : {".kzm", ".emx", ".it", ".def"})
            remove(kzt_file(ext).c_str());
    }
} kzt_files_of_this_process;

// Writes this process's work file and returns its name.
inline std::string kzt_work(const kzbytes& work)
{
    return kzb_writefile(kzt_file(".emx"), work), kzt_file(".emx");
}

// Fills the stack below the caller with 0xAA bytes, where the buffers of the writer will lie.
[[gnu::noinline]] inline void kzt_paint(void*) { volatile char b[1 << 17]; for (auto& x : b) x = 0xAA; }

// The whole conversion of a KZM file as the program runs it, on records allocated once and cleared
// for each file as the batch mode does, but for the song record and the stack below the writer,
// which start as 0xAA bytes so that a field or byte left unset shows. Returns the IT file, or
// nothing when the conversion fails.
inline kzbytes kzt_convert(const kzbytes& kzm)
{
    static kzmrecords r;
    if (!r.song && !kzmalloc(&r))
        abort();
    std::string in = kzt_file(".kzm"), work = kzt_file(".emx"), it = kzt_file(".it");
    kzb_writefile(in, kzm);
    kzmclear(&r);
    memset(r.song, 0xAA, sizeof(IMPM));
    int ret = convertkzm(in.c_str(), work.c_str(), it.c_str(), &r, kzt_paint, nullptr);
    kzbytes out = ret == KZM_OK ? kzb_readfile(it) : kzbytes();
    // A file renamed over another is written out at once on some file systems: none is left.
    remove(it.c_str());
    return out;
}

// The bytes that follow an IT entry's mask: note, instrument, volume, command and its value.
inline size_t kzt_fields(size_t m) { return (m & 1) + (m >> 1 & 1) + (m >> 2 & 1) + (m >> 2 & 2); }

// "" when the file holds, in order and without a gap, the song header, orders ending in 255, the
// offset tables, sample headers, patterns and sample data, each offset pointing at its part, and every
// pattern's entries end at its Length, with its Rows complete unless the area is full and no
// instrument 0; otherwise what is wrong.
inline std::string kzt_itcheck(const kzbytes& it)
{
    const uint8_t* b = it.data();
    size_t ords = it.size() >= IT_SONGHDR ? get_u16le(b + 32) : 0, rows, k;
    size_t smps = ords ? get_u16le(b + 36) : 0, pats = ords ? get_u16le(b + 38) : 0;
    size_t offs = IT_SONGHDR + ords, hdrs = offs + 4 * (smps + pats), q = hdrs + IT_SAMPHDR * smps;
    if (!ords || ords > 256 || smps > 99 || pats > 199 || q > it.size() || b[offs - 1] != 255)
        return "song header, orders or tables";
    for (size_t p = 0; p < pats; q += IT_PATTHDR + k, p++) {
        size_t len = q + IT_PATTHDR <= it.size() ? get_u16le(b + q) : it.size();
        size_t offset = get_u32le(b + offs + 4 * (smps + p));
        if (q + IT_PATTHDR + len > it.size() || offset != (len ? q : 0))
            return "pattern " + std::to_string(p);
        const uint8_t* d = b + q + IT_PATTHDR;
        for (rows = k = 0; k < len; rows += !d[k], k += d[k] ? 2 + kzt_fields(d[k + 1]) : 1) {
            size_t mask = d[k] && k + 1 < len ? d[k + 1] : 0, ins = k + 2 + (mask & 1);
            if (d[k] && (d[k] < 0x80 || !mask || mask > 15 || ((mask & 2) && ins < len && !d[ins])))
                return "pattern " + std::to_string(p) + " entry at " + std::to_string(k);
        }
        if (k != len || rows > get_u16le(b + q + 2) || (rows < get_u16le(b + q + 2) && len < 32768))
            return "pattern " + std::to_string(p) + " rows";
    }
    for (size_t i = 0; i < smps; i++) {
        const uint8_t* h = b + hdrs + IT_SAMPHDR * i;
        size_t end = i + 1 < smps ? get_u32le(h + IT_SAMPHDR + IT_SAMPPTR) : it.size();
        if (memcmp(h, "IMPS", 4) || get_u32le(b + offs + 4 * i) != (size_t)(h - b) || end < q ||
            get_u32le(h + IT_SAMPPTR) != q || end > it.size() || !(h[18] & 1) != (end == q) ||
            (end - q) / (h[18] & 2 ? 2 : 1) != get_u32le(h + 48))
            return "sample " + std::to_string(i);
        q = end;
    }
    return q == it.size() ? "" : "bytes after the sample data";
}
