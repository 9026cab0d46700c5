#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "imaging/Canvas.h"

// The thumbnail cache's form of a 60 x 45 cell: its blue, green and red exactly as they were
// (the fourth byte of a pixel is not kept), in about half the bytes of the pixels on
// photographs. Empty for a cell of another size.
std::vector<std::uint8_t> CompresserCellule(const Canvas& cellule);

// The cell back; nothing when the bytes are not a compressed cell.
std::optional<Canvas> DecompresserCellule(const std::uint8_t* octets, std::size_t taille);
