// The command line of the Open Board Format commands, which need no display:
//   orlido --import FILE DIR [--replace] [--keep-programs]
//   orlido --export [FOLDER] FILE.obz
// Exit codes: 0 done; 1 imported, but some sounds could not be made; 2 nothing written (a
// wrong command line, a broken or refused file, a full folder without --replace).
#pragma once

#include "content/obf/obffolderwriter.h"

#include <cstdio>
#include <string>
#include <vector>

class COrlidoObfCommand {
public:
    // Whether the arguments ask for an import or an export.
    static bool Handles(const std::vector<std::string>& arguments);
    // Runs it; the report goes to out, a failure's one line to err. The import's report is
    // in Swedish under a Swedish locale, in English otherwise.
    static int Run(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);
    // The same with the speech, the browser and the report's language given (tests).
    static int Run(const std::vector<std::string>& arguments, const TObfSpeechMaker& speech,
                   const std::string& browser, std::FILE* out, std::FILE* err,
                   bool swedish = false);

    // The first web browser found on PATH, for the imported content's WebBrowser.lnk.
    static std::string FindBrowser();
    // The user's language from LC_ALL, LC_MESSAGES or LANG ("sv_SE").
    static std::string UserLanguage();
};
