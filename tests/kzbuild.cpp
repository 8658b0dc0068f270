// Test builder: lays out a work file (song header region and chunks) from fields and wraps it in a KZM container.
#include "kzbuild.h"
#include "kzmbytes.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <zlib.h>

static void put_text(kzbytes& b, size_t off, const std::string& s, size_t width)
{
    for (size_t i = 0; i < width; i++)
        b[off + i] = i < s.size() ? (uint8_t)s[i] : 0;
}

kzbytes kzb_songheader(const kzb_song& song)
{
    size_t p = (song.channels & 1) ? song.channels : song.channels + 1u;
    size_t l = song.orders.size() > 255 ? 255 : song.orders.size();
    kzbytes b(102 + p + l, song.filler);
    memcpy(&b[0], "RIFF", 4);
    put_u32le(&b[4], 0);
    put_text(b, 20, song.title, 64);
    b[85] = song.channels;
    b[86] = song.speed;
    b[87] = song.tempo;
    for (size_t i = 0; i < p; i++)
        b[93 + i] = i < song.pans.size() ? song.pans[i] : 0x40;
    b[97 + p] = (uint8_t)l;
    for (size_t i = 0; i < l; i++)
        b[102 + p + i] = song.orders[i];
    return b;
}

kzbytes kzb_cell(uint8_t channel, int note, int instrument, int volume, int efftype, int effparam)
{
    uint8_t flag = channel & 0x1F;
    kzbytes b(1);
    if (efftype >= 0) {
        flag |= 0x80;
        b.push_back((uint8_t)effparam);
        b.push_back((uint8_t)efftype);
    }
    if (note >= 0) {
        flag |= 0x40;
        b.push_back((uint8_t)instrument);
        b.push_back((uint8_t)note);
    }
    if (volume >= 0) {
        flag |= 0x20;
        b.push_back((uint8_t)volume);
    }
    b[0] = flag;
    return b;
}

kzbytes kzb_pattern(uint8_t number, uint8_t lastrow, const kzbytes& rows, uint32_t packedsize)
{
    kzbytes b(14);
    memcpy(&b[0], "PATT", 4);
    put_u32le(&b[4], (uint32_t)(rows.size() + 6));
    b[8] = number;
    put_u32le(&b[9], packedsize);
    b[13] = lastrow;
    kzb_append(b, rows);
    return b;
}

kzbytes kzb_pattern(uint8_t number, uint8_t lastrow, const kzbytes& rows)
{
    return kzb_pattern(number, lastrow, rows, (uint32_t)rows.size());
}

kzbytes kzb_instrument(const kzb_instr& ins)
{
    kzbytes b(348);
    memcpy(&b[0], "RIFF", 4);
    put_u32le(&b[4], 348 - 8);
    memcpy(&b[8], "AI  INST", 8);
    b[25] = ins.slot;
    put_text(b, 26, ins.name, 20);
    b[186] = ins.waveform;
    b[187] = ins.rate;
    put_u16le(&b[189], ins.depth);
    put_u16le(&b[191], ins.speed);
    return b;
}

kzbytes kzb_samplechunk(const kzb_sample& smp)
{
    kzbytes b(88);
    memcpy(&b[0], "RIFF", 4);
    put_u32le(&b[4], (uint32_t)(88 - 8 + smp.data.size()));
    memcpy(&b[8], "AS  SAMP", 8);
    put_text(b, 24, smp.name, 32);
    b[57] = smp.pan;
    b[59] = smp.volume;
    b[60] = smp.flags;
    bool wide = (smp.flags & 0xC3) == 0x80 && (smp.flags & 0x04) && !((smp.flags & 0x10) && !(smp.flags & 0x08));
    uint32_t length = smp.length >= 0 ? (uint32_t)smp.length : (uint32_t)(wide ? smp.data.size() / 2 : smp.data.size());
    put_u32le(&b[64], length);
    put_u32le(&b[68], smp.loopbegin);
    put_u32le(&b[72], smp.loopend);
    put_u32le(&b[76], smp.c5speed);
    kzb_append(b, smp.data);
    return b;
}

void kzb_append(kzbytes& to, const kzbytes& from)
{
    size_t at = to.size();
    to.resize(at + from.size());
    if (!from.empty())
        memcpy(&to[at], from.data(), from.size());
}

kzbytes kzb_repeat(const kzbytes& b, size_t times)
{
    kzbytes out;
    for (size_t i = 0; i < times; i++)
        kzb_append(out, b);
    return out;
}

kzbytes kzb_cat(std::initializer_list<kzbytes> parts)
{
    kzbytes b;
    for (auto& p : parts)
        kzb_append(b, p);
    return b;
}

kzbytes kzb_cut(kzbytes b, size_t n)
{
    b.resize(n < b.size() ? n : b.size());
    return b;
}

kzbytes kzb_text(const char* s)
{
    return kzbytes(s, s + strlen(s));
}

kzbytes kzb_noise(size_t n, uint32_t seed)
{
    kzbytes b(n);
    for (size_t i = 0; i < n; i++) {
        seed = seed * 1103515245u + 12345u;
        b[i] = (uint8_t)(seed >> 16);
    }
    return b;
}

kzbytes kzb_container(const kzbytes& work, int level, uint8_t headerfill)
{
    uLongf size = compressBound((uLong)work.size());
    kzbytes b(24 + size, headerfill);
    if (compress2(&b[24], &size, work.data(), (uLong)work.size(), level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    b.resize(24 + size);
    return b;
}

void kzb_writefile(const std::string& path, const kzbytes& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f || (!bytes.empty() && fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) || fclose(f) != 0)
        throw std::runtime_error("cannot write " + path);
}

kzbytes kzb_readfile(const std::string& path)
{
    kzbytes b;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        throw std::runtime_error("cannot read " + path);
    uint8_t block[65536];
    size_t n;
    while ((n = fread(block, 1, sizeof block, f)) > 0)
        b.insert(b.end(), block, block + n);
    fclose(f);
    return b;
}
