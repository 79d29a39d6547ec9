#include "application/orlidoobf.h"

#include "application/orlidocontent.h"
#include "content/obf/obfexport.h"
#include "content/obf/obffetch.h"
#include "content/obf/obfimport.h"
#include "content/speech.h"
#include "platform/files.h"
#include "superlibraries/tqstandard/tqlanguage.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <unistd.h>

namespace {

constexpr const char* kImportUsage =
    "usage: orlido --import FILE DIR [--replace] [--keep-programs]";
constexpr const char* kExportUsage = "usage: orlido --export [FOLDER] FILE.obz";

// espeak-ng in the board's locale when it has a voice for it, else in Swedish; one voice
// object for each language met.
TObfSpeechMaker EspeakSpeech()
{
    auto voices = std::make_shared<std::map<std::string, std::unique_ptr<CTQSpeech>>>();
    const auto voiceFor = [voices](const std::string& name) -> const CTQSpeech* {
        auto& speech = (*voices)[name];
        if (!speech) {
            bool ok = false;
            std::string error;
            auto made = std::make_unique<CTQSpeech>(name, ok, error);
            if (ok)
                speech = std::move(made);
        }
        return speech.get();
    };
    return
        [voiceFor](const std::wstring& text, const std::string& locale, const std::wstring& path) {
            const std::string voice = CTQSpeech::VoiceForLocale(locale);
            const CTQSpeech* speech = voice.empty() ? nullptr : voiceFor(voice);
            if (!speech)
                speech = voiceFor(CTQSpeech::DefaultVoice);
            std::string error;
            return speech && speech->MakeSoundFile(text, path, error);
        };
}

bool IsExecutable(const std::string& path)
{
    return ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

bool COrlidoObfCommand::Handles(const std::vector<std::string>& arguments)
{
    return !arguments.empty() && (arguments[0] == "--import" || arguments[0] == "--export");
}

std::string COrlidoObfCommand::FindBrowser()
{
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/bin:/bin";
    for (const char* browser : { "x-www-browser", "firefox-esr", "firefox", "chromium",
                                 "chromium-browser", "epiphany-browser", "dillo" }) {
        std::size_t start = 0;
        while (start <= folders.size()) {
            const std::size_t end = std::min(folders.find(':', start), folders.size());
            const std::string folder = folders.substr(start, end - start);
            if (!folder.empty() && IsExecutable(folder + "/" + browser))
                return browser;
            start = end + 1;
        }
    }
    return "x-www-browser";
}

std::string COrlidoObfCommand::UserLanguage()
{
    for (const char* variable : { "LC_ALL", "LC_MESSAGES", "LANG" }) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return value;
    }
    return {};
}

int COrlidoObfCommand::Run(const std::vector<std::string>& arguments, std::FILE* out,
                           std::FILE* err)
{
    return Run(arguments, EspeakSpeech(), FindBrowser(), out, err, IsSwedishLocale());
}

int COrlidoObfCommand::Run(const std::vector<std::string>& arguments, const TObfSpeechMaker& speech,
                           const std::string& browser, std::FILE* out, std::FILE* err, bool swedish)
{
    std::vector<std::string> words;
    bool replace = false;
    bool keepPrograms = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--replace")
            replace = true;
        else if (arguments[i] == "--keep-programs")
            keepPrograms = true;
        else
            words.push_back(arguments[i]);
    }
    if (arguments[0] == "--import") {
        if (words.size() != 2 || words[0].empty() || words[1].empty()) {
            std::fprintf(err, "%s\n", kImportUsage);
            return 2;
        }
        TObfImportOptions options;
        options.File = platform::FromUtf8(words[0]);
        options.Folder = platform::FromUtf8(words[1]);
        options.Replace = replace;
        options.Write.Speech = speech;
        options.Write.BrowserCommand = browser;
        options.Write.KeepPrograms = keepPrograms;
        options.Write.Language = UserLanguage();
        options.Fetch = CTQObfFetch::Make();
        const TObfImportResult result = CTQObfImport::Run(options);
        CTQObfImport::Print(options, result, swedish, result.ExitCode == 2 ? err : out);
        return result.ExitCode;
    }
    if (replace || keepPrograms || words.empty() || words.size() > 2) {
        std::fprintf(err, "%s\n", kExportUsage);
        return 2;
    }
    const std::wstring folder =
        FindContentFolder(words.size() == 2 ? platform::FromUtf8(words[0]) : std::wstring());
    const std::wstring file = platform::FromUtf8(words.back());
    const TObfExportResult result = CTQObfExport::Run(folder, file);
    CTQObfExport::Print(folder, file, result, result.ExitCode == 0 ? out : err);
    return result.ExitCode;
}
