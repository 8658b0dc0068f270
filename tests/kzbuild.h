// Test builder: lays out a module's song header and chunks from fields, and the KZM container around it.
#pragma once
#include <fstream>
#include <string>
#include <vector>
#include <zlib.h>

using kzbytes = std::vector<uint8_t>;

inline void kzb_append(kzbytes& to, const kzbytes& b) { to.insert(to.end(), b.begin(), b.end()); }
inline kzbytes kzb_cat(std::initializer_list<kzbytes> parts)
{
    kzbytes b;
    for (auto& p : parts)
        kzb_append(b, p);
    return b;
}
inline kzbytes kzb_le16(uint16_t v) { return {(uint8_t)v, (uint8_t)(v >> 8)}; }
inline kzbytes kzb_le32(uint32_t v) { return kzb_cat({kzb_le16((uint16_t)v), kzb_le16(v >> 16)}); }
inline kzbytes kzb_text(std::string s, size_t n) { s.resize(n); return {s.begin(), s.end()}; }

// Song header: 20 bytes of opening, the title, channel count N, speed and tempo, then N made odd
// pan bytes (missing ones 0x80), the order count and the orders.
inline kzbytes kzb_songheader(std::string title, uint8_t channels, uint8_t speed, uint8_t tempo,
                              kzbytes pans, kzbytes orders)
{
    pans.resize(channels | 1u, 0x80);
    return kzb_cat({kzb_text("RIFF", 20), kzb_text(title, 64), {0, channels, speed, tempo},
                    kzbytes(5), pans, kzbytes(4), {(uint8_t)orders.size()}, kzbytes(4), orders});
}

// Pattern chunk; a packed size of -1 states the row data's own size.
inline kzbytes kzb_pattern(uint8_t number, uint8_t lastrow, kzbytes rows, int64_t packed = -1)
{
    return kzb_cat({kzb_text("PATT", 4), kzb_le32((uint32_t)rows.size() + 6), {number},
                    kzb_le32((uint32_t)(packed < 0 ? rows.size() : packed)), {lastrow}, rows});
}

// Instrument form, 348 bytes: slot at 25, name at 26, vibrato fields at 186 to 192.
inline kzbytes kzb_instrument(uint8_t slot, uint8_t waveform = 0, uint8_t rate = 0,
                              uint16_t depth = 0, uint16_t speed = 0, std::string name = "")
{
    return kzb_cat({kzb_text("RIFF", 4), kzb_le32(340), kzb_text("AI  INST", 8), kzb_le32(328),
                    kzbytes(5), {slot}, kzb_text(name, 160), {waveform, rate, 0}, kzb_le16(depth),
                    kzb_le16(speed), kzbytes(155)});
}

// Sample form: the 88-byte header, then the data. Length -1 states the data's frames (2 bytes each
// when the flags say 16-bit).
inline kzbytes kzb_samplechunk(std::string name, uint8_t pan, uint8_t vol, uint8_t flags, int len,
                               uint32_t loopbegin, uint32_t loopend, uint32_t c5speed, kzbytes data)
{
    uint32_t size = (uint32_t)data.size(), frames = size >> ((flags & 0xC7) == 0x84);
    return kzb_cat({kzb_text("RIFF", 4), kzb_le32(80 + size), kzb_text("AS  SAMP", 8),
                    kzb_le32(68 + size), kzbytes(4), kzb_text(name, 32),
                    {0, pan, 0, vol, flags, 0, 0, 0}, kzb_le32(len < 0 ? frames : len),
                    kzb_le32(loopbegin), kzb_le32(loopend), kzb_le32(c5speed), kzbytes(8), data});
}

// 24 header bytes, then the work file as one zlib stream of stored blocks, laid out here without
// zlib's deflater and the memory it takes: the fuzz target's container, made fast.
inline kzbytes kzb_stored(const kzbytes& work)
{
    kzbytes b = kzb_cat({kzbytes(24), {0x78, 0x01}});
    size_t at = 0;
    do {
        uint16_t n = (uint16_t)(work.size() - at < 65535 ? work.size() - at : 65535);
        b.push_back(at + n == work.size());   // the last block's flag, type 0: stored
        kzb_append(b, kzb_cat({kzb_le16(n), kzb_le16((uint16_t)~n)}));
        b.insert(b.end(), work.begin() + at, work.begin() + at + n);
        at += n;
    } while (at < work.size());
    uint32_t adler = (uint32_t)adler32(1, work.data(), (uInt)work.size());
    return kzb_cat({b, {(uint8_t)(adler >> 24), (uint8_t)(adler >> 16), (uint8_t)(adler >> 8), (uint8_t)adler}});
}

// 24 header bytes, then the work file as one zlib stream.
inline kzbytes kzb_container(const kzbytes& work, int level = 6)
{
    uLongf size = compressBound((uLong)work.size());
    kzbytes b(24 + size);
    compress2(&b[24], &size, work.data(), (uLong)work.size(), level);
    return b.resize(24 + size), b;
}

// A container whose stream inflates to mib MiB of zeros: a deflate segment of 1 MiB of zeros, ended
// on a byte boundary, repeated; then an empty last block and the checksum, which for n zeros is
// n mod 65521 in its high half and 1 in its low half. Made in no time, however large.
inline kzbytes kzb_zeros(uint32_t mib)
{
    kzbytes zero(1 << 20);
    kzbytes segment(1 << 12);
    z_stream z = {};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    z.next_in = zero.data();
    z.avail_in = (uInt)zero.size();
    z.next_out = segment.data();
    z.avail_out = (uInt)segment.size();
    deflate(&z, Z_SYNC_FLUSH);
    segment.resize(segment.size() - z.avail_out);
    deflateEnd(&z);
    kzbytes b = kzb_cat({kzbytes(24), {0x78, 0xDA}});
    for (uint32_t i = 0; i < mib; i++)
        kzb_append(b, segment);
    uint32_t high = (uint32_t)(((uint64_t)mib << 20) % 65521);
    return kzb_cat({b, {0x03, 0x00, (uint8_t)(high >> 8), (uint8_t)high, 0x00, 0x01}});
}

inline void kzb_writefile(std::string path, const kzbytes& b)
{
    std::ofstream(path, std::ios::binary).write((const char*)b.data(), b.size());
}
inline kzbytes kzb_readfile(std::string path)
{
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    kzbytes b(f ? (size_t)f.tellg() : 0);
    f.seekg(0).read((char*)b.data(), (std::streamsize)b.size());
    return b;
}
