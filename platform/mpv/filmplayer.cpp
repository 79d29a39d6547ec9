#include "platform/mpv/filmplayer.h"

#include <chrono>

namespace platform::mpv {
namespace {

// How long Open waits for libmpv to open the file and tell what it holds.
constexpr std::chrono::milliseconds kOpenTimeout{ 5000 };

}  // namespace

FilmPlayer::FilmPlayer() : m_mpv(HandleUse::Film)
{
}

bool FilmPlayer::Open(const std::string& file, std::uint64_t window)
{
    if (!m_mpv)
        return false;
    if (window != 0) {
        std::int64_t wid = static_cast<std::int64_t>(window);
        mpv_set_option(m_mpv.Get(), "wid", MPV_FORMAT_INT64, &wid);
    } else {
        mpv_set_option_string(m_mpv.Get(), "vid", "no");
    }
    return m_mpv.LoadAndWait(file, kOpenTimeout);
}

std::optional<FilmSize> FilmPlayer::PictureSize() const
{
    std::int64_t width = 0;
    std::int64_t height = 0;
    const bool film = m_mpv &&
        mpv_get_property(m_mpv.Get(), "current-tracks/video/demux-w", MPV_FORMAT_INT64, &width) >=
            0 &&
        mpv_get_property(m_mpv.Get(), "current-tracks/video/demux-h", MPV_FORMAT_INT64, &height) >=
            0 &&
        width > 0 && height > 0;
    if (!film)
        return std::nullopt;
    return FilmSize{ static_cast<int>(width), static_cast<int>(height) };
}

void FilmPlayer::Play()
{
    if (m_mpv)
        mpv_set_property_string(m_mpv.Get(), "pause", "no");
}

}  // namespace platform::mpv
