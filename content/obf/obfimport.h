// `orlido --import FILE DIR`: an Open Board Format board or package becomes the content
// folder DIR. The file is read and the pages planned before anything is written; the folder
// is then written beside DIR under a temporary name and put in DIR's place only when it is
// complete. An existing DIR that holds anything is refused unless replace is asked for, and
// is then kept until the new one has taken its place.
#pragma once

#include "content/obf/obffetch.h"
#include "content/obf/obffolderwriter.h"

#include <cstdio>
#include <string>
#include <vector>

struct TObfImportOptions {
    std::wstring File;
    std::wstring Folder;
    bool Replace = false;
    TObfWriteOptions Write;
    TObfFetcher Fetch;  // for images and sounds given only by a web address; none: not fetched
    int MaxPages = TObfLimits::MaxPages;
};

struct TObfImportResult {
    int ExitCode = 0;  // 0 written; 1 written, but some sounds could not be made; 2 nothing written
    std::string Error;  // one line naming the file and what is wrong, when nothing was written
    int Pages = 0;
    int Pictures = 0;
    int Spoken = 0;
    std::vector<std::string> Notes;            // left out, replaced, damaged
    std::vector<TObfProgram> KeptPrograms;     // the package's shortcuts written
    std::vector<TObfProgram> LeftOutPrograms;  // the package's shortcuts left out
    std::vector<std::string> Silent;           // pictures and common sounds left without a sound
};

class CTQObfImport {
public:
    static TObfImportResult Run(const TObfImportOptions& options);
    // The report a carer reads: the summary, then every note, one line each; its own
    // sentences in Swedish or English (the notes, which the readers write, in English).
    static void Print(const TObfImportOptions& options, const TObfImportResult& result,
                      bool swedish, std::FILE* out);

private:
    static bool CheckTarget(const TObfImportOptions& options, std::string& error);
    static bool PutInPlace(const std::string& built, const std::string& target, std::string& error);
};
