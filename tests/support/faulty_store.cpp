#include "tests/support/faulty_store.h"

namespace dovetune {

namespace {

struct FailureName {
  StoreFailure kind;
  const char* name;
  const char* words;
};

const FailureName kFailureNames[] = {
    {StoreFailure::kIo, "io", "disk I/O error (injected)"},
    {StoreFailure::kDiskFull, "full", "the disk is full (injected)"},
    {StoreFailure::kReadOnly, "read-only", "the registry store cannot be written (injected)"},
    {StoreFailure::kDamaged, "damaged", "the registry store is damaged (injected)"},
    {StoreFailure::kBusy, "busy", "the registry store is in use by another run (injected)"},
    {StoreFailure::kOutOfMemory, "memory", "out of memory (injected)"},
};

}  // namespace

std::string DescribeStoreFailure(StoreFailure kind) {
  for (const FailureName& entry : kFailureNames) {
    if (entry.kind == kind) return entry.words;
  }
  return "no failure";
}

bool ParseStoreFailure(const std::string& text, StoreFailure* kind) {
  for (const FailureName& entry : kFailureNames) {
    if (text == entry.name) {
      *kind = entry.kind;
      return true;
    }
  }
  return false;
}

FaultyStore::FaultyStore(std::unique_ptr<KeyStore> store, FaultPlan* plan)
    : store_(std::move(store)), plan_(*plan) {}

bool FaultyStore::Pass() {
  ++plan_.operations;
  if (injected_ || store_->failed()) return !injected_;
  if (plan_.fail_at == 0 || plan_.operations < plan_.fail_at) return true;
  injected_ = true;
  reason_ = DescribeStoreFailure(plan_.kind);
  return false;
}

StoreFailure FaultyStore::failure() const { return injected_ ? plan_.kind : store_->failure(); }

const std::string& FaultyStore::failure_reason() const {
  return injected_ ? reason_ : store_->failure_reason();
}

bool FaultyStore::Begin(int wait_ms) { return Pass() && store_->Begin(wait_ms); }

bool FaultyStore::Commit() { return Pass() && store_->Commit(); }

KeyId FaultyStore::FindRoot(const std::string& folded_name) {
  return Pass() ? store_->FindRoot(folded_name) : 0;
}

KeyId FaultyStore::FindChild(KeyId parent, const std::string& folded_name) {
  return Pass() ? store_->FindChild(parent, folded_name) : 0;
}

KeyId FaultyStore::AddChild(KeyId parent, const std::string& name, const std::string& folded_name) {
  return Pass() ? store_->AddChild(parent, name, folded_name) : 0;
}

bool FaultyStore::HasChildren(KeyId key) { return Pass() && store_->HasChildren(key); }

bool FaultyStore::DeleteKey(KeyId key) { return Pass() && store_->DeleteKey(key); }

std::vector<StoredKey> FaultyStore::Children(KeyId parent) {
  return Pass() ? store_->Children(parent) : std::vector<StoredKey>();
}

bool FaultyStore::Values(KeyId key, std::vector<StoredValue>* values) {
  values->clear();
  return Pass() && store_->Values(key, values);
}

bool FaultyStore::ReadData(KeyId key, const std::string& folded_name, std::string* data) {
  return Pass() && store_->ReadData(key, folded_name, data);
}

bool FaultyStore::SetValue(KeyId key, const StoreValue& value, const std::string& folded_name) {
  return Pass() && store_->SetValue(key, value, folded_name);
}

bool FaultyStore::DeleteValue(KeyId key, const std::string& folded_name) {
  return Pass() && store_->DeleteValue(key, folded_name);
}

}  // namespace dovetune
