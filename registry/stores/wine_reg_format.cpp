#include "registry/stores/wine_reg_format.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>

#include "base/hex.h"
#include "base/utf.h"
#include "registry/stores/name_fold.h"

namespace dovetune {

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kTicks1601To1970 = 116444736000000000ULL;
constexpr size_t kMaxKeyNameLength = 256;
constexpr size_t kMaxValueNameLength = 16383;

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

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
  explicit LineReader(std::string_view text) : text_(text) {}
  bool Next(std::string* line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line->assign(text_.data() + pos_, end - pos_);
    if (end < text_.size() && !line->empty() && line->back() == '\r') line->pop_back();
    pos_ = end + 1;
    ++number_;
    return true;
  }
  int number() const { return number_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  int number_ = 0;
};

// Appends to |out| the units of |text| from |*pos| on for which |plain|
// holds, each as a unit of |out|'s kind, and moves |*pos| past them. Returns
// whether there was any.
template <typename From, typename Plain, typename To>
bool CopyPlainRun(const From& text, size_t* pos, Plain plain, To* out) {
  size_t end = *pos;
  while (end < text.size() && plain(text[end])) ++end;
  if (end == *pos) return false;
  const size_t at = out->size();
  out->resize(at + (end - *pos));
  auto* to = &(*out)[at];
  for (; *pos < end; ++*pos) *to++ = static_cast<typename To::value_type>(text[*pos]);
  return true;
}

// Wine's parse_strW: unescapes s from |pos| up to the first unescaped
// |end_char|. Returns the position after it, or npos when there is none or the
// text holds bytes Wine would drop. With |backslashes|, notes where in |s|
// each backslash unit of |out| was written (every one is escaped).
size_t ParseEscaped(std::string_view s, size_t pos, char end_char, std::u16string* out,
                    std::vector<size_t>* backslashes = nullptr) {
  out->clear();
  while (pos < s.size()) {
    // Most text is ASCII with nothing escaped: taken a run at a time.
    const auto plain = [end_char](char c) {
      return c != end_char && c != '\\' && static_cast<unsigned char>(c) < 0x80;
    };
    if (CopyPlainRun(s, &pos, plain, out)) continue;
    const char c = s[pos];
    if (c == end_char) return pos + 1;
    if (static_cast<unsigned char>(c) >= 0x80) {
      // Wine skips bytes that are no UTF-8, so they are an error here.
      char32_t code_point = 0;
      const size_t length = DecodeUtf8(s, pos, &code_point);
      if (length == 0) return std::string::npos;
      AppendUtf16(code_point, out);
      pos += length;
      continue;
    }
    ++pos;
    if (c != '\\') {
      out->push_back(c);
      continue;
    }
    if (pos >= s.size()) return std::string::npos;
    const size_t escape = pos - 1;
    const char e = s[pos++];
    static const char kLetters[] = "abefnrtv";
    static const char16_t kCodes[] = {7, 8, 27, 12, 10, 13, 9, 11};
    if (const char* letter = e ? std::strchr(kLetters, e) : nullptr) {
      out->push_back(kCodes[letter - kLetters]);
    } else if (e == 'x' && pos < s.size() && IsHexDigit(s[pos])) {
      char16_t unit = 0;
      for (int i = 0; i < 4 && pos < s.size() && IsHexDigit(s[pos]); ++i) {
        unit = static_cast<char16_t>(unit * 16 + HexDigitValue(s[pos++]));
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
    if (backslashes && out->back() == u'\\') backslashes->push_back(escape);
  }
  return std::string::npos;
}

std::u16string_view OrderOf(const WineRegValue& value) { return value.order; }
std::u16string_view OrderOf(const WineRegKey* key) { return key->order; }

// The first item whose order is not below |order|. Items read from a file
// come in order, so the end is tried first.
template <typename T>
auto LowerBound(std::vector<T>& items, std::u16string_view order) {
  if (items.empty() || OrderOf(items.back()) < order) return items.end();
  return std::lower_bound(items.begin(), items.end(), order,
                          [](const T& item, std::u16string_view o) { return OrderOf(item) < o; });
}

WineRegKey* InsertSubkey(WineRegKey* parent, std::u16string_view name, std::u16string_view order,
                         uint64_t time, std::vector<WineRegKey*>::iterator at) {
  WineRegKeyStore* store = parent->store;
  WineRegKey* key = store->NewKey();
  key->name = store->Keep(name);
  key->order = order == name ? key->name : store->Keep(order);
  key->time = time;
  key->parent = parent;
  key->store = store;
  key->loaded = true;  // until a block of its own is found
  return *parent->subkeys.insert(at, key);
}

// Writes Wine's lower-case form of |name| into |lower|.
void LowerInto(std::u16string_view name, std::u16string* lower) {
  lower->assign(name.data(), name.size());
  for (char16_t& unit : *lower) {
    if (unit >= 'A' && unit <= 'Z') {
      unit += 'a' - 'A';
    } else if (unit >= 0x80) {
      unit = LowerUnit(unit);
    }
  }
}

// Sets a value without marking the key changed. Returns false when it
// already held exactly this type and data.
bool PutValue(WineRegKey* key, std::u16string name, uint32_t type, std::string data) {
  std::u16string order = WineOrder(name);
  auto it = LowerBound(key->values, order);
  if (it != key->values.end() && it->order == order) {
    if (it->type == type && it->data == data) return false;
    it->type = type;
    it->data = std::move(data);
    return true;
  }
  key->values.insert(it, WineRegValue{std::move(name), std::move(order), type, std::move(data)});
  return true;
}

// The seconds after a key's ']', as sscanf(" %u") reads them; when there
// are none, now.
uint64_t KeyLineTime(const std::string& line, size_t pos) {
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  const char* const first = line.data() + pos;
  const char* const end = line.data() + line.size();
  const char* digit = first;
  uint64_t seconds = 0;
  for (; digit < end && *digit >= '0' && *digit <= '9'; ++digit) {
    seconds = seconds * 10 + static_cast<uint64_t>(*digit - '0');
  }
  const size_t digits = static_cast<size_t>(digit - first);
  if (digits == 0 || digits > 10 || seconds > 0xFFFFFFFFu) {  // a sign, or no plain number
    unsigned int scanned = 0;
    if (std::sscanf(line.c_str() + pos, " %u", &scanned) != 1) return WineTimeNow();
    seconds = scanned;
  }
  return static_cast<unsigned int>(seconds) * kTicksPerSecond + kTicks1601To1970;
}

// The number after "dword:" as Wine reads it, by strtoul(text, NULL, 16):
// the eight digits Wine writes are read here, anything else by strtoul.
uint32_t DwordNumber(const char* text) {
  uint32_t number = 0;
  for (int i = 0; i < 8; ++i) {
    const int digit = HexDigitValue(text[i]);
    if (digit < 0) return static_cast<uint32_t>(std::strtoul(text, nullptr, 16));
    number = number << 4 | static_cast<uint32_t>(digit);
  }
  if (IsHexDigit(text[8])) return static_cast<uint32_t>(std::strtoul(text, nullptr, 16));
  return number;
}

// The number of line ends in |text|.
size_t LineEnds(std::string_view text) {
  size_t count = 0;
  const char* end = text.data() + text.size();
  for (const char* at = text.data(); at < end; ++at, ++count) {
    at = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
    if (!at) break;
  }
  return count;
}

// The lines of a file's header, or of one key's block, read as wineserver
// reads them.
class BlockParser {
 public:
  // |text| begins at the line of the file |first_line| gives, asked for only
  // to name a line in an error.
  BlockParser(std::string_view text, std::function<size_t()> first_line)
      : lines_(text), first_line_(std::move(first_line)) {}

  // The first line, the branch line, comments and options.
  bool Header(WineRegFile* file, std::string* error) {
    std::string line;
    if (!lines_.Next(&line) || line != "WINE REGISTRY Version 2") {
      return Fail("the first line is not \"WINE REGISTRY Version 2\"", error);
    }
    file_ = file;
    while (lines_.Next(&line)) {
      const size_t start = SkipSpace(line, 0);
      const char first = start < line.size() ? line[start] : '\0';
      if (lines_.number() == 2 && first == ';') file->relative_to = line;
      if (!Line(line, start)) return Fail(problem_, error);
    }
    return true;
  }

  // The key line and the lines after it: the key's #time, class, link and
  // values.
  bool Block(WineRegKey* key, std::string* error) {
    std::string line;
    while (lines_.Next(&line)) {
      const size_t start = SkipSpace(line, 0);
      // The key line, read when the file was indexed. The time it gives is
      // the key's unless a #time line follows; it was set then, and only for
      // the line that made the key, as Wine sets it.
      if (!key_ && start < line.size() && line[start] == '[') {
        key_ = key;
        continue;
      }
      if (!Line(line, start)) return Fail(problem_, error);
    }
    return true;
  }

 private:
  static size_t SkipSpace(const std::string& line, size_t pos) {
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    return pos;
  }
  bool Fail(const std::string& why, std::string* error) {
    *error = "line " + std::to_string(first_line_() + lines_.number() - 1) + ": " + why;
    return false;
  }
  bool Problem(const std::string& why) {
    problem_ = why;
    return false;
  }

  bool Line(const std::string& line, size_t start) {
    const char first = start < line.size() ? line[start] : '\0';
    if (line.find('\0') != std::string::npos) return Problem("a NUL byte in the line");
    if (first == '\0' || first == ';') return true;
    if (first == '@' || first == '"') return ValueLine(line, start);
    if (first == '#') return OptionLine(std::string_view(line).substr(start), line, start);
    return Problem("a line that is no key, value, option or comment");
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
    pos = SkipSpace(line, pos);
    if (pos >= line.size() || line[pos] != '=') return Problem("a value name without '='");
    pos = SkipSpace(line, pos + 1);
    uint32_t type = 0;
    std::string data;
    if (!ValueData(line, pos, &type, &data)) return false;
    PutValue(key_, std::move(name), type, std::move(data));
    return true;
  }

  bool ValueData(const std::string& line, size_t pos, uint32_t* type, std::string* data) {
    struct Tag {
      const char* text;
      uint32_t type;
    };
    static const Tag kStrings[] = {{"\"", 1}, {"str:\"", 1}, {"str(2):\"", 2}, {"str(7):\"", 7}};
    for (const Tag& tag : kStrings) {
      if (pos >= line.size() || line[pos] != tag.text[0]) continue;
      if (line.compare(pos, std::strlen(tag.text), tag.text) != 0) continue;
      std::u16string text;
      if (ParseEscaped(line, pos + std::strlen(tag.text), '"', &text) == std::string::npos) {
        return Problem("string data without its closing '\"'");
      }
      text.push_back(0);
      *type = tag.type;
      *data = Utf16UnitsToLe(text);
      return true;
    }
    if (line.compare(pos, 6, "dword:") == 0) {
      const uint32_t number = DwordNumber(line.c_str() + pos + 6);
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
        pos = SkipSpace(line, end - line.c_str());
        if (pos < line.size() && line[pos] == ',') ++pos;
        pos = SkipSpace(line, pos);
      }
      pos = SkipSpace(line, pos);
      if (pos >= line.size()) return true;
      if (line[pos] != '\\') return Problem("hex data with a stray character");
      if (!lines_.Next(&line)) return Problem("hex data continued past the end of the block");
      if (line.find('\0') != std::string::npos) return Problem("a NUL byte in the line");
      pos = SkipSpace(line, 0);
      if (pos >= line.size()) return Problem("hex data continued on a blank line");
    }
  }

  // |line| is |whole| from |start| on.
  bool OptionLine(std::string_view line, const std::string& whole, size_t start) {
    if (!key_) {
      if (line.compare(0, 6, "#arch=") != 0) return true;
      if (line != "#arch=win32" && line != "#arch=win64") return Problem("an unknown #arch");
      if (!file_->arch.empty() && file_->arch != line.substr(6)) return Problem("a second #arch");
      file_->arch = std::string(line.substr(6));
      return true;
    }
    if (line.compare(0, 6, "#time=") == 0) {
      uint64_t time = 0;
      for (size_t pos = 6; pos < line.size() && IsHexDigit(line[pos]); ++pos) {
        time = (time << 4) | static_cast<uint64_t>(HexDigitValue(line[pos]));
      }
      key_->time = time;
    } else if (line.compare(0, 7, "#class=") == 0) {
      if (line.compare(7, 1, "\"") != 0 ||
          ParseEscaped(whole, start + 8, '"', &key_->class_name) == std::string::npos) {
        return Problem("a malformed #class");
      }
      key_->has_class = true;
    } else if (line.compare(0, 5, "#link") == 0) {
      key_->link = true;
    }
    return true;
  }

  LineReader lines_;
  std::function<size_t()> first_line_;
  WineRegFile* file_ = nullptr;
  WineRegKey* key_ = nullptr;
  std::string problem_;
};

// Finds the key lines of a file and builds the tree of keys they name, noting
// where each key's block lies and whether the blocks come in Wine's order.
// The file comes in windows, each from the start of a line to the end of
// one, the next beginning with the last line of the one before.
class Indexer {
 public:
  explicit Indexer(WineRegFile* file) : file_(file) {}

  // The window |text|, at |base| in the file, whose lines before |from|
  // were in the window before.
  void Window(std::string_view text, size_t base, size_t from) {
    text_ = text;
    base_ = base;
    if (nul_at_ != kNowhere) return;
    const size_t nul = text_.find('\0', from);
    if (nul != std::string::npos) {
      nul_at_ = base_ + nul;
      return;
    }
    if (key_error_at_ == kNowhere) KeyLines(std::max<size_t>(from, 1));
    LastLine();
  }

  // Ends the file at |size|: what the windows found wrong, in the order
  // wineserver meets it, at the line |line_at| gives for its place.
  bool Finish(size_t size, const std::function<size_t(size_t)>& line_at, std::string* error) {
    const auto fail = [&](size_t pos, const char* why) {
      *error = "line " + std::to_string(line_at(pos)) + ": " + why;
      return false;
    };
    if (nul_at_ != kNowhere) return fail(nul_at_, "a NUL byte in the line");
    if (key_error_at_ != kNowhere) return fail(key_error_at_, key_error_);
    if (continued_at_ != kNowhere) {
      return fail(continued_at_, "hex data continued past the end of the file");
    }
    if (file_->blocks.empty()) {
      file_->header_end = size;
    } else {
      file_->blocks.back().end = size;
    }
    return true;
  }

  // Reads the header, |text| the file up to its first block.
  bool Header(std::string_view text, std::string* error) {
    return BlockParser(text, [] { return size_t{1}; }).Header(file_, error);
  }

 private:
  // Key lines are found by their '[': far fewer than the lines of a file
  // whose values wrap. A '[' after anything but white space on its line is
  // inside a value.
  void KeyLines(size_t from) {
    for (size_t pos = from; pos < text_.size(); ++pos) {
      const char* found =
          static_cast<const char*>(std::memchr(&text_[pos], '[', text_.size() - pos));
      if (!found) break;
      pos = found - text_.data();
      size_t line_start = pos;
      while (line_start > 1 && text_[line_start - 1] != '\n' && IsSpace(text_[line_start - 1])) {
        --line_start;
      }
      if (text_[line_start - 1] != '\n') continue;
      const char* line_end =
          static_cast<const char*>(std::memchr(&text_[pos], '\n', text_.size() - pos));
      const size_t end = line_end ? line_end - text_.data() : text_.size();
      // The line before: blank (Wine writes one before every key line), or
      // not continued.
      const size_t previous_end = line_start - 1;
      size_t previous_start = previous_end;
      while (previous_start > 0 && text_[previous_start - 1] != '\n') --previous_start;
      const bool blank = previous_start == previous_end;
      if (!blank && Continued(previous_start, previous_end)) {
        Fail(pos, "a key line after a line continued with '\\', whose data Wine takes it for");
        return;
      }
      if (!KeyLine(pos, end, blank ? previous_start : line_start)) return;
      pos = end;
    }
  }

  // Notes whether the last line that is not blank is continued; a window of
  // white space alone leaves it as the windows before found it.
  void LastLine() {
    size_t last_end = text_.size();
    while (last_end > 0 && IsSpace(text_[last_end - 1])) --last_end;
    if (last_end == 0) return;
    size_t last_start = last_end;
    while (last_start > 0 && text_[last_start - 1] != '\n') --last_start;
    continued_at_ = Continued(last_start, last_end) ? base_ + last_start : kNowhere;
  }

  // Notes the first key line wineserver would refuse, at |pos| in the window.
  bool Fail(size_t pos, const char* why) {
    key_error_at_ = base_ + pos;
    key_error_ = why;
    return false;
  }
  // Whether the line from |start| to |end| ends in a '\\' that continues
  // it on the next line, as hex data does (a comment never continues).
  bool Continued(size_t start, size_t end) const {
    while (end > start && IsSpace(text_[end - 1])) --end;
    while (start < end && IsSpace(text_[start])) ++start;
    return end > start && text_[end - 1] == '\\' && text_[start] != ';';
  }

  // The key line from |first| (its '[') to |end|, whose block begins at
  // |begin|.
  bool KeyLine(size_t first, size_t end, size_t begin) {
    line_.assign(text_.data() + first, end - first);
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    // Keys come in the order Wine writes them, so most of a key line is the
    // key line before: the components it shares, up to a separator or the
    // ']', are the same keys, and only the rest is read and looked up.
    // Tried from the deepest: a key line most often shares all but its last.
    size_t kept = components_.size();
    while (kept > 0 && !SharedWithLastLine(components_[kept - 1].raw_end)) --kept;
    components_.resize(kept);
    backslashes_.clear();
    const size_t resume = kept ? components_[kept - 1].raw_end : 1;
    const size_t close = ParseEscaped(line_, resume, ']', &path_, &backslashes_);
    if (close == std::string::npos) {
      return Fail(first, "a key without its closing ']'");
    }
    const uint64_t time = KeyLineTime(line_, close);
    const size_t index = file_->blocks.size();
    if (index == 0) {
      file_->header_end = base_ + begin;
      file_->root.first_block = 0;
    } else {
      file_->blocks.back().end = base_ + begin;
    }
    WineRegBlock block;
    block.begin = base_ + begin;
    file_->blocks.push_back(block);
    WineRegKey* key = kept ? components_[kept - 1].key : &file_->root;
    bool made = false;
    size_t separators = 0;  // the backslash units of |path_| passed
    for (size_t at = 0; at < path_.size();) {
      while (at < path_.size() && path_[at] == u'\\') ++at, ++separators;
      const size_t stop = std::min(path_.find(u'\\', at), path_.size());
      if (stop == at) break;
      if (stop - at > kMaxKeyNameLength) {
        return Fail(first, "a key name longer than Wine allows");
      }
      key = Subkey(key, std::u16string_view(path_).substr(at, stop - at), time, index, &made);
      const size_t raw_end = stop < path_.size() ? backslashes_[separators] : close - 1;
      components_.push_back({raw_end, key});
      at = stop;
    }
    last_line_.swap(line_);
    // A key met again, or after a key below it, is out of Wine's order.
    if (!made) file_->in_order = false;
    if (key->block == WineRegKey::kNoBlock) {
      key->block = index;
      key->loaded = false;
    } else {
      size_t last = key->block;
      while (file_->blocks[last].next_of_key != WineRegKey::kNoBlock) {
        last = file_->blocks[last].next_of_key;
      }
      file_->blocks[last].next_of_key = index;
    }
    return true;
  }

  // Whether the key line and the one before are the same up to |at|, where
  // the key line has a separator or its ']'.
  bool SharedWithLastLine(size_t at) const {
    if (at >= line_.size() || at > last_line_.size()) return false;
    if (std::memcmp(line_.data(), last_line_.data(), at) != 0) return false;
    const bool separator = line_[at] == '\\' && at + 1 < line_.size() && line_[at + 1] == '\\';
    return separator || line_[at] == ']';
  }

  // The subkey |name| of |parent|, made when there is none (|*made| then
  // true): in Wine's order, after the subkeys made before.
  WineRegKey* Subkey(WineRegKey* parent, std::u16string_view name, uint64_t time, size_t block,
                     bool* made) {
    LowerInto(name, &order_);
    const auto it = LowerBound(parent->subkeys, order_);
    if (it != parent->subkeys.end() && (*it)->order == order_) {
      file_->in_order = false;  // a key left and met again
      *made = false;
      return *it;
    }
    if (it != parent->subkeys.end()) file_->in_order = false;
    *made = true;
    WineRegKey* key = InsertSubkey(parent, name, order_, time, it);
    key->first_block = block;
    return key;
  }

  // One component of the last key line's path: where the separator or ']'
  // after it begins in |last_line_|, and its key.
  struct Component {
    size_t raw_end;
    WineRegKey* key;
  };

  std::string_view text_;
  static constexpr size_t kNowhere = static_cast<size_t>(-1);
  size_t base_ = 0;  // where the window lies in the file
  WineRegFile* file_;
  size_t nul_at_ = kNowhere;  // the first NUL byte
  // The first key line wineserver would refuse, and why.
  size_t key_error_at_ = kNowhere;
  const char* key_error_ = "";
  size_t continued_at_ = kNowhere;  // the last line that is not blank, when continued
  std::string line_;
  std::string last_line_;
  std::u16string path_;
  std::u16string order_;  // the lower-case form of a name looked up
  std::vector<size_t> backslashes_;
  std::vector<Component> components_;
};

// --- Writing -----------------------------------------------------------------

// |value| as printf writes it by |format|, one of "%0*llo", "%0*llu" and
// "%0*llx": at least |width| digits.
void AppendNumber(const char* format, int width, unsigned long long value, std::string* out) {
  char digits[24];
  const int length = std::snprintf(digits, sizeof(digits), format, width, value);
  out->append(digits, static_cast<size_t>(length));
}

// Wine's dump_strW: |context_quotes| are the two characters escaped here.
void AppendEscaped(std::u16string_view text, const char* context_quotes, std::string* out) {
  static const char kEscapes[] = ".......abtnvfr.............e....";
  const size_t size = text.size();
  for (size_t i = 0; i < size; ++i) {
    const char16_t c = text[i];
    const bool has_next = i + 1 < size;
    const char16_t next = has_next ? text[i + 1] : 0;
    if (c > 0x7F) {
      const bool pad = has_next && next < 0x80 && IsHexDigit(static_cast<char>(next));
      out->append("\\x");
      AppendNumber("%0*llx", pad ? 4 : 1, c, out);
    } else if (c < 0x20) {
      if (c == 0 && !has_next) continue;  // the terminating NUL
      out->push_back('\\');
      if (kEscapes[c] != '.') {
        out->push_back(kEscapes[c]);
      } else {
        AppendNumber("%0*llo", has_next && next >= '0' && next <= '7' ? 3 : 1, c, out);
      }
    } else if (c == '\\' || c == context_quotes[0] || c == context_quotes[1]) {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
    } else {
      out->push_back(static_cast<char>(c));
    }
  }
}

bool IsWrittenAsString(const WineRegValue& value) {
  if (value.type != 1 && value.type != 2 && value.type != 7) return false;
  const std::string& d = value.data;
  return d.size() >= 2 && d.size() % 2 == 0 && d[d.size() - 1] == 0 && d[d.size() - 2] == 0;
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
  if (IsWrittenAsString(value)) {
    if (value.type != 1) out->append(value.type == 2 ? "str(2):" : "str(7):");
    out->push_back('"');
    AppendEscaped(Utf16LeToUnits(value.data), "\"\"", out);
    out->append("\"\n");
    return;
  }
  if (value.type == 4 && value.data.size() == 4) {
    uint32_t number = 0;
    std::memcpy(&number, value.data.data(), 4);
    out->append("dword:");
    AppendNumber("%0*llx", 8, number, out);
    out->push_back('\n');
    return;
  }
  if (value.type == 3) {
    out->append("hex:");
  } else {
    out->append("hex(");
    AppendNumber("%0*llx", 1, value.type, out);
    out->append("):");
  }
  size_t count = out->size() - line_start;
  for (size_t i = 0; i < value.data.size(); ++i) {
    AppendHexByte(value.data[i], false, out);
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

// Appends |key|'s block as Wine writes it, "\n[path] seconds\n#time=...\n"
// and its class, link and values; |path| is its path as written (escaped,
// relative to the root).
void AppendBlock(const WineRegKey& key, const std::string& path, std::string* out) {
  out->append("\n[");
  out->append(path);
  const int64_t seconds =
      (static_cast<int64_t>(key.time) - static_cast<int64_t>(kTicks1601To1970)) /
      static_cast<int64_t>(kTicksPerSecond);
  out->append("] ");
  AppendNumber("%0*llu", 1, static_cast<unsigned>(seconds), out);
  out->append("\n#time=");
  AppendNumber("%0*llx", 1, static_cast<unsigned>(key.time >> 32), out);
  AppendNumber("%0*llx", 8, static_cast<unsigned>(key.time), out);
  out->push_back('\n');
  if (key.has_class) {
    out->append("#class=\"");
    AppendEscaped(key.class_name, "\"\"", out);
    out->append("\"\n");
  }
  if (key.link) out->append("#link\n");
  for (const WineRegValue& value : key.values) AppendValue(value, out);
}

// |path| extended by |subkey|'s name, as a path is written.
void AppendPath(const WineRegKey& subkey, std::string* path) {
  if (subkey.parent && subkey.parent->parent) path->append("\\\\");
  AppendEscaped(subkey.name, "[]", path);
}

// A change to the text: the bytes from |at| to |end| left out, and |text|
// written in their place.
struct Edit {
  size_t at;
  size_t end;
  std::string text;
};

// Collects the edits for the keys at and below |key| that changed, in Wine's
// order. |next| is where the text after |key| and its subkeys begins: the
// first block of a key after them, or the end of the text.
void CollectEdits(const WineRegFile& file, const WineRegKey& key, std::string* path, size_t next,
                  std::vector<Edit>* edits) {
  if (key.rewrite) {
    std::string block;
    if (key.HasOwnBlock()) AppendBlock(key, *path, &block);
    if (key.block != WineRegKey::kNoBlock) {
      const WineRegBlock& old = file.blocks[key.block];
      edits->push_back({old.begin, old.end, std::move(block)});
    } else if (!block.empty()) {
      const size_t at =
          key.first_block != WineRegKey::kNoBlock ? file.blocks[key.first_block].begin : next;
      edits->push_back({at, at, std::move(block)});
    }
  }
  // Where each subkey's text ends: where the next one's that has a block
  // begins.
  std::vector<size_t> ends(key.subkeys.size(), next);
  for (size_t i = key.subkeys.size(); i-- > 1;) {
    const size_t first = key.subkeys[i]->first_block;
    ends[i - 1] = first != WineRegKey::kNoBlock ? file.blocks[first].begin : ends[i];
  }
  const size_t length = path->size();
  for (size_t i = 0; i < key.subkeys.size(); ++i) {
    const WineRegKey& subkey = *key.subkeys[i];
    if (!subkey.changed) continue;
    AppendPath(subkey, path);
    CollectEdits(file, subkey, path, ends[i], edits);
    path->resize(length);
  }
}

}  // namespace

std::u16string WineOrder(std::u16string_view name) {
  std::u16string lower;
  LowerInto(name, &lower);
  return lower;
}

WineRegKey* WineRegKeyStore::NewKey() {
  if (keys_left_ == 0) {
    // Chunks grow to a bound, so that a small file costs little.
    keys_left_ = std::min<size_t>(size_t{16} << key_chunks_.size(), 1024);
    key_chunks_.emplace_back(new WineRegKey[keys_left_]);
  }
  return &key_chunks_.back()[--keys_left_];
}

std::u16string_view WineRegKeyStore::Keep(std::u16string_view units) {
  if (units.size() > units_left_) {
    const size_t chunk = std::min<size_t>(size_t{256} << unit_chunks_.size(), 32768);
    units_left_ = std::max(chunk, units.size());
    unit_chunks_.emplace_back(new char16_t[units_left_]);
    next_unit_ = unit_chunks_.back().get();
  }
  std::copy(units.begin(), units.end(), next_unit_);
  const std::u16string_view kept(next_unit_, units.size());
  next_unit_ += units.size();
  units_left_ -= units.size();
  return kept;
}

WineRegKey* WineRegKey::FindSubkey(std::u16string_view order_name) const {
  auto& items = const_cast<std::vector<WineRegKey*>&>(subkeys);
  auto it = LowerBound(items, order_name);
  return it != items.end() && (*it)->order == order_name ? *it : nullptr;
}

WineRegValue* WineRegKey::FindValue(const std::u16string& order_name) {
  auto it = LowerBound(values, order_name);
  return it != values.end() && it->order == order_name ? &*it : nullptr;
}

WineRegKey* WineRegKey::AddSubkey(std::u16string_view name, uint64_t modified) {
  MarkChanged();
  const std::u16string order = WineOrder(name);
  const auto it = LowerBound(subkeys, order);
  WineRegKey* key = InsertSubkey(this, name, order, modified, it);
  key->changed = true;
  return key;
}

bool WineRegKey::SetValue(std::u16string value_name, uint32_t type, std::string data) {
  if (!PutValue(this, std::move(value_name), type, std::move(data))) return false;
  MarkChanged();
  return true;
}

bool WineRegKey::DeleteValue(const std::u16string& order_name) {
  auto it = LowerBound(values, order_name);
  if (it == values.end() || it->order != order_name) return false;
  MarkChanged();
  values.erase(it);
  return true;
}

void WineRegKey::DeleteSubkey(const WineRegKey* subkey) {
  MarkChanged();
  subkeys.erase(std::find(subkeys.begin(), subkeys.end(), subkey));
}

void WineRegKey::MarkChanged() {
  for (WineRegKey* key = this; key && !key->changed; key = key->parent) key->changed = true;
}

bool WineRegKey::HasOwnBlock() const {
  return !values.empty() || subkeys.empty() || has_class || link;
}

namespace {

// Bytes that are read into before they are looked at, and so are never
// filled with zeros first.
class RawBytes {
 public:
  size_t size() const { return size_; }
  char& operator[](size_t at) { return bytes_[at]; }
  const char* data() const { return bytes_.get(); }
  // Makes room for |size| bytes, keeping the first |kept|.
  void Grow(size_t size, size_t kept) {
    std::unique_ptr<char[]> bytes(new char[size]);
    if (kept > 0) std::memcpy(bytes.get(), bytes_.get(), kept);
    bytes_ = std::move(bytes);
    size_ = size;
  }

 private:
  std::unique_ptr<char[]> bytes_;
  size_t size_ = 0;
};

// Reads |size| bytes at |offset| through |read| into |into|; false at the
// end of the file or a failure.
bool ReadAll(const WineRegReader& read, char* into, size_t size, size_t offset) {
  while (size > 0) {
    const long long got = read(into, size, offset);
    if (got <= 0) return false;
    into += got;
    size -= static_cast<size_t>(got);
    offset += static_cast<size_t>(got);
  }
  return true;
}

}  // namespace

bool IndexWineRegFrom(const WineRegReader& read, size_t piece, WineRegFile* file,
                      std::string* error) {
  *file = WineRegFile();
  error->clear();
  Indexer indexer(file);
  // The bytes from the start of a line on: |held| of them, at |base|. Only
  // the bytes read are ever touched, so a small file costs no more than it
  // holds.
  RawBytes buffer;
  size_t held = 0, base = 0, from = 0;
  for (bool end = false; !end;) {
    if (buffer.size() < held + piece) buffer.Grow(2 * (held + piece), held);
    const long long got = read(&buffer[held], piece, base + held);
    if (got < 0) return false;
    const size_t had = held;
    held += static_cast<size_t>(got);
    end = got == 0;
    size_t window = held;
    if (!end) {
      // Up to the last line end read, which the bytes held before lack when
      // it is not among them.
      const size_t floor = std::max(from, had);
      while (window > floor && buffer[window - 1] != '\n') --window;
      if (window == floor) continue;  // no new line ends yet
    }
    indexer.Window(std::string_view(buffer.data(), window), base, from);
    if (end) break;
    // The window's last line begins the next.
    size_t context = window - 1;
    while (context > 0 && buffer[context - 1] != '\n') --context;
    std::memmove(&buffer[0], buffer.data() + context, held - context);
    held -= context;
    base += context;
    from = window - context;
  }
  const size_t size = base + held;
  buffer = RawBytes();
  // The number of the line at |pos|, counted as the file is read again.
  const auto line_at = [&read, piece](size_t pos) {
    std::string bytes(piece, '\0');
    size_t line = 1;
    for (size_t at = 0; at < pos;) {
      const long long got = read(&bytes[0], std::min(piece, pos - at), at);
      if (got <= 0) break;
      line += static_cast<size_t>(std::count(bytes.data(), bytes.data() + got, '\n'));
      at += static_cast<size_t>(got);
    }
    return line;
  };
  if (!indexer.Finish(size, line_at, error)) return false;
  std::string header(file->header_end, '\0');
  if (!ReadAll(read, &header[0], header.size(), 0)) {
    *error = "the file ended while it was read";
    return false;
  }
  return indexer.Header(header, error);
}

bool LoadWineRegKey(const WineRegBlocks& blocks, const WineRegFile& file, WineRegKey* key,
                    std::string* error) {
  if (key->loaded) return true;
  key->values.clear();
  key->has_class = false;
  key->class_name.clear();
  key->link = false;
  for (size_t index = key->block; index != WineRegKey::kNoBlock;
       index = file.blocks[index].next_of_key) {
    const WineRegBlock& block = file.blocks[index];
    std::string_view view;
    if (!blocks.read(block, &view)) {
      error->clear();
      return false;
    }
    const auto first_line = [&blocks, &block] { return blocks.line_at(block.begin); };
    // Room for a value on each line, so that the values are not moved as
    // they are added.
    key->values.reserve(key->values.size() + LineEnds(view));
    if (!BlockParser(view, first_line).Block(key, error)) return false;
  }
  key->loaded = true;
  return true;
}

bool WriteWineRegChanges(size_t size, bool unended, const WineRegFile& file,
                         const WineRegCopier& copy, const WineRegWriter& write) {
  std::vector<Edit> edits;
  for (const WineRegBlock& block : file.blocks) {
    if (block.removed) edits.push_back({block.begin, block.end, std::string()});
  }
  std::string path;
  if (file.root.changed) CollectEdits(file, file.root, &path, size, &edits);
  std::stable_sort(edits.begin(), edits.end(),
                   [](const Edit& a, const Edit& b) { return a.at < b.at; });
  size_t copied = 0;
  // |unended|: whether a block put at the end follows a last line without
  // its LF.
  for (const Edit& edit : edits) {
    if (edit.at > copied && !copy(copied, edit.at)) return false;
    copied = std::max(copied, edit.at);
    if (unended && copied == size && !edit.text.empty()) {
      if (!write("\n", 1)) return false;
      unended = false;
    }
    if (!write(edit.text.data(), edit.text.size())) return false;
    copied = std::max(copied, edit.end);
  }
  return copied >= size || copy(copied, size);
}

std::string Utf16ToUtf8Lossless(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto ascii = [](char16_t c) { return c < 0x80; };
  for (size_t i = 0;; ++i) {
    CopyPlainRun(text, &i, ascii, &out);
    if (i == text.size()) break;
    AppendUtf8(DecodeUtf16(text, &i), &out);  // a lone surrogate as its three-byte form
  }
  return out;
}

std::u16string Utf8ToUtf16Lossless(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const auto byte = [&text, pos](size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    char32_t cp = 0;
    size_t length = DecodeUtf8(text, pos, &cp);
    if (length == 0 && pos + 3 <= text.size() && byte(0) == 0xED && (byte(1) & 0xE0) == 0xA0 &&
        (byte(2) & 0xC0) == 0x80) {  // a lone surrogate's three-byte form
      cp = 0xD000 | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
      length = 3;
    }
    if (length == 0) {  // a byte that is no UTF-8 stands for the character of its value
      cp = byte(0);
      length = 1;
    }
    AppendUtf16(cp, &out);
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
