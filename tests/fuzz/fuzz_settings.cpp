// Feeds arbitrary bytes to the settings reader as a settings file, and checks the 8-bit
// text conversions it relies on.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <unistd.h>

#include "application/tqsetupfileparser.h"
#include "application/tqsetupfilelint.h"
#include "application/tqstartupsettings.h"
#include "platform/files.h"

namespace {

// One scratch file per process, removed at exit.
const std::string& ScratchFile()
{
    static const std::string path = [] {
        const char* folder = std::getenv("TMPDIR");
        std::string pattern =
            std::string(folder != nullptr ? folder : "/tmp") + "/orlido-fuzz-setup-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            std::abort();
        }
        ::close(fd);
        std::atexit([] { std::remove(ScratchFile().c_str()); });
        return pattern;
    }();
    return path;
}

void CheckConversions(std::string_view bytes)
{
    // Names read from disk must convert back to the same bytes.
    if (platform::ToUtf8(platform::FromUtf8(bytes)) != bytes) {
        std::abort();
    }
    const std::wstring text = platform::DecodeText8(bytes);
    if (text.size() > bytes.size()) {
        std::abort();
    }
    (void)platform::ToUtf8(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckConversions(bytes);

    std::FILE* file = std::fopen(ScratchFile().c_str(), "wb");
    if (file == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    const std::wstring name = platform::FromUtf8(ScratchFile());
    bool success = false;
    const CTQSetupFileParser parser(name, success);
    if (!success) {
        std::abort();
    }
    // The lint reads the same bytes more tolerantly: every finding can be described, and it
    // never claims a key was lost when the parser read that key's first value.
    for (const TSetupFinding& finding : CTQSetupFileLint::Analyse(std::string(bytes))) {
        if (CTQSetupFileLint::Describe(finding, true).empty() ||
            CTQSetupFileLint::Describe(finding, false).empty()) {
            std::abort();
        }
        if (finding.Kind == TSetupFindingKind::ByteOrderMark && finding.Key == L"#MAINMODE" &&
            !finding.Value.empty() && !parser.MainMode.empty() &&
            parser.MainMode.front() == finding.Value) {
            std::abort();
        }
    }
    const TStartupSettings settings = ReadStartupSettings(name);
    if (settings.BlinkPeriod < 0 || settings.ScanPeriod < 0) {
        std::abort();
    }
    return 0;
}
