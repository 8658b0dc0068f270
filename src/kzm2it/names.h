// How the conversion of a named file names its IT file and words its failure: the batch mode's and
// the page's worker's, which must agree.
#pragma once
#include <string>

// Whether a file name ends in .kzm, in any case of its ASCII letters.
bool kzmendskzm(const std::string& name);

// The input's name without its last extension, plus .it, in outdir or, with outdir empty, beside
// the input. A name that only has an extension (".kzm") keeps it: ".kzm.it".
std::string kzmoutputof(const std::string& in, const std::string& outdir);

// What a conversion's result says about the file, "" for KZM_OK; out names the IT file.
std::string kzmreasonof(int ret, const std::string& out);

// The reason of a file whose IT file out would replace an input or an earlier output of the run.
std::string kzmclashreason(const std::string& out);

// The reason of a folder in which no file's name ends in .kzm.
extern const char* const KZM_NOKZMFILE;

// The reason of a folder whose entries cannot be listed.
extern const char* const KZM_FOLDERUNREADABLE;
