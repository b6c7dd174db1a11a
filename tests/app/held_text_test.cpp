// A run's held text comes out exactly as it was written, however the writes
// fall across the blocks it is held in.

#include "app/held_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace dovetune {

namespace {

std::string WrittenOut(const HeldText& text) {
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  if (!file) return "";
  EXPECT_TRUE(text.WriteTo(file));
  std::string read(static_cast<size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  EXPECT_EQ(std::fread(&read[0], 1, read.size(), file), read.size());
  std::fclose(file);
  return read;
}

TEST(HeldTextTest, WritesComeOutWholeAcrossBlocks) {
  constexpr size_t kBlock = 64 * 1024;
  // Sizes that end a block exactly, cross one, fill several at once, or add
  // nothing at a block's end.
  const std::vector<std::vector<size_t>> cases = {
      {},
      {0},
      {kBlock},
      {kBlock, 0, 1},
      {kBlock - 1, 1, 1},
      {kBlock - 3, 7, kBlock - 4, 0, 5},
      {3 * kBlock + 17},
      {10, 2 * kBlock, 10},
  };
  for (const std::vector<size_t>& sizes : cases) {
    HeldText text;
    std::string expected;
    char next = 'a';
    for (size_t size : sizes) {
      const std::string piece(size, next);
      next = next == 'z' ? 'a' : static_cast<char>(next + 1);
      text.Write(piece.data(), piece.size());
      expected += piece;
    }
    EXPECT_EQ(WrittenOut(text), expected) << sizes.size() << " writes";
  }
}

TEST(HeldTextTest, NumbersAndPiecesOfEveryKind) {
  HeldText text;
  text << "bitrate" << std::string(" - ") << int32_t{0} << '\n'
       << int32_t{-1} << ' ' << int32_t{INT32_MAX} << ' ' << int32_t{INT32_MIN};
  EXPECT_EQ(WrittenOut(text), "bitrate - 0\n-1 2147483647 -2147483648");
}

}  // namespace

}  // namespace dovetune
