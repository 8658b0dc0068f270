// Benchmark: times the conversion of the largest and a typical module against a plain inflate, by stage, with peak memory.
#include "kzbuild.h"
#include "kzm.h"
#include "kzmscan.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef KZM2IT_BIN
#define KZM2IT_BIN "kzm2it"
#endif

// ---------------------------------------------------------------- the modules

struct moddef {
    const char* stem;        // file name in the scratch directory, without extension
    const char* what;        // one line for the report
    int channels;            // 1..32 (5-bit channel field)
    int patterns;
    int rows;
    int orders;
    int samples;             // one instrument per sample, slot i for the i-th
    size_t minbytes;         // sample data sizes, bytes
    size_t maxbytes;
    bool allwide;            // every sample 16-bit; otherwise every other one
    double density;          // share of the cells that hold an entry
};

static const moddef LARGEST = {
    "largest", "largest: 199 patterns x 64 rows x 32 channels, all cells filled; 99 samples x 1048576 bytes, 16-bit; 255 orders",
    32, 199, 64, 255, 99, 1048576, 1048576, true, 1.0};
static const moddef TYPICAL = {
    "typical", "typical: 40 patterns x 64 rows x 12 channels, half the cells filled; 20 samples of 30 to 300 KB, 8- and 16-bit; 64 orders",
    12, 40, 64, 64, 20, 30000, 300000, false, 0.5};

// Deterministic generator, so every run builds the same files.
struct rng {
    uint32_t s;
    uint32_t next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    double uni() { return next() / 4294967296.0; }
    int below(int n) { return (int)(uni() * n); }
};

static float SINE[4096];

static float sine(uint32_t phase)
{
    return SINE[phase >> 20];
}

// A recorded-instrument-like waveform, so that zlib finds as little to match as in real samples:
// detuned partials with vibrato under an attack-decay-sustain envelope with tremolo, a filtered
// noise floor, and on every third sample decaying noise hits like a drum loop.
static kzbytes synth(size_t bytes, bool wide, uint32_t seed)
{
    rng r = {seed * 2654435761u + 12345u};
    size_t frames = wide ? bytes / 2 : bytes;
    const double rate = 44100;
    double f0 = 55.0 * (1 << r.below(4)) * (1 + r.uni());
    const int PARTIALS = 4;
    uint32_t inc[PARTIALS], ph[PARTIALS] = {}, ph2[PARTIALS] = {};
    float amp[PARTIALS];
    for (int k = 0; k < PARTIALS; k++) {
        inc[k] = (uint32_t)(f0 * (k + 1) / rate * 4294967296.0);
        amp[k] = (float)((0.3 + 0.7 * r.uni()) / (k + 1));
    }
    uint32_t lfo = 0, lfoinc = (uint32_t)((4 + 3 * r.uni()) / rate * 4294967296.0);
    uint32_t trem = 0, treminc = (uint32_t)((0.5 + 2 * r.uni()) / rate * 4294967296.0);
    double attack = 500 + 4000 * r.uni(), sustain = 0.4 + 0.4 * r.uni();
    double decay = 1 - 1 / (5000 + 30000 * r.uni()), env = 1;
    bool drums = seed % 3 == 2;
    double hit = 0, lp = 0;
    kzbytes d;
    d.reserve(bytes);
    for (size_t i = 0; i < frames; i++) {
        float vib = 1 + 0.004f * sine(lfo);
        lfo += lfoinc;
        trem += treminc;
        double tone = 0;
        for (int k = 0; k < PARTIALS; k++) {
            tone += amp[k] * (sine(ph[k]) + 0.7f * sine(ph2[k]));
            ph[k] += (uint32_t)(inc[k] * vib);
            ph2[k] += (uint32_t)(inc[k] * 1.003f * vib);
        }
        double e = i < attack ? i / attack : sustain + (1 - sustain) * (env *= decay);
        e *= 1 - 0.15 * (1 + sine(trem));
        double noise = r.uni() * 2 - 1;
        lp += 0.3 * (noise - lp);
        double v = 0.25 * e * tone + 0.02 * lp + 0.004 * noise;
        if (drums) {
            if (i % 11025 == 0)
                hit = 0.8;
            hit *= 0.9996;
            v = 0.5 * v + hit * noise;
        }
        if (wide) {
            long x = (long)(v * 32767);
            x = x > 32767 ? 32767 : x < -32768 ? -32768 : x;
            d.push_back((uint8_t)x);
            d.push_back((uint8_t)((uint16_t)x >> 8));
        } else {
            long x = (long)(v * 127);
            d.push_back((uint8_t)(int8_t)(x > 127 ? 127 : x < -128 ? -128 : x));
        }
    }
    d.resize(bytes, 0);
    return d;
}

