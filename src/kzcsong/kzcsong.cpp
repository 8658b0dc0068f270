// Song header conversion: title, speed, tempo, channel pans and order list into the IT song header.
#include "kzm.h"
#include "kzmscan.h"

#include <algorithm>
#include <cstring>

// Song header region at the start of the work file. P is the pan count, the channel count made odd.
enum : size_t {
    SONG_TITLE = 20,      // 64 bytes; the first 26 become the Song Name
    SONG_CHANNELS = 85,
    SONG_SPEED = 86,
    SONG_TEMPO = 87,
    SONG_PANS = 93,       // P pan bytes
    SONG_ORDCOUNT = 97,   // + P
    SONG_ORDERS = 102,    // + P, L bytes
    SONG_MAXREGION = SONG_ORDERS + 255 + 255,
};

// Fixed IT header values: row highlight 4/16, written by version 2.17, compatible with 2.00,
// stereo with linear slides in sample mode, no song message.
enum : uint16_t {
    IT_PHILIGT = 0x1004,
    IT_CWTV = 0x0217,
    IT_CMWT = 0x0200,
    IT_FLAGS = 9,
    IT_SPECIAL = 6,
};
enum : uint8_t { IT_GV = 128, IT_MV = 100, IT_SEP = 128, IT_PANOFF = 255, IT_CHNVOL = 64 };
// IT's channel pans run from 0 (left) to 64 (right); 100 is surround, 128 and above a disabled
// channel, and readers refuse a module with any other value.
enum : uint8_t { IT_PANRIGHT = 64 };

// Bytes missing at the end of the work file read as zero. Returns KZM_NOWORKFILE or KZM_OK.
int convertkzminfo(const char* workfile, IMPM* song)
{
    FILE* f = kzmfopen(workfile, "rb");
    if (!f)
        return KZM_NOWORKFILE;
    uint8_t region[SONG_MAXREGION];
    kzmreadat(f, 0, region, sizeof region);
    fclose(f);

    size_t pans = region[SONG_CHANNELS] | 1u;
    uint8_t orders = region[SONG_ORDCOUNT + pans];

    memcpy(song->SongName, region + SONG_TITLE, sizeof song->SongName);
    song->PHiligt = IT_PHILIGT;
    song->OrdNum = (uint16_t)(orders + 1);
    song->Cwtv = IT_CWTV;
    song->Cmwt = IT_CMWT;
    song->Flags = IT_FLAGS;
    song->Special = IT_SPECIAL;
    song->GV = IT_GV;
    song->MV = IT_MV;
    song->IS = region[SONG_SPEED];
    song->IT = region[SONG_TEMPO];
    song->Sep = IT_SEP;
    song->PWD = 0;
    song->MsgLgth = 0;
    song->MsgOff = 0;
    song->Reserved = 0;
    memset(song->ChnlPan, IT_PANOFF, sizeof song->ChnlPan);
    // A source pan runs from 0 to 128 (centre 64); one past 128 is held at the right.
    for (size_t i = 0; i < std::min<size_t>(pans, KZM_MAXCHANNELS); i++)
        song->ChnlPan[i] = std::min<uint8_t>(region[SONG_PANS + i] >> 1, IT_PANRIGHT);
    memset(song->ChnlVol, IT_CHNVOL, sizeof song->ChnlVol);
    memcpy(song->Orders, region + SONG_ORDERS + pans, orders);
    return KZM_OK;
}
