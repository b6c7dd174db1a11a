#include "registry/stores/wine_prefix_store.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "base/file_bytes.h"
#include "base/file_path.h"
#include "base/pause_point.h"
#include "base/replace_file.h"
#include "base/utf.h"
#include "registry/stores/name_fold.h"

namespace dovetune {

namespace {

constexpr char kHeader[] = "WINE REGISTRY Version 2";
constexpr uint32_t kRegSz = 1, kRegExpandSz = 2, kRegMultiSz = 7;

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Opens |path| for reading as a regular file: never waits on a FIFO or a
// device, since the kind is checked on the descriptor before any read.
int OpenRegularFile(const std::string& path, struct stat* info, std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    *error = path + ": cannot read the file (" + std::strerror(errno) + ")";
    return -1;
  }
  if (fstat(fd, info) != 0 || !S_ISREG(info->st_mode)) {
    *error = path + ": not a regular file (a FIFO, device or socket), so not a registry file";
    close(fd);
    return -1;
  }
  return fd;
}

std::string TooLarge(const std::string& path) {
  return path + ": larger than " + std::to_string(WinePrefixStore::kMaxFileBytes >> 20) +
         " MB, more than a registry file dovetune reads";
}

// The fold of a name the tree holds as |name| (UTF-16) with its lower-case
// form |order|: for an ASCII name, that form itself, so as not to fold again.
std::string FoldOf(std::u16string_view name, std::u16string_view order,
                   const std::string& utf8_name) {
  for (char16_t unit : name) {
    if (unit >= 0x80) return LowerCaseFold(utf8_name);
  }
  return std::string(order.begin(), order.end());
}

bool IsText(uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

// String data crosses between the registry's UTF-8 and Wine's UTF-16LE; data
// of another length than whole units stays as it is, both ways.
std::string DataFromWine(uint32_t type, const std::string& data) {
  if (!IsText(type) || data.size() % 2 != 0) return data;
  return Utf16ToUtf8Lossless(Utf16LeToUnits(data));
}

std::string DataForWine(uint32_t type, const std::string& data) {
  if (!IsText(type)) return data;
  return Utf16UnitsToLe(Utf8ToUtf16Lossless(data));
}

// SIGINT and SIGTERM (`wineserver -k` sends the former) wait while the file
// is replaced, and take effect once the lock is let go: the file is then the
// old one or the new one, with no temporary file left beside it.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&held, signal);
    sigprocmask(SIG_BLOCK, &held, &previous_);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

}  // namespace

WinePrefixStore::WinePrefixStore(const std::string& path, bool no_server_seen)
    : no_server_seen_(no_server_seen) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const bool folder = IsFolder(trimmed);
  prefix_ = folder ? trimmed : FolderOf(trimmed);
  file_path_ = folder ? trimmed + "/user.reg" : trimmed;
}

bool WinePrefixStore::IsWinePrefix(const std::string& path) {
  if (IsFolder(path)) return access((path + "/user.reg").c_str(), F_OK) == 0;
  struct stat info;
  std::string error;
  const int fd = OpenRegularFile(path, &info, &error);
  if (fd < 0) return false;
  char start[sizeof(kHeader)] = {};
  const ssize_t size = read(fd, start, sizeof(kHeader) - 1);
  close(fd);
  return size == static_cast<ssize_t>(sizeof(kHeader) - 1) && std::strcmp(start, kHeader) == 0;
}

const char WinePrefixStore::kNotAPrefixFile[] =
    "belongs to a Wine prefix but is not a registry file Wine has written; dovetune makes no "
    "store there (start any Wine program in the prefix once, for example 'wine cmd /c exit', "
    "and name the prefix folder)";

bool WinePrefixStore::BelongsToPrefix(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const std::string name = NameOf(trimmed);
  if (IsFolder(trimmed) && access((trimmed + "/system.reg").c_str(), F_OK) == 0) return true;
  return name == "user.reg" || name == "system.reg" || name == "userdef.reg" ||
         access((FolderOf(trimmed) + "/system.reg").c_str(), F_OK) == 0;
}

