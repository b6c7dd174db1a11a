#include "registry/stores/wine_reg_format.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/utf.h"
#include "registry/name_fold.h"

namespace dovetune {

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kTicks1601To1970 = 116444736000000000ULL;
constexpr size_t kMaxKeyNameLength = 256;
constexpr size_t kMaxValueNameLength = 16383;

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  return (c | 0x20) - 'a' + 10;
}

char16_t LowerUnit(char16_t unit) {
  if (unit < 0x80) return (unit >= 'A' && unit <= 'Z') ? unit + ('a' - 'A') : unit;
  if (unit >= 0xD800 && unit <= 0xDFFF) return unit;  // Wine leaves surrogates alone
  const std::u16string lower =
      Utf8ToUtf16Lossless(LowerCaseFold(Utf16ToUtf8Lossless(std::u16string(1, unit))));
  return lower.size() == 1 ? lower[0] : unit;
}

// --- Reading -----------------------------------------------------------------

// One line as wineserver's read_next_line gives it: without the LF and one CR
// before it.
class LineReader {
 public:
  explicit LineReader(const std::string& text) : text_(text) {}
  bool Next(std::string* line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string::npos) end = text_.size();
    *line = text_.substr(pos_, end - pos_);
    if (end < text_.size() && !line->empty() && line->back() == '\r') line->pop_back();
    pos_ = end + 1;
    ++number_;
    return true;
  }
  int number() const { return number_; }

 private:
  const std::string& text_;
  size_t pos_ = 0;
  int number_ = 0;
};

// Decodes one UTF-8 sequence at s[*pos] as wineserver does; invalid bytes are
// skipped there, so they are an error here.
bool DecodeUtf8Unit(const std::string& s, size_t* pos, std::u16string* out) {
  const unsigned char lead = static_cast<unsigned char>(s[*pos]);
  int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || *pos + length > s.size()) return false;
  char32_t cp = lead & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(s[*pos + i]);
    if ((next & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (next & 0x3F);
  }
  static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  if (cp >= 0x10000) {
    out->push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
  } else {
    out->push_back(static_cast<char16_t>(cp));
  }
  *pos += length;
  return true;
}

// Wine's parse_strW: unescapes s from |pos| up to the first unescaped
// |end_char|. Returns the position after it, or npos when there is none or the
// text holds bytes Wine would drop.
size_t ParseEscaped(const std::string& s, size_t pos, char end_char, std::u16string* out) {
  out->clear();
  while (pos < s.size()) {
    const char c = s[pos];
    if (c == end_char) return pos + 1;
    if (static_cast<unsigned char>(c) >= 0x80) {
      if (!DecodeUtf8Unit(s, &pos, out)) return std::string::npos;
      continue;
    }
    ++pos;
    if (c != '\\') {
      out->push_back(c);
      continue;
    }
    if (pos >= s.size()) return std::string::npos;
    const char e = s[pos++];
    static const char kLetters[] = "abefnrtv";
    static const char16_t kCodes[] = {7, 8, 27, 12, 10, 13, 9, 11};
    if (const char* letter = e ? std::strchr(kLetters, e) : nullptr) {
      out->push_back(kCodes[letter - kLetters]);
    } else if (e == 'x' && pos < s.size() && IsHexDigit(s[pos])) {
      char16_t unit = 0;
      for (int i = 0; i < 4 && pos < s.size() && IsHexDigit(s[pos]); ++i) {
        unit = static_cast<char16_t>(unit * 16 + HexDigit(s[pos++]));
      }
      out->push_back(unit);
    } else if (e >= '0' && e <= '7') {
      char16_t unit = e - '0';
      for (int i = 0; i < 2 && pos < s.size() && s[pos] >= '0' && s[pos] <= '7'; ++i) {
        unit = static_cast<char16_t>(unit * 8 + (s[pos++] - '0'));
      }
      out->push_back(unit);
    } else {
      out->push_back(static_cast<unsigned char>(e));
    }
  }
  return std::string::npos;
}

