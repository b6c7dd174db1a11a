// The text a run prints, held until the run's changes are kept and then
// written in one go. It is held in blocks of a fixed size: a long listing then
// takes little more memory than its text, where one growing buffer would hold
// it twice while it grows. A writer of our own rather than std::ostream, whose
// locale alone took more set-up than a whole "view" of a fresh store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace dovetune {

class HeldText {
 public:
  HeldText() = default;
  HeldText(const HeldText&) = delete;
  HeldText& operator=(const HeldText&) = delete;

  HeldText& Write(const char* data, size_t size) {
    if (size >= static_cast<size_t>(end_ - next_)) return WriteAcrossBlocks(data, size);
    std::memcpy(next_, data, size);
    next_ += size;
    return *this;
  }
  HeldText& operator<<(const std::string& text) { return Write(text.data(), text.size()); }
  HeldText& operator<<(const char* text) { return Write(text, std::strlen(text)); }
  HeldText& operator<<(char c) { return Write(&c, 1); }
  HeldText& operator<<(int32_t number);

  // Writes every block in turn; false when a write fails.
  bool WriteTo(std::FILE* file) const;

 private:
  static constexpr size_t kBlockBytes = 64 * 1024;

  HeldText& WriteAcrossBlocks(const char* data, size_t size);
  size_t BlockSize(size_t index) const;

  std::vector<std::unique_ptr<char[]>> blocks_;
  char* next_ = nullptr;  // where the next byte goes in the last block
  char* end_ = nullptr;
};

}  // namespace dovetune
