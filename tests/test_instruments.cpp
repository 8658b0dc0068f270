// Instrument conversion: vibrato bytes, the sample slot map, the sample count and the limits of both.
#include "kzm.h"
#include "kzbuild.h"
#include "kztest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using records = kzt_records;

// Lays out a work file from chunks and runs the instrument stage on it.
int convert(const kzbytes& work, records& r)
{
    std::string path = kzt_file(".emx");
    kzb_writefile(path, work);
    int rc = convertkzminstr(path.c_str(), r.samples, r.map, &r.song);
    remove(path.c_str());
    return rc;
}

kzbytes instruments(const std::vector<uint8_t>& slots)
{
    kzbytes work(64, 0);   // stands for the song header region
    for (uint8_t s : slots)
        kzb_append(work, kzb_instrument({s, 0, 0, 0, 0, "ins"}));
    return work;
}

const uint8_t NO = KZM_NOSLOT;

}  // namespace

TEST(Instruments, VibratoFields)
{
    // ViS = speed >> 4 cut to 8 bits; ViD = low byte of depth; ViR = rate << 2 cut to 8 bits;
    // ViT from the waveform code 0..4 -> 0, 2, 4, 1, 3; codes from 5 keep what the record held (0x77).
    struct {
        uint8_t waveform, rate;
        uint16_t depth, speed;
        uint8_t vis, vid, vir, vit;
    } cases[] = {
        {0, 0x00, 0x0000, 0x0000, 0x00, 0x00, 0x00, 0x00},
        {1, 0x10, 0x0120, 0x0400, 0x40, 0x20, 0x40, 0x02},   // depth 0x0120 keeps 0x20
        {2, 0x40, 0x0040, 0x1000, 0x00, 0x40, 0x00, 0x04},   // speed 0x100 and rate 0x100 cut to 0
        {3, 0x3F, 0x00FF, 0xFFFF, 0xFF, 0xFF, 0xFC, 0x01},   // speed 0xFFF cut to 0xFF
        {4, 0x01, 0xFF08, 0x0013, 0x01, 0x08, 0x04, 0x03},   // low nibble of speed dropped
        {5, 0x05, 0x0008, 0x0100, 0x10, 0x08, 0x14, 0x77},   // first unknown code
        {7, 0x05, 0x0008, 0x0100, 0x10, 0x08, 0x14, 0x77},
        {255, 0x05, 0x0008, 0x0100, 0x10, 0x08, 0x14, 0x77},
    };
    for (auto& c : cases) {
        records r;
        r.samples[3].ViT = 0x77;
        kzbytes work(40, 0);
        kzb_append(work, kzb_instrument({3, c.waveform, c.rate, c.depth, c.speed, "vib"}));
        ASSERT_EQ(convert(work, r), KZM_OK);
        const IMPS& s = r.samples[3];
        SCOPED_TRACE(testing::Message() << "waveform " << (int)c.waveform << " speed " << c.speed);
        EXPECT_EQ(s.ViS, c.vis);
        EXPECT_EQ(s.ViD, c.vid);
        EXPECT_EQ(s.ViR, c.vir);
        EXPECT_EQ(s.ViT, c.vit);
        // Nothing else of the record is touched.
        EXPECT_EQ(memcmp(s.magic, "\0\0\0\0", 4), 0);
        EXPECT_EQ(s.Length, 0u);
        EXPECT_EQ(s.SamplePointer, 0u);
    }
}

TEST(Instruments, SlotMapAndSampleCount)
{
    // Slot bytes of the instrument chunks in file order -> the first map entries (the rest is NO),
    // and SmpNum = InsNum = highest slot byte that got a slot, plus 1.
    struct {
        const char* what;
        std::vector<uint8_t> slots;
        std::vector<uint8_t> map;
        uint16_t smpnum;
    } cases[] = {
        {"none", {}, {}, 0},
        {"0, 1, 2", {0, 1, 2}, {0, 1, 2}, 3},
        {"out of order: the highest counts, not the last", {2, 0}, {2, 0}, 3},
        {"out of order", {4, 1, 3}, {4, 1, 3}, 5},
        {"duplicates", {1, 1}, {1, 1}, 2},
        {"last slot", {98}, {98}, 99},
        {"99 keeps its entry as no slot", {0, 99, 1}, {0, NO, 1}, 2},
        {"255 keeps its entry as no slot", {255}, {NO}, 0},
        {"only slot 0", {0}, {0}, 1},
    };
    for (auto& c : cases) {
        records r;
        r.song.SmpNum = 0x5555;
        r.song.InsNum = 0x5555;
        ASSERT_EQ(convert(instruments(c.slots), r), KZM_OK) << c.what;
        std::vector<uint8_t> want(KZM_MAXSLOTS, NO);
        std::copy(c.map.begin(), c.map.end(), want.begin());
        EXPECT_EQ(std::vector<uint8_t>(r.map, r.map + KZM_MAXSLOTS), want) << c.what;
        EXPECT_EQ(r.song.SmpNum, c.smpnum) << c.what;
        EXPECT_EQ(r.song.InsNum, c.smpnum) << c.what;
    }
}

