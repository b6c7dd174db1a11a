#include "registry/stores/name_fold.h"

#include <algorithm>
#include <cstdint>

#include "base/utf.h"
#include "registry/stores/case_tables.h"

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

// Copies |size| bytes, folding the ASCII letters from |ascii_from|; false when
// a byte is not ASCII (what was copied is then partly folded).
bool FoldAscii(unsigned char ascii_from, const char* from, size_t size, char* to) {
  for (size_t i = 0; i < size; ++i) {
    const unsigned char byte = static_cast<unsigned char>(from[i]);
    if (byte >= 0x80) return false;
    to[i] = static_cast<unsigned char>(byte - ascii_from) < 26 ? static_cast<char>(byte ^ 0x20)
                                                               : static_cast<char>(byte);
  }
  return true;
}

// |map| folds a character; on ASCII it moves the letters from |ascii_from|
// (a-z or A-Z) into the other case. |folded|'s room is reused.
void Fold(const char* name, size_t size, char32_t (*map)(char32_t), unsigned char ascii_from,
          std::string* folded_out) {
  // Most names are plain ASCII, where folding moves one range of letters
  // straight into the room of the name folded before (often of the same
  // length): folding runs for every name a run looks up.
  std::string& folded = *folded_out;
  if (folded.size() != size) folded.resize(size);
  if (size == 0 || FoldAscii(ascii_from, name, size, &folded[0])) return;

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

}  // namespace

std::string FoldName(const std::string& name) {
  std::string folded;
  FoldName(name.data(), name.size(), &folded);
  return folded;
}

void FoldName(const char* name, size_t size, std::string* folded) {
  Fold(name, size, UpperCase, 'a', folded);
}

std::string LowerCaseFold(const std::string& name) {
  std::string folded;
  Fold(name.data(), name.size(), LowerCase, 'A', &folded);
  return folded;
}

}  // namespace dovetune
