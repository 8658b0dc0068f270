// Sample extraction: sample chunks into IT sample headers and their data.
#include "kzm.h"
#include "kzmbytes.h"
#include "kzmscan.h"

#include <cstring>

// Sample chunk "RIFF" size "AS  SAMP": an 88-byte header of packed fields, then the data.
enum : size_t {
    SAMP_NAME = 24,       // 32 bytes; the first 26 become the Sample Name
    SAMP_PAN = 57,        // signed
    SAMP_VOLUME = 59,
    SAMP_FLAGS = 60,
    SAMP_LENGTH = 64,     // frames, 32-bit
    SAMP_LOOPBEGIN = 68,  // frames, 32-bit
    SAMP_LOOPEND = 72,    // frames, 32-bit
    SAMP_C5SPEED = 76,    // 32-bit
    SAMP_HEADER = 88,     // the data follows
};

// Sample flags byte: recognised when bit 7 is set, bits 6, 1 and 0 are clear and ping-pong (bit 4)
// comes with loop (bit 3); bit 5 is free.
enum : uint8_t {
    SAMPF_VALIDMASK = 0xC3,
    SAMPF_VALID = 0x80,
    SAMPF_16BIT = 0x04,
    SAMPF_LOOP = 0x08,
    SAMPF_PINGPONG = 0x10,
};

enum : uint8_t { IT_GVL = 64, IT_CVT_SIGNED = 1 };

struct smpscan {
    IMPS* samples;
    const uint8_t* slotmap;
    uint32_t count;      // sample chunks met, the map entry of the next one
};

// Sets Flg from a recognised flags byte and returns whether the data has 2 bytes per frame;
// an unrecognised byte leaves Flg alone and its length field counts bytes.
static bool translateflags(uint8_t b, IMPS* s)
{
    if ((b & SAMPF_VALIDMASK) != SAMPF_VALID || ((b & SAMPF_PINGPONG) && !(b & SAMPF_LOOP)))
        return false;
    s->Flg = (uint8_t)(((b & SAMPF_16BIT) ? IMPS_FLG_16BIT : 0) | ((b & SAMPF_LOOP) ? IMPS_FLG_LOOP : 0) |
                       ((b & SAMPF_PINGPONG) ? IMPS_FLG_PINGPONG : 0));
    return (b & SAMPF_16BIT) != 0;
}

// A chunk whose map entry names no slot is skipped; the scan ends once the map is used up.
// The data is cut to the slot's data area, and Length counts only the bytes the file holds.
static int takesample(kzmchunk* chunk, void* ctx)
{
    smpscan* ss = (smpscan*)ctx;
    uint8_t slot = ss->slotmap[ss->count];
    if (slot < KZM_MAXSLOTS) {
        IMPS* s = &ss->samples[slot];
        uint8_t c[SAMP_HEADER];
        kzmchunkread(chunk, 0, c, sizeof c, true);

        memset(s->DOSFileName, 0, sizeof s->DOSFileName);
        s->Zero = 0;
        s->GvL = IT_GVL;
        uint64_t datalen = get_u32le(c + SAMP_LENGTH);
        if (translateflags(c[SAMP_FLAGS], s))
            datalen *= 2;
        if (datalen > KZM_SAMPDATA)
            datalen = KZM_SAMPDATA;
        // Straight into the slot; past the end of the file the slot keeps what it held.
        size_t got = kzmchunkread(chunk, SAMP_HEADER, s->data, (size_t)datalen, false);
        s->Length = (uint32_t)got;
        s->Vol = c[SAMP_VOLUME] >> 1;
        s->Cvt = IT_CVT_SIGNED;
        s->LoopBegin = get_u32le(c + SAMP_LOOPBEGIN);
        s->LoopEnd = get_u32le(c + SAMP_LOOPEND);
        s->C5Speed = get_u32le(c + SAMP_C5SPEED);
        s->SusLoopBegin = 0;
        s->SusLoopEnd = 0;
        s->DfP = (uint8_t)((int8_t)c[SAMP_PAN] / 2);   // signed, truncated toward zero
        memcpy(s->SampleName, c + SAMP_NAME, sizeof s->SampleName);
    }
    return ++ss->count == KZM_MAXSLOTS;
}

// Leaves SamplePointer and the vibrato bytes as the instrument stage set them.
// Returns KZM_NOWORKFILE, changing nothing, when the work file cannot be opened; otherwise KZM_OK.
int ripkzmsamples(const char* workfile, IMPS* samples, const uint8_t* slotmap)
{
    FILE* f = kzmopen(workfile);
    if (!f)
        return KZM_NOWORKFILE;
    smpscan ss = {samples, slotmap, 0};
    kzmscanchunks(f, KZM_SAMPPROBE, takesample, &ss);
    fclose(f);
    return KZM_OK;
}
