// Shortcut files (".lnk"), in the two formats the board reads, told apart by content:
// - a binary Shell Link as Windows writes it (the published MS-SHLLINK format): the
//   target path from the link information (or the environment-variable block), the
//   working directory and the arguments; 8-bit strings are Windows-1252, the others UTF-16;
// - a freedesktop desktop entry: "[Desktop Entry]" with Exec= (the program and its
//   arguments, quoted by the desktop-entry rules, field codes such as %f %u dropped) and
//   Path= (the working directory).
// The readers take the file's bytes, check every offset and length against them, and
// never read outside them; a damaged file yields what could be read of it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct ShortcutData {
    std::wstring target;            // the program's path
    std::wstring workingDirectory;
    // The arguments as one Windows command-line tail (desktop-entry arguments are quoted
    // so that the Windows splitting gives them back).
    std::wstring arguments;
};

// False when the bytes are neither format (nothing is set then).
bool ParseShortcut(std::string_view bytes, ShortcutData& shortcut);
bool ParseShellLink(std::string_view bytes, ShortcutData& shortcut);
bool ParseDesktopEntry(std::string_view bytes, ShortcutData& shortcut);

// The argument vector of a desktop entry's Exec value (the value as it stands in the file,
// after "Exec="): string escapes undone, then split at unquoted spaces, quoted arguments
// unescaped, field codes dropped ("%%" is a "%").
std::vector<std::wstring> SplitDesktopExec(std::wstring_view value);

} // namespace platform
