// Each stage on work files laid out by the builder, against bytes worked out by hand from the formats.
#include "kzmscan.h"
#include "kztest.h"

#include <gtest/gtest.h>

// X doubles up to 127, then is full right; 15 is A up to 32, then T; 14 picks an S sub-command.
TEST(Stages, Effects)
{
    const struct { uint8_t type, param; uint16_t it; } cases[] = {
        {0, 0x55, 0}, {1, 0x20, 0x2006}, {2, 0x31, 0x3105}, {3, 0x44, 0x4407}, {4, 0x56, 0x5608},
        {5, 0x0F, 0x0F0C}, {6, 0xF0, 0xF00B}, {7, 0x12, 0x1212}, {9, 0x10, 0x100F},
        {10, 10, 0x0A04}, {11, 3, 0x0302}, {12, 0x33, 0}, {13, 0x20, 0x2003}, {16, 1, 0},
        {255, 1, 0}, {8, 0x40, 0x8018}, {8, 0x7F, 0xFE18}, {8, 0x80, 0xFF18}, {15, 0, 0x0001},
        {15, 0x20, 0x2001}, {15, 0x21, 0x2114}, {15, 0xFF, 0xFF14}, {20, 0x10, 0x1014},
        {20, 0x7D, 0x7D14}, {14, 5, 0x0513}, {14, 0x3A, 0x1A13}, {14, 0x4B, 0x3B13},
        {14, 0x6F, 0xBF13}, {14, 0x71, 0x4113}, {14, 0x82, 0x8213}, {14, 0xB3, 0xA313},
        {14, 0xC4, 0xC413}, {14, 0xD5, 0xD513}, {14, 0xE6, 0xE613}, {14, 0xF0, 0xF013},
        {14, 0x10, 0}, {14, 0x2F, 0}, {14, 0x55, 0}, {14, 0x9A, 0}, {14, 0xA0, 0},
    };
    for (auto& c : cases)
        EXPECT_EQ(kzmtoiteffect(c.type, c.param), c.it) << (int)c.type << " " << (int)c.param;
}

// One chunk, numbered 0, at the very start of the work file.
TEST(Stages, Patterns)
{
    // 32,765 bytes of IT data, three short of the data area.
    kzbytes full = {0x62, 7, 0x31, 0x40}, fullit = {0x83, 7, 0x30, 7, 0x20};
    for (int i = 0; i < 10920; i++)
        kzb_append(full, {0x22, 0x7F}), kzb_append(fullit, {0x83, 0x04, 0x3F});
    const struct { uint8_t lastrow; int64_t packed; kzbytes src, it; } cases[] = {
        // The worked example: every group, then a volume, then a note and instrument.
        {0, -1, {0xE3, 0x05, 0x0A, 0x02, 0x31, 0x40, 0x22, 0x7F, 0x4F, 0x01, 0x3D, 0x00},
         {0x84, 0x0F, 0x30, 0x02, 0x20, 0x04, 5, 0x83, 0x04, 0x3F, 0x90, 0x03, 0x3C, 0x01, 0x00}},
        // Instrument 0 is left out; rows that the data does not end are completed.
        {0, -1, {0x42, 0x00, 0x00}, {0x83, 0x01, 0xFF, 0x00}},
        {0, -1, {0xE2, 0x02, 0x01, 0x00, 0x31, 0x40}, {0x83, 0x0D, 0x30, 0x20, 0x06, 0x02, 0x00}},
        {0, -1, {0x42, 0x07, 0x31}, {0x83, 0x03, 0x30, 0x07, 0x00}},
        {15, 0, {0x42, 0x07, 0x31}, kzbytes(16)},
        // An entry cut by the end of the data is dropped, or by the end of the file; the packed size,
        // not the file, ends the data.
        {2, -1, {0x00, 0xE1, 0x01}, {0x00, 0x00, 0x00}},
        {0, 100, {0x42, 0x07}, {0x00}},
        {0, 3, {0x42, 0x07, 0x31, 0x25, 0x10}, {0x83, 0x03, 0x30, 0x07, 0x00}},
        // The other forms; 0x05 has no fields; volume 0x80 and up is full; rows past the last are ignored.
        {1, -1, {0x25, 0x80, 0x05, 0x9A, 0x0E, 0x0F, 0x00, 0xA1, 0x40, 0x08, 0x10, 0x7F, 0x03, 0x0C,
                 0x7F, 0xC0, 0x00, 0x00, 0x05, 0x79, 0x00, 0x20, 0x10, 0x00},
         {0x86, 0x04, 0x40, 0x9B, 0x08, 0x01, 0x0E, 0x00, 0x82, 0x0C, 0x08, 0x18, 0x80, 0xA0, 0x07,
          0x0B, 0x03, 0x3F, 0x81, 0x0B, 0x78, 0x05, 0x00, 0x00, 0x00}},
        // An entry across the end of the first 64 KiB that the stage reads of the row data.
        {0, -1, kzb_cat({kzbytes(65535, 0x05), {0x42, 0x07, 0x31, 0x00}}), {0x83, 0x03, 0x30, 0x07, 0x00}},
        // At the data area's end: the shorter entry fits, the longer one and the row's end do not.
        {0, -1, kzb_cat({full, {0x42, 0x00, 0x31, 0x00}}), kzb_cat({fullit, {0x83, 0x01, 0x30}})},
        {0, -1, kzb_cat({full, {0x42, 0x07, 0x31, 0x00}}), kzb_cat({fullit, {0x00}})},
    };
    IMPP* patterns = (IMPP*)calloc(KZM_MAXPATTERNS, sizeof(IMPP));
    for (auto& c : cases) {
        IMPM song = {};
        std::string work = kzt_work(kzb_pattern(0, c.lastrow, c.src, c.packed));
        ASSERT_EQ(convertkzmpatterns(work.c_str(), patterns, &song), 0);
        EXPECT_EQ(song.PatNum * 1000 + patterns[0].Rows, 1000 + c.lastrow + 1);
        EXPECT_EQ(kzbytes(patterns[0].data, patterns[0].data + patterns[0].Length), c.it);
    }
    free(patterns);
}

