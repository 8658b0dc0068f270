// IT file writer: lays out the in-memory records as an IT module in sample mode and fills in the offsets.
#include "kzm.h"
#include "kzmbytes.h"
#include "kzmpath.h"
#include "kzmscan.h"

#include <algorithm>
#include <cstring>

// Bytes of the output stream's buffer, on the writer's stack.
enum : size_t { IT_STREAMBUF = 65536 };

// Song header fields in the order and widths of the file.
static void putsonghdr(uint8_t* b, const IMPM* s, uint16_t ordnum)
{
    memcpy(b, IT_SONGMAGIC, sizeof s->magic);
    memcpy(b + 4, s->SongName, 26);
    put_u16le(b + 30, s->PHiligt);
    put_u16le(b + 32, ordnum);
    put_u16le(b + 34, s->InsNum);
    put_u16le(b + 36, s->SmpNum);
    put_u16le(b + 38, s->PatNum);
    put_u16le(b + 40, s->Cwtv);
    put_u16le(b + 42, s->Cmwt);
    put_u16le(b + 44, s->Flags);
    put_u16le(b + 46, s->Special);
    b[48] = s->GV;
    b[49] = s->MV;
    b[50] = s->IS;
    b[51] = s->IT;
    b[52] = s->Sep;
    b[53] = s->PWD;
    put_u16le(b + 54, s->MsgLgth);
    put_u32le(b + 56, s->MsgOff);
    put_u32le(b + 60, s->Reserved);
    memcpy(b + 64, s->ChnlPan, 64);
    memcpy(b + 128, s->ChnlVol, 64);
}

// Sample header as written: Length in frames, the data-present flag set for a sample with data, and a
// record that no sample chunk filled still marked "IMPS" so that it reads as an empty sample.
static void putsamplehdr(uint8_t* b, const IMPS* s, uint32_t length, uint32_t pointer)
{
    memcpy(b, IT_SAMPMAGIC, sizeof s->magic);
    memcpy(b + 4, s->DOSFileName, 12);
    b[16] = s->Zero;
    b[17] = s->GvL;
    b[18] = length ? (uint8_t)(s->Flg | IMPS_FLG_DATA) : (uint8_t)(s->Flg & ~IMPS_FLG_DATA);
    b[19] = s->Vol;
    memcpy(b + 20, s->SampleName, 26);
    b[46] = s->Cvt;
    b[47] = s->DfP;
    put_u32le(b + 48, (s->Flg & IMPS_FLG_16BIT) ? length >> 1 : length);
    put_u32le(b + 52, s->LoopBegin);
    put_u32le(b + 56, s->LoopEnd);
    put_u32le(b + 60, s->C5Speed);
    put_u32le(b + 64, s->SusLoopBegin);
    put_u32le(b + 68, s->SusLoopEnd);
    put_u32le(b + 72, pointer);
    b[76] = s->ViS;
    b[77] = s->ViD;
    b[78] = s->ViR;
    b[79] = s->ViT;
}

// Output stream that remembers its position and whether any write has failed.
struct itout {
    FILE* f;
    uint32_t pos;
    bool failed;
};

static void emit(itout* o, const void* p, size_t n)
{
    if (n && fwrite(p, 1, n, o->f) != n)
        o->failed = true;
    o->pos += (uint32_t)n;
}

static void emitat(itout* o, uint32_t pos, const void* p, size_t n)
{
    if (kzmseek(o->f, pos) != 0)
        o->failed = true;
    o->pos = pos;
    emit(o, p, n);
}

// The file, in order: song header, OrdNum order bytes (the source orders and a closing 255),
// sample header offsets, pattern offsets, sample headers, patterns, sample data. The offset
// tables and sample pointers are written as zeros first and filled in once their parts stand.
int writeit(const char* outpath, IMPM* song, IMPP* patterns, IMPS* samples)
{
    song->InsNum = 0;
    uint32_t ordnum = std::clamp<uint32_t>(song->OrdNum, 1, KZM_MAXORDERS + 1);
    uint32_t smpnum = std::min<uint32_t>(song->SmpNum, KZM_MAXSLOTS);
    uint32_t patnum = std::min<uint32_t>(song->PatNum, KZM_MAXPATTERNS);
    song->OrdNum = (uint16_t)ordnum;
    song->SmpNum = (uint16_t)smpnum;
    song->PatNum = (uint16_t)patnum;

    std::string temp;
    itout o = {kzmtempfile(kzmdirname(outpath), &temp, true), 0, false};
    if (!o.f)
        return KZM_WRITEFAILED;
    char streambuf[IT_STREAMBUF];   // the sample data, in pieces of up to 1 MiB, passes it by
    setvbuf(o.f, streambuf, _IOFBF, sizeof streambuf);

    uint8_t hdr[IT_SONGHDR];
    putsonghdr(hdr, song, (uint16_t)ordnum);
    emit(&o, hdr, sizeof hdr);
    emit(&o, song->Orders, ordnum - 1);
    const uint8_t endofsong = 255;
    emit(&o, &endofsong, 1);

    const uint32_t tables = o.pos;
    uint8_t table[4 * (KZM_MAXSLOTS + KZM_MAXPATTERNS)] = {};
    emit(&o, table, 4 * (smpnum + patnum));
    uint32_t smpoff[KZM_MAXSLOTS];
    uint32_t patoff[KZM_MAXPATTERNS];

    uint32_t smplen[KZM_MAXSLOTS];
    for (uint32_t i = 0; i < smpnum; i++) {
        smplen[i] = std::min<uint32_t>(samples[i].Length, KZM_SAMPDATA);
        smpoff[i] = o.pos;
        uint8_t sh[IT_SAMPHDR];
        putsamplehdr(sh, &samples[i], smplen[i], 0);
        emit(&o, sh, sizeof sh);
    }

    for (uint32_t p = 0; p < patnum; p++) {
        const IMPP* pat = &patterns[p];
        uint16_t length = std::min<uint16_t>(pat->Length, KZM_PATTDATA);
        patoff[p] = length ? o.pos : 0;
        uint8_t ph[IT_PATTHDR];
        put_u16le(ph + 0, length);
        put_u16le(ph + 2, pat->Rows);
        memcpy(ph + 4, pat->Reserved, 4);
        emit(&o, ph, sizeof ph);
        emit(&o, pat->data, length);
    }

    for (uint32_t i = 0; i < smpnum; i++) {
        samples[i].SamplePointer = o.pos;
        emit(&o, samples[i].data, smplen[i]);
    }

    for (uint32_t i = 0; i < smpnum; i++)
        put_u32le(table + 4 * i, smpoff[i]);
    for (uint32_t p = 0; p < patnum; p++)
        put_u32le(table + 4 * (smpnum + p), patoff[p]);
    emitat(&o, tables, table, 4 * (smpnum + patnum));
    for (uint32_t i = 0; i < smpnum; i++) {
        uint8_t ptr[4];
        put_u32le(ptr, samples[i].SamplePointer);
        emitat(&o, smpoff[i] + IT_SAMPPTR, ptr, sizeof ptr);
    }

    bool failed = o.failed;   // every short write was counted; the last ones show in fclose
    if (fclose(o.f) != 0)
        failed = true;
    if (failed || !kzmreplace(temp.c_str(), outpath)) {
        kzmremove(temp.c_str());
        return KZM_WRITEFAILED;
    }
    return KZM_OK;
}