static kzbytes patternrows(const moddef& m, rng& r)
{
    static const int effects[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 14, 15};
    kzbytes b;
    for (int row = 0; row < m.rows; row++) {
        for (int ch = 0; ch < m.channels; ch++) {
            if (r.uni() >= m.density)
                continue;
            bool full = m.density >= 1;
            bool note = full || r.uni() < 0.7;
            bool vol = full || r.uni() < 0.5;
            bool fx = r.uni() < 0.6 || (!note && !vol);
            kzb_append(b, kzb_cell((uint8_t)ch, note ? 1 + r.below(96) : -1, note ? 1 + r.below(m.samples) : -1,
                                   vol ? r.below(129) : -1, fx ? effects[r.below(12)] : -1, r.below(256)));
        }
        b.push_back(KZB_ENDROW);
    }
    return b;
}

// The facts of a built module that the report needs.
struct modfacts {
    double worksize;         // bytes of the inflated work file
    double kzmsize;          // bytes of the container
    double instrscan;        // bytes the instrument scan covers before the slot map is full
};

// Lays out song header, patterns, instruments, samples and writes stem.kzm.
static bool buildmodule(const moddef& m, modfacts& facts)
{
    rng r = {0x9E3779B9u ^ (uint32_t)m.samples};
    kzb_song song;
    song.title = std::string("kzmbench ") + m.stem;
    song.channels = (uint8_t)m.channels;
    for (int i = 0; i < (m.channels | 1); i++)
        song.pans.push_back((uint8_t)r.below(129));
    for (int i = 0; i < m.orders; i++)
        song.orders.push_back((uint8_t)(i % m.patterns));
    kzbytes work = kzb_songheader(song);
    for (int p = 0; p < m.patterns; p++)
        kzb_append(work, kzb_pattern((uint8_t)p, (uint8_t)(m.rows - 1), patternrows(m, r)));
    facts.instrscan = 0;
    for (int i = 0; i < m.samples; i++) {
        if (i + 1 == (int)KZM_MAXSLOTS)
            facts.instrscan = (double)work.size() + 16;
        kzb_instr ins;
        ins.slot = (uint8_t)i;
        ins.waveform = (uint8_t)r.below(4);
        ins.rate = (uint8_t)r.below(64);
        ins.depth = (uint16_t)r.below(16);
        ins.speed = (uint16_t)r.below(1024);
        ins.name = "instrument " + std::to_string(i + 1);
        kzb_append(work, kzb_instrument(ins));
    }
    for (int i = 0; i < m.samples; i++) {
        bool wide = m.allwide || i % 2 == 0;
        size_t bytes = m.minbytes + (size_t)(r.uni() * (double)(m.maxbytes - m.minbytes + 1));
        if (wide)
            bytes &= ~(size_t)1;
        kzb_sample s;
        s.name = "sample " + std::to_string(i + 1);
        s.pan = (uint8_t)r.below(256);
        s.volume = (uint8_t)r.below(129);
        s.flags = wide ? 0x84 : 0x80;
        if (i % 4 == 1) {
            s.flags |= 0x08;
            s.loopend = (uint32_t)(wide ? bytes / 2 : bytes);
            s.loopbegin = s.loopend / 2;
        }
        s.c5speed = 8363 + (uint32_t)r.below(40000);
        s.data = synth(bytes, wide, (uint32_t)i + 1);
        kzb_append(work, kzb_samplechunk(s));
    }
    if (facts.instrscan == 0)
        facts.instrscan = (double)work.size();
    facts.worksize = (double)work.size();
    kzbytes kzm = kzb_container(work, 6);
    facts.kzmsize = (double)kzm.size();
    kzb_writefile(std::string(m.stem) + ".kzm", kzm);
    return true;
}

