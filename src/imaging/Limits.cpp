#include "imaging/Limits.h"

#include <string>

#include "imaging/Graphic.h"

void CheckPictureSize(std::uint64_t width, std::uint64_t height) {
  if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels) {
    throw EPictureTooLarge("Image trop grande (" + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels) : la limite est de " +
                           std::to_string(kMaxPicturePixels) + " pixels et de " +
                           std::to_string(kMaxPictureSide) + " pixels par côté");
  }
}

void CheckDecoderMemory(std::uint64_t bytes, std::uint64_t width, std::uint64_t height) {
  if (bytes > kMaxDecoderBytes) {
    throw EPictureTooLarge("Image trop grande (" + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels) : son décodage demanderait " +
                           std::to_string(bytes) + " octets, la limite est de " +
                           std::to_string(kMaxDecoderBytes) + " octets");
  }
}
