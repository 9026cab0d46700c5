#include "imaging/ImageList.h"

void TImageList::Clear() {
  slots_.clear();
  resident_ = 0;
  newest_ = oldest_ = kNone;
}

void TImageList::SetSize(int width, int height) {
  width_ = width;
  height_ = height;
  Clear();
}

void TImageList::SetMaxResident(std::size_t count) {
  maxResident_ = count;
  while (resident_ > maxResident_) LetGoOldest();
}

TImageList::Slot TImageList::MakeSlot(const Canvas& picture, Color mask) const {
  Slot slot{Canvas(width_, height_), mask};
  slot.image.FillRect({0, 0, width_, height_}, mask);
  slot.image.Draw(0, 0, picture);
  return slot;
}

void TImageList::Unlink(std::uint32_t index) {
  Slot& slot = slots_[index];
  if (slot.newer != kNone) slots_[slot.newer].older = slot.older; else newest_ = slot.older;
  if (slot.older != kNone) slots_[slot.older].newer = slot.newer; else oldest_ = slot.newer;
  slot.newer = slot.older = kNone;
}

void TImageList::MakeNewest(std::uint32_t index) {
  Slot& slot = slots_[index];
  slot.older = newest_;
  slot.newer = kNone;
  if (newest_ != kNone) slots_[newest_].newer = index;
  newest_ = index;
  if (oldest_ == kNone) oldest_ = index;
}

void TImageList::LetGoOldest() {
  const std::uint32_t index = oldest_;
  if (index == kNone) return;
  Unlink(index);
  slots_[index].image = Canvas();
  --resident_;
}

std::size_t TImageList::AddMasked(const Canvas& picture, Color mask) {
  slots_.push_back(Slot{Canvas(), mask});
  ReplaceMasked(slots_.size() - 1, picture, mask);
  return slots_.size() - 1;
}

// A placeholder holds no pixels until it is replaced: a catalogue of 100,000 pictures costs
// nothing before its thumbnails are built.
std::size_t TImageList::AddPlaceholder() {
  slots_.push_back(Slot{Canvas(), kThumbnailMaskColour});
  return slots_.size() - 1;
}

void TImageList::ReplaceMasked(std::size_t index, const Canvas& picture, Color mask) {
  if (index >= slots_.size()) return;
  const auto i = static_cast<std::uint32_t>(index);
  const bool had = HasPixels(index);
  Slot fresh = MakeSlot(picture, mask);
  if (had) Unlink(i);
  slots_[index].image = std::move(fresh.image);
  slots_[index].mask = mask;
  MakeNewest(i);
  if (!had) ++resident_;
  while (resident_ > maxResident_) LetGoOldest();
}

bool TImageList::HasPixels(std::size_t index) const {
  return index < slots_.size() && slots_[index].image.Width() != 0;
}

void TImageList::Draw(Canvas& canvas, int x, int y, std::size_t index) {
  if (index >= slots_.size()) return;
  const Slot& slot = slots_[index];
  if (slot.image.Width() == 0) {
    canvas.FillRect({x, y, x + width_, y + height_}, Color{0, 0, 0});
    return;
  }
  const auto i = static_cast<std::uint32_t>(index);
  if (newest_ != i) {
    Unlink(i);
    MakeNewest(i);
  }
  canvas.Draw(x, y, slot.image, slot.mask);
}