// ---------------------------------------------------------------- measuring

static double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

static bool writeall(int fd, const void* p, size_t n)
{
    const char* c = (const char*)p;
    while (n > 0) {
        ssize_t w = write(fd, c, n);
        if (w <= 0)
            return false;
        c += w;
        n -= (size_t)w;
    }
    return true;
}

static bool readall(int fd, void* p, size_t n)
{
    char* c = (char*)p;
    while (n > 0) {
        ssize_t got = read(fd, c, n);
        if (got <= 0)
            return false;
        c += got;
        n -= (size_t)got;
    }
    return true;
}

// What a job run in a child process reported, and that process's peak resident memory.
struct outcome {
    bool ok = false;
    std::vector<double> v;
    long rsskb = 0;
};

// Runs job in a child process, so that its memory starts from this small process, not from
// what an earlier job or the module builder held; the child's peak RSS comes from wait4.
template <class F>
static outcome inchild(F job)
{
    outcome o;
    int fd[2];
    if (pipe(fd) != 0)
        return o;
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) {
        close(fd[0]);
        close(fd[1]);
        return o;
    }
    if (pid == 0) {
        close(fd[0]);
        std::vector<double> v;
        bool ok = false;
        try {
            ok = job(v);
        } catch (...) {
            ok = false;
        }
        uint32_t n = ok ? (uint32_t)v.size() : UINT32_MAX;
        bool sent = writeall(fd[1], &n, sizeof n) && (!ok || writeall(fd[1], v.data(), n * sizeof(double)));
        _exit(ok && sent ? 0 : 1);
    }
    close(fd[1]);
    uint32_t n = UINT32_MAX;
    bool got = readall(fd[0], &n, sizeof n) && n != UINT32_MAX && n < 1024;
    if (got) {
        o.v.resize(n);
        got = readall(fd[0], o.v.data(), n * sizeof(double));
    }
    close(fd[0]);
    int status = 0;
    rusage ru = {};
    while (wait4(pid, &status, 0, &ru) < 0 && errno == EINTR) {
    }
    o.ok = got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    o.rsskb = ru.ru_maxrss;
    return o;
}

// The stages of a conversion in the driver's order.
enum { ST_ALLOC, ST_INFLATE, ST_PATTERNS, ST_INSTR, ST_SAMPLES, ST_SONG, ST_WRITER, ST_REMOVE, ST_COUNT };
static const char* const STAGENAMES[ST_COUNT] = {
    "allocate records", "inflate (decodekzm)", "patterns", "instruments", "samples", "song header",
    "writer", "remove work file"};

static IMPM song;   // zero in every child, as the driver's static record

// The conversion exactly as the driver runs it: the same calls in the same order on the same
// allocations, with the console output left out. Reports the time of each stage.
static bool conversion(const std::string& stem, std::vector<double>& t)
{
    std::string kzm = stem + ".kzm", it = stem + ".it";
    double c[ST_COUNT + 1];
    c[0] = now();
    uint8_t* slotmap = (uint8_t*)calloc(KZM_MAXSLOTS, 1);
    IMPP* patterns = (IMPP*)calloc(KZM_MAXPATTERNS, sizeof(IMPP));
    IMPS* samples = (IMPS*)calloc(KZM_MAXSLOTS, sizeof(IMPS));
    if (!slotmap || !patterns || !samples)
        return false;
    c[1] = now();
    if (decodekzm(kzm.c_str(), KZM_WORKFILE) != 0)
        return false;
    c[2] = now();
    if (convertkzmpatterns(KZM_WORKFILE, patterns, &song) != KZM_OK)
        return false;
    c[3] = now();
    if (convertkzminstr(KZM_WORKFILE, samples, slotmap, &song) != KZM_OK)
        return false;
    c[4] = now();
    if (ripkzmsamples(KZM_WORKFILE, samples, slotmap) != KZM_OK)
        return false;
    c[5] = now();
    if (convertkzminfo(KZM_WORKFILE, &song) != KZM_OK)
        return false;
    c[6] = now();
    int written = writeit(it.c_str(), &song, patterns, samples);
    c[7] = now();
    remove(KZM_WORKFILE);
    c[8] = now();
    free(slotmap);
    for (int s = 0; s < ST_COUNT; s++)
        t.push_back(c[s + 1] - c[s]);
    return written == KZM_OK;
}

