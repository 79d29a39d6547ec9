// Shortcut files (".lnk"), in the two formats the board reads, told apart by content:
// - a binary Shell Link as Windows writes it (the published MS-SHLLINK format): the
//   target path from the link information (or the environment-variable block), the
//   working directory and the arguments; 8-bit strings are Windows-1252, the others UTF-16;
// - a freedesktop desktop entry: "[Desktop Entry]" with Exec= (the program and its
//   arguments, quoted by the desktop-entry rules or in single quotes as the common
//   launchers also accept, field codes such as %f dropped, the place of a %u or %U kept)
//   and Path= (the working directory); a leading UTF-8 byte-order mark is skipped.
// The readers take the file's bytes, check every offset and length against them, and
// never read outside them; a damaged file yields what could be read of it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct ShortcutData {
    std::wstring target;  // the program's path
    std::wstring workingDirectory;
    // The arguments as one Windows command-line tail (desktop-entry arguments are quoted
    // so that the Windows splitting gives them back).
    std::wstring arguments;
    // A desktop entry whose Exec has a %u or %U standing alone: the address a browser is
    // given goes there, between arguments and argumentsAfterAddress (a tail of its own).
    bool hasAddressField = false;
    std::wstring argumentsAfterAddress;
};

// The shortcut's arguments with a web address as one more argument, quoted so that the
// Windows splitting gives it back whole: in place of the %u or %U, else after the
// shortcut's own arguments.
std::wstring ArgumentsWithAddress(const ShortcutData& shortcut, const std::wstring& address);
// The shortcut's arguments when no address is given (a %u or %U stands for nothing).
std::wstring ArgumentsWithoutAddress(const ShortcutData& shortcut);

// False when the bytes are neither format (nothing is set then).
bool ParseShortcut(std::string_view bytes, ShortcutData& shortcut);
bool ParseShellLink(std::string_view bytes, ShortcutData& shortcut);
bool ParseDesktopEntry(std::string_view bytes, ShortcutData& shortcut);

// The argument vector of a desktop entry's Exec value (the value as it stands in the file,
// after "Exec="): string escapes undone, then split at unquoted spaces, double-quoted
// arguments unescaped, single-quoted parts taken literally, field codes dropped ("%%" is a
// "%"). When addressAt is given it gets the index in the answer where the first %u or %U
// standing alone was (npos when there is none).
std::vector<std::wstring> SplitDesktopExec(std::wstring_view value,
                                           std::size_t* addressAt = nullptr);

}  // namespace platform
