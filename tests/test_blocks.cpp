// The readers take chunks whose header, rows or data cross the edge of the scan's read block.
#include "kzm.h"
#include "kzmscan.h"
#include "kzbuild.h"
#include "kztest.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A work file with the chunk at KZM_SCANBLOCK - d: the first block ends d bytes into the chunk.
kzbytes placed(const kzbytes& chunk, size_t d)
{
    kzbytes work(KZM_SCANBLOCK - d, 0);
    kzb_append(work, chunk);
    work.resize(KZM_SCANBLOCK + 4096, 0);
    return work;
}

kzbytes data(size_t n)
{
    kzbytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = (uint8_t)(i * 7 + 1);
    return b;
}

}  // namespace

TEST(ScanBlocks, ReadersTakeChunksAcrossBlockEdges)
{
    const std::string path = kzt_file(".emx");

    // The worked rows: E3 05 0A 02 31 40 | 22 7F | 4F 01 3D | 00, last row 0.
    const kzbytes rows = {0xE3, 0x05, 0x0A, 0x02, 0x31, 0x40, 0x22, 0x7F, 0x4F, 0x01, 0x3D, 0x00};
    const kzbytes itrows = {0x84, 0x0F, 0x30, 0x02, 0x20, 0x04, 0x05, 0x83, 0x04, 0x3F, 0x90, 0x03, 0x3C, 0x01, 0x00};
    for (size_t d : {4, 5, 13, 14, 20, 26, 40}) {   // header cut, rows cut, whole
        kzt_records r;
        kzb_writefile(path, placed(kzb_pattern(3, 0, rows), d));
        ASSERT_EQ(convertkzmpatterns(path.c_str(), r.patterns, &r.song), KZM_OK);
        EXPECT_EQ(r.song.PatNum, 4) << d;
        EXPECT_EQ(r.patterns[3].Rows, 1) << d;
        EXPECT_EQ(kzbytes(r.patterns[3].data, r.patterns[3].data + r.patterns[3].Length), itrows) << d;
    }

    // Slot 2, waveform 3 -> ViT 1, rate 0x05 -> ViR 0x14, depth 0x0120 -> ViD 0x20, speed 0x0230 -> ViS 0x23.
    for (size_t d : {16, 26, 100, 187, 192, 193, 400}) {
        kzt_records r;
        kzb_writefile(path, placed(kzb_instrument({2, 3, 0x05, 0x0120, 0x0230, "x"}), d));
        ASSERT_EQ(convertkzminstr(path.c_str(), r.samples, r.map, &r.song), KZM_OK);
        EXPECT_EQ(r.song.SmpNum, 3) << d;
        EXPECT_EQ(r.map[0], 2) << d;
        const IMPS& s = r.samples[2];
        EXPECT_EQ(kzbytes({s.ViS, s.ViD, s.ViR, s.ViT}), kzbytes({0x23, 0x20, 0x14, 0x01})) << d;
    }

    // 16-bit, 500 frames: 1000 bytes of data read whole into slot 0.
    for (size_t d : {16, 60, 88, 89, 500, 1087, 1088, 1200}) {
        kzt_records r;
        memset(r.map, KZM_NOSLOT, KZM_MAXSLOTS);
        r.map[0] = 0;
        kzb_sample smp;
        smp.name = "edge";
        smp.flags = 0x84;
        smp.volume = 0x80;
        smp.data = data(1000);
        kzb_writefile(path, placed(kzb_samplechunk(smp), d));
        ASSERT_EQ(ripkzmsamples(path.c_str(), r.samples, r.map), KZM_OK);
        const IMPS& s = r.samples[0];
        EXPECT_EQ(s.Length, 1000u) << d;
        EXPECT_EQ(s.Flg, 0x02) << d;
        EXPECT_EQ(s.Vol, 64) << d;
        EXPECT_EQ(std::string((const char*)s.SampleName, 4), "edge") << d;
        EXPECT_TRUE(kzbytes(s.data, s.data + 1000) == data(1000)) << d;
    }
    remove(path.c_str());
}
