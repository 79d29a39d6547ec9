#include "platform/audio/soundcache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

using platform::audio::DecodedSound;
using platform::audio::SoundCache;
using platform::audio::SoundKey;

std::shared_ptr<const DecodedSound> SoundOfBytes(std::size_t bytes)
{
    auto sound = std::make_shared<DecodedSound>();
    sound->rate = 16000;
    sound->channels = 1;
    sound->samples.resize(bytes / 2);
    return sound;
}

SoundKey Key(const std::string& path, std::int64_t modified = 1)
{
    return SoundKey{ path, 100, modified };
}

TEST(SoundCache, TheSoundsUsedLongestAgoGiveWayAndTheTotalStaysWithinItsLimit)
{
    SoundCache cache(1000, 400);
    cache.Keep(Key("a"), SoundOfBytes(300));
    cache.Keep(Key("b"), SoundOfBytes(300));
    cache.Keep(Key("c"), SoundOfBytes(300));
    ASSERT_NE(cache.Find(Key("a")), nullptr);  // now "b" is the one used longest ago
    cache.Keep(Key("d"), SoundOfBytes(300));
    EXPECT_EQ(cache.Find(Key("b")), nullptr);
    EXPECT_NE(cache.Find(Key("a")), nullptr);
    EXPECT_NE(cache.Find(Key("c")), nullptr);
    EXPECT_NE(cache.Find(Key("d")), nullptr);
    EXPECT_EQ(cache.Bytes(), 900u);

    // Larger than one sound may be: never kept, and nothing else gives way for it.
    cache.Keep(Key("e"), SoundOfBytes(500));
    EXPECT_EQ(cache.Find(Key("e")), nullptr);
    EXPECT_EQ(cache.Bytes(), 900u);
}

// A file written again has another key: its old samples are never played, nor kept beside
// the new ones.
TEST(SoundCache, AFileWrittenAgainReplacesWhatWasKeptForIt)
{
    SoundCache cache(1000, 400);
    cache.Keep(Key("a", 1), SoundOfBytes(300));
    EXPECT_EQ(cache.Find(Key("a", 2)), nullptr);
    cache.Keep(Key("a", 2), SoundOfBytes(200));
    EXPECT_EQ(cache.Find(Key("a", 1)), nullptr);
    ASSERT_NE(cache.Find(Key("a", 2)), nullptr);
    EXPECT_EQ(cache.Find(Key("a", 2))->Bytes(), 200u);
    EXPECT_EQ(cache.Bytes(), 200u);
}

TEST(SoundCache, AKeyIsTheFileAsItIsNow)
{
    const std::string path =
        (std::filesystem::temp_directory_path() / "orlido-soundkey.wav").string();
    std::ofstream(path) << "12345";
    const auto before = platform::audio::KeyOf(path);
    ASSERT_TRUE(before.has_value());
    EXPECT_EQ(before->size, 5u);
    std::ofstream(path) << "1234567";
    EXPECT_NE(platform::audio::KeyOf(path), before);
    std::filesystem::remove(path);
    EXPECT_FALSE(platform::audio::KeyOf(path).has_value());
    EXPECT_FALSE(
        platform::audio::KeyOf(std::filesystem::temp_directory_path().string()).has_value());
}

}  // namespace
