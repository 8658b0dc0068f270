// Row entries for the songs that the demo maker and the benchmark lay out with the test builder.
#pragma once
#include "kzbuild.h"

// One row entry: the flag byte (channel and the groups present), then the effect parameter and
// type, the instrument and note, the volume. -1 leaves a group out; note and instrument go together.
inline kzbytes kzb_cell(uint8_t channel, int note, int ins, int volume, int fx = -1, int param = 0)
{
    kzbytes b = {(uint8_t)(channel & 0x1F)};
    if (fx >= 0) {
        b[0] |= 0x80;
        kzb_append(b, {(uint8_t)param, (uint8_t)fx});
    }
    if (note >= 0) {
        b[0] |= 0x40;
        kzb_append(b, {(uint8_t)ins, (uint8_t)note});
    }
    if (volume >= 0) {
        b[0] |= 0x20;
        b.push_back((uint8_t)volume);
    }
    return b;
}

// Ends a row.
constexpr uint8_t KZB_ENDROW = 0x00;
