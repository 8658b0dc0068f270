// Sample extraction: headers, data, pairing through the slot map, limits, the written file and the demo.
#include "kzm.h"
#include "kzmbytes.h"
#include "kzbuild.h"
#include "kztest.h"
#include "kzrun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <zlib.h>

namespace {

using records = kzt_records;

// Map entries as given, the rest "no slot".
void setmap(records& r, const std::vector<uint8_t>& entries)
{
    memset(r.map, KZM_NOSLOT, KZM_MAXSLOTS);
    std::copy(entries.begin(), entries.end(), r.map);
}

// Runs the sample stage on a work file laid out from bytes, with the map as it stands.
int rip(const kzbytes& work, records& r)
{
    std::string path = kzt_file(".emx");
    kzb_writefile(path, work);
    int rc = ripkzmsamples(path.c_str(), r.samples, r.map);
    remove(path.c_str());
    return rc;
}

// Runs the instrument stage, then the sample stage, as the driver does.
void instrumentsthensamples(const kzbytes& work, records& r)
{
    std::string path = kzt_file(".emx");
    kzb_writefile(path, work);
    ASSERT_EQ(convertkzminstr(path.c_str(), r.samples, r.map, &r.song), KZM_OK);
    ASSERT_EQ(ripkzmsamples(path.c_str(), r.samples, r.map), KZM_OK);
    remove(path.c_str());
}

kzbytes data(size_t n, uint8_t seed)
{
    kzbytes d(n);
    for (size_t i = 0; i < n; i++)
        d[i] = (uint8_t)(seed + i * 7);
    return d;
}

kzbytes slotdata(const IMPS& s, size_t n)
{
    return kzbytes(s.data, s.data + n);
}

const kzbytes NOTHING(32, 0);   // stands for the song header region

}  // namespace

TEST(Samples, FlagsByte)
{
    // Length field 10 with 20 data bytes behind the header. Recognised bytes set Flg and say whether
    // the data length doubles; every other byte leaves Flg as it was (0x5A) and counts bytes.
    struct {
        uint8_t flags, flg;
        uint32_t length;
    } cases[] = {
        {0x80, 0x00, 10}, {0xA0, 0x00, 10},
        {0x84, 0x02, 20}, {0xA4, 0x02, 20},   // 16-bit
        {0x88, 0x10, 10}, {0xA8, 0x10, 10},   // loop
        {0x8C, 0x12, 20}, {0xAC, 0x12, 20},   // 16-bit loop
        {0x98, 0x50, 10}, {0xB8, 0x50, 10},   // ping-pong loop
        {0x9C, 0x52, 20}, {0xBC, 0x52, 20},   // 16-bit ping-pong loop
        // ping-pong without loop
        {0x90, 0x5A, 10}, {0x94, 0x5A, 10}, {0xB0, 0x5A, 10}, {0xB4, 0x5A, 10},
        // bit 7 clear
        {0x00, 0x5A, 10}, {0x04, 0x5A, 10}, {0x08, 0x5A, 10}, {0x7F, 0x5A, 10},
        // bit 6 set
        {0xC0, 0x5A, 10}, {0xC4, 0x5A, 10}, {0xFF, 0x5A, 10},
        // bit 0 or bit 1 set
        {0x81, 0x5A, 10}, {0x82, 0x5A, 10}, {0x85, 0x5A, 10}, {0x8B, 0x5A, 10},
    };
    for (auto& c : cases) {
        records r;
        setmap(r, {0});
        r.samples[0].Flg = 0x5A;
        kzb_sample smp;
        smp.flags = c.flags;
        smp.length = 10;
        smp.data = data(20, 1);
        kzbytes work = NOTHING;
        kzb_append(work, kzb_samplechunk(smp));
        ASSERT_EQ(rip(work, r), KZM_OK);
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << (int)c.flags);
        EXPECT_EQ(r.samples[0].Flg, c.flg);
        EXPECT_EQ(r.samples[0].Length, c.length);
        EXPECT_EQ(slotdata(r.samples[0], c.length), kzbytes(smp.data.begin(), smp.data.begin() + c.length));
    }
}

