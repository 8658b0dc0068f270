// libFuzzer target: arbitrary bytes as the work file, through the four readers and the IT writer.
#include "kzfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kzf_runwork(data, size);
    return 0;
}
