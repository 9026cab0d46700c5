#pragma once

#include <cstdint>
#include <string>

#include "base/Exception.h"

// The text as a 32-bit signed decimal number (an optional sign, then digits); anything else,
// or a number out of range, raises EConvertError "'<text>' n'est pas une valeur entière
// correcte".
std::int32_t StrToInt(const std::string& texte);
