// Feeds arbitrary bytes to the package reader as an .obz: the entry checks, the manifest, the
// first board and every entry read within a limit.
#include "content/obf/obfsource.h"
#include "content/obf/obfzipreader.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CTQObfZipReader zip;
    std::string error;
    if (zip.OpenBytes(bytes, error)) {
        for (const std::string& name : zip.Names()) {
            std::string entry;
            zip.Read(name, 1 << 20, entry, error);
        }
    }
    CTQObfSource source;
    if (source.OpenBytes(bytes, error)) {
        for (const TObfButton& button : source.Root().Buttons) {
            if (button.LoadBoard)
                source.Follow(*button.LoadBoard, error);
        }
    }
    return 0;
}
