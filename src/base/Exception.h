#pragma once

#include <stdexcept>
#include <string>

// Every failure of the program travels as an exception carrying its message text; the
// named error classes of each layer derive from this one.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
