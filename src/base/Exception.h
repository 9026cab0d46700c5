#pragma once

#include <stdexcept>
#include <string>

// Every failure of the program travels as an exception carrying its message text; the
// named error classes of each layer derive from this one.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value that cannot be converted: a text that is not a number, a picture that cannot be
// copied into the raster asked for.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};
