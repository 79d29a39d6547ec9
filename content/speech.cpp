#include "content/speech.h"

#include "platform/common/commandline.h"
#include "platform/common/runcommand.h"
#include "platform/files.h"

#include <espeak-ng/speak_lib.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <unistd.h>

namespace {

// espeak-ng's library: started once for the process and ended at its exit (ending and
// starting it again hangs in espeak-ng 1.51). Its calls are serialised here.
class TEspeak {
public:
    static TEspeak& Get()
    {
        static TEspeak espeak;
        return espeak;
    }
    ~TEspeak()
    {
        if (m_nSampleRate > 0)
            espeak_Terminate();
    }
    TEspeak(const TEspeak&) = delete;
    TEspeak& operator=(const TEspeak&) = delete;

    int GetSampleRate() const { return m_nSampleRate; }

    bool HasVoice(const std::string& voice)
    {
        std::lock_guard lock(m_Mutex);
        return SelectVoice(voice);
    }

    bool Synthesize(const std::string& voice, const std::string& utf8,
                    std::vector<std::int16_t>& samples)
    {
        std::lock_guard lock(m_Mutex);
        if (m_nSampleRate <= 0 || !SelectVoice(voice))
            return false;
        samples.clear();
        return espeak_Synth(utf8.c_str(), utf8.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8,
                            nullptr, &samples) == EE_OK;
    }

private:
    TEspeak()
    {
        // Synchronous: espeak_Synth returns when the whole text has passed the callback.
        // DONT_EXIT: without its data espeak-ng would end the process.
        m_nSampleRate =
            espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (m_nSampleRate > 0)
            espeak_SetSynthCallback(&TEspeak::Collect);
    }

    // The samples arrive in pieces; the vector travels in the events' user data.
    static int Collect(short* wave, int count, espeak_EVENT* events)
    {
        if (wave && count > 0 && events) {
            auto* samples = static_cast<std::vector<std::int16_t>*>(events->user_data);
            samples->insert(samples->end(), wave, wave + count);
        }
        return 0;
    }

    bool SelectVoice(const std::string& voice)
    {
        if (m_nSampleRate <= 0)
            return false;
        if (voice == m_strVoice)
            return true;
        if (espeak_SetVoiceByName(voice.c_str()) != EE_OK)
            return false;
        m_strVoice = voice;
        return true;
    }

    std::mutex m_Mutex;
    int m_nSampleRate = 0;
    std::string m_strVoice;
};

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f' ||
        c == 0xA0;
}

// Removes the file when it goes out of scope.
class TRemovedFile {
public:
    explicit TRemovedFile(std::wstring path) : m_strPath(std::move(path)) { }
    ~TRemovedFile()
    {
        if (!m_strPath.empty())
            ::unlink(platform::ToUtf8(m_strPath).c_str());
    }
    TRemovedFile(const TRemovedFile&) = delete;
    TRemovedFile& operator=(const TRemovedFile&) = delete;

private:
    std::wstring m_strPath;
};

std::string CommandName(const std::vector<std::string>& command)
{
    return command.empty() ? std::string() : command.front();
}

}  // namespace

CTQSpeech::CTQSpeech(const std::string& voice, bool& ok, std::string& error)
    : m_strVoice(voice.empty() ? DefaultVoice : voice)
{
    TEspeak& espeak = TEspeak::Get();
    ok = espeak.GetSampleRate() > 0;
    if (!ok) {
        error = "espeak-ng cannot start (is its data, the package espeak-ng-data, installed?)";
        return;
    }
    ok = espeak.HasVoice(m_strVoice);
    if (!ok)
        error = "espeak-ng has no voice or language '" + m_strVoice +
            "' (espeak-ng --voices lists them)";
}

CTQSpeech CTQSpeech::FromCommand(const std::string& commandLine, bool& ok, std::string& error)
{
    CTQSpeech speech;
    for (const std::wstring& argument :
         platform::SplitWindowsCommandLine(platform::FromUtf8(commandLine)))
        speech.m_Command.push_back(platform::ToUtf8(argument));
    ok = !speech.m_Command.empty() && !speech.m_Command.front().empty();
    if (!ok) {
        error = "the voice command names no program";
        return speech;
    }
    ok = platform::CanRunCommand(speech.m_Command.front());
    if (!ok)
        error = "the voice command's program '" + speech.m_Command.front() +
            "' is not installed or cannot be run";
    return speech;
}

