// Test builder: lays out a work file (song header region and chunks) from fields and wraps it in a KZM container.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using kzbytes = std::vector<uint8_t>;

// Song header region at the start of the work file.
struct kzb_song {
    std::string title;            // bytes 20..83, zero-padded, cut at 64
    uint8_t channels = 4;         // N; P = N made odd pan bytes follow
    uint8_t speed = 6;
    uint8_t tempo = 125;
    std::vector<uint8_t> pans;    // the P pan bytes; missing ones are 0x40, extra ones dropped
    std::vector<uint8_t> orders;  // L = size, at most 255
    uint8_t filler = 0;           // every byte the reader does not interpret
};
kzbytes kzb_songheader(const kzb_song& song);

// One source row entry. -1 leaves a field out; note and instrument come together (flag bit 6).
kzbytes kzb_cell(uint8_t channel, int note, int instrument, int volume, int efftype = -1, int effparam = 0);
constexpr uint8_t KZB_ENDROW = 0x00;

// Pattern chunk "PATT"; the packed size field is rows.size() unless given.
kzbytes kzb_pattern(uint8_t number, uint8_t lastrow, const kzbytes& rows);
kzbytes kzb_pattern(uint8_t number, uint8_t lastrow, const kzbytes& rows, uint32_t packedsize);

// Instrument chunk "RIFF" .. "AI  INST", 348 bytes.
struct kzb_instr {
    uint8_t slot = 0;             // offset 25
    uint8_t waveform = 0;         // offset 186
    uint8_t rate = 0;             // offset 187
    uint16_t depth = 0;           // offset 189
    uint16_t speed = 0;           // offset 191
    std::string name;             // offset 26, 20 bytes
};
kzbytes kzb_instrument(const kzb_instr& ins);

// Sample chunk "RIFF" .. "AS  SAMP": 88-byte header, then data.
struct kzb_sample {
    std::string name;             // offset 24, 32 bytes
    uint8_t pan = 0;              // offset 57
    uint8_t volume = 128;         // offset 59
    uint8_t flags = 0x80;         // offset 60
    int64_t length = -1;          // offset 64; -1: frames in data (bytes, halved when flags say 16-bit)
    uint32_t loopbegin = 0;
    uint32_t loopend = 0;
    uint32_t c5speed = 8363;
    kzbytes data;
};
kzbytes kzb_samplechunk(const kzb_sample& smp);

void kzb_append(kzbytes& to, const kzbytes& from);
kzbytes kzb_repeat(const kzbytes& b, size_t times);
kzbytes kzb_cat(std::initializer_list<kzbytes> parts);
kzbytes kzb_cut(kzbytes b, size_t n);   // the first n bytes, or all of b when shorter
kzbytes kzb_text(const char* s);        // the characters, without the terminator
// n bytes from a fixed pseudo-random sequence: the same seed gives the same bytes.
kzbytes kzb_noise(size_t n, uint32_t seed);

// 24-byte header, then the work file as one zlib stream.
kzbytes kzb_container(const kzbytes& work, int level = 6, uint8_t headerfill = 0);

void kzb_writefile(const std::string& path, const kzbytes& bytes);
kzbytes kzb_readfile(const std::string& path);