std::string UnitsToBytes(const std::u16string& units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

class Parser {
 public:
  Parser(const std::string& text, WineRegFile* file) : lines_(text), file_(file) {}

  bool Run(std::string* error) {
    std::string line;
    if (!lines_.Next(&line) || line != "WINE REGISTRY Version 2") {
      return Fail("the first line is not \"WINE REGISTRY Version 2\"", error);
    }
    while (lines_.Next(&line)) {
      size_t start = 0;
      while (start < line.size() && IsSpace(line[start])) ++start;
      if (!Line(line, start)) return Fail(problem_, error);
    }
    return true;
  }

 private:
  bool Fail(const std::string& why, std::string* error) {
    *error = "line " + std::to_string(lines_.number()) + ": " + why;
    return false;
  }
  bool Problem(const std::string& why) {
    problem_ = why;
    return false;
  }

  bool Line(const std::string& line, size_t start) {
    const char first = start < line.size() ? line[start] : '\0';
    if (line.find('\0') != std::string::npos) return Problem("a NUL byte in the line");
    if (first == '\0' || first == ';') {
      if (lines_.number() == 2 && first == ';') file_->relative_to = line;
      return true;
    }
    if (first == '[') return KeyLine(line, start + 1);
    if (first == '@' || first == '"') return ValueLine(line, start);
    if (first == '#') return OptionLine(line.substr(start));
    return Problem("a line that is no key, value, option or comment");
  }

  bool KeyLine(const std::string& line, size_t pos) {
    std::u16string path;
    pos = ParseEscaped(line, pos, ']', &path);
    if (pos == std::string::npos) return Problem("a key without its closing ']'");
    unsigned int seconds = 0;
    const bool has_seconds = std::sscanf(line.c_str() + pos, " %u", &seconds) == 1;
    const uint64_t time =
        has_seconds ? seconds * kTicksPerSecond + kTicks1601To1970 : WineTimeNow();
    WineRegKey* key = &file_->root;
    for (size_t at = 0; at < path.size();) {
      while (at < path.size() && path[at] == u'\\') ++at;
      const size_t end = std::min(path.find(u'\\', at), path.size());
      if (end == at) break;
      const std::u16string name = path.substr(at, end - at);
      if (name.size() > kMaxKeyNameLength) return Problem("a key name longer than Wine allows");
      WineRegKey* child = key->FindSubkey(WineOrder(name));
      key = child ? child : key->AddSubkey(name, time);
      at = end;
    }
    key_ = key;
    return true;
  }

  bool ValueLine(const std::string& line, size_t pos) {
    if (!key_) return Problem("a value before the first key");
    std::u16string name;
    if (line[pos] == '@') {
      ++pos;
    } else {
      pos = ParseEscaped(line, pos + 1, '"', &name);
      if (pos == std::string::npos) return Problem("a value name without its closing '\"'");
      if (name.size() > kMaxValueNameLength) return Problem("a value name longer than Wine allows");
    }
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') return Problem("a value name without '='");
    ++pos;
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    uint32_t type = 0;
    std::string data;
    if (!ValueData(line, pos, &type, &data)) return false;
    key_->SetValue(name, type, data);
    return true;
  }

  bool ValueData(const std::string& line, size_t pos, uint32_t* type, std::string* data) {
    struct Tag {
      const char* text;
      uint32_t type;
    };
    static const Tag kStrings[] = {{"\"", 1}, {"str:\"", 1}, {"str(2):\"", 2}, {"str(7):\"", 7}};
    for (const Tag& tag : kStrings) {
      if (line.compare(pos, std::strlen(tag.text), tag.text) != 0) continue;
      std::u16string text;
      if (ParseEscaped(line, pos + std::strlen(tag.text), '"', &text) == std::string::npos) {
        return Problem("string data without its closing '\"'");
      }
      text.push_back(0);
      *type = tag.type;
      *data = UnitsToBytes(text);
      return true;
    }
    if (line.compare(pos, 6, "dword:") == 0) {
      const uint32_t number =
          static_cast<uint32_t>(std::strtoul(line.c_str() + pos + 6, nullptr, 16));
      *type = 4;
      *data = std::string(reinterpret_cast<const char*>(&number), 4);
      return true;
    }
    if (line.compare(pos, 4, "hex:") == 0) {
      *type = 3;
      return HexData(line, pos + 4, data);
    }
    if (line.compare(pos, 4, "hex(") == 0) {
      char* end = nullptr;
      const char* start = line.c_str() + pos + 4;
      *type = static_cast<uint32_t>(std::strtoul(start, &end, 16));
      if (end == start || std::strncmp(end, "):", 2) != 0) return Problem("an unknown value type");
      return HexData(line, end + 2 - line.c_str(), data);
    }
    return Problem("an unknown value type");
  }

  // Wine's parse_hex over the value's line and its continuation lines.
  bool HexData(const std::string& first_line, size_t pos, std::string* data) {
    std::string line = first_line;
    for (;;) {
      while (pos < line.size() && IsHexDigit(line[pos])) {
        char* end = nullptr;
        const unsigned long byte = std::strtoul(line.c_str() + pos, &end, 16);
        if (byte > 0xFF) return Problem("a hex byte above ff");
        data->push_back(static_cast<char>(byte));
        pos = end - line.c_str();
        while (pos < line.size() && IsSpace(line[pos])) ++pos;
        if (pos < line.size() && line[pos] == ',') ++pos;
        while (pos < line.size() && IsSpace(line[pos])) ++pos;
      }
      while (pos < line.size() && IsSpace(line[pos])) ++pos;
      if (pos >= line.size()) return true;
      if (line[pos] != '\\') return Problem("hex data with a stray character");
      if (!lines_.Next(&line)) return Problem("hex data continued past the end of the file");
      if (line.find('\0') != std::string::npos) return Problem("a NUL byte in the line");
      pos = 0;
      while (pos < line.size() && IsSpace(line[pos])) ++pos;
      if (pos >= line.size()) return Problem("hex data continued on a blank line");
    }
  }

  bool OptionLine(const std::string& line) {
    if (!key_) {
      if (line.compare(0, 6, "#arch=") != 0) return true;
      if (line != "#arch=win32" && line != "#arch=win64") return Problem("an unknown #arch");
      if (!file_->arch.empty() && file_->arch != line.substr(6)) return Problem("a second #arch");
      file_->arch = line.substr(6);
      return true;
    }
    if (line.compare(0, 6, "#time=") == 0) {
      uint64_t time = 0;
      for (size_t pos = 6; pos < line.size() && IsHexDigit(line[pos]); ++pos) {
        time = (time << 4) | HexDigit(line[pos]);
      }
      key_->time = time;
    } else if (line.compare(0, 7, "#class=") == 0) {
      if (line.compare(7, 1, "\"") != 0 ||
          ParseEscaped(line, 8, '"', &key_->class_name) == std::string::npos) {
        return Problem("a malformed #class");
      }
      key_->has_class = true;
    } else if (line.compare(0, 5, "#link") == 0) {
      key_->link = true;
    }
    return true;
  }

  LineReader lines_;
  WineRegFile* file_;
  WineRegKey* key_ = nullptr;
  std::string problem_;
};

// --- Writing -----------------------------------------------------------------

// Wine's dump_strW: |context_quotes| are the two characters escaped here.
void AppendEscaped(const std::u16string& text, const char* context_quotes, std::string* out) {
  static const char kEscapes[] = ".......abtnvfr.............e....";
  char buffer[16];
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool has_next = i + 1 < text.size();
    const char16_t next = has_next ? text[i + 1] : 0;
    if (c > 0x7F) {
      const bool pad = has_next && next < 0x80 && IsHexDigit(static_cast<char>(next));
      std::snprintf(buffer, sizeof(buffer), pad ? "\\x%04x" : "\\x%x", static_cast<unsigned>(c));
      out->append(buffer);
    } else if (c < 0x20) {
      if (c == 0 && !has_next) continue;  // the terminating NUL
      if (kEscapes[c] != '.') {
        out->push_back('\\');
        out->push_back(kEscapes[c]);
      } else {
        const bool pad = has_next && next >= '0' && next <= '7';
        std::snprintf(buffer, sizeof(buffer), pad ? "\\%03o" : "\\%o", static_cast<unsigned>(c));
        out->append(buffer);
      }
    } else {
      if (c == '\\' || c == context_quotes[0] || c == context_quotes[1]) out->push_back('\\');
      out->push_back(static_cast<char>(c));
    }
  }
}

