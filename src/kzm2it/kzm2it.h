// The program's two modes, each in a file of its own; main chooses one.
#pragma once

// Asks for one name, converts NAME.kzm into NAME.it and waits for Enter; returns the exit status 0.
int kzmdialogue();

// Converts the paths named on the command line (UTF-8); returns the exit status 0, 1 or 2.
int kzmbatch(int argc, char** argv);
