// Malformed and oversized input through the program as a user runs it: the documented message or a valid IT file, never a crash.
#include "kzbuild.h"
#include "kzmbytes.h"
#include "kzrun.h"
#include "../fuzz/itcheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

const std::string EXTRACTING = "Extracting and converting...\n";
const std::string SAVED = "Saving to Impulse Tracker file...\tDONE";
const std::string FAILED = "bad.kzm decompression failed!\nPress Enter\n";
const uint32_t MIB = 1048576;

// What a run left: the IT file if there is one.
struct outcome {
    kzr_result run;
    bool converted;
    bool workleft;
    kzbytes it;
};

// Runs the program on file as bad.kzm, typed as "bad", in a scratch directory of its own.
outcome convert(const kzbytes& file)
{
    std::string dir = kzr_scratch();
    kzb_writefile(dir + "/bad.kzm", file);
    outcome o;
    o.run = kzr_run(dir, "bad\n");
    o.converted = kzr_exists(dir + "/bad.it");
    o.workleft = kzr_exists(dir + "/temp.emx");
    if (o.converted)
        o.it = kzb_readfile(dir + "/bad.it");
    kzr_cleanup(dir);
    return o;
}

// The file is refused with the decompression message and no IT file; the work file stays, as documented.
void expectrefused(const kzbytes& file, const std::string& what)
{
    outcome o = convert(file);
    EXPECT_EQ(o.run.out, KZR_BANNER + EXTRACTING + FAILED) << what;
    EXPECT_EQ(o.run.status, 0) << what;
    EXPECT_FALSE(o.converted) << what;
    EXPECT_TRUE(o.workleft) << what;
}

// The file converts: "DONE", a structurally valid IT file, no work file left. Returns the IT file.
kzbytes expectconverted(const kzbytes& file, const std::string& what)
{
    outcome o = convert(file);
    EXPECT_EQ(o.run.out, KZR_BANNER + EXTRACTING + SAVED) << what;
    EXPECT_EQ(o.run.status, 0) << what;
    EXPECT_FALSE(o.workleft) << what << ": temp.emx left behind";
    EXPECT_TRUE(o.converted) << what;
    EXPECT_EQ(itcheck(o.it), "") << what;
    return o.it;
}

// Fields of an IT file that itcheck has passed.
size_t ordnum(const kzbytes& it) { return get_u16le(&it[32]); }
size_t smpnum(const kzbytes& it) { return get_u16le(&it[36]); }
size_t patnum(const kzbytes& it) { return get_u16le(&it[38]); }
const uint8_t* sampleheader(const kzbytes& it, size_t i)
{
    return &it[get_u32le(&it[192 + ordnum(it) + 4 * i])];
}
uint32_t frames(const kzbytes& it, size_t i) { return get_u32le(sampleheader(it, i) + 48); }
// Pattern header p, or nullptr for offset 0.
const uint8_t* patternheader(const kzbytes& it, size_t p)
{
    uint32_t off = get_u32le(&it[192 + ordnum(it) + 4 * (smpnum(it) + p)]);
    return off ? &it[off] : nullptr;
}

kzbytes songheader(uint8_t channels = 4, size_t orders = 1)
{
    kzb_song s;
    s.title = "malformed";
    s.channels = channels;
    for (size_t i = 0; i < orders; i++)
        s.orders.push_back((uint8_t)i);
    return kzb_songheader(s);
}

kzbytes instrument(uint8_t slot)
{
    return kzb_instrument({slot, 1, 0x10, 0x20, 0x0400, "ins"});
}

kzbytes sample(uint8_t flags, const kzbytes& data, int64_t length = -1)
{
    kzb_sample s;
    s.name = "smp";
    s.flags = flags;
    s.length = length;
    s.data = data;
    return kzb_samplechunk(s);
}

// One row of volume entries on channel 1 ended by an end-of-row byte.
kzbytes onerow(size_t entries)
{
    return kzb_cat({kzb_repeat({0x21, 0x02}, entries), {KZB_ENDROW}});
}

}  // namespace

