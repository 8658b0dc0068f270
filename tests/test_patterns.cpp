// Pattern conversion: source PATT chunks into IT packed records, numbering, rows, limits and the written file.
#include "kzm.h"
#include "kzmbytes.h"
#include "kzbuild.h"
#include "kztest.h"
#include "kzrun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const uint8_t UNTOUCHED = 0xEE;
const uint16_t UNTOUCHED16 = 0xEEEE;

// Every byte of the pattern array starts as UNTOUCHED, so a record the stage leaves alone shows it.
struct records {
    IMPP* patterns = (IMPP*)malloc(KZM_MAXPATTERNS * sizeof(IMPP));
    IMPM song = {};
    records() { memset(patterns, UNTOUCHED, KZM_MAXPATTERNS * sizeof(IMPP)); }
    ~records() { free(patterns); }
};

int convert(const kzbytes& work, records& r)
{
    std::string path = kzt_file(".emx");
    kzb_writefile(path, work);
    int rc = convertkzmpatterns(path.c_str(), r.patterns, &r.song);
    remove(path.c_str());
    return rc;
}

// A stand-in for the song header region, then the given chunks.
kzbytes module(const std::vector<kzbytes>& chunks)
{
    kzbytes work(64, 0);
    for (auto& c : chunks)
        kzb_append(work, c);
    return work;
}

kzbytes itdata(const IMPP& p)
{
    return kzbytes(p.data, p.data + (p.Length <= KZM_PATTDATA ? p.Length : 0));
}

kzbytes operator+(kzbytes a, const kzbytes& b)
{
    kzb_append(a, b);
    return a;
}

const kzbytes ENDROW = {0x00};

}  // namespace

TEST(Patterns, WorkedExample)
{
    const kzbytes chunk = {
        'P', 'A', 'T', 'T',
        0x12, 0x00, 0x00, 0x00,     // not used
        0x00,                       // pattern number 0
        0x0C, 0x00, 0x00, 0x00,     // packed size 12
        0x00,                       // last row 0
        0xE3, 0x05, 0x0A, 0x02, 0x31, 0x40,   // channel 3: D05, instrument 2, note 0x31, volume 0x40
        0x22, 0x7F,                           // channel 2: volume 0x7F
        0x4F, 0x01, 0x3D,                     // channel 15: instrument 1, note 0x3D
        0x00,                                 // end of row 1
    };
    const kzbytes expect = {
        0x84, 0x0F, 0x30, 0x02, 0x20, 0x04, 0x05,   // note, instrument, volume, command D, value
        0x83, 0x04, 0x3F,
        0x90, 0x03, 0x3C, 0x01,
        0x00,
    };
    records r;
    ASSERT_EQ(convert(module({chunk}), r), KZM_OK);
    EXPECT_EQ(r.patterns[0].Length, 15);
    EXPECT_EQ(r.patterns[0].Rows, 1);
    EXPECT_EQ(itdata(r.patterns[0]), expect);
    EXPECT_EQ(r.patterns[0].data[15], UNTOUCHED);
    EXPECT_EQ(r.patterns[0].Reserved[0], UNTOUCHED);
    EXPECT_EQ(r.song.PatNum, 1);
}

