// The program as a user meets it, the whole IT file it writes, and what it makes of damaged modules.
#include "kzmscan.h"
#include "kztest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>
#include <sys/stat.h>

namespace fs = std::filesystem;

// Runs a shell command and returns what it printed, CR LF read as LF, and its exit status.
static std::pair<std::string, int> shell(const std::string& cmd)
{
    FILE* out = popen(cmd.c_str(), "r");
    std::string said;
    for (int c = fgetc(out); c != EOF; c = fgetc(out))
        said += c == '\r' ? "" : std::string(1, (char)c);
    int status = pclose(out);
    return {said, WEXITSTATUS(status)};
}

// Runs the program in dir with the arguments (shell words) and the typed input, after the shell
// commands in before: the native build, or the command line in KZM2IT_CMD (such as "node
// kzm2it.js"), with TMPDIR naming dir.tmp. A line typed and then Enter is a console, whose input
// stays open afterwards; a program still waiting 30 s later is stopped. Returns the standard output
// and error, CR LF read as LF and \ as /, and the exit status.
static std::tuple<std::string, std::string, int> run(const std::string& dir, const std::string& args,
                                                     const std::string& typed, const std::string& before)
{
    bool hold = typed.size() > 1 && typed.substr(typed.size() - 2) == "\n\n";
    const char* other = getenv("KZM2IT_CMD");
    std::string in = dir + ".in", out = dir + ".out", err = dir + ".err";
    std::string cmd = "cd '" + dir + "' && umask 027 && " + before + " LC_ALL=C.UTF-8 timeout -sKILL 30 ";
    cmd += "env TMPDIR='" + dir + ".tmp' " + (other ? other : std::string("'" KZM2IT_BIN "'")) + " ";
    cmd += args;
    int fd = hold && !mkfifo(in.c_str(), 0600) ? open(in.c_str(), O_RDWR) : -1;
    if (fd < 0 || write(fd, typed.data(), typed.size()) < 0)
        kzb_writefile(in, kzbytes(typed.begin(), typed.end()));
    int status = system((cmd + " <" + in + " >" + out + " 2>" + err).c_str());
    std::string said[2];
    for (int k = 0; k < 2; k++) {
        for (char c : kzb_readfile(k ? err : out))
            said[k] += c == '\r' ? "" : std::string(1, c == '\\' ? '/' : c);
    }
    close(fd);
    remove(in.c_str());
    remove(out.c_str());
    remove(err.c_str());
    return {said[0], said[1], WEXITSTATUS(status)};
}

// A chunk with one byte of its tag or form changed, which no reader may take for a chunk.
static kzbytes decoy(kzbytes chunk, size_t at)
{
    chunk[at] = 'X';
    return chunk;
}

// Patterns 1, 200 (past the records) and 0 (no row data). Instruments for slots 1, 0, 3, 3 and 2;
// the three samples go to the first three, so that slot 2 has none. Pans 0, 0x80, 0xFF, 1, 0x41.
// Then a decoy of each kind of chunk.
static const kzbytes MODULE = kzb_cat({
    kzb_songheader("A title longer than 26 bytes", 4, 5, 140, {0, 0x80, 0xFF, 1, 0x41}, {1, 0, 1}),
    kzb_pattern(1, 1, {0xE2, 0x02, 0x01, 0x00, 0x31, 0x40, 0x00, 0x42, 0x07, 0x31, 0x00}),
    kzb_pattern(200, 0, {0x21, 0x10, 0x00}), kzb_pattern(0, 3, {}),
    kzb_instrument(1, 2, 0x10, 0x0120, 0x0400, "one"), kzb_instrument(0, 4, 0x01, 5, 0x1000),
    kzb_instrument(3, 1, 0x3F, 9, 0x0090), kzb_instrument(3, 7, 0x40, 0, 0x0010),
    kzb_instrument(2, 3, 0x20, 0x0033, 0x0200),
    kzb_samplechunk("a name of 28 characters, cut", 0x80, 255, 0xBC, -1, 1, 3, 22050,
                     {1, 2, 3, 4, 5, 6, 7, 8}),
    kzb_samplechunk("short", 0x40, 128, 0x88, -1, 0, 5, 0x12345678, {9, 10, 11, 12, 13}),
    kzb_samplechunk("", 0xFF, 0x81, 0x90, -1, 0, 0, 8363, {14, 15, 16}),
    decoy(kzb_pattern(1, 0, {0x00}), 3), decoy(kzb_instrument(0, 1, 1, 1, 1), 15),
    decoy(kzb_samplechunk("", 0, 64, 0x80, -1, 0, 0, 8363, {1}), 3),
});

