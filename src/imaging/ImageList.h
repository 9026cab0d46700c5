#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/Color.h"

// The colour that marks transparent pixels of a thumbnail: red 255, green 72, blue 255.
inline constexpr Color kThumbnailMaskColour{255, 72, 255};

// A list of equally sized pictures drawn with a mask colour: pixels of that colour stay
// transparent. Holds the 60 x 45 thumbnails of the catalogue, slot i for picture i.
//
// A catalogue may hold a hundred thousand pictures: only the most recently drawn or replaced
// cells keep their pixels (SetMaxResident); the others let them go and draw as placeholders
// until they are replaced again. Whoever fills the list knows how to make a cell again.
class TImageList {
 public:
  static constexpr int kThumbnailWidth = 60;
  static constexpr int kThumbnailHeight = 45;

  explicit TImageList(int width = kThumbnailWidth, int height = kThumbnailHeight)
      : width_(width), height_(height) {}

  int Width() const { return width_; }
  int Height() const { return height_; }
  std::size_t Count() const { return slots_.size(); }
  // Removes every slot; a new cell size applies to slots added after it.
  void Clear();
  void SetSize(int width, int height);
  // At most `count` cells keep their pixels; the least recently used let them go first.
  void SetMaxResident(std::size_t count);
  std::size_t MaxResident() const { return maxResident_; }
  std::size_t ResidentCount() const { return resident_; }

  // Appends a slot from `picture` and returns its index. The slot takes the top-left
  // Width() x Height() of the picture; what it does not cover, and every pixel of `mask`, is
  // transparent.
  std::size_t AddMasked(const Canvas& picture, Color mask);
  // Appends an opaque black cell (the slot a picture has before its thumbnail is made) and
  // returns its index. A placeholder holds no pixels.
  std::size_t AddPlaceholder();
  // Replaces slot `index` the same way; an index beyond the list is ignored.
  void ReplaceMasked(std::size_t index, const Canvas& picture, Color mask);
  // True when slot `index` holds pixels (it was replaced and not let go since).
  bool HasPixels(std::size_t index) const;

  // Draws slot `index` with its top-left corner at (x, y), leaving transparent pixels of the
  // canvas unchanged; an index beyond the list draws nothing, a slot without pixels an opaque
  // black cell.
  void Draw(Canvas& canvas, int x, int y, std::size_t index);

 private:
  static constexpr std::uint32_t kNone = UINT32_MAX;
  struct Slot {
    Canvas image;
    Color mask;
    // The cells with pixels, most recently used first.
    std::uint32_t newer = kNone;
    std::uint32_t older = kNone;
  };
  Slot MakeSlot(const Canvas& picture, Color mask) const;
  void Unlink(std::uint32_t index);
  void MakeNewest(std::uint32_t index);
  void LetGoOldest();

  int width_;
  int height_;
  std::vector<Slot> slots_;
  std::size_t maxResident_ = SIZE_MAX;
  std::size_t resident_ = 0;
  std::uint32_t newest_ = kNone;
  std::uint32_t oldest_ = kNone;
};
