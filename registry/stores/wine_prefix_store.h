// A Wine prefix's HKEY_CURRENT_USER as a store: the prefix's user.reg, read
// whole at the start of the run and, when the run changed something, written
// whole at its end, in wineserver's own form (wine_reg_format.h).
//
// wineserver reads user.reg when it starts and overwrites it while it runs,
// so the file is only ever changed while this process holds wineserver's own
// lock (wineserver_lock.h), from reading the file to replacing it: a server
// cannot start meanwhile (a `wine` started then waits for it), and none runs.
// When one does, the run may still read the file (which may then be up to
// 30 s behind the server), and its first change fails with kBusy.
//
// Never makes the file worse: a file that wineserver would refuse, or that
// holds a line it would drop or empty, is not read at all (kDamaged); one
// that does not come out byte for byte the same when written back unchanged
// (edited by hand or another tool) is read but never written (kReadOnly). A
// run that changes nothing does not write.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "registry/stores/key_store.h"
#include "registry/stores/wine_reg_format.h"
#include "registry/stores/wineserver_lock.h"

namespace dovetune {

class WinePrefixStore : public KeyStore {
 public:
  // |path| names the prefix folder or its user.reg (see IsWinePrefix).
  explicit WinePrefixStore(const std::string& path);
  ~WinePrefixStore() override = default;

  // True iff |path| is a folder holding a user.reg, or a file whose first
  // line is Wine's registry header.
  static bool IsWinePrefix(const std::string& path);
  // True iff |path| is not a Wine prefix (see IsWinePrefix) but belongs to
  // one: a file named user.reg, system.reg or userdef.reg, or any path in a
  // folder holding system.reg. Such a path is never made another kind of
  // store, which Wine would then take for its own broken file.
  static bool BelongsToPrefix(const std::string& path);
  // Why such a path is refused.
  static const char kNotAPrefixFile[];

  // How long a run waits for a wineserver to let go of the prefix: a server
  // lingers a moment after its last program.
  static constexpr int kServerWaitMilliseconds = 3000;
  // The largest user.reg read: far beyond any real prefix's, and a bound on
  // what a file that never ends (a link to a device) could take.
  static constexpr size_t kMaxFileBytes = size_t{256} << 20;

  std::string Fold(const std::string& name) const override;
  // Waits up to kServerWaitMilliseconds (|wait_ms| when shorter) for any
  // wineserver of the prefix, and up to |wait_ms| for another dovetune run,
  // then reads user.reg.
  bool Begin(int wait_ms) override;
  bool Commit() override;
  StoreFailure failure() const override { return failure_; }
  const std::string& failure_reason() const override { return failure_reason_; }
  // While a wineserver runs: that what the run read may be up to 30 s old.
  std::string notice() const override;
  // The run's changes are held in memory and never written.
  void SetReadOnlyRun() override { read_only_run_ = true; }

  // The pid of the wineserver that Begin found running, else 0.
  pid_t running_server() const { return running_server_; }
  // The prefix folder, as the messages name it.
  const std::string& prefix() const { return prefix_; }

  KeyId FindRoot(const std::string& folded_name) override;
  KeyId FindChild(KeyId parent, const std::string& folded_name) override;
  KeyId AddChild(KeyId parent, const std::string& name, const std::string& folded_name) override;
  bool HasChildren(KeyId key) override;
  bool DeleteKey(KeyId key) override;
  std::vector<StoredKey> Children(KeyId parent) override;
  bool Values(KeyId key, std::vector<StoredValue>* values) override;  // every value's data held
  bool ReadData(KeyId key, const std::string& folded_name, std::string* data) override;
  bool SetValue(KeyId key, const StoreValue& value, const std::string& folded_name) override;
  bool DeleteValue(KeyId key, const std::string& folded_name) override;

 private:
  bool Fail(StoreFailure failure, const std::string& reason);
  bool WaitForServers(int wait_ms);
  // The folders whose wineserver would save over the file.
  std::vector<std::string> PrefixFolders() const;
  // Whether a server of the prefix runs now, checked while the lock is
  // held (taking it again where it has come to apply), and with
  // |look_elsewhere| among every process for one whose lock this process
  // cannot see; records the failure.
  bool ServerAppeared(bool look_elsewhere);
  // Reads the file into the tree, unless it is |parsed|, which the tree
  // already holds.
  bool ReadFile(const std::string* parsed);
  // Whether the file read may be written back, checked when the run first
  // changes something; sets read_only_reason_ when not.
  void CheckWritable();
  // Whether this run may change the file; records why not as the failure.
  bool MayChange();
  // "Wine is running in this prefix (wineserver, pid N)"
  std::string RunningServer() const;
  // The file's own name, as the messages name it after the prefix.
  std::string FileName() const;
  WineRegKey* KeyOf(KeyId id);
  KeyId IdOf(WineRegKey* key);
  // The key was changed now, as wineserver stamps it.
  void Touch(WineRegKey* key);

  std::string prefix_;
  std::string file_path_;
  std::vector<std::string> prefixes_;
  WineserverLock lock_;
  pid_t running_server_ = 0;
  bool held_by_dovetune_ = false;
  bool blind_ = false;
  bool read_only_run_ = false;    // whether a server could run unseen (no /proc)  // whether
                                  // running_server_ is a dovetune run
  std::string read_only_reason_;  // why this file may be read but not written
  bool checked_ = false;          // whether CheckWritable has run
  // Whether the file read is byte for byte as Wine would write the tree,
  // once known (MatchWineRegText).
  std::optional<bool> in_wine_form_;
  std::string text_;  // the file as read, which unchanged keys are copied from
  WineRegFile file_;
  bool begun_ = false;
  bool changed_ = false;
  StoreFailure failure_ = StoreFailure::kNone;
  std::string failure_reason_;
  std::unordered_map<KeyId, WineRegKey*> keys_;
  std::unordered_map<const WineRegKey*, KeyId> ids_;
  KeyId next_id_ = 1;
};

}  // namespace dovetune
