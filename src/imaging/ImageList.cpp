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

void TImageList::ReplaceMasked(std::size_t index, const Canvas& picture, Color mask) {
  if (index < images_.size()) images_[index] = MakeSlot(picture, mask);
}

void TImageList::Draw(Canvas& canvas, int x, int y, std::size_t index) const {
  if (index >= images_.size()) return;
  canvas.Draw(x, y, images_[index].image, images_[index].mask);
}
