#include "app/held_text.h"

#include <charconv>

namespace dovetune {

HeldText& HeldText::operator<<(int32_t number) {
  char digits[16];
  const std::to_chars_result written = std::to_chars(digits, digits + sizeof(digits), number);
  return Write(digits, static_cast<size_t>(written.ptr - digits));
}

HeldText& HeldText::WriteAcrossBlocks(const char* data, size_t size) {
  for (;;) {
    const size_t room = static_cast<size_t>(end_ - next_);
    const size_t taken = size < room ? size : room;
    if (taken != 0) std::memcpy(next_, data, taken);
    next_ += taken;
    data += taken;
    size -= taken;
    if (size == 0) return *this;
    blocks_.emplace_back(new char[kBlockBytes]);  // left unfilled: it is written over
    next_ = blocks_.back().get();
    end_ = next_ + kBlockBytes;
  }
}

size_t HeldText::BlockSize(size_t index) const {
  return index + 1 < blocks_.size() ? kBlockBytes
                                    : static_cast<size_t>(next_ - blocks_[index].get());
}

bool HeldText::WriteTo(std::FILE* file) const {
  for (size_t i = 0; i < blocks_.size(); ++i) {
    const size_t size = BlockSize(i);
    if (size != 0 && std::fwrite(blocks_[i].get(), 1, size, file) != size) return false;
  }
  return true;
}

}  // namespace dovetune
