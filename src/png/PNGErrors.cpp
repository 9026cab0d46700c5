#include "png/PNGErrors.h"

#define VERRELUNE_PNG_MESSAGE(Name, text) \
  Name::Name() : Exception(text) {}

VERRELUNE_PNG_MESSAGE(EPNGInvalidFileHeader,
                      "The file being readed is not a valid \"Portable Network Graphics\" image because it "
                      "contains an invalid header. This file may be corruped, try obtaining it again.")
VERRELUNE_PNG_MESSAGE(EPngUnexpectedEnd,
                      "This \"Portable Network Graphics\" image is invalid because the decoder found an "
                      "unexpected end of the file.")
VERRELUNE_PNG_MESSAGE(EPNGIHDRNotFirst,
                      "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n"
                      "(IHDR chunk is not the first)")
VERRELUNE_PNG_MESSAGE(EPNGUnknownCriticalChunk,
                      "This \"Portable Network Graphics\" image contains an unknown critical part which could "
                      "not be decoded.")
VERRELUNE_PNG_MESSAGE(EPNGNoImageData, "This \"Portable Network Graphics\" image contains no data.")
VERRELUNE_PNG_MESSAGE(EPngInvalidCRC,
                      "This \"Portable Network Graphics\" image is not valid because it contains invalid "
                      "pieces of data (crc error)")
VERRELUNE_PNG_MESSAGE(EPngInvalidIHDR,
                      "The \"Portable Network Graphics\" image could not be loaded because one of its main "
                      "piece of data (ihdr) might be corrupted")
VERRELUNE_PNG_MESSAGE(EPNGSizeExceeds,
                      "This \"Portable Network Graphics\" image is not supported because either it's width or "
                      "height exceeds the maximum size, which is 65535 pixels length.")
VERRELUNE_PNG_MESSAGE(EPNGUnknownCompression,
                      "This \"Portable Network Graphics\" image is encoded with an unknown compression scheme "
                      "which could not be decoded.")
VERRELUNE_PNG_MESSAGE(EPNGUnknownInterlace,
                      "This \"Portable Network Graphics\" image uses an unknown interlace scheme which could "
                      "not be decoded.")
VERRELUNE_PNG_MESSAGE(EPNGInvalidPalette,
                      "The \"Portable Network Graphics\" image contains an invalid palette.")
VERRELUNE_PNG_MESSAGE(EPNGMissingMultipleIDAT,
                      "This \"Portable Network Graphics\" image is invalid because it has missing image parts.")
VERRELUNE_PNG_MESSAGE(EPNGOutMemory,
                      "Some operation could not be performed because the system is out of resources. Close "
                      "some windows and try again.")
VERRELUNE_PNG_MESSAGE(EPNGHeaderNotPresent,
                      "This operation is not valid because the current image contains no valid header.")

#undef VERRELUNE_PNG_MESSAGE

const char* const kNoSuchPaletteEntry = "There is no such palette entry.";

std::string InflateResultText(int result) {
  switch (result) {
    case -6: return "incompatible version (-6)";
    case -5: return "buffer error (-5)";
    case -4: return "insufficient memory (-4)";
    case -3: return "data error (-3)";
    case -2: return "stream error (-2)";
    case -1: return "file error (-1)";
    case 0: return "(0)";
    case 1: return "stream end (1)";
    case 2: return "need dictionary (2)";
    default: return "(" + std::to_string(result) + ")";
  }
}

EPNGZLIBError::EPNGZLIBError(int inflateResult)
    : Exception("Could not decompress the image because it contains invalid compressed data.\r\n Description: " +
                InflateResultText(inflateResult)) {}
