#pragma once
// What may go to the unit: whole frames of the command table, data frames with their checksum.

#include "commandtable.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// True when `bytes` cut into frames by the command table leaves nothing over.
inline bool OnlyWholeFrames(const std::vector<std::uint8_t> &bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (bytes.size() - i < 2)
            return false;
        const Quilo::CommandInfo *info = Quilo::findCommand(bytes[i], bytes[i + 1]);
        if (!info)
            return false;
        if (info->kind == Quilo::FrameKind::Request) {
            i += 2;
            continue;
        }
        const std::size_t n = Quilo::dataLength(bytes[i], bytes[i + 1]);
        if (bytes.size() - i < n + Quilo::kFrameOverhead)
            return false;
        const std::uint16_t sum = Quilo::checksum(std::span<const std::uint8_t>(bytes.data() + i, n + 2));
        if ((bytes[i + n + 2] | (bytes[i + n + 3] << 8)) != sum)
            return false;
        i += n + Quilo::kFrameOverhead;
    }
    return true;
}