bool IsWrittenAsString(const WineRegValue& value) {
  if (value.type != 1 && value.type != 2 && value.type != 7) return false;
  const std::string& d = value.data;
  return d.size() >= 2 && d.size() % 2 == 0 && d[d.size() - 1] == 0 && d[d.size() - 2] == 0;
}

std::u16string BytesToUnits(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, 0);
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return units;
}

void AppendValue(const WineRegValue& value, std::string* out) {
  const size_t line_start = out->size();
  if (value.name.empty()) {
    out->append("@=");
  } else {
    out->push_back('"');
    AppendEscaped(value.name, "\"\"", out);
    out->append("\"=");
  }
  char buffer[32];
  if (IsWrittenAsString(value)) {
    if (value.type != 1) out->append(value.type == 2 ? "str(2):" : "str(7):");
    out->push_back('"');
    AppendEscaped(BytesToUnits(value.data), "\"\"", out);
    out->append("\"\n");
    return;
  }
  if (value.type == 4 && value.data.size() == 4) {
    uint32_t number = 0;
    std::memcpy(&number, value.data.data(), 4);
    std::snprintf(buffer, sizeof(buffer), "dword:%08x\n", number);
    out->append(buffer);
    return;
  }
  if (value.type == 3) {
    out->append("hex:");
  } else {
    std::snprintf(buffer, sizeof(buffer), "hex(%x):", value.type);
    out->append(buffer);
  }
  size_t count = out->size() - line_start;
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < value.data.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(value.data[i]);
    out->push_back(kDigits[byte >> 4]);
    out->push_back(kDigits[byte & 15]);
    count += 2;
    if (i + 1 < value.data.size()) {
      out->push_back(',');
      if (++count > 76) {
        out->append("\\\n  ");
        count = 2;
      }
    }
  }
  out->push_back('\n');
}

