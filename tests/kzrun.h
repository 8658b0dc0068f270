// Runs the built program as a user would: in a scratch directory, with a typed line on standard input.
#pragma once
#include <string>

struct kzr_result {
    std::string out;   // everything the program printed on standard output
    int status;        // exit status, or -1 when it did not exit normally
};

// A new empty directory for one test; removed by kzr_cleanup.
std::string kzr_scratch();
void kzr_cleanup(const std::string& dir);

// Runs the program in dir with input as its whole standard input: the native build, or the command
// line in the environment variable KZM2IT_CMD (see kzrun.cpp).
kzr_result kzr_run(const std::string& dir, const std::string& input);

bool kzr_exists(const std::string& path);

// The console text before the first thing the program reads: banner and prompt.
extern const char* const KZR_BANNER;
