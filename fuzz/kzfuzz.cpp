// The conversion as the driver runs it, for the fuzz targets: files in a private directory, records as main allocates them.
#include "kzfuzz.h"
#include "itcheck.h"
#include "kzbuild.h"
#include "kzm.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sanitizer/asan_interface.h>
#include <string>
#include <sys/mman.h>
#include <system_error>
#include <unistd.h>
#include <vector>

[[noreturn]] static void kzf_fail(const char* what, const std::string& detail = "")
{
    fprintf(stderr, "kzm fuzz: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    abort();
}

// The IMPP and IMPS arrays, calloc'ed at full size as main does, but once per process: the sanitizer
// poisons and unpoisons the whole shadow of a fresh 104 MB block on every calloc and free, which would
// cost tens of milliseconds a run. The fuzz targets are linked with --wrap=free, so the writer's free()
// of an array lands in __wrap_free, which zeroes the block (dropping its touched pages, so that the next
// run finds lazily zeroed pages as calloc gives them) and poisons it: any use after the release is
// reported, as a use after free would be. Releasing twice, or leaving a run's arrays unreleased, aborts;
// the blocks keep the redzones of their one real calloc.
namespace {
struct block {
    void* p;
    size_t size;
    bool live;
};
block records[2];   // IMPP array, IMPS array
}

static void* kzf_alloc(block& b, size_t n, size_t size)
{
    if (b.live)
        kzf_fail("the writer did not release the record arrays of the run before");
    if (!b.p) {
        b.p = calloc(n, size);
        b.size = n * size;
        if (!b.p)
            kzf_fail("records cannot be allocated");
    } else {
        ASAN_UNPOISON_MEMORY_REGION(b.p, b.size);
    }
    b.live = true;
    return b.p;
}

static void kzf_zero(const block& b)
{
    const uintptr_t page = (uintptr_t)sysconf(_SC_PAGESIZE);
    uintptr_t begin = (uintptr_t)b.p, end = begin + b.size;
    uintptr_t inner = (begin + page - 1) & ~(page - 1), outer = end & ~(page - 1);
    if (inner >= outer || madvise((void*)inner, outer - inner, MADV_DONTNEED) != 0) {
        memset(b.p, 0, b.size);
        return;
    }
    memset((void*)begin, 0, inner - begin);
    memset((void*)outer, 0, end - outer);
}

extern "C" void __real_free(void* p);
extern "C" void __wrap_free(void* p)
{
    for (block& b : records) {
        if (p && p == b.p) {
            if (!b.live)
                kzf_fail("a record array released twice");
            kzf_zero(b);
            ASAN_POISON_MEMORY_REGION(b.p, b.size);
            b.live = false;
            return;
        }
    }
    __real_free(p);
}

// One directory per process (libFuzzer's -fork and -jobs run several), under TMPDIR, removed at exit.
// Its name is never destroyed: static destructors run before this earlier registered atexit handler.
static const std::string& kzf_dir()
{
    static const std::string* dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kzmfuzz-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            kzf_fail("cannot make a directory under", tmpl);
        atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(kzf_dir(), ec);
        });
        return new std::string(tmpl);
    }();
    return *dir;
}

// Runs the four readers and the writer on the work file at workpath, in the driver's order, and checks
// the IT file's structure. The work file exists, so every reader must return KZM_OK, and the private
// directory takes the output, so writeit must too.
static void kzf_readandwrite(const std::string& workpath)
{
    const std::string outpath = kzf_dir() + "/out.it";
    uint8_t* slotmap = (uint8_t*)calloc(KZM_MAXSLOTS, 1);
    IMPP* patterns = (IMPP*)kzf_alloc(records[0], KZM_MAXPATTERNS, sizeof(IMPP));
    IMPS* samples = (IMPS*)kzf_alloc(records[1], KZM_MAXSLOTS, sizeof(IMPS));
    if (!slotmap)
        kzf_fail("records cannot be allocated");
    IMPM song = {};
    const char* work = workpath.c_str();
    if (convertkzmpatterns(work, patterns, &song) != KZM_OK)
        kzf_fail("convertkzmpatterns failed");
    if (convertkzminstr(work, samples, slotmap, &song) != KZM_OK)
        kzf_fail("convertkzminstr failed");
    if (ripkzmsamples(work, samples, slotmap) != KZM_OK)
        kzf_fail("ripkzmsamples failed");
    if (convertkzminfo(work, &song) != KZM_OK)
        kzf_fail("convertkzminfo failed");
    if (writeit(outpath.c_str(), &song, patterns, samples) != KZM_OK)
        kzf_fail("writeit failed");
    free(slotmap);
    if (records[0].live || records[1].live)
        kzf_fail("the writer did not release the record arrays");
    std::string fault = itcheck(kzb_readfile(outpath));
    if (!fault.empty())
        kzf_fail("malformed IT file", fault);
    remove(outpath.c_str());
}

void kzf_runkzm(const uint8_t* data, size_t size)
{
    const std::string inpath = kzf_dir() + "/in.kzm";
    const std::string workpath = kzf_dir() + "/" + KZM_WORKFILE;
    kzb_writefile(inpath, kzbytes(data, data + size));
    if (decodekzm(inpath.c_str(), workpath.c_str()) == 0)
        kzf_readandwrite(workpath);
    remove(inpath.c_str());
    remove(workpath.c_str());
}

void kzf_runwork(const uint8_t* data, size_t size)
{
    const std::string workpath = kzf_dir() + "/" + KZM_WORKFILE;
    kzb_writefile(workpath, kzbytes(data, data + size));
    kzf_readandwrite(workpath);
    remove(workpath.c_str());
}
