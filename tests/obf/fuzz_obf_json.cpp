// Feeds arbitrary bytes to the board and manifest readers.
#include "content/obf/obfjson.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TObfBoard board;
    TObfManifest manifest;
    std::string error;
    if (CTQObfJson::ReadBoard(text, board, error)) {
        // What was read is written back as this program would export it.
        board.Rows = 1;
        board.Columns = int(board.Shown.size());
        (void)CTQObfJson::WriteBoard(board);
    }
    CTQObfJson::ReadManifest(text, manifest, error);
    return 0;
}
