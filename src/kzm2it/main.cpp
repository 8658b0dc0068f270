// The console driver: asks for a name, runs the conversion stages in order and reports the outcome.
#include "kzm.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

enum { NAMECAP = 256, PATHCAP = NAMECAP + 4 };   // longest name, ".kzm", terminator
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

// Discards the rest of the typed line, then one more line: the user presses Enter.
static void waitforenter()
{
    fflush(stdout);
    for (int lines = 0; lines < 2; lines++) {
        int c;
        do
            c = getchar();
        while (c != EOF && c != '\n');
        if (c == EOF)
            return;
    }
}

static void release(IMPP* patterns, IMPS* samples, uint8_t* slotmap)
{
    free(patterns);
    free(samples);
    free(slotmap);
}

// The end of a failed run that the user acknowledges.
static int failandwait(IMPP* patterns, IMPS* samples, uint8_t* slotmap)
{
    printf("Press Enter\n");
    release(patterns, samples, slotmap);
    waitforenter();
    return 0;
}

// A reader could not open the work file: the run ends at once, leaving the work file as it is.
static int loaderror(IMPP* patterns, IMPS* samples, uint8_t* slotmap)
{
    printf("Error loading decoded data");
    release(patterns, samples, slotmap);
    return 0;
}

int main()
{
    uint8_t* slotmap = (uint8_t*)calloc(KZM_MAXSLOTS, 1);
    IMPP* patterns = (IMPP*)calloc(KZM_MAXPATTERNS, sizeof(IMPP));
    IMPS* samples = (IMPS*)calloc(KZM_MAXSLOTS, sizeof(IMPS));
    if (!slotmap || !patterns || !samples) {
        printf("Error: not enough memory!\n");
        release(patterns, samples, slotmap);
        return 0;
    }
    static IMPM song;

    printf("[KZM to Impulse Tracker converter]\n");
    printf("[====== v0.3 build 100206 =======]\n");
    printf("[==== KZM to IT, sample mode ====]\n");
    printf("[====== inflates with zlib ======]\n");
    printf("[=== 99 samples, 199 patterns ===]\n");
    printf("[==== name without extension ====]\n");
    printf("[KZM to Impulse Tracker converter]\n\n");
    printf("Enter path and filename without kzm extension: ");
    fflush(stdout);

    char name[NAMECAP];
    char path[PATHCAP];
    switch (readword(name)) {
    case WORD_EOF:
        release(patterns, samples, slotmap);
        return 0;
    case WORD_TOOLONG:
        printf("Error: file name too long!\n");
        return failandwait(patterns, samples, slotmap);
    }

    snprintf(path, sizeof path, "%s.kzm", name);
    printf("Extracting and converting...\n");
    fflush(stdout);
    if (decodekzm(path, KZM_WORKFILE) != 0) {
        printf("%s decompression failed!\n", path);
        return failandwait(patterns, samples, slotmap);
    }

    if (convertkzmpatterns(KZM_WORKFILE, patterns, &song) == KZM_NOWORKFILE)
        return loaderror(patterns, samples, slotmap);
    if (convertkzminstr(KZM_WORKFILE, samples, slotmap, &song) == KZM_NOWORKFILE)
        return loaderror(patterns, samples, slotmap);
    if (ripkzmsamples(KZM_WORKFILE, samples, slotmap) == KZM_NOWORKFILE)
        return loaderror(patterns, samples, slotmap);
    if (convertkzminfo(KZM_WORKFILE, &song) == KZM_NOWORKFILE)
        return loaderror(patterns, samples, slotmap);

    printf("Saving to Impulse Tracker file...\t");
    fflush(stdout);
    snprintf(path, sizeof path, "%s.it", name);
    int written = writeit(path, &song, patterns, samples);
    remove(KZM_WORKFILE);
    if (written != KZM_OK) {
        printf("Error: can't write IT file!\n");
        return failandwait(nullptr, nullptr, slotmap);
    }
    printf("DONE");
    free(slotmap);
    waitforenter();
    return 0;
}
