// Where the embedded registry keeps its keys and values: a tree of keys, each
// with named, typed values, read and changed inside the one transaction of a
// run. Stores know nothing of handles, paths or the registry's error codes;
// they only say how their names compare (Fold), in which order they list
// subkeys and values, and the first failure of the run.
//
// Implementations: the SQLite file, a Wine prefix's user.reg, a store in
// memory, and for tests a wrapper that injects failures
// (tests/support/faulty_store.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dovetune {

// A key of a store. 0 means no key: a missing one, or a failure.
using KeyId = int64_t;

// Why a store stopped working. The first failure of a run sticks: every later
// operation fails without touching the store, and nothing is committed.
enum class StoreFailure {
  kNone,
  kIo,        // reading or writing failed
  kDiskFull,  // no room left for the run's changes
  kReadOnly,  // the store can be read but not changed
  kDamaged,   // the stored data is not as this program writes it
  kBusy,      // another run or program held the store past the wait
  kOutOfMemory,
};

struct StoreValue {
  std::string name;
  uint32_t type = 0;
  std::string data;
};

struct StoredValue {
  StoreValue value;  // its data empty while the data is not held
  std::string folded_name;
  int64_t place = 0;  // a key's values enumerate in the order of their places
  // A store may leave large data unread until it is asked for (ReadData), so
  // that a run that never looks at a large value does not pay for reading it.
  bool data_held = true;
  uint32_t unheld_size = 0;  // the size of data that is not held

  size_t data_size() const { return data_held ? value.data.size() : unheld_size; }
};

struct StoredKey {
  KeyId id = 0;
  std::string name;  // in the letter case it was created with
  std::string folded_name;
};

class KeyStore {
 public:
  virtual ~KeyStore() = default;  // rolls back whatever was not committed

  // The form under which this store compares a key or value name: two names
  // denote the same key or value iff their folds are equal. Pure.
  virtual std::string Fold(const std::string& name) const = 0;

  // Begins the run's one transaction, waiting up to |wait_ms| for whoever
  // holds the store. A store that can only be read begins for reading; its
  // first change then fails with kReadOnly.
  virtual bool Begin(int wait_ms) = 0;
  // Keeps every change since Begin, durably. Fails, keeping nothing, after
  // any failure of the run.
  virtual bool Commit() = 0;
  // Writes out whatever changes the store holds back in memory, so that
  // Commit has only to make them durable; a failure becomes the run's. Commit
  // does this too: a caller need only call it to have the run's writes in
  // the file before committing.
  virtual bool Flush() { return !failed(); }

  // The run's first failure, and its reason in words (empty while none).
  virtual StoreFailure failure() const = 0;
  virtual const std::string& failure_reason() const = 0;
  bool failed() const { return failure() != StoreFailure::kNone; }

  // What the user should know about what this run read, as a sentence (for
  // example that it may be out of date); empty when there is nothing.
  virtual std::string notice() const { return std::string(); }
  // Says that the run only reads: what it changes on its way (the defaults a
  // start-up makes) need not be kept. A store that could not keep them (a
  // Wine prefix while Wine runs) then holds them in memory only; the others
  // keep them as usual.
  virtual void SetReadOnlyRun() {}

  // Keys. A root the store does not hold is 0 without a failure.
  virtual KeyId FindRoot(const std::string& folded_name) = 0;
  virtual KeyId FindChild(KeyId parent, const std::string& folded_name) = 0;
  // REQUIRES: no child of |parent| has |folded_name|.
  virtual KeyId AddChild(KeyId parent, const std::string& name, const std::string& folded_name) = 0;
  virtual bool HasChildren(KeyId key) = 0;
  // Deletes the key and its values. REQUIRES: the key has no children.
  virtual bool DeleteKey(KeyId key) = 0;
  // The subkeys, in the store's enumeration order (stable while the key is
  // unchanged).
  virtual std::vector<StoredKey> Children(KeyId parent) = 0;

  // Values: all of a key's values, in no particular order, in place of what
  // |values| held; a store may reuse the room of the strings it holds there,
  // as a listing reads the values of key after key. False on a failure.
  virtual bool Values(KeyId key, std::vector<StoredValue>* values) = 0;
  // The data of a value whose data Values did not hold. False when there is
  // no such value, or on a failure.
  virtual bool ReadData(KeyId key, const std::string& folded_name, std::string* data) = 0;
  // Creates the value after the key's others, or replaces the type and data
  // of the one with the same folded name, keeping its place and name.
  virtual bool SetValue(KeyId key, const StoreValue& value, const std::string& folded_name) = 0;
  // False when there was no such value.
  virtual bool DeleteValue(KeyId key, const std::string& folded_name) = 0;
};

}  // namespace dovetune
