// `orlido --export [FOLDER] FILE.obz`: a content folder as an Open Board Format package. Each
// page the board shows becomes a board laid out as the board lays it out (four columns, two
// rows for up to eight pictures, three for more); each picture keeps its picture file, its
// caption as the label, its sound, its sub-page as `load_board`, its web address as `url`.
// What only this program knows (the picture file's name, the caption file, shortcuts, films,
// music, the common sounds and WebBrowser.lnk) travels in `ext_orlido_` fields and files, so
// that importing the package gives the same folder back. The package appears under its name
// only when complete.
#pragma once

#include "content/obf/obfboard.h"

#include <cstdio>
#include <set>
#include <string>
#include <vector>

class CTQObfZipWriter;

struct TObfExportResult {
    int ExitCode = 0;  // 0 written; 2 nothing written
    std::string Error;
    int Boards = 0;
    int Pictures = 0;
    std::vector<std::string> Notes;  // what the board never shows and is left out
};

class CTQObfExport {
public:
    static TObfExportResult Run(const std::wstring& contentFolder, const std::wstring& file);
    static void Print(const std::wstring& contentFolder, const std::wstring& file,
                      const TObfExportResult& result, std::FILE* out);

private:
    CTQObfExport(CTQObfZipWriter& zip, TObfExportResult& result);
    // The page's board id, or "" when it could not be added.
    std::string AddPage(const std::wstring& folder, const std::string& name, int level,
                        std::string& error);
    bool AddPicture(const std::wstring& folder, int number, const std::wstring& picture,
                    TObfBoard& board, std::string& error);
    std::string AddFile(const std::wstring& path, const std::string& folder, bool compress,
                        std::string& error);
    bool AddCommonFiles(const std::wstring& contentFolder, TObfManifest& manifest,
                        std::string& error);

    CTQObfZipWriter& m_Zip;
    TObfExportResult& m_Result;
    TObfManifest m_Manifest;
    int m_nFiles = 0;
    std::vector<std::string> m_Path;  // real folders on the way, against folder loops
};