// Sample header: flags, volume, name, pan, Length in frames, loop, C5 speed, data offset, vibrato.
static kzbytes imps(uint8_t flg, uint8_t vol, const char* name, uint8_t dfp, uint32_t frames,
                    uint32_t begin, uint32_t end, uint32_t c5, uint32_t pointer, kzbytes vibrato)
{
    return kzb_cat({kzb_text("IMPS", 17), {64, flg, vol}, kzb_text(name, 26), {1, dfp},
                    kzb_le32(frames), kzb_le32(begin), kzb_le32(end), kzb_le32(c5),
                    kzbytes(8), kzb_le32(pointer), vibrato});
}

// Highlight 4/16; 4 orders (3 and the end), no instruments, 4 samples, 2 patterns; versions 2.17
// and 2.00, flags 9, special 6; volumes 128 and 100, speed 5, tempo 140, separation 128; five pans.
static const kzbytes MODULE_IT = kzb_cat({
    kzb_text("IMPMA title longer than 26 byt", 30), {4, 16, 4, 0, 0, 0, 4, 0, 2, 0},
    {0x17, 2, 0, 2, 9, 0, 6, 0, 128, 100, 5, 140, 128, 0}, kzbytes(10),
    {0, 64, 64, 0, 32}, kzbytes(59, 255), kzbytes(64, 64), {1, 0, 1, 255},
    // Offsets of the four sample headers and the two patterns.
    kzb_le32(220), kzb_le32(300), kzb_le32(380), kzb_le32(460), kzb_le32(540), kzb_le32(552),
    imps(0x11, 64, "short", 0x20, 5, 0, 5, 0x12345678, 572, {0, 5, 4, 3}),
    imps(0x53, 127, "a name of 28 characters, c", 0xC0, 4, 1, 3, 22050, 577, {0x40, 0x20, 0x40, 4}),
    // Slot 2: no sample, the vibrato of the last instrument; slot 3 keeps waveform 2 past code 7.
    kzb_text("IMPS", 72), kzb_le32(585), {0x20, 0x33, 0x80, 1},
    imps(0x01, 64, "", 0, 3, 0, 0, 8363, 585, {1, 0, 0, 2}),
    // Pattern 0: four empty rows; pattern 1; the data of samples 0, 1 and 3.
    {4, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12, 0, 2, 0, 0, 0, 0, 0},
    {0x83, 0x0D, 0x30, 0x20, 0x06, 0x02, 0x00, 0x83, 0x03, 0x30, 0x07, 0x00},
    {9, 10, 11, 12, 13, 1, 2, 3, 4, 5, 6, 7, 8, 14, 15, 16},
});

using files = std::vector<std::pair<std::string, kzbytes>>;

// Lays the files given ("name/" is a folder) in a folder of its own, runs the program there with
// umask 027 and returns what it said and every file and folder left. A file that the output
// announces with "-> name", or that was not given, must be the module's IT file with mode 0640, or
// a work file holding all of the module or nothing; every other file is as it was given; nothing is
// left in dir.tmp.
static std::tuple<std::string, std::string, int, std::string> runin(const files& given,
    const std::string& args, const std::string& typed, const std::string& before = "")
{
    std::string dir = fs::temp_directory_path() / kzt_file(""), left;
    fs::create_directories(dir + ".tmp");
    fs::create_directories(dir);
    std::map<std::string, kzbytes> laid;
    for (auto& [name, kzm] : given) {
        if (name.back() == '/')
            fs::create_directories(dir + "/" + name);
        else
            kzb_writefile(dir + "/" + name, laid[name] = kzm);
    }
    auto [out, err, status] = run(dir, args, typed, before);
    std::set<std::string> found;
    for (auto& f : fs::recursive_directory_iterator(dir))
        found.insert(f.path().lexically_relative(dir).string());
    for (auto& f : found) {
        left += (left.empty() ? "" : " ") + f;
        if (fs::is_directory(dir + "/" + f))
            continue;
        kzbytes b = kzb_readfile(dir + "/" + f);
        std::string ext = fs::path(f).extension();
        bool fresh = !laid.count(f) || out.find("-> " + f + "\n") != std::string::npos;
        auto mode = fs::status(dir + "/" + f).permissions() & fs::perms::all;
        bool fits = ext == ".it" ? b == MODULE_IT && mode == (fs::perms)0640
                                 : ext == ".emx" && (b.empty() || b == MODULE);
        EXPECT_TRUE(fresh ? fits : b == laid[f]) << f;
    }
    EXPECT_TRUE(fs::is_empty(dir + ".tmp"));
    fs::remove_all(dir);
    fs::remove_all(dir + ".tmp");
    return {out, err, status, left};
}