TEST(Malformed, ContainersThatDoNotInflate)
{
    const kzbytes good = kzb_container(kzb_cat({songheader(), kzb_pattern(0, 0, onerow(3)), instrument(0),
                                            sample(0x80, kzb_noise(3000, 1))}));
    kzbytes badsum = good;
    badsum.back() ^= 0x01;
    kzbytes badsum2 = good;
    badsum2[good.size() - 3] ^= 0x40;
    kzbytes badmethod = good;
    badmethod[24] = 0x79;
    kzbytes badcheck = good;
    badcheck[25] ^= 0x01;   // the zlib header's check bits

    const char dict[] = "dictionary";
    const kzbytes module = kzb_cat({songheader(), kzb_pattern(0, 0, onerow(1))});
    z_stream s = {};
    ASSERT_EQ(deflateInit(&s, 6), Z_OK);
    ASSERT_EQ(deflateSetDictionary(&s, (const Bytef*)dict, sizeof dict), Z_OK);
    kzbytes withdict(24 + deflateBound(&s, (uLong)module.size()));
    s.next_in = (Bytef*)module.data();
    s.avail_in = (uInt)module.size();
    s.next_out = &withdict[24];
    s.avail_out = (uInt)(withdict.size() - 24);
    ASSERT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    withdict.resize(24 + s.total_out);
    deflateEnd(&s);

    struct {
        std::string what;
        kzbytes file;
    } cases[] = {
        {"empty file", {}},
        {"one byte", {0x78}},
        {"10 bytes", kzbytes(10, 0)},
        {"23 bytes", kzbytes(23, 0x78)},
        {"24 bytes", kzbytes(24, 0)},
        {"24 bytes of the header of a valid file", kzb_cut(good, 24)},
        {"header and one stream byte", kzb_cut(good, 25)},
        {"header and the zlib header only", kzb_cut(good, 26)},
        {"stream cut in half", kzb_cut(good, good.size() / 2)},
        {"stream without its Adler-32", kzb_cut(good, good.size() - 4)},
        {"stream one byte short", kzb_cut(good, good.size() - 1)},
        {"wrong Adler-32, last byte", badsum},
        {"wrong Adler-32, inner byte", badsum2},
        {"compression method not deflate", badmethod},
        {"zlib header check fails", badcheck},
        {"stream asks for a preset dictionary", withdict},
        {"random bytes after a valid header", kzb_cat({kzb_cut(good, 24), kzb_noise(4000, 2)})},
        {"random bytes after a zlib header", kzb_cat({kzb_cut(good, 26), kzb_noise(4000, 3)})},
        {"random bytes, 100 KiB", kzb_noise(100 * 1024, 4)},
    };
    for (auto& c : cases)
        expectrefused(c.file, c.what);
}

TEST(Malformed, ContainersThatInflate)
{
    const kzbytes module = kzb_cat({songheader(), kzb_pattern(0, 0, onerow(2)), instrument(0), sample(0x80, kzb_noise(100, 5))});
    const kzbytes good = kzb_container(module);
    // Stored at level 0, 16,373 bytes of module make a stream of exactly one 16 KiB input block.
    const kzbytes stored = kzb_container(kzb_cat({module, kzbytes(16373 - module.size(), 0)}), 0);
    struct {
        std::string what;
        kzbytes file;
    } cases[] = {
        {"whole stream", good},
        {"bytes after the stream", kzb_cat({good, kzb_noise(100, 7)})},
        {"a whole container after the stream", kzb_cat({good, kzb_container(module)})},
        {"header bytes all 0xFF", kzb_container(module, 6, 0xFF)},
        {"stream ends on an input block, garbage after", kzb_cat({stored, kzb_noise(20000, 8)})},
        {"empty module", kzb_container({})},
        {"one byte module", kzb_container({0x50})},
    };
    for (auto& c : cases) {
        kzbytes it = expectconverted(c.file, c.what);
        if (it.empty())
            continue;
        EXPECT_EQ(patnum(it), 1u) << c.what;
    }
}

