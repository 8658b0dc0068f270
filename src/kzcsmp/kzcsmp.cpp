// Sample extraction: sample chunks into IT sample headers and their data.
#include "kzm.h"

int ripkzmsamples(const char* workfile, IMPS* samples, const uint8_t* slotmap)
{
    (void)workfile;
    (void)samples;
    (void)slotmap;
    return KZM_OK;
}
