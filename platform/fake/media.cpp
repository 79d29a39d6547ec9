// The recording media player of the test backend: commands are kept with their results and
// virtual times; a film gets a window titled with its path on the fake desktop.
#include "platform/audio.h"

#include "platform/common/mediacommand.h"
#include "platform/desktop.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_media.h"
#include "platform/files.h"
#include "platform/messageloop.h"

#include <cwctype>
#include <map>
#include <mutex>
#include <unistd.h>

namespace {

struct FakeMedia {
    std::mutex mutex;
    std::vector<fake::MediaRecord> records;
    std::map<std::wstring, fake::MediaState> aliases;
    int filmWidth = 640;
    int filmHeight = 480;
};

FakeMedia& State()
{
    static FakeMedia state;
    return state;
}

bool IsFilm(const std::wstring& path)
{
    const std::size_t dot = path.find_last_of(L'.');
    std::wstring extension = dot == std::wstring::npos ? std::wstring() : path.substr(dot + 1);
    for (wchar_t& c : extension)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return extension == L"wmv" || extension == L"avi" || extension == L"mp4" || extension == L"mpg";
}

bool Opens(const std::wstring& path)
{
    std::string bytes;
    return platform::ReadFileBytes(path, 1, bytes) && !bytes.empty();
}

void CloseAlias(fake::MediaState& media)
{
    if (media.window != 0)
        fake::RemoveWindow(media.window);
    media = fake::MediaState{};
}

int Run(const std::wstring& text)
{
    platform::MediaCommand command;
    if (!platform::ParseMediaCommand(text, command))
        return platform::kMediaErrorUnknownCommand;

    FakeMedia& state = State();
    std::lock_guard lock(state.mutex);
    const auto found = state.aliases.find(command.alias);

    if (command.verb == L"open") {
        if (found != state.aliases.end())
            return platform::kMediaErrorAliasInUse;
        if (!Opens(command.device))
            return platform::kMediaErrorCannotOpen;
        fake::MediaState media;
        media.path = command.device;
        if (IsFilm(command.device)) {
            // The board's own window, hidden until the film plays.
            fake::WindowSpec window;
            window.processId = static_cast<DWORD>(::getpid());
            window.title = command.device;
            window.className = L"orlido-film";
            window.style = platform::WS_POPUP;
            window.rect = RECT{ 0, 0, state.filmWidth, state.filmHeight };
            media.window = fake::AddWindow(window);
        }
        state.aliases[command.alias] = media;
        return 0;
    }
    if (found == state.aliases.end())
        return platform::kMediaErrorUnknownAlias;
    if (command.verb == L"play") {
        found->second.playing = true;
        return 0;
    }
    if (command.verb == L"close") {
        CloseAlias(found->second);
        state.aliases.erase(found);
        return 0;
    }
    return platform::kMediaErrorUnknownCommand;
}

}  // namespace

namespace platform {

int mciSendString(const std::wstring& command)
{
    const int result = Run(command);
    FakeMedia& state = State();
    std::lock_guard lock(state.mutex);
    state.records.push_back({ command, result, static_cast<unsigned>(platform::GetTickCount()) });
    return result;
}

}  // namespace platform

namespace fake {

void ResetMedia()
{
    FakeMedia& state = State();
    std::lock_guard lock(state.mutex);
    for (auto& [alias, media] : state.aliases)
        CloseAlias(media);
    state.aliases.clear();
    state.records.clear();
    state.filmWidth = 640;
    state.filmHeight = 480;
}

const std::vector<MediaRecord>& MediaCommands()
{
    return State().records;
}

void SetFilmSize(int width, int height)
{
    FakeMedia& state = State();
    std::lock_guard lock(state.mutex);
    state.filmWidth = width;
    state.filmHeight = height;
}

MediaState Media(const std::wstring& alias)
{
    FakeMedia& state = State();
    std::lock_guard lock(state.mutex);
    const auto found = state.aliases.find(alias);
    return found != state.aliases.end() ? found->second : MediaState{};
}

}  // namespace fake
