// The program as a user meets it: the dialogue, the files it leaves and its exit status.
#include "kzbuild.h"
#include "kzrun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

kzbytes onesong()
{
    kzb_song song;
    song.title = "user test";
    song.orders = {0};
    return kzb_container(kzb_songheader(song));
}

const std::string EXTRACTING = "Extracting and converting...\n";
const std::string SAVED = "Saving to Impulse Tracker file...\tDONE";

}  // namespace

TEST(Program, Dialogue)
{
    const std::string longname(256, 'n');
    const std::string maxname(255, 'n');
    struct {
        const char* what;
        std::vector<std::string> kzm;       // files to lay down before the run
        std::vector<std::string> dirs;      // directories to make before the run
        std::string input;
        std::string after;                  // expected output after the banner and prompt
        std::vector<std::string> present;   // files or directories there afterwards
        std::vector<std::string> absent;
    } cases[] = {
        {"success", {"song.kzm"}, {}, "song\n", EXTRACTING + SAVED, {"song.it"}, {"temp.emx"}},
        {"path into a folder", {"music/song.kzm"}, {"music"}, "music/song\n", EXTRACTING + SAVED,
         {"music/song.it"}, {"temp.emx", "music/temp.emx", "song.it"}},
        {"blanks and tabs before the name", {"song.kzm"}, {}, " \t\n  song\n", EXTRACTING + SAVED, {"song.it"}, {}},
        {"two words: the first is the name", {"my.kzm", "song.kzm"}, {}, "my song\n", EXTRACTING + SAVED,
         {"my.it"}, {"song.it", "my song.it"}},
        {"no newline before end of input", {"song.kzm"}, {}, "song", EXTRACTING + SAVED, {"song.it"}, {}},
        {"missing input", {}, {}, "missing\n",
         EXTRACTING + "Error: can't open KZM file!\nmissing.kzm decompression failed!\nPress Enter\n", {},
         {"temp.emx", "missing.it"}},
        {"input is a folder", {}, {"dir.kzm"}, "dir\n", EXTRACTING + "dir.kzm decompression failed!\nPress Enter\n",
         {}, {"dir.it"}},
        {"name too long", {}, {}, longname + "\n", "Error: file name too long!\nPress Enter\n", {}, {"temp.emx"}},
        {"longest name is taken", {}, {}, maxname + "\n",
         EXTRACTING + "Error: can't open KZM file!\n" + maxname + ".kzm decompression failed!\nPress Enter\n", {}, {}},
        {"end of input at the prompt", {}, {}, "", "", {}, {"temp.emx"}},
        {"only blanks before end of input", {}, {}, "  \n\t", "", {}, {"temp.emx"}},
        {"output cannot be written", {"song.kzm"}, {"song.it"}, "song\n",
         EXTRACTING + "Saving to Impulse Tracker file...\tError: can't write IT file!\nPress Enter\n", {"song.it"},
         {"temp.emx"}},
    };
    for (auto& c : cases) {
        std::string dir = kzr_scratch();
        for (auto& d : c.dirs)
            std::filesystem::create_directories(dir + "/" + d);
        for (auto& k : c.kzm)
            kzb_writefile(dir + "/" + k, onesong());
        kzr_result r = kzr_run(dir, c.input);
        EXPECT_EQ(r.out, KZR_BANNER + c.after) << c.what;
        EXPECT_EQ(r.status, 0) << c.what;
        for (auto& p : c.present)
            EXPECT_TRUE(kzr_exists(dir + "/" + p)) << c.what << ": " << p;
        for (auto& p : c.absent)
            EXPECT_FALSE(kzr_exists(dir + "/" + p)) << c.what << ": " << p;
        kzr_cleanup(dir);
    }
}

TEST(Program, BadStreamsEndInDecompressionFailure)
{
    kzbytes good = onesong();
    kzbytes cut(good.begin(), good.end() - 6);
    kzbytes badsum = good;
    badsum.back() ^= 0x01;
    struct {
        const char* what;
        kzbytes file;
    } cases[] = {
        {"shorter than the header", kzbytes(10, 0)},
        {"header only", kzbytes(24, 0)},
        {"cut stream", cut},
        {"wrong Adler-32", badsum},
    };
    for (auto& c : cases) {
        std::string dir = kzr_scratch();
        kzb_writefile(dir + "/bad.kzm", c.file);
        kzr_result r = kzr_run(dir, "bad\n");
        EXPECT_EQ(r.out, KZR_BANNER + EXTRACTING + "bad.kzm decompression failed!\nPress Enter\n") << c.what;
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_FALSE(kzr_exists(dir + "/bad.it")) << c.what;
        kzr_cleanup(dir);
    }
}

TEST(Program, WrittenFileCarriesTheSongHeader)
{
    std::string dir = kzr_scratch();
    kzb_writefile(dir + "/song.kzm", onesong());
    ASSERT_EQ(kzr_run(dir, "song\n").out, KZR_BANNER + EXTRACTING + SAVED);
    kzbytes it = kzb_readfile(dir + "/song.it");
    ASSERT_GE(it.size(), 194u);
    EXPECT_EQ(std::string(it.begin(), it.begin() + 13), std::string("IMPMuser test"));
    EXPECT_EQ(it[32], 2);    // OrdNum: one order and the closing 255
    EXPECT_EQ(it[192], 0);   // the order
    EXPECT_EQ(it[193], 255);
    kzr_cleanup(dir);
}
