// A run's held text comes out exactly as it was written.

#include "app/held_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

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

TEST(HeldTextTest, NumbersAndPiecesOfEveryKind) {
  HeldText text;
  text << "bitrate" << std::string(" - ") << int32_t{0} << '\n'
       << int32_t{-1} << ' ' << int32_t{INT32_MAX} << ' ' << int32_t{INT32_MIN};
  EXPECT_EQ(WrittenOut(text), "bitrate - 0\n-1 2147483647 -2147483648");
}

}  // namespace

}  // namespace dovetune
