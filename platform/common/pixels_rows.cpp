// Row copies for presenting: nearest-neighbour column tables and alpha-free pixel copies.
// A present touches every pixel of the window, so the per-pixel work is kept to a load,
// a mask and a store; the division of the sampling rule is done once per column.
#include "platform/pixels.h"

namespace platform {

int NearestSourceOffset(int d, int destLength, int sourceLength)
{
    return static_cast<int>((2 * static_cast<std::int64_t>(d) + 1) * sourceLength /
                            (2 * static_cast<std::int64_t>(destLength)));
}

void NearestSourceOffsets(int first, int count, int destLength, int sourceLength,
                          std::vector<int>& offsets)
{
    offsets.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    for (int i = 0; i < count; ++i)
        offsets[static_cast<std::size_t>(i)] =
            NearestSourceOffset(first + i, destLength, sourceLength);
}

void CopyOpaqueRow(const std::uint32_t* from, std::uint32_t* to, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        to[i] = from[i] & 0x00FFFFFFu;
}

void GatherOpaqueRow(const std::uint32_t* sourceRow, const int* columns, std::size_t count,
                     std::uint32_t* to)
{
    for (std::size_t i = 0; i < count; ++i)
        to[i] = columns[i] >= 0 ? sourceRow[columns[i]] & 0x00FFFFFFu : 0u;
}

}  // namespace platform
