#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/Graphic.h"

// One registered picture format: files with this extension are read by this kind.
struct TFileFormat {
  std::string extension;  // lower case, without the dot
  const TGraphicClass* readerClass = nullptr;
  std::string description;
  int descriptionResourceId = 0;
};

// The registry of picture formats, in registration order. A new list holds the four built-in
// formats (wmf, emf, ico, bmp); the start-up code of the JPEG, picture-reader and PNG modules
// extends the process-wide list in that order.
class TFileFormatsList {
 public:
  TFileFormatsList();

  // Appends one entry; the extension is lower-cased first.
  void Add(std::string_view extension, std::string_view description, const TGraphicClass& readerClass);
  // Removes every entry whose reader is `readerClass` or derives from it.
  void Remove(const TGraphicClass& readerClass);
  // The reader of the most recently registered entry with this extension (compared after
  // lower-casing), or null.
  const TGraphicClass* Find(std::string_view extension) const;

  std::span<const TFileFormat> Entries() const { return entries_; }

 private:
  std::vector<TFileFormat> entries_;
};

// The process-wide registry, created with its built-in entries on first use.
TFileFormatsList& FileFormats();

void RegisterPictureFormat(std::string_view extension, std::string_view description,
                           const TGraphicClass& readerClass);
void UnregisterPictureReader(const TGraphicClass& readerClass);
const TGraphicClass* FindPictureReader(std::string_view extension);

// The extension of a path as it is written, without the dot: the text after the last "." when
// no "/" follows it, else empty ("dir.tga/picture" has none).
std::string PictureExtension(std::string_view path);
// Lower case for extensions: ASCII letters only, other bytes unchanged.
std::string LowerCaseExtension(std::string_view extension);
