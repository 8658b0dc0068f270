// Pattern conversion: source PATT chunks into IT packed pattern records.
#include "kzm.h"
#include "kzmbytes.h"
#include "kzmscan.h"

#include <cstdlib>

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

// Source entry size: the flag byte and its fields. The IT entry is one byte longer, as the
// flag byte becomes a channel byte and a mask byte while every field keeps its width.
static size_t entrysize(uint8_t flag)
{
    return 1 + ((flag & SRC_EFFECT) ? 2 : 0) + ((flag & SRC_NOTE) ? 2 : 0) + ((flag & SRC_VOLUME) ? 1 : 0);
}

// Converts size bytes of source rows into out (KZM_PATTDATA bytes) and returns the bytes written.
// Ends after the end-of-row byte of the last row, at the end of the data, at an entry cut by the
// end of the data (dropped), or before the first entry or end-of-row byte that would not fit whole.
static uint16_t convertrows(const uint8_t* src, size_t size, uint32_t rows, uint8_t* out)
{
    size_t r = 0;
    size_t w = 0;
    uint32_t row = 1;
    while (r < size) {
        uint8_t flag = src[r];
        if (flag == SRC_ENDROW) {
            if (w == KZM_PATTDATA)
                break;
            out[w++] = IT_ENDROW;
            if (++row > rows)
                break;
            r++;
            continue;
        }
        if (!(flag & SRC_FIELDS)) {
            r++;
            continue;
        }
        size_t n = entrysize(flag);
        if (n > size - r || n + 1 > KZM_PATTDATA - w)
            break;
        const uint8_t* p = src + r + 1;
        uint8_t param = 0, type = 0, instrument = 0, note = 0, volume = 0;
        uint8_t mask = 0;
        if (flag & SRC_EFFECT) {
            param = *p++;
            type = *p++;
            mask |= IT_MASKCMD;
        }
        if (flag & SRC_NOTE) {
            instrument = *p++;
            note = *p++;
            mask |= IT_MASKNOTE | IT_MASKINSTR;
        }
        if (flag & SRC_VOLUME) {
            volume = *p++;
            mask |= IT_MASKVOL;
        }

        uint8_t* q = out + w;
        *q++ = (uint8_t)(((flag & SRC_CHANNEL) + 1) | IT_MASKFOLLOWS);
        *q++ = mask;
        if (flag & SRC_NOTE) {
            *q++ = (uint8_t)(note - 1);   // note 0 wraps to 255, the IT note-off
            *q++ = instrument;
        }
        if (flag & SRC_VOLUME)
            *q++ = volume < SRC_LOUDEST ? (uint8_t)(volume >> 1) : (uint8_t)IT_MAXVOL;
        if (flag & SRC_EFFECT)
            put_u16le(q, kzmtoiteffect(type, param));
        r += n;
        w += n + 1;
    }
    return (uint16_t)w;
}

struct pattscan {
    IMPP* patterns;
    IMPM* song;
    uint64_t filesize;
    uint8_t* rowdata;     // row data that the scan's block does not hold whole; grows as needed
    size_t rowcap;
};

// Row data that the file does not hold, or that cannot be buffered, counts as absent: the
// pattern keeps its rows and gets no packed data. Numbers past the records skip the chunk.
// Row data that the scan's block holds whole is converted where it lies.
static int takepattern(kzmchunk* chunk, void* ctx)
{
    pattscan* ps = (pattscan*)ctx;
    uint8_t hdr[PATT_HEADER];
    kzmchunkread(chunk, 0, hdr, sizeof hdr, true);
    uint8_t number = hdr[PATT_NUMBER];
    if (number >= KZM_MAXPATTERNS)
        return 0;

    uint64_t start = chunk->pos + PATT_HEADER;
    uint64_t present = ps->filesize > start ? ps->filesize - start : 0;
    uint32_t packed = get_u32le(hdr + PATT_PACKED);
    size_t size = packed < present ? (size_t)packed : (size_t)present;
    const uint8_t* rows;
    if (chunk->nheld >= PATT_HEADER && size <= chunk->nheld - PATT_HEADER) {
        rows = chunk->held + PATT_HEADER;
    } else {
        if (size > ps->rowcap) {
            uint8_t* grown = (uint8_t*)realloc(ps->rowdata, size);
            if (grown) {
                ps->rowdata = grown;
                ps->rowcap = size;
            } else {
                size = 0;
            }
        }
        if (size > 0)
            size = kzmchunkread(chunk, PATT_HEADER, ps->rowdata, size, true);
        rows = ps->rowdata;
    }

    IMPP* p = &ps->patterns[number];
    if (number > ps->song->PatNum)
        ps->song->PatNum = number;
    p->Rows = (uint16_t)(hdr[PATT_LASTROW] + 1);
    p->Length = convertrows(rows, size, p->Rows, p->data);
    return 0;
}

// Fills patterns[n] for every chunk numbered n below KZM_MAXPATTERNS, a later chunk of the same
// number replacing an earlier one; PatNum becomes the highest number met plus 1, or 1 without one.
// Length and Rows of record 0 are cleared first, so that an empty module has one empty pattern.
// Returns KZM_NOWORKFILE, leaving PatNum alone, when the work file cannot be opened; otherwise KZM_OK.
int convertkzmpatterns(const char* workfile, IMPP* patterns, IMPM* song)
{
    patterns[0].Length = 0;
    patterns[0].Rows = 0;
    FILE* f = kzmopen(workfile);
    if (!f)
        return KZM_NOWORKFILE;
    song->PatNum = 0;
    pattscan ps = {patterns, song, kzmsize(f), nullptr, 0};
    kzmscanchunks(f, KZM_PATTPROBE, takepattern, &ps);
    fclose(f);
    free(ps.rowdata);
    song->PatNum++;
    return KZM_OK;
}
