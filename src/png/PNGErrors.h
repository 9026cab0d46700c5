#pragma once

#include <string>

#include "base/Exception.h"

// The failures of the PNG reader. Each class carries its one fixed English text, so that a
// caller can tell the fault from the class alone and show the text as it stands.

#define VERRELUNE_PNG_ERROR(Name)            \
  class Name : public Exception {            \
   public:                                   \
    Name();                                  \
  };

VERRELUNE_PNG_ERROR(EPNGInvalidFileHeader)
VERRELUNE_PNG_ERROR(EPngUnexpectedEnd)
VERRELUNE_PNG_ERROR(EPNGIHDRNotFirst)
VERRELUNE_PNG_ERROR(EPNGUnknownCriticalChunk)
VERRELUNE_PNG_ERROR(EPNGNoImageData)
VERRELUNE_PNG_ERROR(EPngInvalidCRC)
VERRELUNE_PNG_ERROR(EPngInvalidIHDR)
VERRELUNE_PNG_ERROR(EPNGSizeExceeds)
VERRELUNE_PNG_ERROR(EPNGUnknownCompression)
VERRELUNE_PNG_ERROR(EPNGUnknownInterlace)
VERRELUNE_PNG_ERROR(EPNGInvalidPalette)
VERRELUNE_PNG_ERROR(EPNGMissingMultipleIDAT)
VERRELUNE_PNG_ERROR(EPNGOutMemory)
VERRELUNE_PNG_ERROR(EPNGHeaderNotPresent)

#undef VERRELUNE_PNG_ERROR

// Inflate refused the compressed data; the message ends with inflate's result, as
// "data error (-3)".
class EPNGZLIBError : public Exception {
 public:
  explicit EPNGZLIBError(int inflateResult);
};

class EPngError : public Exception {
 public:
  using Exception::Exception;
};

extern const char* const kNoSuchPaletteEntry;

// The text inflate's result codes are reported with.
std::string InflateResultText(int result);