TEST(Malformed, WorkFilesOfTagsOnly)
{
    const kzbytes patt = kzb_text("PATT"), inst = kzb_text("RIFF....AI  INST"), samp = kzb_text("RIFF....AS  SAMP");
    // A chunk's fields past the end of the work file read as zero, and those inside it are whatever bytes
    // lie there: a slot byte 25 bytes into an instrument form can be the 'S' (83) or 'I' (73) of a later tag.
    struct {
        std::string what;
        kzbytes work;
        size_t smpnum;
    } cases[] = {
        {"PATT", patt, 0},
        {"instrument form", inst, 1},
        {"sample form", samp, 0},
        {"all three", kzb_cat({patt, inst, samp}), 84},
        {"all three twice", kzb_cat({patt, inst, samp, patt, inst, samp}), 84},
        {"tags one byte short", kzb_cat({kzb_cut(patt, 3), kzb_cut(inst, 15), kzb_cut(samp, 15)}), 0},
        {"PATT repeated 1000 times", kzb_repeat(patt, 1000), 0},
        {"instrument forms 16 bytes apart, 150 of them", kzb_repeat(inst, 150), 74},
    };
    for (auto& c : cases) {
        kzbytes it = expectconverted(kzb_container(c.work), c.what);
        if (it.empty())
            continue;
        EXPECT_EQ(smpnum(it), c.smpnum) << c.what;
        for (size_t i = 0; i < smpnum(it); i++)
            EXPECT_EQ(frames(it, i), 0u) << c.what;
    }
}

// The last chunk of the work file cut at every length: its fields past the end read as zero.
TEST(Malformed, PatternChunkCutAtEveryLength)
{
    const kzbytes head = kzb_cat({songheader(), kzb_pattern(0, 0, onerow(1))});
    const kzbytes chunk = kzb_pattern(3, 7, kzb_cat({kzb_cell(1, 0x31, 1, 0x40, 15, 6), onerow(2), {0x00, 0x21}}));
    for (size_t n = 0; n <= chunk.size(); n++) {
        std::string what = "pattern chunk cut to " + std::to_string(n) + " bytes";
        kzbytes it = expectconverted(kzb_container(kzb_cat({head, kzb_cut(chunk, n)})), what);
        if (it.empty())
            continue;
        // Found from 4 bytes; its number byte (offset 8) read as 0 until it is there. It has packed data
        // once its first entry (6 bytes after the 14-byte header) is whole.
        EXPECT_EQ(patnum(it), n > 8 ? 4u : 1u) << what;
        const uint8_t* p = patternheader(it, n > 8 ? 3 : 0);
        EXPECT_EQ(p != nullptr, n < 4 || n >= 20) << what;
        if (n >= 20) {
            ASSERT_NE(p, nullptr) << what;
            EXPECT_EQ(get_u16le(p + 2), 8) << what;   // Rows
        }
    }
}

TEST(Malformed, InstrumentChunkCutAtEveryLength)
{
    const kzbytes head = kzb_cat({songheader(), instrument(0), instrument(1), sample(0x80, {1, 2, 3}), sample(0x80, {4, 5})});
    const kzbytes chunk = instrument(5);
    // Every length over the part the reader reads (193 bytes), and the whole chunk.
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 196; n++)
        lengths.push_back(n);
    lengths.push_back(chunk.size());
    for (size_t n : lengths) {
        std::string what = "instrument chunk cut to " + std::to_string(n) + " bytes";
        kzbytes it = expectconverted(kzb_container(kzb_cat({head, kzb_cut(chunk, n)})), what);
        if (it.empty())
            continue;
        // Found from 16 bytes; its slot byte (offset 25) read as 0 until it is there.
        EXPECT_EQ(smpnum(it), n > 25 ? 6u : 2u) << what;
        EXPECT_EQ(frames(it, 0), 3u) << what;
        EXPECT_EQ(frames(it, 1), 2u) << what;
    }
}

TEST(Malformed, SampleChunkCutAtEveryLength)
{
    const kzbytes head = kzb_cat({songheader(), instrument(0), instrument(2), sample(0x80, {1, 2, 3})});
    const kzbytes chunk = sample(0x80, kzb_noise(20, 9));
    for (size_t n = 0; n <= chunk.size(); n++) {
        std::string what = "sample chunk cut to " + std::to_string(n) + " bytes";
        kzbytes it = expectconverted(kzb_container(kzb_cat({head, kzb_cut(chunk, n)})), what);
        if (it.empty())
            continue;
        EXPECT_EQ(smpnum(it), 3u) << what;
        EXPECT_EQ(frames(it, 0), 3u) << what;
        // The length field (offset 64) says 20; the data is what the file holds after the 88-byte header.
        EXPECT_EQ(frames(it, 2), n > 88 ? std::min<uint32_t>(20, (uint32_t)(n - 88)) : 0u) << what;
    }
}

