// The player half of a film or a piece of music: one libmpv handle per open file, made when
// the file is opened and destroyed with the player, so a closed film leaves no decoder,
// video output or memory behind. The window a film is shown in belongs to the caller.
#pragma once

#include "platform/mpv/mpvhandle.h"

#include <cstdint>
#include <optional>
#include <string>

namespace platform::mpv {

struct FilmSize {
    int width = 0;
    int height = 0;
};

class FilmPlayer {
public:
    FilmPlayer();
    FilmPlayer(const FilmPlayer&) = delete;
    FilmPlayer& operator=(const FilmPlayer&) = delete;

    // False when libmpv could not be started.
    bool Ready() const { return static_cast<bool>(m_mpv); }

    // Opens file (as PlayableFile gives it), paused. window: the X window the picture fills
    // and follows when it is resized; 0 when there is none, and the file is only heard.
    // Waits in the message loop until the file is open, at most a few seconds; false when
    // libmpv could not open it.
    bool Open(const std::string& file, std::uint64_t window);

    // The film's own size once it is open; nothing for a file without moving pictures.
    std::optional<FilmSize> PictureSize() const;

    void Play();

private:
    MpvHandle m_mpv;
};

}  // namespace platform::mpv
