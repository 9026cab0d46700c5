#pragma once

#include <optional>
#include <string>

#include "imaging/Canvas.h"
#include "imaging/FileFormats.h"

// The 60 x 45 thumbnail of the picture at `chemin`, as it will sit on a screen of
// largeurEcran x hauteurEcran: stretched over the cell when the picture will be stretched,
// otherwise drawn in proportion, centred by the screen's proportions, on the mask colour.
// Nothing when the picture cannot be loaded. Touches no shared state, so the workers that
// build thumbnails in bulk call it at the same time.
std::optional<Canvas> FabriquerVignette(const std::string& chemin, const TFileFormatsList& formats,
                                        int largeurEcran, int hauteurEcran);
