// Feeds arbitrary bytes to the shortcut readers (binary Shell Link and desktop entry), and
// splits what they give by the Windows command-line rules, as the launcher does.
#include "platform/common/commandline.h"
#include "platform/common/shortcutfile.h"

#include <algorithm>
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
    platform::ResolveCommandLine(
        shortcut.target + L" " + shortcut.arguments,
        [](const std::wstring& candidate) { return candidate; }, argv);
    (void)arguments;
    // The address given to a browser shortcut comes back as one argument, the last or in
    // place of its field code.
    const std::wstring address = L"https://x.se/\"a b\" \\";
    const auto withAddress =
        platform::SplitWindowsArguments(platform::ArgumentsWithAddress(shortcut, address));
    if (std::count(withAddress.begin(), withAddress.end(), address) < 1)
        std::abort();
    return 0;
}