void AppendPath(const WineRegKey& key, const WineRegKey& base, std::string* out) {
  if (key.parent && key.parent != &base) {
    AppendPath(*key.parent, base, out);
    out->append("\\\\");
  }
  AppendEscaped(key.name, "[]", out);
}

void AppendKey(const WineRegKey& key, const WineRegKey& base, std::string* out) {
  if (!key.values.empty() || key.subkeys.empty() || key.has_class || key.link) {
    out->append("\n[");
    if (&key != &base) AppendPath(key, base, out);
    const int64_t seconds =
        (static_cast<int64_t>(key.time) - static_cast<int64_t>(kTicks1601To1970)) /
        static_cast<int64_t>(kTicksPerSecond);
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "] %u\n#time=%x%08x\n", static_cast<unsigned>(seconds),
                  static_cast<unsigned>(key.time >> 32), static_cast<unsigned>(key.time));
    out->append(buffer);
    if (key.has_class) {
      out->append("#class=\"");
      AppendEscaped(key.class_name, "\"\"", out);
      out->append("\"\n");
    }
    if (key.link) out->append("#link\n");
    for (const WineRegValue& value : key.values) AppendValue(value, out);
  }
  for (const auto& subkey : key.subkeys) AppendKey(*subkey, base, out);
}

const std::u16string& OrderOf(const WineRegValue& value) { return value.order; }
const std::u16string& OrderOf(const std::unique_ptr<WineRegKey>& key) { return key->order; }

