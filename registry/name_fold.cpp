#include "registry/name_fold.h"

#include <locale.h>
#include <wctype.h>

namespace {

// Decodes one UTF-8 sequence at text[pos]. Returns its length in bytes, or 0
// when the bytes there are not a valid, shortest-form sequence.
size_t DecodeUtf8(const std::string& text, size_t pos, char32_t* code_point) {
  const unsigned char lead = static_cast<unsigned char>(text[pos]);
  size_t length = 0;
  char32_t value = 0;
  if (lead < 0x80) {
    *code_point = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return 0;
  }
  *code_point = value;
  return length;
}

void AppendUtf8(char32_t code_point, std::string* out) {
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

// The C library's Unicode case tables, independent of the user's locale
// settings so that the same store folds names the same way for everyone.
locale_t UnicodeCaseTables() {
  static const locale_t tables = [] {
    locale_t loaded = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!loaded) loaded = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(0));
    return loaded;
  }();
  return tables;
}

char32_t UpperCase(char32_t code_point) {
  if (code_point < 0x80) {
    return (code_point >= 'a' && code_point <= 'z') ? code_point - 'a' + 'A' : code_point;
  }
  const locale_t tables = UnicodeCaseTables();
  if (!tables) return code_point;
  const wint_t upper = towupper_l(static_cast<wint_t>(code_point), tables);
  return upper > 0 && upper <= 0x10FFFF ? static_cast<char32_t>(upper) : code_point;
}

}  // namespace

std::string FoldName(const std::string& name) {
  // Most names are plain ASCII, where folding is upper-casing a-z.
  std::string folded = name;
  bool ascii = true;
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  }
  if (ascii) return folded;

  folded.clear();
  for (size_t pos = 0; pos < name.size();) {
    char32_t code_point = 0;
    const size_t length = DecodeUtf8(name, pos, &code_point);
    if (length == 0) {
      folded.push_back(name[pos]);
      ++pos;
      continue;
    }
    AppendUtf8(UpperCase(code_point), &folded);
    pos += length;
  }
  return folded;
}

size_t NameLength(const std::string& name) {
  size_t count = 0;
  for (size_t pos = 0; pos < name.size(); ++count) {
    char32_t code_point = 0;
    const size_t length = DecodeUtf8(name, pos, &code_point);
    pos += length == 0 ? 1 : length;
    if (code_point >= 0x10000) ++count;  // Windows counts these as two UTF-16 units
  }
  return count;
}
