// Writes examples/demo.kzm (or the path given): a short four-channel song with synthesized samples.
#include "kzcell.h"

#include <cmath>
#include <cstdio>

// Samples, in slot order; the pattern instrument byte is the slot + 1.
enum { LEAD = 1, BASS, PAD, SNARE, KICK };
enum { CH_LEAD, CH_BASS, CH_DRUMS, CH_PAD };

// Source effect types used here.
enum {
    FX_SLIDEUP = 1, FX_SLIDEDOWN = 2, FX_PORTA = 3, FX_VIBRATO = 4, FX_PAN = 8,
    FX_VOLSLIDE = 10, FX_BREAK = 13, FX_SPECIAL = 14, FX_SPEED = 15,
};
enum { SP_NOTECUT = 0xC0, SP_NOTEDELAY = 0xD0 };   // sub-command in the parameter's high nibble

const double PI = 3.14159265358979323846;
const int ROWS = 32;

// Source note of a name such as "C-5" or "F#3": the IT note (octave * 12 + semitone) plus 1.
static int note(const char* name)
{
    static const int semis[] = {9, 11, 0, 2, 4, 5, 7};   // A B C D E F G
    int n = semis[name[0] - 'A'] + (name[1] == '#' ? 1 : 0);
    return (name[2] - '0') * 12 + n + 1;
}

static uint8_t s8(double v)
{
    long x = std::lround(v);
    return (uint8_t)(int8_t)(x > 127 ? 127 : x < -128 ? -128 : x);
}

static void push16(kzbytes& d, double v)
{
    long x = std::lround(v);
    uint16_t u = (uint16_t)(int16_t)(x > 32767 ? 32767 : x < -32768 ? -32768 : x);
    d.push_back((uint8_t)u);
    d.push_back((uint8_t)(u >> 8));
}

// 25% pulse, slightly rounded, 32 frames a cycle: at 8372 Hz a C-5 sounds as middle C.
static kzbytes leadwave(int cycles)
{
    kzbytes d;
    for (int i = 0; i < cycles * 32; i++) {
        double ph = (i % 32) / 32.0;
        double v = ph < 0.25 ? 1.0 : -0.45;
        v += 0.25 * std::sin(2 * PI * ph);
        d.push_back(s8(60 * v));
    }
    return d;
}

// 16-bit bass: fundamental and two harmonics, 64 frames a cycle.
static kzbytes basswave(int cycles)
{
    kzbytes d;
    for (int i = 0; i < cycles * 64; i++) {
        double x = 2 * PI * (i % 64) / 64.0;
        push16(d, 14000 * (std::sin(x) + 0.35 * std::sin(2 * x) + 0.15 * std::sin(3 * x)));
    }
    return d;
}

// Two detuned triangles with a slow attack; the loop plays forward and back over the sustain.
static kzbytes padwave(int frames, int attack)
{
    kzbytes d;
    for (int i = 0; i < frames; i++) {
        double a = std::fmod(i / 64.0, 1.0), b = std::fmod(i * 1.006 / 64.0, 1.0);
        double tri = (4 * std::fabs(a - 0.5) - 1) + (4 * std::fabs(b - 0.5) - 1);
        double env = i < attack ? (double)i / attack : 1.0;
        d.push_back(s8(40 * env * tri));
    }
    return d;
}

// Noise burst over a short tone, decaying; a fixed generator so the file is the same every time.
static kzbytes snarewave(int frames)
{
    kzbytes d;
    uint32_t seed = 0x1234567;
    for (int i = 0; i < frames; i++) {
        seed = seed * 1103515245u + 12345u;
        double noise = ((seed >> 16) & 0x7FFF) / 16383.5 - 1.0;
        double t = i / 22050.0;
        d.push_back(s8(90 * noise * std::exp(-t * 25) + 40 * std::sin(2 * PI * 190 * t) * std::exp(-t * 40)));
    }
    return d;
}

// 16-bit kick: a sine falling from 170 Hz to 50 Hz, decaying.
static kzbytes kickwave(int frames)
{
    kzbytes d;
    double phase = 0;
    for (int i = 0; i < frames; i++) {
        double t = i / 22050.0;
        phase += 2 * PI * (50 + 120 * std::exp(-t / 0.03)) / 22050.0;
        push16(d, 28000 * std::sin(phase) * std::exp(-t / 0.12));
    }
    return d;
}

