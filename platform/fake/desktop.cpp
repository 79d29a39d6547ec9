// The fake desktop: a settable executable path and font face, and keys the test presses.
// Pressed keys travel as X's recorded keys do: through a pipe that the message loop
// watches, so they reach the watch only when the loop next runs, after whatever window had
// the focus (an open message box) has seen them.
#include "platform/desktop.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_loop_internal.h"
#include "platform/files.h"
#include "platform/messageloop.h"

#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

std::wstring RealExecutablePath()
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return L"";
    return platform::FromUtf8(std::string_view(buffer, static_cast<std::size_t>(length)));
}

struct DesktopState {
    std::wstring executablePath = RealExecutablePath();
    std::wstring fontFace = L"DejaVu Sans";
    bool watchAvailable = true;
    std::function<void(int, bool, DWORD)> onKey;
};

// One recorded key event as it travels through the pipe.
struct KeyRecord {
    std::int32_t virtualKey = 0;
    std::int32_t down = 0;
    DWORD time = 0;
};

struct KeyPipe {
    int readEnd = -1;
    int writeEnd = -1;
    KeyPipe()
    {
        int fds[2];
        if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
            readEnd = fds[0];
            writeEnd = fds[1];
        }
    }
    ~KeyPipe()
    {
        close(readEnd);
        close(writeEnd);
    }
};

KeyPipe& Keys()
{
    static KeyPipe keys;
    return keys;
}

DesktopState& State()
{
    static DesktopState state;
    return state;
}

void ReadRecordedKeys()
{
    KeyRecord record;
    while (read(Keys().readEnd, &record, sizeof record) == static_cast<ssize_t>(sizeof record)) {
        if (auto onKey = State().onKey)  // a copy: the callback may stop the watch
            onKey(record.virtualKey, record.down != 0, record.time);
    }
}

void DropRecordedKeys()
{
    KeyRecord record;
    while (read(Keys().readEnd, &record, sizeof record) > 0) { }
}

}  // namespace

namespace platform {

std::wstring GetExecutablePath()
{
    return State().executablePath;
}

std::wstring GetDefaultFontFace()
{
    return State().fontFace;
}

void StartDefaultFontFaceLookup()
{
}

bool StartKeyWatch(std::function<void(int virtualKey, bool down, DWORD time)> onKey)
{
    if (!State().watchAvailable) {
        Trace(L"Key watch: not available on this desktop; working without watched keys\n");
        return false;
    }
    DropRecordedKeys();
    State().onKey = std::move(onKey);
    platform::WatchFileDescriptor(Keys().readEnd, ReadRecordedKeys);
    return true;
}

void StopKeyWatch()
{
    platform::UnwatchFileDescriptor(Keys().readEnd);
    State().onKey = nullptr;
}

}  // namespace platform

namespace fake {

void ResetDesktop()
{
    platform::StopKeyWatch();
    DropRecordedKeys();
    State() = DesktopState{};
    ResetPrograms();
}

void SetExecutablePath(const std::wstring& path)
{
    State().executablePath = path;
}

void SetDefaultFontFace(const std::wstring& face)
{
    State().fontFace = face;
}

void SetKeyWatchAvailable(bool available)
{
    State().watchAvailable = available;
}

bool KeyWatchActive()
{
    return static_cast<bool>(State().onKey);
}

namespace {

void RecordKey(int virtualKey, bool down)
{
    if (!State().onKey)
        return;
    const KeyRecord record{ virtualKey, down ? 1 : 0, fake::internal::ServerTime() };
    [[maybe_unused]] const ssize_t written = write(Keys().writeEnd, &record, sizeof record);
}

}  // namespace

void PressKey(int virtualKey)
{
    RecordKey(virtualKey, true);
}

void ReleaseKey(int virtualKey)
{
    RecordKey(virtualKey, false);
}

}  // namespace fake
