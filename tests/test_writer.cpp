// The IT file writer: layout, offset tables and sample pointers, checked against offsets worked out by hand.
#include "kzm.h"
#include "kzmbytes.h"
#include "kzbuild.h"
#include "kztest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

void counts(kzt_records& r, uint16_t ordnum, uint16_t smpnum, uint16_t patnum)
{
    memcpy(r.song.magic, "IMPM", 4);
    r.song.OrdNum = ordnum;
    r.song.SmpNum = smpnum;
    r.song.PatNum = patnum;
}

void fillpattern(IMPP* p, uint16_t length, uint16_t rows, uint8_t first)
{
    p->Length = length;
    p->Rows = rows;
    for (uint16_t i = 0; i < length; i++)
        p->data[i] = (uint8_t)(first + i);
}

void fillsample(IMPS* s, uint8_t flg, uint32_t length, uint8_t first)
{
    memcpy(s->magic, "IMPS", 4);
    s->Flg = flg;
    s->Length = length;
    for (uint32_t i = 0; i < length; i++)
        s->data[i] = (uint8_t)(first + i);
}

kzbytes write(kzt_records& r)
{
    std::string path = kzt_file(".it");
    EXPECT_EQ(writeit(path.c_str(), &r.song, r.patterns, r.samples), KZM_OK);
    r.handedover();
    kzbytes it = kzb_readfile(path);
    remove(path.c_str());
    return it;
}

uint32_t u32(const kzbytes& b, size_t at)
{
    return at + 4 <= b.size() ? get_u32le(&b[at]) : 0xDEADBEEF;
}

}  // namespace

// 3 orders, 2 sample slots, 4 patterns: OrdNum 4; orders at 192..195; sample header offsets at 196..203;
// pattern offsets at 204..219; sample headers at 220 and 300; patterns from 380.
TEST(Writer, LayoutWorkedByHand)
{
    kzt_records r;
    counts(r, 4, 2, 4);
    r.song.InsNum = 3;   // sample mode: written as 0
    r.song.Orders[0] = 2;
    r.song.Orders[1] = 0;
    r.song.Orders[2] = 1;
    fillpattern(&r.patterns[0], 3, 64, 0x10);   // 380: 8 + 3 bytes
    fillpattern(&r.patterns[1], 0, 32, 0);      // 391: 8 bytes, offset 0
    fillpattern(&r.patterns[2], 5, 1, 0x20);    // 399: 8 + 5 bytes
    fillpattern(&r.patterns[3], 1, 256, 0x30);  // 412: 8 + 1 bytes
    memcpy(r.patterns[3].Reserved, "\x01\x02\x03\x04", 4);
    fillsample(&r.samples[0], 0x10, 10, 0x40);          // data at 421, 10 bytes, 8-bit looped
    fillsample(&r.samples[1], 0x12, 1001, 0x50);        // data at 431, 1001 bytes, 16-bit: 500 frames
    r.samples[1].ViS = 0x11;
    r.samples[1].ViD = 0x22;
    r.samples[1].ViR = 0x33;
    r.samples[1].ViT = 0x03;
    r.samples[1].LoopEnd = 499;

    kzbytes it = write(r);
    ASSERT_EQ(it.size(), 1432u);
    EXPECT_EQ(get_u16le(&it[32]), 4);      // OrdNum
    EXPECT_EQ(get_u16le(&it[34]), 0);      // InsNum
    EXPECT_EQ(get_u16le(&it[36]), 2);      // SmpNum
    EXPECT_EQ(get_u16le(&it[38]), 4);      // PatNum
    EXPECT_EQ(kzbytes(&it[192], &it[196]), (kzbytes{2, 0, 1, 255}));
    const uint32_t tables[] = {220, 300, 380, 0, 399, 412};
    for (size_t i = 0; i < 6; i++)
        EXPECT_EQ(u32(it, 196 + 4 * i), tables[i]) << "offset table entry " << i;

    EXPECT_EQ(kzbytes(&it[220], &it[224]), (kzbytes{'I', 'M', 'P', 'S'}));
    EXPECT_EQ(it[220 + 18], 0x11);         // Flg: loop, data present
    EXPECT_EQ(u32(it, 220 + 48), 10u);     // Length in frames
    EXPECT_EQ(u32(it, 220 + 72), 421u);    // SamplePointer
    EXPECT_EQ(it[300 + 18], 0x13);         // Flg: 16-bit, loop, data present
    EXPECT_EQ(u32(it, 300 + 48), 500u);    // 1001 bytes of 16-bit data: 500 frames
    EXPECT_EQ(u32(it, 300 + 56), 499u);    // Loop End as stored
    EXPECT_EQ(u32(it, 300 + 72), 431u);
    EXPECT_EQ(kzbytes(&it[376], &it[380]), (kzbytes{0x11, 0x22, 0x33, 0x03}));   // ViS ViD ViR ViT

    EXPECT_EQ(kzbytes(&it[380], &it[391]), (kzbytes{3, 0, 64, 0, 0, 0, 0, 0, 0x10, 0x11, 0x12}));
    EXPECT_EQ(kzbytes(&it[391], &it[399]), (kzbytes{0, 0, 32, 0, 0, 0, 0, 0}));
    EXPECT_EQ(kzbytes(&it[412], &it[421]), (kzbytes{1, 0, 0, 1, 1, 2, 3, 4, 0x30}));
    EXPECT_EQ(it[421], 0x40);
    EXPECT_EQ(it[430], 0x49);
    EXPECT_EQ(it[431], 0x50);
    EXPECT_EQ(it[1431], (uint8_t)(0x50 + 1000));
}

