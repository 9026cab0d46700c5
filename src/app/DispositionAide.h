#pragma once

#include <array>

#include "imaging/Color.h"

// Where the help tab's three texts go in their group box. Each text keeps its place and height
// when it fits them; a text the window's font wraps to more lines grows, pushes the texts below
// it down, and the group grows to hold them, so that every line shows whole in either language.
struct DispositionAide {
  std::array<Rect, 3> textes;  // in the group box's coordinates
  int hauteurGroupe = 0;
};

DispositionAide DisposerAides(const std::array<int, 3>& hauteursNecessaires);
