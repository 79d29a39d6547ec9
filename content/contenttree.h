// A content folder read as the board reads it: pages of numbered pictures, each with the
// companion files found the board's way (sound, caption, shortcut, film or music, web
// address, sub-page), and every file of a page grouped by its number, so that a writer can
// move or remove a picture with everything that belongs to it. Names are kept exactly as
// they are on disk (upper case, Windows-1252 bytes), never rewritten.
#pragma once

#include <map>
#include <string>
#include <vector>

class CTQContentTree {
public:
    // What choosing a picture does, in the board's order: a program, a film or music, a web
    // address, then its sub-page.
    enum class TLeadsTo { Nothing, Program, Film, Music, WebAddress, SubPage };

    struct TPicture {
        int Number = 0;
        std::wstring PictureName;  // "B00001 Mat.jpg", as on disk
        std::wstring CaptionName;  // the caption file the board reads, empty when there is none
        std::wstring Caption;      // its text as the board shows it
        std::wstring SoundName;    // the sound the board plays, empty when there is none
        TLeadsTo LeadsTo = TLeadsTo::Nothing;
        std::wstring LeadsToName;             // the file or folder that wins
        std::wstring WebAddress;              // the text of a winning web-address file
        std::vector<std::wstring> Overruled;  // companion files that lose to LeadsToName
    };

    struct TPage {
        std::wstring Folder;             // resolved, without a final "/"
        std::vector<TPicture> Pictures;  // 1 to n without a gap, at most a page's twelve
        int Count = 0;                   // the numbered run the board finds, may exceed twelve
        // Every numbered name in the folder (letters B, L, M, W, either case) by its number.
        std::map<int, std::vector<std::wstring>> Groups;
        bool Exists = false;
    };

    // One page folder. A folder that does not exist reads as an empty page.
    static TPage ReadPage(const std::wstring& folder);

    // The first page of a content folder (the one holding UserData): UserData/L00001.
    static std::wstring FirstPageFolder(const std::wstring& contentFolder);
    // The sub-page folder of picture number on page folder, whether it exists or not.
    static std::wstring SubPageFolder(const std::wstring& pageFolder, int number);

    // Whether the name belongs to a picture number: a letter of B, L, M, W (either case) and
    // five digits; returns the number, or -1.
    static int GroupNumberOf(const std::wstring& name);
    // The name with its number replaced, its letter's case and everything after kept:
    // "b00003 Mat.JPG", 1 gives "b00001 Mat.JPG".
    static std::wstring Renumbered(const std::wstring& name, int number);
    // Whether the name is one of a page's picture files (B, five digits, .jpg or .png).
    static bool IsPagePicture(const std::wstring& name);

    // The caption as the board reads it from the file's first bytes (the caption limit and
    // a few more): cut to the limit, between characters.
    static std::wstring CaptionFromBytes(const std::string& bytes);
};
