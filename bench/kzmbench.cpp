// Benchmark: the kzm2it program against zlib's inflation alone, each a fresh unwarmed process; each scanning reader's throughput; peak memory.
#include "kzcell.h"
#include "kzm.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// One instrument a sample. widestep: every widestep-th sample is 16-bit, from the first; filled:
// percentage of the pattern cells that hold an entry.
struct moddef {
    const char* stem;   // file name in the scratch directory, without extension
    int channels, patterns, rows, orders, samples, minbytes, maxbytes, widestep, filled;
};

static const moddef LARGEST = {"largest", 32, 199, 64, 255, 99, 1048576, 1048576, 1, 100};
static const moddef TYPICAL = {"typical", 12, 40, 64, 64, 20, 30000, 300000, 2, 50};

static const double MIB = 1048576.0;
static const char* const STAGEFILE = "stage.emx";   // cached work file for the readers alone
static const char* const INFOUT = "inf.out";         // what inflation alone writes
static std::string program;   // the kzm2it binary, an absolute path
static std::string self;      // this benchmark, re-executed for inflation alone
static double gap = 3;        // seconds of rest before each timed run
static double* shared;   // what a child reports, in memory it shares with this process
static IMPM song;        // for the readers alone
static std::string missed;

struct rng {   // deterministic, so every run builds the same files
    uint32_t s;
    double uni() { s ^= s << 13; s ^= s >> 17; s ^= s << 5; return s / 4294967296.0; }
    int below(int n) { return (int)(uni() * n); }
};

// A recorded-instrument-like waveform, so that zlib finds as little to match as in real samples:
// detuned partials with vibrato under an attack-decay-sustain envelope with tremolo, a filtered
// noise floor, and on every third sample decaying noise hits like a drum loop.
static kzbytes synth(size_t bytes, bool wide, uint32_t seed)
{
    float sine[4096];   // one turn; a phase indexes it with its top 12 bits
    for (int k = 0; k < 4096; k++)
        sine[k] = (float)std::sin(2 * 3.14159265358979323846 * k / 4096);
    rng r = {seed * 2654435761u + 12345u};
    const double rate = 44100, turn = 4294967296.0, f0 = 55.0 * (1 << r.below(4)) * (1 + r.uni());
    uint32_t inc[4], ph[4] = {}, ph2[4] = {}, lfo = 0, trem = 0;
    float amp[4];
    for (int k = 0; k < 4; k++) {
        inc[k] = (uint32_t)(f0 * (k + 1) / rate * turn);
        amp[k] = (float)((0.3 + 0.7 * r.uni()) / (k + 1));
    }
    uint32_t lfoinc = (uint32_t)((4 + 3 * r.uni()) / rate * turn);
    uint32_t treminc = (uint32_t)((0.5 + 2 * r.uni()) / rate * turn);
    double attack = 500 + 4000 * r.uni(), sustain = 0.4 + 0.4 * r.uni();
    double decay = 1 - 1 / (5000 + 30000 * r.uni()), env = 1, hit = 0, lp = 0;
    kzbytes d(bytes, 0);
    for (size_t i = 0; i < (wide ? bytes / 2 : bytes); i++) {
        float vib = 1 + 0.004f * sine[lfo >> 20];
        lfo += lfoinc, trem += treminc;
        double tone = 0;
        for (int k = 0; k < 4; k++) {
            tone += amp[k] * (sine[ph[k] >> 20] + 0.7f * sine[ph2[k] >> 20]);
            ph[k] += (uint32_t)(inc[k] * vib);
            ph2[k] += (uint32_t)(inc[k] * 1.003f * vib);
        }
        double e = i < attack ? i / attack : sustain + (1 - sustain) * (env *= decay);
        e *= 1 - 0.15 * (1 + sine[trem >> 20]);
        double noise = r.uni() * 2 - 1;
        lp += 0.3 * (noise - lp);
        double v = 0.25 * e * tone + 0.02 * lp + 0.004 * noise;
        hit = (i % 11025 == 0 ? 0.8 : hit) * 0.9996;
        v = seed % 3 == 2 ? 0.5 * v + hit * noise : v;
        long hi = wide ? 32767 : 127, x = std::clamp((long)(v * hi), -hi - 1, hi);
        d[wide ? 2 * i : i] = (uint8_t)x;
        d[wide ? 2 * i + 1 : i] = (uint8_t)(wide ? (uint16_t)x >> 8 : x);
    }
    return d;
}

