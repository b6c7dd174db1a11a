// Conversions between the store's UTF-8 text and the UTF-16LE text of .reg
// files. Every conversion refuses input that is not valid in its encoding,
// so that converting there and back always gives the same bytes.
#pragma once

#include <string>

namespace dovetune {

// UTF-8 to UTF-16LE bytes; false when |utf8| is not valid UTF-8.
bool Utf8ToUtf16Le(const std::string& utf8, std::string* utf16le);

// UTF-16LE bytes to UTF-8; false for an odd number of bytes or a lone surrogate.
bool Utf16LeToUtf8(const std::string& utf16le, std::string* utf8);

// Whether |text| is valid UTF-8 (shortest forms, no surrogates).
bool IsValidUtf8(const std::string& text);

}  // namespace dovetune
