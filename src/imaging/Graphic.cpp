#include "imaging/Graphic.h"

#include "imaging/PictureStream.h"

const TGraphicClass& TGraphic::Class() {
  static const TGraphicClass root{"TGraphic", nullptr, nullptr};
  return root;
}

void TGraphic::ReadPictureFile(const std::string& path) {
  WithPictureFile(path, [this](TPictureStream& stream) { ReadPictureStream(stream); });
}
