// The program on a store that fails at each of its operations in turn, with
// each kind of failure: the run says so in one line on standard error, prints
// nothing on standard output, exits with status 1, and leaves every key and
// value of the store as they were. dovetune-faulty is the program's own code
// on a store that fails on purpose, so no root, full disk or tmpfs is needed.

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "registry/stores/faulty_store.h"
#include "tests/support/cli_fixture.h"
#include "tests/support/store_tree.h"

namespace dovetune {

namespace {

const StoreFailure kKinds[] = {StoreFailure::kIo,       StoreFailure::kDiskFull,
                               StoreFailure::kReadOnly, StoreFailure::kDamaged,
                               StoreFailure::kBusy,     StoreFailure::kOutOfMemory};

const char* KindName(StoreFailure kind) {
  switch (kind) {
    case StoreFailure::kIo:
      return "io";
    case StoreFailure::kDiskFull:
      return "full";
    case StoreFailure::kReadOnly:
      return "read-only";
    case StoreFailure::kDamaged:
      return "damaged";
    case StoreFailure::kBusy:
      return "busy";
    default:
      return "memory";
  }
}

struct FaultCase {
  const char* name;
  bool fresh_store;  // the run starts with no store at all
  std::vector<std::string> arguments;
};

void PrintTo(const FaultCase& test, std::ostream* out) { *out << test.name; }

class StoreFaultTest : public CliTest, public ::testing::WithParamInterface<FaultCase> {
 protected:
  ProcessResult RunFaulty(const std::vector<std::pair<std::string, std::string>>& environment) {
    ProcessOptions options;
    options.environment = environment;
    return RunProgram(DOVETUNE_FAULTY_BINARY, GetParam().arguments, store_path_, options);
  }

  // The number of store operations of a run that fails none of them.
  int CountOperations() {
    const std::string count_file = folder_.File("operations");
    const ProcessResult result = RunFaulty({{"DOVETUNE_TEST_OPERATIONS", count_file}});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    return std::stoi("0" + ReadWholeFile(count_file));
  }

  // The store as the run starts on it.
  void PrepareStore() {
    if (GetParam().fresh_store) {
      std::remove(store_path_.c_str());
    } else {
      WriteWholeFile(store_path_, store_before_);
    }
  }

  std::string store_before_;
};

TEST_P(StoreFaultTest, EveryFailingOperationFailsTheRunAndKeepsTheStore) {
  Output({"create", "victim", "-cbr", "160", "-downmix"});
  store_before_ = ReadWholeFile(store_path_);
  // What the store holds when a run has changed nothing: for a fresh store,
  // the store a run makes before its first operation.
  const std::string fresh_tree = StoreTreeAt(folder_.File("fresh.db"));
  const std::string tree_before = GetParam().fresh_store ? fresh_tree : StoreTreeAt(store_path_);
  ASSERT_NE(tree_before, "");

  PrepareStore();
  const int operations = CountOperations();
  ASSERT_GT(operations, 3);
  ASSERT_NE(StoreTreeAt(store_path_), tree_before) << "the run changes nothing to fail";

  for (int fail_at = 1; fail_at <= operations; ++fail_at) {
    for (const StoreFailure kind : kKinds) {
      PrepareStore();
      const std::string fault = std::to_string(fail_at) + ":" + KindName(kind);
      const ProcessResult result = RunFaulty({{"DOVETUNE_TEST_FAULT", fault}});
      const std::string expected_error =
          "Fatal Error: " + store_path_ + ": " + DescribeStoreFailure(kind) + "\n";
      const std::string tree_after = StoreTreeAt(store_path_);
      EXPECT_EQ(result.status, 1) << fault;
      EXPECT_EQ(result.out, "") << fault;
      EXPECT_EQ(result.err, expected_error) << fault;
      EXPECT_EQ(tree_after, tree_before) << fault;
      if (HasFailure()) return;  // one broken operation tells the story
    }
  }
}

const FaultCase kCases[] = {
    {"FreshStart", true, {"view"}},
    {"Create", false, {"create", "made", "-vbr_audiophile", "-optimize", "4"}},
    {"Use", false, {"use", "victim"}},
    {"Delete", false, {"delete", "victim"}},
};

INSTANTIATE_TEST_SUITE_P(Commands, StoreFaultTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

}  // namespace dovetune
