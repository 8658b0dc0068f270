// One conversion, the stages in their fixed order, over records that the caller owns.
#include "kzm.h"
#include "kzmpath.h"

#include <cstdlib>
#include <cstring>

bool kzmalloc(kzmrecords* r)
{
    r->song = (IMPM*)malloc(sizeof(IMPM));
    r->patterns = (IMPP*)malloc(KZM_MAXPATTERNS * sizeof(IMPP));
    r->samples = (IMPS*)malloc(KZM_MAXSLOTS * sizeof(IMPS));
    r->slotmap = (uint8_t*)malloc(KZM_MAXSLOTS);
    if (r->song && r->patterns && r->samples && r->slotmap)
        return true;
    kzmfree(r);
    return false;
}

// The pattern and sample headers: a record that no chunk of the next file fills is written from
// them. The data areas need no clearing, as only the bytes that Length counts are written; nor
// does the slot map, whose every entry the instrument stage sets, nor the song record, whose every
// field that the writer reads the stages set.
void kzmclear(kzmrecords* r)
{
    for (uint32_t p = 0; p < KZM_MAXPATTERNS; p++)
        memset(&r->patterns[p], 0, IT_PATTHDR);
    for (uint32_t i = 0; i < KZM_MAXSLOTS; i++)
        memset(&r->samples[i], 0, IT_SAMPHDR);
}

void kzmfree(kzmrecords* r)
{
    free(r->song);
    free(r->patterns);
    free(r->samples);
    free(r->slotmap);
    *r = {};
}

// The instrument stage fills the slot map and the vibrato bytes before the sample stage places the
// samples through the map; the song header stage runs last and leaves the three counts alone. The
// work file goes as soon as the readers are done with it: the IT file, as large, then takes the
// pages it held, which cost nothing more, where fresh ones may cost a fault in the host of a
// virtual machine.
int convertkzm(const char* inpath, const char* workfile, const char* outpath, kzmrecords* r,
               kzmhook beforewrite, void* ctx)
{
    int ret = decodekzm(inpath, workfile);
    if (ret != KZM_OK)
        return ret;
    if (convertkzmpatterns(workfile, r->patterns, r->song) != KZM_OK ||
        convertkzminstr(workfile, r->samples, r->slotmap, r->song) != KZM_OK ||
        ripkzmsamples(workfile, r->samples, r->slotmap) != KZM_OK ||
        convertkzminfo(workfile, r->song) != KZM_OK)
        return KZM_NOWORKFILE;
    kzmremove(workfile);
    if (beforewrite)
        beforewrite(ctx);
    return writeit(outpath, r->song, r->patterns, r->samples);
}
