// The embedded registry on stores other than the program's file: one that
// holds only some of the roots, and one that fails on purpose. A failure of
// the store sticks for the rest of the run, every registry call then reports
// it, and the run keeps nothing.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "registry/registry_session.h"
#include "registry/stores/memory_store.h"
#include "registry/win32_api.h"
#include "tests/support/faulty_store.h"
#include "tests/support/store_tree.h"

namespace dovetune {

namespace {

LONG Touch(HKEY parent, const char* path) {
  HKEY key = nullptr;
  const LONG result =
      RegCreateKeyExA(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) RegCloseKey(key);
  return result;
}

LONG SetDword(HKEY key, const char* name, DWORD value) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
}

std::string TreeOf(const std::shared_ptr<MemoryStoreContents>& contents) {
  MemoryStore store(contents);
  return store.Begin(0) ? StoreTree(store) : std::string();
}

TEST(PartialStoreTest, ARootTheStoreLacksIsAMissingKey) {
  CRegistrySession session;
  std::string error;
  ASSERT_TRUE(session.Open(std::make_unique<MemoryStore>(MemoryStore::Fresh({"HKEY_CURRENT_USER"})),
                           "user only", &error))
      << error;
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Touch(HKEY_CLASSES_ROOT, "made"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SetDword(HKEY_USERS, "v", 1), ERROR_FILE_NOT_FOUND);
  char name[16];
  DWORD length = sizeof(name);
  EXPECT_EQ(
      RegEnumKeyExA(HKEY_CURRENT_CONFIG, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
      ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  // The root it holds still works after the others were refused.
  EXPECT_EQ(Touch(HKEY_CURRENT_USER, "Software\\DovetuneTest"), ERROR_SUCCESS);
  EXPECT_TRUE(session.Commit(&error)) << error;
}

// HKEY_CURRENT_USER is required; its Software key, which cannot be deleted,
// is put back when a store made before that lacks it.
TEST(PartialStoreTest, TheUsersSoftwareKeyIsRequiredAndPutBack) {
  CRegistrySession without_user;
  std::string error;
  EXPECT_FALSE(without_user.Open(
      std::make_unique<MemoryStore>(MemoryStore::Fresh({"HKEY_LOCAL_MACHINE"})), "store", &error));
  EXPECT_EQ(error, "store: the registry store is damaged (a root key is missing)");

  const std::shared_ptr<MemoryStoreContents> contents = MemoryStore::Fresh({"HKEY_CURRENT_USER"});
  MemoryStore store(contents);
  ASSERT_TRUE(store.Begin(0));
  const KeyId user = store.FindRoot(store.Fold("HKEY_CURRENT_USER"));
  ASSERT_TRUE(store.DeleteKey(store.FindChild(user, store.Fold("Software"))));
  ASSERT_TRUE(store.Commit());
  CRegistrySession session;
  ASSERT_TRUE(session.Open(std::make_unique<MemoryStore>(contents), "store", &error)) << error;
  HKEY software = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_ALL_ACCESS, &software),
            ERROR_SUCCESS);
  RegCloseKey(software);
  EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software"), ERROR_ACCESS_DENIED);
}

// A run that sets a value and makes a key, on a store whose operation
// |fail_at| fails with |kind|: what the first registry call to meet the
// failure returns, and whether every call after it returns the same.
struct FaultyRun {
  bool opened = false;
  LONG first_error = ERROR_SUCCESS;
  bool later_calls_agree = true;
  std::string commit_error;
};

FaultyRun RunOnFaultyStore(const std::shared_ptr<MemoryStoreContents>& contents, int fail_at,
                           StoreFailure kind, int* operations) {
  FaultyRun run;
  FaultPlan plan{fail_at, kind, 0};
  {
    CRegistrySession session;
    std::string error;
    if (!session.Open(std::make_unique<FaultyStore>(std::make_unique<MemoryStore>(contents), &plan),
                      "store", &error)) {
      run.commit_error = error;
      *operations = plan.operations;
      return run;
    }
    run.opened = true;
    HKEY key = nullptr;
    const LONG created = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\A\\B", 0, nullptr, 0,
                                         KEY_ALL_ACCESS, nullptr, &key, nullptr);
    const LONG results[] = {
        created,
        key ? SetDword(key, "Number", 7) : created,
        Touch(HKEY_CURRENT_USER, "Software\\C"),
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Old"),
        Touch(HKEY_CURRENT_USER, "Software\\D"),
    };
    if (key) RegCloseKey(key);
    for (const LONG result : results) {
      if (run.first_error == ERROR_SUCCESS) {
        run.first_error = result;
      } else if (result != run.first_error) {
        run.later_calls_agree = false;
      }
    }
    if (!session.Commit(&error)) run.commit_error = error;
  }
  *operations = plan.operations;
  return run;
}

// A store with HKEY_CURRENT_USER\Software\Old\Inner, for the run to delete.
std::shared_ptr<MemoryStoreContents> StoreWithOldKey() {
  const std::shared_ptr<MemoryStoreContents> contents = MemoryStore::Fresh();
  CRegistrySession session;
  std::string error;
  EXPECT_TRUE(session.Open(std::make_unique<MemoryStore>(contents), "store", &error));
  EXPECT_EQ(Touch(HKEY_CURRENT_USER, "Software\\Old\\Inner"), ERROR_SUCCESS);
  EXPECT_TRUE(session.Commit(&error)) << error;
  return contents;
}

TEST(FaultyStoreTest, TheFirstFailureSticksAndTheRunKeepsNothing) {
  const std::shared_ptr<MemoryStoreContents> contents = StoreWithOldKey();
  const std::string before = TreeOf(contents);

  int operations = 0;
  const FaultyRun clean = RunOnFaultyStore(StoreWithOldKey(), 0, StoreFailure::kIo, &operations);
  ASSERT_TRUE(clean.opened);
  ASSERT_EQ(clean.first_error, ERROR_SUCCESS);
  ASSERT_EQ(clean.commit_error, "");
  ASSERT_GT(operations, 10);

  const struct {
    StoreFailure kind;
    LONG error;
  } kinds[] = {
      {StoreFailure::kIo, ERROR_REGISTRY_IO_FAILED},
      {StoreFailure::kDiskFull, ERROR_DISK_FULL},
      {StoreFailure::kReadOnly, ERROR_ACCESS_DENIED},
      {StoreFailure::kDamaged, ERROR_REGISTRY_IO_FAILED},
      {StoreFailure::kBusy, ERROR_REGISTRY_IO_FAILED},
      {StoreFailure::kOutOfMemory, ERROR_REGISTRY_IO_FAILED},
  };
  for (int fail_at = 1; fail_at <= operations; ++fail_at) {
    for (const auto& kind : kinds) {
      int counted = 0;
      const FaultyRun run = RunOnFaultyStore(contents, fail_at, kind.kind, &counted);
      const std::string at = "failing at " + std::to_string(fail_at);
      // Failing at start-up fails the opening itself; later, every call
      // after it; at the commit, the commit alone.
      if (run.opened) {
        EXPECT_EQ(run.first_error, fail_at < operations ? kind.error : ERROR_SUCCESS) << at;
        EXPECT_TRUE(run.later_calls_agree) << at;
      }
      EXPECT_EQ(run.commit_error, "store: " + DescribeStoreFailure(kind.kind)) << at;
      EXPECT_EQ(TreeOf(contents), before) << at;
      if (::testing::Test::HasFailure()) return;
    }
  }
}

}  // namespace

}  // namespace dovetune
