// The program on a store that fails at each of its operations in turn, with
// each kind of failure: the run says so in one line on standard error, prints
// nothing on standard output, exits with status 1, and leaves every key and
// value of the store as they were. The runs are the program's own code in
// this process, on a store in memory wrapped in one that fails on purpose.

#include <memory>
#include <string>
#include <vector>

#include "registry/stores/memory_store.h"
#include "tests/support/command_fixture.h"
#include "tests/support/faulty_store.h"
#include "tests/support/in_process.h"
#include "tests/support/store_tree.h"

namespace dovetune {

namespace {

const StoreFailure kKinds[] = {StoreFailure::kIo,       StoreFailure::kDiskFull,
                               StoreFailure::kReadOnly, StoreFailure::kDamaged,
                               StoreFailure::kBusy,     StoreFailure::kOutOfMemory};

struct FaultCase {
  const char* name;
  bool fresh_store;  // the run starts with no store at all
  std::vector<std::string> arguments;
};

void PrintTo(const FaultCase& test, std::ostream* out) { *out << test.name; }

class StoreFaultTest : public CommandTest, public ::testing::WithParamInterface<FaultCase> {
 protected:
  // The store as the run starts on it: the one a run makes when there is
  // none, or one with a preset to change.
  void PrepareStore() {
    memory_ = MemoryStore::Fresh();
    if (!GetParam().fresh_store) Output({"create", "victim", "-cbr", "160", "-downmix"});
  }

  ProcessResult RunFaulty(FaultPlan* plan) {
    return RunInProcess(
        GetParam().arguments,
        [this, plan](std::string*) -> std::unique_ptr<KeyStore> {
          return std::make_unique<FaultyStore>(std::make_unique<MemoryStore>(memory_), plan);
        },
        store_path_);
  }

  std::string Tree() {
    MemoryStore store(memory_);
    return store.Begin(0) ? StoreTree(store) : std::string();
  }
};

TEST_P(StoreFaultTest, EveryFailingOperationFailsTheRunAndKeepsTheStore) {
  // The number of store operations of a run that fails none of them.
  PrepareStore();
  const std::string tree_before = Tree();
  ASSERT_NE(tree_before, "");
  FaultPlan counted;
  const ProcessResult clean = RunFaulty(&counted);
  ASSERT_EQ(clean.status, 0) << clean.err;
  ASSERT_EQ(clean.err, "");
  ASSERT_GT(counted.operations, 3);
  ASSERT_NE(Tree(), tree_before) << "the run changes nothing to fail";

  // A failed run keeps nothing, so every run starts on the same store.
  PrepareStore();
  for (int fail_at = 1; fail_at <= counted.operations; ++fail_at) {
    for (const StoreFailure kind : kKinds) {
      FaultPlan plan;
      plan.fail_at = fail_at;
      plan.kind = kind;
      const ProcessResult result = RunFaulty(&plan);
      const std::string fault = std::to_string(fail_at) + ": " + DescribeStoreFailure(kind);
      EXPECT_EQ(result.status, 1) << fault;
      EXPECT_EQ(result.out, "") << fault;
      EXPECT_EQ(result.err,
                "Fatal Error: " + store_path_ + ": " + DescribeStoreFailure(kind) + "\n")
          << fault;
      EXPECT_EQ(Tree(), tree_before) << fault;
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
