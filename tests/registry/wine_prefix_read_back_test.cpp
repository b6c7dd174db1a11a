// The prefix store reads a key's values back from the file it indexed when
// the run first needs them: a file Wine has replaced since is read as it was
// indexed, and one written over where it lies fails the run, never giving
// what the new bytes say.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "registry/stores/wine_prefix_store.h"
#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

const char kHead[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n#arch=win64\n";

// A file whose key Software\Tool holds "v", with enough keys before it that
// its block lies beyond the pieces the file is read in.
std::string UserReg(const std::string& data) {
  std::string text = kHead;
  for (int i = 0; i < 20000; ++i) {
    char name[32];
    std::snprintf(name, sizeof(name), "%05d", i);
    text += std::string("\n[Software\\\\Filler\\\\K") + name + "] 1\n\"x\"=\"" + name + "\"\n";
  }
  return text + "\n[Software\\\\Tool] 1\n#time=1\n\"v\"=\"" + data + "\"\n";
}

// Writes |text| over the file where it lies, its times set apart from any
// the file had.
void WriteOver(const std::string& path, const std::string& text, long long seconds) {
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(futimens(fd, times), 0);
  ASSERT_EQ(close(fd), 0);
}

// Replaces the file by another, as Wine saves it.
void Replace(const std::string& path, const std::string& text) {
  WriteWholeFile(path + ".new", text);
  ASSERT_EQ(rename((path + ".new").c_str(), path.c_str()), 0);
}

TEST(WinePrefixReadBackTest, AFileChangedAfterItWasIndexedIsReadAsIndexedOrNotAtAll) {
  const std::string indexed = UserReg("old");
  enum Change { kNothing, kReplaced, kWrittenOverLonger, kWrittenOverSameSize, kEmptied };
  enum Read { kValues, kReadData, kSetValue };
  struct Case {
    Change change;
    Read read;
    bool fails;  // with kBusy, saying the file changed
  };
  std::vector<Case> cases;
  for (const Read read : {kValues, kReadData, kSetValue}) {
    cases.push_back({kNothing, read, false});
    cases.push_back({kReplaced, read, read == kSetValue});
    for (const Change change : {kWrittenOverLonger, kWrittenOverSameSize, kEmptied}) {
      cases.push_back({change, read, true});
    }
  }
  for (const Case& c : cases) {
    const std::string where =
        "change " + std::to_string(c.change) + ", read " + std::to_string(c.read);
    TempFolder folder;
    const std::string path = folder.File("user.reg");
    WriteWholeFile(path, indexed);
    WinePrefixStore store(folder.path());
    if (c.read != kSetValue) store.SetReadOnlyRun();
    ASSERT_TRUE(store.Begin(0)) << store.failure_reason();
    const KeyId root = store.FindRoot("hkey_current_user");
    const KeyId key = store.FindChild(store.FindChild(root, "software"), "tool");
    ASSERT_NE(key, 0) << where;
    switch (c.change) {
      case kNothing:
        break;
      case kReplaced:
        Replace(path, UserReg("new"));
        break;
      case kWrittenOverLonger:
        WriteOver(path, UserReg("newer"), 1000000000);
        break;
      case kWrittenOverSameSize:
        WriteOver(path, UserReg("new"), 1000000000);
        break;
      case kEmptied:
        WriteOver(path, "", 1000000000);
        break;
    }
    std::string data;
    switch (c.read) {
      case kValues: {
        std::vector<StoredValue> values;
        store.Values(key, &values);
        if (values.size() == 1) data = values[0].value.data;
        break;
      }
      case kReadData:
        store.ReadData(key, "v", &data);
        break;
      case kSetValue:
        if (store.SetValue(key, {"w", 1, "set"}, "w") && store.Commit()) {
          store.ReadData(key, "v", &data);
        }
        break;
    }
    if (c.fails) {
      EXPECT_EQ(store.failure(), StoreFailure::kBusy) << where;
      EXPECT_NE(store.failure_reason().find("changed during the run"), std::string::npos)
          << where << ": " << store.failure_reason();
      EXPECT_EQ(data, "") << where;
    } else {
      EXPECT_EQ(store.failure(), StoreFailure::kNone) << where << ": " << store.failure_reason();
      EXPECT_EQ(data, std::string("old\0", 4)) << where;
    }
  }
}

}  // namespace

}  // namespace dovetune