// Channel pans of seven channels: a source pan of 0 to 128 halved, one past 128 held at IT's right
// (64); the channels without a pan byte disabled.
TEST(Stages, SongPans)
{
    IMPM song = {};
    std::string work = kzt_work(kzb_songheader("", 7, 6, 125, {0x7F, 0x80, 0x81, 0x82, 0xC8, 0xFE, 0xFF}, {}));
    ASSERT_EQ(convertkzminfo(work.c_str(), &song), 0);
    kzbytes want = kzb_cat({{63, 64, 64, 64, 64, 64, 64}, kzbytes(57, 255)});
    EXPECT_EQ(kzbytes(song.ChnlPan, song.ChnlPan + KZM_MAXCHANNELS), want);
}

// Vibrato from an instrument chunk: waveform codes 0 to 4 become IT waveforms; from 5 up the slot's
// waveform stays as it was.
TEST(Stages, Instruments)
{
    const uint8_t waveforms[8] = {0, 2, 4, 1, 3, 0xAA, 0xAA, 0xAA};
    IMPS* s = (IMPS*)calloc(1, sizeof(IMPS));
    for (uint8_t code = 0; code < 8; code++) {
        IMPM song = {};
        uint8_t map[KZM_MAXSLOTS];
        s->ViT = 0xAA;
        std::string work = kzt_work(kzb_instrument(0, code, 0x11, 0x0123, 0x0456));
        ASSERT_EQ(convertkzminstr(work.c_str(), s, map, &song), 0);
        kzbytes vibrato = {s->ViS, s->ViD, s->ViR, s->ViT};
        EXPECT_EQ(vibrato, kzbytes({0x45, 0x23, 0x44, waveforms[code]})) << (int)code;
    }
    free(s);
}

// Positioned reads of the work file: a read past its end, or where no seek reaches, reads zeros.
TEST(Stages, WorkFileReads)
{
    FILE* f = fopen(kzt_work({1, 2, 3, 4, 5}).c_str(), "rb");
    const struct { uint64_t pos; size_t got; kzbytes read; } cases[] = {
        {1, 4, {2, 3, 4, 5}}, {3, 2, {4, 5, 0, 0}}, {9, 0, {0, 0, 0, 0}}, {~0ull, 0, {0, 0, 0, 0}},
    };
    for (auto& c : cases) {
        kzbytes read(4, 0xAA);
        EXPECT_EQ(kzmreadat(f, c.pos, read.data(), 4), c.got);
        EXPECT_EQ(read, c.read) << c.pos;
    }
    fclose(f);
}
