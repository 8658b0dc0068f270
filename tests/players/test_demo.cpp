// The converted demo song sounds: libopenmpt and libxmp render audio that is not silent in any of its first seconds.
#include "modules.h"
#include "players.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

const int RATE = 44100;
const int SECONDS = 3;

// Root mean square of one second of interleaved stereo, full scale 1.0.
double rms(const std::vector<float>& v)
{
    double sum = 0;
    for (float s : v)
        sum += (double)s * s;
    return std::sqrt(sum / v.size());
}

kzbytes demoit()
{
    return kzp_convert(kzp_module_named("demo").kzm);
}

}  // namespace

// Every second of the first three holds notes at volumes of 36 to 127 of 128; a level above 0.01 of full
// scale is far above any rounding noise and far below what those notes give.
TEST(Demo, LibOpenMPTRendersSound)
{
    kzbytes it = demoit();
    ASSERT_FALSE(it.empty());
    kzp_mpt mpt(it);
    ASSERT_NE(mpt.mod, nullptr);
    for (int s = 0; s < SECONDS; s++) {
        std::vector<float> second(2 * RATE);
        ASSERT_EQ(openmpt_module_read_interleaved_float_stereo(mpt.mod, RATE, RATE, second.data()), (size_t)RATE);
        EXPECT_GT(rms(second), 0.01) << "second " << s;
    }
}

TEST(Demo, LibXmpRendersSound)
{
    kzbytes it = demoit();
    ASSERT_FALSE(it.empty());
    kzp_xmpmod x(it);
    ASSERT_TRUE(x.loaded);
    ASSERT_EQ(xmp_start_player(x.ctx, RATE, 0), 0);
    for (int s = 0; s < SECONDS; s++) {
        std::vector<int16_t> pcm(2 * RATE);
        ASSERT_EQ(xmp_play_buffer(x.ctx, pcm.data(), (int)(pcm.size() * sizeof pcm[0]), 0), 0);
        std::vector<float> second(pcm.begin(), pcm.end());
        for (float& f : second)
            f /= 32768;
        EXPECT_GT(rms(second), 0.01) << "second " << s;
    }
    xmp_end_player(x.ctx);
}