TEST(Malformed, SongHeaderCutAtEveryLength)
{
    // 255 channels and 255 orders: title 20..83, channel count 85, speed 86, tempo 87, pans 93..347,
    // order count 352, orders 357..611.
    const kzbytes header = songheader(255, 255);
    for (size_t n : {0, 1, 19, 20, 21, 84, 85, 86, 87, 88, 92, 93, 94, 347, 348, 351, 352, 353, 356, 357, 358, 611, 612}) {
        std::string what = "song header cut to " + std::to_string(n) + " bytes";
        kzbytes it = expectconverted(kzb_container(kzb_cut(header, n)), what);
        if (it.empty())
            continue;
        // The order count (offset 97 + 255) is read as 0 until it is there.
        EXPECT_EQ(ordnum(it), n > 352 ? 256u : 1u) << what;
    }
}

TEST(Malformed, CountsAndSizesAtAndPastCapacity)
{
    const kzbytes song = songheader();

    kzbytes patterns199 = song, patterns201 = song;
    for (int n = 0; n < 199; n++)
        kzb_append(patterns199, kzb_pattern((uint8_t)n, 0, onerow(n % 4)));
    for (int n : {199, 200, 254, 255})
        kzb_append(patterns199, kzb_pattern((uint8_t)n, 0, onerow(1)));
    for (int n = 200; n >= 0; n--)
        kzb_append(patterns201, kzb_pattern((uint8_t)n, 63, onerow(1)));

    kzbytes slots99 = song, instruments100 = song;
    for (int i = 0; i < 99; i++)
        kzb_append(slots99, instrument((uint8_t)(98 - i)));
    for (int i = 0; i < 99; i++)
        kzb_append(slots99, sample(0x80, kzbytes(i + 1, (uint8_t)i)));
    for (int i = 0; i < 100; i++)
        kzb_append(instruments100, instrument((uint8_t)(i == 99 ? 50 : i % 10)));
    for (int i = 0; i < 101; i++)
        kzb_append(instruments100, sample(0x80, kzbytes(i + 1, (uint8_t)i)));

    // IT volume entries take 3 bytes: 10,923 of them pass the 32,768-byte data area.
    const kzbytes vol = {0x21, 0x02};
    const kzbytes bigrow = kzb_cat({kzb_repeat(vol, 20000), {KZB_ENDROW}});
    // 20 entries of 7 IT bytes a row: 232 rows and 8 entries fill the area exactly.
    const kzbytes bigrows = kzb_repeat(kzb_cat({kzb_repeat(kzb_cell(2, 0x40, 1, 0x30, 4, 0x21), 20), {KZB_ENDROW}}), 300);

    struct {
        std::string what;
        kzbytes work;
        int ordnum, smpnum, patnum;   // -1: not checked
        std::function<void(const kzbytes&)> more;
    } cases[] = {
        {"199 patterns and numbers 199, 200, 254, 255", patterns199, 2, 0, 199,
         [](const kzbytes& it) {
             EXPECT_EQ(get_u16le(patternheader(it, 198)), 7u);   // 2 volume entries and the end of the row
             EXPECT_EQ(get_u16le(patternheader(it, 0)), 1u);     // the end of the row alone
         }},
        {"201 patterns, numbers 200 down to 0", patterns201, 2, 0, 199, nullptr},
        {"only pattern number 255", kzb_cat({song, kzb_pattern(255, 0, onerow(1))}), 2, 0, 1,
         [](const kzbytes& it) { EXPECT_EQ(patternheader(it, 0), nullptr); }},
        {"pattern number 199 only", kzb_cat({song, kzb_pattern(199, 0, onerow(1))}), 2, 0, 1, nullptr},
        {"256 rows", kzb_cat({song, kzb_pattern(9, 255, kzb_repeat(onerow(1), 300))}), 2, 0, 10,
         [](const kzbytes& it) { EXPECT_EQ(get_u16le(patternheader(it, 9) + 2), 256u); }},
        {"row data past 32 KiB of IT data in one row", kzb_cat({song, kzb_pattern(0, 0, bigrow)}), 2, 0, 1,
         [](const kzbytes& it) { EXPECT_EQ(get_u16le(patternheader(it, 0)), 32766u); }},
        {"row data past 32 KiB of IT data over 256 rows", kzb_cat({song, kzb_pattern(198, 255, bigrows)}), 2, 0, 199,
         [](const kzbytes& it) { EXPECT_EQ(get_u16le(patternheader(it, 198)), 32768u); }},
        {"packed size 0xFFFFFFFF", kzb_cat({song, kzb_pattern(1, 3, onerow(2), 0xFFFFFFFF)}), 2, 0, 2, nullptr},
        {"99 slots named in reverse, 99 samples", slots99, 2, 99, 1,
         [](const kzbytes& it) {
             for (size_t i = 0; i < 99; i++)
                 EXPECT_EQ(frames(it, 98 - i), i + 1) << "slot " << 98 - i;
         }},
        {"100 instruments and 101 samples: the last of each ignored", instruments100, 2, 10, 1,
         [](const kzbytes& it) { EXPECT_EQ(frames(it, 8), 99u); }},   // chunk 98 names slot 8
        {"slot bytes 99 and 255 name no slot",
         kzb_cat({song, instrument(99), instrument(255), instrument(1), sample(0x80, {1}), sample(0x80, {2, 2}),
              sample(0x80, {3, 3, 3})}),
         2, 2, 1,
         [](const kzbytes& it) {
             EXPECT_EQ(frames(it, 0), 0u);
             EXPECT_EQ(frames(it, 1), 3u);
         }},
        {"more samples than instruments", kzb_cat({song, instrument(0), sample(0x80, {1}), sample(0x80, {2, 2})}), 2, 1,
         1, [](const kzbytes& it) { EXPECT_EQ(frames(it, 0), 1u); }},
        {"8-bit data one byte past 1 MiB", kzb_cat({song, instrument(0), sample(0x80, kzbytes(MIB + 4, 0x11), MIB + 1)}),
         2, 1, 1, [](const kzbytes& it) { EXPECT_EQ(frames(it, 0), MIB); }},
        {"16-bit data of exactly 1 MiB", kzb_cat({song, instrument(0), sample(0x84, kzbytes(MIB + 4, 0x22), MIB / 2)}), 2,
         1, 1, [](const kzbytes& it) { EXPECT_EQ(frames(it, 0), MIB / 2); }},
        {"16-bit length doubling past 32 bits",
         kzb_cat({song, instrument(0), sample(0x84, kzbytes(MIB + 16, 0x33), 0x80000001)}), 2, 1, 1,
         [](const kzbytes& it) { EXPECT_EQ(frames(it, 0), MIB / 2); }},
        {"16-bit length 0xFFFFFFFF, 10 bytes there", kzb_cat({song, instrument(0), sample(0x84, kzb_noise(10, 10), 0xFFFFFFFF)}),
         2, 1, 1, [](const kzbytes& it) { EXPECT_EQ(frames(it, 0), 5u); }},
        {"255 channels: 255 pans", songheader(255, 3), 4, 0, 1,
         [](const kzbytes& it) {
             EXPECT_EQ(it[64 + 63], 0x20);   // the 64th pan, 0x40 halved
         }},
        {"255 orders", songheader(4, 255), 256, 0, 1, [](const kzbytes& it) { EXPECT_EQ(it[192 + 254], 254); }},
    };
    for (auto& c : cases) {
        kzbytes it = expectconverted(kzb_container(c.work), c.what);
        if (it.empty())
            continue;
        if (c.ordnum >= 0) {
            EXPECT_EQ(ordnum(it), (size_t)c.ordnum) << c.what;
        }
        if (c.smpnum >= 0) {
            EXPECT_EQ(smpnum(it), (size_t)c.smpnum) << c.what;
        }
        if (c.patnum >= 0) {
            EXPECT_EQ(patnum(it), (size_t)c.patnum) << c.what;
        }
        if (c.more) {
            SCOPED_TRACE(c.what);
            c.more(it);
        }
    }
}

