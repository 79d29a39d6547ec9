// The sound player of the board built for the page-timing benchmark: every sound lasts the
// same fixed time and plays nothing, so the time from a sound's end to the next page on the
// screen can be measured on any machine, with or without a sound device, the same way in
// every run. A sound played to its end waits in the same kind of nested loop as the real
// player (paints served, a close ends it).
//
//   ORLIDO_SOUND_MS    the length of every sound in milliseconds (default 1000)
//   ORLIDO_SOUND_LOG   a file to which one line is appended per sound played to its end:
//                      "sync START END RETURNED" in nanoseconds of CLOCK_MONOTONIC, END
//                      being START + the length (when the sound is heard to its end) and
//                      RETURNED when the board went on
#include "platform/audio.h"

#include "platform/files.h"
#include "platform/messageloop.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

unsigned SoundLengthMs()
{
    const char* text = std::getenv("ORLIDO_SOUND_MS");
    const long ms = text ? std::strtol(text, nullptr, 10) : 0;
    return ms > 0 ? static_cast<unsigned>(ms) : 1000U;
}

long long Nanoseconds(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// One write per line with O_APPEND: a reader that polls the file never sees half a line.
void Log(const std::string& line)
{
    const char* path = std::getenv("ORLIDO_SOUND_LOG");
    if (!path || !*path)
        return;
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
    ::close(fd);
}

}  // namespace

namespace platform {

void PlaySoundAsync(const std::wstring&)
{
}

void SetCueSoundDevice(const std::wstring&)
{
}

void PlayCueSoundAsync(const std::wstring&)
{
}

void PlayCueTone()
{
}

void PlaySoundSync(const std::wstring&)
{
    if (IsClosing())
        return;
    const unsigned length = SoundLengthMs();
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + std::chrono::milliseconds(length);
    // The loop's time-out is whole milliseconds: it is waited for again until the end.
    while (Clock::now() < end) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count() + 1;
        if (!RunModalLoop([] { return false; }, ModalServe::PaintsOnly, static_cast<DWORD>(left)) &&
            IsClosing())
            return;
    }
    const Clock::time_point returned = Clock::now();
    char line[96];
    std::snprintf(line, sizeof line, "sync %lld %lld %lld\n", Nanoseconds(start), Nanoseconds(end),
                  Nanoseconds(returned));
    Log(line);
}

void StopSound()
{
}

// Only sounds played to their end take time here, and nothing runs beside them.
bool IsSoundPlaying()
{
    return false;
}

// A sound of fixed length needs nothing loaded or decoded.
void PrepareSound()
{
}
void KeepSoundsReady(const std::vector<std::wstring>&)
{
}

bool CanPlayFile(const std::wstring& path)
{
    std::string bytes;
    return ReadFileBytes(path, 1, bytes) && !bytes.empty();
}

}  // namespace platform