// zlib's inflation of the same stream to a file, opens and closes included: the yardstick.
static bool infalone(const std::string& stem, std::vector<double>& t)
{
    double t0 = now();
    FILE* src = fopen((stem + ".kzm").c_str(), "rb");
    FILE* dst = fopen("inf.out", "wb");
    if (!src || !dst || fseek(src, 24, SEEK_SET) != 0)
        return false;
    int ret = inf(src, dst);
    fclose(src);
    if (fclose(dst) != 0 || ret != 0)
        return false;
    t.push_back(now() - t0);
    return true;
}

// One stage on its own over the cached work file "stage.emx", on fresh records; the stages it
// depends on run first, untimed.
static bool stagealone(const std::string& stem, int stage, std::vector<double>& t)
{
    uint8_t* slotmap = (uint8_t*)calloc(KZM_MAXSLOTS, 1);
    IMPP* patterns = (IMPP*)calloc(KZM_MAXPATTERNS, sizeof(IMPP));
    IMPS* samples = (IMPS*)calloc(KZM_MAXSLOTS, sizeof(IMPS));
    if (!slotmap || !patterns || !samples)
        return false;
    const char* work = "stage.emx";
    bool ok = true;
    double t0 = 0, t1 = 0;
    switch (stage) {
    case ST_INFLATE:
        t0 = now();
        ok = decodekzm((stem + ".kzm").c_str(), "alone.emx") == 0;
        t1 = now();
        break;
    case ST_PATTERNS:
        t0 = now();
        ok = convertkzmpatterns(work, patterns, &song) == KZM_OK;
        t1 = now();
        break;
    case ST_INSTR:
        t0 = now();
        ok = convertkzminstr(work, samples, slotmap, &song) == KZM_OK;
        t1 = now();
        break;
    case ST_SAMPLES:
        ok = convertkzminstr(work, samples, slotmap, &song) == KZM_OK;
        t0 = now();
        ok = ok && ripkzmsamples(work, samples, slotmap) == KZM_OK;
        t1 = now();
        break;
    case ST_SONG:
        t0 = now();
        ok = convertkzminfo(work, &song) == KZM_OK;
        t1 = now();
        break;
    case ST_WRITER:
        ok = convertkzmpatterns(work, patterns, &song) == KZM_OK && convertkzminstr(work, samples, slotmap, &song) == KZM_OK &&
             ripkzmsamples(work, samples, slotmap) == KZM_OK && convertkzminfo(work, &song) == KZM_OK;
        t0 = now();
        ok = ok && writeit("alone.it", &song, patterns, samples) == KZM_OK;
        t1 = now();
        patterns = nullptr;
        samples = nullptr;
        break;
    default:
        return false;
    }
    free(slotmap);
    free(patterns);
    free(samples);
    t.push_back(t1 - t0);
    return ok;
}

static int nomatch(kzmchunk*, void*)
{
    return 0;
}

// The bare chunk scan over the cached work file, every match ignored: the floor of a reader's time.
static bool scanalone(const kzmprobe& probe, std::vector<double>& t)
{
    FILE* f = kzmopen("stage.emx");
    if (!f)
        return false;
    double t0 = now();
    kzmscanchunks(f, probe, nomatch, nullptr);
    t.push_back(now() - t0);
    fclose(f);
    return true;
}

// The built program itself, fed the name on standard input: its peak RSS and wall time.
static outcome runprogram(const char* program, const std::string& stem)
{
    outcome o;
    int in[2];
    if (pipe(in) != 0)
        return o;
    fflush(stdout);
    double t0 = now();
    pid_t pid = fork();
    if (pid < 0)
        return o;
    if (pid == 0) {
        close(in[1]);
        dup2(in[0], 0);
        close(in[0]);
        FILE* null = freopen("/dev/null", "w", stdout);
        (void)null;
        execl(program, program, (char*)nullptr);
        _exit(127);
    }
    close(in[0]);
    std::string line = stem + "\n";
    bool sent = writeall(in[1], line.data(), line.size());
    close(in[1]);
    int status = 0;
    rusage ru = {};
    while (wait4(pid, &status, 0, &ru) < 0 && errno == EINTR) {
    }
    o.v.push_back(now() - t0);
    o.ok = sent && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    o.rsskb = ru.ru_maxrss;
    return o;
}