// The first item whose order is not below |order|.
template <typename T>
auto LowerBound(std::vector<T>& items, const std::u16string& order) {
  return std::lower_bound(items.begin(), items.end(), order,
                          [](const T& item, const std::u16string& o) { return OrderOf(item) < o; });
}

}  // namespace

std::u16string WineOrder(const std::u16string& name) {
  std::u16string lower = name;
  for (char16_t& unit : lower) unit = LowerUnit(unit);
  return lower;
}

WineRegKey* WineRegKey::FindSubkey(const std::u16string& order_name) const {
  auto& items = const_cast<std::vector<std::unique_ptr<WineRegKey>>&>(subkeys);
  auto it = LowerBound(items, order_name);
  return it != items.end() && (*it)->order == order_name ? it->get() : nullptr;
}

WineRegValue* WineRegKey::FindValue(const std::u16string& order_name) {
  auto it = LowerBound(values, order_name);
  return it != values.end() && it->order == order_name ? &*it : nullptr;
}

WineRegKey* WineRegKey::AddSubkey(const std::u16string& name, uint64_t modified) {
  auto key = std::make_unique<WineRegKey>();
  key->name = name;
  key->order = WineOrder(name);
  key->time = modified;
  key->parent = this;
  auto it = LowerBound(subkeys, key->order);
  return subkeys.insert(it, std::move(key))->get();
}

bool WineRegKey::SetValue(const std::u16string& value_name, uint32_t type,
                          const std::string& data) {
  const std::u16string order_name = WineOrder(value_name);
  auto it = LowerBound(values, order_name);
  if (it != values.end() && it->order == order_name) {
    if (it->type == type && it->data == data) return false;
    it->type = type;
    it->data = data;
    return true;
  }
  values.insert(it, WineRegValue{value_name, order_name, type, data});
  return true;
}

bool WineRegKey::DeleteValue(const std::u16string& order_name) {
  auto it = LowerBound(values, order_name);
  if (it == values.end() || it->order != order_name) return false;
  values.erase(it);
  return true;
}

void WineRegKey::DeleteSubkey(const WineRegKey* subkey) {
  subkeys.erase(std::find_if(subkeys.begin(), subkeys.end(),
                             [subkey](const auto& item) { return item.get() == subkey; }));
}

bool ParseWineReg(const std::string& text, WineRegFile* file, std::string* error) {
  return Parser(text, file).Run(error);
}

std::string FormatWineReg(const WineRegFile& file) {
  std::string out = "WINE REGISTRY Version 2\n";
  out += file.relative_to;
  out += '\n';
  if (!file.arch.empty()) out += "\n#arch=" + file.arch + "\n";
  AppendKey(file.root, file.root, &out);
  return out;
}

std::string Utf16ToUtf8Lossless(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    AppendUtf8(cp, &out);  // a lone surrogate as its three-byte form
  }
  return out;
}

std::u16string Utf8ToUtf16Lossless(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[pos]);
    const int length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    bool valid = length > 0 && pos + length <= text.size();
    char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (int i = 1; valid && i < length; ++i) {
      const unsigned char next = static_cast<unsigned char>(text[pos + i]);
      valid = (next & 0xC0) == 0x80;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (!valid || cp > 0x10FFFF) {
      out.push_back(lead);  // a byte that is no UTF-8 stands for the character of its value
      ++pos;
      continue;
    }
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    pos += length;
  }
  return out;
}

uint64_t WineTimeNow() {
  const auto since_1970 = std::chrono::system_clock::now().time_since_epoch();
  return kTicks1601To1970 +
         std::chrono::duration_cast<std::chrono::nanoseconds>(since_1970).count() / 100;
}

}  // namespace dovetune
