// Test control of the fake media player: every command is recorded with its result and
// virtual time. A file opens when it exists and is not empty; a ".wmv", ".avi", ".mp4" or
// ".mpg" file is a film and gets a window, titled with its path, on the fake desktop.
#pragma once

#include "platform/types.h"

#include <string>
#include <vector>

namespace fake {

struct MediaRecord {
    std::wstring command;
    int result = 0;
    unsigned atMs = 0;
};

// Forgets the records and closes every alias; films are 640 x 480 again.
void ResetMedia();
const std::vector<MediaRecord>& MediaCommands();
// The size a film opened from now on has (its window's client size).
void SetFilmSize(int width, int height);

// What an alias holds: the opened file's path (empty when nothing is open), whether it
// was played, and the film window (0 for music).
struct MediaState {
    std::wstring path;
    bool playing = false;
    HWND window = 0;
};
MediaState Media(const std::wstring& alias);

}  // namespace fake
