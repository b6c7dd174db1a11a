#include "regtool/text_encoding.h"

#include "registry/utf8.h"

namespace dovetune {

namespace {

void AppendUnit(char32_t unit, std::string* out) {
  out->push_back(static_cast<char>(unit & 0xFF));
  out->push_back(static_cast<char>(unit >> 8));
}

}  // namespace

bool Utf8ToUtf16Le(const std::string& utf8, std::string* utf16le) {
  std::string out;
  out.reserve(utf8.size() * 2);
  for (size_t pos = 0; pos < utf8.size();) {
    char32_t code_point = 0;
    const size_t length = DecodeUtf8(utf8, pos, &code_point);
    if (length == 0) return false;
    pos += length;
    if (code_point < 0x10000) {
      AppendUnit(code_point, &out);
    } else {
      code_point -= 0x10000;
      AppendUnit(0xD800 + (code_point >> 10), &out);
      AppendUnit(0xDC00 + (code_point & 0x3FF), &out);
    }
  }
  *utf16le = std::move(out);
  return true;
}

bool Utf16LeToUtf8(const std::string& utf16le, std::string* utf8) {
  if (utf16le.size() % 2 != 0) return false;
  auto unit_at = [&utf16le](size_t pos) {
    return static_cast<char32_t>(static_cast<unsigned char>(utf16le[pos]) |
                                 (static_cast<unsigned char>(utf16le[pos + 1]) << 8));
  };
  std::string out;
  out.reserve(utf16le.size());
  for (size_t pos = 0; pos < utf16le.size(); pos += 2) {
    char32_t unit = unit_at(pos);
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (pos + 2 >= utf16le.size()) return false;
      const char32_t low = unit_at(pos + 2);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      pos += 2;
    }
    AppendUtf8(unit, &out);
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

}  // namespace dovetune