// No arguments: the dialogue. KZM files given: the module above, with another container header and
// bytes after its stream; followed by 64 KiB of noise without a tag and deflated by the program's
// own deflater, several of its blocks in and out; cut to 24 bytes; cut before its checksum.
TEST(Program, Dialogue)
{
    kzbytes good = kzb_container(MODULE), other = kzb_cat({good, {1, 2}}), trunc = good;
    std::fill_n(other.begin(), 24, 0xA5);
    trunc.resize(trunc.size() - 4);
    kzbytes noisy = MODULE;
    uint32_t x = 7;
    for (int i = 0; i < 65536; i++)
        noisy.push_back((uint8_t)((x = x * 1664525 + 1013904223) >> 24));
    FILE* work = fopen(kzt_work(noisy).c_str(), "rb");
    FILE* out = fopen(kzt_file(".def").c_str(), "wb");
    fwrite(good.data(), 1, 24, out);
    def(work, out, 9);
    fclose(work);
    fclose(out);
    const kzbytes deflated = kzb_readfile(kzt_file(".def"));
    const std::string banner =
        "[KZM to Impulse Tracker converter]\n[====== v0.3 build 100206 =======]\n"
        "[==== KZM to IT, sample mode ====]\n[====== inflates with zlib ======]\n"
        "[=== 99 samples, 199 patterns ===]\n[==== name without extension ====]\n"
        "[KZM to Impulse Tracker converter]\n\nEnter path and filename without kzm extension: ";
    const std::string go = "Extracting and converting...\n";
    const std::string save = "Saving to Impulse Tracker file...\t", done = go + save + "DONE";
    const std::string n255(255, 'n'), bad = " decompression failed!\nPress Enter\n";
    const std::string missing = "Error: can't open KZM file!\n";
    const std::string unwritable = "Error: can't write IT file!\nPress Enter\n";
    const struct { files given; std::string typed, said, left; } cases[] = {
        {{{"m/", {}}, {"m/song.kzm", good}}, "m/song\n\n", done, "m m/song.it m/song.kzm"},
        {{{"my.kzm", good}, {"song.kzm", good}}, "\t\n my song\n\n", done, "my.it my.kzm song.kzm"},
        {{{"other.kzm", other}}, "other", done, "other.it other.kzm"},
        {{{"def.kzm", deflated}}, "def\n\n", done, "def.it def.kzm"},
        {{}, "gone\n\n", go + missing + "gone.kzm" + bad, ""},
        {{{"cut.kzm", kzbytes(24)}}, "cut\n\n", go + "cut.kzm" + bad, "cut.kzm temp.emx"},
        {{{"trunc.kzm", trunc}}, "trunc\n\n", go + "trunc.kzm" + bad, "temp.emx trunc.kzm"},
        {{{"dir.kzm/", {}}}, "dir\n\n", go + "dir.kzm" + bad, "dir.kzm temp.emx"},
        {{{"song.kzm", good}, {"song.it/", {}}}, "song\n\n", go + save + unwritable,
         "song.it song.kzm"},
        {{}, n255 + "n\n\n", "Error: file name too long!\nPress Enter\n", ""},
        {{}, n255 + "\n\n", go + missing + n255 + ".kzm" + bad, ""},
        {{}, " \n\t", "", ""},
    };
    for (auto& c : cases)
        EXPECT_EQ(runin(c.given, "", c.typed), std::make_tuple(banner + c.said, "", 0, c.left)) << c.typed;
}