std::string WinePrefixStore::Fold(const std::string& name) const { return LowerCaseFold(name); }

bool WinePrefixStore::Fail(StoreFailure failure, const std::string& reason) {
  if (failure_ == StoreFailure::kNone) {
    failure_ = failure;
    failure_reason_ = reason;
  }
  return false;
}

bool WinePrefixStore::WaitForServers(int wait_ms) {
  const auto start = std::chrono::steady_clock::now();
  bool seen_none = no_server_seen_;
  no_server_seen_ = false;  // the look serves one Begin
  for (;; seen_none = false) {
    // A server whose lock lives where this process cannot see it. Our lock
    // does not keep such a server from starting, so looking for it before
    // taking the lock misses none that looking after would find, and keeps
    // the walk over every process out of the time the lock is held. One
    // that starts after the search is no different from one that starts
    // after the read: Commit looks again before it writes. A look done
    // just before the store was made serves as the first.
    pid_t holder = seen_none ? 0 : FindServerHoldingFolder(prefixes_);
    if (holder == 0) {
      std::string error;
      held_by_dovetune_ = false;
      const auto result = lock_.TryLock(prefixes_, &holder, &error, &held_by_dovetune_);
      if (result == WineserverLock::Result::kFailed) return Fail(StoreFailure::kIo, error);
      if (result == WineserverLock::Result::kLocked) return true;
    }
    // Another run of ours is waited for as long as the caller waits; a
    // server only while it may be shutting down.
    const int limit = held_by_dovetune_ ? wait_ms : std::min(wait_ms, kServerWaitMilliseconds);
    if (std::chrono::steady_clock::now() >= start + std::chrono::milliseconds(limit)) {
      running_server_ = holder > 0 ? holder : -1;
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::vector<std::string> WinePrefixStore::PrefixFolders() const {
  std::vector<std::string> folders = {prefix_};
  char resolved[PATH_MAX];
  if (realpath(file_path_.c_str(), resolved)) folders.push_back(FolderOf(resolved));
  return folders;
}

bool WinePrefixStore::ServerAppeared(bool look_elsewhere) {
  pid_t holder = 0;
  std::string error;
  const auto result = lock_.TryLock(prefixes_, &holder, &error);
  if (result == WineserverLock::Result::kFailed) return !Fail(StoreFailure::kIo, error);
  if (result == WineserverLock::Result::kLocked && look_elsewhere)
    holder = FindServerHoldingFolder(prefixes_, &lock_);
  if (holder == 0) return false;
  running_server_ = holder;
  return !Fail(StoreFailure::kBusy, RunningServer() +
                                        " since the run began, so dovetune wrote nothing; "
                                        "close its programs or wait with 'wineserver -w', then "
                                        "try again");
}

bool WinePrefixStore::Begin(int wait_ms) {
  begun_ = true;
  // The prefix whose server would save over the file: the folder named, and
  // the one the file lives in once its links are followed.
  prefixes_ = PrefixFolders();
  blind_ = !CanSeeOpenFiles();
  if (!WaitForServers(wait_ms)) return false;
  PausePoint("wine-locked");
  const bool opened = OpenFile();
  // The lock is held for opening the file alone. Wine saves user.reg by
  // renaming a new file over it, which leaves the one open here as it was;
  // one written over where it lies is seen by its identity
  // (UnchangedSinceIndexed). Wine may start while the run works, and Commit
  // takes the lock again.
  lock_.LetServersIn();
  PausePoint("wine-opened");
  return opened && IndexFile() && CheckBranch();
}

bool WinePrefixStore::OpenFile() {
  std::string error;
  struct stat info;
  file_ = WineRegFile();
  keys_.clear();
  ids_.clear();
  checked_ = false;
  readback_ = std::string();
  descriptor_.Reset(OpenRegularFile(file_path_, &info, &error));
  if (!descriptor_) return Fail(StoreFailure::kIo, error);
  if (static_cast<unsigned long long>(info.st_size) > kMaxFileBytes) {
    return Fail(StoreFailure::kIo, TooLarge(file_path_));
  }
  read_identity_ = IdentityOf(info);
  read_links_ = info.st_nlink;
  return true;
}

bool WinePrefixStore::IndexFile() {
  const int descriptor = descriptor_.get();
  const auto read = [this, descriptor](char* into, size_t size, size_t offset) -> long long {
    const ssize_t got = ReadAt(descriptor, into, size, offset);
    if (got < 0) {
      Fail(StoreFailure::kIo, file_path_ + ": cannot read the file (" + std::strerror(errno) + ")");
    } else if (offset + static_cast<size_t>(got) > kMaxFileBytes) {
      Fail(StoreFailure::kIo, TooLarge(file_path_));
      return -1;
    }
    return got;
  };
  std::string problem;
  if (IndexWineRegFrom(read, kReadPiece, &file_, &problem)) {
    file_size_ = file_.blocks.empty() ? file_.header_end : file_.blocks.back().end;
    return UnchangedSinceIndexed() || FailChanged();
  }
  if (failed()) return false;
  return Fail(StoreFailure::kDamaged,
              FileName() + ": " + problem +
                  "; Wine itself would ignore or lose this, so dovetune does not use the file");
}

bool WinePrefixStore::UnchangedSinceIndexed() const {
  struct stat info;
  if (fstat(descriptor_.get(), &info) != 0) return false;
  const Identity now = IdentityOf(info);
  // Replacing the file, as Wine saves it, stamps the one read as changed
  // (it loses its name) but leaves its bytes as they were.
  const bool relinked = info.st_nlink != read_links_;
  return now.size == read_identity_.size && now.modified_ns == read_identity_.modified_ns &&
         (relinked || now.changed_ns == read_identity_.changed_ns);
}

bool WinePrefixStore::FailChanged() {
  return Fail(StoreFailure::kBusy, FileName() +
                                       ": changed during the run (written over where it lies), "
                                       "so dovetune stopped before using it; try again");
}

bool WinePrefixStore::ReadChecked(size_t begin, size_t end, char* into) {
  if (!UnchangedSinceIndexed()) return FailChanged();
  if (!ReadAllAt(descriptor_.get(), into, end - begin, begin)) {
    if (!UnchangedSinceIndexed()) return FailChanged();
    return Fail(StoreFailure::kIo,
                file_path_ + ": cannot read the file (" + std::strerror(errno) + ")");
  }
  return UnchangedSinceIndexed() || FailChanged();
}

bool WinePrefixStore::ReadBlock(const WineRegBlock& block, std::string_view* bytes) {
  if (block.begin < readback_begin_ || block.end > readback_begin_ + readback_.size()) {
    // The bytes after the block too, which the next key's often are.
    const size_t end = std::min(file_size_, std::max(block.end, block.begin + kReadBackPiece));
    readback_.resize(end - block.begin);
    readback_begin_ = block.begin;
    if (!ReadChecked(block.begin, end, &readback_[0])) {
      readback_.clear();
      return false;
    }
  }
  *bytes =
      std::string_view(readback_).substr(block.begin - readback_begin_, block.end - block.begin);
  return true;
}

size_t WinePrefixStore::LineAt(size_t pos) {
  std::string piece;
  size_t line = 1;
  for (size_t at = 0; at < pos; at += piece.size()) {
    piece.resize(std::min(kReadBackPiece, pos - at));
    if (!ReadAllAt(descriptor_.get(), &piece[0], piece.size(), at)) break;
    line += static_cast<size_t>(std::count(piece.begin(), piece.end(), '\n'));
  }
  return line;
}

WinePrefixStore::Identity WinePrefixStore::IdentityOf(const struct stat& info) {
#ifdef __APPLE__
  const timespec& modified = info.st_mtimespec;
  const timespec& changed = info.st_ctimespec;
#else
  const timespec& modified = info.st_mtim;
  const timespec& changed = info.st_ctim;
#endif
  return {info.st_dev, info.st_ino, info.st_size, modified.tv_sec * 1000000000LL + modified.tv_nsec,
          changed.tv_sec * 1000000000LL + changed.tv_nsec};
}

bool WinePrefixStore::Identity::operator==(const Identity& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         modified_ns == other.modified_ns && changed_ns == other.changed_ns;
}

bool WinePrefixStore::SameFileAsRead() {
  struct stat info;
  if (stat(file_path_.c_str(), &info) != 0) return false;
  return IdentityOf(info) == read_identity_;
}

bool WinePrefixStore::CheckBranch() {
  // Wine names the branch a file holds on its second line; only a user's
  // branch is HKEY_CURRENT_USER (system.reg holds REGISTRY\\Machine,
  // userdef.reg REGISTRY\\User\\.Default).
  static const char kUserBranch[] = ";; All keys relative to REGISTRY\\\\User\\\\S-";
  if (file_.relative_to.compare(0, sizeof(kUserBranch) - 1, kUserBranch) != 0) {
    const std::string named = file_.relative_to.empty() ? "no branch" : file_.relative_to;
    return Fail(StoreFailure::kDamaged,
                FileName() + ": not a user's registry (" + named +
                    "), so it does not hold HKEY_CURRENT_USER; name the prefix folder or its "
                    "user.reg");
  }
  return true;
}

bool WinePrefixStore::Load(WineRegKey* key) {
  if (failed()) return false;
  std::string problem;
  const WineRegBlocks blocks = {[this](const WineRegBlock& block, std::string_view* bytes) {
                                  return ReadBlock(block, bytes);
                                },
                                [this](size_t pos) { return LineAt(pos); }};
  if (LoadWineRegKey(blocks, file_, key, &problem)) return true;
  if (failed()) return false;
  return Fail(StoreFailure::kDamaged,
              FileName() + ": " + problem +
                  "; Wine itself would ignore or lose this, so dovetune does not use the file");
}

void WinePrefixStore::CheckWritable() {
  if (checked_) return;
  checked_ = true;
  struct stat info;
  if (!file_.in_order) {
    read_only_reason_ = FileName() +
                        ": the keys are not in the order Wine writes them, or a key is written "
                        "twice (edited by hand or by another program), so dovetune will not "
                        "change it; start any Wine program in the prefix once (for example 'wine "
                        "cmd /c exit') and Wine rewrites it in its own form";
  } else if (stat(file_path_.c_str(), &info) == 0 && info.st_nlink > 1) {
    read_only_reason_ = FileName() +
                        ": the file has other hard links, which replacing it would split off; "
                        "make it a file of its own (or a symlink) first";
  }
}

std::string WinePrefixStore::RunningServer() const {
  if (held_by_dovetune_) {
    return "another dovetune run (pid " + std::to_string(running_server_) +
           ") is using this prefix";
  }
  return "Wine is running in this prefix (wineserver" +
         (running_server_ > 0 ? ", pid " + std::to_string(running_server_) : std::string()) + ")";
}

std::string WinePrefixStore::notice() const {
  if (running_server_ == 0) return std::string();
  if (held_by_dovetune_) return RunningServer() + ": what is shown may not include its changes";
  return RunningServer() +
         ", which saves its registry every 30 s: what is shown may be up to 30 s old";
}

std::string WinePrefixStore::FileName() const { return NameOf(file_path_); }

bool WinePrefixStore::MayChange() {
  if (failed()) return false;
  if (!begun_) return Fail(StoreFailure::kIo, "the store was changed before the run began");
  if (read_only_run_) return true;  // held in memory only
  if (blind_) {
    return Fail(StoreFailure::kBusy,
                "dovetune cannot tell whether Wine runs in this prefix with its lock elsewhere "
                "(it cannot see other programs' open files: no /proc), so it does not change it");
  }
  if (running_server_ != 0 && held_by_dovetune_) {
    return Fail(StoreFailure::kBusy, RunningServer() + "; try again once it has finished");
  }
  if (running_server_ != 0) {
    return Fail(StoreFailure::kBusy, RunningServer() +
                                         "; close its programs or wait with 'wineserver -w', "
                                         "then try again");
  }
  CheckWritable();
  return read_only_reason_.empty() || Fail(StoreFailure::kReadOnly, read_only_reason_);
}

bool WinePrefixStore::Commit() {
  if (failed()) return false;
  const bool kept = !changed_ || read_only_run_ || Replace();
  lock_.Unlock();
  return kept;
}

bool WinePrefixStore::Replace() {
  SignalsHeld signals_held;
  // The lock is let go once a new file left out of place is removed, and
  // before the signals held take effect.
  struct LetGo {
    WineserverLock* lock;
    ~LetGo() { lock->Unlock(); }
  } let_go{&lock_};
  // The new file is written and synced beside user.reg first. The lock is
  // taken again only to put it in place: then, a server whose lock is where
  // this process did not look when the run began (its "wineserver" file
  // written meanwhile), or elsewhere, stops the run. The walk over every
  // process is done once, last: it finds any server that one done earlier
  // would find, since a server that has gone by then saved the file, which
  // the comparison below sees, or left it as it was.
  FileReplacement replacement;
  if (!WriteReplacement(&replacement)) return false;
  for (const bool last : {false, true}) {
    if (ServerAppeared(last)) return false;
    if (!last) PausePoint("wine-before-write");
  }
  // A server that ran and saved between the read and now.
  if (!SameFileAsRead()) {
    return Fail(StoreFailure::kBusy, FileName() +
                                         ": changed during the run (Wine saved it), so "
                                         "dovetune wrote nothing; try again");
  }
  std::string error;
  errno = 0;
  if (!replacement.Commit(&error)) {
    return Fail(errno == ENOSPC ? StoreFailure::kDiskFull : StoreFailure::kIo, error);
  }
  PausePoint("wine-written");
  changed_ = false;
  return true;
}

bool WinePrefixStore::WriteReplacement(FileReplacement* replacement) {
  // A block put at the end follows a last line without its LF on a line
  // of its own.
  char last = '\n';
  if (file_size_ > 0 && !ReadChecked(file_size_ - 1, file_size_, &last)) return false;
  std::string error;
  errno = 0;
  const auto write = [this, last](int descriptor) { return WriteFile(descriptor, last != '\n'); };
  const bool written = replacement->Write(file_path_, write, &error);
  const int written_errno = errno;
  // What was copied is what was indexed only if the file held open kept
  // its bytes meanwhile.
  if (!UnchangedSinceIndexed()) return FailChanged();
  if (written) return true;
  return Fail(written_errno == ENOSPC ? StoreFailure::kDiskFull : StoreFailure::kIo, error);
}

bool WinePrefixStore::WriteFile(int descriptor, bool unended) const {
  // The untouched stretches are copied from the file held open; the new
  // blocks between them are gathered first.
  constexpr size_t kGathered = 64 * 1024;
  std::string gathered;
  const auto flush = [&] {
    const bool written = WriteAll(descriptor, gathered.data(), gathered.size());
    gathered.clear();
    return written;
  };
  const auto copy = [&](size_t begin, size_t end) {
    return flush() && CopyBytes(descriptor_.get(), begin, end - begin, descriptor);
  };
  const auto write = [&](const char* data, size_t size) {
    gathered.append(data, size);
    return gathered.size() < kGathered || flush();
  };
  return WriteWineRegChanges(file_size_, unended, file_, copy, write) && flush();
}

WineRegKey* WinePrefixStore::KeyOf(KeyId id) {
  const auto found = keys_.find(id);
  return found == keys_.end() ? nullptr : found->second;
}

KeyId WinePrefixStore::IdOf(WineRegKey* key) {
  if (!key) return 0;
  const auto found = ids_.find(key);
  if (found != ids_.end()) return found->second;
  const KeyId id = next_id_++;
  ids_[key] = id;
  keys_[id] = key;
  return id;
}

void WinePrefixStore::Touch(WineRegKey* key) {
  key->time = WineTimeNow();
  key->rewrite = true;
  key->MarkChanged();
  changed_ = true;
}

KeyId WinePrefixStore::FindRoot(const std::string& folded_name) {
  if (failed() || LowerCaseFold(folded_name) != "hkey_current_user") return 0;
  return IdOf(&file_.root);
}

KeyId WinePrefixStore::FindChild(KeyId parent, const std::string& folded_name) {
  WineRegKey* key = failed() ? nullptr : KeyOf(parent);
  return key ? IdOf(key->FindSubkey(WineOrder(Utf8ToUtf16Lossless(folded_name)))) : 0;
}

KeyId WinePrefixStore::AddChild(KeyId parent, const std::string& name, const std::string&) {
  WineRegKey* key = KeyOf(parent);
  if (!MayChange() || !key || !Load(key)) return 0;
  Touch(key);
  WineRegKey* child = key->AddSubkey(Utf8ToUtf16Lossless(name), key->time);
  child->rewrite = true;
  return IdOf(child);
}

bool WinePrefixStore::HasChildren(KeyId key) {
  const WineRegKey* found = failed() ? nullptr : KeyOf(key);
  return found && !found->subkeys.empty();
}

bool WinePrefixStore::DeleteKey(KeyId id) {
  WineRegKey* key = KeyOf(id);
  if (!MayChange() || !key || !key->parent || !Load(key->parent)) return false;
  WineRegKey* parent = key->parent;
  for (size_t block = key->block; block != WineRegKey::kNoBlock;
       block = file_.blocks[block].next_of_key) {
    file_.blocks[block].removed = true;
  }
  keys_.erase(id);
  ids_.erase(key);
  parent->DeleteSubkey(key);
  Touch(parent);
  return true;
}

std::vector<StoredKey> WinePrefixStore::Children(KeyId parent) {
  std::vector<StoredKey> children;
  WineRegKey* key = failed() ? nullptr : KeyOf(parent);
  if (!key) return children;
  children.reserve(key->subkeys.size());
  for (const auto& subkey : key->subkeys) {
    std::string name = Utf16ToUtf8Lossless(subkey->name);
    std::string folded = FoldOf(subkey->name, subkey->order, name);
    children.push_back({IdOf(subkey), std::move(name), std::move(folded)});
  }
  return children;
}

bool WinePrefixStore::Values(KeyId id, std::vector<StoredValue>* values) {
  values->clear();
  WineRegKey* key = failed() ? nullptr : KeyOf(id);
  if (!key || !Load(key)) return !failed();
  values->reserve(key->values.size());
  for (const WineRegValue& value : key->values) {
    StoredValue stored;
    stored.value.name = Utf16ToUtf8Lossless(value.name);
    stored.value.type = value.type;
    stored.value.data = DataFromWine(value.type, value.data);
    stored.folded_name = FoldOf(value.name, value.order, stored.value.name);
    stored.place = static_cast<int64_t>(values->size());
    values->push_back(std::move(stored));
  }
  return !failed();
}

bool WinePrefixStore::ReadData(KeyId id, const std::string& folded_name, std::string* data) {
  WineRegKey* key = failed() ? nullptr : KeyOf(id);
  const WineRegValue* value =
      key && Load(key) ? key->FindValue(WineOrder(Utf8ToUtf16Lossless(folded_name))) : nullptr;
  if (!value) return false;
  *data = DataFromWine(value->type, value->data);
  return true;
}

bool WinePrefixStore::SetValue(KeyId id, const StoreValue& value, const std::string&) {
  WineRegKey* key = KeyOf(id);
  if (!MayChange() || !key || !Load(key)) return false;
  if (key->SetValue(Utf8ToUtf16Lossless(value.name), value.type,
                    DataForWine(value.type, value.data))) {
    Touch(key);
  }
  return true;
}

bool WinePrefixStore::DeleteValue(KeyId id, const std::string& folded_name) {
  WineRegKey* key = KeyOf(id);
  if (!MayChange() || !key || !Load(key)) return false;
  if (!key->DeleteValue(WineOrder(Utf8ToUtf16Lossless(folded_name)))) return false;
  Touch(key);
  return true;
}

}  // namespace dovetune
