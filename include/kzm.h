// In-memory images of the IT structures that the readers fill and the writer lays out, and the stage declarations.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Capacities of the records; input beyond them is skipped or cut, never written past.
enum : uint32_t {
    KZM_MAXPATTERNS = 199,
    KZM_MAXSLOTS = 99,       // IMPS records, and entries of the sample slot map
    KZM_MAXCHANNELS = 64,    // width of Chnl Pan and Chnl Vol
    KZM_MAXORDERS = 255,     // one count byte in the source
    KZM_PATTDATA = 32768,    // bytes of IT packed data per pattern
    KZM_SAMPDATA = 1048576,  // bytes of sample data per slot
};

// Sample slot map entry that selects no IMPS record.
enum : uint8_t { KZM_NOSLOT = 0xFF };

// Magics of the IT song and sample headers.
constexpr char IT_SONGMAGIC[] = "IMPM";
constexpr char IT_SAMPMAGIC[] = "IMPS";

// The dialogue's work file, in the current directory.
constexpr const char* KZM_WORKFILE = "temp.emx";

// Song header, the first 192 bytes of an IT file, followed in memory by the order list.
struct IMPM {
    uint8_t magic[4];        // unused: the writer writes "IMPM"
    uint8_t SongName[26];    // not necessarily zero-terminated
    uint16_t PHiligt;        // row highlight: low byte rows per beat, high byte rows per measure
    uint16_t OrdNum;         // order count, including the closing 255
    uint16_t InsNum;         // instrument count (always written as 0: sample mode)
    uint16_t SmpNum;         // sample headers written, slots 0..SmpNum-1
    uint16_t PatNum;         // patterns written, numbers 0..PatNum-1
    uint16_t Cwtv;           // created with tracker version
    uint16_t Cmwt;           // compatible with version
    uint16_t Flags;          // bit 0 stereo, bit 2 instruments, bit 3 linear slides
    uint16_t Special;        // bit 0 song message
    uint8_t GV;              // global volume 0..128
    uint8_t MV;              // mix volume 0..128
    uint8_t IS;              // initial speed
    uint8_t IT;              // initial tempo
    uint8_t Sep;             // panning separation 0..128
    uint8_t PWD;             // pitch wheel depth
    uint16_t MsgLgth;        // song message length
    uint32_t MsgOff;         // song message offset
    uint32_t Reserved;
    uint8_t ChnlPan[KZM_MAXCHANNELS];  // 0..64 pan; 128 and above: channel disabled
    uint8_t ChnlVol[KZM_MAXCHANNELS];  // 0..64
    uint8_t Orders[KZM_MAXORDERS + 1]; // source orders; the writer appends the closing 255
};

// Sample header (80 bytes in the file) followed by the slot's sample data.
struct IMPS {
    uint8_t magic[4];        // unused: the writer writes "IMPS", for every record
    uint8_t DOSFileName[12];
    uint8_t Zero;            // always 0
    uint8_t GvL;             // global volume 0..64
    uint8_t Flg;             // sample flags, IMPS_FLG_*
    uint8_t Vol;             // default volume 0..64
    uint8_t SampleName[26];  // not necessarily zero-terminated
    uint8_t Cvt;             // convert flags: bit 0 signed samples
    uint8_t DfP;             // default pan
    uint32_t Length;         // in memory: bytes of data; in the file: frames
    uint32_t LoopBegin;      // frames
    uint32_t LoopEnd;        // frames
    uint32_t C5Speed;        // Hz for middle C
    uint32_t SusLoopBegin;
    uint32_t SusLoopEnd;
    uint32_t SamplePointer;  // file offset of the data, set by the writer
    uint8_t ViS;             // vibrato speed 0..64
    uint8_t ViD;             // vibrato depth 0..64
    uint8_t ViR;             // vibrato rate
    uint8_t ViT;             // vibrato waveform
    uint8_t data[KZM_SAMPDATA];
};

// Pattern header (8 bytes in the file) followed by the IT packed rows.
struct IMPP {
    uint16_t Length;         // bytes of packed data
    uint16_t Rows;           // 1..256
    uint8_t Reserved[4];
    uint8_t data[KZM_PATTDATA];
};

// IMPS Flg bits.
enum : uint8_t {
    IMPS_FLG_DATA = 0x01,      // sample data present in the file
    IMPS_FLG_16BIT = 0x02,
    IMPS_FLG_LOOP = 0x10,
    IMPS_FLG_PINGPONG = 0x40,
};

// Sizes and offsets of the parts of an IT file.
enum : uint32_t {
    IT_SONGHDR = 192,        // song header; the order list follows
    IT_SAMPHDR = 80,         // sample header
    IT_PATTHDR = 8,          // pattern header
    IT_SAMPPTR = 72,         // SamplePointer within a sample header
};

static_assert(offsetof(IMPM, PHiligt) == 30 && offsetof(IMPM, OrdNum) == 32, "IMPM layout");
static_assert(offsetof(IMPM, Cwtv) == 40 && offsetof(IMPM, GV) == 48, "IMPM layout");
static_assert(offsetof(IMPM, MsgLgth) == 54 && offsetof(IMPM, MsgOff) == 56, "IMPM layout");
static_assert(offsetof(IMPM, ChnlPan) == 64 && offsetof(IMPM, ChnlVol) == 128, "IMPM layout");
static_assert(offsetof(IMPM, Orders) == IT_SONGHDR && sizeof(IMPM::Orders) == 256, "IMPM layout");
static_assert(offsetof(IMPS, GvL) == 17 && offsetof(IMPS, SampleName) == 20, "IMPS layout");
static_assert(offsetof(IMPS, Cvt) == 46 && offsetof(IMPS, Length) == 48, "IMPS layout");
static_assert(offsetof(IMPS, C5Speed) == 60 && offsetof(IMPS, SusLoopEnd) == 68, "IMPS layout");
static_assert(offsetof(IMPS, SamplePointer) == IT_SAMPPTR && offsetof(IMPS, ViT) == 79, "IMPS layout");
static_assert(offsetof(IMPS, data) == IT_SAMPHDR, "IMPS layout");
static_assert(sizeof(IMPS) == 1048656, "IMPS size");
static_assert(offsetof(IMPP, data) == IT_PATTHDR && sizeof(IMPP) == 32776, "IMPP layout");

