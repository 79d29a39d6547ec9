#include "windowsmobilelibraries/tqgraphics/tqsoundplayer.h"

#include "platform/fake/fake_audio.h"
#include "platform/fake/fake_messageloop.h"
#include "platform/files.h"
#include "platform/messageloop.h"

#include <gtest/gtest.h>

namespace {

void ExpectRecord(const fake::SoundRecord& record, const std::wstring& path, bool sync,
                  unsigned atMs)
{
    EXPECT_EQ(record.path, path);
    EXPECT_EQ(record.sync, sync) << platform::ToUtf8(path);
    EXPECT_EQ(record.atMs, atMs) << platform::ToUtf8(path);
}

TEST(FakeSoundPlayer, RecordsEveryCallAndPlaysToTheEndOnTheVirtualClock)
{
    fake::ResetMessageLoop();
    fake::ResetAudio();
    fake::SetSoundLength(L"/c/B00001.wav", 2500);
    CTQSoundPlayer player;
    player.PlayAsync(L"/c/JagValde.wav");  // at 0, returns at once
    player.PlaySync(L"/c/B00001.wav");     // at 0, lasts 2500 ms
    player.PlaySync(L"/c/B00002.wav");     // at 2500, the default 1000 ms
    player.PlayAsync(L"/c/missing.wav");   // at 3500
    const auto& played = fake::PlayedSounds();
    ASSERT_EQ(played.size(), 4u);
    ExpectRecord(played[0], L"/c/JagValde.wav", false, 0);
    ExpectRecord(played[1], L"/c/B00001.wav", true, 0);
    ExpectRecord(played[2], L"/c/B00002.wav", true, 2500);
    ExpectRecord(played[3], L"/c/missing.wav", false, 3500);
    EXPECT_EQ(platform::GetTickCount(), 3500u);

    fake::ResetAudio();
    EXPECT_TRUE(fake::PlayedSounds().empty());
    fake::SetDefaultSoundLength(300);
    player.PlaySync(L"/c/B00001.wav");
    EXPECT_EQ(platform::GetTickCount(), 3800u) << "lengths are forgotten by the reset";
}

}  // namespace
