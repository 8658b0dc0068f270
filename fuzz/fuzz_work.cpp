// libFuzzer target: arbitrary bytes as the work file, in a container, through the whole conversion.
#include "kztest.h"

// Aborts, so that libFuzzer keeps the input, when a stage fails or the IT file is malformed; the
// sanitizers report the rest.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kzbytes it = kzt_convert(kzb_stored(kzbytes(data, data + size)));
    std::string fault = it.empty() ? "a stage failed" : kzt_itcheck(it);
    if (!fault.empty())
        fprintf(stderr, "%s\n", fault.c_str()), abort();
    return 0;
}