TEST(Patterns, EntryForms)
{
    // Source entries of one row (the end-of-row byte is added) -> IT bytes before the row's 0.
    struct {
        const char* what;
        kzbytes src, it;
    } cases[] = {
        {"001 volume", {0x21, 0x10}, {0x82, 0x04, 0x08}},
        {"010 instrument, note", {0x40, 0x05, 0x01}, {0x81, 0x03, 0x00, 0x05}},
        {"011 instrument, note, volume", {0x7F, 0x63, 0x78, 0x7E}, {0xA0, 0x07, 0x77, 0x63, 0x3F}},
        {"100 effect A0E", {0x9A, 0x0E, 0x0F}, {0x9B, 0x08, 0x01, 0x0E}},
        {"101 effect F20, volume 0", {0xA1, 0x20, 0x01, 0x00}, {0x82, 0x0C, 0x00, 0x06, 0x20}},
        {"110 effect TFF, note-off", {0xC4, 0xFF, 0x0F, 0x09, 0x00}, {0x85, 0x0B, 0xFF, 0x09, 0x14, 0xFF}},
        {"111 all fields, S10", {0xFF, 0x30, 0x0E, 0x62, 0x79, 0x01}, {0xA0, 0x0F, 0x78, 0x62, 0x00, 0x13, 0x10}},
        {"0x05 between entries writes nothing", {0x21, 0x10, 0x05, 0x22, 0x02}, {0x82, 0x04, 0x08, 0x83, 0x04, 0x01}},
        {"0x01 and 0x1F alone", {0x01, 0x1F}, {}},
        {"volume 0x7F is the highest halved", {0x20, 0x7F}, {0x81, 0x04, 0x3F}},
        {"volume 0x80 is IT 64", {0x20, 0x80}, {0x81, 0x04, 0x40}},
        {"volume 0xFF is IT 64", {0x20, 0xFF}, {0x81, 0x04, 0x40}},
        {"note 121 -> 120, 255 -> 254", {0x40, 0x01, 0x79, 0x41, 0x01, 0xFF}, {0x81, 0x03, 0x78, 0x01, 0x82, 0x03, 0xFE, 0x01}},
        {"untranslated effects: types 0, 12, 255", {0x80, 0x33, 0x00, 0x80, 0x12, 0x0C, 0x80, 0x01, 0xFF},
         {0x81, 0x08, 0x00, 0x00, 0x81, 0x08, 0x00, 0x00, 0x81, 0x08, 0x00, 0x00}},
        {"panning 0x80 is XFF", {0x80, 0x80, 0x08}, {0x81, 0x08, 0x18, 0xFF}},
        {"channel 15 and 31", {0x2F, 0x00, 0x3F, 0x00}, {0x90, 0x04, 0x00, 0xA0, 0x04, 0x00}},
    };
    for (auto& c : cases) {
        records r;
        ASSERT_EQ(convert(module({kzb_pattern(0, 0, c.src + ENDROW)}), r), KZM_OK) << c.what;
        EXPECT_EQ(itdata(r.patterns[0]), c.it + ENDROW) << c.what;
        EXPECT_EQ(r.patterns[0].Rows, 1) << c.what;
    }

    // Channels 0..31 in one row become IT channel bytes 0x81..0xA0.
    kzbytes src, it;
    for (uint8_t ch = 0; ch < 32; ch++) {
        kzb_append(src, {(uint8_t)(0x20 | ch), 0x02});
        kzb_append(it, {(uint8_t)(0x81 + ch), 0x04, 0x01});
    }
    records r;
    ASSERT_EQ(convert(module({kzb_pattern(0, 0, src + ENDROW)}), r), KZM_OK);
    EXPECT_EQ(itdata(r.patterns[0]), it + ENDROW);
}

