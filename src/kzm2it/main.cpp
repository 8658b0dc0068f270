// The program: without arguments the console dialogue, which asks for one name; with arguments the batch mode.
#include "kzm.h"
#include "kzm2it.h"
#include "kzmpath.h"

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

enum { NAMECAP = 256 };   // longest typed name and its terminator
enum { WORD_OK, WORD_EOF, WORD_TOOLONG };

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

bool kzmconsolealone()
{
#ifdef _WIN32
    DWORD mode, pids[2];
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) && GetConsoleProcessList(pids, 2) == 1;
#else
    return false;
#endif
}

// Reads one whitespace-delimited word into name; the whitespace after it stays unread.
static int readword(char* name)
{
    int c;
    do
        c = getchar();
    while (c != EOF && isspace(c));
    if (c == EOF)
        return WORD_EOF;
    size_t n = 0;
    while (c != EOF && !isspace(c)) {
        if (n == NAMECAP - 1)
            return WORD_TOOLONG;
        name[n++] = (char)c;
        c = getchar();
    }
    if (c != EOF)
        ungetc(c, stdin);
    name[n] = '\0';
    return WORD_OK;
}

// The typed name as UTF-8: on Windows it comes in the console's code page, or the system's
// code page where there is no console.
static std::string typedname(const char* name)
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

// Dialogues in one folder share its work file, so each holds the folder's lock from inflation to
// the work file's removal and the next one waits. Where locking fails, the dialogue goes on without.
#ifdef _WIN32
typedef HANDLE folderlock;

// A named mutex for the folder: the name hashes its upper-cased full path (FNV-1a), as names are
// shorter than paths may be. A mutex whose holder ended without releasing it counts as taken.
static folderlock lockfolder()
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : kzmabspath("."))
        h = (h ^ c) * 0x100000001b3ull;
    char name[32];
    snprintf(name, sizeof name, "kzm2it-%08x%08x", (unsigned)(h >> 32), (unsigned)h);
    HANDLE m = CreateMutexW(nullptr, FALSE, kzmwide(name).c_str());
    if (m) {
        DWORD got = WaitForSingleObject(m, INFINITE);
        if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED)
            return m;
        CloseHandle(m);
    }
    return nullptr;
}

static void unlockfolder(folderlock m)
{
    if (m) {
        ReleaseMutex(m);
        CloseHandle(m);
    }
}
#else
typedef int folderlock;

// flock on the folder itself: no file of the folder is opened or closed for it.
static folderlock lockfolder()
{
    int fd = open(".", O_RDONLY);
    while (fd >= 0 && flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(fd);
            return -1;
        }
    }
    return fd;
}

static void unlockfolder(folderlock fd)
{
    if (fd >= 0)
        close(fd);
}
#endif

static void saving(void*)
{
    kzmsay(stdout, "Saving to Impulse Tracker file...\t");
    fflush(stdout);
}

// Asks for a name, converts NAME.kzm into NAME.it through temp.emx in the current folder and waits
// for Enter. Exit status 0 on every path: the messages tell what happened.
static int dialogue()
{
    kzmrecords r;
    if (!kzmalloc(&r)) {
        kzmsay(stdout, "Error: not enough memory!\n");
        return 0;
    }
    kzmsay(stdout, "[KZM to Impulse Tracker converter]\n");
    kzmsay(stdout, "[====== v0.3 build 100206 =======]\n");
    kzmsay(stdout, "[==== KZM to IT, sample mode ====]\n");
    kzmsay(stdout, "[====== inflates with zlib ======]\n");
    kzmsay(stdout, "[=== 99 samples, 199 patterns ===]\n");
    kzmsay(stdout, "[==== name without extension ====]\n");
    kzmsay(stdout, "[KZM to Impulse Tracker converter]\n\n");
    kzmsay(stdout, "Enter path and filename without kzm extension: ");
    fflush(stdout);

    char name[NAMECAP];
    int word = readword(name);
    if (word == WORD_TOOLONG)
        kzmsay(stdout, "Error: file name too long!\nPress Enter\n");
    if (word != WORD_OK) {
        kzmfree(&r);
        kzmwaitlines(word == WORD_EOF ? 0 : 2);
        return 0;
    }
    std::string base = typedname(name), in = base + ".kzm", out = base + ".it";
    kzmsay(stdout, "Extracting and converting...\n");
    fflush(stdout);
    folderlock lock = lockfolder();
    int ret = convertkzm(in.c_str(), KZM_WORKFILE, out.c_str(), &r, saving, nullptr);
    kzmfree(&r);
    if (ret == KZM_NOWORKFILE) {
        kzmsay(stdout, "Error loading decoded data");
        return 0;   // the work file stays; the lock ends with the program
    }
    if (ret == KZM_OK || ret == KZM_WRITEFAILED)
        kzmremove(KZM_WORKFILE);
    unlockfolder(lock);
    if (ret == KZM_NOINPUT)
        kzmsay(stdout, "Error: %s\n", "can't open KZM file!");
    if (ret == KZM_WORKFAILED)
        kzmsay(stdout, "Error: %s\n", "can't create file!");
    if (ret == KZM_NOINPUT || ret == KZM_WORKFAILED || ret == KZM_DAMAGED)
        kzmsay(stdout, "%s decompression failed!\nPress Enter\n", in.c_str());
    if (ret == KZM_WRITEFAILED)
        kzmsay(stdout, "Error: can't write IT file!\nPress Enter\n");
    if (ret == KZM_OK)
        kzmsay(stdout, "DONE");
    kzmwaitlines(2);
    return 0;
}

#ifdef _WIN32
// Arguments come as the system's wide strings; inside the program every path is UTF-8.
int wmain(int argc, wchar_t** wargv)
{
    if (argc < 2)
        return dialogue();
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
    return argc < 2 ? dialogue() : kzmbatch(argc, argv);
}
#endif
