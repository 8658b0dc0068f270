// The batch mode: converts every file that the command line names, one line each, and exits 0, 1 or 2.
#include "kzm.h"
#include "kzm2it.h"
#include "kzmcons.h"
#include "kzmpath.h"
#include "names.h"

#include <algorithm>
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

// A folder is the .kzm files directly in it, in byte order of their names; a file is itself;
// otherwise PATH.kzm where that file exists.
static void addpath(const std::string& path, const std::string& outdir, std::vector<job>* jobs)
{
    if (kzmisdir(path.c_str())) {
        std::vector<std::string> names;
        if (!kzmlistdir(path, &names))
            return jobs->push_back({path, "", KZM_FOLDERUNREADABLE});
        names.erase(std::remove_if(names.begin(), names.end(), [](auto& n) { return !kzmendskzm(n); }),
                    names.end());
        std::sort(names.begin(), names.end());
        if (names.empty())
            return jobs->push_back({path, "", KZM_NOKZMFILE});
        for (auto& n : names) {
            std::string in = kzmjoin(path, n);
            jobs->push_back({in, kzmoutputof(in, outdir), ""});
        }
        return;
    }
    std::string in = kzmisfile(path.c_str()) ? path : path + ".kzm";
    if (kzmisfile(in.c_str()))
        jobs->push_back({in, kzmoutputof(in, outdir), ""});
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
            j.reason = kzmclashreason(j.out);
    }
}

// Each file gets a work file of its own in the temporary folder, made exclusively and removed
// afterwards, so that conversions side by side never share one.
static std::string convertone(const job& j, kzmrecords* r)
{
    std::string work;
    FILE* f = kzmtempfile(kzmtempdir(), &work, false);
    if (!f)
        return kzmreasonof(KZM_WORKFAILED, j.out);
    fclose(f);
    kzmclear(r);
    int ret = convertkzm(j.in.c_str(), work.c_str(), j.out.c_str(), r, nullptr, nullptr);
    kzmremove(work.c_str());
    return kzmreasonof(ret, j.out);
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
            kzmsay(stdout, "kzm2it " KZM_VERSION "\n");
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
        outdir = kzmnativepath(dir);
        if (!kzmisdir(outdir.c_str()))
            return usageerror("no folder " + outdir);
    }
    if (i == argc)
        return usageerror("no PATH given");

    std::vector<job> jobs;
    for (; i < argc; i++) {
        addpath(kzmnativepath(argv[i]), outdir, &jobs);
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
        fflush(nullptr);   // each line out now, in file order, however the system buffers a pipe
        status = reason.empty() ? status : 1;
    }
    kzmfree(&r);
    kzmholdconsole();
    return status;
}
