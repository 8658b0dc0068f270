// Converts modules through the program and opens the IT files it writes with libopenmpt, libxmp and libmikmod.
#pragma once
#include "kzbuild.h"

#include <libopenmpt/libopenmpt.h>
#include <xmp.h>

#include <string>
#include <vector>

// Runs the program on kzm as a user would (scratch directory, typed name) and returns the IT file it
// wrote; empty, with a test failure recorded, when the run did not end in DONE with a file.
kzbytes kzp_convert(const kzbytes& kzm);

// A sample as a reader reports it.
struct kzp_sample {
    long frames = 0, loopbegin = 0, loopend = 0;
    bool wide = false, loop = false, pingpong = false;
    std::string name;
};

// What one reader reports about a whole module, in its own numbering.
struct kzp_view {
    bool loaded = false;
    std::string error;             // why it refused the file
    std::string log;               // anything it logged or warned about while loading
    std::string title;
    int speed = 0, tempo = 0;
    std::vector<int> orders;       // the order list as the reader holds it
    std::vector<int> rows;         // rows of each pattern
    int samples = 0;
    std::vector<kzp_sample> smp;   // per sample; libopenmpt's C API gives names only
    double seconds = -1;           // the reader's own duration of the song; -1 when it has none
};

kzp_view kzp_openmpt(const kzbytes& it);
kzp_view kzp_xmp(const kzbytes& it);
kzp_view kzp_mikmod(const kzbytes& it);
int kzp_mikmod_errno();            // libmikmod's error code after the last kzp_mikmod that refused

// A module open in libopenmpt, for pattern queries and rendering.
struct kzp_mpt {
    openmpt_module* mod = nullptr;
    explicit kzp_mpt(const kzbytes& it);
    ~kzp_mpt();
    kzp_mpt(const kzp_mpt&) = delete;
    kzp_mpt& operator=(const kzp_mpt&) = delete;
};

// A module loaded in libxmp, for pattern events and rendering.
struct kzp_xmpmod {
    xmp_context ctx;
    bool loaded = false;
    xmp_module* mod = nullptr;
    explicit kzp_xmpmod(const kzbytes& it);
    ~kzp_xmpmod();
    kzp_xmpmod(const kzp_xmpmod&) = delete;
    kzp_xmpmod& operator=(const kzp_xmpmod&) = delete;
};
