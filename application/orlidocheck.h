// The content checker behind "orlido --check": walks the pages the board would show and the
// settings file it would read, and tells the carer, file by file, what the user would meet
// (an error box, a picture never shown, a sound that cannot be heard, a setting that is not
// read) and what to do about it. It finds files, decodes pictures and opens sounds with the
// board's own code, so its answer is the board's.
#pragma once

#include "superlibraries/tqstandard/tqlanguage.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

class COrlidoCheck {
public:
    // contentFolder: E, the folder that holds UserData and the common sounds (ending in "/").
    // setupFile: the settings file the board would read. swedish: the language of the report.
    COrlidoCheck(std::wstring contentFolder, std::wstring setupFile, bool swedish);

    // Checks everything and prints the report and its summary line. Returns the exit code:
    // 0 when nothing would stop or surprise the user, 1 otherwise.
    int Run(std::FILE* out);

    int GetPageCount() const { return m_nPages; }
    int GetPictureCount() const { return m_nPictures; }
    int GetProblemCount() const { return m_nProblems; }

private:
    struct TLine {
        bool Problem;
        std::wstring File;
        std::wstring Text;
    };

    std::wstring T(const TBilingualText& text) const;
    void Problem(std::vector<TLine>& to, const std::wstring& file, const TBilingualText& text);
    void Note(std::vector<TLine>& to, const std::wstring& file, const TBilingualText& text);

    void CheckSettings();
    void CheckPages();
    void CheckPage(const std::wstring& folder, int level);
    void CheckPictureNumber(const std::wstring& folder, int number,
                            const std::vector<std::wstring>& files, int level);
    void CheckSubPage(const std::wstring& folder, int number, const std::wstring& activity,
                      int level);
    void CheckPicture(const std::wstring& path);
    static std::string CanonicalPath(const std::wstring& path);
    bool CanPlay(const std::wstring& path);
    void CheckSound(const std::wstring& path);
    std::wstring CheckActivities(const std::wstring& folder, int number);
    void CheckMedia(const std::wstring& path);
    void CheckWebAddress(const std::wstring& path);
    bool CheckShortcut(std::vector<TLine>& to, const std::wstring& path, bool problem);
    void CheckCommonFiles(bool scanMode);
    void Print(std::FILE* out, const std::vector<TLine>& lines) const;
    std::wstring Shown(const std::wstring& path) const;

    std::wstring m_strContentFolder;
    std::wstring m_strSetupFile;
    bool m_bSwedish = false;
    int m_nPages = 0;
    int m_nPictures = 0;
    int m_nProblems = 0;
    int m_nNotes = 0;
    int m_nPlainPictures = 0;  // pictures that reach the web-browser try
    int m_nWebAddresses = 0;   // web-address files that would be opened
    std::vector<TLine> m_Settings;
    std::vector<TLine> m_Common;
    std::vector<TLine> m_Pages;
    std::map<std::string, bool> m_Playable;  // the player's answer by canonical path
    std::vector<std::string>
        m_PageChain;  // canonical folders of the page being checked and those above it
};
