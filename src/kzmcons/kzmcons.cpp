// Console text on POSIX systems and on a Windows console, whose own calls show any letter.
#include "kzmcons.h"

#include <cstdarg>

#ifdef _WIN32
#include <windows.h>

#include "kzmpath.h"
#endif

void kzmsay(FILE* stream, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
#ifdef _WIN32
    va_list again;
    va_copy(again, ap);
    int n = vsnprintf(nullptr, 0, fmt, ap);
    std::string text(n > 0 ? (size_t)n : 0, '\0');
    if (n > 0)
        vsnprintf(&text[0], text.size() + 1, fmt, again);
    va_end(again);
    HANDLE h = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode;
    if (GetConsoleMode(h, &mode)) {
        std::wstring w = kzmwide(text.c_str());
        DWORD done;
        fflush(stream);
        WriteConsoleW(h, w.c_str(), (DWORD)w.size(), &done, nullptr);
    } else {
        fputs(text.c_str(), stream);
    }
#else
    vfprintf(stream, fmt, ap);
#endif
    va_end(ap);
}

void kzmwaitlines(int n)
{
    fflush(stdout);
    for (int lines = 0; lines < n; lines++) {
        int c;
        do
            c = getchar();
        while (c != EOF && c != '\n');
        if (c == EOF)
            return;
    }
}

void kzmholdconsole()
{
#ifdef _WIN32
    DWORD mode, pids[2];
    if (GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) && GetConsoleProcessList(pids, 2) == 1) {
        kzmsay(stdout, "Press Enter\n");
        kzmwaitlines(1);
    }
#endif
}

std::string kzmtypedname(const char* name)
{
#ifdef _WIN32
    UINT cp = GetConsoleCP();
    int n = MultiByteToWideChar(cp ? cp : CP_ACP, 0, name, -1, nullptr, 0);
    std::wstring w(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(cp ? cp : CP_ACP, 0, name, -1, &w[0], n);
    return kzmutf8(w.c_str());
#else
    return name;
#endif
}