// A pattern under construction: the cells of each row, in channel order of insertion.
struct pattern {
    kzbytes rows[ROWS];
    void put(int row, const kzbytes& cell) { kzb_append(rows[row], cell); }
    void play(int row, int ch, const char* n, int ins, int vol, int fx = -1, int param = 0)
    {
        put(row, kzb_cell((uint8_t)ch, note(n), ins, vol, fx, param));
    }
    void fx(int row, int ch, int type, int param) { put(row, kzb_cell((uint8_t)ch, -1, -1, -1, type, param)); }
    kzbytes packed() const
    {
        kzbytes b;
        for (int r = 0; r < ROWS; r++) {
            kzb_append(b, rows[r]);
            b.push_back(KZB_ENDROW);
        }
        return b;
    }
};

// Two bars of one chord each: bass on the beats, octave up between; drums with short hats.
static void backing(pattern& p, const char* bass1, const char* bass2, const char* bass1hi, const char* bass2hi,
                    const char* pad1, const char* pad2)
{
    for (int bar = 0; bar < 2; bar++) {
        int r0 = bar * 16;
        const char* lo = bar ? bass2 : bass1;
        const char* hi = bar ? bass2hi : bass1hi;
        for (int beat = 0; beat < 4; beat++)
            p.play(r0 + beat * 4, CH_BASS, beat % 2 ? hi : lo, BASS, beat ? 100 : 120);
        p.play(r0, CH_PAD, bar ? pad2 : pad1, PAD, 72);
        for (int r = r0 + 8; r < r0 + 14; r += 2)
            p.fx(r, CH_PAD, FX_VOLSLIDE, 0xF2);   // fine slide down by 2 on the row
        for (int r = r0; r < r0 + 16; r += 2) {
            if (r % 8 == 0)
                p.play(r, CH_DRUMS, "C-5", KICK, 127);
            else if (r % 8 == 4)
                p.play(r, CH_DRUMS, "C-5", SNARE, 110);
            else
                p.play(r, CH_DRUMS, "C-6", SNARE, 36, FX_SPECIAL, SP_NOTECUT | 2);   // hat: cut after 2 ticks
        }
    }
}