// Command lines. KZM files given: the module above, cut before its checksum, a stream that inflates
// past the largest work file, and a module of 199 patterns of 256 empty rows, whose IT file (53 KB)
// is larger than its work file (3 KB), written where files stop at 20 to 40 KB.
TEST(Program, CommandLine)
{
    const kzbytes good = kzb_container(MODULE), old = {'o', 'l', 'd'};
    const kzbytes trunc(good.begin(), good.end() - 4), bomb = kzb_zeros(1025);
    kzbytes rows = kzb_songheader("", 1, 6, 125, {}, {0});
    for (int p = 0; p < 199; p++)
        kzb_append(rows, kzb_pattern((uint8_t)p, 255, {}));
    const std::string damaged = ": not a KZM file, or its data is damaged or cut short\n";
    const std::string clash = " would replace a file of this run\n";
    const std::string hint = "; try 'kzm2it --help'\n";
    const struct {
        files given;
        std::string args, out, err;
        int status;
        std::string left, before = "";   // shell commands run first
    } cases[] = {
        {{{"song.kzm", good}, {"song.it", old}}, "song.kzm", "song.kzm -> song.it\n", "", 0,
         "song.it song.kzm"},
        {{{"song.kzm", good}, {"temp.emx/", {}}}, "song", "song.kzm -> song.it\n", "", 0,
         "song.it song.kzm temp.emx"},
        {{{"m/", {}}, {"m/b.kzm", good}, {"m/A.KZM", good}, {"m/.kzm", good}, {"m/c.kzm/", {}},
          {"m/x.kzx", old}}, "m", "m/.kzm -> m/.kzm.it\nm/A.KZM -> m/A.it\nm/b.kzm -> m/b.it\n", "", 0,
         "m m/.kzm m/.kzm.it m/A.KZM m/A.it m/b.it m/b.kzm m/c.kzm m/x.kzx"},
        {{{"a.kzm", good}, {"b.kzm", good}}, "- a.kzm gone b", "a.kzm -> a.it\nb.kzm -> b.it\n",
         "kzm2it: -: cannot be opened\nkzm2it: gone: cannot be opened\n", 1, "a.it a.kzm b.it b.kzm"},
        {{{"cut.kzm", trunc}, {"bomb.kzm", bomb}, {"e/", {}}}, "cut.kzm bomb e", "",
         "kzm2it: cut.kzm" + damaged + "kzm2it: bomb.kzm" + damaged +
         "kzm2it: e: the folder holds no .kzm file\n", 1, "bomb.kzm cut.kzm e", "ulimit -f $(ulimit -H -f);"},
        {{{"a/", {}}, {"a/x.kzm", good}, {"b/", {}}, {"b/x.kzm", good}, {"out/", {}}}, "-o out a/x.kzm b/x",
         "a/x.kzm -> out/x.it\n", "kzm2it: b/x.kzm: out/x.it" + clash, 1, "a a/x.kzm b b/x.kzm out out/x.it"},
        {{{"-x.kzm", good}, {"o/", {}}}, "--output-dir=o/ -- -x.kzm", "-x.kzm -> o/-x.it\n", "", 0,
         "-x.kzm o o/-x.it"},
        {{{"a.kzm", good}, {"a.it", old}}, "a.kzm a.it", "",
         "kzm2it: a.kzm: a.it" + clash + "kzm2it: a.it: a.it" + clash, 1, "a.it a.kzm"},
        {{{"my s\xC3\xB6ng.kzm", good}}, "'my s\xC3\xB6ng.kzm'", "my s\xC3\xB6ng.kzm -> my s\xC3\xB6ng.it\n",
         "", 0, "my s\xC3\xB6ng.it my s\xC3\xB6ng.kzm"},
        {{{"song.kzm", kzb_container(rows)}, {"song.it", old}}, "song.kzm", "",
         "kzm2it: song.kzm: the IT file song.it cannot be written\n", 1, "song.it song.kzm",
         "trap '' XFSZ; ulimit -f 40;"},
        {{{"a.kzm", good}}, "-x a.kzm", "", "kzm2it: unknown option -x" + hint, 2, "a.kzm"},
        {{{"a.kzm", good}}, "-o a.kzm", "", "kzm2it: no folder a.kzm" + hint, 2, "a.kzm"},
        {{{"o/", {}}}, "--output-dir o", "", "kzm2it: no PATH given" + hint, 2, "o"},
        {{}, "--help", "Usage: kzm2it [OPTION]... PATH...\n", "", 0, ""},
        {{}, "--version", "kzm2it " KZM_VERSION "\n", "", 0, ""},
        {{}, "-o", "", "kzm2it: -o needs a folder" + hint, 2, ""},
    };
    for (auto& c : cases) {
        auto said = runin(c.given, c.args, "", c.before);
        if (c.args == "--help")
            std::get<0>(said).resize(std::get<0>(said).find('\n') + 1);
        EXPECT_EQ(said, std::make_tuple(c.out, c.err, c.status, c.left)) << c.args;
    }
}

