// One libmpv handle, set up the same way for every player of the board: the numeric locale
// libmpv needs, the options it is made with, and the bounded wait for a file it was asked
// to load. The wait runs in a nested message loop that libmpv's wakeup callback wakes, so
// the user-interface thread keeps serving paints and notices a close while libmpv opens a
// file, and never blocks inside libmpv.
#pragma once

#include <mpv/client.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace platform::mpv {

// What a handle is for. Each has its own options on top of the ones every handle shares.
enum class HandleUse {
    Sound,  // sounds only, played one after the other
    Film,   // a film or music, paused until played, its picture in a window of the board's
    Probe,  // opens files without a sound or a picture, only to see whether they play
};

// The file as libmpv should open it: the real (case-resolved) path made absolute, so no
// name is ever taken for a libmpv protocol or option. Empty when there is nothing to play
// (no such file, or an empty one).
std::string PlayableFile(const std::wstring& path);

class MpvHandle {
public:
    explicit MpvHandle(HandleUse use);
    ~MpvHandle();
    MpvHandle(const MpvHandle&) = delete;
    MpvHandle& operator=(const MpvHandle&) = delete;

    // nullptr when libmpv could not be loaded, created or initialised (traced).
    mpv_handle* Get() const { return m_mpv; }
    explicit operator bool() const { return m_mpv != nullptr; }

    // "loadfile <file> replace", then waits until libmpv has opened it (true) or given it
    // up (false), at most timeout. False at once when the board is closing. A probe counts a
    // file as opened only with a track, or once it has played to its end.
    bool LoadAndWait(const std::string& file, std::chrono::milliseconds timeout);
    // "stop", then waits (bounded) until the handle is idle, so that the stopped file's
    // events are taken and the next load's wait sees only its own.
    void StopAndWait(std::chrono::milliseconds timeout);
    // "loadfile <file> replace" without waiting: the playlist entry libmpv made, or nothing
    // when it refused. Its end is told by the MPV_EVENT_END_FILE that carries this entry.
    std::optional<std::int64_t> Load(const std::string& file);

private:
    bool HasTracks() const;

    enum class Outcome { Pending, Yes, No };

    // Takes the events that have arrived, without waiting, until one decides.
    template <typename Decide> Outcome TakeEvents(Decide decide);
    // Waits in the message loop until TakeEvents decides, at most timeout.
    template <typename Decide> Outcome WaitFor(Decide decide, std::chrono::milliseconds timeout);

    HandleUse m_use;
    mpv_handle* m_mpv = nullptr;
};

}  // namespace platform::mpv
