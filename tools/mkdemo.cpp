// Writes examples/demo.kzm (or the path given): a short song laid out with the test builder.
#include "kzbuild.h"

#include <cmath>
#include <cstdio>

static kzbytes square8(size_t frames, size_t period)
{
    kzbytes d(frames);
    for (size_t i = 0; i < frames; i++)
        d[i] = (i % period) < period / 2 ? 0x30 : 0xD0;
    return d;
}

int main(int argc, char** argv)
{
    const char* out = argc > 1 ? argv[1] : "examples/demo.kzm";

    kzb_song song;
    song.title = "kzm2it demo";
    song.channels = 4;
    song.speed = 6;
    song.tempo = 125;
    song.pans = {0x20, 0xE0, 0x60, 0xA0, 0x80};
    song.orders = {0, 1, 0, 1};
    kzbytes work = kzb_songheader(song);

    for (uint8_t p = 0; p < 2; p++) {
        kzbytes rows;
        for (int r = 0; r < 64; r++) {
            if (r % 4 == 0)
                kzb_append(rows, kzb_cell(0, 49 + (r / 4 + p * 3) % 12, 1, 100));
            if (r % 8 == 4)
                kzb_append(rows, kzb_cell(1, 37, 2, 120));
            rows.push_back(KZB_ENDROW);
        }
        kzb_append(work, kzb_pattern(p, 63, rows));
    }

    kzb_append(work, kzb_instrument({0, 0, 0, 0, 0, "lead"}));
    kzb_append(work, kzb_instrument({1, 0, 0, 0, 0, "bass"}));
    kzb_sample lead;
    lead.name = "square lead";
    lead.flags = 0x88;
    lead.data = square8(4000, 32);
    lead.loopend = 4000;
    kzb_append(work, kzb_samplechunk(lead));
    kzb_sample bass;
    bass.name = "square bass";
    bass.flags = 0x88;
    bass.data = square8(4000, 64);
    bass.loopend = 4000;
    kzb_append(work, kzb_samplechunk(bass));

    kzb_writefile(out, kzb_container(work, 9));
    printf("wrote %s\n", out);
    return 0;
}
