// The shared chunk scan: every matching offset in file order, nested and across read blocks, never a cut probe.
#include "kzmscan.h"
#include "kzbuild.h"
#include "kztest.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const size_t HEAD = 40;   // bytes each match reads: often more than its block holds

struct found {
    std::vector<uint64_t> at;
    std::vector<kzbytes> head;   // HEAD bytes from each match, zero past the end of the file
};

int collect(kzmchunk* c, void* ctx)
{
    found* fd = (found*)ctx;
    kzbytes b(HEAD, 0xAA);
    kzmchunkread(c, 0, b.data(), b.size(), true);   // may read the file: the scan must not lose its place
    fd->at.push_back(c->pos);
    fd->head.push_back(b);
    return 0;
}

// The match offsets; every match's HEAD bytes must be the file's.
std::vector<uint64_t> scan(const kzbytes& bytes, const kzmprobe& probe)
{
    std::string path = kzt_file(".bin");
    kzb_writefile(path, bytes);
    FILE* f = kzmopen(path.c_str());
    found fd;
    kzmscanchunks(f, probe, collect, &fd);
    fclose(f);
    remove(path.c_str());
    for (size_t m = 0; m < fd.at.size(); m++) {
        kzbytes want(HEAD, 0);
        for (size_t i = 0; i < HEAD && fd.at[m] + i < bytes.size(); i++)
            want[i] = bytes[fd.at[m] + i];
        EXPECT_EQ(fd.head[m], want) << "bytes read at " << fd.at[m];
    }
    return fd.at;
}

void put(kzbytes& b, size_t at, const char* s)
{
    if (b.size() < at + strlen(s))
        b.resize(at + strlen(s));
    memcpy(&b[at], s, strlen(s));
}

const size_t BLOCK = KZM_SCANBLOCK;   // the scan's read block

}  // namespace

TEST(ChunkScan, FindsEveryOffsetInFileOrder)
{
    struct {
        const char* what;
        kzmprobe probe;
        std::vector<std::pair<size_t, const char*>> bytes;
        size_t size;
        std::vector<uint64_t> expect;
    } cases[] = {
        {"empty file", KZM_PATTPROBE, {}, 0, {}},
        {"tag at 0 and at end", KZM_PATTPROBE, {{0, "PATT"}, {96, "PATT"}}, 100, {0, 96}},
        {"tag cut by the end of file", KZM_PATTPROBE, {{97, "PAT"}}, 100, {}},
        {"case matters", KZM_PATTPROBE, {{10, "patt"}, {20, "PATt"}}, 100, {}},
        {"adjacent tags", KZM_PATTPROBE, {{10, "PATTPATT"}}, 100, {10, 14}},
        {"instrument, size bytes ignored", KZM_INSTPROBE, {{5, "RIFF\xff\xff\xff\xff" "AI  INST"}}, 400, {5}},
        {"sample form is not instrument", KZM_INSTPROBE, {{5, "RIFF....AS  SAMP"}}, 400, {}},
        {"instrument nested 16 bytes into another", KZM_INSTPROBE,
         {{0, "RIFF....AI  INST"}, {16, "RIFF....AI  INST"}}, 400, {0, 16}},
        {"probe whole at the very end", KZM_SAMPPROBE, {{84, "RIFF....AS  SAMP"}}, 100, {84}},
        {"probe cut one byte short", KZM_SAMPPROBE, {{85, "RIFF....AS  SAM"}}, 100, {}},
        {"tag crossing a read block", KZM_PATTPROBE, {{BLOCK - 2, "PATT"}, {BLOCK + 2, "PATT"}}, BLOCK + 10,
         {BLOCK - 2, BLOCK + 2}},
        {"form crossing a read block", KZM_SAMPPROBE, {{BLOCK - 9, "RIFF....AS  SAMP"}}, BLOCK + 10, {BLOCK - 9}},
        {"tag last in the first block", KZM_PATTPROBE, {{BLOCK - 4, "PATT"}}, BLOCK, {BLOCK - 4}},
        {"tags in three blocks", KZM_PATTPROBE, {{1, "PATT"}, {BLOCK - 1, "PATT"}, {2 * BLOCK - 3, "PATT"}},
         2 * BLOCK + 1, {1, BLOCK - 1, 2 * BLOCK - 3}},
    };
    for (auto& c : cases) {
        kzbytes b(c.size, 0x52);   // 'R': many candidate first bytes
        for (auto& [at, s] : c.bytes)
            put(b, at, s);
        b.resize(c.size);
        EXPECT_EQ(scan(b, c.probe), c.expect) << c.what;
    }
}

TEST(ChunkScan, StopsWhenTheCallbackAsks)
{
    kzbytes b(64);
    put(b, 0, "PATTPATTPATT");
    std::string path = kzt_file(".bin");
    kzb_writefile(path, b);
    FILE* f = kzmopen(path.c_str());
    int calls = 0;
    kzmscanchunks(f, KZM_PATTPROBE, [](kzmchunk*, void* ctx) { return ++*(int*)ctx == 2 ? 1 : 0; }, &calls);
    fclose(f);
    remove(path.c_str());
    EXPECT_EQ(calls, 2);
}

TEST(ChunkScan, ReadAtZeroFillsPastTheEnd)
{
    std::string path = kzt_file(".bin");
    kzb_writefile(path, {1, 2, 3});
    FILE* f = fopen(path.c_str(), "rb");
    uint8_t b[6];
    memset(b, 0xAA, sizeof b);
    EXPECT_EQ(kzmreadat(f, 1, b, sizeof b), 2u);
    EXPECT_EQ(kzbytes(b, b + 6), (kzbytes{2, 3, 0, 0, 0, 0}));
    EXPECT_EQ(kzmreadat(f, 10, b, 2), 0u);
    EXPECT_EQ(kzbytes(b, b + 2), (kzbytes{0, 0}));
    fclose(f);
    remove(path.c_str());
}