TEST(Samples, VolumeAndPan)
{
    // Vol = volume byte >> 1; DfP = pan byte as signed 8-bit, halved toward zero.
    struct {
        uint8_t volume, vol, pan, dfp;
    } cases[] = {
        {0, 0, 0x00, 0x00},     {1, 0, 0x40, 0x20},    {128, 64, 0x7F, 0x3F}, {255, 127, 0x80, 0xC0},
        {64, 32, 0x81, 0xC1},   {129, 64, 0xC0, 0xE0}, {2, 1, 0xFE, 0xFF},    {127, 63, 0xFF, 0x00},
    };
    for (auto& c : cases) {
        records r;
        setmap(r, {0});
        kzb_sample smp;
        smp.volume = c.volume;
        smp.pan = c.pan;
        kzbytes work = NOTHING;
        kzb_append(work, kzb_samplechunk(smp));
        ASSERT_EQ(rip(work, r), KZM_OK);
        EXPECT_EQ(r.samples[0].Vol, c.vol) << "volume " << (int)c.volume;
        EXPECT_EQ(r.samples[0].DfP, c.dfp) << "pan " << (int)c.pan;
    }
}

TEST(Samples, HeaderFields)
{
    // Fields that come unchanged or fixed; what the instrument stage and the writer own stays put.
    records r;
    setmap(r, {5});
    IMPS& s = r.samples[5];
    memset(&s, 0xEE, IT_SAMPHDR);
    kzb_sample smp;
    smp.name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";   // 32 bytes: 26 reach the Sample Name, no terminator
    smp.flags = 0x88;
    smp.loopbegin = 0x01020304;
    smp.loopend = 0x0A0B0C0D;
    smp.c5speed = 22050;
    smp.data = data(3, 9);
    kzbytes work = NOTHING;
    kzb_append(work, kzb_samplechunk(smp));
    ASSERT_EQ(rip(work, r), KZM_OK);
    EXPECT_EQ(memcmp(s.magic, "IMPS", 4), 0);
    EXPECT_EQ(kzbytes(s.DOSFileName, s.DOSFileName + 12), kzbytes(12, 0));
    EXPECT_EQ(s.Zero, 0);
    EXPECT_EQ(s.GvL, 64);
    EXPECT_EQ(std::string((const char*)s.SampleName, 26), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(s.Cvt, 1);   // signed data
    EXPECT_EQ(s.Length, 3u);
    EXPECT_EQ(s.LoopBegin, 0x01020304u);
    EXPECT_EQ(s.LoopEnd, 0x0A0B0C0Du);
    EXPECT_EQ(s.C5Speed, 22050u);
    EXPECT_EQ(s.SusLoopBegin, 0u);
    EXPECT_EQ(s.SusLoopEnd, 0u);
    EXPECT_EQ(s.SamplePointer, 0xEEEEEEEEu);
    EXPECT_EQ((kzbytes{s.ViS, s.ViD, s.ViR, s.ViT}), kzbytes(4, 0xEE));
}

TEST(Samples, PairingThroughTheMap)
{
    // Instrument chunks with these slot bytes, then `count` sample chunks; sample chunk i is named
    // "s<i>" and its data starts with byte i. `from` says which chunk fills slots 0..3 (-1: none).
    struct {
        const char* what;
        std::vector<uint8_t> slots;
        int count;
        int from[4];
    } cases[] = {
        {"0, 1, 2", {0, 1, 2}, 3, {0, 1, 2, -1}},
        {"out of order", {2, 0, 1}, 3, {1, 2, 0, -1}},
        {"a gap", {0, 2}, 2, {0, -1, 1, -1}},
        {"duplicates: the later chunk stands", {1, 1}, 2, {-1, 1, -1, -1}},
        {"slot byte 99 is no slot", {0, 99, 1}, 3, {0, 2, -1, -1}},
        {"slot byte 255 is no slot", {3, 255, 0}, 3, {2, -1, -1, 0}},
        {"more samples than instruments", {0}, 3, {0, -1, -1, -1}},
        {"no instruments", {}, 2, {-1, -1, -1, -1}},
    };
    for (auto& c : cases) {
        records r;
        kzbytes work = NOTHING;
        for (uint8_t s : c.slots)
            kzb_append(work, kzb_instrument({s, 0, 0, 0, 0, "i"}));
        for (int i = 0; i < c.count; i++) {
            kzb_sample smp;
            smp.name = "s" + std::to_string(i);
            smp.data = data(4 + i, (uint8_t)i);
            kzb_append(work, kzb_samplechunk(smp));
        }
        instrumentsthensamples(work, r);
        for (int slot = 0; slot < 4; slot++) {
            const IMPS& s = r.samples[slot];
            SCOPED_TRACE(testing::Message() << c.what << ", slot " << slot);
            if (c.from[slot] < 0) {
                EXPECT_EQ(memcmp(s.magic, "\0\0\0\0", 4), 0);
                EXPECT_EQ(s.Length, 0u);
                continue;
            }
            EXPECT_EQ(memcmp(s.magic, "IMPS", 4), 0);
            EXPECT_EQ(std::string((const char*)s.SampleName), "s" + std::to_string(c.from[slot]));
            EXPECT_EQ(s.Length, 4u + c.from[slot]);
            EXPECT_EQ(s.data[0], c.from[slot]);
        }
    }

    // Entries the instrument stage never writes (99 and 0xFE here) select nothing either.
    records r;
    setmap(r, {99, 0xFE, 1});
    kzbytes work = NOTHING;
    for (int i = 0; i < 3; i++)
        kzb_append(work, kzb_samplechunk({"s" + std::to_string(i), 0, 128, 0x80, -1, 0, 0, 8363, data(4, 0)}));
    ASSERT_EQ(rip(work, r), KZM_OK);
    EXPECT_EQ(std::string((const char*)r.samples[1].SampleName), "s2");
    EXPECT_EQ(r.samples[0].Length, 0u);
}

TEST(Samples, SameSlotTwiceLaterChunkStands)
{
    // The later chunk overwrites only its own bytes of data; its unknown flags byte keeps Flg (loop).
    records r;
    setmap(r, {0, 0});
    kzbytes work = NOTHING;
    kzb_append(work, kzb_samplechunk({"first", 0, 128, 0x88, -1, 0, 6, 8363, {1, 2, 3, 4, 5, 6}}));
    kzb_append(work, kzb_samplechunk({"second", 0, 64, 0x00, -1, 0, 0, 11025, {9, 9, 9}}));
    ASSERT_EQ(rip(work, r), KZM_OK);
    const IMPS& s = r.samples[0];
    EXPECT_EQ(std::string((const char*)s.SampleName), "second");
    EXPECT_EQ(s.Flg, 0x10);
    EXPECT_EQ(s.Length, 3u);
    EXPECT_EQ(s.Vol, 32);
    EXPECT_EQ(s.C5Speed, 11025u);
    EXPECT_EQ(slotdata(s, 6), (kzbytes{9, 9, 9, 4, 5, 6}));
}

TEST(Samples, Limits)
{
    const uint32_t MIB = 1048576;
    // Data lengths above the 1 MiB data area are cut to it; a 16-bit length field of 0x80000001
    // doubles to 0x100000002 bytes (2 if the doubling wrapped at 32 bits); data cut short by the
    // end of the work file gives the bytes that are there.
    struct {
        const char* what;
        uint8_t flags;
        int64_t lengthfield;
        size_t present;   // data bytes after the header in the work file
        uint32_t length;
    } cases[] = {
        {"8-bit, one byte over", 0x80, MIB + 1, MIB + 4, MIB},
        {"8-bit, exactly the area", 0x80, MIB, MIB + 4, MIB},
        {"16-bit, exactly the area", 0x84, MIB / 2, MIB + 4, MIB},
        {"16-bit, doubling past 32 bits", 0x84, 0x80000001, MIB + 16, MIB},
        {"8-bit, length field 0xFFFFFFFF", 0x80, 0xFFFFFFFF, 100, 100},
        {"8-bit, 40 of 100 bytes in the file", 0x80, 100, 40, 40},
        {"16-bit, 7 of 8 bytes in the file", 0x84, 4, 7, 7},
        {"no data at all", 0x88, 1000, 0, 0},
    };
    for (auto& c : cases) {
        records r;
        setmap(r, {0});
        kzb_sample smp;
        smp.flags = c.flags;
        smp.length = c.lengthfield;
        smp.data = data(c.present, 3);
        kzbytes work = NOTHING;
        kzb_append(work, kzb_samplechunk(smp));
        ASSERT_EQ(rip(work, r), KZM_OK) << c.what;
        EXPECT_EQ(r.samples[0].Length, c.length) << c.what;
        EXPECT_TRUE(slotdata(r.samples[0], c.length) == kzbytes(smp.data.begin(), smp.data.begin() + c.length))
            << c.what;
    }

    // A header cut by the end of the work file: the missing fields read as zero (flags byte 0 is
    // not recognised, so Flg stays; length 0).
    {
        records r;
        setmap(r, {0});
        r.samples[0].Flg = 0x5A;
        kzbytes work = NOTHING;
        kzbytes chunk = kzb_samplechunk({"name", 0x40, 128, 0x84, -1, 1, 2, 8363, data(8, 0)});
        chunk.resize(30);   // up to the sixth name byte
        kzb_append(work, chunk);
        ASSERT_EQ(rip(work, r), KZM_OK);
        const IMPS& s = r.samples[0];
        EXPECT_EQ(memcmp(s.magic, "IMPS", 4), 0);
        EXPECT_EQ(std::string((const char*)s.SampleName), "name");
        EXPECT_EQ(s.Flg, 0x5A);
        EXPECT_EQ(s.Length, 0u);
        EXPECT_EQ(s.Vol, 0);
        EXPECT_EQ(s.DfP, 0);
        EXPECT_EQ(s.C5Speed, 0u);
    }

    // 100 instrument chunks, all naming slot 0 (the 100th is ignored), and 100 sample chunks:
    // chunks 0..98 go to slot 0 in turn, the 100th has no map entry and is skipped.
    {
        records r;
        kzbytes work = NOTHING;
        for (int i = 0; i < 100; i++)
            kzb_append(work, kzb_instrument({0, 0, 0, 0, 0, "i"}));
        for (int i = 0; i < 100; i++)
            kzb_append(work, kzb_samplechunk({"s" + std::to_string(i), 0, 128, 0x80, -1, 0, 0, 8363, {(uint8_t)i}}));
        instrumentsthensamples(work, r);
        EXPECT_EQ(std::string((const char*)r.samples[0].SampleName), "s98");
        EXPECT_EQ(r.samples[0].data[0], 98);
        EXPECT_EQ(r.song.SmpNum, 1);
    }
}

TEST(Samples, NoWorkFileChangesNothing)
{
    records r;
    setmap(r, {0});
    EXPECT_EQ(ripkzmsamples("no_such_work_file.emx", r.samples, r.map), KZM_NOWORKFILE);
    EXPECT_EQ(memcmp(r.samples[0].magic, "\0\0\0\0", 4), 0);
}

TEST(Samples, WrittenHeadersAndData)
{
    // Instruments name slots 0, 1 and 3 (SmpNum 4); slot 2 gets no sample. With OrdNum 1 and no
    // patterns the file is: song header 0..191, the closing 255 at 192, 4 sample header offsets
    // at 193..208, sample headers at 209, 289, 369, 449, then the data from 529:
    //   slot 0: 8-bit, 5 bytes          529..533
    //   slot 1: 16-bit loop, 1000 frames 534..2533 (2000 bytes)
    //   slot 2: empty, its pointer is where slot 3's data starts
    //   slot 3: 16-bit, length field 4 but only 7 bytes in the work file: 2534..2540; Length 7 >> 1
    records r;
    kzbytes work = NOTHING;
    kzb_append(work, kzb_instrument({0, 0, 0, 0, 0, "a"}));
    kzb_append(work, kzb_instrument({1, 3, 0x05, 0x0120, 0x0230, "b"}));   // ViS 23 ViD 20 ViR 14 ViT 1
    kzb_append(work, kzb_instrument({3, 4, 0x3F, 0x0040, 0x0400, "c"}));   // ViS 40 ViD 40 ViR FC ViT 3
    kzb_append(work, kzb_samplechunk({"a", 0, 128, 0x80, -1, 0, 0, 8363, {1, 2, 3, 4, 5}}));
    kzb_append(work, kzb_samplechunk({"b", 0, 100, 0x8C, 1000, 10, 900, 22050, data(2000, 0)}));
    kzb_append(work, kzb_samplechunk({"c", 0, 128, 0x84, 4, 0, 0, 8363, data(7, 0xA1)}));
    instrumentsthensamples(work, r);
    ASSERT_EQ(r.song.SmpNum, 4);
    r.song.OrdNum = 1;
    r.song.PatNum = 0;

    std::string out = kzt_file(".emx") + ".it";
    IMPP* patterns = (IMPP*)calloc(KZM_MAXPATTERNS, sizeof(IMPP));
    ASSERT_EQ(writeit(out.c_str(), &r.song, patterns, r.samples), KZM_OK);
    r.samples = nullptr;   // released by the writer
    kzbytes it = kzb_readfile(out);
    remove(out.c_str());
    ASSERT_EQ(it.size(), 2541u);
    EXPECT_EQ(get_u16le(&it[36]), 4);

    struct {
        uint32_t header;   // sample header offset, from the table at 193 + 4 * slot
        uint8_t flg;       // written Flg: bit 0 marks data present
        uint8_t vol;
        uint32_t length;   // frames
        uint32_t pointer;
        uint8_t vib[4];    // ViS ViD ViR ViT
        kzbytes data;
    } want[] = {
        {209, 0x01, 64, 5, 529, {0, 0, 0, 0}, {1, 2, 3, 4, 5}},
        {289, 0x13, 50, 1000, 534, {0x23, 0x20, 0x14, 0x01}, data(2000, 0)},
        {369, 0x00, 0, 0, 2534, {0, 0, 0, 0}, {}},
        {449, 0x03, 64, 3, 2534, {0x40, 0x40, 0xFC, 0x03}, data(7, 0xA1)},
    };
    for (uint32_t i = 0; i < 4; i++) {
        SCOPED_TRACE(testing::Message() << "slot " << i);
        const auto& w = want[i];
        ASSERT_EQ(get_u32le(&it[193 + 4 * i]), w.header);
        const uint8_t* h = &it[w.header];
        EXPECT_EQ(std::string((const char*)h, 4), "IMPS");
        EXPECT_EQ(h[18], w.flg);
        EXPECT_EQ(h[19], w.vol);
        EXPECT_EQ(get_u32le(h + 48), w.length);
        EXPECT_EQ(get_u32le(h + 72), w.pointer);
        EXPECT_EQ(kzbytes(h + 76, h + 80), kzbytes(w.vib, w.vib + 4));
        EXPECT_TRUE(kzbytes(&it[w.pointer], &it[w.pointer] + w.data.size()) == w.data);
    }
}

// The demo, converted by the program in a scratch directory: every sample chunk of the source,
// paired with its instrument chunk's slot, is in the file with a header at its table offset and
// its data at its SamplePointer; the data of each slot follows that of the one before.
TEST(Samples, DemoConvertsThroughTheProgram)
{
    std::string dir = kzr_scratch();
    kzbytes kzm = kzb_readfile(KZM_SOURCE_DIR "/examples/demo.kzm");
    kzb_writefile(dir + "/demo.kzm", kzm);
    kzr_result run = kzr_run(dir, "demo\n");
    bool converted = kzr_exists(dir + "/demo.it");
    kzbytes it = converted ? kzb_readfile(dir + "/demo.it") : kzbytes();
    kzr_cleanup(dir);
    ASSERT_TRUE(converted) << run.out;
    EXPECT_NE(run.out.find("DONE"), std::string::npos) << run.out;

    // The source, inflated from behind the 24-byte container header.
    ASSERT_GT(kzm.size(), 24u);
    kzbytes work(8u << 20);
    uLongf worklen = (uLongf)work.size();
    ASSERT_EQ(uncompress(work.data(), &worklen, &kzm[24], (uLong)(kzm.size() - 24)), Z_OK);
    work.resize(worklen);
    std::vector<uint8_t> slots;
    struct chunk {
        size_t pos;
        uint8_t flags;
        uint32_t frames;
    };
    std::vector<chunk> chunks;
    for (size_t p = 0; p + 16 <= work.size(); p++) {
        if (memcmp(&work[p], "RIFF", 4) == 0 && memcmp(&work[p + 8], "AI  INST", 8) == 0)
            slots.push_back(work[p + 25]);
        if (memcmp(&work[p], "RIFF", 4) == 0 && memcmp(&work[p + 8], "AS  SAMP", 8) == 0)
            chunks.push_back({p, work[p + 60], get_u32le(&work[p + 64])});
    }
    ASSERT_GE(chunks.size(), 3u);
    ASSERT_EQ(slots.size(), chunks.size());

    ASSERT_GE(it.size(), 192u);
    const uint32_t ordnum = get_u16le(&it[32]);
    const uint32_t smpnum = get_u16le(&it[36]);
    EXPECT_GE(ordnum, 3u);
    ASSERT_EQ(smpnum, chunks.size());
    const size_t table = 192 + ordnum;

    uint32_t next = 0;
    bool wide = false, loop = false, pingpong = false, vibrato = false;
    for (uint32_t slot = 0; slot < smpnum; slot++) {
        SCOPED_TRACE(testing::Message() << "slot " << slot);
        ASSERT_EQ(slots[slot], slot);   // the demo names slots in order
        const chunk& c = chunks[slot];
        uint32_t hdr = get_u32le(&it[table + 4 * slot]);
        ASSERT_LE(hdr + 80u, it.size());
        const uint8_t* h = &it[hdr];
        EXPECT_EQ(std::string((const char*)h, 4), "IMPS");
        bool is16 = (c.flags & 0x04) != 0;
        EXPECT_EQ((h[18] & 0x02) != 0, is16);
        EXPECT_EQ(get_u32le(h + 48), c.frames);
        uint32_t bytes = is16 ? 2 * c.frames : c.frames;
        uint32_t ptr = get_u32le(h + 72);
        if (slot > 0) {
            EXPECT_EQ(ptr, next);
        }
        next = ptr + bytes;
        ASSERT_LE(next, it.size());
        ASSERT_LE(c.pos + 88 + bytes, work.size());
        EXPECT_TRUE(kzbytes(&it[ptr], &it[ptr] + bytes) == kzbytes(&work[c.pos + 88], &work[c.pos + 88] + bytes));
        wide |= is16;
        loop |= (h[18] & 0x50) == 0x10;
        pingpong |= (h[18] & 0x50) == 0x50;
        vibrato |= h[76] != 0 && h[77] != 0;
    }
    EXPECT_EQ(next, it.size());   // sample data ends the file
    EXPECT_TRUE(wide && loop && pingpong && vibrato) << "the demo has 16-bit, looped, ping-pong and vibrato samples";
}
