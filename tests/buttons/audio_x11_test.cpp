// Real playback, on each of the board's sound paths: the small one (libsndfile and an ALSA
// output kept open) on the default device and on ALSA's "null" device, which takes samples
// faster than it plays them, and libmpv for every sound. The machine may have no sound
// device: the audio then goes nowhere in real time, so a sound played to its end still
// lasts as long as the sound.
#include "platform/audio.h"

#include "platform/files.h"
#include "platform/messageloop.h"
#include "windowsmobilelibraries/tqgraphics/tqsoundplayer.h"

#include "buttons_fixture.h"
#include "tests/foundation/wav_bytes.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <ostream>
#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using buttons_test::ScratchFolder;

// The sound paths, chosen by the environment before the first sound of the process (each
// test runs in a process of its own).
struct Player {
    const char* name;
    std::vector<std::pair<const char*, const char*>> environment;
    bool libmpvPlaysWav;
};

const Player kPlayers[] = {
    { "SmallPath", {}, false },
    { "SmallPathOnAlsaNull", { { "ORLIDO_SOUND_DEVICE", "null" } }, false },
    { "Libmpv", { { "ORLIDO_SOUND", "mpv" } }, true },
};

void PrintTo(const Player& player, std::ostream* out)
{
    *out << player.name;
}

// libmpv's own threads run many times slower under the thread sanitizer (a half-second
// sound takes seconds), so the upper bounds get room there; the lower bounds stay.
#if defined(__SANITIZE_THREAD__)
constexpr double kSlack = 8.0;
#else
constexpr double kSlack = 0.0;
#endif

// A mono 16-bit PCM ".wav" of the given length: a quiet 440 Hz square wave, or every sample
// the given value (a sound whose samples are told apart from others' in a device's output).
std::string MakeWav(int milliseconds, std::optional<std::uint16_t> constant = std::nullopt)
{
    const std::uint32_t rate = 16000;
    const std::uint32_t samples = rate * static_cast<std::uint32_t>(milliseconds) / 1000;
    std::string data;
    for (std::uint32_t i = 0; i < samples; ++i)
        data += LittleEndian(constant ? *constant : (i / 18) % 2 ? 0x0800 : 0xF800, 2);
    return PcmWav(static_cast<int>(rate), 1, 16, data);
}

