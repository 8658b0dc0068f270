// Benchmark: a conversion against zlib's inflation alone, each scanning reader's throughput, peak memory.
#include "kzcell.h"
#include "kzm.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

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
// With warm, a child first fills and frees that many bytes: in a virtual machine that hands free
// guest memory back to the host, a page's first touch costs a host fault, several times the work of
// a page in use, and what that child frees is what the job gets. MAP_POPULATE writes every page.
static long inchild(const std::function<bool()>& job, double warm = 0)
{
    if (warm > 0)
        inchild([n = (size_t)warm] { return munmap(mmap(nullptr, n, PROT_READ | PROT_WRITE,
            MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0), n) == 0; });
    pid_t pid = fork();
    if (pid == 0)
        _exit(job() ? 0 : 1);
    int status = 0;
    rusage ru = {};
    bool ended = pid > 0 && wait4(pid, &status, 0, &ru) == pid && WIFEXITED(status);
    return ended && WEXITSTATUS(status) == 0 ? ru.ru_maxrss : -1;
}

// The conversion as the program runs it: the same call on records allocated as it allocates them.
static bool conversion(const std::string& kzm, const std::string& it)
{
    double t0 = now();
    kzmrecords r;
    const char* w = KZM_WORKFILE;
    bool ok = kzmalloc(&r) && convertkzm(kzm.c_str(), w, it.c_str(), &r, nullptr, nullptr) == KZM_OK;
    remove(w);
    kzmfree(&r);
    shared[0] = now() - t0;
    return ok;
}

// zlib's inflation of the same stream to a file, opens and closes included: the yardstick.
static bool infalone(const std::string& kzm)
{
    double t0 = now();
    FILE* src = fopen(kzm.c_str(), "rb");
    FILE* dst = fopen("inf.out", "wb");
    bool ok = src && dst && fseek(src, 24, SEEK_SET) == 0 && inf(src, dst) == 0;
    ok = ok && fclose(src) == 0 && fclose(dst) == 0;
    shared[0] = now() - t0;
    return ok;
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

    // What a conversion takes of fresh memory: work file and IT file in the page cache, the records.
    const double warm = 3 * work + 32 * MIB;
    std::vector<double> tinf, tconv, ratios, treader[3];
    double rss = 0;
    bool identical = true;
    auto same = [&] { return kzb_readfile(it) == kzb_readfile("first.it"); };
    for (int run = 0; run < runs; run++) {
        // Alternately first, so that neither always meets the other's leftovers.
        for (int k = 0; k < 2; k++) {
            bool conv = (k == 0) != (run % 2 == 0);
            remove(conv ? it.c_str() : "inf.out");
            long kb = inchild([&] { return conv ? conversion(kzm, it) : infalone(kzm); }, warm);
            if (kb < 0)
                return bar(false, conv ? "a conversion failed" : "inf alone failed");
            (conv ? tconv : tinf).push_back(shared[0]);
            rss = conv ? std::max(rss, kb / 1024.0) : rss;
        }
        ratios.push_back(tconv.back() / tinf.back());
        identical &= run == 0 ? rename(it.c_str(), "first.it") == 0 : inchild(same) >= 0;
        for (int r = 0; r < 3; r++) {
            if (inchild([&] { return readeralone(r); }, warm) < 0)
                return bar(false, "a reader alone failed");
            treader[r].push_back(shared[0]);
        }
    }

    double minf = median(tinf), mconv = median(tconv), ratio = mconv / minf;
    auto [lo, hi] = std::minmax_element(ratios.begin(), ratios.end());
    printf("inf alone to a file%9.1f ms %5.0f MB/s of work file\n", minf * 1e3, work / minf / 1e6);
    printf("conversion%18.1f ms ratio to inf alone %.2f (per run %.2f..%.2f%s)\n", mconv * 1e3,
           ratio, *lo, *hi, largest ? "; bar 1.50" : "");
    bar(!largest || ratio <= 1.5, "conversion over 1.5 x inf alone");
    const char* const READERS[3] = {"patterns reader", "instruments reader", "samples reader"};
    const double scanned[3] = {work, instrscan, work};
    for (int r = 0; r < 3; r++) {
        double t = median(treader[r]), mbs = scanned[r] / t / 1e6, mib = scanned[r] / MIB;
        printf("%-19s%9.1f ms %5.0f MB/s over %.1f MiB; bar 1000\n", READERS[r], t * 1e3, mbs, mib);
        bar(mbs >= 1000, std::string(READERS[r]) + " under 1000 MB/s");
    }
    double cap = largest ? work / MIB + 32 : 40;   // largest: work file + 32 MiB
    printf("conversion peak RSS%9.1f MiB; bar %s %.1f MiB\n", rss, largest ? "<=" : "<", cap);
    bar(largest ? rss <= cap : rss < cap, "peak RSS over its bar");
    printf("output identical over %d runs: %s; IT file %.1f MiB\n", runs, identical ? "yes" : "NO",
           std::filesystem::file_size("first.it") / MIB);
    bar(identical, "outputs differ");
}

int main(int argc, char** argv)
{
    int runs = 7, opt;
    std::string which = "all";
    while ((opt = getopt(argc, argv, "n:m:")) != -1) {
        runs = opt == 'n' ? atoi(optarg) : opt == 'm' ? runs : 0;
        which = opt == 'm' ? optarg : which;
    }
    if (optind < argc || runs < 1 || (which != "all" && which != "largest" && which != "typical")) {
        printf("usage: kzmbench [-n RUNS (7)] [-m largest|typical|all]\n");
        return 2;
    }
    shared = (double*)mmap(nullptr, 64, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    char dir[] = "/tmp/kzmbench.XXXXXX";
    if (shared == MAP_FAILED || !mkdtemp(dir) || chdir(dir) != 0) {
        printf("cannot make a scratch directory under /tmp\n");
        return 1;
    }
    auto load = [] { std::string s; std::getline(std::ifstream("/proc/loadavg"), s); return s; };
    printf("kzmbench: scratch %s; medians of %d runs\n", dir, runs);
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