int main(int argc, char** argv)
{
    const char* out = argc > 1 ? argv[1] : "examples/demo.kzm";

    // Pans 0x50, 0x40, 0x40, 0x28, 0x40 are halved into IT pans 40, 32, 32, 20.
    kzbytes work = kzb_songheader("kzm2it demo", 4, 6, 125, {0x50, 0x40, 0x40, 0x28, 0x40}, {0, 1, 0, 2, 3});

    pattern p[4];

    // Pattern 0, C then A minor: speed and tempo set at the start, pad panned left.
    backing(p[0], "C-3", "A-2", "C-4", "A-3", "G-4", "E-4");
    p[0].rows[0].clear();
    p[0].play(0, CH_LEAD, "E-5", LEAD, 110);
    p[0].play(0, CH_BASS, "C-3", BASS, 120, FX_SPEED, 6);
    p[0].play(0, CH_DRUMS, "C-5", KICK, 127, FX_SPEED, 125);
    p[0].play(0, CH_PAD, "G-4", PAD, 72, FX_PAN, 0x30);
    p[0].play(4, CH_LEAD, "G-5", LEAD, 110);
    p[0].play(8, CH_LEAD, "C-6", LEAD, 120);
    p[0].play(12, CH_LEAD, "B-5", LEAD, 110);
    p[0].play(14, CH_LEAD, "A-5", LEAD, 110);
    for (int r = 16; r < 24; r++)
        p[0].fx(r, CH_LEAD, FX_VIBRATO, 0x46);
    p[0].play(24, CH_LEAD, "E-5", LEAD, 100);
    p[0].play(28, CH_LEAD, "G-5", LEAD, 100);
    p[0].fx(30, CH_LEAD, FX_VOLSLIDE, 0x04);

    // Pattern 1, F then G: a glide up to D-6 and a bass drop at the end.
    backing(p[1], "F-2", "G-2", "F-3", "G-3", "A-4", "B-4");
    p[1].play(0, CH_LEAD, "A-5", LEAD, 110);
    p[1].play(4, CH_LEAD, "C-6", LEAD, 110);
    p[1].play(8, CH_LEAD, "A-5", LEAD, 110);
    p[1].play(12, CH_LEAD, "F-5", LEAD, 110);
    p[1].play(16, CH_LEAD, "G-5", LEAD, 115);
    for (int r = 18; r < 24; r++)
        p[1].fx(r, CH_LEAD, FX_VIBRATO, 0x35);
    p[1].play(24, CH_LEAD, "B-5", LEAD, 110);
    p[1].play(26, CH_LEAD, "D-6", LEAD, 110, FX_PORTA, 0x20);
    for (int r = 27; r < 30; r++)
        p[1].fx(r, CH_LEAD, FX_PORTA, 0x00);
    for (int r = 29; r < 32; r++)
        p[1].fx(r, CH_BASS, FX_SLIDEDOWN, 0x10);

    // Pattern 2, A minor then F: pad panned right, the lead bends down at the end.
    backing(p[2], "A-2", "F-2", "A-3", "F-3", "C-5", "C-5");
    p[2].rows[0].clear();
    p[2].play(0, CH_LEAD, "C-6", LEAD, 115);
    p[2].play(0, CH_BASS, "A-2", BASS, 120);
    p[2].play(0, CH_DRUMS, "C-5", KICK, 127);
    p[2].play(0, CH_PAD, "C-5", PAD, 72, FX_PAN, 0x50);
    p[2].play(4, CH_LEAD, "B-5", LEAD, 110);
    p[2].play(8, CH_LEAD, "A-5", LEAD, 110);
    p[2].play(12, CH_LEAD, "E-5", LEAD, 110);
    p[2].play(16, CH_LEAD, "F-5", LEAD, 110);
    p[2].play(20, CH_LEAD, "A-5", LEAD, 110);
    p[2].fx(22, CH_LEAD, FX_SLIDEUP, 0x03);
    p[2].play(24, CH_LEAD, "C-6", LEAD, 115);
    for (int r = 28; r < 32; r++)
        p[2].fx(r, CH_LEAD, FX_SLIDEDOWN, 0x06);

    // Pattern 3, G then C: a held ending that fades, a delayed snare, and a break after row 27.
    backing(p[3], "G-2", "C-3", "G-3", "C-4", "D-5", "E-5");
    p[3].play(0, CH_LEAD, "B-5", LEAD, 110);
    p[3].play(4, CH_LEAD, "D-6", LEAD, 110);
    p[3].play(8, CH_LEAD, "G-5", LEAD, 115);
    for (int r = 9; r < 16; r++)
        p[3].fx(r, CH_LEAD, FX_VIBRATO, 0x44);
    p[3].play(16, CH_LEAD, "C-6", LEAD, 120);
    for (int r = 20; r < 28; r++)
        p[3].fx(r, CH_LEAD, FX_VOLSLIDE, 0x02);
    p[3].play(26, CH_BASS, "C-3", BASS, 110, FX_SPECIAL, SP_NOTEDELAY | 3);
    p[3].fx(27, CH_BASS, FX_BREAK, 0);

    for (uint8_t i = 0; i < 4; i++)
        kzb_append(work, kzb_pattern(i, ROWS - 1, p[i].packed()));

    // Instrument i names slot i; the lead has a slow delayed vibrato of its own
    // (waveform sine, rate 0x10, depth 4, speed 0x0100 -> IT ViT 0, ViR 64, ViD 4, ViS 16).
    kzb_append(work, kzb_instrument(0, 0, 0x10, 4, 0x0100, "lead"));
    kzb_append(work, kzb_instrument(1, 0, 0, 0, 0, "bass"));
    kzb_append(work, kzb_instrument(2, 3, 0x04, 2, 0x0080, "pad"));
    kzb_append(work, kzb_instrument(3, 0, 0, 0, 0, "snare"));
    kzb_append(work, kzb_instrument(4, 0, 0, 0, 0, "kick"));

    // Flags bytes: 0x88 8-bit loop, 0x8C 16-bit loop, 0x98 8-bit ping-pong loop, 0x80 8-bit, 0x84 16-bit.
    kzb_append(work, kzb_samplechunk("pulse lead", 0x40, 128, 0x88, -1, 0, 2048, 8372, leadwave(64)));
    kzb_append(work, kzb_samplechunk("bass", 0x40, 128, 0x8C, -1, 0, 4096, 16744, basswave(64)));
    kzb_append(work, kzb_samplechunk("triangle pad", 0x40, 128, 0x98, -1, 2048, 8192, 16744, padwave(8192, 2048)));
    kzb_append(work, kzb_samplechunk("noise snare", 0x40, 128, 0x80, -1, 0, 0, 22050, snarewave(3000)));
    kzb_append(work, kzb_samplechunk("kick", 0x40, 128, 0x84, -1, 0, 0, 22050, kickwave(4400)));

    kzb_writefile(out, kzb_container(work, 9));
    printf("wrote %s\n", out);
    return 0;
}
