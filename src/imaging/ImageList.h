#pragma once

#include <cstddef>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/Color.h"

// The colour that marks transparent pixels of a thumbnail: red 255, green 72, blue 255.
inline constexpr Color kThumbnailMaskColour{255, 72, 255};

// A list of equally sized pictures drawn with a mask colour: pixels of that colour stay
// transparent. Holds the 60 x 45 thumbnails of the catalogue, slot i for picture i.
class TImageList {
 public:
  static constexpr int kThumbnailWidth = 60;
  static constexpr int kThumbnailHeight = 45;

  explicit TImageList(int width = kThumbnailWidth, int height = kThumbnailHeight)
      : width_(width), height_(height) {}

  int Width() const { return width_; }
  int Height() const { return height_; }
  std::size_t Count() const { return images_.size(); }
  // Removes every slot; a new cell size applies to slots added after it.
  void Clear() { images_.clear(); }
  void SetSize(int width, int height);

  // Appends a slot from `picture` and returns its index. The slot takes the top-left
  // Width() x Height() of the picture; what it does not cover, and every pixel of `mask`, is
  // transparent.
  std::size_t AddMasked(const Canvas& picture, Color mask);
  // Appends an opaque black cell (the slot a picture has before its thumbnail is made) and
  // returns its index.
  std::size_t AddPlaceholder();
  // Replaces slot `index` the same way; an index beyond the list is ignored.
  void ReplaceMasked(std::size_t index, const Canvas& picture, Color mask);

  // Draws slot `index` with its top-left corner at (x, y), leaving transparent pixels of the
  // canvas unchanged; an index beyond the list draws nothing.
  void Draw(Canvas& canvas, int x, int y, std::size_t index) const;

 private:
  struct Slot {
    Canvas image;
    Color mask;
  };
  Slot MakeSlot(const Canvas& picture, Color mask) const;

  int width_;
  int height_;
  std::vector<Slot> images_;
};
