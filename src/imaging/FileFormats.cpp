#include "imaging/FileFormats.h"

#include "imaging/Bitmap.h"
#include "imaging/PictureReaders.h"

TFileFormatsList::TFileFormatsList() {
  Add("wmf", "Métafichiers", TMetafile::Class());
  Add("emf", "Métafichiers évolués", TMetafile::Class());
  Add("ico", "Icônes", TIcon::Class());
  Add("bmp", "Bitmaps", TBitmap::Class());
}

void TFileFormatsList::Add(std::string_view extension, std::string_view description,
                           const TGraphicClass& readerClass) {
  entries_.push_back({LowerCaseExtension(extension), &readerClass, std::string(description), 0});
}

void TFileFormatsList::Remove(const TGraphicClass& readerClass) {
  for (auto i = entries_.size(); i-- > 0;)
    if (entries_[i].readerClass->InheritsFrom(readerClass)) entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
}

const TGraphicClass* TFileFormatsList::Find(std::string_view extension) const {
  const std::string wanted = LowerCaseExtension(extension);
  for (auto i = entries_.rbegin(); i != entries_.rend(); ++i)
    if (i->extension == wanted) return i->readerClass;
  return nullptr;
}

TFileFormatsList& FileFormats() {
  static TFileFormatsList list;
  return list;
}

void RegisterPictureFormat(std::string_view extension, std::string_view description,
                           const TGraphicClass& readerClass) {
  FileFormats().Add(extension, description, readerClass);
}

void UnregisterPictureReader(const TGraphicClass& readerClass) { FileFormats().Remove(readerClass); }

const TGraphicClass* FindPictureReader(std::string_view extension) { return FileFormats().Find(extension); }

std::string PictureExtension(std::string_view path) {
  const auto last = path.find_last_of("./");
  if (last == std::string_view::npos || path[last] != '.') return {};
  return std::string(path.substr(last + 1));
}

std::string LowerCaseExtension(std::string_view extension) {
  std::string lower(extension);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}
