#include "ui/qt/ImageCanvas.h"

#include <algorithm>

QImage ImageOpaque(const Canvas& canvas) {
  QImage image(canvas.Width(), canvas.Height(), QImage::Format_RGB32);
  for (int y = 0; y < canvas.Height(); ++y) {
    const std::uint8_t* source = canvas.ScanLine(y).data();
    auto* cible = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < canvas.Width(); ++x, source += 4) cible[x] = qRgb(source[2], source[1], source[0]);
  }
  return image;
}

SurfaceCanvas::SurfaceCanvas(Canvas& canvas, const Rect& zone)
    : canvas_(canvas),
      zone_{std::max(zone.left, 0), std::max(zone.top, 0), std::min(zone.right, canvas.Width()),
            std::min(zone.bottom, canvas.Height())},
      image_(canvas.Bits(), canvas.Width(), canvas.Height(), static_cast<qsizetype>(canvas.Stride()),
             QImage::Format_RGB32) {
  RemplirQuatriemeOctet(0xff);
}

SurfaceCanvas::~SurfaceCanvas() { RemplirQuatriemeOctet(0); }

void SurfaceCanvas::RemplirQuatriemeOctet(std::uint8_t valeur) {
  for (int y = zone_.top; y < zone_.bottom; ++y) {
    std::uint8_t* ligne = canvas_.ScanLine(y).data();
    for (int x = zone_.left; x < zone_.right; ++x) ligne[4 * x + 3] = valeur;
  }
}
