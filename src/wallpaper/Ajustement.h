#pragma once

#include <cstdint>

#include "imaging/Bitmap.h"
#include "imaging/Color.h"
#include "imaging/JPEGImage.h"

// How a picture sits on the screen: at its own size and centred, stretched over the screen,
// or reduced by the program to fit and then centred.
enum class ModeAjustement { Center, Stretch, Reduce };

const char* NomMode(ModeAjustement mode);  // "Center", "Stretch", "Reduce"

// The fit of a w x h picture on a sw x sh screen. All sizes must be positive.
ModeAjustement ChoisirMode(int w, int h, int sw, int sh);

struct Taille {
  int largeur = 0;
  int hauteur = 0;
  friend bool operator==(const Taille&, const Taille&) = default;
};

// The size of the reduced copy: the screen's width or height, the other side in proportion.
Taille TailleReduite(int w, int h, int sw, int sh);

// The reduced copy of a Bgr24 raster at `cible` size, bilinear with truncation at each of its
// three steps.
TBitmap CopieReduite(const TBitmap& source, Taille cible);

// The decoding scale that keeps a JPEG of w x h cheap to draw small.
TJPEGScale EchelleApercu(int w, int h);

// Where a gw x gh picture is drawn in a cell of cw x ch, centred by the screen's proportions
// (so it may be a little wider or higher than the cell).
Rect RectangleCentre(int gw, int gh, int sw, int sh, int cw, int ch);
