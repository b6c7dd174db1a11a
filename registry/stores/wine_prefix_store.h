// A Wine prefix's HKEY_CURRENT_USER as a store: the prefix's user.reg,
// indexed by its key lines at the start of the run, read in pieces and held
// open; a key's values are parsed from its blocks, read back from the file,
// when the run first reads or changes them. The file is never held whole: a
// run that changes something replaces it at its end by a new file made of
// the untouched stretches, copied from the file held open, and the changed
// keys' blocks in wineserver's own form (wine_reg_format.h).
//
// What the run reads is the file as it was indexed: one that Wine has
// replaced meanwhile is still read as it was, from the file held open, and
// one written over where it lies fails the run (kBusy) before anything read
// from it is used or written.
//
// wineserver reads user.reg when it starts and, while it runs, saves it by
// renaming a new file over it. This process holds wineserver's own lock
// (wineserver_lock.h) while it opens the file, and again, once the new file
// is written and synced beside it, from checking that no server runs and
// that user.reg is still the file it opened to renaming the new file over
// it: a server cannot start then (a `wine` started meanwhile waits for it),
// and none runs. A new file that is not put in place is removed.
// When a server runs, the run may still read the file (which may then be up
// to 30 s behind the server), and its first change fails with kBusy.
//
// Never makes the file worse: a file whose header or key lines wineserver
// would refuse or read otherwise is not read at all (kDamaged), nor is a key
// whose block holds a line wineserver would drop or empty, once the run
// reads or changes that key; a file whose key blocks are not in wineserver's
// order, one block for each key, is read but never written (kReadOnly). A
// run that changes nothing does not write.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/file_descriptor.h"
#include "base/replace_file.h"
#include "registry/stores/key_store.h"
#include "registry/stores/wine_reg_format.h"
#include "registry/stores/wineserver_lock.h"

namespace dovetune {

class WinePrefixStore : public KeyStore {
 public:
  // |path| names the prefix folder or its user.reg (see IsWinePrefix).
  // |no_server_seen|: every process has just been looked at
  // (FindServerHoldingFolder), and none was a server of the prefix; Begin
  // then only takes the lock.
  explicit WinePrefixStore(const std::string& path, bool no_server_seen = false);
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
  // Opens the file and notes its identity.
  bool OpenFile();
  // Indexes the file opened, reading it in pieces.
  bool IndexFile();
  // Whether the file indexed holds a user's branch; records the failure.
  bool CheckBranch();
  // Whether the file held open has kept its size and times since it was
  // indexed (one that Wine replaced has).
  bool UnchangedSinceIndexed() const;
  bool FailChanged();
  // Reads the file's bytes from |begin| to |end| into |into|, checking
  // before and after that it is unchanged; records the failure.
  bool ReadChecked(size_t begin, size_t end, char* into);
  // The bytes of |block|, from the file held whole or read back.
  bool ReadBlock(const WineRegBlock& block, std::string_view* bytes);
  // The number of the line at |pos|.
  size_t LineAt(size_t pos);
  // Whether user.reg is still the very file that was read.
  bool SameFileAsRead();
  // Parses the key's values from its block, as first needed; records the
  // failure.
  bool Load(WineRegKey* key);
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
  // Replaces the file with one holding the run's changes; records the
  // failure.
  bool Replace();
  // Writes that file beside user.reg; records the failure.
  bool WriteReplacement(FileReplacement* replacement);
  // Writes the file with the run's changes (WriteWineRegChanges) to
  // |descriptor|; |unended| when the file's last line has no LF.
  bool WriteFile(int descriptor, bool unended) const;
  // The key was changed now, as wineserver stamps it; its block is written
  // anew.
  void Touch(WineRegKey* key);

  std::string prefix_;
  std::string file_path_;
  std::vector<std::string> prefixes_;
  WineserverLock lock_;
  pid_t running_server_ = 0;
  bool held_by_dovetune_ = false;  // whether running_server_ is a dovetune run
  bool blind_ = false;             // whether a server could run unseen (no /proc)
  bool no_server_seen_ = false;    // whether Begin's first look is done already
  bool read_only_run_ = false;     // whether the run's changes are held in memory only
  std::string read_only_reason_;   // why this file may be read but not written
  bool checked_ = false;           // whether CheckWritable has run
  // The pieces the file is indexed in, and read back in.
  static constexpr size_t kReadPiece = size_t{256} << 10;
  static constexpr size_t kReadBackPiece = size_t{64} << 10;
  FileDescriptor descriptor_;  // the file indexed, held open
  size_t file_size_ = 0;       // its size as indexed
  nlink_t read_links_ = 0;     // its links when indexed
  std::string readback_;       // bytes read back from it
  size_t readback_begin_ = 0;  // where they lie in it
  // The file read, as fstat described it: a save by Wine (a new file, or the
  // same one rewritten) changes one of these.
  struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modified_ns = 0;
    long long changed_ns = 0;
    bool operator==(const Identity& other) const;
  };
  // The file's identity as stat gives it.
  static Identity IdentityOf(const struct stat& info);
  Identity read_identity_;
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
