// Pattern conversion: source PATT chunks into IT packed pattern records.
#include "kzm.h"
#include "kzmbytes.h"
#include "kzmscan.h"

#include <algorithm>
#include <cstring>

// Pattern chunk "PATT", offsets from the tag's first byte; the 4 bytes at offset 4 are not used.
enum : size_t {
    PATT_NUMBER = 8,      // pattern number, the IMPP record to fill
    PATT_PACKED = 9,      // 32-bit size of the row data
    PATT_LASTROW = 13,    // rows - 1
    PATT_HEADER = 14,     // row data follows
};

// Source flag byte: 0 ends a row; otherwise a channel and the field groups that follow it,
// in the order effect (parameter, type), note (instrument, note), volume.
enum : uint8_t {
    SRC_ENDROW = 0x00,
    SRC_CHANNEL = 0x1F,
    SRC_EFFECT = 0x80,
    SRC_NOTE = 0x40,
    SRC_VOLUME = 0x20,
    SRC_FIELDS = SRC_EFFECT | SRC_NOTE | SRC_VOLUME,
    SRC_LOUDEST = 128,    // volumes from here up have no halved counterpart
};

// IT packed entry: channel byte with the mask-follows bit, mask byte, then note, instrument,
// volume, command, command value as the mask says.
enum : uint8_t {
    IT_ENDROW = 0x00,
    IT_MASKFOLLOWS = 0x80,
    IT_MASKNOTE = 0x01,
    IT_MASKINSTR = 0x02,
    IT_MASKVOL = 0x04,
    IT_MASKCMD = 0x08,
    IT_MAXVOL = 64,
};

// Source entry size: the flag byte and its fields.
static size_t entrysize(uint8_t flag)
{
    return 1 + ((flag & SRC_EFFECT) ? 2 : 0) + ((flag & SRC_NOTE) ? 2 : 0) + ((flag & SRC_VOLUME) ? 1 : 0);
}

// Row data is read and converted in blocks of this many bytes, so memory does not depend on its size.
enum : size_t { ROWBLOCK = 65536 };

// Where the conversion of a pattern's rows stands between blocks.
struct rowstate {
    uint32_t rows;    // rows the pattern states
    uint32_t ended;   // end-of-row bytes written
    size_t w;         // bytes written to the data area
    bool done;        // the last row is ended, or what comes next does not fit whole
};

// Converts the whole entries of size bytes of source rows into out (KZM_PATTDATA bytes) and returns
// the bytes used. An entry cut by the end of src is left unused, for the caller to carry into the
// next block, or to drop at the end of the data. Reading ends (st->done) after the end-of-row byte
// of the last row, or before the first entry or end-of-row byte that would not fit whole.
static size_t convertrows(const uint8_t* src, size_t size, rowstate* st, uint8_t* out)
{
    // Locals, since stores through out may alias *st and would force reloads in the byte loop.
    size_t r = 0;
    size_t w = st->w;
    uint32_t ended = st->ended;
    bool done = st->done;
    while (r < size && !done) {
        uint8_t flag = src[r];
        if (flag == SRC_ENDROW) {
            if (w == KZM_PATTDATA) {
                done = true;
                break;
            }
            out[w++] = IT_ENDROW;
            done = ++ended == st->rows;
            r++;
            continue;
        }
        if (!(flag & SRC_FIELDS)) {
            r++;
            continue;
        }
        size_t n = entrysize(flag);
        if (n > size - r)
            break;
        const uint8_t* p = src + r + 1;
        uint8_t instrument = 0;
        uint8_t param, type, note, volume;   // each read only where its group is present
        uint8_t mask = 0;
        size_t itsize = n + 1;   // channel and mask bytes stand for the flag byte
        if (flag & SRC_EFFECT) {
            param = *p++;
            type = *p++;
            mask |= IT_MASKCMD;
        }
        if (flag & SRC_NOTE) {
            instrument = *p++;
            note = *p++;
            // Instrument 0 means none in IT; players refuse an explicit 0, so the byte is left out.
            mask |= instrument ? IT_MASKNOTE | IT_MASKINSTR : IT_MASKNOTE;
            itsize -= instrument ? 0 : 1;
        }
        if (flag & SRC_VOLUME) {
            volume = *p++;
            mask |= IT_MASKVOL;
        }
        if (itsize > KZM_PATTDATA - w) {
            done = true;
            break;
        }

        uint8_t* q = out + w;
        *q++ = (uint8_t)(((flag & SRC_CHANNEL) + 1) | IT_MASKFOLLOWS);
        *q++ = mask;
        if (flag & SRC_NOTE)
            *q++ = (uint8_t)(note - 1);   // note 0 wraps to 255, the IT note-off
        if (mask & IT_MASKINSTR)
            *q++ = instrument;
        if (flag & SRC_VOLUME)
            *q++ = volume < SRC_LOUDEST ? (uint8_t)(volume >> 1) : (uint8_t)IT_MAXVOL;
        if (flag & SRC_EFFECT)
            put_u16le(q, kzmtoiteffect(type, param));
        r += n;
        w += itsize;
    }
    st->w = w;
    st->ended = ended;
    st->done = done;
    return r;
}