// Every record full at once: 255 orders and channels, 199 patterns of 32 KiB of IT data and 256 rows,
// 99 slots each with 1 MiB of data read from overlapping chunks; the IT file is about 106 MB.
TEST(Malformed, EveryRecordFull)
{
    kzbytes work = songheader(255, 255);
    const kzbytes rows = kzb_repeat(kzb_cat({kzb_repeat(kzb_cell(7, 0x40, 1, 0x30, 4, 0x21), 20), {KZB_ENDROW}}), 300);
    for (int n = 0; n < 199; n++)
        kzb_append(work, kzb_pattern((uint8_t)n, 255, rows));
    for (int i = 0; i < 99; i++)
        kzb_append(work, instrument((uint8_t)i));
    // Each sample chunk's data runs over the chunks after it: 99 chunks, 1 MiB of data each.
    for (int i = 0; i < 99; i++)
        kzb_append(work, kzb_cut(sample(i % 2 ? 0x8C : 0x98, {}, i % 2 ? MIB / 2 : MIB + 7), 88));
    kzb_append(work, kzb_noise(MIB, 11));
    kzbytes it = expectconverted(kzb_container(work, 1), "every record full");
    ASSERT_FALSE(it.empty());
    EXPECT_EQ(ordnum(it), 256u);
    EXPECT_EQ(smpnum(it), 99u);
    EXPECT_EQ(patnum(it), 199u);
    for (size_t i = 0; i < 99; i++)
        EXPECT_EQ(frames(it, i), i % 2 ? MIB / 2 : MIB) << "slot " << i;
    for (size_t p = 0; p < 199; p++) {
        const uint8_t* h = patternheader(it, p);
        ASSERT_NE(h, nullptr) << "pattern " << p;
        EXPECT_EQ(get_u16le(h), 32768u) << "pattern " << p;
        EXPECT_EQ(get_u16le(h + 2), 256u) << "pattern " << p;
    }
}

