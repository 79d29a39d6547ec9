// An Open Board Format board in memory, as read from a stranger's file, and the limits every
// reader of such files keeps to. Ids are strings whatever the file wrote (numbers occur in
// the wild); text is UTF-8 as JSON gives it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Limits on files from strangers: what a sensible board or package stays well inside.
struct TObfLimits {
    static constexpr std::size_t MaxJsonBytes = 16 * 1024 * 1024;   // one board or manifest
    static constexpr int MaxJsonDepth = 64;                         // nesting of [ and {
    static constexpr int MaxGridSide = 100;                         // rows, columns
    static constexpr std::size_t MaxButtons = 10000;                // on one board
    static constexpr std::size_t MaxLabelBytes = 1000;              // kept of a label
    static constexpr std::size_t MaxMediaBytes = 32 * 1024 * 1024;  // one image or sound
    static constexpr int MaxImageSide = 8192;                       // pixels
    static constexpr std::int64_t MaxImagePixels = std::int64_t(40) * 1000 * 1000;
    static constexpr std::size_t MaxSmallFileBytes = 64 * 1024;  // caption, shortcut, address
    static constexpr std::size_t MaxActivityFileBytes = 512 * 1024 * 1024;  // a film or music
    // Packages (zip).
    static constexpr std::size_t MaxEntries = 20000;
    static constexpr std::uint64_t MaxUnpackedBytes = std::uint64_t(2) * 1024 * 1024 * 1024;
    static constexpr std::uint64_t RatioCheckedFrom = 1024 * 1024;  // entries smaller pass
    static constexpr std::uint64_t MaxRatio = 100;                  // unpacked : packed
    // The folder written.
    static constexpr int MaxPages = 3000;
    static constexpr std::uint64_t MaxWrittenBytes = std::uint64_t(2) * 1024 * 1024 * 1024;
};

// A `load_board` link.
struct TObfLink {
    std::string Id;
    std::string Path;  // a board inside the package
    std::string Url;   // a web page of another system
    std::string DataUrl;
};

struct TObfButton {
    std::string Id;
    std::string Label;
    std::string Vocalization;
    std::string ImageId;
    std::string SoundId;
    std::string BackgroundColor;
    bool Hidden = false;
    std::vector<std::string> Actions;  // `action` and `actions`, in that order
    std::optional<TObfLink> LoadBoard;
    std::string Url;  // a web address to open
    // This program's own fields: package paths of a picture's files that no other program
    // knows (shortcut, film or music, web-address file, caption file), and the text of the
    // picture file's name after its number.
    std::string ShortcutPath;
    std::string MediaPath;
    std::string WebAddressPath;
    std::string CaptionPath;
    std::optional<std::string> NameText;
};

// An image or a sound: where its bytes are, the first that is present wins (data, path, url).
struct TObfMedia {
    std::string Id;
    std::string Data;  // a data: URL
    std::string Path;  // a file inside the package
    std::string Url;
    std::string ContentType;
    int Width = 0;  // images only
    int Height = 0;
    bool HasSymbol = false;  // a licensed symbol set that is not embedded
};

struct TObfBoard {
    std::string Id;
    std::string Name;
    std::string Locale;
    std::vector<TObfButton> Buttons;
    int Rows = 0;
    int Columns = 0;
    // The buttons as the board shows them: the grid row by row, then the buttons the grid
    // leaves out; hidden buttons and empty cells left out. Indices into Buttons.
    std::vector<std::size_t> Shown;
    std::map<std::string, TObfMedia> Images;
    std::map<std::string, TObfMedia> Sounds;
    // strings[locale][text] = translated text.
    std::map<std::string, std::map<std::string, std::string>> Strings;
    // What was wrong with parts of the board that were read around (damaged buttons, a grid
    // naming buttons that do not exist), one sentence each.
    std::vector<std::string> Damage;
};

struct TObfManifest {
    std::string Root;
    std::map<std::string, std::string> Boards;  // id -> path
    // This program's own: the common files beside UserData, name -> package path.
    std::map<std::string, std::string> CommonFiles;
};
