// Runs the built program as a user would: in a scratch directory, with a typed line on standard input.
#include "kzrun.h"
#include "kzbuild.h"

#include <cstdlib>
#include <filesystem>
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

kzr_result kzr_run(const std::string& dir, const std::string& input)
{
    std::string in = dir + "/../" + fs::path(dir).filename().string() + ".stdin";
    std::string out = dir + "/../" + fs::path(dir).filename().string() + ".stdout";
    kzb_writefile(in, kzbytes(input.begin(), input.end()));
    std::string cmd = "cd '" + dir + "' && '" KZM2IT_BIN "' < '" + in + "' > '" + out + "'";
    int rc = system(cmd.c_str());
    kzbytes printed = kzb_readfile(out);
    fs::remove(in);
    fs::remove(out);
    return {std::string(printed.begin(), printed.end()), WIFEXITED(rc) ? WEXITSTATUS(rc) : -1};
}

bool kzr_exists(const std::string& path)
{
    return fs::exists(fs::symlink_status(path));
}