// The structural check itself: a file that converted passes, and each kind of damage is caught.
TEST(Malformed, StructuralCheckCatchesDamage)
{
    kzbytes work = songheader(4, 3);
    kzb_append(work, kzb_pattern(0, 3, kzb_cat({kzb_cell(1, 0x30, 1, 0x40, 15, 6), onerow(2), onerow(1), onerow(0)})));
    kzb_append(work, kzb_pattern(2, 0, onerow(1)));
    // The 8-bit sample last, so that a byte more at the end of the file is a frame more.
    kzb_append(work, kzb_cat({instrument(0), instrument(1), sample(0x84, kzb_noise(8, 13)), sample(0x80, kzb_noise(10, 12))}));
    const kzbytes it = expectconverted(kzb_container(work), "the file to damage");
    ASSERT_EQ(itcheck(it), "");
    ASSERT_EQ(smpnum(it), 2u);
    ASSERT_EQ(patnum(it), 3u);
    const size_t tables = 192 + ordnum(it);
    const size_t smp0 = get_u32le(&it[tables]), pat0 = get_u32le(&it[tables + 8]);
    struct {
        const char* what;
        std::function<void(kzbytes&)> damage;
    } cases[] = {
        {"song header magic", [](kzbytes& b) { b[3] = 'X'; }},
        {"order list not closed", [&](kzbytes& b) { b[tables - 1] = 0; }},
        {"InsNum", [](kzbytes& b) { b[34] = 1; }},
        {"sample header offset", [&](kzbytes& b) { b[tables + 4] += 1; }},
        {"sample header magic", [&](kzbytes& b) { b[smp0 + 3] = 'X'; }},
        {"pattern offset of an empty pattern", [&](kzbytes& b) { put_u32le(&b[tables + 12], (uint32_t)pat0); }},
        {"pattern Length", [&](kzbytes& b) { b[pat0] += 1; }},
        {"pattern Rows 0", [&](kzbytes& b) { put_u16le(&b[pat0 + 2], 0); }},
        {"pattern Rows fewer than its rows", [&](kzbytes& b) { put_u16le(&b[pat0 + 2], 2); }},
        {"pattern entry without the mask bit", [&](kzbytes& b) { b[pat0 + 8] &= 0x7F; }},
        {"pattern mask with unknown bits", [&](kzbytes& b) { b[pat0 + 9] |= 0x10; }},
        {"pattern volume above 64", [&](kzbytes& b) { b[pat0 + 12] = 65; }},
        {"sample Length", [&](kzbytes& b) { b[smp0 + 48] += 1; }},
        {"data-present flag", [&](kzbytes& b) { b[smp0 + 18] &= 0xFE; }},
        {"SamplePointer", [&](kzbytes& b) { b[smp0 + 72] += 1; }},
        {"file one byte short", [](kzbytes& b) { b.pop_back(); }},
        {"a byte after the end", [](kzbytes& b) { b.push_back(0); }},
        {"cut to the song header", [](kzbytes& b) { b.resize(192); }},
    };
    for (auto& c : cases) {
        kzbytes b = it;
        c.damage(b);
        EXPECT_NE(itcheck(b), "") << c.what;
    }
}
