// Console text for both modes: output that shows UTF-8 names on a Windows console, typed input.
#pragma once
#include <cstdio>
#include <string>

// Formatted output to stdout or stderr. On a Windows console the UTF-8 text is shown as such;
// elsewhere its bytes are written as they are.
void kzmsay(FILE* stream, const char* fmt, ...);

// Reads and discards standard input up to and including the n-th newline, or to its end.
void kzmwaitlines(int n);

// When the program has a console window of its own, as one started from a dropped file has on
// Windows, asks for Enter and waits for it, so that the window stays open to be read.
void kzmholdconsole();

// A name typed at the console, as UTF-8: on Windows it comes in the console's code page, or the
// system's code page where there is no console; elsewhere it is taken as it is.
std::string kzmtypedname(const char* name);
