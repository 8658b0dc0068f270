// The program's two modes and the console helpers they share.
#pragma once
#include <cstdio>

// Converts the paths named on the command line (UTF-8); returns the exit status 0, 1 or 2.
int kzmbatch(int argc, char** argv);

// Formatted output to stdout or stderr. On a Windows console the UTF-8 text is shown as such;
// elsewhere its bytes are written as they are.
void kzmsay(FILE* stream, const char* fmt, ...);

// Reads and discards standard input up to and including the n-th newline, or to its end.
void kzmwaitlines(int n);

// True when the program has a console window of its own, as one started from a dropped file has.
bool kzmconsolealone();
