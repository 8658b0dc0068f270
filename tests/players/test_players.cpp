// The IT files we write, as libopenmpt, libxmp and libmikmod read them: rows, samples, cells, length, sound.
#include "kztest.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>
#include <mikmod.h>
#include <xmp.h>

#include <algorithm>
#include <cmath>

static void say(std::string& s, double value) { s += " " + std::to_string(lround(value)); }

// The rows of each pattern, the first three cells of pattern 0, the song's length in 1/100 s and
// how many 1/100 s of its first three seconds are not silent.
static std::string openmpt(const kzbytes& it)
{
    auto mod = openmpt_module_create_from_memory2(it.data(), it.size(), 0, 0, 0, 0, 0, 0, 0);
    std::string s = mod ? "" : "refused";
    for (int p = 0; mod && p < openmpt_module_get_num_patterns(mod); p++)
        say(s, openmpt_module_get_pattern_num_rows(mod, p));
    for (int c = 0; mod && c < 3; c++) {
        const char* cell = openmpt_module_format_pattern_row_channel(mod, 0, 0, c, 0, 1);
        s += " [" + std::string(cell) + "]", openmpt_free_string(cell);
    }
    float pcm[441];
    int sounding = 0;
    for (int t = 0; mod && t < 300 && openmpt_module_read_float_mono(mod, 44100, 441, pcm); t++)
        sounding += std::any_of(pcm, pcm + 441, [](float x) { return std::abs(x) > 0.01; });
    if (mod)
        say(s, openmpt_module_get_duration_seconds(mod) * 100), say(s, sounding);
    return mod ? (openmpt_module_destroy(mod), s) : s;
}

// The rows of each pattern, the frames of each sample and the song's length in 1/100 s.
static std::string xmp(const kzbytes& it)
{
    xmp_context ctx = xmp_create_context();
    xmp_module_info info;
    std::string s = "refused";
    if (xmp_load_module_from_memory(ctx, it.data(), (long)it.size()) == 0) {
        xmp_get_module_info(ctx, &info), s = "";
        for (int p = 0; p < info.mod->pat; p++)
            say(s, info.mod->xxp[p]->rows);
        for (int i = 0; i < info.mod->smp; i++)
            say(s, info.mod->xxs[i].len);
        say(s, info.seq_data[0].duration / 10.0), xmp_release_module(ctx);
    }
    return xmp_free_context(ctx), s;
}

// The rows of each pattern and the frames of each sample.
static std::string mikmod(const kzbytes& it)
{
    static int no = (MikMod_RegisterDriver(&drv_nos), MikMod_RegisterAllLoaders(), MikMod_Init(""));
    MODULE* mod = no ? nullptr : Player_LoadMem((const char*)it.data(), (int)it.size(), 64, 0);
    std::string s = mod ? "" : "refused";
    for (int p = 0; mod && p < mod->numpat; p++)
        say(s, mod->pattrows[p]);
    for (int i = 0; mod && i < mod->numsmp; i++)
        say(s, mod->samples[i].length);
    return mod ? (Player_Free(mod), s) : s;
}

// The demo; then patterns stored 2, 0, 1: 2 has no row data and 16 rows, 0 has notes without an
// instrument and data for 4 rows of 8. Slots 0 and 2: a silent sample and an empty one. Orders 2, 0,
// 1 play 28 rows of 0.12 s.
TEST(Players, LoadWhatWeWrite)
{
    // Channel 0: note 0, instrument 0; channel 1: note 0x31, instrument 0, volume 0x40; channel 2: note
    // 0x3D, instrument 1; then the end of row 0 and of the three rows after it.
    kzbytes notes = {0x40, 0, 0, 0x61, 0, 0x31, 0x40, 0x42, 1, 0x3D, 0, 0, 0, 0};
    kzbytes edge = kzb_cat({kzb_songheader("", 4, 6, 125, {}, {2, 0, 1}), kzb_pattern(2, 15, {}),
                            kzb_pattern(0, 7, notes), kzb_pattern(1, 3, kzbytes(4)),
                            kzb_instrument(0), kzb_instrument(2),
                            kzb_samplechunk("", 0, 128, 0x80, -1, 0, 0, 0, kzbytes(100)),
                            kzb_samplechunk("", 0, 128, 0x80, -1, 0, 0, 0, {})});
    const std::vector<std::string> want[] = {
        {" 32 32 32 32 [E-5 01v37 ...] [C-3 02v3C A06] [C-5 05v3F T7D] 1872 300",
         " 32 32 32 32 2048 4096 8192 3000 4400 1872", " 32 32 32 32 2048 4096 8192 3000 4400"},
        {" 8 4 16 [=== .. .. ...] [C-4 ..v20 ...] [C-5 01 .. ...] 336 0", " 8 4 16 100 0 0 336",
         " 8 4 16 100 0 0"},
    };
    const kzbytes it[] = {kzt_convert(kzb_readfile(KZM_DEMO)), kzt_convert(kzb_container(edge))};
    for (int m = 0; m < 2; m++)
        EXPECT_EQ(std::vector<std::string>({openmpt(it[m]), xmp(it[m]), mikmod(it[m])}), want[m]);
}