// The command line without TMPDIR: work files go to /tmp. On one stream, each file's line comes as
// its conversion ends, in the order of the files. Where memory runs out, the dialogue says so and
// exits 0, the command line says so and exits 1: the native program, as ulimit limits it, unless
// built with AddressSanitizer, whose own memory cannot be so limited.
TEST(Program, Environment)
{
    std::string dir = fs::temp_directory_path() / kzt_file("");
    fs::create_directories(dir);
    kzb_writefile(dir + "/a.kzm", kzb_container(MODULE));
    kzb_writefile(dir + "/b.kzm", kzb_container(MODULE));
    const char* other = getenv("KZM2IT_CMD");
    std::string prog = other ? other : "'" KZM2IT_BIN "'";
    std::string cd = "cd '" + dir + "' && ";
    auto said = shell(cd + "env -u TMPDIR " + prog + " a.kzm gone b.kzm 2>&1");
    EXPECT_EQ(said.first, "a.kzm -> a.it\nkzm2it: gone: cannot be opened\nb.kzm -> b.it\n");
    EXPECT_EQ(said.second, 1);
    EXPECT_TRUE(kzb_readfile(dir + "/b.it") == MODULE_IT);
#ifndef __SANITIZE_ADDRESS__
    std::string limited = cd + "ulimit -v 65536 && echo a | '" KZM2IT_BIN "'";
    said = shell(limited + " | tail -n 1");
    EXPECT_EQ(said.first, "Error: not enough memory!\n");
    EXPECT_EQ(shell(limited + " >/dev/null; echo $?").first, "0\n");
    EXPECT_EQ(shell(limited + " b.kzm 2>&1").first, "kzm2it: not enough memory\n");
    EXPECT_EQ(shell(limited + " b.kzm 2>/dev/null").second, 1);
#endif
    fs::remove_all(dir);
}

