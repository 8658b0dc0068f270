// Runs the built program as a user would: in a scratch directory, with a typed line on standard input.
#include "kzrun.h"
#include "kzbuild.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sys/wait.h>

namespace fs = std::filesystem;

const char* const KZR_BANNER =
    "[KZM to Impulse Tracker converter]\n"
    "[====== v0.3 build 100206 =======]\n"
    "[==== KZM to IT, sample mode ====]\n"
    "[====== inflates with zlib ======]\n"
    "[=== 99 samples, 199 patterns ===]\n"
    "[==== name without extension ====]\n"
    "[KZM to Impulse Tracker converter]\n"
    "\n"
    "Enter path and filename without kzm extension: ";

std::string kzr_scratch()
{
    std::string tmpl = (fs::temp_directory_path() / "kzm2it-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        abort();
    return tmpl;
}

void kzr_cleanup(const std::string& dir)
{
    std::error_code ec;
    fs::remove_all(dir, ec);
}

// Runs command, a shell command line, in dir with input as its standard input.
static kzr_result runin(const std::string& dir, const std::string& command, const std::string& input)
{
    std::string in = dir + "/../" + fs::path(dir).filename().string() + ".stdin";
    std::string out = dir + "/../" + fs::path(dir).filename().string() + ".stdout";
    kzb_writefile(in, kzbytes(input.begin(), input.end()));
    std::string cmd = "cd '" + dir + "' && " + command + " < '" + in + "' > '" + out + "'";
    int rc = system(cmd.c_str());
    kzbytes printed = kzb_readfile(out);
    fs::remove(in);
    fs::remove(out);
    return {std::string(printed.begin(), printed.end()), WIFEXITED(rc) ? WEXITSTATUS(rc) : -1};
}

// Every file and folder under dir by relative path, with a file's bytes.
static std::map<std::string, std::string> snapshot(const std::string& dir)
{
    std::map<std::string, std::string> all;
    for (auto& e : fs::recursive_directory_iterator(dir)) {
        std::string rel = e.path().lexically_relative(dir).string();
        if (e.is_directory()) {
            all[rel] = "(folder)";
        } else {
            kzbytes b = kzb_readfile(e.path().string());
            all[rel] = std::string(b.begin(), b.end());
        }
    }
    return all;
}

// KZM2IT_CMD in the environment, when set, is the shell command line that runs another build of the
// program instead of the native one, e.g. "wine /path/kzm2it.exe". Its output is taken with CR LF
// line ends as LF. The native build then also runs, on a copy of dir, and any difference in what it
// printed, its exit status or the files it left is appended to the output, so that the test's check of
// the output fails and names the difference.
kzr_result kzr_run(const std::string& dir, const std::string& input)
{
    const char* other = getenv("KZM2IT_CMD");
    if (!other || !*other)
        return runin(dir, "'" KZM2IT_BIN "'", input);

    std::string copy = dir + ".native";
    fs::copy(dir, copy, fs::copy_options::recursive);
    kzr_result native = runin(copy, "'" KZM2IT_BIN "'", input);
    kzr_result r = runin(dir, other, input);
    std::string out;
    for (size_t i = 0; i < r.out.size(); i++)
        if (!(r.out[i] == '\r' && i + 1 < r.out.size() && r.out[i + 1] == '\n'))
            out += r.out[i];
    r.out = out;

    std::string diffs;
    if (r.out != native.out)
        diffs += "\n[differs from the native build: output]";
    if (r.status != native.status)
        diffs += "\n[differs from the native build: exit status " + std::to_string(native.status) + "]";
    auto mine = snapshot(dir);
    auto theirs = snapshot(copy);
    for (auto& [path, bytes] : theirs) {
        auto it = mine.find(path);
        if (it == mine.end() || it->second != bytes)
            diffs += "\n[differs from the native build: " + path + "]";
    }
    for (auto& entry : mine)
        if (!theirs.count(entry.first))
            diffs += "\n[differs from the native build: " + entry.first + " is left only by this build]";
    kzr_cleanup(copy);
    r.out += diffs;
    return r;
}

bool kzr_exists(const std::string& path)
{
    return fs::exists(fs::symlink_status(path));
}
