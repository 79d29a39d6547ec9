// Speech made into sound files, once, for the content: a picture's sound spoken from its
// text. The voice is espeak-ng's library (Swedish unless another voice or language is
// named) or a carer's own command, which gets the text on its standard input and writes a
// WAV file to the path that is its one argument. Every sound is written as a WAV file of
// 16-bit mono samples at 22.05 kHz or more, with the silence at its ends cut to a few ms.
//
// espeak-ng keeps its state for the whole process: one CTQSpeech speaks at a time.
#pragma once

#include "content/wavesound.h"

#include <string>
#include <vector>

class CTQSpeech {
public:
    static constexpr const char* DefaultVoice = "sv";
    // How long a voice command may take for one sound before it is ended.
    static constexpr int CommandTimeoutMs = 30000;
    // The silence kept before the first and after the last sound of a made file.
    static constexpr int KeptSilenceMs = 5;

    // Speech with espeak-ng's voice (a voice's name or a language, as "espeak-ng -v" takes
    // them: "sv", "en-us", "de"). ok is false, with a one-line reason in error, when
    // espeak-ng cannot start or has no such voice.
    CTQSpeech(const std::string& voice, bool& ok, std::string& error);
    // Speech from a command line (UTF-8; quoted with double quotes as on the board's
    // shortcuts, never given to a shell). ok is false when it names no program.
    static CTQSpeech FromCommand(const std::string& commandLine, bool& ok, std::string& error);

    // The text spoken into a sound: line breaks and runs of blanks become one space.
    bool Speak(const std::wstring& text, CTQWaveSound& sound, std::string& error) const;
    // Speaks the text into a new WAV file at path (see CTQWaveSound::WriteNew: a file
    // already there is never replaced). False with a one-line reason in error.
    bool MakeSoundFile(const std::wstring& text, const std::wstring& path,
                       std::string& error) const;

    // The espeak-ng voice for a locale ("en-US", "pt_BR.UTF-8", "sv"): the language with its
    // region when espeak-ng has that, else the language alone; empty when it has neither.
    // For content that names its language (an imported board).
    static std::string VoiceForLocale(const std::string& locale);

    // The text as it is spoken: blanks and line breaks at the ends cut, runs of them inside
    // made one space.
    static std::wstring SpokenText(const std::wstring& text);

private:
    CTQSpeech() = default;
    bool SpeakWithEspeak(const std::wstring& text, CTQWaveSound& sound, std::string& error) const;
    bool SpeakWithCommand(const std::wstring& text, CTQWaveSound& sound, std::string& error) const;

    std::string m_strVoice;
    std::vector<std::string> m_Command;  // empty: espeak-ng
};
