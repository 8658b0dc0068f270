// Song header conversion: title, speed, tempo, pans and orders into the IT song header, the rest fixed.
#include "kzm.h"
#include "kzbuild.h"
#include "kztest.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

IMPM convert(const kzbytes& work)
{
    std::string path = kzt_file(".emx");
    kzb_writefile(path, work);
    IMPM song;
    memset(&song, 0xEE, sizeof song);
    EXPECT_EQ(convertkzminfo(path.c_str(), &song), KZM_OK);
    remove(path.c_str());
    return song;
}

}  // namespace

TEST(SongHeader, ChannelPansAndOrders)
{
    kzbytes many(255);
    for (size_t i = 0; i < many.size(); i++)
        many[i] = (uint8_t)(i * 2 + 1);   // shifted right: i
    struct {
        const char* what;
        uint8_t channels;
        std::vector<uint8_t> pans;
        size_t orders;
        size_t panset;   // Chnl Pan entries set from pan bytes; the rest are 255
    } cases[] = {
        {"N=4 reads five pans", 4, {0x00, 0x01, 0x80, 0xFF, 0x42}, 3, 5},
        {"N=5 the same layout", 5, {0x00, 0x01, 0x80, 0xFF, 0x42}, 3, 5},
        {"N=0 reads one pan", 0, {0x7E}, 1, 1},
        {"N=32 reads 33 pans", 32, kzbytes(many.begin(), many.begin() + 33), 2, 33},
        {"N=255 stores 64 pans", 255, many, 4, 64},
        {"no orders", 4, {}, 0, 5},
        {"255 orders", 3, {}, 255, 3},
    };
    for (auto& c : cases) {
        kzb_song s;
        s.channels = c.channels;
        s.pans = c.pans;
        for (size_t i = 0; i < c.orders; i++)
            s.orders.push_back((uint8_t)(200 - i));
        kzbytes work = kzb_songheader(s);
        kzb_append(work, kzbytes(300, 0x99));   // the chunks after the header
        IMPM song = convert(work);
        size_t p = c.channels | 1u;
        for (size_t i = 0; i < 64; i++) {
            uint8_t pan = i < p ? (i < c.pans.size() ? c.pans[i] : 0x40) : 0;
            EXPECT_EQ(song.ChnlPan[i], i < c.panset ? pan >> 1 : 255) << c.what << " channel " << i;
            EXPECT_EQ(song.ChnlVol[i], 64) << c.what;
        }
        EXPECT_EQ(song.OrdNum, c.orders + 1) << c.what;
        for (size_t i = 0; i < c.orders; i++)
            EXPECT_EQ(song.Orders[i], (uint8_t)(200 - i)) << c.what;
        if (c.orders < 255) {
            EXPECT_EQ(song.Orders[c.orders], 0xEE) << c.what << ": order area past L untouched";
        }
    }
}

TEST(SongHeader, FixedFieldsTitleSpeedTempo)
{
    kzb_song s;
    s.title = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";   // 30 bytes: only 26 are kept, with no terminator
    s.speed = 0;
    s.tempo = 255;
    s.filler = 0xFF;   // every uninterpreted byte set
    s.orders = {1};
    IMPM song = convert(kzb_songheader(s));
    song.InsNum = song.SmpNum = song.PatNum = 0;
    const uint8_t expect[192] = {
        'I', 'M', 'P', 'M',
        'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M',
        'N', 'O', 'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z',
        0x04, 0x10,   // PHiligt 0x1004
        0x02, 0x00,   // OrdNum: one order + 1
        0, 0, 0, 0, 0, 0,   // InsNum, SmpNum, PatNum (cleared above)
        0x17, 0x02,   // Cwt/v 0x0217
        0x00, 0x02,   // Cmwt 0x0200
        0x09, 0x00,   // Flags: stereo, linear slides
        0x06, 0x00,   // Special
        128, 100,     // GV, MV
        0, 255,       // IS, IT as stored
        128, 0,       // Sep, PWD
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   // MsgLgth, Message Offset, reserved
    };
    const uint8_t* got = (const uint8_t*)&song;
    for (size_t i = 0; i < 64; i++)
        EXPECT_EQ(got[i], expect[i]) << "byte " << i;
    for (size_t i = 0; i < 5; i++)
        EXPECT_EQ(song.ChnlPan[i], 0x20) << "default pan byte 0x40 shifted";
}

TEST(SongHeader, ShortWorkFileReadsAsZeros)
{
    IMPM empty = convert({});
    EXPECT_EQ(empty.OrdNum, 1);
    EXPECT_EQ(empty.ChnlPan[0], 0);     // P = 1, pan byte 0
    EXPECT_EQ(empty.ChnlPan[1], 255);
    EXPECT_EQ(empty.IS, 0);
    EXPECT_EQ(empty.SongName[0], 0);

    kzb_song s;
    s.channels = 2;
    s.orders = {7, 8, 9};
    kzbytes work = kzb_songheader(s);
    work.resize(work.size() - 2);   // the last two orders are missing
    IMPM cut = convert(work);
    EXPECT_EQ(cut.OrdNum, 4);
    EXPECT_EQ(cut.Orders[0], 7);
    EXPECT_EQ(cut.Orders[1], 0);
    EXPECT_EQ(cut.Orders[2], 0);

    EXPECT_EQ(convertkzminfo("no such work file", &cut), KZM_NOWORKFILE);
}
