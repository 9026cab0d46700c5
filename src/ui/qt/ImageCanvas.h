#pragma once

#include <QImage>

#include "imaging/Canvas.h"

// Our rasters keep their fourth byte at 0; Qt's 32-bit RGB images hold 0xff there, and Qt reads
// that byte as alpha wherever pixels meet alpha: a Wayland window's buffer is premultiplied
// ARGB (a picture would show what lies behind the window), a mask colour is compared on whole
// pixels (it would never match). Every raster handed to Qt goes through here.

// An image owning an opaque copy of `canvas`.
QImage ImageOpaque(const Canvas& canvas);

// Lets a QPainter draw on the part `zone` of a canvas, in place: the zone's pixels are opaque
// while it paints (on pixels of ours it blends as on translucent ones, and leaves their fourth
// byte set) and get their fourth byte back to 0 when this ends. The painter must clip to
// `zone` and be gone before this is.
class SurfaceCanvas {
 public:
  SurfaceCanvas(Canvas& canvas, const Rect& zone);
  ~SurfaceCanvas();
  SurfaceCanvas(const SurfaceCanvas&) = delete;
  SurfaceCanvas& operator=(const SurfaceCanvas&) = delete;

  QImage& image() { return image_; }

 private:
  void RemplirQuatriemeOctet(std::uint8_t valeur);

  Canvas& canvas_;
  Rect zone_;
  QImage image_;
};
