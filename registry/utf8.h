// UTF-8, the narrow character set of the embedded registry's names: one
// character at a time, decoded strictly and encoded back.
#pragma once

#include <cstddef>
#include <string>

namespace dovetune {

// Decodes one UTF-8 sequence at text[pos]. Returns its length in bytes, or 0
// when the bytes there are not a valid, shortest-form sequence.
size_t DecodeUtf8(const std::string& text, size_t pos, char32_t* code_point);

// Appends the UTF-8 form of |code_point|.
void AppendUtf8(char32_t code_point, std::string* out);

}  // namespace dovetune