// Writes stem.kzm; reports the bytes that the instrument scan covers before the slot map is full.
static bool buildmodule(const moddef& m)
{
    static const int effects[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 14, 15};
    rng r = {0x9E3779B9u ^ (uint32_t)m.samples};
    kzbytes pans, orders;
    for (int i = 0; i < (m.channels | 1); i++)
        pans.push_back((uint8_t)r.below(129));
    for (int i = 0; i < m.orders; i++)
        orders.push_back((uint8_t)(i % m.patterns));
    kzbytes work = kzb_songheader(m.stem, (uint8_t)m.channels, 6, 125, pans, orders);
    for (int p = 0; p < m.patterns; p++) {
        kzbytes b;
        for (int cell = 0; cell < m.rows * m.channels; cell++) {
            if (r.uni() < m.filled / 100.0) {
                bool full = m.filled == 100, note = full || r.uni() < 0.7;
                bool vol = full || r.uni() < 0.5, fx = r.uni() < 0.6 || (!note && !vol);
                kzb_append(b, kzb_cell((uint8_t)(cell % m.channels), note ? 1 + r.below(96) : -1,
                                       note ? 1 + r.below(m.samples) : -1, vol ? r.below(129) : -1,
                                       fx ? effects[r.below(12)] : -1, r.below(256)));
            }
            if (cell % m.channels == m.channels - 1)
                b.push_back(KZB_ENDROW);
        }
        kzb_append(work, kzb_pattern((uint8_t)p, (uint8_t)(m.rows - 1), b));
    }
    for (int i = 0; i < m.samples; i++) {
        if (i + 1 == (int)KZM_MAXSLOTS)
            shared[0] = (double)work.size() + 16;   // the scan ends at the last slot's instrument
        uint8_t waveform = (uint8_t)r.below(4), rate = (uint8_t)r.below(64);   // drawn in order
        uint16_t depth = (uint16_t)r.below(16), speed = (uint16_t)r.below(1024);
        std::string name = "instrument " + std::to_string(i + 1);
        kzb_append(work, kzb_instrument((uint8_t)i, waveform, rate, depth, speed, name));
    }
    for (int i = 0; i < m.samples; i++) {
        bool wide = i % m.widestep == 0, loop = i % 4 == 1;
        size_t bytes = m.minbytes + (size_t)(r.uni() * (m.maxbytes - m.minbytes + 1));
        bytes &= ~(size_t)wide;
        uint8_t pan = (uint8_t)r.below(256), volume = (uint8_t)r.below(129);   // drawn in order
        uint8_t flags = (uint8_t)((wide ? 0x84 : 0x80) | (loop ? 0x08 : 0));
        uint32_t frames = (uint32_t)(bytes >> wide), c5 = 8363 + (uint32_t)r.below(40000);
        kzb_append(work, kzb_samplechunk("sample " + std::to_string(i + 1), pan, volume, flags, -1,
                                          loop ? frames / 2 : 0, loop ? frames : 0, c5,
                                          synth(bytes, wide, (uint32_t)i + 1)));
    }
    shared[0] = m.samples < (int)KZM_MAXSLOTS ? (double)work.size() : shared[0];
    kzb_writefile(std::string(m.stem) + ".kzm", kzb_container(work, 6));
    return true;
}

using clk = std::chrono::steady_clock;
static double now() { return std::chrono::duration<double>(clk::now().time_since_epoch()).count(); }

// Runs job in a child process, so that its memory starts from this small process, not from what
// the module builder or an earlier run held. Returns the child's peak RSS in KiB, -1 on failure.
static long inchild(const std::function<bool()>& job)
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(job() ? 0 : 1);
    int status = 0;
    rusage ru = {};
    bool ended = pid > 0 && wait4(pid, &status, 0, &ru) == pid && WIFEXITED(status);
    return ended && WEXITSTATUS(status) == 0 ? ru.ru_maxrss : -1;
}

