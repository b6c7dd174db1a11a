// Reading a stretch of an open file whole, and copying one to another file:
// the bytes that arrive, where each file's position is left, and a stretch
// past the end refused.
#include "base/file_bytes.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "base/file_descriptor.h"
#include "tests/support/temp_store.h"

namespace dovetune {
namespace {

TEST(CopyBytesTest, CopiesTheStretchAfterWhatTheDestinationHolds) {
  TempFolder folder;
  // Longer than the copy's own buffer, and no byte like its neighbours.
  std::string source(300 * 1024 + 7, '\0');
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>(i * 7 + i / 251);
  WriteWholeFile(folder.File("from"), source);
  struct Case {
    const char* name;
    size_t offset, size;
    // The kernel does not copy into a file opened to append: the plain copy
    // does it all.
    bool append;
    bool copied;
  } cases[] = {{"the whole file", 0, source.size(), false, true},
               {"a stretch in the middle", 1000, 200 * 1024, false, true},
               {"nothing", 5, 0, false, true},
               {"past the end", source.size() - 10, 11, false, false},
               {"the whole file, plainly", 0, source.size(), true, true},
               {"a stretch, plainly", 131071, 131075, true, true},
               {"past the end, plainly", 1, source.size(), true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string to_path = folder.File("to");
    WriteWholeFile(to_path, "head");
    FileDescriptor from(open(folder.File("from").c_str(), O_RDONLY));
    FileDescriptor to(open(to_path.c_str(), O_WRONLY | (c.append ? O_APPEND : 0)));
    ASSERT_TRUE(from && to);
    ASSERT_EQ(4, lseek(to.get(), 4, SEEK_SET));
    errno = 0;
    EXPECT_EQ(c.copied, CopyBytes(from.get(), c.offset, c.size, to.get()));
    EXPECT_EQ(0, lseek(from.get(), 0, SEEK_CUR));
    if (!c.copied) {
      EXPECT_EQ(EIO, errno);
      continue;
    }
    ASSERT_TRUE(CopyBytes(from.get(), 0, 3, to.get()));
    EXPECT_EQ("head" + source.substr(c.offset, c.size) + source.substr(0, 3),
              ReadWholeFile(to_path));
  }
}

TEST(ReadAllAtTest, ReadsTheWholeStretchOrRefusesOnePastTheEnd) {
  TempFolder folder;
  WriteWholeFile(folder.File("file"), "0123456789");
  FileDescriptor file(open(folder.File("file").c_str(), O_RDONLY));
  ASSERT_TRUE(file);
  struct Case {
    size_t offset, size;
    const char* read;  // null when refused
  } cases[] = {{0, 10, "0123456789"}, {3, 4, "3456"},   {9, 1, "9"},     {10, 0, ""},
               {8, 3, nullptr},       {10, 1, nullptr}, {20, 2, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.size));
    std::string into(c.size, '-');
    errno = 0;
    EXPECT_EQ(c.read != nullptr, ReadAllAt(file.get(), &into[0], c.size, c.offset));
    if (c.read) {
      EXPECT_EQ(c.read, into);
    } else {
      EXPECT_EQ(EIO, errno);
    }
    EXPECT_EQ(0, lseek(file.get(), 0, SEEK_CUR));
  }
}

}  // namespace
}  // namespace dovetune
