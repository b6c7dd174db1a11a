// The text a run prints, held until the run's changes are kept and then
// written in one go. A writer of our own rather than std::ostream, whose
// locale alone took more set-up than a whole "view" of a fresh store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace dovetune {

class HeldText {
 public:
  HeldText() = default;
  HeldText(const HeldText&) = delete;
  HeldText& operator=(const HeldText&) = delete;

  HeldText& Write(const char* data, size_t size) {
    text_.append(data, size);
    return *this;
  }
  HeldText& operator<<(const std::string& text) { return Write(text.data(), text.size()); }
  HeldText& operator<<(const char* text) { return Write(text, std::strlen(text)); }
  HeldText& operator<<(char c) { return Write(&c, 1); }
  HeldText& operator<<(int32_t number) { return *this << std::to_string(number); }

  // Writes the text out; false when the write fails.
  bool WriteTo(std::FILE* file) const {
    return text_.empty() || std::fwrite(text_.data(), 1, text_.size(), file) == text_.size();
  }

 private:
  std::string text_;
};

}  // namespace dovetune
