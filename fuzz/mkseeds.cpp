// Writes the fuzz seed corpora with the test builder: OUT/work (work files) and OUT/kzm (KZM files).
#include "kzbuild.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <zlib.h>

namespace fs = std::filesystem;

namespace {

std::string outdir;
int written = 0;

// Every work file is a seed of both targets: as it is, and wrapped in a container.
void seed(const std::string& dir, const std::string& name, const kzbytes& bytes)
{
    char prefix[16];
    snprintf(prefix, sizeof prefix, "%03d-", ++written);
    kzb_writefile(outdir + "/" + dir + "/" + prefix + name, bytes);
}

void work(const std::string& name, const kzbytes& bytes)
{
    seed("work", name, bytes);
    seed("kzm", name, kzb_container(bytes));
}

kzbytes song(uint8_t channels = 4, size_t orders = 2)
{
    kzb_song s;
    s.title = "seed";
    s.channels = channels;
    for (size_t i = 0; i < orders; i++)
        s.orders.push_back((uint8_t)(i % 3));
    return kzb_songheader(s);
}

kzbytes sample(uint8_t flags, const kzbytes& data, int64_t length = -1)
{
    kzb_sample s;
    s.name = "smp";
    s.flags = flags;
    s.length = length;
    s.loopbegin = 1;
    s.loopend = (uint32_t)data.size() / 2;
    s.data = data;
    return kzb_samplechunk(s);
}

kzbytes instrument(uint8_t slot)
{
    return kzb_instrument({slot, 1, 0x10, 0x20, 0x0400, "ins"});
}

// A row of every entry form and effect class, then an end-of-row byte.
kzbytes everyform()
{
    return kzb_cat({kzb_cell(0, 0x31, 1, 0x40, 1, 0x10), kzb_cell(1, 0x3D, 2, -1), kzb_cell(2, -1, -1, 0x7F),
                kzb_cell(3, -1, -1, -1, 8, 0x80), kzb_cell(4, 0, 1, 0x80, 14, 0xC3), kzb_cell(31, 0xFF, 99, -1, 15, 33),
                kzb_cell(5, -1, -1, 0xFF, 20, 0x90), {0x05, 0x1F, KZB_ENDROW}});
}

void songseeds()
{
    work("empty", {});
    work("song-only", song());
    work("song-no-orders", song(4, 0));
    work("song-255-orders", song(3, 255));
    work("song-0-channels", song(0, 1));
    work("song-255-channels", song(255, 4));
    kzb_song s;
    s.title = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    s.filler = 0xFF;
    s.orders = {0};
    work("song-long-title-filler-ff", kzb_songheader(s));
    work("song-cut", kzb_cut(song(4, 3), 99));
}

void wholeseeds()
{
    kzbytes module = song(4, 3);
    kzb_append(module, kzb_pattern(0, 63, kzb_repeat(everyform(), 4)));
    kzb_append(module, kzb_pattern(2, 31, kzb_cat({kzb_cell(0, 0x40, 1, 0x20), {KZB_ENDROW}})));
    kzb_append(module, kzb_pattern(1, 0, {}));
    for (uint8_t slot : {0, 1, 2})
        kzb_append(module, instrument(slot));
    kzb_append(module, sample(0x80, kzb_noise(300, 1)));
    kzb_append(module, sample(0x8C, kzb_noise(400, 2)));
    kzb_append(module, sample(0x98, kzb_noise(201, 3)));
    work("module", module);
    work("module-cut-in-last-sample", kzb_cut(module, module.size() - 100));
}

void patternseeds()
{
    const kzbytes example = {'P', 'A', 'T', 'T', 0x12, 0, 0, 0, 0x00, 0x0C, 0, 0, 0, 0x00, 0xE3, 0x05, 0x0A, 0x02,
                             0x31, 0x40, 0x22, 0x7F, 0x4F, 0x01, 0x3D, 0x00};
    work("patt-example", kzb_cat({song(), example}));
    work("patt-every-form", kzb_cat({song(), kzb_pattern(0, 3, kzb_repeat(everyform(), 3))}));
    kzbytes numbers = song();
    for (uint8_t n : {199, 1, 255, 200, 198, 4, 4})
        kzb_append(numbers, kzb_pattern(n, 1, kzb_cat({kzb_cell(1, -1, -1, 2), {KZB_ENDROW}})));
    work("patt-numbers-past-capacity", numbers);
    kzbytes all = song();
    for (int n = 0; n < 201; n++)
        kzb_append(all, kzb_pattern((uint8_t)n, 0, {KZB_ENDROW}));
    work("patt-201-chunks", all);
    work("patt-only-255", kzb_cat({song(), kzb_pattern(255, 0, {0x21, 0x02, KZB_ENDROW})}));
    work("patt-256-rows", kzb_cat({song(), kzb_pattern(0, 0xFF, kzb_cat({kzbytes(255, 0), {0x21, 0x02, 0x00, 0x21, 0x04}}))}));
    work("patt-more-ends-than-rows", kzb_cat({song(), kzb_pattern(0, 1, {0, 0, 0, 0x21, 0x02})}));
    work("patt-packed-0", kzb_cat({song(), kzb_pattern(0, 7, {0x21, 0x02, 0x00}, 0)}));
    work("patt-packed-past-file", kzb_cat({song(), kzb_pattern(2, 5, {0x21, 0x02, 0x00, 0x21, 0x04, 0x00}, 100)}));
    work("patt-packed-ffffffff", kzb_cat({song(), kzb_pattern(1, 0, {0x21, 0x02, 0x00}, 0xFFFFFFFF)}));
    work("patt-packed-cuts-entry", kzb_cat({song(), kzb_pattern(0, 3, {0x21, 0x02, 0x60, 0x01, 0x02, 0x03, 0x00}, 5)}));
    work("patt-entry-cut-by-end", kzb_cat({song(), kzb_pattern(0, 3, {0x21, 0x02, 0xE0, 0x01, 0x02, 0x03, 0x04})}));
    work("patt-header-cut-after-number", kzb_cat({song(), kzb_text("PATT\x01\x02\x03\x04\x03")}));
    const kzbytes vol = {0x21, 0x02};
    work("patt-it-data-cap", kzb_cat({song(), kzb_pattern(7, 0, kzb_cat({kzb_repeat(vol, 10923), {KZB_ENDROW}}))}));
    work("patt-it-data-cap-end-rows", kzb_cat({song(), kzb_pattern(7, 2, kzb_cat({kzb_repeat(vol, 10922), {0, 0, 0x21, 0x02, 0}}))}));
    work("patt-it-data-cap-full-entries",
         kzb_cat({song(), kzb_pattern(3, 255, kzb_repeat(kzb_cat({kzb_cell(0, 0x40, 1, 0x20, 1, 1), {KZB_ENDROW}}), 6000))}));
}

void instrumentseeds()
{
    kzbytes many = song();
    for (int i = 0; i < 100; i++)
        kzb_append(many, instrument((uint8_t)(i % 99)));
    for (int i = 0; i < 100; i++)
        kzb_append(many, sample(0x80, {(uint8_t)i, 1, 2}));
    work("inst-100-and-samp-100", many);
    kzbytes slots = song();
    for (int i = 0; i < 99; i++)
        kzb_append(slots, instrument((uint8_t)(98 - i)));
    work("inst-every-slot", slots);
    work("inst-slot-99-255", kzb_cat({song(), instrument(0), instrument(99), instrument(255), instrument(1),
                                  sample(0x80, {1}), sample(0x80, {2}), sample(0x80, {3}), sample(0x80, {4})}));
    work("inst-cut-after-slot", kzb_cat({song(), kzb_cut(instrument(7), 26)}));
    work("inst-cut-in-probe", kzb_cut(instrument(7), 15));
    work("more-samples-than-instruments", kzb_cat({song(), instrument(0), sample(0x80, {1}), sample(0x84, {1, 2})}));
}

void sampleseeds()
{
    const uint8_t flags[] = {0x80, 0xA0, 0x84, 0xA4, 0x88, 0x8C, 0x98, 0x9C, 0xBC, 0x90, 0x94, 0x00,
                             0x7F, 0xC0, 0xFF, 0x81, 0x82, 0x8B};
    kzbytes module = song();
    for (size_t i = 0; i < sizeof flags; i++)
        kzb_append(module, instrument((uint8_t)i));
    for (size_t i = 0; i < sizeof flags; i++)
        kzb_append(module, sample(flags[i], kzb_noise(20 + i, (uint32_t)i), 10));
    work("samp-flag-bytes", module);
    const size_t MIB = 1048576;
    work("samp-8bit-over-1mib", kzb_cat({song(), instrument(0), sample(0x80, kzbytes(MIB + 4, 0x11), MIB + 1)}));
    work("samp-16bit-exactly-1mib", kzb_cat({song(), instrument(0), sample(0x84, kzbytes(MIB + 4, 0x22), MIB / 2)}));
    work("samp-16bit-doubling-past-32-bits", kzb_cat({song(), instrument(0), sample(0x84, kzbytes(MIB + 16, 0x33), 0x80000001)}));
    work("samp-length-ffffffff", kzb_cat({song(), instrument(0), sample(0x80, kzb_noise(100, 4), 0xFFFFFFFF)}));
    work("samp-data-cut", kzb_cat({song(), instrument(0), sample(0x84, kzb_noise(7, 5), 4)}));
    work("samp-header-cut", kzb_cat({song(), instrument(0), kzb_cut(sample(0x84, kzb_noise(8, 6)), 30)}));
    work("samp-slot-98", kzb_cat({song(), instrument(98), sample(0x8C, kzb_noise(64, 7))}));
}

void tagseeds()
{
    const kzbytes patt = kzb_text("PATT");
    const kzbytes inst = kzb_text("RIFF....AI  INST"), samp = kzb_text("RIFF....AS  SAMP");
    work("tag-patt", patt);
    work("tag-inst", inst);
    work("tag-samp", samp);
    work("tags-only", kzb_cat({patt, inst, samp, patt, inst, samp}));
    work("tags-overlapping", kzb_cat({kzb_text("PATTPATT"), kzb_text("RIFF....AI  INSTRIFF....AI  INST")}));
    work("tags-inside-data", kzb_cat({song(), instrument(0), sample(0x80, kzb_cat({patt, inst, samp, kzbytes(40, 0)}))}));
    const size_t BLOCK = 1u << 20;   // the chunk scan's read block
    kzbytes across = kzb_cat({song(), instrument(0)});
    across.resize(BLOCK + 200, 'R');
    memcpy(&across[BLOCK - 9], "RIFF....AS  SAMP", 16);
    work("tags-across-scan-block", across);
}

// The last chunk of the file cut at every length over its fixed part and a little beyond.
void cutseeds()
{
    const kzbytes head = kzb_cat({song(), instrument(0)});
    kzbytes patt = kzb_pattern(0, 3, kzb_cat({kzb_cell(1, 0x30, 1, 0x40, 15, 6), {KZB_ENDROW}}));
    for (size_t n = 0; n <= patt.size(); n++)
        work("cut-patt-" + std::to_string(n), kzb_cat({head, kzb_cut(patt, n)}));
    kzbytes ins = instrument(1);
    for (size_t n = 0; n <= ins.size(); n++)
        if (n <= 32 || (n >= 184 && n <= 196) || n == ins.size())
            work("cut-inst-" + std::to_string(n), kzb_cat({head, sample(0x80, {1}), kzb_cut(ins, n)}));
    kzbytes smp = sample(0x8C, kzb_noise(16, 8));
    for (size_t n = 0; n <= smp.size(); n++)
        work("cut-samp-" + std::to_string(n), kzb_cat({head, kzb_cut(smp, n)}));
}

// Containers that never inflate to a whole stream, or carry bytes beyond it.
void containerseeds()
{
    const kzbytes module = kzb_cat({song(), instrument(0), sample(0x80, kzb_noise(500, 9))});
    const kzbytes good = kzb_container(module);
    seed("kzm", "zero-bytes", {});
    seed("kzm", "10-bytes", kzbytes(10, 0));
    seed("kzm", "23-bytes", kzbytes(23, 0x78));
    seed("kzm", "24-bytes", kzbytes(24, 0));
    seed("kzm", "header-and-one-byte", kzb_cat({kzbytes(24, 0), {0x78}}));
    for (size_t keep : {size_t(26), good.size() / 2, good.size() - 4, good.size() - 1})
        seed("kzm", "cut-stream-" + std::to_string(keep), kzb_cut(good, keep));
    kzbytes badsum = good;
    badsum.back() ^= 0x01;
    seed("kzm", "wrong-adler32", badsum);
    kzbytes badheader = good;
    badheader[24] = 0x79;
    seed("kzm", "bad-zlib-header", badheader);
    seed("kzm", "random-after-header", kzb_cat({kzbytes(24, 0), kzb_noise(4000, 10)}));
    seed("kzm", "bytes-after-stream", kzb_cat({good, kzb_noise(100, 11)}));
    seed("kzm", "header-filled-a5", kzb_container(module, 6, 0xA5));
    seed("kzm", "level-0", kzb_container(module, 0));
    seed("kzm", "exact-16k-multiple", kzb_container(kzb_noise(3 * 16384, 12)));
    kzbytes block = kzb_container(kzb_noise(16373, 13), 0);   // the stream fills one 16,384-byte input block
    seed("kzm", "stream-ends-on-block-then-more", kzb_cat({block, kzb_noise(5000, 14)}));

    // A stream that asks for a preset dictionary.
    const char dict[] = "dictionary";
    z_stream s = {};
    deflateInit(&s, 6);
    deflateSetDictionary(&s, (const Bytef*)dict, sizeof dict);
    kzbytes withdict(24 + deflateBound(&s, (uLong)module.size()));
    s.next_in = (Bytef*)module.data();
    s.avail_in = (uInt)module.size();
    s.next_out = &withdict[24];
    s.avail_out = (uInt)(withdict.size() - 24);
    deflate(&s, Z_FINISH);
    withdict.resize(24 + s.total_out);
    deflateEnd(&s);
    seed("kzm", "preset-dictionary", withdict);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    outdir = argv[1];
    fs::create_directories(outdir + "/work");
    fs::create_directories(outdir + "/kzm");
    songseeds();
    wholeseeds();
    patternseeds();
    instrumentseeds();
    sampleseeds();
    tagseeds();
    cutseeds();
    containerseeds();
    printf("wrote %d seeds to %s\n", written, outdir.c_str());
    return 0;
}
