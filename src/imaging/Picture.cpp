#include "imaging/Picture.h"

void TPicture::LoadPicture(const std::string& path) {
  const std::string extension = PictureExtension(path);
  const TGraphicClass* kind = formats_->Find(extension);
  if (!kind || !kind->create) throw EInvalidGraphic("Extension de fichier image inconnue (." + extension + ")");
  std::unique_ptr<TGraphic> graphic = kind->create();
  graphic->ReadPictureFile(path);
  graphic_ = std::move(graphic);
}
