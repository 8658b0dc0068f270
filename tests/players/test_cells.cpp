// Every cell of the checked patterns, as libopenmpt's pattern queries and libxmp's events show it, is what the source rows held.
#include "modules.h"
#include "players.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <utility>

namespace {

class Cells : public testing::TestWithParam<std::string> {
protected:
    const kzp_module& m = kzp_module_named(GetParam());
    kzbytes it = kzp_convert(m.kzm);
};

// What must stand at each (row, channel) of a pattern's checked rows; EMPTY wherever no entry says otherwise.
std::map<std::pair<int, int>, kzp_cell> wanted(const kzp_pattern& p, int channels)
{
    std::map<std::pair<int, int>, kzp_cell> cells;
    std::vector<int> rows = p.checkrows;
    if (rows.empty())
        for (int r = 0; r <= p.lastrow; r++)
            rows.push_back(r);
    for (int r : rows)
        for (int c = 0; c < channels; c++)
            cells[{r, c}] = kzp_cell();
    for (const kzp_entry& e : p.entries)
        cells[{e.row, e.channel}] = e.want;
    return cells;
}

int highestchannel(const kzp_module& m)
{
    int c = 0;
    for (const kzp_pattern& p : m.checked)
        for (const kzp_entry& e : p.entries)
            c = std::max(c, e.channel);
    return c;
}

// libopenmpt numbers notes from 1 (IT note n is n + 1), shows IT note 255 as 255 (note off), 254 as 254
// (note cut), 120..252 as 253 (note fade) and IT note 253 as no note.
int mptnote(int itnote)
{
    if (itnote == NONE || itnote == 253)
        return 0;
    if (itnote < 120)
        return itnote + 1;
    if (itnote >= 254)
        return itnote;
    return 253;
}

// libopenmpt's own numbers for the IT commands that our files hold.
int mpteffect(char cmd)
{
    static const std::map<char, int> numbers = {
        {0, 0},    {'A', 16}, {'B', 12}, {'C', 14}, {'D', 11}, {'E', 3},  {'F', 2}, {'G', 4},
        {'H', 5},  {'K', 7},  {'L', 6},  {'O', 10}, {'R', 8},  {'S', 20}, {'T', 17}, {'X', 9},
    };
    auto n = numbers.find(cmd);
    return n == numbers.end() ? -1 : n->second;
}

// libxmp numbers notes from 1 too; IT note off, note cut and note fade become its own key events.
int xmpnote(int itnote)
{
    if (itnote == NONE)
        return 0;
    if (itnote < 120)
        return itnote + 1;
    return itnote == 255 ? XMP_KEY_OFF : itnote == 254 ? XMP_KEY_CUT : XMP_KEY_FADE;
}

}  // namespace

// Note, instrument, volume column (command 1: volume) and effect, in libopenmpt's numbering, and the effect's
// IT letter as libopenmpt formats it.
TEST_P(Cells, LibOpenMPT)
{
    ASSERT_FALSE(it.empty());
    kzp_mpt mpt(it);
    ASSERT_NE(mpt.mod, nullptr);
    int channels = openmpt_module_get_num_channels(mpt.mod);
    ASSERT_GT(channels, highestchannel(m));
    for (const kzp_pattern& p : m.checked) {
        ASSERT_EQ(openmpt_module_get_pattern_num_rows(mpt.mod, p.number), p.lastrow + 1) << "pattern " << (int)p.number;
        for (auto& [pos, want] : wanted(p, channels)) {
            int row = pos.first, ch = pos.second;
            auto get = [&](int what) { return (int)openmpt_module_get_pattern_row_channel_command(mpt.mod, p.number, row, ch, what); };
            const char* letter = openmpt_module_format_pattern_row_channel_command(mpt.mod, p.number, row, ch,
                                                                                   OPENMPT_MODULE_COMMAND_EFFECT);
            std::string shown = letter ? letter : "";
            openmpt_free_string(letter);
            std::string where = "pattern " + std::to_string(p.number) + " row " + std::to_string(row) + " channel " +
                                std::to_string(ch);
            EXPECT_EQ(get(OPENMPT_MODULE_COMMAND_NOTE), mptnote(want.note)) << where;
            EXPECT_EQ(get(OPENMPT_MODULE_COMMAND_INSTRUMENT), want.ins == NONE ? 0 : want.ins) << where;
            EXPECT_EQ(get(OPENMPT_MODULE_COMMAND_VOLUMEEFFECT), want.vol == NONE ? 0 : 1) << where;
            EXPECT_EQ(get(OPENMPT_MODULE_COMMAND_VOLUME), want.vol == NONE ? 0 : want.vol) << where;
            EXPECT_EQ(get(OPENMPT_MODULE_COMMAND_EFFECT), mpteffect(want.cmd)) << where;
            EXPECT_EQ(get(OPENMPT_MODULE_COMMAND_PARAMETER), want.val) << where;
            EXPECT_EQ(shown, want.cmd ? std::string(1, want.cmd) : ".") << where;
        }
    }
}

// Note, instrument and volume as libxmp's events hold them: volume 0..64 as 1..65, 0 for none.
TEST_P(Cells, LibXmp)
{
    ASSERT_FALSE(it.empty());
    kzp_xmpmod x(it);
    ASSERT_TRUE(x.loaded);
    ASSERT_GT(x.mod->chn, highestchannel(m));
    for (const kzp_pattern& p : m.checked) {
        const xmp_pattern* xp = x.mod->xxp[p.number];
        ASSERT_EQ(xp->rows, p.lastrow + 1) << "pattern " << (int)p.number;
        for (auto& [pos, want] : wanted(p, x.mod->chn)) {
            int row = pos.first, ch = pos.second;
            const xmp_event& e = x.mod->xxt[xp->index[ch]]->event[row];
            std::string where = "pattern " + std::to_string(p.number) + " row " + std::to_string(row) + " channel " +
                                std::to_string(ch);
            EXPECT_EQ(e.note, xmpnote(want.note)) << where;
            EXPECT_EQ(e.ins, want.ins == NONE ? 0 : want.ins) << where;
            EXPECT_EQ(e.vol, want.vol == NONE ? 0 : want.vol + 1) << where;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, Cells, testing::ValuesIn(kzp_module_names()),
                         [](const testing::TestParamInfo<std::string>& p) { return p.param; });
