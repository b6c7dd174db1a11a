// A key's packed values read back as they were written, and bytes that are not
// a packing, from a damaged file, are refused rather than read past their end.

#include "registry/stores/packed_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace dovetune {

namespace {

std::vector<PackedValue> Sample() {
  std::vector<PackedValue> values(3);
  values[0] = PackedValue{"Bitrate", 4, 4, 0, std::string("\x80\0\0\0", 4)};
  values[1] = PackedValue{"", 1, 0, 0, ""};              // the default value, empty
  values[2] = PackedValue{"Large", 3, 20000000, 7, ""};  // data in row 7
  return values;
}

bool Unpack(const std::string& bytes, std::vector<PackedValue>* values) {
  return UnpackValues(bytes.data(), bytes.size(), values);
}

TEST(PackedValuesTest, ValuesReadBackInTheirOrder) {
  const std::vector<PackedValue> sample = Sample();
  const std::string bytes = PackValues(sample);
  std::vector<PackedValue> values(5);  // room left from a key read before
  ASSERT_TRUE(Unpack(bytes, &values));
  ASSERT_EQ(values.size(), sample.size());
  for (size_t i = 0; i < sample.size(); ++i) {
    EXPECT_EQ(values[i].name, sample[i].name);
    EXPECT_EQ(values[i].type, sample[i].type);
    EXPECT_EQ(values[i].size, sample[i].size);
    EXPECT_EQ(values[i].big_id, sample[i].big_id);
    EXPECT_EQ(values[i].data, sample[i].data);
  }
  EXPECT_TRUE(Unpack("", &values));
  EXPECT_TRUE(values.empty());

  // Cut anywhere, the bytes are a packing only where a value ends.
  std::vector<size_t> ends;
  for (size_t count = 0; count <= sample.size(); ++count) {
    ends.push_back(PackValues({sample.begin(), sample.begin() + count}).size());
  }
  for (size_t size = 0; size <= bytes.size(); ++size) {
    const bool at_end = std::find(ends.begin(), ends.end(), size) != ends.end();
    EXPECT_EQ(Unpack(bytes.substr(0, size), &values), at_end) << size;
  }
}

class PackedValuesDamageTest : public testing::TestWithParam<std::string> {};

TEST_P(PackedValuesDamageTest, IsRefused) {
  std::vector<PackedValue> values;
  EXPECT_FALSE(Unpack(GetParam(), &values));
}

// Each: name size, name, type, data size, where, then data or a row number.
INSTANTIATE_TEST_SUITE_P(
    Bytes, PackedValuesDamageTest,
    testing::Values(std::string("\xff\xff\xff\xff", 4),                   // name past the end
                    std::string("\1\0\0\0A\1\0\0\0\5\0\0\0\0abc", 17),    // data past the end
                    std::string("\1\0\0\0A\1\0\0\0\5\0\0\0\2abcde", 19),  // not here or elsewhere
                    std::string("\1\0\0\0A\1\0\0\0\5\0\0\0\1\0\0\0\0\0\0\0\0", 22),  // row 0
                    std::string("\1\0\0\0A\1\0\0\0\5\0\0\0\1\1\0\0", 17)));  // row cut short

// Whatever the bytes, reading them stops inside them (the sanitizers watch).
TEST(PackedValuesTest, RandomBytesAreReadSafely) {
  std::mt19937 random(11);
  const std::string valid = PackValues(Sample());
  std::vector<PackedValue> values;
  for (int round = 0; round < 2000; ++round) {
    std::string bytes = valid;
    for (int i = 0; i < 3; ++i) bytes[random() % bytes.size()] = static_cast<char>(random());
    if (Unpack(bytes, &values)) {
      for (const PackedValue& value : values) {
        if (value.big_id == 0) {
          EXPECT_EQ(value.data.size(), value.size);
        }
      }
    }
  }
}

}  // namespace

}  // namespace dovetune
