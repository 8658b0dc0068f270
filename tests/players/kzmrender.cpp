// The page test's companion: IT files rendered as the page's player renders them, by Debian's libmikmod, and the test's own songs.
// Usage: kzmrender IT PCM   writes the render's bytes, what the page's WAV file of IT holds after its header
//        kzmrender -m DIR   lays out DIR/short.kzm and DIR/unplayable.kzm with the test builder
#include "kzbuild.h"

#include <mikmod.h>

#include <algorithm>
#include <cstring>

// Two channels at speed 3, 16 rows: C-5 on both (slot 0, an 8-bit looped square; slot 1, a
// 16-bit looped saw), a portamento to E-5 on row 4, a vibrato on row 8, a volume slide down on
// row 12. Pans 0x20 and 0xF0, the second held at IT's right. c5 is the square's C5 speed.
static kzbytes song(uint32_t c5)
{
    kzbytes square, saw, rows;
    for (int i = 0; i < 256; i++) {
        square.push_back(i % 32 < 16 ? 0x40 : 0xC0);
        kzb_append(saw, kzb_le16((uint16_t)((i % 64) * 1024 - 32768)));
    }
    const kzbytes cells[16] = {
        {0x40, 1, 61, 0x41, 2, 61},   // flags: note group, channel; then instrument and note
        {}, {}, {},
        {0xC0, 0x20, 3, 1, 65},       // effect group too: parameter and type (portamento)
        {}, {}, {},
        {0x81, 0x46, 4},              // vibrato, speed 4 depth 6
        {}, {}, {},
        {0x80, 0x04, 10},             // volume slide down
    };
    for (auto& c : cells)
        kzb_append(rows, kzb_cat({c, {0}}));
    return kzb_container(kzb_cat({kzb_songheader("short", 2, 3, 125, {0x20, 0xF0}, {0}),
                                  kzb_pattern(0, 15, rows), kzb_instrument(0), kzb_instrument(1),
                                  kzb_samplechunk("square", 0, 128, 0x88, -1, 0, 256, c5, square),
                                  kzb_samplechunk("saw", 0, 128, 0x8C, -1, 0, 256, 16744, saw)}));
}

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "-m") == 0) {
        kzb_writefile(std::string(argv[2]) + "/short.kzm", song(8363));
        kzb_writefile(std::string(argv[2]) + "/unplayable.kzm", song(600000));   // past 524,287 Hz
        return 0;
    }
    if (argc != 3)
        return fprintf(stderr, "usage: kzmrender IT PCM | kzmrender -m DIR\n"), 2;
    MikMod_RegisterDriver(&drv_nos);
    MikMod_RegisterLoader(&load_it);
    md_mixfreq = 44100;
    md_mode = DMODE_SOFT_MUSIC | DMODE_16BITS | DMODE_STEREO | DMODE_INTERP;
    kzbytes it = kzb_readfile(argv[1]);
    MODULE* mod = MikMod_Init("") ? nullptr : Player_LoadMem((const char*)it.data(), (int)it.size(), 64, 0);
    if (!mod)
        return fprintf(stderr, "kzmrender: %s: refused\n", argv[1]), 1;
    mod->loop = 0;
    mod->wrap = 0;
    Player_Start(mod);
    kzbytes pcm, call(16384);
    const size_t most = 26460000 * 4;   // ten minutes of frames of 4 bytes
    while (Player_Active() && pcm.size() < most) {
        size_t got = VC_WriteBytes((SBYTE*)call.data(), (ULONG)call.size());
        pcm.insert(pcm.end(), call.begin(), call.begin() + (long)std::min(got, most - pcm.size()));
    }
    kzb_writefile(argv[2], pcm);
    Player_Free(mod);
    MikMod_Exit();
    return 0;
}
