#include "imaging/ImageList.h"

void TImageList::SetSize(int width, int height) {
  width_ = width;
  height_ = height;
  images_.clear();
}

TImageList::Slot TImageList::MakeSlot(const Canvas& picture, Color mask) const {
  Slot slot{Canvas(width_, height_), mask};
  slot.image.FillRect({0, 0, width_, height_}, mask);
  slot.image.Draw(0, 0, picture);
  return slot;
}

std::size_t TImageList::AddMasked(const Canvas& picture, Color mask) {
  images_.push_back(MakeSlot(picture, mask));
  return images_.size() - 1;
}

// A placeholder holds no pixels until it is replaced: a catalogue of 100,000 pictures costs
// nothing before its thumbnails are built.
std::size_t TImageList::AddPlaceholder() {
  images_.push_back(Slot{Canvas(), kThumbnailMaskColour});
  return images_.size() - 1;
}

void TImageList::ReplaceMasked(std::size_t index, const Canvas& picture, Color mask) {
  if (index < images_.size()) images_[index] = MakeSlot(picture, mask);
}

void TImageList::Draw(Canvas& canvas, int x, int y, std::size_t index) const {
  if (index >= images_.size()) return;
  const Slot& slot = images_[index];
  if (slot.image.Width() == 0) {
    canvas.FillRect({x, y, x + width_, y + height_}, Color{0, 0, 0});
    return;
  }
  canvas.Draw(x, y, slot.image, slot.mask);
}
