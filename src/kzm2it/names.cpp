// Output names and failure reasons of the batch mode, which the page's worker shares.
#include "names.h"

#include "kzm.h"
#include "kzmpath.h"

#include <cctype>

const char* const KZM_NOKZMFILE = "the folder holds no .kzm file";
const char* const KZM_FOLDERUNREADABLE = "the folder cannot be read";

bool kzmendskzm(const std::string& name)
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

std::string kzmoutputof(const std::string& in, const std::string& outdir)
{
    size_t base = in.find_last_of(KZM_SEP == '/' ? "/" : "\\/") + 1;   // npos + 1 is 0
    size_t dot = in.rfind('.');
    size_t end = dot != std::string::npos && dot > base ? dot : in.size();   // ".name" keeps its dot
    std::string stem = in.substr(base, end - base);
    return outdir.empty() ? in.substr(0, base) + stem + ".it" : kzmjoin(outdir, stem + ".it");
}

std::string kzmreasonof(int ret, const std::string& out)
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

std::string kzmclashreason(const std::string& out)
{
    return out + " would replace a file of this run";
}
