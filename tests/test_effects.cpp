// Effect translation: every source effect type and extended sub-command against the IT command it becomes.
#include "kzm.h"

#include <gtest/gtest.h>

TEST(Effects, EveryTypeAndSubCommand)
{
    // Result: IT command number in the low byte (1 = A ... 26 = Z), command value in the high byte.
    // Each row holds for every type in [type, typeto] and every parameter in [param, paramto].
    struct {
        uint8_t type, typeto, param, paramto;
        uint16_t expect;
    } cases[] = {
        {0, 0, 0x00, 0xFF, 0x0000},       // no effect
        {1, 1, 0x20, 0x20, 0x2006},       // F20 pitch slide up
        {1, 1, 0xFF, 0xFF, 0xFF06},
        {2, 2, 0x01, 0x01, 0x0105},       // E01 pitch slide down
        {3, 3, 0x80, 0x80, 0x8007},       // G80 portamento to note
        {4, 4, 0x44, 0x44, 0x4408},       // H44 vibrato
        {5, 5, 0x0F, 0x0F, 0x0F0C},       // L0F portamento + volume slide
        {6, 6, 0xF0, 0xF0, 0xF00B},       // KF0 vibrato + volume slide
        {7, 7, 0x35, 0x35, 0x3512},       // R35 tremolo
        {8, 8, 0x00, 0x00, 0x0018},       // X00 set panning, doubled
        {8, 8, 0x01, 0x01, 0x0218},       // X02
        {8, 8, 0x40, 0x40, 0x8018},       // X80
        {8, 8, 0x7F, 0x7F, 0xFE18},       // XFE
        {8, 8, 0x80, 0xFF, 0xFF18},       // beyond the source range: XFF, full right
        {9, 9, 0x12, 0x12, 0x120F},       // O12 sample offset
        {10, 10, 0x05, 0x05, 0x0504},     // D05 volume slide
        {11, 11, 0x03, 0x03, 0x0302},     // B03 jump to order
        {12, 12, 0x00, 0xFF, 0x0000},     // no effect
        {13, 13, 0x40, 0x40, 0x4003},     // C40 break to row
        {14, 14, 0x00, 0x00, 0x0013},     // S00
        {14, 14, 0x05, 0x05, 0x0513},     // S05
        {14, 14, 0x10, 0x2F, 0x0000},     // sub-commands 1 and 2: none
        {14, 14, 0x3A, 0x3A, 0x1A13},     // S1A glissando control
        {14, 14, 0x40, 0x40, 0x3013},     // S30 vibrato waveform
        {14, 14, 0x4F, 0x4F, 0x3F13},
        {14, 14, 0x50, 0x5F, 0x0000},     // sub-command 5: none
        {14, 14, 0x6F, 0x6F, 0xBF13},     // SBF pattern loop
        {14, 14, 0x72, 0x72, 0x4213},     // S42 tremolo waveform
        {14, 14, 0x81, 0x81, 0x8113},     // S81 pan position
        {14, 14, 0x90, 0xAF, 0x0000},     // sub-commands 9 and A: none
        {14, 14, 0xB3, 0xB3, 0xA313},     // SA3 high sample offset
        {14, 14, 0xC4, 0xC4, 0xC413},     // SC4 note cut
        {14, 14, 0xD2, 0xD2, 0xD213},     // SD2 note delay
        {14, 14, 0xE7, 0xE7, 0xE713},     // SE7 pattern delay
        {14, 14, 0xF0, 0xF0, 0xF013},     // SF0 active macro
        {15, 15, 0x00, 0x00, 0x0001},     // A00 set speed
        {15, 15, 0x1F, 0x1F, 0x1F01},
        {15, 15, 0x20, 0x20, 0x2001},     // A20: 32 is still a speed
        {15, 15, 0x21, 0x21, 0x2114},     // T21: 33 is a tempo
        {15, 15, 0xFF, 0xFF, 0xFF14},
        {16, 19, 0x00, 0xFF, 0x0000},     // no effect
        {20, 20, 0x00, 0x00, 0x0014},     // T00: set tempo, no threshold
        {20, 20, 0x10, 0x10, 0x1014},
        {20, 20, 0x7D, 0x7D, 0x7D14},
        {20, 20, 0xFF, 0xFF, 0xFF14},
        {21, 255, 0x00, 0xFF, 0x0000},    // no effect
    };
    for (auto& c : cases) {
        for (unsigned type = c.type; type <= c.typeto; type++) {
            for (unsigned param = c.param; param <= c.paramto; param++) {
                EXPECT_EQ(kzmtoiteffect((uint8_t)type, (uint8_t)param), c.expect)
                    << "type " << type << " param 0x" << std::hex << param;
            }
        }
    }
}
