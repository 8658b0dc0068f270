// The batch mode: converts every file that the command line names, one line each, and exits 0, 1 or 2.
#include "kzm.h"
#include "kzm2it.h"
#include "kzmcons.h"
#include "kzmpath.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

static const char USAGE[] =
    "Usage: kzm2it [OPTION]... PATH...\n"
    "       kzm2it\n"
    "Converts KZM music modules into Impulse Tracker modules (.it).\n"
    "\n"
    "With PATHs, converts each in turn, without questions. A PATH is a folder (every\n"
    "file in it whose name ends in .kzm, in any case), a KZM file of any name, or a\n"
    "name to which .kzm is added. Each IT file is named as its input without the\n"
    "extension, plus .it, and written beside the input; a file of that name is\n"
    "replaced only by a whole new one. Each converted file prints INPUT -> OUTPUT;\n"
    "each failure prints a line on standard error, and the other files go on.\n"
    "Without arguments, asks for one name without extension, converts NAME.kzm\n"
    "into NAME.it and waits for Enter.\n"
    "\n"
    "Options:\n"
    "  -o, --output-dir DIR  write the IT files into the folder DIR\n"
    "  -h, --help            print this help and exit\n"
    "      --version         print the version and exit\n"
    "  --                    end the options: every later argument is a PATH\n"
    "\n"
    "Exit status: 0 when every file converted, 1 when any failed, 2 for a usage error.\n";

// One input and its IT file, as printed; a reason when it fails before its conversion.
struct job {
    std::string in, out, reason;
};

static int usageerror(const std::string& what)
{
    kzmsay(stderr, "kzm2it: %s; try 'kzm2it --help'\n", what.c_str());
    return 2;
}

static bool endskzm(const std::string& name)
{
    static const char EXT[] = ".kzm";
    size_t n = name.size();
    if (n < 4)
        return false;
    for (size_t i = 0; i < 4; i++) {
        if (tolower((unsigned char)name[n - 4 + i]) != EXT[i])
            return false;
    }
    return true;
}

// The input's name without its last extension, plus .it, in outdir or beside the input.
static std::string outputof(const std::string& in, const std::string& outdir)
{
    size_t base = in.find_last_of(KZM_SEP == '/' ? "/" : "\\/") + 1;   // npos + 1 is 0
    size_t dot = in.rfind('.');
    size_t end = dot != std::string::npos && dot > base ? dot : in.size();   // ".name" keeps its dot
    std::string stem = in.substr(base, end - base);
    return outdir.empty() ? in.substr(0, base) + stem + ".it" : kzmjoin(outdir, stem + ".it");
}

// A folder is the .kzm files directly in it, in byte order of their names; a file is itself;
// otherwise PATH.kzm where that file exists.
static void addpath(const std::string& path, const std::string& outdir, std::vector<job>* jobs)
{
    if (kzmisdir(path.c_str())) {
        std::vector<std::string> names;
        if (!kzmlistdir(path, &names))
            return jobs->push_back({path, "", "the folder cannot be read"});
        names.erase(std::remove_if(names.begin(), names.end(), [](auto& n) { return !endskzm(n); }),
                    names.end());
        std::sort(names.begin(), names.end());
        if (names.empty())
            return jobs->push_back({path, "", "the folder holds no .kzm file"});
        for (auto& n : names) {
            std::string in = kzmjoin(path, n);
            jobs->push_back({in, outputof(in, outdir), ""});
        }
        return;
    }
    std::string in = kzmisfile(path.c_str()) ? path : path + ".kzm";
    if (kzmisfile(in.c_str()))
        jobs->push_back({in, outputof(in, outdir), ""});
    else
        jobs->push_back({path, "", "cannot be opened"});
}

// No conversion may write over an input of this run, nor over an output of an earlier one.
static void findclashes(std::vector<job>* jobs)
{
    std::set<std::string> inputs, outputs;
    for (auto& j : *jobs) {
        if (j.reason.empty())
            inputs.insert(kzmabspath(j.in));
    }
    for (auto& j : *jobs) {
        if (!j.reason.empty())
            continue;
        std::string out = kzmabspath(j.out);
        if (inputs.count(out) || !outputs.insert(out).second)
            j.reason = j.out + " would replace a file of this run";
    }
}

// The reason that a conversion's result gives, "" for none.
static std::string reasonof(int ret, const std::string& out)
{
    switch (ret) {
    case KZM_OK:
        return "";
    case KZM_NOINPUT:
        return "cannot be opened";
    case KZM_DAMAGED:
        return "not a KZM file, or its data is damaged or cut short";
    case KZM_WRITEFAILED:
        return "the IT file " + out + " cannot be written";
    default:
        return "the work file cannot be made or read";
    }
}

// Each file gets a work file of its own in the temporary folder, made exclusively and removed
// afterwards, so that conversions side by side never share one.
static std::string convertone(const job& j, kzmrecords* r)
{
    std::string work;
    FILE* f = kzmtempfile(kzmtempdir(), &work, false);
    if (!f)
        return reasonof(KZM_WORKFAILED, j.out);
    fclose(f);
    kzmclear(r);
    int ret = convertkzm(j.in.c_str(), work.c_str(), j.out.c_str(), r, nullptr, nullptr);
    kzmremove(work.c_str());
    return reasonof(ret, j.out);
}

int kzmbatch(int argc, char** argv)
{
    std::string outdir;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
        std::string a = argv[i], dir;
        if (a == "--") {
            i++;
            break;
        }
        if (a == "-h" || a == "--help") {
            kzmsay(stdout, "%s", USAGE);
            return 0;
        }
        if (a == "--version") {
            kzmsay(stdout, "kzm2it 0.3 build 100206\n");
            return 0;
        }
        if (a == "-o" || a == "--output-dir") {
            if (i + 1 == argc)
                return usageerror(a + " needs a folder");
            dir = argv[++i];
        } else if (a.compare(0, 13, "--output-dir=") == 0) {
            dir = a.substr(13);
        } else {
            return usageerror("unknown option " + a);
        }
        if (!outdir.empty())
            return usageerror("only one output folder may be given");
        if (KZM_SEP != '/')
            std::replace(dir.begin(), dir.end(), '/', KZM_SEP);
        if (!kzmisdir(dir.c_str()))
            return usageerror("no folder " + dir);
        outdir = dir;
    }
    if (i == argc)
        return usageerror("no PATH given");

    std::vector<job> jobs;
    for (; i < argc; i++) {
        std::string path = argv[i];
        if (KZM_SEP != '/')
            std::replace(path.begin(), path.end(), '/', KZM_SEP);
        addpath(path, outdir, &jobs);
    }
    findclashes(&jobs);

    kzmrecords r;
    if (!kzmalloc(&r)) {
        kzmsay(stderr, "kzm2it: not enough memory\n");
        return 1;
    }
    int status = 0;
    for (auto& j : jobs) {
        std::string reason = j.reason.empty() ? convertone(j, &r) : j.reason;
        if (reason.empty())
            kzmsay(stdout, "%s -> %s\n", j.in.c_str(), j.out.c_str());
        else
            kzmsay(stderr, "kzm2it: %s: %s\n", j.in.c_str(), reason.c_str());
        fflush(stdout);
        status = reason.empty() ? status : 1;
    }
    kzmfree(&r);
    if (kzmconsolealone()) {
        kzmsay(stdout, "Press Enter\n");
        kzmwaitlines(1);
    }
    return status;
}
