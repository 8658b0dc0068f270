// The modules that the player tests convert: source fields laid out with the test builder, and what every reader must find.
#include "modules.h"

#include <map>
#include <stdexcept>

kzbytes kzp_rowdata(const kzp_pattern& p)
{
    kzbytes rows;
    for (int r = 0; r < p.datarows; r++) {
        for (const kzp_entry& e : p.entries)
            if (e.row == r)
                kzb_append(rows, e.src);
        rows.push_back(KZB_ENDROW);
    }
    return rows;
}

namespace {

// Source entries: note, instrument and volume bytes, -1 for absent; the effect as type and parameter.
kzbytes cell(int channel, int note, int ins, int vol, int type = -1, int param = 0)
{
    return kzb_cell((uint8_t)channel, note, ins, vol, type, param);
}

kzbytes fx(int channel, int type, int param)
{
    return kzb_cell((uint8_t)channel, -1, -1, -1, type, param);
}

// IT cells.
kzp_cell it(int note, int ins, int vol, char cmd = 0, int val = 0)
{
    return {note, ins, vol, cmd, val};
}

kzp_cell itfx(char cmd, int val)
{
    return {NONE, NONE, NONE, cmd, val};
}

const kzp_cell EMPTY = {};

// A sawtooth, 8-bit, or 16-bit little-endian.
kzbytes wave(long frames, bool wide)
{
    kzbytes d;
    for (long i = 0; i < frames; i++) {
        int v = (int)(i * 9 % 200) - 100;
        if (wide) {
            uint16_t u = (uint16_t)(int16_t)(v * 256);
            d.push_back((uint8_t)u);
            d.push_back((uint8_t)(u >> 8));
        } else {
            d.push_back((uint8_t)(int8_t)v);
        }
    }
    return d;
}

kzb_sample sample(const char* name, uint8_t flags, long frames, uint32_t loopbegin = 0, uint32_t loopend = 0)
{
    kzb_sample s;
    s.name = name;
    s.flags = flags;
    s.loopbegin = loopbegin;
    s.loopend = loopend;
    s.data = wave(frames, flags & 0x04);
    return s;
}

// Song header, then the pattern chunks in the order given, then one instrument chunk per slot byte and the
// sample chunks that pair with them.
kzbytes assemble(const kzb_song& song, const std::vector<kzbytes>& patterns, const std::vector<uint8_t>& slots,
                 const std::vector<kzb_sample>& samples)
{
    kzbytes work = kzb_songheader(song);
    for (const kzbytes& p : patterns)
        kzb_append(work, p);
    for (uint8_t s : slots)
        kzb_append(work, kzb_instrument({s, 0, 0, 0, 0, "i"}));
    for (const kzb_sample& s : samples)
        kzb_append(work, kzb_samplechunk(s));
    return kzb_container(work);
}

kzbytes chunk(const kzp_pattern& p)
{
    return kzb_pattern(p.number, p.lastrow, kzp_rowdata(p));
}

// examples/demo.kzm, as tools/mkdemo writes it. Expected cells worked out from mkdemo.cpp by hand:
// instrument = slot + 1 (lead 1, bass 2, pad 3, snare 4, kick 5); channels lead 0, bass 1, drums 2, pad 3.
kzp_module demo()
{
    kzp_module m;
    m.name = "demo";
    m.kzm = kzb_readfile(KZM_SOURCE_DIR "/examples/demo.kzm");
    m.title = "kzm2it demo";
    m.speed = 6;
    m.tempo = 125;
    m.orders = {0, 1, 0, 2, 3};
    m.rows = {32, 32, 32, 32};
    m.samples = {
        {2048, 0, 2048, false, true, false, "pulse lead"},      // 64 cycles of 32 frames, flags 0x88
        {4096, 0, 4096, true, true, false, "bass"},             // 64 cycles of 64 frames, flags 0x8C
        {8192, 2048, 8192, false, true, true, "triangle pad"},  // flags 0x98
        {3000, 0, 0, false, false, false, "noise snare"},       // flags 0x80
        {4400, 0, 0, true, false, false, "kick"},               // flags 0x84
    };
    const kzp_cell hat = it(72, 4, 18, 'S', 0xC2);   // C-6, volume 36, note cut after 2 ticks
    m.checked = {
        {0, 31, 0,
         {{0, 0, {}, it(64, 1, 55)},                   // E-5, volume 110
          {0, 1, {}, it(36, 2, 60, 'A', 0x06)},        // C-3, volume 120, speed 6
          {0, 2, {}, it(60, 5, 63, 'T', 0x7D)},        // C-5, volume 127, speed effect 125: tempo
          {0, 3, {}, it(55, 3, 36, 'X', 0x60)},        // G-4, volume 72, pan 0x30 doubled
          {2, 2, {}, hat},
          {16, 0, {}, itfx('H', 0x46)},
          {16, 1, {}, it(33, 2, 60)},
          {16, 2, {}, it(60, 5, 63)},
          {16, 3, {}, it(52, 3, 36)},                  // E-4
          {24, 0, {}, it(64, 1, 50)},
          {24, 1, {}, it(33, 2, 50)},
          {24, 2, {}, it(60, 5, 63)},
          {24, 3, {}, itfx('D', 0xF2)}},
         {0, 1, 2, 16, 24}},
        {1, 31, 0,
         {{26, 0, {}, it(74, 1, 55, 'G', 0x20)},       // D-6 with portamento
          {26, 2, {}, hat},
          {26, 3, {}, itfx('D', 0xF2)},
          {27, 0, {}, itfx('G', 0x00)},
          {29, 0, {}, itfx('G', 0x00)},
          {29, 1, {}, itfx('E', 0x10)}},
         {26, 27, 29}},
        {2, 31, 0,
         {{0, 0, {}, it(72, 1, 57)},
          {0, 1, {}, it(33, 2, 60)},
          {0, 2, {}, it(60, 5, 63)},
          {0, 3, {}, it(60, 3, 36, 'X', 0xA0)},
          {22, 0, {}, itfx('F', 0x03)},
          {22, 2, {}, hat}},
         {0, 22}},
        {3, 31, 0,
         {{26, 0, {}, itfx('D', 0x02)},
          {26, 1, {}, it(36, 2, 55, 'S', 0xD3)},       // C-3 delayed by 3 ticks
          {26, 2, {}, hat},
          {26, 3, {}, itfx('D', 0xF2)},
          {27, 0, {}, itfx('D', 0x02)},
          {27, 1, {}, itfx('C', 0x00)}},               // break: pattern 3 plays rows 0..27
         {26, 27}},
    };
    m.mikmodloads = true;
    // Orders 0, 1, 0, 2 play 32 rows each, order 3 plays 28 before the break: 156 rows at speed 6, tempo 125
    // (speed and tempo effects on row 0 restate them; a note delay adds no time): 156 * 2.5 / 125 * 6 = 18.72 s.
    m.seconds = 18.72;
    return m;
}

// Every entry form, lone flag bytes, channels 0 to 31, the edges of notes and volumes, and
// 8- and 16-bit samples, plain, looped and ping-pong.
kzp_module forms()
{
    kzp_module m;
    m.name = "forms";
    kzb_song song;
    song.title = "entry forms";
    song.channels = 32;
    song.orders = {0, 1, 0};
    kzp_pattern p0 = {
        0, 15, 16,
        {{0, 0, cell(0, -1, -1, 100), it(NONE, NONE, 50)},                       // 001: volume
         {0, 1, cell(1, 49, 2, -1), it(48, 2, NONE)},                            // 010: note 49 is C-4
         {0, 2, cell(2, 61, 1, 127), it(60, 1, 63)},                             // 011
         {1, 3, fx(3, 4, 0x46), itfx('H', 0x46)},                                // 100
         {1, 4, cell(4, -1, -1, 64, 10, 0x0F), it(NONE, NONE, 32, 'D', 0x0F)},   // 101
         {2, 5, cell(5, 73, 3, -1, 3, 0x20), it(72, 3, NONE, 'G', 0x20)},        // 110
         {2, 31, cell(31, 25, 4, 0, 15, 0x05), it(24, 4, 0, 'A', 0x05)},         // 111, on the last channel
         {3, 7, {0x07}, EMPTY},                                                  // flag byte without fields
         {3, 8, cell(8, 37, 5, 90), it(36, 5, 45)},
         {4, 31, {0x1F}, EMPTY},
         {6, 30, cell(30, 97, 6, 16, 8, 0x20), it(96, 6, 8, 'X', 0x40)},
         {15, 0, cell(0, 0, 1, 10), it(255, 1, 5)},                              // note byte 0: note off
         {15, 31, cell(31, 120, 2, 126), it(119, 2, 63)}},                       // B-9
        {}};
    kzp_pattern p1 = {
        1, 63, 64,
        {{0, 0, cell(0, 1, 1, 1), it(0, 1, 0)},                                  // C-0
         {1, 0, cell(0, 121, 1, 128), it(120, 1, 64)},                           // volume 128 and up: 64
         {2, 0, cell(0, 254, 1, 255), it(253, 1, 64)},
         {3, 0, cell(0, 255, 1, 2), it(254, 1, 1)},                              // note cut
         {4, 0, cell(0, 60, 99, 3), it(59, 99, 1)},                              // the highest slot's number
         {32, 16, cell(16, 61, 3, 64), it(60, 3, 32)},
         {63, 31, cell(31, 61, 6, 64, 14, 0xC3), it(60, 6, 32, 'S', 0xC3)}},
        {}};
    m.checked = {p0, p1};
    m.samples = {
        {1000, 0, 0, false, false, false, "plain 8"},
        {1200, 100, 1100, false, true, false, "loop 8"},
        {900, 300, 900, false, true, true, "ping-pong 8"},
        {1500, 0, 0, true, false, false, "plain 16"},
        {2000, 0, 2000, true, true, false, "loop 16"},
        {2500, 250, 2250, true, true, true, "ping-pong 16"},
    };
    m.kzm = assemble(song, {chunk(p0), chunk(p1)}, {0, 1, 2, 3, 4, 5},
                     {sample("plain 8", 0x80, 1000), sample("loop 8", 0x88, 1200, 100, 1100),
                      sample("ping-pong 8", 0x98, 900, 300, 900), sample("plain 16", 0x84, 1500),
                      sample("loop 16", 0x8C, 2000, 0, 2000), sample("ping-pong 16", 0xBC, 2500, 250, 2250)});
    m.title = "entry forms";
    m.speed = 6;
    m.tempo = 125;
    m.orders.assign(song.orders.begin(), song.orders.end());
    m.rows = {16, 64};
    m.mikmodloads = true;
    // Speed 6 (0.12 s a row) until A05 on row 2 of the first pass of pattern 0, then speed 5 (0.1 s):
    // 2 * 0.12 + 14 * 0.1 (pattern 0) + 64 * 0.1 (pattern 1) + 16 * 0.1 (pattern 0) = 9.64 s.
    m.seconds = 9.64;
    return m;
}

// Every effect type, on channel 0, one a row; the IT command of each by the translation table.
kzp_module effects()
{
    kzp_module m;
    m.name = "effects";
    struct {
        int type, param;
        char cmd;
        int val;
    } table[] = {
        {0, 0x33, 0, 0},       {1, 0x20, 'F', 0x20},  {2, 0x11, 'E', 0x11},  {3, 0x22, 'G', 0x22},
        {4, 0x46, 'H', 0x46},  {5, 0x0F, 'L', 0x0F},  {6, 0xF0, 'K', 0xF0},  {7, 0x34, 'R', 0x34},
        {8, 0x40, 'X', 0x80},  {8, 0x7F, 'X', 0xFE},  {8, 0x80, 'X', 0xFF},  {8, 0xFF, 'X', 0xFF},
        {9, 0x12, 'O', 0x12},  {10, 0x05, 'D', 0x05}, {10, 0xF2, 'D', 0xF2}, {11, 0x02, 'B', 0x02},
        {12, 0x44, 0, 0},      {13, 0x10, 'C', 0x10}, {14, 0x05, 'S', 0x05}, {14, 0x13, 0, 0},
        {14, 0x25, 0, 0},      {14, 0x3A, 'S', 0x1A}, {14, 0x42, 'S', 0x32}, {14, 0x55, 0, 0},
        {14, 0x6F, 'S', 0xBF}, {14, 0x71, 'S', 0x41}, {14, 0x83, 'S', 0x83}, {14, 0x94, 0, 0},
        {14, 0xA5, 0, 0},      {14, 0xB3, 'S', 0xA3}, {14, 0xC2, 'S', 0xC2}, {14, 0xD3, 'S', 0xD3},
        {14, 0xE4, 'S', 0xE4}, {14, 0xF0, 'S', 0xF0}, {15, 0x00, 'A', 0x00}, {15, 0x06, 'A', 0x06},
        {15, 0x20, 'A', 0x20}, {15, 0x21, 'T', 0x21}, {15, 0xFF, 'T', 0xFF}, {16, 0x01, 0, 0},
        {17, 0x01, 0, 0},      {18, 0x01, 0, 0},      {19, 0x01, 0, 0},      {20, 0x7D, 'T', 0x7D},
        {20, 0x10, 'T', 0x10}, {21, 0x05, 0, 0},      {128, 0x05, 0, 0},     {255, 0x05, 0, 0},
    };
    kzp_pattern p = {0, 63, 64, {}, {}};
    int row = 0;
    for (auto& t : table) {
        p.entries.push_back({row, 0, fx(0, t.type, t.param), t.cmd ? itfx(t.cmd, t.val) : EMPTY});
        row++;
    }
    // The effect forms with a note too; type 12 translates to no command, so only the note remains.
    p.entries.push_back({0, 1, cell(1, 61, 1, 64, 15, 0x21), it(60, 1, 32, 'T', 0x21)});
    p.entries.push_back({1, 1, cell(1, 61, 1, -1, 12, 0x44), it(60, 1, NONE)});
    m.checked = {p};
    kzb_song song;
    song.title = "effects";
    song.channels = 2;
    song.orders = {0};
    m.kzm = assemble(song, {chunk(p)}, {0}, {sample("s", 0x88, 256, 0, 256)});
    m.title = "effects";
    m.speed = 6;
    m.tempo = 125;
    m.orders.assign(song.orders.begin(), song.orders.end());
    m.rows = {64};
    m.samples = {{256, 0, 256, false, true, false, "s"}};
    m.mikmodloads = true;
    m.seconds = 0;   // jumps, breaks, loops and delays: no duration worked out
    return m;
}

// Instrument bytes pass unchanged, also those naming no sample slot (0, and 100 and up). libmikmod
// refuses a module with any of these as a failure to load a pattern; it takes 1..99, 253 and 255.
kzp_module instruments()
{
    kzp_module m;
    m.name = "instruments";
    kzp_pattern p = {0, 3, 4,
                     {{0, 0, cell(0, 61, 0, 64), it(60, 0, 32)},
                      {1, 0, cell(0, 61, 99, 64), it(60, 99, 32)},
                      {2, 0, cell(0, 61, 100, 64), it(60, 100, 32)},
                      {3, 0, cell(0, 61, 255, 64), it(60, 255, 32)}},
                     {}};
    m.checked = {p};
    kzb_song song;
    song.title = "instruments";
    song.channels = 1;
    song.orders = {0};
    m.kzm = assemble(song, {chunk(p)}, {0}, {sample("s", 0x80, 100)});
    m.title = "instruments";
    m.speed = 6;
    m.tempo = 125;
    m.orders.assign(song.orders.begin(), song.orders.end());
    m.rows = {4};
    m.samples = {{100, 0, 0, false, false, false, "s"}};
    m.mikmodloads = false;
    m.seconds = 0.48;   // 4 rows at 0.12 s
    return m;
}

// Pattern chunks stored out of order (3, 0, 4, 2), a number with no chunk (1), a chunk with no row data (0)
// and one with end-of-row bytes only (4); sample slots 0, 2 and 3 filled, slot 1 by no chunk, slot 3 empty.
// A pattern written with Length 0 has pattern offset 0, which IT readers take as an empty 64-row pattern:
// the last row that chunk 0 states is not kept. Slot 1 still has a real sample header (libmikmod refuses a
// module with a sample header offset of 0).
kzp_module layout()
{
    kzp_module m;
    m.name = "layout";
    kzp_pattern p3 = {3, 31, 32, {{0, 1, cell(1, 49, 1, 64), it(48, 1, 32)}, {31, 0, cell(0, 50, 3, 20), it(49, 3, 10)}}, {}};
    kzp_pattern p0 = {0, 15, 0, {}, {}};
    kzp_pattern p4 = {4, 15, 16, {}, {}};
    kzp_pattern p2 = {2, 7, 8, {{0, 0, cell(0, 37, 3, -1), it(36, 3, NONE)}, {7, 1, fx(1, 13, 0), itfx('C', 0)}}, {}};
    m.checked = {p3, p4, p2};
    kzb_song song;
    song.title = "layout";
    song.channels = 2;
    song.orders = {3, 0, 1, 2, 4};
    kzb_sample empty = sample("empty", 0x80, 0);
    m.kzm = assemble(song, {chunk(p3), chunk(p0), chunk(p4), chunk(p2)}, {0, 2, 3},
                     {sample("first", 0x80, 500), sample("third", 0x8C, 640, 64, 640), empty});
    m.title = "layout";
    m.speed = 6;
    m.tempo = 125;
    m.orders.assign(song.orders.begin(), song.orders.end());
    m.rows = {64, 64, 8, 32, 16};
    m.samples = {
        {500, 0, 0, false, false, false, "first"},
        {0, 0, 0, false, false, false, ""},
        {640, 64, 640, true, true, false, "third"},
        {0, 0, 0, false, false, false, "empty"},
    };
    m.mikmodloads = true;
    // Orders 3, 0, 1, 2, 4: 32 + 64 + 64 + 8 + 16 = 184 rows at 0.12 s (the break on the last row of
    // pattern 2 goes where the pattern's end would) = 22.08 s.
    m.seconds = 22.08;
    return m;
}

// A song of a single order: it plays that order once.
kzp_module oneorder()
{
    kzp_module m;
    m.name = "oneorder";
    kzp_pattern p = {0, 9, 10, {{0, 0, cell(0, 61, 1, 64), it(60, 1, 32)}, {5, 3, cell(3, 65, 1, 40), it(64, 1, 20)}}, {}};
    m.checked = {p};
    kzb_song song;
    song.title = "one order";
    song.channels = 4;
    song.speed = 4;
    song.tempo = 100;
    song.orders = {0};
    m.kzm = assemble(song, {chunk(p)}, {0}, {sample("tone", 0x8C, 400, 0, 400)});
    m.title = "one order";
    m.speed = 4;
    m.tempo = 100;
    m.orders.assign(song.orders.begin(), song.orders.end());
    m.rows = {10};
    m.samples = {{400, 0, 400, true, true, false, "tone"}};
    m.mikmodloads = true;
    m.seconds = 1.0;   // 10 rows at 2.5 / 100 * 4 = 0.1 s
    return m;
}

// 255 orders, the most one count byte holds, over patterns of 1, 256 and 8 rows.
kzp_module maxorders()
{
    kzp_module m;
    m.name = "maxorders";
    kzp_pattern p0 = {0, 0, 1, {{0, 0, cell(0, 61, 1, 64), it(60, 1, 32)}}, {}};
    kzp_pattern p1 = {1, 255, 256, {{0, 0, cell(0, 62, 1, 30), it(61, 1, 15)}, {255, 0, cell(0, 63, 1, 31), it(62, 1, 15)}}, {}};
    kzp_pattern p2 = {2, 7, 8, {{7, 0, cell(0, 64, 1, -1), it(63, 1, NONE)}}, {}};
    m.checked = {p0, p1, p2};
    kzb_song song;
    song.title = "255 orders";
    song.channels = 1;
    song.speed = 3;
    song.tempo = 150;
    for (int i = 0; i < 255; i++)
        song.orders.push_back(i % 3);
    m.kzm = assemble(song, {chunk(p0), chunk(p1), chunk(p2)}, {0}, {sample("tick", 0x80, 300)});
    m.title = "255 orders";
    m.speed = 3;
    m.tempo = 150;
    m.orders.assign(song.orders.begin(), song.orders.end());
    m.rows = {1, 256, 8};
    m.samples = {{300, 0, 0, false, false, false, "tick"}};
    m.mikmodloads = true;
    m.seconds = 1126.25;   // 85 * (1 + 256 + 8) = 22525 rows at 2.5 / 150 * 3 = 0.05 s
    return m;
}

// Pattern 0 states 64 rows but its row data ends after row 8: the IT pattern keeps Rows 64 with packed
// data for 8 rows. libopenmpt and libxmp load it as 64 rows; libmikmod refuses the whole module.
kzp_module shortrows()
{
    kzp_module m;
    m.name = "shortrows";
    kzp_pattern p0 = {0, 63, 8, {}, {}};
    for (int r = 0; r < 8; r++)
        p0.entries.push_back({r, r % 2, cell(r % 2, 49 + r, 1, 2 * r), it(48 + r, 1, r)});
    kzp_pattern p1 = {1, 3, 4, {{3, 1, cell(1, 61, 1, 64), it(60, 1, 32)}}, {}};
    m.checked = {p0, p1};
    kzb_song song;
    song.title = "short rows";
    song.channels = 2;
    song.orders = {0, 1};
    m.kzm = assemble(song, {chunk(p0), chunk(p1)}, {0}, {sample("s", 0x80, 100)});
    m.title = "short rows";
    m.speed = 6;
    m.tempo = 125;
    m.orders.assign(song.orders.begin(), song.orders.end());
    m.rows = {64, 4};
    m.samples = {{100, 0, 0, false, false, false, "s"}};
    m.mikmodloads = false;
    m.seconds = 8.16;   // 64 + 4 rows at 0.12 s
    return m;
}

}  // namespace

const std::vector<std::string>& kzp_module_names()
{
    static const std::vector<std::string> names = {"demo",     "forms",     "effects",  "instruments",
                                                   "layout",   "oneorder",  "maxorders", "shortrows"};
    return names;
}

const std::vector<std::string>& kzp_timed_module_names()
{
    static const std::vector<std::string> names = {"demo",     "forms",     "instruments", "layout",
                                                   "oneorder", "maxorders", "shortrows"};
    return names;
}

const kzp_module& kzp_module_named(const std::string& name)
{
    static std::map<std::string, kzp_module> built;
    auto it = built.find(name);
    if (it != built.end())
        return it->second;
    static const std::map<std::string, kzp_module (*)()> makers = {
        {"demo", demo},         {"forms", forms},         {"effects", effects},     {"instruments", instruments},
        {"layout", layout},     {"oneorder", oneorder},   {"maxorders", maxorders}, {"shortrows", shortrows},
    };
    auto maker = makers.find(name);
    if (maker == makers.end())
        throw std::invalid_argument("no module " + name);
    return built.emplace(name, maker->second()).first->second;
}
