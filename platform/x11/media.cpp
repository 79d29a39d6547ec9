// The media player of the x11 backend: one player (platform/mpv/filmplayer) per alias, made
// at "open" and destroyed at "close". A film renders into an X window of the board's own: a
// top-level, override-redirect window titled with the film's path (so a search by title
// finds it) and as large as the film, which mpv fills through its "wid" option and follows
// when the window is resized. "open" waits for the file in a nested loop that keeps serving
// paints, so the board does not freeze while a film is opened.
#include "platform/audio.h"

#include "platform/common/mediacommand.h"
#include "platform/files.h"
#include "platform/mpv/filmplayer.h"
#include "platform/x11/properties.h"
#include "platform/x11/x11connection.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <clocale>
#include <cstdint>
#include <filesystem>
#include <malloc.h>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace platform {
namespace {

// A film window's size until the film's own is known.
constexpr int kProvisionalSize = 16;
// Where a film's window waits until it is placed.
constexpr int kOffScreen = -20000;

// The window a film plays in: top-level and override-redirect (no window manager frames
// or moves it), black, and mapped far off the screen until whoever places it moves it into
// view: mpv starts its picture in a window that is already mapped, and nothing flashes up
// over the board before the window is in its place.
Window CreateFilmWindow(Display* display, const std::wstring& title)
{
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(display, DefaultScreen(display));
    const Window window =
        XCreateWindow(display, DefaultRootWindow(display), kOffScreen, kOffScreen, kProvisionalSize,
                      kProvisionalSize, 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWBackPixel, &attributes);
    if (window == None)
        return None;

    x11::SetTitle(display, window, title);
    XClassHint hint{};
    char name[] = "orlido-film";
    char className[] = "Orlido";
    hint.res_name = name;
    hint.res_class = className;
    XSetClassHint(display, window, &hint);
    const long pid = static_cast<long>(::getpid());
    XChangeProperty(display, window, x11::GetAtom("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XMapWindow(display, window);
    // mpv opens its own connection and must find the window there.
    XSync(display, False);
    return window;
}

// A film or music under one alias: the player (libmpv) and, for a film, its window.
class MediaPlayer {
public:
    ~MediaPlayer()
    {
        // The player first: its video output lives inside the window.
        m_player.reset();
        x11::InstallErrorHandler();
        DestroyWindow();
    }

    MediaPlayer() = default;
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    // 0, or the command's error.
    int Open(const std::wstring& path)
    {
        const std::string file = mpv::PlayableFile(path);
        if (file.empty())
            return kMediaErrorCannotOpen;
        m_player = std::make_unique<mpv::FilmPlayer>();
        if (!m_player->Ready())
            return kMediaErrorNoPlayer;

        // Without a display a film is heard, not seen.
        Display* display = x11::GetDisplay();
        if (display != nullptr)
            m_window = CreateFilmWindow(display, path);
        if (!m_player->Open(file, m_window))
            return kMediaErrorCannotOpen;

        SizeWindowToFilm();
        return 0;
    }

    void Play() { m_player->Play(); }

private:
    // A film's window takes the film's size; music needs no window.
    void SizeWindowToFilm()
    {
        const std::optional<mpv::FilmSize> size = m_player->PictureSize();
        if (!size) {
            DestroyWindow();
            return;
        }
        Display* display = x11::DisplayIfOpen();
        if (m_window != None && display != nullptr) {
            XResizeWindow(display, m_window, static_cast<unsigned>(size->width),
                          static_cast<unsigned>(size->height));
            XSync(display, False);
        }
    }

    void DestroyWindow()
    {
        Display* display = x11::DisplayIfOpen();
        if (m_window == None || display == nullptr)
            return;
        x11::ErrorTrap trap;  // whoever adopted the window may have destroyed it with theirs
        XDestroyWindow(display, m_window);
        trap.Failed();
        m_window = None;
    }

    std::unique_ptr<mpv::FilmPlayer> m_player;
    Window m_window = None;
};

// The players by alias. Commands come from the user-interface thread only.
std::map<std::wstring, std::unique_ptr<MediaPlayer>>& Players()
{
    static std::map<std::wstring, std::unique_ptr<MediaPlayer>> players;
    return players;
}

}  // namespace

int mciSendString(const std::wstring& text)
{
    MediaCommand command;
    if (!ParseMediaCommand(text, command))
        return kMediaErrorUnknownCommand;

    auto& players = Players();
    const auto found = players.find(command.alias);

    if (command.verb == L"open") {
        if (found != players.end())
            return kMediaErrorAliasInUse;
        auto player = std::make_unique<MediaPlayer>();
        const int result = player->Open(command.device);
        if (result == 0)
            players[command.alias] = std::move(player);
        return result;
    }
    if (found == players.end())
        return kMediaErrorUnknownAlias;
    if (command.verb == L"play") {
        found->second->Play();
        return 0;
    }
    if (command.verb == L"close") {
        players.erase(found);
        // The film's frames and decoder buffers, below the heap's mapping threshold, were
        // freed into the heap in scattered pieces that no top trim reaches: hand their pages
        // back, or a 4K film leaves well over 100 MiB with the board.
        malloc_trim(0);
        return 0;
    }
    return kMediaErrorUnknownCommand;
}

}  // namespace platform
