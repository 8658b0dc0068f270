// Instrument conversion: sample slot map, vibrato settings and sample count from the instrument chunks.
#include "kzm.h"
#include "kzmbytes.h"
#include "kzmscan.h"

#include <cstring>

// Instrument chunk "RIFF" size "AI  INST", fields packed with no alignment; nothing past ViS is used.
enum : size_t {
    INST_SLOT = 25,       // sample slot of this instrument, 0..98
    INST_WAVEFORM = 186,  // vibrato waveform code
    INST_RATE = 187,      // 8-bit
    INST_DEPTH = 189,     // 16-bit
    INST_SPEED = 191,     // 16-bit
    INST_READ = 193,      // bytes read from the chunk's first byte
};

// Source vibrato waveform code -> IT ViT; codes from 5 up leave ViT as it is.
static const uint8_t INST_WAVEFORMS[] = {0, 2, 4, 1, 3};

struct instscan {
    IMPS* samples;
    uint8_t* slotmap;
    uint32_t count;      // instrument chunks met, the next map entry
    uint32_t smpnum;     // highest slot byte given a slot, plus 1
};

// Entry n of the map pairs the n-th instrument chunk with the n-th sample chunk, so a slot byte
// beyond the slots still uses up its entry, which stays KZM_NOSLOT. Chunks past the map's end end
// the scan.
static int takeinstrument(kzmchunk* chunk, void* ctx)
{
    instscan* is = (instscan*)ctx;
    uint8_t c[INST_READ];
    kzmchunkread(chunk, 0, c, sizeof c, true);
    uint8_t slot = c[INST_SLOT];
    if (slot < KZM_MAXSLOTS) {
        is->slotmap[is->count] = slot;
        IMPS* s = &is->samples[slot];
        s->ViS = (uint8_t)(get_u16le(c + INST_SPEED) >> 4);
        s->ViD = (uint8_t)get_u16le(c + INST_DEPTH);
        s->ViR = (uint8_t)(c[INST_RATE] << 2);
        if (c[INST_WAVEFORM] < sizeof INST_WAVEFORMS)
            s->ViT = INST_WAVEFORMS[c[INST_WAVEFORM]];
        if (slot + 1u > is->smpnum)
            is->smpnum = slot + 1u;
    }
    return ++is->count == KZM_MAXSLOTS;
}

// Every entry of the map that no chunk fills is set to KZM_NOSLOT, like the entry of a slot byte
// from 99 up, so that the sample stage places nothing by it.
// SmpNum and InsNum: the highest slot byte given a slot, plus 1; 0 without one.
// Returns KZM_NOWORKFILE, changing nothing, when the work file cannot be opened; otherwise KZM_OK.
int convertkzminstr(const char* workfile, IMPS* samples, uint8_t* slotmap, IMPM* song)
{
    FILE* f = kzmopen(workfile);
    if (!f)
        return KZM_NOWORKFILE;
    memset(slotmap, KZM_NOSLOT, KZM_MAXSLOTS);
    instscan is = {samples, slotmap, 0, 0};
    kzmscanchunks(f, KZM_INSTPROBE, takeinstrument, &is);
    fclose(f);
    song->SmpNum = (uint16_t)is.smpnum;
    song->InsNum = (uint16_t)is.smpnum;
    return KZM_OK;
}