// Two dialogues started together in one folder, each on a module of 3 MiB of samples, in three
// rounds: each writes the IT file that a conversion alone writes, as they take turns with temp.emx.
// Then a dialogue is killed while it holds the folder: waiting to read a KZM file that is a named
// pipe no one writes to. The next one waits until then, and no longer. Last, one waits for Enter, and
// lets the next one go on as it waits.
TEST(Program, DialoguesTakeTurns)
{
    std::string dir = fs::temp_directory_path() / kzt_file("");
    fs::create_directories(dir);
    kzbytes alone[2];
    uint32_t x = 1;
    for (int m = 0; m < 2; m++) {
        kzbytes mod = kzb_songheader("", 1, 6, 125, {}, {0});
        for (uint8_t i = 0; i < 3; i++) {
            kzbytes noise(1 << 20);
            for (auto& b : noise)
                b = (uint8_t)((x = x * 1664525 + 1013904223) >> 24);
            kzb_append(mod, kzb_instrument(i));
            kzb_append(mod, kzb_samplechunk("", 0, 64, 0x80, -1, 0, 0, 8363, noise));
        }
        kzbytes kzm = kzb_container(mod, 1);
        kzb_writefile(dir + "/m" + std::to_string(m) + ".kzm", kzm);
        alone[m] = kzt_convert(kzm);
        ASSERT_EQ(kzt_itcheck(alone[m]), "");
    }
    const char* other = getenv("KZM2IT_CMD");
    std::string prog = other ? other : "'" KZM2IT_BIN "'";
    std::string both = "cd '" + dir + "' && (echo m0 | " + prog + " & echo m1 | " + prog + "; wait)";
    for (int round = 0; round < 3; round++) {
        ASSERT_EQ(system((both + " >/dev/null 2>&1").c_str()), 0);
        EXPECT_TRUE(kzb_readfile(dir + "/m0.it") == alone[0]) << round;
        EXPECT_TRUE(kzb_readfile(dir + "/m1.it") == alone[1]) << round;
    }
    fs::remove(dir + "/m0.it");
    std::string killed = "cd '" + dir + "' && mkfifo stuck.kzm && exec 3<>stuck.kzm && (echo stuck | " + prog + " >holder.out & holder=$!;"
                         " sleep 2; echo m0 | timeout -sKILL 30 " + prog + " & next=$!; sleep 2; test ! -e m0.it || exit 9;"
                         " kill -9 $holder; wait $holder; wait $next)";
    EXPECT_EQ(system((killed + " >/dev/null 2>&1").c_str()), 0);
    EXPECT_EQ(shell("tail -n 1 '" + dir + "/holder.out'").first,
              "Enter path and filename without kzm extension: Extracting and converting...\n");
    EXPECT_TRUE(kzb_readfile(dir + "/m0.it") == alone[0]);
    // A dialogue that waits for Enter has let go of the folder: the next one goes on meanwhile.
    std::string waiting = "cd '" + dir + "' && { { echo m0; sleep 10; echo; } | " + prog + " & holder=$!;"
                          " sleep 2; echo m1 | timeout -sKILL 6 " + prog + "; s=$?; kill $holder; exit $s; }";
    EXPECT_EQ(system((waiting + " >/dev/null 2>&1").c_str()), 0);
    // After DONE the dialogue waits for Enter once more: a line typed a second later is that Enter.
    std::string wait = "cd '" + dir + "' && { echo m0; sleep 1; echo later; } | { " + prog + " >/dev/null; cat; }";
    FILE* left = popen(wait.c_str(), "r");
    EXPECT_EQ(fgetc(left), EOF);
    pclose(left);
    fs::remove_all(dir);
}

// In-process, the song record and the stack below the writer start as 0xAA bytes: every field of the
// song header must be set and every byte of the writer's buffers written. Then records that the
// writer masks: InsNum, Flg without the data bit, the sustain loop; counts past the capacities, and
// no order at all.
TEST(Program, EveryByteSet)
{
    EXPECT_EQ(kzt_convert(kzb_container(MODULE)), MODULE_IT);
    IMPM song;
    IMPS* s = (IMPS*)malloc(4 * sizeof(IMPS));
    uint8_t map[KZM_MAXSLOTS];
    memset(&song, 0xAA, sizeof song);
    memset(s, 0xAA, 4 * sizeof(IMPS));
    std::string work = kzt_work(MODULE);
    convertkzminstr(work.c_str(), s, map, &song);
    ripkzmsamples(work.c_str(), s, map);
    std::vector<uint32_t> v = {song.InsNum, s[0].Flg, s[1].Flg, s[1].SusLoopBegin, s[1].SusLoopEnd};
    EXPECT_EQ(v, std::vector<uint32_t>({4, 0x10, 0x52, 0, 0}));
    song.OrdNum = 300;
    song.SmpNum = 120;
    song.PatNum = 250;
    IMPP* patterns = (IMPP*)calloc(KZM_MAXPATTERNS, sizeof(IMPP));
    free(s);
    s = (IMPS*)calloc(KZM_MAXSLOTS, sizeof(IMPS));
    ASSERT_EQ(writeit(kzt_file(".it").c_str(), &song, patterns, s), 0);
    kzbytes it = kzb_readfile(kzt_file(".it"));
    EXPECT_EQ(kzt_itcheck(it) + std::to_string(it[36]) + " " + std::to_string(it[38]), "99 199");
    // No order at all: the closing 255 alone.
    song.OrdNum = 0;
    ASSERT_EQ(writeit(kzt_file(".it").c_str(), &song, patterns, s), 0);
    it = kzb_readfile(kzt_file(".it"));
    EXPECT_EQ(kzt_itcheck(it) + std::to_string(get_u16le(&it[32])), "1");
    free(patterns);
    free(s);
}