// Results of the stages and of a whole conversion. The readers return KZM_OK or KZM_NOWORKFILE;
// the inflater KZM_OK, KZM_NOINPUT, KZM_DAMAGED or KZM_WORKFAILED; the writer KZM_OK or KZM_WRITEFAILED.
enum {
    KZM_OK = 0,
    KZM_NOWORKFILE = 1,    // a reader cannot open the work file
    KZM_WRITEFAILED = 2,   // the IT file cannot be written
    KZM_NOINPUT = 3,       // the KZM file cannot be opened
    KZM_DAMAGED = 4,       // no whole zlib stream after the header, or one that inflates past KZM_MAXWORK
    KZM_WORKFAILED = 5,    // the work file cannot be created or written
};

// Bytes per read of the container and write of the work file, through the standard library's
// buffers: written in large pieces, a file is kept by the file system in fewer, larger pages, and
// writing it, reading it back and removing it all cost less than in 16 KiB pieces.
enum : size_t { KZM_IOBLOCK = 1048576 };

// Most bytes a work file may hold: ten times what the records can take in, so that a small file
// that inflates without end counts as damaged instead of filling the disk.
constexpr uint64_t KZM_MAXWORK = (uint64_t)1 << 30;

// kzcdefl: skip the 24-byte container header of inpath and inflate the rest into outpath, which is
// created or emptied. Prints nothing. Returns KZM_OK, KZM_NOINPUT (outpath untouched), KZM_WORKFAILED,
// or KZM_DAMAGED for a stream that is corrupt, cut short, unreadable or too large; outpath then holds
// what was inflated before the fault, at most KZM_MAXWORK bytes.
int decodekzm(const char* inpath, const char* outpath);
// Inflates one zlib stream from source's position to dest, at most KZM_MAXWORK bytes. Returns Z_OK,
// Z_DATA_ERROR (corrupt, a preset dictionary, cut short, or too large), Z_ERRNO on a read or write
// error, Z_MEM_ERROR, or inflateInit's code. Opens and closes nothing.
int inf(FILE* source, FILE* dest);
// Deflates source to its end into dest at the given zlib level. Returns Z_OK, Z_ERRNO or zlib's error code.
int def(FILE* source, FILE* dest, int level);

// kzcpatt: fills patterns[] by pattern number and song->PatNum.
int convertkzmpatterns(const char* workfile, IMPP* patterns, IMPM* song);
// IT command in the low byte, command value in the high byte; 0 for no effect.
uint16_t kzmtoiteffect(uint8_t type, uint8_t param);

// kzcinstr: fills slotmap, the vibrato bytes of the mapped samples[] and song->SmpNum and InsNum.
int convertkzminstr(const char* workfile, IMPS* samples, uint8_t* slotmap, IMPM* song);

// kzcsmp: places the i-th sample chunk in samples[slotmap[i]], header and data.
int ripkzmsamples(const char* workfile, IMPS* samples, const uint8_t* slotmap);

// kzcsong: fills the rest of song from the song header at the start of the work file.
int convertkzminfo(const char* workfile, IMPM* song);

// kzm2it: writes the IT file whole under a name of its own in outpath's folder, then puts it in
// place of outpath, so that a file of that name is replaced only by a whole new one.
// Returns KZM_OK, or KZM_WRITEFAILED with outpath as it was and nothing else left.
int writeit(const char* outpath, IMPM* song, IMPP* patterns, IMPS* samples);

// The records of one conversion, owned by the caller. kzmalloc takes them as they come, uncleared:
// a page of a record costs memory only once a stage fills it, which calloc would not keep to in
// WebAssembly, where it writes zeros over every page. kzmclear zeroes what the stages and the
// writer expect to find zero; it comes before every conversion, the first one's too.
struct kzmrecords {
    IMPM* song;
    IMPP* patterns;       // KZM_MAXPATTERNS records
    IMPS* samples;        // KZM_MAXSLOTS records
    uint8_t* slotmap;     // KZM_MAXSLOTS entries
};
bool kzmalloc(kzmrecords* r);   // false, with nothing held, when memory runs out
void kzmclear(kzmrecords* r);
void kzmfree(kzmrecords* r);

// Called between the last reader and the writer, with the caller's context.
typedef void (*kzmhook)(void* ctx);

// The whole conversion of inpath into outpath through workfile, on records that kzmclear has cleared:
// inflation, patterns, instruments, samples, song header, then beforewrite (if any) and the writer.
// Prints nothing. Once the readers have read the work file it is removed, before the writer runs;
// after a failure before then, it is left for the caller to keep or remove.
// Returns KZM_OK or the first failure: decodekzm's, KZM_NOWORKFILE from a reader, or the writer's.
int convertkzm(const char* inpath, const char* workfile, const char* outpath, kzmrecords* r,
               kzmhook beforewrite, void* ctx);
