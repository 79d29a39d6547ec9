// The desktop's trash, laid out as file managers keep it (files/ and info/): a file or folder moved
// there can be brought back by the editor's undo, or by the carer from the file manager.
// The home trash is $XDG_DATA_HOME/Trash (~/.local/share/Trash); a file on another file
// system (a USB stick) goes to the trash at the top of that file system, $topdir/.Trash-$uid,
// so that nothing is copied.
#pragma once

#include <string>

class CTQContentTrash {
public:
    // Reserves a place in the trash for the path (its info file written, naming the path it
    // came from) and returns the place the file will have there; empty when there is none.
    // Nothing is moved yet: Move() does that, so that a journal can name the place first.
    static std::wstring Reserve(const std::wstring& path, const std::wstring& originalPath);
    // Moves the file or folder to its reserved place.
    static bool Move(const std::wstring& path, const std::wstring& trashedPath);
    // Brings a trashed file back to the path (which must not exist) and drops its info file.
    static bool Restore(const std::wstring& trashedPath, const std::wstring& path);
    // Gives up a reservation that was never used.
    static void Unreserve(const std::wstring& trashedPath);
};
