// Speech into sound files: the WAV files that speech programs write are read (or refused
// with a reason), made mono at 22.05 kHz or more with their silent ends cut, and written
// only where no file is; espeak-ng speaks Swedish by default and refuses an unknown voice;
// a carer's voice command gets the text and is believed only when its file is a sound.
#include "content/speech.h"
#include "content/wavesound.h"
#include "tests/foundation/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

void Put(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A WAV file's bytes with the given format chunk fields; frames hold one value from -1 to 1
// per frame, written to every channel.
std::string Wave(std::uint16_t tag, int channels, int rate, int bits,
                 const std::vector<double>& frames, std::uint32_t dataSizeField = 0)
{
    std::string data;
    for (const double value : frames) {
        for (int channel = 0; channel < channels; ++channel) {
            if (tag == 3) {
                const float f = static_cast<float>(value);
                std::uint32_t raw = 0;
                std::memcpy(&raw, &f, sizeof raw);
                Put(data, raw, 4);
            } else if (bits == 8) {
                Put(data, static_cast<std::uint32_t>(std::lround(value * 127) + 128), 1);
            } else {
                const double scale = std::ldexp(1.0, bits - 1) - 1;
                Put(data,
                    static_cast<std::uint32_t>(
                        static_cast<std::int64_t>(std::lround(value * scale))),
                    bits / 8);
            }
        }
    }
    std::string fmt;
    Put(fmt, tag, 2);
    Put(fmt, static_cast<std::uint32_t>(channels), 2);
    Put(fmt, static_cast<std::uint32_t>(rate), 4);
    Put(fmt, static_cast<std::uint32_t>(rate * channels * bits / 8), 4);
    Put(fmt, static_cast<std::uint32_t>(channels * bits / 8), 2);
    Put(fmt, static_cast<std::uint32_t>(bits), 2);
    std::string out = "RIFF";
    Put(out, static_cast<std::uint32_t>(4 + 8 + fmt.size() + 8 + data.size()), 4);
    out += "WAVEfmt ";
    Put(out, static_cast<std::uint32_t>(fmt.size()), 4);
    out += fmt + "data";
    Put(out, dataSizeField ? dataSizeField : static_cast<std::uint32_t>(data.size()), 4);
    return out + data;
}

// silenceMs of nothing, toneMs of a 440 Hz tone at half scale, silenceMs of nothing.
std::vector<double> ToneBetweenSilences(int rate, int silenceMs, int toneMs)
{
    std::vector<double> frames(static_cast<std::size_t>(rate * silenceMs / 1000), 0.0);
    for (int i = 0; i < rate * toneMs / 1000; ++i)
        frames.push_back(0.5 * std::sin(2 * M_PI * 440 * i / rate + 0.3));
    frames.resize(frames.size() + static_cast<std::size_t>(rate * silenceMs / 1000), 0.0);
    return frames;
}

std::uint32_t Field(const std::string& bytes, std::size_t at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

// Where the first and the last sample louder than level stand, in samples from each end.
void LoudEnds(const std::vector<std::int16_t>& samples, int level, std::size_t& lead,
              std::size_t& tail)
{
    lead = 0;
    while (lead < samples.size() && std::abs(samples[lead]) <= level)
        ++lead;
    tail = 0;
    while (tail < samples.size() && std::abs(samples[samples.size() - 1 - tail]) <= level)
        ++tail;
}

void WriteScript(const TempFolder& folder, const std::string& name, const std::string& body)
{
    folder.Write(name, "#!/bin/sh\n" + body);
    ::chmod((folder.Root / name).c_str(), 0755);
}

std::vector<std::string> FilesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(WaveSound, ReadsWhatSpeechProgramsWriteAsMonoSixteenBit)
{
    const std::vector<double> frames = { 0.0, 0.5, -0.5, 0.25 };
    struct TCase {
        const char* Name;
        std::string Bytes;
        int Rate;
    };
    std::string extensible = Wave(1, 2, 48000, 16, frames);
    // The same file as WAVE_FORMAT_EXTENSIBLE: a 40-byte format chunk naming PCM inside.
    {
        std::string fmt = extensible.substr(20, 16);
        fmt[0] = '\xFE';
        fmt[1] = '\xFF';
        fmt +=
            std::string("\x16\0\x10\0\x03\0\0\0\x01\0\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 24);
        extensible =
            extensible.substr(0, 16) + std::string("\x28\0\0\0", 4) + fmt + extensible.substr(36);
    }
    const TCase cases[] = {
        { "16-bit mono", Wave(1, 1, 22050, 16, frames), 22050 },
        { "16-bit stereo", Wave(1, 2, 44100, 16, frames), 44100 },
        { "8-bit", Wave(1, 1, 16000, 8, frames), 16000 },
        { "24-bit", Wave(1, 1, 48000, 24, frames), 48000 },
        { "32-bit", Wave(1, 1, 48000, 32, frames), 48000 },
        { "float", Wave(3, 1, 24000, 32, frames), 24000 },
        { "extensible", extensible, 48000 },
        // Written to a pipe: the data size is unknown and left at its largest.
        { "streamed", Wave(1, 1, 22050, 16, frames, 0xFFFFFFFF), 22050 },
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        CTQWaveSound sound;
        std::string error;
        ASSERT_TRUE(sound.Parse(c.Bytes, error)) << error;
        EXPECT_EQ(sound.GetSampleRate(), c.Rate);
        ASSERT_EQ(sound.GetSamples().size(), frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i)
            EXPECT_NEAR(sound.GetSamples()[i], frames[i] * 32767, 300) << "sample " << i;
    }
}

TEST(WaveSound, RefusesWhatIsNoSoundItCanRead)
{
    const std::vector<double> frames = { 0.0, 0.5 };
    const std::string good = Wave(1, 1, 22050, 16, frames);
    struct TCase {
        const char* Name;
        std::string Bytes;
        const char* Reason;
    };
    const TCase cases[] = {
        { "empty", "", "empty" },
        { "text", "Hello, this is not a sound at all.", "not a WAV file" },
        { "ADPCM", Wave(2, 1, 22050, 4, {}), "not PCM" },
        { "no channels", Wave(1, 0, 22050, 16, {}), "0 channels" },
        { "rate zero", Wave(1, 1, 0, 16, frames), "sample rate" },
        { "no data chunk", good.substr(0, 36), "no sound data" },
        { "no samples", Wave(1, 1, 22050, 16, {}), "no samples" },
        { "ten minutes", Wave(1, 1, 4000, 8, std::vector<double>(4000 * 600, 0.1)),
          "longer than 5 minutes" },
        { "short format chunk", good.substr(0, 16) + std::string("\x04\0\0\0\x01\0\x01\0", 8),
          "too short" },
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        CTQWaveSound sound;
        std::string error;
        EXPECT_FALSE(sound.Parse(c.Bytes, error));
        EXPECT_NE(error.find(c.Reason), std::string::npos) << error;
        EXPECT_TRUE(sound.GetSamples().empty());
    }
}

TEST(WaveSound, SilentEndsAreCutToAFewMsAndLowRatesRaised)
{
    // 16 kHz stereo with 200 ms of silence on each side of 100 ms of tone, as a voice
    // program might write it.
    CTQWaveSound sound;
    std::string error;
    ASSERT_TRUE(sound.Parse(Wave(1, 2, 16000, 16, ToneBetweenSilences(16000, 200, 100)), error))
        << error;
    sound.RaiseToMinSampleRate();
    EXPECT_EQ(sound.GetSampleRate(), 22050);
    sound.TrimSilence(5);
    // 100 ms of tone and 5 ms on each side, give or take the samples where the tone
    // crosses zero near its ends.
    EXPECT_NEAR(sound.GetDurationMs(), 110, 2);
    std::size_t lead = 0;
    std::size_t tail = 0;
    LoudEnds(sound.GetSamples(), 32, lead, tail);
    EXPECT_NEAR(static_cast<double>(lead), 22050 * 0.005, 3);
    EXPECT_NEAR(static_cast<double>(tail), 22050 * 0.005, 20);

    CTQWaveSound quiet(22050, std::vector<std::int16_t>(2000, 20));
    EXPECT_TRUE(quiet.IsSilent());
    EXPECT_FALSE(sound.IsSilent());
}

TEST(WaveSound, WritesOnlyWhereNoFileIsAndLeavesNothingHalfWritten)
{
    TempFolder folder;
    folder.Write("Page/b00001.WAV", "the carer's own recording");
    const CTQWaveSound sound(22050, std::vector<std::int16_t>(100, 1000));
    std::string error;
    // Names match without regard to case, as the board finds them; the folder too.
    EXPECT_FALSE(sound.WriteNew(folder.Path("page/B00001.wav"), error));
    EXPECT_NE(error.find("there already"), std::string::npos) << error;
    EXPECT_EQ(folder.Read("Page/b00001.WAV"), "the carer's own recording");

    ASSERT_TRUE(sound.WriteNew(folder.Path("page/B00002.wav"), error)) << error;
    EXPECT_EQ(FilesIn(folder.Root / "Page"),
              (std::vector<std::string>{ "B00002.wav", "b00001.WAV" }));
    const std::string bytes = folder.Read("Page/B00002.wav");
    EXPECT_EQ(bytes, sound.ToBytes());
    struct stat info { };
    ASSERT_EQ(::stat((folder.Root / "Page/B00002.wav").c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IROTH, 0u) << "a made sound is readable like any new file";

    // A folder that cannot be written in: a reason, and no file.
    EXPECT_FALSE(sound.WriteNew(folder.Path("Missing/B00001.wav"), error));
    EXPECT_FALSE(std::filesystem::exists(folder.Root / "Missing"));
}

TEST(Speech, EspeakSpeaksSwedishIntoATrimmedSixteenBitMonoFile)
{
    bool ok = false;
    std::string error;
    const CTQSpeech speech(CTQSpeech::DefaultVoice, ok, error);
    ASSERT_TRUE(ok) << error;
    TempFolder folder;
    ASSERT_TRUE(speech.MakeSoundFile(L"Tillbaka", folder.Path("Tillbaka.wav"), error)) << error;

    const std::string bytes = folder.Read("Tillbaka.wav");
    ASSERT_GE(bytes.size(), 44u);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(Field(bytes, 20, 2), 1u) << "PCM";
    EXPECT_EQ(Field(bytes, 22, 2), 1u) << "one channel";
    EXPECT_GE(Field(bytes, 24, 4), 22050u) << "sample rate";
    EXPECT_EQ(Field(bytes, 34, 2), 16u) << "bits per sample";

    CTQWaveSound sound;
    ASSERT_TRUE(sound.Parse(bytes, error)) << error;
    EXPECT_GT(sound.GetDurationMs(), 200);
    EXPECT_LT(sound.GetDurationMs(), 2000);
    // "Tillbaka" begins with the silence before the t's burst: cut to 5 ms.
    std::size_t lead = 0;
    std::size_t tail = 0;
    int peak = 0;
    for (const std::int16_t s : sound.GetSamples())
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    LoudEnds(sound.GetSamples(), peak / 100, lead, tail);
    const std::size_t fiveMs = static_cast<std::size_t>(sound.GetSampleRate()) * 5 / 1000;
    EXPECT_LE(lead, fiveMs);
    EXPECT_LE(tail, fiveMs);
}

TEST(Speech, AnotherVoiceIsTakenAndAnUnknownOneRefused)
{
    bool ok = false;
    std::string error;
    const CTQSpeech english("en-us", ok, error);
    EXPECT_TRUE(ok) << error;
    CTQWaveSound sound;
    EXPECT_TRUE(english.Speak(L"Hello", sound, error)) << error;

    const CTQSpeech unknown("xx-no-such-voice", ok, error);
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find("'xx-no-such-voice'"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
}

TEST(Speech, VoiceForALocale)
{
    const std::pair<const char*, const char*> cases[] = {
        { "sv_SE.UTF-8", "sv" }, { "en-US", "en-us" }, { "pt_BR", "pt-br" }, { "de", "de" },
        { "xx-YY", "" },         { "", "" },           { "C", "" },
    };
    for (const auto& [locale, voice] : cases)
        EXPECT_EQ(CTQSpeech::VoiceForLocale(locale), voice) << locale;
}

TEST(Speech, NothingToSayIsRefused)
{
    bool ok = false;
    std::string error;
    const CTQSpeech speech(CTQSpeech::DefaultVoice, ok, error);
    ASSERT_TRUE(ok) << error;
    TempFolder folder;
    EXPECT_FALSE(speech.MakeSoundFile(L" \r\n\t", folder.Path("B00001.wav"), error));
    EXPECT_TRUE(FilesIn(folder.Root).empty());
    EXPECT_EQ(CTQSpeech::SpokenText(L"  Glass\r\noch  saft\n"), L"Glass och saft");
}

TEST(Speech, VoiceCommandGetsTheTextAndItsFileIsCheckedAndTrimmed)
{
    TempFolder folder;
    // The command's sound: 16 kHz stereo with long silent ends.
    folder.MakeFolder("Page");
    folder.Write("voice.wav", Wave(1, 2, 16000, 16, ToneBetweenSilences(16000, 300, 150)));
    WriteScript(folder, "voice",
                "cat > '" + (folder.Root / "heard.txt").string() + "'\necho \"$1\" > '" +
                    (folder.Root / "path.txt").string() + "'\ncat '" +
                    (folder.Root / "voice.wav").string() + "' > \"$1\"\n");
    bool ok = false;
    std::string error;
    // Quoted as on a shortcut; the path has no shell between it and the program.
    const CTQSpeech speech =
        CTQSpeech::FromCommand("\"" + (folder.Root / "voice").string() + "\"", ok, error);
    ASSERT_TRUE(ok) << error;
    ASSERT_TRUE(speech.MakeSoundFile(L"Glass och\nsaft; $(rm -rf /)",
                                     folder.Path("Page/B00001.wav"), error))
        << error;
    EXPECT_EQ(folder.Read("heard.txt"), "Glass och saft; $(rm -rf /)\n");

    CTQWaveSound sound;
    ASSERT_TRUE(sound.Parse(folder.Read("Page/B00001.wav"), error)) << error;
    EXPECT_EQ(sound.GetSampleRate(), 22050);
    EXPECT_NEAR(sound.GetDurationMs(), 160, 3);
    EXPECT_EQ(FilesIn(folder.Root / "Page"), std::vector<std::string>{ "B00001.wav" });
    std::string commandsFile = folder.Read("path.txt");
    ASSERT_FALSE(commandsFile.empty());
    commandsFile.pop_back();
    EXPECT_FALSE(std::filesystem::exists(commandsFile)) << "the command's own file is removed";
}

TEST(Speech, AVoiceCommandThatFailsMakesNoFile)
{
    TempFolder folder;
    struct TCase {
        const char* Name;
        const char* Script;
        const char* Reason;
    };
    const TCase cases[] = {
        { "exit code", "exit 3\n", "exit code 3" },
        { "garbage", "echo 'no sound here' > \"$1\"\n", "not a WAV file" },
        { "nothing written", "exit 0\n", "empty" },
        { "silence", "", "no sound" },  // filled in below: a WAV of zeros
        { "killed", "kill -9 $$\n", "signal 9" },
    };
    folder.Write("silence.wav", Wave(1, 1, 22050, 16, std::vector<double>(2205, 0.0)));
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string body = std::string(c.Name) == "silence"
            ? "cat '" + (folder.Root / "silence.wav").string() + "' > \"$1\"\n"
            : std::string(c.Script);
        WriteScript(folder, "voice", body);
        bool ok = false;
        std::string error;
        const CTQSpeech speech =
            CTQSpeech::FromCommand((folder.Root / "voice").string(), ok, error);
        ASSERT_TRUE(ok) << error;
        EXPECT_FALSE(speech.MakeSoundFile(L"Mat", folder.Path("Page/B00001.wav"), error));
        EXPECT_NE(error.find(c.Reason), std::string::npos) << error;
        EXPECT_FALSE(std::filesystem::exists(folder.Root / "Page")) << "nothing is written";
    }

    bool ok = true;
    std::string error;
    CTQSpeech::FromCommand("no-such-voice-program --fast", ok, error);
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find("'no-such-voice-program'"), std::string::npos) << error;
    CTQSpeech::FromCommand("  ", ok, error);
    EXPECT_FALSE(ok);
}
