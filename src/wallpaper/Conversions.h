#pragma once

#include <cstdint>
#include <string>

#include "base/Exception.h"

// A text that is not a number where one was expected.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// The text as a 32-bit signed decimal number (an optional sign, then digits); anything else,
// or a number out of range, raises EConvertError "'<text>' n'est pas une valeur entière
// correcte".
std::int32_t StrToInt(const std::string& texte);
