// "orlido --speak": gives every picture of the content that has no sound one, spoken from
// its caption, else from the words after its number in its file name ("B00001 Mat.jpg"
// says "Mat"), and makes the common sounds that are missing (the answer bar's words and the
// scan mode's "Jag valde"). A sound that is there, in any of the board's sound formats, is
// never touched. It reads the pages as the board does (the content tree: the pictures a
// page shows, their captions and sounds, the sub-pages they open), so a sound it makes is
// the one the board plays.
#pragma once

#include "content/contenttree.h"

#include <cstdio>
#include <set>
#include <string>

class CTQSpeech;

class COrlidoSpeak {
public:
    // What the command line asked for.
    struct TOptions {
        bool Asked = false;
        std::string Voice;    // espeak-ng's voice or language; empty: Swedish
        std::string Command;  // a carer's voice command; empty: espeak-ng
    };

    // contentFolder: the folder that holds UserData and the common sounds. swedish: the
    // language of the report.
    COrlidoSpeak(std::wstring contentFolder, TOptions options, bool swedish);

    // Makes the missing sounds and prints one line for each file made or not made, then a
    // summary. Returns the exit code: 0 when every missing sound was made, 1 when one could
    // not be (or the voice cannot be used, or there is no UserData: nothing is made then).
    int Run(std::FILE* out, std::FILE* err);

    int GetMadeCount() const { return m_nMade; }
    int GetFailedCount() const { return m_nFailed; }

    // What a picture says when its caption says nothing: the words after its number, "_"
    // read as a space ("B00001 Glass_och_saft.jpg" says "Glass och saft"); empty when its
    // name has none.
    static std::wstring TextOfPictureName(const std::wstring& fileName);
    // What a common sound says ("JagValde.wav" says "Jag valde"); empty for any other name.
    static std::wstring TextOfCommonSound(const std::wstring& fileName);

private:
    void SpeakCommonSounds(const CTQSpeech& speech, std::FILE* out);
    void SpeakPage(const CTQSpeech& speech, const std::wstring& folder, int level, std::FILE* out);
    void SpeakPicture(const CTQSpeech& speech, const std::wstring& folder,
                      const CTQContentTree::TPicture& picture, std::FILE* out);
    void Make(const CTQSpeech& speech, const std::wstring& text, const std::wstring& path,
              std::FILE* out);
    void NotMade(const std::wstring& path, const std::wstring& why, std::FILE* out);
    std::wstring Shown(const std::wstring& path) const;

    std::wstring m_strContentFolder;
    TOptions m_Options;
    bool m_bSwedish = false;
    int m_nMade = 0;
    int m_nFailed = 0;
    std::set<std::string> m_VisitedPages;  // real paths: a folder linked into itself is walked once
};
