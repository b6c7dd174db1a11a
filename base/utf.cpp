#include "base/utf.h"

#include "base/little_endian.h"

namespace dovetune {

size_t DecodeUtf8(std::string_view text, size_t pos, char32_t* code_point) {
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

char32_t DecodeUtf16(std::u16string_view text, size_t* pos) {
  const char32_t unit = text[*pos];
  if (unit < 0xD800 || unit > 0xDBFF || *pos + 1 >= text.size()) return unit;
  const char32_t low = text[*pos + 1];
  if (low < 0xDC00 || low > 0xDFFF) return unit;
  ++*pos;
  return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
}

void AppendUtf16(char32_t code_point, std::u16string* out) {
  if (code_point < 0x10000) {
    out->push_back(static_cast<char16_t>(code_point));
    return;
  }
  code_point -= 0x10000;
  out->push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
  out->push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
}

std::string Utf16UnitsToLe(const std::u16string& units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) AppendLittleEndian(unit, 2, &bytes);
  return bytes;
}

std::u16string Utf16LeToUnits(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, 0);
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(DecodeLittleEndian(data + 2 * i, 2));
  }
  return units;
}

bool Utf8ToUtf16Le(const std::string& utf8, std::string* utf16le) {
  std::u16string units;
  units.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    char32_t code_point = 0;
    const size_t length = DecodeUtf8(utf8, pos, &code_point);
    if (length == 0) return false;
    pos += length;
    AppendUtf16(code_point, &units);
  }
  *utf16le = Utf16UnitsToLe(units);
  return true;
}

bool Utf16LeToUtf8(const std::string& utf16le, std::string* utf8) {
  if (utf16le.size() % 2 != 0) return false;
  const std::u16string units = Utf16LeToUnits(utf16le);
  std::string out;
  out.reserve(utf16le.size());
  for (size_t pos = 0; pos < units.size(); ++pos) {
    const char32_t code_point = DecodeUtf16(units, &pos);
    if (code_point >= 0xD800 && code_point <= 0xDFFF) return false;  // a lone surrogate
    AppendUtf8(code_point, &out);
  }
  *utf8 = std::move(out);
  return true;
}

bool IsValidUtf8(const std::string& text) {
  for (size_t pos = 0; pos < text.size();) {
    char32_t code_point = 0;
    const size_t length = DecodeUtf8(text, pos, &code_point);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

size_t Utf16Length(const std::string& text) {
  size_t count = 0;
  for (size_t pos = 0; pos < text.size(); ++count) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {  // most names are ASCII throughout
      ++pos;
      continue;
    }
    char32_t code_point = 0;
    const size_t length = DecodeUtf8(text, pos, &code_point);
    pos += length == 0 ? 1 : length;
    if (code_point >= 0x10000) ++count;  // a surrogate pair
  }
  return count;
}

}  // namespace dovetune
