// The console dialogue: asks for one name, converts NAME.kzm into NAME.it through temp.emx, waits for Enter.
#include "kzm.h"
#include "kzm2it.h"
#include "kzmcons.h"
#include "kzmpath.h"

#include <cctype>
#include <string>

enum { NAMECAP = 256 };   // longest typed name and its terminator
enum { WORD_OK, WORD_EOF, WORD_TOOLONG };

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

static void saving(void*)
{
    kzmsay(stdout, "Saving to Impulse Tracker file...\t");
    fflush(stdout);
}

// Exit status 0 on every path: the messages tell what happened. Dialogues in one folder share its
// work file, so each holds the folder's lock from inflation until its conversion has ended.
int kzmdialogue()
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
        kzmwaitlines(2);   // at the end of the input, at once
        return 0;
    }
    std::string base = kzmtypedname(name), in = base + ".kzm", out = base + ".it";
    kzmsay(stdout, "Extracting and converting...\n");
    fflush(stdout);
    kzmfolderlock lock = kzmlockfolder();
    kzmclear(&r);
    int ret = convertkzm(in.c_str(), KZM_WORKFILE, out.c_str(), &r, saving, nullptr);
    kzmfree(&r);
    if (ret == KZM_NOWORKFILE) {
        kzmsay(stdout, "Error loading decoded data");
        return 0;   // the work file stays; the lock ends with the program
    }
    kzmunlockfolder(lock);
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
