// Files and folders by UTF-8 name: POSIX calls, or on Windows the wide-string calls of the system.
#include "kzmpath.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

static bool issep(char c)
{
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

std::string kzmdirname(const std::string& path)
{
    size_t i = path.size();
    while (i > 0 && !issep(path[i - 1]))
        i--;
    if (i == 0)
        return ".";
    // Keep the separator of a root ("/", "C:\") so that the folder stays the root.
#ifdef _WIN32
    bool root = i == 1 || (i == 3 && path[1] == ':');
#else
    bool root = i == 1;
#endif
    return path.substr(0, root ? i : i - 1);
}

std::string kzmnativepath(std::string path)
{
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '/', '\\');
#endif
    return path;
}

std::string kzmjoin(const std::string& dir, const std::string& name)
{
    return dir.empty() || issep(dir.back()) ? dir + name : dir + KZM_SEP + name;
}

#ifdef _WIN32

std::string kzmutf8(const wchar_t* s)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s, -1, &out[0], n, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

std::wstring kzmwide(const char* s)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    std::wstring out(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s, -1, &out[0], n);
    out.resize(out.size() - 1);
    return out;
}

FILE* kzmfopen(const char* path, const char* mode)
{
    return _wfopen(kzmwide(path).c_str(), kzmwide(mode).c_str());
}

int kzmremove(const char* path)
{
    return _wremove(kzmwide(path).c_str());
}

static DWORD attributes(const char* path)
{
    return GetFileAttributesW(kzmwide(path).c_str());
}

bool kzmisdir(const char* path)
{
    DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool kzmisfile(const char* path)
{
    DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool kzmreplace(const char* from, const char* to)
{
    std::wstring f = kzmwide(from), t = kzmwide(to);
    for (int tries = 0; tries < 20; tries++) {
        if (MoveFileExW(f.c_str(), t.c_str(), MOVEFILE_REPLACE_EXISTING))
            return true;
        DWORD e = GetLastError();
        if (e != ERROR_ACCESS_DENIED && e != ERROR_SHARING_VIOLATION && e != ERROR_LOCK_VIOLATION)
            return false;
        Sleep(50);
    }
    return false;
}

FILE* kzmtempfile(const std::string& dir, std::string* path, bool)
{
    wchar_t name[MAX_PATH];
    if (!GetTempFileNameW(kzmwide(dir.c_str()).c_str(), L"kzm", 0, name))
        return nullptr;
    *path = kzmutf8(name);
    FILE* f = _wfopen(name, L"wb");
    if (!f)
        DeleteFileW(name);
    return f;
}

std::string kzmtempdir()
{
    wchar_t dir[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, dir);
    return n > 0 && n <= MAX_PATH ? kzmutf8(dir) : std::string(".");
}

bool kzmlistdir(const std::string& dir, std::vector<std::string>* names)
{
    WIN32_FIND_DATAW e;
    HANDLE h = FindFirstFileW(kzmwide(kzmjoin(dir, "*").c_str()).c_str(), &e);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (!(e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names->push_back(kzmutf8(e.cFileName));
    } while (FindNextFileW(h, &e));
    FindClose(h);
    return true;
}

std::string kzmabspath(const std::string& path)
{
    std::wstring p = kzmwide(path.c_str());
    DWORD n = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
    std::wstring full(n ? n : 1, L'\0');
    n = GetFullPathNameW(p.c_str(), n, &full[0], nullptr);
    full.resize(n);
    if (!full.empty())
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, full.c_str(), (int)full.size(), &full[0],
                     (int)full.size());
    return kzmutf8(full.c_str());
}

// A named mutex for the folder: the name hashes its upper-cased full path (FNV-1a), as names are
// shorter than paths may be. A mutex whose holder ended without releasing it counts as taken.
kzmfolderlock kzmlockfolder()
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
    return KZM_NOLOCK;
}

void kzmunlockfolder(kzmfolderlock lock)
{
    if (lock != KZM_NOLOCK) {
        ReleaseMutex(lock);
        CloseHandle(lock);
    }
}


#else

FILE* kzmfopen(const char* path, const char* mode)
{
    return fopen(path, mode);
}

int kzmremove(const char* path)
{
    return remove(path);
}

bool kzmisdir(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool kzmisfile(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && !S_ISDIR(st.st_mode);
}

bool kzmreplace(const char* from, const char* to)
{
    return rename(from, to) == 0;
}

#ifdef __EMSCRIPTEN__
// In kzmnode.js: the process's umask under Node, whose runtime's own umask masks everything.
extern "C" int kzmnodeumask();

static mode_t currentumask()
{
    return (mode_t)kzmnodeumask();
}
#else
static mode_t currentumask()
{
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}
#endif

FILE* kzmtempfile(const std::string& dir, std::string* path, bool shared)
{
    std::string name = kzmjoin(dir, "kzm2it-XXXXXX");
    int fd = mkstemp(&name[0]);
    if (fd < 0)
        return nullptr;
    *path = name;
    FILE* f = !shared || fchmod(fd, 0666 & ~currentumask()) == 0 ? fdopen(fd, "wb") : nullptr;
    if (!f) {
        close(fd);
        remove(name.c_str());
    }
    return f;
}

std::string kzmtempdir()
{
    const char* dir = getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

bool kzmlistdir(const std::string& dir, std::vector<std::string>* names)
{
    DIR* d = opendir(dir.c_str());
    if (!d)
        return false;
    while (dirent* e = readdir(d)) {
        if (kzmisfile(kzmjoin(dir, e->d_name).c_str()))
            names->push_back(e->d_name);
    }
    closedir(d);
    return true;
}

std::string kzmabspath(const std::string& path)
{
    std::string dir = kzmdirname(path), name = path.substr(path.find_last_of('/') + 1);
    char real[PATH_MAX];
    if (!realpath(dir.c_str(), real))
        return path;
    return kzmjoin(real, name);
}

#ifdef __EMSCRIPTEN__
// In kzmnode.js: under Node, whose runtime's flock locks nothing, a lock file in the temporary folder.
extern "C" int kzmnodelock();
extern "C" void kzmnodeunlock();

kzmfolderlock kzmlockfolder()
{
    return kzmnodelock() ? 0 : KZM_NOLOCK;
}

void kzmunlockfolder(kzmfolderlock lock)
{
    if (lock != KZM_NOLOCK)
        kzmnodeunlock();
}
#else
// flock on the folder itself: no file of the folder is opened or closed for it.
kzmfolderlock kzmlockfolder()
{
    int fd = open(".", O_RDONLY);
    while (fd >= 0 && flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(fd);
            return KZM_NOLOCK;
        }
    }
    return fd;
}

void kzmunlockfolder(kzmfolderlock lock)
{
    if (lock != KZM_NOLOCK)
        close(lock);
}
#endif
#endif