TEST(Patterns, Numbering)
{
    // The i-th chunk in the file: last row 10 + i, i + 1 volume entries on channel 1, one end-of-row byte;
    // IT: i + 1 entries 82 04 (i + 1), then 0.
    auto chunk = [](uint8_t number, size_t i) {
        return kzb_pattern(number, (uint8_t)(10 + i), kzb_repeat({0x21, (uint8_t)(2 * (i + 1))}, i + 1) + ENDROW);
    };
    auto data = [](size_t i) { return kzb_repeat({0x82, 0x04, (uint8_t)(i + 1)}, i + 1) + ENDROW; };
    struct {
        const char* what;
        std::vector<uint8_t> numbers;                   // in file order
        uint16_t patnum;
        std::vector<std::pair<uint8_t, size_t>> filled;   // record, file index of the chunk that fills it
    } cases[] = {
        {"none", {}, 1, {}},
        {"0 and 2 only", {0, 2}, 3, {{0, 0}, {2, 1}}},
        {"a single 5", {5}, 6, {{5, 0}}},
        {"order 3, 0, 1, 2", {3, 0, 1, 2}, 4, {{3, 0}, {0, 1}, {1, 2}, {2, 3}}},
        {"a repeated number: the later chunk stands", {1, 4, 4}, 5, {{1, 0}, {4, 2}}},
        {"198 is the last record", {198}, 199, {{198, 0}}},
        {"199 and above skipped", {199, 1, 255, 200}, 2, {{1, 1}}},
    };
    for (auto& c : cases) {
        std::vector<kzbytes> chunks;
        for (size_t i = 0; i < c.numbers.size(); i++)
            chunks.push_back(chunk(c.numbers[i], i));
        records r;
        r.song.PatNum = 0x5555;
        ASSERT_EQ(convert(module(chunks), r), KZM_OK) << c.what;
        EXPECT_EQ(r.song.PatNum, c.patnum) << c.what;
        for (unsigned n = 0; n < KZM_MAXPATTERNS; n++) {
            const IMPP& p = r.patterns[n];
            SCOPED_TRACE(testing::Message() << c.what << ", record " << n);
            const std::pair<uint8_t, size_t>* by = nullptr;
            for (auto& f : c.filled)
                if (f.first == n)
                    by = &f;
            if (by) {
                EXPECT_EQ(p.Rows, 11 + by->second);
                EXPECT_EQ(itdata(p), data(by->second));
            } else if (n == 0) {   // cleared, data untouched
                EXPECT_EQ(p.Length, 0);
                EXPECT_EQ(p.Rows, 0);
                EXPECT_EQ(p.data[0], UNTOUCHED);
            } else {
                EXPECT_EQ(p.Length, UNTOUCHED16);
                EXPECT_EQ(p.Rows, UNTOUCHED16);
            }
            EXPECT_EQ(p.Reserved[3], UNTOUCHED);
        }
    }
}

TEST(Patterns, Rows)
{
    struct {
        const char* what;
        uint8_t lastrow;
        kzbytes src;
        int64_t packed;   // -1: the size of src
        kzbytes it;
        uint16_t rows;
    } cases[] = {
        {"last row 0 stops after the first end-of-row byte", 0, {0x21, 0x02, 0x00, 0x21, 0x04, 0x00}, -1,
         {0x82, 0x04, 0x01, 0x00}, 1},
        {"last row 0xFF: 256 rows", 0xFF, kzbytes(255, 0x00) + kzbytes{0x21, 0x02, 0x00, 0x21, 0x04}, -1,
         kzbytes(255, 0x00) + kzbytes{0x82, 0x04, 0x01, 0x00}, 256},
        {"fewer end-of-row bytes than rows", 3, {0x21, 0x02, 0x00, 0x21, 0x04}, -1,
         {0x82, 0x04, 0x01, 0x00, 0x82, 0x04, 0x02}, 4},
        {"more end-of-row bytes than rows", 1, {0x00, 0x00, 0x00, 0x21, 0x02}, -1, {0x00, 0x00}, 2},
        {"packed size 0", 7, {}, -1, {}, 8},
        {"packed size 0 ignores the bytes after the header", 7, {0x21, 0x02, 0x00}, 0, {}, 8},
        {"packed size ends the data before the file does", 5, {0x21, 0x02, 0x00, 0x21, 0x04, 0x00}, 3,
         {0x82, 0x04, 0x01, 0x00}, 6},
    };
    for (auto& c : cases) {
        kzbytes chunk = c.packed < 0 ? kzb_pattern(0, c.lastrow, c.src) : kzb_pattern(0, c.lastrow, c.src, (uint32_t)c.packed);
        records r;
        ASSERT_EQ(convert(module({chunk, kzbytes(20, 0x21)}), r), KZM_OK) << c.what;
        EXPECT_EQ(itdata(r.patterns[0]), c.it) << c.what;
        EXPECT_EQ(r.patterns[0].Rows, c.rows) << c.what;
    }
}