// The last chunk met for each pattern number, and the highest number met.
struct pattscan {
    uint64_t last[KZM_MAXPATTERNS];
    bool found[KZM_MAXPATTERNS];
    uint16_t patnum;
};

// A later chunk of a number replaces what an earlier one converted, so only the last of each
// number needs converting. Converting every chunk would cost, for tags packed ahead of a long run
// of row data, the number of tags times the length of the run.
static int notepattern(kzmchunk* chunk, void* ctx)
{
    pattscan* ps = (pattscan*)ctx;
    uint8_t number;   // 0 past the end of the file
    kzmchunkread(chunk, PATT_NUMBER, &number, 1, true);
    if (number >= KZM_MAXPATTERNS)
        return 0;
    ps->last[number] = chunk->pos;
    ps->found[number] = true;
    if (number > ps->patnum)
        ps->patnum = number;
    return 0;
}

// Converts the chunk at pos into p, reading its row data block by block. Row data that the file
// does not hold counts as absent. Rows that the data leaves without their end-of-row byte are then
// completed as empty rows while the data area has room, so that players see as many rows as the
// pattern states.
static void convertpattern(FILE* f, uint64_t pos, IMPP* p)
{
    uint8_t hdr[PATT_HEADER];
    kzmreadat(f, pos, hdr, sizeof hdr);
    uint64_t at = pos + PATT_HEADER;            // file position of the next block's bytes
    uint64_t left = get_u32le(hdr + PATT_PACKED);   // row data not yet read
    rowstate st = {(uint32_t)hdr[PATT_LASTROW] + 1, 0, 0, false};
    uint8_t block[ROWBLOCK];
    size_t have = 0;   // bytes at block: the unused tail of the last block, then the new read
    for (;;) {
        size_t want = (size_t)std::min<uint64_t>(left, ROWBLOCK - have);
        size_t got = kzmreadat(f, at, block + have, want);
        at += got;
        left -= got;
        have += got;
        size_t used = convertrows(block, have, &st, p->data);
        if (st.done || got < want || left == 0)
            break;   // a tail left unused at the end of the data is a cut entry: dropped
        have -= used;
        memmove(block, block + used, have);
    }
    for (; st.ended < st.rows && st.w < KZM_PATTDATA; st.ended++)
        p->data[st.w++] = IT_ENDROW;
    p->Rows = (uint16_t)st.rows;
    p->Length = (uint16_t)st.w;
}

// Fills patterns[n] from the last chunk numbered n, for every n below KZM_MAXPATTERNS that has
// one; PatNum becomes the highest number met plus 1, or 1 without one. Chunks numbered past the
// records are skipped. The records come new or cleared, so an empty module has one empty pattern.
// Returns KZM_NOWORKFILE, leaving PatNum alone, when the work file cannot be opened; otherwise KZM_OK.
int convertkzmpatterns(const char* workfile, IMPP* patterns, IMPM* song)
{
    FILE* f = kzmopen(workfile);
    if (!f)
        return KZM_NOWORKFILE;
    pattscan ps = {};
    kzmscanchunks(f, KZM_PATTPROBE, notepattern, &ps);
    for (uint32_t n = 0; n < KZM_MAXPATTERNS; n++) {
        if (ps.found[n])
            convertpattern(f, ps.last[n], &patterns[n]);
    }
    fclose(f);
    song->PatNum = (uint16_t)(ps.patnum + 1);
    return KZM_OK;
}
