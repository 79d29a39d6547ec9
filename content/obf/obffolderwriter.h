// Writes planned pages as a content folder: UserData/L00001 and its sub-pages, each picture
// with its picture file, caption, sound and activity files, then the common sounds and a
// web-browser shortcut. Pictures and sounds come from the boards; a picture that cannot be
// had becomes a label picture, a sound that cannot be had is made by speech. Files made once
// (a picture, a spoken word) are copied where the same one is needed again.
#pragma once

#include "content/obf/obfplan.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class CTQObfSource;

// Makes a WAV file at wavPath that says text in the locale ("en-US", "sv"); false when it
// cannot.
using TObfSpeechMaker = std::function<bool(const std::wstring& text, const std::string& locale,
                                           const std::wstring& wavPath)>;

struct TObfWriteOptions {
    TObfSpeechMaker Speech;
    // The user's language ("sv", "en-GB"): labels are translated into it where a board's
    // `strings` has it.
    std::string Language;
    // The web browser's command for WebBrowser.lnk ("firefox-esr").
    std::string BrowserCommand = "x-www-browser";
    // Whether the package's shortcuts (a picture's program, its own WebBrowser.lnk) are
    // written. A package from a stranger could otherwise make a picture start any program
    // on the computer, so they are left out unless the carer asks for them.
    bool KeepPrograms = false;
};

// A shortcut a package carries: where it goes in the content folder, what starts it (a
// picture of a board's button, or a web address for the web browser's shortcut), and the
// command it starts ("" when it is no shortcut the board can read).
struct TObfProgram {
    std::string File;  // "UserData/L00001/B00002.lnk"
    bool WebBrowser = false;
    std::string Board;    // "Home"
    std::string Button;   // "Clock"
    std::string Command;  // "sh -c true"
};

class CTQObfFolderWriter {
public:
    CTQObfFolderWriter(CTQObfSource& source, const std::vector<TObfPlannedPage>& pages,
                       TObfWriteOptions options);

    // Writes into contentFolder (which exists and is empty). False with the reason when a file
    // cannot be written or the written bytes pass their limit.
    bool Write(const std::wstring& contentFolder, std::string& error);

    int GetPictureCount() const { return m_nPictures; }
    int GetSpokenCount() const { return m_nSpoken; }
    // Sounds that neither the board nor speech could give, by file.
    const std::vector<std::string>& GetSilent() const { return m_Silent; }
    // What was left out or replaced, one sentence each.
    const std::vector<std::string>& GetNotes() const { return m_Notes; }
    // The package's shortcuts, written or left out as the options ask.
    const std::vector<TObfProgram>& GetKeptPrograms() const { return m_KeptPrograms; }
    const std::vector<TObfProgram>& GetLeftOutPrograms() const { return m_LeftOutPrograms; }

    // Picture-file name text from a label: characters that file systems refuse left out, cut
    // to a sensible length between characters; "" or " Words".
    static std::wstring NameText(const std::string& label);
    // A sound's file extension by its first bytes (".wav", ".mp3", ".wma"); "" when the
    // board cannot play it. video: an ASF file is a film's sound (".wmv").
    static std::wstring SoundExtension(std::string_view bytes, bool video);

private:
    struct TLabel {
        std::string Text;    // shown
        std::string Spoken;  // said
        std::string Locale;  // of the speech
    };

    bool WritePage(int page, const std::wstring& folder, std::string& error);
    bool WritePicture(const TObfPlannedPicture& planned, const std::wstring& folder, int number,
                      std::string& error);
    bool WritePictureFile(const TObfBoard& board, const TObfButton* button, const TLabel& label,
                          const std::wstring& base, bool& drawn, std::string& error);
    bool WriteSound(const TObfBoard& board, const TObfButton* button, const TLabel& label,
                    const std::wstring& stem, std::string& error);
    bool WriteActivities(const TObfBoard& board, const TObfButton& button,
                         const std::wstring& folder, int number, std::string& error);
    bool WriteCommonFiles(const std::wstring& contentFolder, std::string& error);
    // A shortcut from the package: written and listed when programs are kept, else only
    // listed. Without a button it is the web browser's shortcut.
    bool WriteProgram(const std::wstring& path, std::string_view bytes, const TObfBoard* board,
                      const TObfButton* button, std::string& error);
    bool Speak(const std::string& text, const std::string& locale, const std::wstring& path);
    TLabel LabelOf(const TObfBoard& board, const TObfButton* button) const;
    bool WriteBytes(const std::wstring& path, std::string_view bytes, std::string& error);
    bool CopyMade(const std::wstring& from, const std::wstring& to, std::string& error);

    CTQObfSource& m_Source;
    const std::vector<TObfPlannedPage>& m_Pages;
    TObfWriteOptions m_Options;
    std::uint64_t m_nWrittenBytes = 0;
    int m_nPictures = 0;
    int m_nSpoken = 0;
    std::vector<std::string> m_Silent;
    std::vector<std::string> m_Notes;
    std::vector<TObfProgram> m_KeptPrograms;
    std::vector<TObfProgram> m_LeftOutPrograms;
    std::wstring m_strContentFolder;
    // Made once, copied after: picture files by (board, image id), spoken words by
    // (locale, text); "" records a picture that could not be had, with its reason.
    std::map<std::pair<const TObfBoard*, std::string>, std::wstring> m_MadePictures;
    std::map<std::pair<const TObfBoard*, std::string>, std::string> m_PictureFailures;
    std::map<std::pair<const TObfBoard*, std::string>, std::wstring> m_MadeSounds;
    std::map<std::pair<std::string, std::string>, std::wstring> m_Spoken;
    std::map<const TObfButton*, bool> m_Told;
};
