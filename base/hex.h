// Hex digits, as .reg files and the command line write numbers and bytes.
#pragma once

#include <string>

namespace dovetune {

// The value of one hex digit of either case, or -1 for any other character.
inline int HexDigitValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

inline bool IsHexDigit(char digit) { return HexDigitValue(digit) >= 0; }

// Appends |byte| as two hex digits, in upper case when |upper|.
inline void AppendHexByte(char byte, bool upper, std::string* out) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  const unsigned char value = static_cast<unsigned char>(byte);
  out->push_back(digits[value >> 4]);
  out->push_back(digits[value & 0x0F]);
}

}  // namespace dovetune
