// libFuzzer target: arbitrary bytes as a KZM file, through the inflater, the four readers and the IT writer.
#include "kzfuzz.h"

#include <algorithm>
#include <cstring>
#include <vector>
#include <zlib.h>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxsize);

enum : size_t { HEADER = 24, MODULECAP = 4u << 20 };

// Inflates what follows the header, as far as it inflates, up to MODULECAP bytes.
static std::vector<uint8_t> inflated(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> module;
    z_stream s = {};
    if (inflateInit(&s) != Z_OK)
        return module;
    s.next_in = (Bytef*)data + HEADER;
    s.avail_in = (uInt)(size - HEADER);
    uint8_t out[16384];
    int ret;
    do {
        s.next_out = out;
        s.avail_out = sizeof out;
        ret = inflate(&s, Z_NO_FLUSH);
        module.insert(module.end(), out, out + (sizeof out - s.avail_out));
    } while (ret == Z_OK && s.avail_out == 0 && module.size() < MODULECAP);
    inflateEnd(&s);
    if (module.size() > MODULECAP)
        module.resize(MODULECAP);
    return module;
}

// Half the mutations change the file's bytes as they are, which mostly reaches the inflater's failure
// paths. The other half change the inflated module and deflate it again whole behind the same header,
// at a level the seed picks (0 gives stored blocks), so that the changes reach the readers: a mutated
// stream seldom keeps a matching Adler-32.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxsize, unsigned int seed)
{
    if ((seed & 1) || size <= HEADER || maxsize <= HEADER)
        return LLVMFuzzerMutate(data, size, maxsize);
    std::vector<uint8_t> module = inflated(data, size);
    if (module.empty())
        module.push_back(0);   // the mutators want at least one byte
    size_t used = module.size();
    module.resize(std::min((size_t)MODULECAP, 2 * used + 64));
    used = LLVMFuzzerMutate(module.data(), used, module.size());
    uLongf packed = compressBound((uLong)used);
    std::vector<uint8_t> stream(packed);
    if (compress2(stream.data(), &packed, module.data(), (uLong)used, (int)((seed >> 1) % 10)) != Z_OK ||
        HEADER + packed > maxsize)
        return LLVMFuzzerMutate(data, size, maxsize);
    memcpy(data + HEADER, stream.data(), packed);
    return HEADER + packed;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kzf_runkzm(data, size);
    return 0;
}