// The rest before every timed run, and no warming. In a virtual machine with free page reporting,
// memory that the previous run freed goes back to the host within a few seconds, as it has before a
// user's run, whose first touch of each page then costs a host fault; a run straight after another
// would find those pages still backed and come out faster than a user's.
static void settle()
{
    std::this_thread::sleep_for(std::chrono::duration<double>(gap));
}

// One timed run of a fresh process: args[0] executed in this directory with input, then end of
// input, on its standard input and /dev/null as its standard output. Times from just before fork to
// the child's exit; peak is its peak RSS in MiB, its own since this process holds little. True when
// it exited with status 0.
static bool timedrun(const std::vector<std::string>& args, const std::string& input, double& seconds,
                     double& peak)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int feed[2];
    if (pipe2(feed, O_CLOEXEC) != 0)
        return false;
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0) {
        close(feed[0]);
        close(feed[1]);
        return false;
    }
    double t0 = now();
    pid_t pid = fork();
    if (pid == 0) {
        // This process ignores SIGPIPE, and an ignored signal would stay ignored across exec.
        signal(SIGPIPE, SIG_DFL);
        if (dup2(feed[0], 0) == 0 && dup2(null, 1) == 1)
            execv(argv[0], argv.data());
        _exit(127);
    }
    close(feed[0]);
    close(null);
    bool fed = pid > 0 && write(feed[1], input.data(), input.size()) == (ssize_t)input.size();
    close(feed[1]);
    int status = 0;
    rusage ru = {};
    bool ended = pid > 0 && wait4(pid, &status, 0, &ru) == pid;
    seconds = now() - t0;
    peak = ru.ru_maxrss / 1024.0;
    return fed && ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The hidden modes of the yardsticks' processes, opens and closes included; exit status 0 when all
// went well. --inflate IN OUT: zlib's inflation of IN's stream after its 24-byte header into OUT in
// 16 KiB blocks, as zlib's own file-to-file example writes it: plain inflation. --decode IN OUT:
// the program's own inflater, which writes its work file in 1 MiB pieces.
static int inflatealone(const char* mode, const char* in, const char* out)
{
    if (strcmp(mode, "--decode") == 0)
        return decodekzm(in, out) == KZM_OK ? 0 : 1;
    FILE* src = fopen(in, "rb");
    FILE* dst = fopen(out, "wb");
    bool ok = src && dst && fseek(src, 24, SEEK_SET) == 0 && inf(src, dst) == 0;
    ok = (!src || fclose(src) == 0) && ok;
    ok = (!dst || fclose(dst) == 0) && ok;
    return ok ? 0 : 1;
}

// One scanning reader (0 patterns, 1 instruments, 2 samples) alone over the cached work file on
// fresh records; the sample reader needs the slot map, so the instrument reader runs first, untimed.
// A failed allocation ends the child, which reads as a failed run.
static bool readeralone(int which)
{
    uint8_t* slotmap = (uint8_t*)calloc(KZM_MAXSLOTS, 1);
    IMPP* patterns = (IMPP*)calloc(KZM_MAXPATTERNS, sizeof(IMPP));
    IMPS* samples = (IMPS*)calloc(KZM_MAXSLOTS, sizeof(IMPS));
    bool ready = which != 2 || convertkzminstr(STAGEFILE, samples, slotmap, &song) == KZM_OK;
    double t0 = now();
    int ret = which == 0   ? convertkzmpatterns(STAGEFILE, patterns, &song)
              : which == 1 ? convertkzminstr(STAGEFILE, samples, slotmap, &song)
                           : ripkzmsamples(STAGEFILE, samples, slotmap);
    shared[0] = now() - t0;
    return ready && ret == KZM_OK;
}

static double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return (v[(v.size() - 1) / 2] + v[v.size() / 2]) / 2;
}

