#include "registry/name_fold.h"

#include <locale.h>
#include <wctype.h>

#include "registry/utf8.h"

namespace dovetune {

namespace {

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

char32_t LowerCase(char32_t code_point) {
  if (code_point < 0x80) {
    return (code_point >= 'A' && code_point <= 'Z') ? code_point - 'A' + 'a' : code_point;
  }
  const locale_t tables = UnicodeCaseTables();
  if (!tables) return code_point;
  const wint_t lower = towlower_l(static_cast<wint_t>(code_point), tables);
  return lower > 0 && lower <= 0x10FFFF ? static_cast<char32_t>(lower) : code_point;
}

}  // namespace

// Interim: the fixed case table replaces both mappings.
std::string LowerCaseFold(const std::string& name) {
  std::string folded;
  for (size_t pos = 0; pos < name.size();) {
    char32_t code_point = 0;
    const size_t length = DecodeUtf8(name, pos, &code_point);
    if (length == 0) {
      folded.push_back(name[pos]);
      ++pos;
      continue;
    }
    AppendUtf8(LowerCase(code_point), &folded);
    pos += length;
  }
  return folded;
}

std::string FoldName(const std::string& name) {
  std::string folded;
  FoldName(name.data(), name.size(), &folded);
  return folded;
}

void FoldName(const char* name, size_t size, std::string* folded_out) {
  // Most names are plain ASCII, where folding is upper-casing a-z.
  std::string& folded = *folded_out;
  folded.assign(name, size);
  unsigned char bytes_ored = 0;
  for (char& c : folded) {
    const unsigned char byte = static_cast<unsigned char>(c);
    bytes_ored |= byte;
    if (static_cast<unsigned char>(byte - 'a') < 26) c = static_cast<char>(byte - 'a' + 'A');
  }
  if (bytes_ored < 0x80) return;

  const std::string whole(name, size);
  folded.clear();
  for (size_t pos = 0; pos < whole.size();) {
    char32_t code_point = 0;
    const size_t length = DecodeUtf8(whole, pos, &code_point);
    if (length == 0) {
      folded.push_back(whole[pos]);
      ++pos;
      continue;
    }
    AppendUtf8(UpperCase(code_point), &folded);
    pos += length;
  }
}

size_t NameLength(const std::string& name) {
  size_t count = 0;
  for (size_t pos = 0; pos < name.size(); ++count) {
    if (static_cast<unsigned char>(name[pos]) < 0x80) {  // most names are ASCII throughout
      ++pos;
      continue;
    }
    char32_t code_point = 0;
    const size_t length = DecodeUtf8(name, pos, &code_point);
    pos += length == 0 ? 1 : length;
    if (code_point >= 0x10000) ++count;  // Windows counts these as two UTF-16 units
  }
  return count;
}

}  // namespace dovetune
