// The page's worker: converts the KZM files that the page hands over, on records allocated once.
#include "kzm.h"
#include "kzmpath.h"
#include "names.h"

#include <emscripten.h>
#include <string>

static kzmrecords records;
static bool writing;     // the writer of the conversion under way has begun
static std::string said; // the text that the last call handed over

static void startwrite(void*)
{
    writing = true;
}

static const char* say(const std::string& text)
{
    said = text;
    return said.c_str();
}

extern "C" {

// The page's file layer (kzmpage.js): files as lists of pieces, the chosen file read where it lies.
void kzmpagefiles();

// Sets up the files and allocates the records for every later conversion; 0 when memory runs out.
EMSCRIPTEN_KEEPALIVE int kzmworkerinit()
{
    kzmpagefiles();
    return kzmalloc(&records) ? 1 : 0;
}

// The IT file's name for an input of this name, as the command line names it.
EMSCRIPTEN_KEEPALIVE const char* kzmworkeroutput(const char* name)
{
    return say(kzmoutputof(name, ""));
}

// Converts inpath into outpath through the work file temp.emx, which is then removed. Returns ""
// when it converted, otherwise the command line's reason, naming the IT file out.
EMSCRIPTEN_KEEPALIVE const char* kzmworkerconvert(const char* inpath, const char* outpath, const char* out)
{
    writing = false;
    kzmclear(&records);
    int ret = convertkzm(inpath, KZM_WORKFILE, outpath, &records, startwrite, nullptr);
    writing = false;   // a conversion broken off before it begins has written nothing
    kzmremove(KZM_WORKFILE);
    return say(kzmreasonof(ret, out));
}

// The reason of a conversion that the file system broke off (memory ran out): the IT file's once
// the writer had begun, the work file's before.
EMSCRIPTEN_KEEPALIVE const char* kzmworkerbroken(const char* out)
{
    return say(kzmreasonof(writing ? KZM_WRITEFAILED : KZM_WORKFAILED, out));
}

// The reason of a file that the page could not read.
EMSCRIPTEN_KEEPALIVE const char* kzmworkerunreadable()
{
    return say(kzmreasonof(KZM_NOINPUT, ""));
}

// The reason of a file whose IT file's name an earlier file has taken.
EMSCRIPTEN_KEEPALIVE const char* kzmworkerclash(const char* out)
{
    return say(kzmclashreason(out));
}

// The reason of a folder without a .kzm file, or of one that cannot be read (unreadable non-zero).
EMSCRIPTEN_KEEPALIVE const char* kzmworkernokzm(int unreadable)
{
    return unreadable ? KZM_FOLDERUNREADABLE : KZM_NOKZMFILE;
}
}
