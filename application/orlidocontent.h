// Where the board finds its content folder (UserData and the common sounds) and its settings
// file. The program's own rules come first: the folder given on the command line or in
// ORLIDO_CONTENT, then the executable's folder; "Setup.txt" of the working directory. When
// those hold nothing, an installed board looks where a desktop keeps a user's files:
// $XDG_DATA_HOME/orlido (~/.local/share/orlido), then each of $XDG_DATA_DIRS/orlido (where
// the package puts the demo); $XDG_CONFIG_HOME/orlido/Setup.txt (~/.config/orlido), then
// each of $XDG_CONFIG_DIRS/orlido/Setup.txt.
#pragma once

#include <string>
#include <vector>

// The content folder, ending in one "/". given: the command line's or ORLIDO_CONTENT's
// folder, taken as it is when not empty. With nothing found anywhere, the executable's folder.
std::wstring FindContentFolder(const std::wstring& given);
// The settings file to read: "Setup.txt" when the working directory has one (or no other
// is found), otherwise the first of the desktop's places that has one.
std::wstring FindSetupFile();
// The folders looked at after the executable's, in order, each ending in "/".
std::vector<std::wstring> UserContentFolders();
