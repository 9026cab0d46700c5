#pragma once

#include <string>

#include "imaging/Bitmap.h"

// Writes the raster as a Windows bitmap file in its own layout (bottom-up rows, a colour table
// for indexed layouts, bit fields for 5-6-5 pixels). The file is written under a new temporary
// name beside `chemin` (base/TemporaryName.h), created exclusively so that nothing planted in
// the folder is written through, flushed to the disk and then renamed, so a reader never sees
// half a file. Throws Exception naming the file and the system's reason when it cannot be
// written; `chemin` is then unchanged.
void EnregistrerBmp(const TBitmap& image, const std::string& chemin);

// The same, into the temporary file only, leaving the rename to the caller. Returns the
// temporary path.
std::string EnregistrerBmpTemporaire(const TBitmap& image, const std::string& chemin);