TEST(Patterns, CutEntriesAndEndOfFile)
{
    // Each work file ends with the chunk: nothing follows the bytes given.
    struct {
        const char* what;
        kzbytes chunk;
        uint8_t record;
        kzbytes it;
        uint16_t rows;
    } cases[] = {
        {"6-byte entry cut by the end of the row data", kzb_pattern(0, 3, {0x21, 0x02, 0xE0, 0x01, 0x02, 0x03, 0x04}),
         0, {0x82, 0x04, 0x01}, 4},
        {"effect entry with its flag byte only", kzb_pattern(0, 3, {0x21, 0x02, 0x80}), 0, {0x82, 0x04, 0x01}, 4},
        {"packed size cuts an entry, the rest of the chunk is not read",
         kzb_pattern(0, 3, {0x21, 0x02, 0x60, 0x01, 0x02, 0x03, 0x00, 0x21, 0x04, 0x00}, 5), 0, {0x82, 0x04, 0x01}, 4},
        {"packed size 100, 6 bytes in the file", kzb_pattern(2, 5, {0x21, 0x02, 0x00, 0x21, 0x04, 0x00}, 100), 2,
         {0x82, 0x04, 0x01, 0x00, 0x82, 0x04, 0x02, 0x00}, 6},
        {"packed size 0xFFFFFFFF, 3 bytes in the file", kzb_pattern(1, 0, {0x21, 0x02, 0x00}, 0xFFFFFFFF), 1,
         {0x82, 0x04, 0x01, 0x00}, 1},
        {"header cut after the pattern number", {'P', 'A', 'T', 'T', 0x01, 0x02, 0x03, 0x04, 0x03}, 3, {}, 1},
        {"header cut inside the packed size", {'P', 'A', 'T', 'T', 0, 0, 0, 0, 0x04, 0x10, 0x00}, 4, {}, 1},
        {"the tag alone", {'P', 'A', 'T', 'T'}, 0, {}, 1},
    };
    for (auto& c : cases) {
        records r;
        ASSERT_EQ(convert(module({c.chunk}), r), KZM_OK) << c.what;
        EXPECT_EQ(r.song.PatNum, c.record + 1) << c.what;
        EXPECT_EQ(r.patterns[c.record].Length, c.it.size()) << c.what;
        EXPECT_EQ(itdata(r.patterns[c.record]), c.it) << c.what;
        EXPECT_EQ(r.patterns[c.record].Rows, c.rows) << c.what;
    }
}

TEST(Patterns, DataAreaCap)
{
    // IT volume entries take 3 bytes (82 04 01 from 21 02), so 10,922 fill 32,766 of the 32,768 bytes.
    const kzbytes vol = {0x21, 0x02}, itvol = {0x82, 0x04, 0x01};
    struct {
        const char* what;
        uint8_t lastrow;
        kzbytes src;
        kzbytes it;   // the whole data area as written
    } cases[] = {
        {"the 10,923rd entry does not fit: 2 bytes stay free", 0, kzb_repeat(vol, 10923) + ENDROW, kzb_repeat(itvol, 10922)},
        {"a 5-byte entry fills the area: the end-of-row byte does not fit", 0,
         kzb_repeat(vol, 10921) + kzbytes{0x60, 0x07, 0x31, 0x40} + ENDROW,
         kzb_repeat(itvol, 10921) + kzbytes{0x81, 0x07, 0x30, 0x07, 0x20}},
        {"two end-of-row bytes fill the area, the next entry does not fit", 2,
         kzb_repeat(vol, 10922) + kzbytes{0x00, 0x00, 0x21, 0x02, 0x00}, kzb_repeat(itvol, 10922) + kzbytes{0x00, 0x00}},
    };
    for (auto& c : cases) {
        records r;
        ASSERT_EQ(convert(module({kzb_pattern(7, c.lastrow, c.src)}), r), KZM_OK) << c.what;
        const IMPP& p = r.patterns[7];
        EXPECT_EQ(p.Length, c.it.size()) << c.what;
        EXPECT_TRUE(itdata(p) == c.it) << c.what;
        EXPECT_EQ(p.Rows, c.lastrow + 1) << c.what;
        if (c.it.size() < KZM_PATTDATA) {
            EXPECT_EQ(p.data[c.it.size()], UNTOUCHED) << c.what;
        }
        EXPECT_EQ(r.patterns[8].Length, UNTOUCHED16) << c.what << ": the next record";
    }
}

