#include "platform/audio/soundfile.h"
#include "tests/foundation/wav_bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using platform::audio::SoundFile;

class SoundFileTest : public ::testing::Test {
protected:
    SoundFileTest()
    {
        std::string pattern = (fs::temp_directory_path() / "orlido-soundfile-XXXXXX").string();
        m_folder = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~SoundFileTest() override
    {
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }

    std::string Write(const std::string& name, const std::string& bytes) const
    {
        const std::string path = m_folder + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::string m_folder;
};

TEST_F(SoundFileTest, PcmWavReadsBackItsOwnSamplesInOrder)
{
    const std::vector<std::int16_t> samples{ 0, 1000, -1000, 32767, -32768, 7, -7, 12345 };
    SoundFile file(Write("stereo.wav", PcmWav(16000, 2, 16, Samples16(samples))));
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Rate(), 16000);
    EXPECT_EQ(file.Channels(), 2);
    EXPECT_EQ(file.Frames(), 4);
    std::vector<std::int16_t> read;
    EXPECT_EQ(file.Read(read, 3), 3u);  // read in pieces, as the player does
    EXPECT_EQ(file.Read(read, 3), 1u);
    EXPECT_EQ(file.Read(read, 3), 0u);
    EXPECT_EQ(read, samples);
}

TEST_F(SoundFileTest, EightBitWavAndMp3GiveTheirFormatAndLength)
{
    // 8-bit PCM is unsigned around 128: 128 is silence, 255 nearly the top.
    SoundFile eightBit(Write("eight.wav", PcmWav(8000, 1, 8, std::string("\x80\xFF\x00", 3))));
    ASSERT_TRUE(eightBit.IsOpen());
    std::vector<std::int16_t> read;
    eightBit.Read(read, 16);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0], 0);
    EXPECT_GT(read[1], 32000);
    EXPECT_EQ(read[2], -32768);

    SoundFile mp3(std::string(ORLIDO_BUTTONS_FIXTURES) + "/short.mp3");
    ASSERT_TRUE(mp3.IsOpen());
    EXPECT_EQ(mp3.Rate(), 22050);
    EXPECT_EQ(mp3.Channels(), 1);
    std::size_t frames = 0;
    std::vector<std::int16_t> chunk;
    while (const std::size_t got = mp3.Read(chunk, 4096))
        frames += got;
    EXPECT_NEAR(static_cast<double>(frames) / 22050, 0.6, 0.05);
}

// Files the small path leaves to libmpv: libmpv then plays them or gives the default sound.
TEST_F(SoundFileTest, FilesLibsndfileCannotReadAreNotOpened)
{
    const std::string fixtures = ORLIDO_BUTTONS_FIXTURES;
    const std::string cases[] = {
        Write("empty.wav", ""),
        Write("noise.mp3", std::string(3000, '\x5A')),
        Write("header-only.wav", "RIFF\x10\x00\x00\x00WAVE"),
        Write("no-samples.wav", PcmWav(16000, 1, 16, "")),
        Write("id3-then-noise.mp3", "ID3" + std::string(3000, '\x5A')),
        fixtures + "/short.wma",
        fixtures + "/short.wmv",
        m_folder + "/missing.wav",
        m_folder,
    };
    for (const std::string& path : cases)
        EXPECT_FALSE(SoundFile(path).IsOpen()) << path;
}

}  // namespace
