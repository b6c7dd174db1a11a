// UTF-8, the narrow character set of the embedded registry's names, and the
// UTF-16LE of .reg files: one character at a time, decoded strictly and
// encoded back, and whole texts converted. Every conversion refuses input
// that is not valid in its encoding, so that converting there and back always
// gives the same bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dovetune {

// Decodes one UTF-8 sequence at text[pos]. Returns its length in bytes, or 0
// when the bytes there are not a valid, shortest-form sequence.
size_t DecodeUtf8(std::string_view text, size_t pos, char32_t* code_point);

// Appends the UTF-8 form of |code_point|.
void AppendUtf8(char32_t code_point, std::string* out);

// Decodes the UTF-16 character at text[*pos]: a surrogate pair as its code
// point, with *pos moved to its second unit; any other unit, a lone
// surrogate too, as its own value.
char32_t DecodeUtf16(std::u16string_view text, size_t* pos);

// Appends the UTF-16 form of |code_point|: one unit, or a surrogate pair
// past U+FFFF.
void AppendUtf16(char32_t code_point, std::u16string* out);

// UTF-16 units as UTF-16LE bytes, and back (an odd last byte is dropped).
std::string Utf16UnitsToLe(const std::u16string& units);
std::u16string Utf16LeToUnits(const std::string& bytes);

// UTF-8 to UTF-16LE bytes; false when |utf8| is not valid UTF-8.
bool Utf8ToUtf16Le(const std::string& utf8, std::string* utf16le);

// UTF-16LE bytes to UTF-8; false for an odd number of bytes or a lone surrogate.
bool Utf16LeToUtf8(const std::string& utf16le, std::string* utf8);

// Whether |text| is valid UTF-8 (shortest forms, no surrogates).
bool IsValidUtf8(const std::string& text);

// The length of |text| in UTF-16 units, as Windows counts the length of a
// name; a byte that is not UTF-8 counts as one.
size_t Utf16Length(const std::string& text);

}  // namespace dovetune