TEST(Writer, EmptyCountsAndEmptyParts)
{
    // No orders, samples or patterns: the header and the closing 255 only.
    kzt_records none;
    counts(none, 1, 0, 0);
    kzbytes it = write(none);
    ASSERT_EQ(it.size(), 193u);
    EXPECT_EQ(get_u16le(&it[32]), 1);
    EXPECT_EQ(it[192], 255);

    // Slot 0 never filled, slot 1 filled, slot 2 empty: every header offset is real, every header
    // says "IMPS", and an empty slot's pointer is where the next data begins.
    kzt_records r;
    counts(r, 2, 3, 1);
    fillsample(&r.samples[1], 0x00, 4, 0x61);
    fillsample(&r.samples[2], 0x02, 0, 0);
    r.samples[0].ViD = 0x07;
    it = write(r);
    // 192 + 2 orders = 194; 3 sample offsets 194..205; 1 pattern offset 206..209;
    // headers at 210, 290, 370; pattern at 450 (8 bytes, Length 0); data at 458.
    ASSERT_EQ(it.size(), 462u);
    const uint32_t tables[] = {210, 290, 370, 0};
    for (size_t i = 0; i < 4; i++)
        EXPECT_EQ(u32(it, 194 + 4 * i), tables[i]) << "offset table entry " << i;
    for (uint32_t h : {210u, 290u, 370u})
        EXPECT_EQ(kzbytes(&it[h], &it[h + 4]), (kzbytes{'I', 'M', 'P', 'S'})) << h;
    EXPECT_EQ(it[210 + 18], 0x00);         // no data: the data-present flag stays clear
    EXPECT_EQ(u32(it, 210 + 48), 0u);
    EXPECT_EQ(u32(it, 210 + 72), 458u);
    EXPECT_EQ(it[210 + 77], 0x07);
    EXPECT_EQ(it[290 + 18], 0x01);
    EXPECT_EQ(u32(it, 290 + 72), 458u);
    EXPECT_EQ(it[370 + 18], 0x02);
    EXPECT_EQ(u32(it, 370 + 72), 462u);    // the last slot's pointer: the end of the file
    EXPECT_EQ(kzbytes(&it[458], &it[462]), (kzbytes{0x61, 0x62, 0x63, 0x64}));
}

TEST(Writer, AllOrdersAndCountsAtCapacity)
{
    kzt_records r;
    counts(r, 256, 99, 199);
    for (int i = 0; i < 255; i++)
        r.song.Orders[i] = (uint8_t)i;
    kzbytes it = write(r);
    // 192 + 256 order bytes, 4 * (99 + 199) table bytes, 99 headers, 199 empty pattern headers.
    ASSERT_EQ(it.size(), 192u + 256 + 4 * 298 + 80 * 99 + 8 * 199);
    EXPECT_EQ(get_u16le(&it[32]), 256);
    EXPECT_EQ(it[192 + 254], 254);
    EXPECT_EQ(it[192 + 255], 255);
    EXPECT_EQ(u32(it, 448), 448u + 4 * 298);                 // sample header 0
    EXPECT_EQ(u32(it, 448 + 4 * 98), 448u + 4 * 298 + 80 * 98);
}

TEST(Writer, OutputThatCannotBeCreated)
{
    std::string dir = kzt_file(".it");
    mkdir(dir.c_str(), 0755);
    kzt_records r;
    counts(r, 1, 0, 0);
    EXPECT_EQ(writeit(dir.c_str(), &r.song, r.patterns, r.samples), KZM_WRITEFAILED);
    r.handedover();
    struct stat st;
    EXPECT_EQ(stat(dir.c_str(), &st), 0);   // never removed: the writer did not open it
    rmdir(dir.c_str());
}
