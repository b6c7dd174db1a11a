#include "registry/name_fold.h"

#include <algorithm>

#include "registry/case_tables.h"
#include "registry/utf8.h"

namespace dovetune {

namespace {

char32_t MapUnit(const CaseRun* runs, size_t count, char32_t code_point) {
  if (code_point > 0xFFFF) return code_point;  // two units, each its own
  const CaseRun* end = runs + count;
  const CaseRun* run = std::lower_bound(
      runs, end, code_point, [](const CaseRun& r, char32_t unit) { return r.last < unit; });
  if (run == end || code_point < run->first || (code_point - run->first) % run->step != 0) {
    return code_point;
  }
  return static_cast<char32_t>(static_cast<int32_t>(code_point) + run->delta);
}

char32_t UpperCase(char32_t code_point) { return MapUnit(kUpperCase, kUpperCaseRuns, code_point); }

char32_t LowerCase(char32_t code_point) { return MapUnit(kLowerCase, kLowerCaseRuns, code_point); }

// |map| folds a character; on ASCII it moves the letters from |ascii_from|
// (a-z or A-Z) by |ascii_shift|. |folded|'s room is reused.
void Fold(const char* name, size_t size, char32_t (*map)(char32_t), char ascii_from,
          int ascii_shift, std::string* folded_out) {
  // Most names are plain ASCII, where folding moves one range of letters.
  // One pass writes straight into the reused room: folding runs for every
  // value a run looks up, where a copy first and a change after cost twice.
  std::string& folded = *folded_out;
  folded.resize(size);
  char* out = &folded[0];
  unsigned char bytes_ored = 0;
  for (size_t i = 0; i < size; ++i) {
    const unsigned char byte = static_cast<unsigned char>(name[i]);
    bytes_ored |= byte;
    out[i] = static_cast<unsigned char>(byte - ascii_from) < 26
                 ? static_cast<char>(byte + ascii_shift)
                 : static_cast<char>(byte);
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
    AppendUtf8(map(code_point), &folded);
    pos += length;
  }
}

// Reads a name one lower-cased UTF-16 unit at a time.
class LowerCaseUnits {
 public:
  explicit LowerCaseUnits(const std::string& name) : name_(name) {}

  // False at the end of the name.
  bool Next(char16_t* unit) {
    if (pending_low_ != 0) {
      *unit = pending_low_;
      pending_low_ = 0;
      return true;
    }
    if (pos_ >= name_.size()) return false;
    char32_t code_point = 0;
    const size_t length = DecodeUtf8(name_, pos_, &code_point);
    if (length == 0) code_point = static_cast<unsigned char>(name_[pos_]);
    pos_ += length == 0 ? 1 : length;
    if (code_point > 0xFFFF) {
      code_point -= 0x10000;
      *unit = static_cast<char16_t>(0xD800 + (code_point >> 10));
      pending_low_ = static_cast<char16_t>(0xDC00 + (code_point & 0x3FF));
      return true;
    }
    *unit = static_cast<char16_t>(LowerCase(code_point));
    return true;
  }

 private:
  const std::string& name_;
  size_t pos_ = 0;
  char16_t pending_low_ = 0;
};

}  // namespace

std::string FoldName(const std::string& name) {
  std::string folded;
  FoldName(name.data(), name.size(), &folded);
  return folded;
}

void FoldName(const char* name, size_t size, std::string* folded) {
  Fold(name, size, UpperCase, 'a', 'A' - 'a', folded);
}

std::string LowerCaseFold(const std::string& name) {
  std::string folded;
  Fold(name.data(), name.size(), LowerCase, 'A', 'a' - 'A', &folded);
  return folded;
}

int CompareLowerCase(const std::string& a, const std::string& b) {
  LowerCaseUnits left(a);
  LowerCaseUnits right(b);
  for (;;) {
    char16_t left_unit = 0;
    char16_t right_unit = 0;
    const bool has_left = left.Next(&left_unit);
    const bool has_right = right.Next(&right_unit);
    if (!has_left || !has_right) return has_left - has_right;
    if (left_unit != right_unit) return left_unit < right_unit ? -1 : 1;
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
