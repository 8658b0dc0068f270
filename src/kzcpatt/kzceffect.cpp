// Effect translation: source effect type and parameter into an IT command and value.
#include "kzm.h"

// Source effect types; every other type has no IT counterpart.
enum : uint8_t {
    FX_SLIDEUP = 1,
    FX_SLIDEDOWN = 2,
    FX_PORTA = 3,
    FX_VIBRATO = 4,
    FX_PORTAVOLSLIDE = 5,
    FX_VIBVOLSLIDE = 6,
    FX_TREMOLO = 7,
    FX_PAN = 8,           // 0..127; doubled for IT
    FX_OFFSET = 9,
    FX_VOLSLIDE = 10,
    FX_JUMP = 11,
    FX_BREAK = 13,
    FX_EXTENDED = 14,     // sub-command in the high nibble
    FX_SPEEDTEMPO = 15,   // speed up to FX_MAXSPEED, tempo above
    FX_TEMPO = 20,
};
enum : uint8_t { FX_MAXSPEED = 32 };

// IT command numbers: 1 is A, 2 is B, and so on.
enum : uint8_t {
    CMD_NONE = 0,
    CMD_A = 1,    // set speed
    CMD_B = 2,    // jump to order
    CMD_C = 3,    // break to row
    CMD_D = 4,    // volume slide
    CMD_E = 5,    // pitch slide down
    CMD_F = 6,    // pitch slide up
    CMD_G = 7,    // portamento to note
    CMD_H = 8,    // vibrato
    CMD_K = 11,   // vibrato with volume slide
    CMD_L = 12,   // portamento with volume slide
    CMD_O = 15,   // sample offset
    CMD_R = 18,   // tremolo
    CMD_S = 19,   // extended commands, sub-command in the high nibble of the value
    CMD_T = 20,   // set tempo
    CMD_X = 24,   // set panning 0..255
};

// IT S sub-command for each source extended sub-command; S_NONE where IT has no counterpart.
enum : uint8_t { S_NONE = 0xFF, X_FULLRIGHT = 0xFF };
static const uint8_t EXTENDED_TO_S[] = {
    0x0,     // 0
    S_NONE,  // 1
    S_NONE,  // 2
    0x1,     // 3: glissando control
    0x3,     // 4: vibrato waveform
    S_NONE,  // 5
    0xB,     // 6: pattern loop
    0x4,     // 7: tremolo waveform
    0x8,     // 8: pan position
    S_NONE,  // 9
    S_NONE,  // A
    0xA,     // B: high value of sample offset
    0xC,     // C: note cut
    0xD,     // D: note delay
    0xE,     // E: pattern delay
    0xF,     // F: active macro
};
static_assert(sizeof EXTENDED_TO_S == 16, "one entry for each high nibble");

static uint16_t itcommand(uint8_t command, uint8_t value)
{
    return (uint16_t)(command | (value << 8));
}

// Returns the IT command in the low byte and its value in the high byte; 0 for no effect.
// Panning from 128 up, beyond the source range, is full right rather than a wrapped doubling.
uint16_t kzmtoiteffect(uint8_t type, uint8_t param)
{
    switch (type) {
    case FX_SLIDEUP: return itcommand(CMD_F, param);
    case FX_SLIDEDOWN: return itcommand(CMD_E, param);
    case FX_PORTA: return itcommand(CMD_G, param);
    case FX_VIBRATO: return itcommand(CMD_H, param);
    case FX_PORTAVOLSLIDE: return itcommand(CMD_L, param);
    case FX_VIBVOLSLIDE: return itcommand(CMD_K, param);
    case FX_TREMOLO: return itcommand(CMD_R, param);
    case FX_PAN: return itcommand(CMD_X, param < 128 ? (uint8_t)(param * 2) : (uint8_t)X_FULLRIGHT);
    case FX_OFFSET: return itcommand(CMD_O, param);
    case FX_VOLSLIDE: return itcommand(CMD_D, param);
    case FX_JUMP: return itcommand(CMD_B, param);
    case FX_BREAK: return itcommand(CMD_C, param);
    case FX_EXTENDED: {
        uint8_t sub = EXTENDED_TO_S[param >> 4];
        if (sub == S_NONE)
            return CMD_NONE;
        return itcommand(CMD_S, (uint8_t)((sub << 4) | (param & 0x0F)));
    }
    case FX_SPEEDTEMPO: return itcommand(param <= FX_MAXSPEED ? CMD_A : CMD_T, param);
    case FX_TEMPO: return itcommand(CMD_T, param);
    default: return CMD_NONE;
    }
}