std::string CTQSpeech::VoiceForLocale(const std::string& locale)
{
    // "pt_BR.UTF-8@euro" is asked for as "pt-br", then "pt".
    std::string tag = locale.substr(0, locale.find_first_of(".@"));
    for (char& c : tag)
        c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::vector<std::string> candidates = { tag };
    if (tag.find('-') != std::string::npos)
        candidates.push_back(tag.substr(0, tag.find('-')));
    TEspeak& espeak = TEspeak::Get();
    for (const std::string& candidate : candidates) {
        if (!candidate.empty() && espeak.HasVoice(candidate))
            return candidate;
    }
    return {};
}

std::wstring CTQSpeech::SpokenText(const std::wstring& text)
{
    std::wstring spoken;
    bool blank = false;
    for (const wchar_t c : text) {
        if (IsBlank(c)) {
            blank = !spoken.empty();
            continue;
        }
        if (blank)
            spoken += L' ';
        blank = false;
        spoken += c;
    }
    return spoken;
}

bool CTQSpeech::Speak(const std::wstring& text, CTQWaveSound& sound, std::string& error) const
{
    const std::wstring spoken = SpokenText(text);
    if (spoken.empty()) {
        error = "there is no text to speak";
        return false;
    }
    if (!(m_Command.empty() ? SpeakWithEspeak(spoken, sound, error)
                            : SpeakWithCommand(spoken, sound, error)))
        return false;
    if (sound.IsSilent()) {
        error = "the voice made no sound for \"" + platform::ToUtf8(spoken) + "\"";
        return false;
    }
    sound.RaiseToMinSampleRate();
    sound.TrimSilence(KeptSilenceMs);
    return true;
}

bool CTQSpeech::MakeSoundFile(const std::wstring& text, const std::wstring& path,
                              std::string& error) const
{
    if (platform::IsFile(path)) {
        error = "a file of that name is there already";
        return false;
    }
    CTQWaveSound sound;
    return Speak(text, sound, error) && sound.WriteNew(path, error);
}

bool CTQSpeech::SpeakWithEspeak(const std::wstring& text, CTQWaveSound& sound,
                                std::string& error) const
{
    std::vector<std::int16_t> samples;
    if (!TEspeak::Get().Synthesize(m_strVoice, platform::ToUtf8(text), samples)) {
        error = "espeak-ng could not speak \"" + platform::ToUtf8(text) + "\"";
        return false;
    }
    sound = CTQWaveSound(TEspeak::Get().GetSampleRate(), std::move(samples));
    return true;
}

bool CTQSpeech::SpeakWithCommand(const std::wstring& text, CTQWaveSound& sound,
                                 std::string& error) const
{
    // The command writes into the temporary folder, so that nothing it leaves half-written
    // lands among the content; the sound is read back, checked and written anew.
    std::error_code ec;
    const std::filesystem::path temporaryFolder = std::filesystem::temp_directory_path(ec);
    const std::wstring wavePath = CTQWaveSound::MakeTemporaryFileBeside(
        platform::FromUtf8((ec ? std::filesystem::path("/tmp") : temporaryFolder).string() +
                           "/orlido-speech"),
        ".wav");
    if (wavePath.empty()) {
        error = "no temporary file can be made for the voice command";
        return false;
    }
    const TRemovedFile removed(wavePath);
    std::vector<std::string> argv = m_Command;
    argv.push_back(platform::ToUtf8(wavePath));

    const platform::CommandResult result =
        platform::RunCommand(argv, platform::ToUtf8(text) + "\n", CommandTimeoutMs);
    const std::string name = "the voice command " + CommandName(m_Command);
    if (!result.started) {
        error = name + " could not be started";
    } else if (result.timedOut) {
        error = name + " took longer than " + std::to_string(CommandTimeoutMs / 1000) +
            " s and was ended";
    } else if (result.signal != 0) {
        error = name + " was ended by signal " + std::to_string(result.signal);
    } else if (result.exitCode != 0) {
        error = name + " ended with exit code " + std::to_string(result.exitCode);
    } else if (std::string why; !sound.Read(wavePath, why)) {
        error = name + " wrote no usable WAV file: " + why;
    } else {
        return true;
    }
    return false;
}
