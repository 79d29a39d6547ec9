// Feeds arbitrary bytes to the shortcut readers (binary Shell Link and desktop entry), and
// splits what they give by the Windows command-line rules, as the launcher does.
#include "platform/common/commandline.h"
#include "platform/common/shortcutfile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    platform::ShortcutData shortcut;
    if (!platform::ParseShortcut(bytes, shortcut))
        return 0;
    // Nothing read can be longer than the file it came from.
    if (shortcut.target.size() > size || shortcut.workingDirectory.size() > size)
        std::abort();
    const auto arguments = platform::SplitWindowsArguments(shortcut.arguments);
    std::vector<std::wstring> argv;
    platform::ResolveCommandLine(shortcut.target + L" " + shortcut.arguments,
                                 [](const std::wstring& candidate) { return candidate; }, argv);
    (void)arguments;
    return 0;
}