static void benchmodule(const moddef& m, int runs, bool largest)
{
    const std::string stem = m.stem, kzm = stem + ".kzm", it = stem + ".it";
    auto bar = [&](bool ok, std::string what) { missed += ok ? "" : "\n  " + stem + ": " + what; };
    if (inchild([&] { return buildmodule(m); }) < 0 ||
        inchild([&] { return decodekzm(kzm.c_str(), STAGEFILE) == 0; }) < 0)
        return bar(false, "building or inflating the module failed");
    const double instrscan = shared[0], work = (double)std::filesystem::file_size(STAGEFILE);
    const double kzmsize = (double)std::filesystem::file_size(kzm);
    printf("\n== %s: %d patterns x %d rows x %d channels, %d%% filled; %d samples of %d to %d",
           m.stem, m.patterns, m.rows, m.channels, m.filled, m.samples, m.minbytes, m.maxbytes);
    printf(" bytes, %s; %d orders\nkzm %.1f MiB, work file %.1f MiB (%.0f bytes)\n",
           m.widestep == 1 ? "16-bit" : "8- and 16-bit", m.orders, kzmsize / MIB, work / MIB, work);
    fflush(stdout);

    // Per run, in turn first: the conversion, plain inflation, the program's own inflater alone.
    const char* const NAMES[3] = {"a conversion", "inf alone", "the program's inflater alone"};
    std::vector<double> times[3], ratios, treader[3];
    double rss = 0, infrss = 0;
    bool identical = true;
    std::error_code ec;
    auto same = [&] { return kzb_readfile(it) == kzb_readfile("first.it"); };
    const std::vector<std::string> args[3] = {
        {program}, {self, "--inflate", kzm, INFOUT}, {self, "--decode", kzm, INFOUT}};
    for (int run = 0; run < runs; run++) {
        for (int k = 0; k < 3; k++) {
            int v = (run + k) % 3;
            const char* out = v == 0 ? it.c_str() : INFOUT;
            remove(out);
            settle();
            double seconds = 0, peak = 0;
            bool ok = timedrun(args[v], v == 0 ? stem + "\n" : "", seconds, peak);
            // The dialogue exits with 0 whatever happened: the files tell.
            uintmax_t size = std::filesystem::file_size(out, ec);
            ok = ok && !ec && (v == 0 ? size > 0 : size == (uintmax_t)work);
            if (!ok)
                return bar(false, NAMES[v] + std::string(" failed"));
            times[v].push_back(seconds);
            (v == 0 ? rss : infrss) = std::max(v == 0 ? rss : infrss, peak);
            remove(INFOUT);
        }
        ratios.push_back(times[0].back() / times[1].back());
        identical &= run == 0 ? rename(it.c_str(), "first.it") == 0 : inchild(same) >= 0;
        remove(it.c_str());
        for (int r = 0; r < 3; r++) {
            settle();
            if (inchild([&] { return readeralone(r); }) < 0)
                return bar(false, "a reader alone failed");
            treader[r].push_back(shared[0]);
        }
    }

    const double ratiobar = largest ? 1.25 : 1.5;
    double minf = median(times[1]), mconv = median(times[0]), ratio = mconv / minf;
    double mdec = median(times[2]);
    printf("inf alone to a file%9.1f ms %5.0f MB/s of work file\n", minf * 1e3, work / minf / 1e6);
    printf("conversion%18.1f ms ratio to inf alone %.2f; bar %.2f\n", mconv * 1e3, ratio, ratiobar);
    printf("per run:");
    for (double r : ratios)
        printf(" %.2f", r);
    printf("\n");
    printf("its own inflater%12.1f ms; the conversion %.2f times it\n", mdec * 1e3, mconv / mdec);
    char toobig[64];
    snprintf(toobig, sizeof toobig, "conversion over %.2f x inf alone", ratiobar);
    bar(ratio <= ratiobar, toobig);
    const char* const READERS[3] = {"patterns reader", "instruments reader", "samples reader"};
    const double scanned[3] = {work, instrscan, work};
    for (int r = 0; r < 3; r++) {
        double t = median(treader[r]), mbs = scanned[r] / t / 1e6, mib = scanned[r] / MIB;
        printf("%-19s%9.1f ms %5.0f MB/s over %.1f MiB; bar 1000\n", READERS[r], t * 1e3, mbs, mib);
        bar(mbs >= 1000, std::string(READERS[r]) + " under 1000 MB/s");
    }
    double cap = largest ? work / MIB + 32 : 40;   // largest: work file + 32 MiB
    printf("conversion peak RSS%9.1f MiB; bar %s %.1f MiB (inf alone %.1f MiB)\n", rss,
           largest ? "<=" : "<", cap, infrss);
    bar(largest ? rss <= cap : rss < cap, "peak RSS over its bar");
    printf("output identical over %d runs: %s; IT file %.1f MiB\n", runs, identical ? "yes" : "NO",
           std::filesystem::file_size("first.it") / MIB);
    bar(identical, "outputs differ");
    fflush(stdout);
}

