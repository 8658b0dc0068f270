// The page's player: an IT file played, or rendered as a WAV file, through libmikmod, for the player's worker.
#include "kzmbytes.h"

#include <mikmod.h>

#include <algorithm>
#include <cstdlib>
#include <emscripten.h>

// The one render of a song, for playing and for WAV files alike: 44,100 Hz, 16-bit stereo with
// interpolation, VC_WriteBytes calls of PLAY_CALL bytes while the song is active, at most
// PLAY_MAXFRAMES frames (10 minutes).
enum : uint32_t {
    PLAY_RATE = 44100,
    PLAY_CALL = 16384,
    PLAY_FRAME = 4,             // bytes: two channels of 16 bits
    PLAY_MAXFRAMES = 26460000,
    PLAY_MAXCALLS = 64,         // calls of one piece: 1 MiB
    PLAY_MAXCHANNELS = 64,      // voices that libmikmod may mix
};

// The canonical WAV header: RIFF, a 16-byte fmt chunk of PCM, the data chunk's header.
enum : uint32_t { WAV_HEADER = 44, WAV_FMTSIZE = 16, WAV_PCM = 1, WAV_BITS = 16 };

static MODULE* song;                      // the song loaded, or nullptr
static uint8_t* itfile;                   // the IT file handed over, kept for the song's restarts
static uint32_t itsize;
static uint32_t frames;                   // rendered so far
static int16_t pcm[PLAY_MAXCALLS * PLAY_CALL / 2];
static float planar[PLAY_MAXCALLS * PLAY_CALL / PLAY_FRAME * 2];
static uint8_t header[WAV_HEADER];

static void endsong()
{
    if (song) {
        Player_Stop();
        Player_Free(song);
        song = nullptr;
    }
}

extern "C" {

// The no-sound driver and the IT loader alone, with the render's settings; 0 when libmikmod fails.
EMSCRIPTEN_KEEPALIVE int kzmplayinit()
{
    MikMod_RegisterDriver(&drv_nos);
    MikMod_RegisterLoader(&load_it);
    md_mixfreq = PLAY_RATE;
    md_mode = DMODE_SOFT_MUSIC | DMODE_16BITS | DMODE_STEREO | DMODE_INTERP;
    return MikMod_Init("") == 0;
}

// Ends the song loaded, if any, and returns room for an IT file of size bytes, which the caller
// fills before kzmplaystart; nullptr when memory runs out. What the song before took serves the next.
EMSCRIPTEN_KEEPALIVE uint8_t* kzmplayopen(uint32_t size)
{
    endsong();
    free(itfile);
    itsize = size;
    itfile = (uint8_t*)malloc(std::max<uint32_t>(size, 1));
    return itfile;
}

// Loads the IT file handed over, afresh, and starts it from its first order, to play through its
// order list once: jumps back are not taken. Each start renders the song as its first did: the
// song's WAV file is made so, from the IT file kept, in the memory that the song took. Returns 0
// when libmikmod refuses the file.
EMSCRIPTEN_KEEPALIVE int kzmplaystart()
{
    endsong();
    if (!itfile)
        return 0;
    song = Player_LoadMem((const char*)itfile, (int)itsize, PLAY_MAXCHANNELS, 0);
    if (!song)
        return 0;
    song->loop = 0;
    song->wrap = 0;
    frames = 0;
    Player_Start(song);
    return 1;
}

// Renders the next piece, at most calls VC_WriteBytes calls (up to PLAY_MAXCALLS), into the
// buffer that kzmplaypcm returns. Returns its bytes: 0 once the song has ended.
EMSCRIPTEN_KEEPALIVE uint32_t kzmplayrender(uint32_t calls)
{
    uint32_t bytes = 0;
    for (uint32_t c = 0; c < std::min(calls, (uint32_t)PLAY_MAXCALLS) && song && Player_Active(); c++) {
        uint32_t got = (uint32_t)VC_WriteBytes((SBYTE*)pcm + bytes, PLAY_CALL) / PLAY_FRAME;
        got = std::min(got, PLAY_MAXFRAMES - frames);
        frames += got;
        bytes += got * PLAY_FRAME;
        if (frames == PLAY_MAXFRAMES)
            break;
    }
    return bytes;
}

EMSCRIPTEN_KEEPALIVE const int16_t* kzmplaypcm()
{
    return pcm;
}

// The last piece's frames as floats for an audio output: its left channel, then its right.
EMSCRIPTEN_KEEPALIVE const float* kzmplayfloats(uint32_t bytes)
{
    uint32_t n = std::min(bytes / PLAY_FRAME, (uint32_t)(sizeof pcm / PLAY_FRAME));
    for (uint32_t i = 0; i < n; i++) {
        planar[i] = pcm[2 * i] / 32768.0f;
        planar[n + i] = pcm[2 * i + 1] / 32768.0f;
    }
    return planar;
}

// The header of a WAV file whose data are the render's pcm bytes.
EMSCRIPTEN_KEEPALIVE const uint8_t* kzmplaywavheader(uint32_t bytes)
{
    const uint8_t tags[][4] = {{'R', 'I', 'F', 'F'}, {'W', 'A', 'V', 'E'}, {'f', 'm', 't', ' '}, {'d', 'a', 't', 'a'}};
    std::copy(tags[0], tags[0] + 4, header);
    put_u32le(header + 4, WAV_HEADER - 8 + bytes);
    std::copy(tags[1], tags[1] + 4, header + 8);
    std::copy(tags[2], tags[2] + 4, header + 12);
    put_u32le(header + 16, WAV_FMTSIZE);
    put_u16le(header + 20, WAV_PCM);
    put_u16le(header + 22, 2);
    put_u32le(header + 24, PLAY_RATE);
    put_u32le(header + 28, PLAY_RATE * PLAY_FRAME);
    put_u16le(header + 32, PLAY_FRAME);
    put_u16le(header + 34, WAV_BITS);
    std::copy(tags[3], tags[3] + 4, header + 36);
    put_u32le(header + 40, bytes);
    return header;
}
}
