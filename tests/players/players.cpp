// Converts modules through the program and opens the IT files it writes with libopenmpt, libxmp and libmikmod.
#include "players.h"
#include "kzrun.h"

#include <gtest/gtest.h>
#include <mikmod.h>

#include <cstdlib>

kzbytes kzp_convert(const kzbytes& kzm)
{
    std::string dir = kzr_scratch();
    kzb_writefile(dir + "/song.kzm", kzm);
    kzr_result r = kzr_run(dir, "song\n");
    kzbytes it;
    const std::string done = "Saving to Impulse Tracker file...\tDONE";
    if (r.out.size() < done.size() || r.out.compare(r.out.size() - done.size(), done.size(), done) != 0)
        ADD_FAILURE() << "the conversion did not end in DONE:\n" << r.out;
    else if (!kzr_exists(dir + "/song.it"))
        ADD_FAILURE() << "no song.it after DONE";
    else
        it = kzb_readfile(dir + "/song.it");
    kzr_cleanup(dir);
    return it;
}

// libopenmpt hands out strings that the caller releases.
static std::string mptstring(const char* s)
{
    std::string copy = s ? s : "";
    openmpt_free_string(s);
    return copy;
}

static void mptlog(const char* message, void* user)
{
    *static_cast<std::string*>(user) += std::string(message) + "\n";
}

static openmpt_module* mptopen(const kzbytes& it, std::string* log, std::string* error)
{
    int code = 0;
    const char* message = nullptr;
    openmpt_module* mod = openmpt_module_create_from_memory2(it.data(), it.size(), log ? mptlog : openmpt_log_func_silent,
                                                             log, openmpt_error_func_store, nullptr, &code, &message,
                                                             nullptr);
    std::string text = mptstring(message);
    if (!mod && error)
        *error = "libopenmpt error " + std::to_string(code) + ": " + text;
    return mod;
}

kzp_mpt::kzp_mpt(const kzbytes& it) : mod(mptopen(it, nullptr, nullptr)) {}

kzp_mpt::~kzp_mpt()
{
    if (mod)
        openmpt_module_destroy(mod);
}

kzp_view kzp_openmpt(const kzbytes& it)
{
    kzp_view v;
    openmpt_module* mod = mptopen(it, &v.log, &v.error);
    if (!mod)
        return v;
    v.loaded = true;
    v.log += mptstring(openmpt_module_get_metadata(mod, "warnings"));
    v.title = mptstring(openmpt_module_get_metadata(mod, "title"));
    v.speed = openmpt_module_get_current_speed(mod);
    v.tempo = openmpt_module_get_current_tempo(mod);
    for (int32_t o = 0; o < openmpt_module_get_num_orders(mod); o++)
        v.orders.push_back(openmpt_module_get_order_pattern(mod, o));
    for (int32_t p = 0; p < openmpt_module_get_num_patterns(mod); p++)
        v.rows.push_back(openmpt_module_get_pattern_num_rows(mod, p));
    v.samples = openmpt_module_get_num_samples(mod);
    for (int32_t s = 0; s < v.samples; s++) {
        kzp_sample smp;
        smp.name = mptstring(openmpt_module_get_sample_name(mod, s));
        v.smp.push_back(smp);
    }
    v.seconds = openmpt_module_get_duration_seconds(mod);
    openmpt_module_destroy(mod);
    return v;
}

kzp_xmpmod::kzp_xmpmod(const kzbytes& it) : ctx(xmp_create_context())
{
    loaded = xmp_load_module_from_memory(ctx, it.data(), (long)it.size()) == 0;
    if (loaded) {
        xmp_module_info info;
        xmp_get_module_info(ctx, &info);
        mod = info.mod;
    }
}

kzp_xmpmod::~kzp_xmpmod()
{
    if (loaded)
        xmp_release_module(ctx);
    xmp_free_context(ctx);
}

kzp_view kzp_xmp(const kzbytes& it)
{
    kzp_view v;
    kzp_xmpmod x(it);
    if (!x.loaded) {
        v.error = "libxmp refused the file";
        return v;
    }
    v.loaded = true;
    v.title = x.mod->name;
    v.speed = x.mod->spd;
    v.tempo = x.mod->bpm;
    v.orders.assign(x.mod->xxo, x.mod->xxo + x.mod->len);
    for (int p = 0; p < x.mod->pat; p++)
        v.rows.push_back(x.mod->xxp[p]->rows);
    v.samples = x.mod->smp;
    for (int s = 0; s < x.mod->smp; s++) {
        const xmp_sample& xs = x.mod->xxs[s];
        kzp_sample smp;
        smp.frames = xs.len;
        smp.loopbegin = xs.lps;
        smp.loopend = xs.lpe;
        smp.wide = xs.flg & XMP_SAMPLE_16BIT;
        smp.loop = xs.flg & XMP_SAMPLE_LOOP;
        smp.pingpong = xs.flg & XMP_SAMPLE_LOOP_BIDIR;
        // In sample mode libxmp keeps the sample's name on the instrument it makes for it.
        if (s < x.mod->ins)
            smp.name = x.mod->xxi[s].name;
        v.smp.push_back(smp);
    }
    xmp_module_info info;
    xmp_get_module_info(x.ctx, &info);
    if (info.num_sequences > 0)
        v.seconds = info.seq_data[0].duration / 1000.0;
    return v;
}

// libmikmod is global: one driver ("no sound") and every loader, registered once per process.
static bool mikmodready()
{
    static bool ready = [] {
        MikMod_RegisterDriver(&drv_nos);
        MikMod_RegisterAllLoaders();
        if (MikMod_Init(""))
            return false;
        atexit(MikMod_Exit);
        return true;
    }();
    return ready;
}

static int mikmoderror = 0;

int kzp_mikmod_errno()
{
    return mikmoderror;
}

kzp_view kzp_mikmod(const kzbytes& it)
{
    kzp_view v;
    if (!mikmodready()) {
        v.error = "libmikmod did not initialise";
        return v;
    }
    MikMod_errno = 0;
    MODULE* mod = Player_LoadMem(reinterpret_cast<const char*>(it.data()), (int)it.size(), 64, 0);
    if (!mod) {
        mikmoderror = MikMod_errno;
        v.error = std::string("libmikmod: ") + MikMod_strerror(MikMod_errno);
        return v;
    }
    v.loaded = true;
    v.title = mod->songname ? mod->songname : "";
    v.speed = mod->initspeed;
    v.tempo = mod->inittempo;
    v.orders.assign(mod->positions, mod->positions + mod->numpos);
    v.rows.assign(mod->pattrows, mod->pattrows + mod->numpat);
    v.samples = mod->numsmp;
    for (int s = 0; s < mod->numsmp; s++) {
        const SAMPLE& ms = mod->samples[s];
        kzp_sample smp;
        smp.frames = (long)ms.length;
        smp.loopbegin = (long)ms.loopstart;
        smp.loopend = (long)ms.loopend;
        smp.wide = ms.inflags & SF_16BITS;   // flags is the format in memory, always 16-bit here
        smp.loop = ms.flags & SF_LOOP;
        smp.pingpong = ms.flags & SF_BIDI;
        smp.name = ms.samplename ? ms.samplename : "";
        v.smp.push_back(smp);
    }
    Player_Free(mod);
    return v;
}
