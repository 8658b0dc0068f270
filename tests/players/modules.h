// The modules that the player tests convert: source fields laid out with the test builder, and what every reader must find.
#pragma once
#include "kzbuild.h"

#include <string>
#include <vector>

// An IT pattern cell, in IT terms: note 0..119 (C-0..B-9), 255 note off, 254 note cut, 120..253 note fade;
// volume 0..64; cmd the IT command letter, 0 for none. NONE marks a field the cell does not have.
constexpr int NONE = -1;
struct kzp_cell {
    int note = NONE, ins = NONE, vol = NONE;
    char cmd = 0;
    int val = 0;
};

// A source entry written in row, and the IT cell that must stand at (row, channel) once converted.
// An entry with empty src only states what must stand there.
struct kzp_entry {
    int row;
    int channel;
    kzbytes src;
    kzp_cell want;
};

// A source pattern given by its entries. Its row data is, for each row below datarows, the row's entries in
// table order, then the end-of-row byte. Every cell of the checked rows (all rows when checkrows is empty)
// that no entry names must be empty.
struct kzp_pattern {
    uint8_t number;
    uint8_t lastrow;
    int datarows;
    std::vector<kzp_entry> entries;
    std::vector<int> checkrows;
};
kzbytes kzp_rowdata(const kzp_pattern& p);

// A sample as every reader must report it.
struct kzp_samplewant {
    long frames, loopbegin, loopend;
    bool wide, loop, pingpong;
    std::string name;
};

struct kzp_module {
    std::string name;
    kzbytes kzm;
    std::string title;
    int speed, tempo;
    std::vector<int> orders;             // the source order list
    std::vector<int> rows;               // rows of each pattern, by number, in every reader
    std::vector<kzp_samplewant> samples; // by slot
    std::vector<kzp_pattern> checked;    // patterns whose cells libopenmpt must show
    bool mikmodloads;                    // libmikmod accepts it
    double seconds;                      // duration that orders, rows, speed and tempo imply; 0: not checked
};

// Names of every module, of those whose duration is worked out, and one module by name (built on first use).
const std::vector<std::string>& kzp_module_names();
const std::vector<std::string>& kzp_timed_module_names();
const kzp_module& kzp_module_named(const std::string& name);