static bool sameFiles(const std::string& a, const std::string& b)
{
    FILE* fa = fopen(a.c_str(), "rb");
    FILE* fb = fopen(b.c_str(), "rb");
    bool same = fa && fb;
    static uint8_t ba[1 << 16], bb[1 << 16];
    while (same) {
        size_t na = fread(ba, 1, sizeof ba, fa), nb = fread(bb, 1, sizeof bb, fb);
        if (na != nb || memcmp(ba, bb, na) != 0)
            same = false;
        if (na == 0)
            break;
    }
    if (fa)
        fclose(fa);
    if (fb)
        fclose(fb);
    return same;
}

static double filesize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (double)st.st_size : 0;
}

static double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

static std::string loadavg()
{
    char buf[128] = "?";
    FILE* f = fopen("/proc/loadavg", "r");
    if (f) {
        if (!fgets(buf, sizeof buf, f))
            strcpy(buf, "?");
        fclose(f);
    }
    std::string s = buf;
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

static const double MIB = 1048576.0;

// ---------------------------------------------------------------- one module

static bool allmet = true;

static void fail(const char* what)
{
    printf("  FAILED: %s\n", what);
    allmet = false;
}

static bool verbose = false;
static bool keep = false;   // leave the built modules and work files for profiling
static bool warm = true;

// Touches and frees bytes of memory in a child process just before a timed run. In a virtual
// machine that hands free guest memory back to the host, the first touch of such a page costs a
// host fault, several times the work of a page in use; memory just freed by this child is what
// the next run gets, so every run, yardstick and conversion alike, finds memory already backed.
static void warmup(double bytes)
{
    if (!warm)
        return;
    inchild([&](std::vector<double>&) {
        size_t n = (size_t)bytes;
        uint8_t* p = (uint8_t*)malloc(n);
        if (!p)
            return false;
        for (size_t i = 0; i < n; i += 4096)
            p[i] = 1;
        free(p);
        return true;
    });
}

static void printruns(const char* what, const std::vector<double>& t)
{
    if (!verbose)
        return;
    printf("    %-22s", what);
    for (double x : t)
        printf(" %7.1f", x * 1e3);
    printf("\n");
}

static void benchmodule(const moddef& m, int runs, const char* program, bool largest)
{
    const std::string stem = m.stem;
    printf("\n== %s\n", m.what);
    double t0 = now();
    modfacts facts = {};
    outcome built = inchild([&](std::vector<double>& r) {
        if (!buildmodule(m, facts))
            return false;
        r = {facts.worksize, facts.kzmsize, facts.instrscan};
        return true;
    });
    if (!built.ok || built.v.size() != 3) {
        fail("building the module");
        return;
    }
    facts = {built.v[0], built.v[1], built.v[2]};
    outcome prep = inchild([&](std::vector<double>&) { return decodekzm((stem + ".kzm").c_str(), "stage.emx") == 0; });
    if (!prep.ok || filesize("stage.emx") != facts.worksize) {
        fail("inflating the module");
        return;
    }
    printf("built in %.1f s: kzm %.1f MiB, work file %.1f MiB (%.0f bytes)\n", now() - t0, facts.kzmsize / MIB,
           facts.worksize / MIB, facts.worksize);

    // What a conversion takes of fresh memory: work file and IT file in the page cache, the records.
    const double warmbytes = 3 * facts.worksize + 32 * MIB;
    std::vector<double> tinf, tconv, ratios, stage[ST_COUNT], alone[ST_COUNT];
    std::vector<double> scan[3];
    const kzmprobe* probes[3] = {&KZM_PATTPROBE, &KZM_INSTPROBE, &KZM_SAMPPROBE};
    long rss = 0;
    bool identical = true;
    for (int run = 0; run < runs; run++) {
        outcome conv, plain;
        // Alternate which goes first, so that neither always meets the other's leftovers.
        for (int k = 0; k < 2; k++) {
            if ((k == 0) == (run % 2 == 0)) {
                warmup(warmbytes);
                plain = inchild([&](std::vector<double>& r) { return infalone(stem, r); });
                remove("inf.out");
            } else {
                remove((stem + ".it").c_str());
                warmup(warmbytes);
                conv = inchild([&](std::vector<double>& r) { return conversion(stem, r); });
            }
        }
        if (!plain.ok || !conv.ok || conv.v.size() != ST_COUNT) {
            fail("a conversion or an inflation");
            return;
        }
        double total = 0;
        for (int s = 0; s < ST_COUNT; s++) {
            stage[s].push_back(conv.v[s]);
            total += conv.v[s];
        }
        tconv.push_back(total);
        tinf.push_back(plain.v[0]);
        ratios.push_back(total / plain.v[0]);
        rss = std::max(rss, conv.rsskb);
        if (run == 0)
            rename((stem + ".it").c_str(), "first.it");
        else if (!sameFiles(stem + ".it", "first.it"))
            identical = false;

        for (int s = ST_INFLATE; s <= ST_WRITER; s++) {
            warmup(warmbytes);
            outcome o = inchild([&](std::vector<double>& r) { return stagealone(stem, s, r); });
            if (!o.ok || o.v.size() != 1) {
                fail(STAGENAMES[s]);
                return;
            }
            alone[s].push_back(o.v[0]);
        }
        remove("alone.emx");
        remove("alone.it");
        for (int p = 0; p < 3; p++) {
            warmup(warmbytes);
            outcome o = inchild([&](std::vector<double>& r) { return scanalone(*probes[p], r); });
            if (!o.ok || o.v.size() != 1) {
                fail("a bare scan");
                return;
            }
            scan[p].push_back(o.v[0]);
        }
    }
    remove((stem + ".it").c_str());
    warmup(warmbytes);
    outcome prog = runprogram(program, stem);
    bool progsame = prog.ok && sameFiles(stem + ".it", "first.it");

    double minf = median(tinf), mconv = median(tconv), ratio = mconv / minf;
    double mstage[ST_COUNT], sum = 0;
    for (int s = 0; s < ST_COUNT; s++)
        sum += mstage[s] = median(stage[s]);
    double itsize = filesize("first.it");
    printf("IT file %.1f MiB; %d runs, medians, in ms\n", itsize / MIB, runs);
    printf("inf alone to a file         %8.1f   (%.0f MB/s of work file)\n", minf * 1e3, facts.worksize / minf / 1e6);
    printf("conversion                  %8.1f   ratio conversion / inf alone %.2f (per run %.2f..%.2f; bar 1.50)\n",
           mconv * 1e3, ratio, *std::min_element(ratios.begin(), ratios.end()),
           *std::max_element(ratios.begin(), ratios.end()));
    printf("  %-24s %8s %6s %9s  %s\n", "stage", "in conv", "share", "alone", "scan throughput");
    const double scanned[3] = {facts.worksize, facts.instrscan, facts.worksize};
    const int reader[3] = {ST_PATTERNS, ST_INSTR, ST_SAMPLES};
    double worst = 1e30;
    for (int s = 0; s < ST_COUNT; s++) {
        printf("  %-24s %8.1f %5.1f%%", STAGENAMES[s], mstage[s] * 1e3, 100 * mstage[s] / sum);
        if (s >= ST_INFLATE && s <= ST_WRITER)
            printf(" %9.1f", median(alone[s]) * 1e3);
        else
            printf(" %9s", "-");
        for (int p = 0; p < 3; p++) {
            if (reader[p] != s)
                continue;
            double mbs = scanned[p] / median(alone[s]) / 1e6;
            worst = std::min(worst, mbs);
            printf("  %6.0f MB/s over %.1f MiB (bare scan %.0f MB/s)", mbs, scanned[p] / MIB,
                   facts.worksize / median(scan[p]) / 1e6);
        }
        printf("\n");
    }
    printruns("inf alone", tinf);
    printruns("conversion", tconv);
    for (int s = 0; s < ST_COUNT; s++)
        printruns(STAGENAMES[s], stage[s]);
    for (int s = ST_INFLATE; s <= ST_WRITER; s++)
        printruns((std::string(STAGENAMES[s]) + " alone").c_str(), alone[s]);
    for (int p = 0; p < 3; p++)
        printruns(p == 0 ? "bare scan PATT" : p == 1 ? "bare scan INST" : "bare scan SAMP", scan[p]);
    double rssmib = rss / 1024.0, progmib = prog.rsskb / 1024.0;
    double rssbar = largest ? facts.worksize / MIB + 32 : 40;
    printf("peak RSS of a conversion    %8.1f MiB (program kzm2it: %.1f MiB, %.0f ms); bar %s %.1f MiB\n", rssmib, progmib,
           prog.v.empty() ? 0.0 : prog.v[0] * 1e3, largest ? "work file + 32 =" : "under", rssbar);
    printf("output byte-identical over %d runs: %s; program's output identical: %s\n", runs, identical ? "yes" : "NO",
           progsame ? "yes" : "NO");
    if (largest && ratio > 1.5)
        fail("conversion over 1.5 x inf alone");
    if (worst < 1000)
        fail("a scanning reader under 1 GB/s");
    double peak = std::max(rssmib, progmib);
    if (largest ? peak > rssbar : peak >= rssbar)
        fail("peak RSS over its bar");
    if (!identical || !progsame)
        fail("outputs differ");
    remove("first.it");
    rename("stage.emx", (stem + ".emx").c_str());
}

// ---------------------------------------------------------------- main

static void usage()
{
    printf("usage: kzmbench [-n RUNS] [-d SCRATCH_PARENT] [-p KZM2IT] [-m largest|typical|all] [-v] [-k] [-c]\n"
           "  -v: print every run; -k: keep the scratch directory; -c: no memory warm-up before timed runs\n");
}

int main(int argc, char** argv)
{
    int runs = 7;
    std::string parent = "/tmp", which = "all";
    std::string program = KZM2IT_BIN;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (i + 1 < argc && a == "-n")
            runs = atoi(argv[++i]);
        else if (i + 1 < argc && a == "-d")
            parent = argv[++i];
        else if (i + 1 < argc && a == "-p")
            program = argv[++i];
        else if (i + 1 < argc && a == "-m")
            which = argv[++i];
        else if (a == "-v")
            verbose = true;
        else if (a == "-k")
            keep = true;
        else if (a == "-c")
            warm = false;
        else {
            usage();
            return 2;
        }
    }
    if (runs < 1 || (which != "all" && which != "largest" && which != "typical")) {
        usage();
        return 2;
    }
    if (program.find('/') != std::string::npos && program[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            program = std::string(cwd) + "/" + program;
    }
    for (int i = 0; i < 4096; i++)
        SINE[i] = (float)std::sin(2 * 3.14159265358979323846 * i / 4096);

    std::string dir = parent + "/kzmbench.XXXXXX";
    std::vector<char> tmpl(dir.begin(), dir.end());
    tmpl.push_back('\0');
    if (!mkdtemp(tmpl.data()) || chdir(tmpl.data()) != 0) {
        printf("cannot make a scratch directory under %s\n", parent.c_str());
        return 1;
    }
    printf("kzmbench: scratch %s, program %s\n", tmpl.data(), program.c_str());
    printf("load average before: %s\n", loadavg().c_str());
    if (which != "typical")
        benchmodule(LARGEST, runs, program.c_str(), true);
    if (which != "largest")
        benchmodule(TYPICAL, runs, program.c_str(), false);
    printf("\nload average after: %s\n", loadavg().c_str());
    if (keep) {
        printf("scratch directory %s kept\n", tmpl.data());
    } else {
        for (const char* stem : {LARGEST.stem, TYPICAL.stem})
            for (const char* ext : {".kzm", ".it", ".emx"})
                remove((std::string(stem) + ext).c_str());
        for (const char* f : {"inf.out", "alone.emx", "alone.it", "first.it", "stage.emx", KZM_WORKFILE})
            remove(f);
        if (chdir("/") != 0 || rmdir(tmpl.data()) != 0)
            printf("scratch directory %s left behind\n", tmpl.data());
    }
    printf("%s\n", allmet ? "all bars met" : "SOME BARS MISSED");
    return allmet ? 0 : 1;
}
