#include "windowsmobilelibraries/tqgraphics/tqsoundplayer.h"

#include "platform/audio.h"

void CTQSoundPlayer::PlayAsync(std::wstring path)
{
    platform::PlaySoundAsync(path);
}

void CTQSoundPlayer::PlaySync(std::wstring path)
{
    platform::PlaySoundSync(path);
}

void CTQSoundPlayer::PlayCueAsync(std::wstring path)
{
    platform::PlayCueSoundAsync(path);
}

void CTQSoundPlayer::PlayCueTone()
{
    platform::PlayCueTone();
}