TEST(Patterns, MissingWorkFile)
{
    records r;
    r.song.PatNum = 0x1234;
    EXPECT_EQ(convertkzmpatterns("no such work file", r.patterns, &r.song), KZM_NOWORKFILE);
    EXPECT_EQ(r.song.PatNum, 0x1234);
    EXPECT_EQ(r.patterns[0].Length, 0);
    EXPECT_EQ(r.patterns[0].Rows, 0);
    EXPECT_EQ(r.patterns[0].data[0], UNTOUCHED);
    EXPECT_EQ(r.patterns[1].Length, UNTOUCHED16);
}

// Four patterns, stored out of order; pattern 3 is empty and gets offset 0.
TEST(Patterns, ThroughTheProgram)
{
    struct {
        uint8_t number, lastrow;
        kzbytes src, it;
    } pats[] = {
        {2, 63, {0xE3, 0x05, 0x0A, 0x02, 0x31, 0x40, 0x00}, {0x84, 0x0F, 0x30, 0x02, 0x20, 0x04, 0x05, 0x00}},
        {0, 0, {0x22, 0x7F, 0x00}, {0x83, 0x04, 0x3F, 0x00}},
        {3, 31, {}, {}},
        {1, 255, {0x4F, 0x01, 0x3D, 0x00, 0x00}, {0x90, 0x03, 0x3C, 0x01, 0x00, 0x00}},
    };
    kzb_song song;
    song.orders = {0, 1, 2, 3};
    kzbytes work = kzb_songheader(song);
    for (auto& p : pats)
        kzb_append(work, kzb_pattern(p.number, p.lastrow, p.src));

    std::string dir = kzr_scratch();
    kzb_writefile(dir + "/pats.kzm", kzb_container(work));
    kzr_result run = kzr_run(dir, "pats\n");
    EXPECT_EQ(run.out, KZR_BANNER + std::string("Extracting and converting...\nSaving to Impulse Tracker file...\tDONE"));
    EXPECT_EQ(run.status, 0);
    kzbytes it = kzb_readfile(dir + "/pats.it");
    kzr_cleanup(dir);

    ASSERT_GE(it.size(), 192u);
    size_t ordnum = get_u16le(&it[32]), smpnum = get_u16le(&it[36]);
    EXPECT_EQ(ordnum, 5u);                  // four orders and the closing 255
    EXPECT_EQ(get_u16le(&it[38]), 4);       // PatNum
    size_t table = 192 + ordnum + 4 * smpnum;
    ASSERT_GE(it.size(), table + 16);
    for (auto& p : pats) {
        SCOPED_TRACE(testing::Message() << "pattern " << (int)p.number);
        uint32_t off = get_u32le(&it[table + 4 * p.number]);
        if (p.it.empty()) {
            EXPECT_EQ(off, 0u);
            continue;
        }
        ASSERT_GE(off, table + 16);
        ASSERT_LE(off + 8 + p.it.size(), it.size());
        EXPECT_EQ(get_u16le(&it[off]), p.it.size());        // Length
        EXPECT_EQ(get_u16le(&it[off + 2]), p.lastrow + 1);  // Rows
        EXPECT_EQ(kzbytes(&it[off + 8], &it[off + 8 + p.it.size()]), p.it);
    }
}