double SecondsToPlaySync(const std::wstring& path)
{
    const auto start = Clock::now();
    CTQSoundPlayer().PlaySync(path);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class RealSound : public ::testing::TestWithParam<Player> {
protected:
    void SetUp() override
    {
        for (const auto& [name, value] : GetParam().environment)
            ::setenv(name, value, 1);
    }

    ScratchFolder m_folder;
};

INSTANTIATE_TEST_SUITE_P(Players, RealSound, ::testing::ValuesIn(kPlayers),
                         [](const ::testing::TestParamInfo<Player>& param) {
                             return std::string(param.param.name);
                         });

bool LibmpvIsLoaded()
{
    void* library = ::dlopen("libmpv.so.2", RTLD_LAZY | RTLD_NOLOAD);
    if (library)
        ::dlclose(library);
    return library != nullptr;
}

// Each test runs in a process of its own, so this one is the first to play a sound there.
// libmpv is loaded by the first sound it plays: a WAV on the libmpv path; on the small path
// neither a WAV nor an MP3, only a WMA.
TEST_P(RealSound, LibmpvIsLoadedByTheFirstSoundItPlaysAndTheFirstSoundPlaysWhole)
{
    EXPECT_FALSE(LibmpvIsLoaded()) << "the board maps libmpv before any sound plays";
    m_folder.Write(L"first.wav", MakeWav(800));
    const double seconds = SecondsToPlaySync(m_folder.File(L"first.wav"));
    EXPECT_EQ(LibmpvIsLoaded(), GetParam().libmpvPlaysWav);
    EXPECT_GE(seconds, 0.8 - 0.05);
    EXPECT_LT(seconds, 0.8 + 1.5 + kSlack);
    RecordProperty("first_sound_seconds", std::to_string(seconds));

    const std::wstring fixtures = platform::FromUtf8(ORLIDO_BUTTONS_FIXTURES);
    SecondsToPlaySync(fixtures + L"/short.mp3");
    EXPECT_EQ(LibmpvIsLoaded(), GetParam().libmpvPlaysWav);
    SecondsToPlaySync(fixtures + L"/short.wma");
    EXPECT_TRUE(LibmpvIsLoaded());
}

// The board loads the player in the background once its first page is shown; a choice
// made before that start has finished waits for it, and its sound is still heard whole.
TEST_P(RealSound, ASoundAskedForWhileThePlayerLoadsInTheBackgroundPlaysWhole)
{
    EXPECT_FALSE(LibmpvIsLoaded());
    m_folder.Write(L"first.wav", MakeWav(800));
    platform::PrepareSound();
    platform::PrepareSound();  // once per process, however often asked
    const double seconds = SecondsToPlaySync(m_folder.File(L"first.wav"));
    EXPECT_EQ(LibmpvIsLoaded(), GetParam().libmpvPlaysWav);
    EXPECT_GE(seconds, 0.8 - 0.05);
    EXPECT_LT(seconds, 0.8 + 1.5 + kSlack);
}

TEST_P(RealSound, PlaySyncLastsAsLongAsTheSound)
{
    // Every format a picture's sound may have; the fixtures were made once with ffmpeg.
    // The default sound lasts 0.15 s, so a lower bound near the length shows the file
    // itself was decoded.
    m_folder.Write(L"B00001.wav", MakeWav(800));
    const std::wstring fixtures = platform::FromUtf8(ORLIDO_BUTTONS_FIXTURES);
    struct Case {
        std::wstring path;
        double length;
    };
    for (const Case& c :
         { Case{ m_folder.File(L"B00001.wav"), 0.8 }, Case{ fixtures + L"/short.mp3", 0.65 },
           Case{ fixtures + L"/short.wma", 0.6 }, Case{ fixtures + L"/short.wmv", 0.6 } }) {
        const double seconds = SecondsToPlaySync(c.path);
        EXPECT_GE(seconds, c.length - 0.08) << platform::ToUtf8(c.path);
        EXPECT_LT(seconds, c.length + 1.5 + kSlack) << platform::ToUtf8(c.path);
    }
}

// A sound heard to its end waits in the message loop: the view's paint timer keeps ticking
// all the while, so the board stays drawn.
TEST_P(RealSound, ThePaintTimerKeepsTickingWhileASoundPlaysToItsEnd)
{
    constexpr HWND kView = 0x5151;
    int ticks = 0;
    platform::SetWindowProc(
        kView, [&ticks](const platform::Message& m) { ticks += m.message == WM_TIMER; });
    platform::SetTimer(kView, 1, 20, nullptr);
    m_folder.Write(L"long.wav", MakeWav(600));
    const double seconds = SecondsToPlaySync(m_folder.File(L"long.wav"));
    platform::KillTimer(kView, 1);
    platform::RemoveWindowProc(kView);
    EXPECT_GE(seconds, 0.55);
    EXPECT_GE(ticks, 10) << "the loop was blocked while the sound played";
}

TEST_P(RealSound, FileThatCannotBePlayedGivesTheShortDefaultSoundPromptly)
{
    m_folder.Write(L"empty.wav", "");
    m_folder.Write(L"broken.mp3", std::string(3000, '\x5A'));
    for (const wchar_t* name : { L"missing.wav", L"empty.wav", L"broken.mp3" }) {
        const double seconds = SecondsToPlaySync(m_folder.File(name));
        EXPECT_LT(seconds, 2.0 + kSlack) << platform::ToUtf8(name);
    }
}

TEST_P(RealSound, NamesMatchWithoutRegardToCase)
{
    m_folder.Write(L"B00001.WAV", MakeWav(600));
    EXPECT_GE(SecondsToPlaySync(m_folder.File(L"b00001.wav")), 0.55);
}

TEST_P(RealSound, PlayAsyncReturnsAtOnceAndANewSoundCutsOffTheOld)
{
    m_folder.Write(L"long.wav", MakeWav(4000));
    m_folder.Write(L"short.wav", MakeWav(300));
    const auto start = Clock::now();
    CTQSoundPlayer().PlayAsync(m_folder.File(L"long.wav"));
    // Well under the sound's 4 s, with room for loading the player library on first use.
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.5 + kSlack);

    // A sound played to its end on another thread ends when a newer one starts.
    double waited = 0;
    std::thread listener([&] { waited = SecondsToPlaySync(m_folder.File(L"long.wav")); });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const double shortOne = SecondsToPlaySync(m_folder.File(L"short.wav"));
    listener.join();
    EXPECT_LT(waited, 2.0 + kSlack);
    EXPECT_GE(shortOne, 0.25);
    EXPECT_LT(shortOne, 1.8 + kSlack);
    platform::StopSound();
}

