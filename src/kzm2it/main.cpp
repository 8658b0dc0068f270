// The program's entry: without arguments the console dialogue, with arguments the batch mode.
#include "kzm2it.h"

#ifdef _WIN32
#include <string>
#include <vector>

#include "kzmpath.h"

// Arguments come as the system's wide strings; inside the program every path is UTF-8.
int wmain(int argc, wchar_t** wargv)
{
    if (argc < 2)
        return kzmdialogue();
    std::vector<std::string> args;
    std::vector<char*> argv;
    for (int i = 0; i < argc; i++)
        args.push_back(kzmutf8(wargv[i]));
    for (auto& a : args)
        argv.push_back(&a[0]);
    return kzmbatch(argc, argv.data());
}
#else
int main(int argc, char** argv)
{
    return argc < 2 ? kzmdialogue() : kzmbatch(argc, argv);
}
#endif