TEST(Instruments, DuplicateSlotsLaterChunkStands)
{
    records r;
    kzbytes work(20, 0);
    kzb_append(work, kzb_instrument({2, 1, 0x01, 0x0011, 0x0110, "a"}));   // ViT 2
    kzb_append(work, kzb_instrument({2, 9, 0x02, 0x0022, 0x0220, "b"}));   // unknown waveform
    ASSERT_EQ(convert(work, r), KZM_OK);
    EXPECT_EQ(r.samples[2].ViS, 0x22);
    EXPECT_EQ(r.samples[2].ViD, 0x22);
    EXPECT_EQ(r.samples[2].ViR, 0x08);
    EXPECT_EQ(r.samples[2].ViT, 0x02);   // the earlier chunk's waveform stays
}

TEST(Instruments, Limits)
{
    // 100 instrument chunks: entries 0..98 are taken, the 100th chunk (slot 50, with vibrato) is ignored.
    {
        records r;
        kzbytes work(8, 0);
        for (int i = 0; i < 99; i++)
            kzb_append(work, kzb_instrument({(uint8_t)(i % 10), 0, 0, 0, 0, "x"}));
        kzb_append(work, kzb_instrument({50, 1, 0x10, 0x20, 0x400, "hundredth"}));
        ASSERT_EQ(convert(work, r), KZM_OK);
        for (int i = 0; i < 99; i++)
            EXPECT_EQ(r.map[i], i % 10) << i;
        EXPECT_EQ(r.song.SmpNum, 10);
        EXPECT_EQ(r.samples[50].ViS, 0);
        EXPECT_EQ(r.samples[50].ViT, 0);
    }
    // A chunk cut by the end of the file: its slot byte (offset 25) is there, the vibrato fields
    // (offsets 186..192) read as zero, so ViS, ViD, ViR and ViT (code 0) become 0.
    {
        records r;
        r.samples[7].ViS = r.samples[7].ViD = r.samples[7].ViR = r.samples[7].ViT = 0xAA;
        kzbytes work(30, 0);
        kzbytes ins = kzb_instrument({7, 1, 0x10, 0x20, 0x400, "cut"});
        ins.resize(26);
        kzb_append(work, ins);
        ASSERT_EQ(convert(work, r), KZM_OK);
        EXPECT_EQ(r.map[0], 7);
        EXPECT_EQ(r.map[1], NO);
        EXPECT_EQ(r.song.SmpNum, 8);
        EXPECT_EQ(r.samples[7].ViS, 0);
        EXPECT_EQ(r.samples[7].ViD, 0);
        EXPECT_EQ(r.samples[7].ViR, 0);
        EXPECT_EQ(r.samples[7].ViT, 0);
    }
    // Cut inside the probe (fewer than 16 bytes left): no instrument chunk at all.
    {
        records r;
        kzbytes ins = kzb_instrument({7, 0, 0, 0, 0, ""});
        ins.resize(15);
        ASSERT_EQ(convert(ins, r), KZM_OK);
        EXPECT_EQ(r.map[0], NO);
        EXPECT_EQ(r.song.SmpNum, 0);
    }
}

TEST(Instruments, NoWorkFileChangesNothing)
{
    records r;
    r.song.SmpNum = 7;
    EXPECT_EQ(convertkzminstr("no_such_work_file.emx", r.samples, r.map, &r.song), KZM_NOWORKFILE);
    EXPECT_EQ(r.song.SmpNum, 7);
    EXPECT_EQ(r.map[0], 0);
}
