// Files and folders by UTF-8 name on every platform: on Windows each name becomes a wide string here.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
constexpr char KZM_SEP = '\\';
std::string kzmutf8(const wchar_t* s);   // UTF-16 to UTF-8
std::wstring kzmwide(const char* s);     // UTF-8 to UTF-16
#else
constexpr char KZM_SEP = '/';
#endif

FILE* kzmfopen(const char* path, const char* mode);
int kzmremove(const char* path);
bool kzmisdir(const char* path);
bool kzmisfile(const char* path);   // exists and is not a folder

// Moves from over to, replacing a file of that name (a symbolic link itself, not its target).
// On Windows it retries for about a second while another program has that file open.
bool kzmreplace(const char* from, const char* to);

// Creates a new file of a unique name in dir, exclusively, and opens it for binary writing; *path
// receives its name. On POSIX systems it is readable by its owner alone, or with shared as any new
// file (0666 less the umask); on Windows it takes the folder's. nullptr when none can be made there.
FILE* kzmtempfile(const std::string& dir, std::string* path, bool shared);

// The folder of the work files: TMPDIR, else /tmp; on Windows the system's temporary folder.
std::string kzmtempdir();

// The names, without folder, of the entries of dir that are not folders; false when dir cannot be read.
bool kzmlistdir(const std::string& dir, std::vector<std::string>* names);

// A path as given, with each / as the system's separator: on Windows \\, elsewhere unchanged.
std::string kzmnativepath(std::string path);

// The folder part of path ("." for a bare name) and dir joined with name by KZM_SEP.
std::string kzmdirname(const std::string& path);
std::string kzmjoin(const std::string& dir, const std::string& name);

// path made absolute with its folder's links resolved, so that two names of one file compare equal;
// upper-cased on Windows, whose names ignore case. The last component stays as given.
std::string kzmabspath(const std::string& path);

// The current folder's lock, which dialogues in one folder take in turn, as they share its work file.
// kzmlockfolder waits for it; where locking fails it returns KZM_NOLOCK and the caller goes on without.
// The lock ends with kzmunlockfolder or with the program.
#ifdef _WIN32
typedef void* kzmfolderlock;
constexpr kzmfolderlock KZM_NOLOCK = nullptr;
#else
typedef int kzmfolderlock;
enum : kzmfolderlock { KZM_NOLOCK = -1 };
#endif
kzmfolderlock kzmlockfolder();
void kzmunlockfolder(kzmfolderlock lock);