TEST_P(RealSound, StopEndsASoundPlayedToItsEndAndTheNextPlaysWhole)
{
    m_folder.Write(L"long.wav", MakeWav(4000));
    m_folder.Write(L"next.wav", MakeWav(500));
    double waited = 0;
    std::thread listener([&] { waited = SecondsToPlaySync(m_folder.File(L"long.wav")); });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    platform::StopSound();
    listener.join();
    EXPECT_LT(waited, 2.0 + kSlack);
    EXPECT_GE(SecondsToPlaySync(m_folder.File(L"next.wav")), 0.45);
}

// The page's sounds are decoded ahead and kept; a file written again afterwards (by a carer
// while the board runs) is played as it is now, not as it was kept.
TEST_P(RealSound, SoundsKeptReadyPlayWholeAndAFileWrittenAgainPlaysAsItIsNow)
{
    m_folder.Write(L"B00001.wav", MakeWav(300));
    m_folder.Write(L"empty.wav", "");
    m_folder.Write(L"broken.wav", std::string(3000, '\x5A'));
    platform::KeepSoundsReady({ m_folder.File(L"B00001.wav"), m_folder.File(L"missing.wav"),
                                m_folder.File(L"empty.wav"), m_folder.File(L"broken.wav") });
    platform::PrepareSound();
    EXPECT_GE(SecondsToPlaySync(m_folder.File(L"B00001.wav")), 0.25);
    m_folder.Write(L"B00001.wav", MakeWav(1200));
    EXPECT_GE(SecondsToPlaySync(m_folder.File(L"B00001.wav")), 1.15);
}

// A sound on one path (a WMA goes to libmpv on every path) cuts off one playing on the other.
TEST_P(RealSound, ASoundOnOnePathCutsOffTheSoundOfTheOther)
{
    m_folder.Write(L"long.wav", MakeWav(4000));
    double waited = 0;
    std::thread listener([&] { waited = SecondsToPlaySync(m_folder.File(L"long.wav")); });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const double wma =
        SecondsToPlaySync(platform::FromUtf8(ORLIDO_BUTTONS_FIXTURES) + L"/short.wma");
    listener.join();
    EXPECT_LT(waited, 2.0 + kSlack);
    EXPECT_GE(wma, 0.6 - 0.08);
}

// Without a sound device the small path plays silently in real time and says so once.
TEST(SmallSoundPath, WithoutADeviceSoundsLastTheirLengthAndOneLineSaysSo)
{
    ::setenv("ORLIDO_SOUND_DEVICE", "orlido-no-such-device", 1);
    ScratchFolder folder;
    folder.Write(L"a.wav", MakeWav(400));
    ::testing::internal::CaptureStderr();
    const double first = SecondsToPlaySync(folder.File(L"a.wav"));
    const double second = SecondsToPlaySync(folder.File(L"a.wav"));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_GE(first, 0.35);
    EXPECT_GE(second, 0.35);
    EXPECT_EQ(said, "orlido: no sound device; sounds play silently\n");
}

// The scan's cues on a device of their own: two ALSA devices of type "file" (a temporary
// HOME's .asoundrc, read when ALSA first starts in this process), told apart by the samples
// they received. Each test runs in a process of its own.
class CueSoundDevice : public ::testing::Test {
protected:
    static constexpr std::uint16_t kCueSample = 0x1234;
    static constexpr std::uint16_t kOtherSample = 0x0567;