// -w DIR: the two modules into DIR, made if missing, for other tools to measure with.
static int writemodules(const std::string& dir)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (chdir(dir.c_str()) != 0) {
        printf("cannot enter %s\n", dir.c_str());
        return 1;
    }
    for (const moddef* m : {&LARGEST, &TYPICAL}) {
        std::string kzm = std::string(m->stem) + ".kzm";
        if (inchild([&] { return buildmodule(*m); }) < 0) {
            printf("cannot write %s/%s\n", dir.c_str(), kzm.c_str());
            return 1;
        }
        printf("wrote %s/%s, %.1f MiB\n", dir.c_str(), kzm.c_str(),
               std::filesystem::file_size(kzm, ec) / MIB);
    }
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 4 && (strcmp(argv[1], "--inflate") == 0 || strcmp(argv[1], "--decode") == 0))
        return inflatealone(argv[1], argv[2], argv[3]);
    char exe[PATH_MAX] = {};
    if (readlink("/proc/self/exe", exe, sizeof exe - 1) <= 0) {
        printf("cannot read /proc/self/exe\n");
        return 1;
    }
    self = exe;
    namespace fs = std::filesystem;
    program = (fs::path(self).parent_path() / ".." / "kzm2it").lexically_normal().string();
    int runs = 7, opt;
    bool bad = false;
    std::string which = "all", writedir;
    while ((opt = getopt(argc, argv, "n:m:g:p:w:")) != -1) {
        runs = opt == 'n' ? atoi(optarg) : runs;
        which = opt == 'm' ? optarg : which;
        gap = opt == 'g' ? strtod(optarg, nullptr) : gap;
        program = opt == 'p' ? fs::absolute(optarg).lexically_normal().string() : program;
        writedir = opt == 'w' ? optarg : writedir;
        bad |= opt == '?';
    }
    bad |= optind < argc || runs < 1 || !(gap >= 0 && gap < 3600);
    if (bad || (which != "all" && which != "largest" && which != "typical")) {
        printf("usage: kzmbench [-n RUNS (7)] [-m largest|typical|all] [-g GAP SECONDS (3)]"
               " [-p PROGRAM (../kzm2it beside this)] | kzmbench -w DIR\n");
        return 2;
    }
    shared = (double*)mmap(nullptr, 64, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) {
        printf("cannot map memory\n");
        return 1;
    }
    if (!writedir.empty())
        return writemodules(writedir);
    if (access(program.c_str(), X_OK) != 0 || !fs::is_regular_file(program)) {
        printf("no program at %s: build kzm2it or give -p PROGRAM\n", program.c_str());
        return 2;
    }
    // A child that exits before reading its input must not end this process.
    signal(SIGPIPE, SIG_IGN);
    char dir[] = "/tmp/kzmbench.XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0) {
        printf("cannot make a scratch directory under /tmp\n");
        return 1;
    }
    auto load = [] { std::string s; std::getline(std::ifstream("/proc/loadavg"), s); return s; };
    printf("kzmbench: scratch %s; medians of %d runs, %g s apart\n", dir, runs, gap);
    printf("program %s\n", program.c_str());
    printf("load average before: %s\n", load().c_str());
    for (const moddef* m : {&LARGEST, &TYPICAL}) {
        if (which == "all" || which == m->stem)
            benchmodule(*m, runs, m == &LARGEST);
        for (auto& f : std::filesystem::directory_iterator("."))
            remove(f.path().c_str());
    }
    printf("\nload average after: %s\n", load().c_str());
    if (chdir("/") != 0 || rmdir(dir) != 0)
        printf("scratch directory %s left behind\n", dir);
    printf("%s%s\n", missed.empty() ? "all bars met" : "SOME BARS MISSED:", missed.c_str());
    return missed.empty() ? 0 : 1;
}