// Every cut of the module; then counts, numbers and sizes past every capacity, with a pattern across
// the first block of the chunk scan and the rest of the module after a sample read far past a block;
// then the module again, on the records that the large one filled. Last, a sample chunk whose header
// lies across the scan's first block, and work files that are only a chunk's probe.
TEST(Program, CutAndOversizedModules)
{
    for (auto end = MODULE.begin(); end <= MODULE.end(); end++)
        EXPECT_EQ(kzt_itcheck(kzt_convert(kzb_container({MODULE.begin(), end}))), "");
    kzbytes big = kzb_songheader("big", 255, 6, 125, {}, kzbytes(255, 254));
    big.resize(KZM_SCANBLOCK - 2);
    kzb_append(big, kzb_pattern(198, 255, kzbytes(40000, 0x42)));
    // Instrument and sample i; sample 50 has three frames more than a slot holds, and a sample chunk
    // of 3 frames at its end.
    kzbytes inner = kzb_samplechunk("", 0, 64, 0x84, 3, 0, 0, 0, kzbytes(6));
    inner.insert(inner.begin(), (1 << 20) - inner.size(), 0);
    for (int i = 0; i < 101; i++)
        kzb_append(big, kzb_cat({kzb_instrument(100 - i, 1, 1, 1, 1),
                                 kzb_samplechunk("", 0, 64, 0x84, i == 50 ? 524291 : 1, 0, 0, 0,
                                                 i == 50 ? inner : kzbytes(2))}));
    kzbytes it = kzt_convert(kzb_container(big));
    ASSERT_EQ(kzt_itcheck(it), "");
    // 256 orders, 99 samples and 199 patterns; the frames in slots 50, 49 (the inner chunk), 2 and
    // 0, which no instrument within the map names; slot 51's file name, which slot 50 must not reach.
    auto hdr = [&](int slot) { return get_u32le(&it[448 + 4 * slot]); };
    auto len = [&](int slot) { return get_u32le(&it[hdr(slot) + 48]); };
    std::vector<uint32_t> v = {get_u16le(&it[32]), it[36], it[38], len(50), len(49), len(2), len(0), it[hdr(51) + 4]};
    EXPECT_EQ(v, std::vector<uint32_t>({256, 99, 199, 524288, 3, 1, 0, 0}));
    // The same records, cleared as the batch mode clears them, serve the next file whole.
    EXPECT_EQ(kzt_convert(kzb_container(MODULE)), MODULE_IT);
    // From the sample header at 202 (192, two orders, two offsets): the header, pattern 0's, the data.
    // The sample chunk begins 92 bytes before the end of the scan's first block: half its data lies
    // in the block. Then 40 and 15: its probe, 16 bytes, lies across the block's end, to be found in
    // the next one.
    kzbytes want = kzb_cat({imps(0x01, 50, "across", 16, 8, 2, 6, 11025, 290, {0, 0, 0, 0}), kzbytes(8),
                            {1, 2, 3, 4, 5, 6, 7, 8}});
    for (size_t before : {92, 40, 15}) {
        kzbytes across = kzb_cat({kzb_songheader("", 1, 6, 125, {}, {0}), kzb_instrument(0)});
        across.resize(KZM_SCANBLOCK - before);
        kzb_append(across, kzb_samplechunk("across", 0x20, 100, 0x80, -1, 2, 6, 11025, {1, 2, 3, 4, 5, 6, 7, 8}));
        it = kzt_convert(kzb_container(across));
        EXPECT_EQ(kzbytes(it.begin() + std::min<size_t>(202, it.size()), it.end()), want) << before;
    }
    // One order, no sample, one pattern of one empty row at 197.
    it = kzt_convert(kzb_container(kzb_text("PATT", 4)));
    EXPECT_EQ(kzbytes(it.begin() + 197, it.end()), kzbytes({1, 0, 1, 0, 0, 0, 0, 0, 0}));
    // Only an instrument's probe: the fields past the end of the file read as zeros, slot 0.
    it = kzt_convert(kzb_container(kzb_cat({kzb_text("RIFF", 8), kzb_text("AI  INST", 8)})));
    EXPECT_EQ(it.size() > 36 ? it[36] : -1, 1);
}