    void SetUp() override
    {
        const std::string home = platform::ToUtf8(m_folder.Path());
        ::setenv("HOME", home.c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("ORLIDO_SOUND_DEVICE");
        ::unsetenv("ORLIDO_SOUND");
        std::string config;
        for (const char* name : { "!default", "headset" }) {
            config += std::string("pcm.") + name + " { type file slave.pcm \"null\" file \"" +
                home + "/" + (name + (name[0] == '!')) + ".raw\" format \"raw\" }\n";
        }
        m_folder.Write(L".asoundrc", config);
        m_folder.Write(L"cue.wav", MakeWav(300, kCueSample));
        m_folder.Write(L"other.wav", MakeWav(600, kOtherSample));
    }

    // How many samples of each value the device's file got.
    std::pair<std::size_t, std::size_t> Received(const std::wstring& device) const
    {
        std::ifstream in(platform::ToUtf8(m_folder.File(device + L".raw")), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        const std::string raw = bytes.str();
        std::size_t cue = 0;
        std::size_t other = 0;
        for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
            const auto sample = static_cast<std::uint16_t>(
                static_cast<unsigned char>(raw[i]) | static_cast<unsigned char>(raw[i + 1]) << 8);
            cue += sample == kCueSample;
            other += sample == kOtherSample;
        }
        return { cue, other };
    }

    static void WaitForSilence()
    {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (platform::IsSoundPlaying() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    // A cue, the cue tone, and a longer sound on the default device with a cue started while
    // it plays.
    void PlayCuesAndASound()
    {
        platform::PlayCueSoundAsync(m_folder.File(L"cue.wav"));
        WaitForSilence();
        platform::PlayCueTone();
        WaitForSilence();
        platform::PlaySoundAsync(m_folder.File(L"other.wav"));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        platform::PlayCueSoundAsync(m_folder.File(L"cue.wav"));
        WaitForSilence();
    }

    static constexpr std::size_t kCueSamples = 300 * 16;
    static constexpr std::size_t kOtherSamples = 600 * 16;
    ScratchFolder m_folder;
};

TEST_F(CueSoundDevice, CuesGoToTheNamedDeviceAndNeitherCutsOffTheOther)
{
    ::testing::internal::CaptureStderr();
    platform::SetCueSoundDevice(L"headset");
    PlayCuesAndASound();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    const auto [headsetCue, headsetOther] = Received(L"headset");
    const auto [defaultCue, defaultOther] = Received(L"default");
    EXPECT_EQ(headsetCue, 2 * kCueSamples) << "both cues whole, the second beside the sound";
    EXPECT_EQ(headsetOther, 0u);
    EXPECT_EQ(defaultCue, 0u);
    EXPECT_EQ(defaultOther, kOtherSamples) << "the sound of the default device played whole";
    // The tone is there too: more than the cue files' samples reached the headset.
    std::ifstream headset(platform::ToUtf8(m_folder.File(L"headset.raw")),
                          std::ios::binary | std::ios::ate);
    EXPECT_GT(static_cast<std::size_t>(headset.tellg()), 2 * kCueSamples * 2);
}

// libmpv's name for an ALSA device is taken as well; an unknown device is named once on
// stderr, and the cues go to the default device as every sound did before.
struct CueDeviceName {
    const char* test;
    const wchar_t* device;
    const wchar_t* reached;  // the device that gets the cue
    const char* said;
};

class CueSoundDeviceName : public CueSoundDevice,
                           public ::testing::WithParamInterface<CueDeviceName> { };

INSTANTIATE_TEST_SUITE_P(
    Names, CueSoundDeviceName,
    ::testing::Values(CueDeviceName{ "LibmpvsForm", L"alsa/headset", L"headset", "" },
                      CueDeviceName{ "Unknown", L"orlido-no-such-device", L"default",
                                     "orlido: the cue sound device 'orlido-no-such-device' could "
                                     "not be opened; cues go to the default device\n" }),
    [](const ::testing::TestParamInfo<CueDeviceName>& param) {
        return std::string(param.param.test);
    });

TEST_P(CueSoundDeviceName, TheCueReachesTheDeviceNamedOrTheDefault)
{
    ::testing::internal::CaptureStderr();
    platform::SetCueSoundDevice(GetParam().device);
    platform::PlayCueSoundAsync(m_folder.File(L"cue.wav"));
    WaitForSilence();
    platform::PlayCueSoundAsync(m_folder.File(L"cue.wav"));
    WaitForSilence();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), GetParam().said) << "once, at the start";
    EXPECT_EQ(Received(GetParam().reached).first, 2 * kCueSamples);
}

}  // namespace
