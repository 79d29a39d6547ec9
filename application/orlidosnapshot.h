// "orlido --snapshot OUT.png": draws one page of the content with the board's own drawing
// code into the back buffer of a window that is never shown, and writes it as a PNG. The
// editor's preview is made from it, so that the carer sees what the user will see. Nothing
// of a running board is started: no full screen, no task bar change, no sound, no
// controller, no folder watch, no activity, no message loop; the run ends by itself.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class COrlidoSnapshot {
public:
    // What the command line asks for.
    struct TOptions {
        std::wstring ContentFolder;  // empty: the board's own search
        std::wstring Output;         // the PNG file
        std::wstring Page;  // relative to UserData, e.g. "L00001/L00003"; empty: the start page
        int Width = 0;      // 0 x 0: the screen's size
        int Height = 0;
    };

    // Whether the arguments ask for a snapshot.
    static bool Handles(const std::vector<std::string>& arguments);
    // Reads --snapshot OUT, --content DIR (else environmentValue), --page PAGE and
    // --size WxH. False with a one-line message in error for anything else.
    static bool ParseArguments(const std::vector<std::string>& arguments,
                               const char* environmentValue, TOptions& options, std::string& error);
    // The page numbers to walk from the start page to the page, each from 1: "L00001/L00003/
    // L00002" gives {3, 2}. False when the path names no page below the start page.
    static bool PageSteps(const std::wstring& page, std::vector<int>& steps);

    // Parses, draws and writes; 0 when the PNG is written. Any failure is one line on err,
    // no file at the output path, and exit code 2 (bad command line) or 1.
    static int Run(const std::vector<std::string>& arguments, std::FILE* err);
    static int Run(const TOptions& options, std::FILE* err);
};
