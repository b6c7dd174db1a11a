// Stores the program cannot use: it says so on standard error, prints nothing
// else, exits with status 1 and leaves the file exactly as it was.

#include <sys/stat.h>

#include <random>

#include "tests/support/cli_fixture.h"

namespace {

class DamagedStoreTest : public CliTest {
 protected:
  void ExpectRefused(const std::vector<std::string>& arguments) {
    const std::string before = ReadWholeFile(store_path_);
    const ProcessResult result = Run(arguments);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("Fatal Error: " + store_path_ + ": ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
    EXPECT_EQ(ReadWholeFile(store_path_), before);
  }
};

TEST_F(DamagedStoreTest, RandomBytesAreRefused) {
  std::mt19937 random(7);
  std::string bytes(8192, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  WriteWholeFile(store_path_, bytes);
  ExpectRefused({});
  ExpectRefused({"create", "x"});
}

TEST_F(DamagedStoreTest, TextFileIsRefused) {
  WriteWholeFile(store_path_, "DefBitRate=128\nDefVbrMode=6\n");
  ExpectRefused({"view"});
  ExpectRefused({"use", "default"});
}

TEST_F(DamagedStoreTest, EmptyFileIsRefused) {
  WriteWholeFile(store_path_, "");
  ExpectRefused({"view"});
}

TEST_F(DamagedStoreTest, FolderIsRefused) {
  ASSERT_EQ(mkdir(store_path_.c_str(), 0700), 0);
  const ProcessResult result = Run({"view"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Fatal Error: " + store_path_ + ": is a folder, not a registry store\n");
}

TEST_F(DamagedStoreTest, AnotherProgramsDatabaseIsRefused) {
  ASSERT_EQ(Output({"view"}).empty(), false);
  const std::string ours = ReadWholeFile(store_path_);
  // Our header with another application id at offset 68.
  std::string theirs = ours;
  theirs[68] = 'X';
  WriteWholeFile(store_path_, theirs);
  ExpectRefused({"create", "x"});
}

TEST_F(DamagedStoreTest, TruncatedStoreIsRefused) {
  ASSERT_EQ(Output({"create", "a"}).empty(), false);
  const std::string whole = ReadWholeFile(store_path_);
  ASSERT_GT(whole.size(), 4096u);
  WriteWholeFile(store_path_, whole.substr(0, whole.size() - 1024));
  ExpectRefused({"view"});
}

}  // namespace
