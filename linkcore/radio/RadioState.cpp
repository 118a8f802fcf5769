// SPDX-License-Identifier: GPL-3.0-or-later
// Packing of text fields into cells: character 4k+i of a field is byte i (counted
// from the least significant) of cell k, whatever the machine's byte order.
#include "linkcore/radio/RadioState.h"

#include <algorithm>

namespace linkcore {

void StoreText(std::span<Cell> cells, std::string_view text) noexcept
{
    const std::size_t width = cells.size() * 4;
    const std::size_t length = std::min(text.size(), width - 1);
    for (std::size_t k = 0; k < cells.size(); ++k) {
        std::uint32_t word = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const std::size_t position = 4 * k + i;
            const auto character = position < length ? static_cast<unsigned char>(text[position]) : 0U;
            word |= static_cast<std::uint32_t>(character) << (8 * i);
        }
        cells[k].store(static_cast<std::int32_t>(word));
    }
}

std::size_t LoadText(std::span<const Cell> cells, char* destination) noexcept
{
    const std::size_t width = cells.size() * 4;
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const auto word = static_cast<std::uint32_t>(cells[k].load());
        for (std::size_t i = 0; i < 4; ++i) {
            const std::size_t position = 4 * k + i;
            const auto character = static_cast<char>((word >> (8 * i)) & 0xFFU);
            // A field being replaced may show a terminator late; the last position is
            // a terminator in every field.
            if (character == '\0' || position == width - 1) {
                destination[position] = '\0';
                return position;
            }
            destination[position] = character;
        }
    }
    return 0;
}

} // namespace linkcore
