// Each converted module loads in libopenmpt, libxmp and libmikmod with the orders, patterns and samples of its source.
#include "modules.h"
#include "players.h"

#include <gtest/gtest.h>
#include <mikmod.h>

namespace {

class Load : public testing::TestWithParam<std::string> {
protected:
    const kzp_module& m = kzp_module_named(GetParam());
    kzbytes it = kzp_convert(m.kzm);
};

void expectsamples(const kzp_view& v, const kzp_module& m, bool details)
{
    ASSERT_EQ(v.smp.size(), m.samples.size());
    for (size_t i = 0; i < m.samples.size(); i++) {
        const kzp_samplewant& want = m.samples[i];
        const kzp_sample& got = v.smp[i];
        EXPECT_EQ(got.name, want.name) << "sample " << i;
        if (!details)
            continue;
        EXPECT_EQ(got.frames, want.frames) << "sample " << i;
        EXPECT_EQ(got.wide, want.wide) << "sample " << i;
        EXPECT_EQ(got.loop, want.loop) << "sample " << i;
        EXPECT_EQ(got.pingpong, want.pingpong) << "sample " << i;
        EXPECT_EQ(got.loopbegin, want.loopbegin) << "sample " << i;
        EXPECT_EQ(got.loopend, want.loopend) << "sample " << i;
    }
}

void expectsong(const kzp_view& v, const kzp_module& m)
{
    EXPECT_EQ(v.title, m.title);
    EXPECT_EQ(v.speed, m.speed);
    EXPECT_EQ(v.tempo, m.tempo);
    EXPECT_EQ(v.rows, m.rows) << "rows of each pattern; their count is the pattern count";
    EXPECT_EQ(v.samples, (int)m.samples.size());
}

}  // namespace

// libopenmpt: the order list without the closing 255; sample names only (its C API has no sample details).
TEST_P(Load, LibOpenMPT)
{
    ASSERT_FALSE(it.empty());
    kzp_view v = kzp_openmpt(it);
    ASSERT_TRUE(v.loaded) << v.error;
    EXPECT_EQ(v.log, "") << "libopenmpt had something to say about the file";
    EXPECT_EQ(v.orders, m.orders);
    expectsong(v, m);
    expectsamples(v, m, false);
}

// libxmp: the order list with the closing 255 counted as one more order.
TEST_P(Load, LibXmp)
{
    ASSERT_FALSE(it.empty());
    kzp_view v = kzp_xmp(it);
    ASSERT_TRUE(v.loaded) << v.error;
    std::vector<int> orders = m.orders;
    orders.push_back(255);
    EXPECT_EQ(v.orders, orders);
    expectsong(v, m);
    expectsamples(v, m, true);
}

// libmikmod: the order list without the closing 255. It refuses, as a failure to load a pattern, a module
// with a pattern whose packed data ends before the pattern's Rows, or with an instrument byte outside 1..99.
TEST_P(Load, LibMikMod)
{
    ASSERT_FALSE(it.empty());
    kzp_view v = kzp_mikmod(it);
    if (!m.mikmodloads) {
        EXPECT_FALSE(v.loaded);
        EXPECT_EQ(kzp_mikmod_errno(), MMERR_LOADING_PATTERN) << v.error;
        return;
    }
    ASSERT_TRUE(v.loaded) << v.error;
    EXPECT_EQ(v.orders, m.orders);
    expectsong(v, m);
    expectsamples(v, m, true);
}

INSTANTIATE_TEST_SUITE_P(Modules, Load, testing::ValuesIn(kzp_module_names()),
                         [](const testing::TestParamInfo<std::string>& p) { return p.param; });

class Duration : public Load {};

// The duration that the orders, rows, speed and tempo imply, within 5%, as libopenmpt and libxmp work it out.
TEST_P(Duration, LibOpenMPTAndLibXmp)
{
    ASSERT_GT(m.seconds, 0);
    ASSERT_FALSE(it.empty());
    kzp_view mpt = kzp_openmpt(it);
    ASSERT_TRUE(mpt.loaded) << mpt.error;
    EXPECT_NEAR(mpt.seconds, m.seconds, m.seconds * 0.05) << "libopenmpt";
    kzp_view xmp = kzp_xmp(it);
    ASSERT_TRUE(xmp.loaded) << xmp.error;
    EXPECT_NEAR(xmp.seconds, m.seconds, m.seconds * 0.05) << "libxmp";
}

INSTANTIATE_TEST_SUITE_P(Modules, Duration, testing::ValuesIn(kzp_timed_module_names()),
                         [](const testing::TestParamInfo<std::string>& p) { return p.param; });
