#include "imaging/Graphic.h"

#include "imaging/PictureStream.h"

const TGraphicClass& TGraphic::Class() {
  static const TGraphicClass root{"TGraphic", nullptr, nullptr};
  return root;
}

void TGraphic::ReadPictureFile(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadPictureFileBytes(path);
  TPictureStream stream(bytes);
  ReadPictureStream(stream);
}
