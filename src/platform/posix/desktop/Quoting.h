#pragma once

#include <string>
#include <string_view>

namespace platform::posix {

// A `file://` URI for an absolute path: every byte but the unreserved ASCII characters and the
// slashes is percent-encoded, so the URI is plain ASCII whatever the path holds (spaces, `%`,
// `#`, quotes, bytes that are not UTF-8) and no desktop takes part of the name for a query or
// a fragment.
std::string fileUri(std::string_view path);

// The text as a GVariant string literal, as `gsettings set` and `gdbus call` parse their
// values: single quotes, with `\`, `'` and control characters escaped.
std::string gvariantString(std::string_view text);

// The text as a single-quoted JavaScript string literal: `\`, `'` and control characters
// escaped.
std::string javascriptString(std::string_view text);

bool isUtf8(std::string_view text);

}  // namespace platform::posix
