#include "app/program.h"

#include <cstdio>
#include <memory>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <vector>

#include "app/commands.h"
#include "presets/preset_store.h"
#include "registry/registry_session.h"

namespace dovetune {

namespace {

// The run's output, held until its changes are kept, in blocks of a fixed
// size, then written from where it lies: a long listing then takes little
// more memory than its text, where one growing buffer would hold it twice
// while it grows, and a copy would double it again. It is written with the C
// library rather than std::cout, whose set-up of the standard streams cost
// every run more than a whole "view" of a fresh store does.
class HeldOutput : public std::streambuf {
 public:
  // Writes every block in turn; false when a write fails.
  bool WriteTo(std::FILE* file) const {
    for (size_t i = 0; i < blocks_.size(); ++i) {
      const size_t size =
          i + 1 < blocks_.size() ? kBlockBytes : static_cast<size_t>(pptr() - pbase());
      if (size != 0 && std::fwrite(blocks_[i].get(), 1, size, file) != size) return false;
    }
    return true;
  }
  bool empty() const { return blocks_.empty() || (blocks_.size() == 1 && pptr() == pbase()); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    blocks_.emplace_back(new char[kBlockBytes]);  // left unfilled: it is written over
    char* block = blocks_.back().get();
    setp(block, block + kBlockBytes);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
  }

 private:
  static constexpr size_t kBlockBytes = 64 * 1024;
  std::vector<std::unique_ptr<char[]>> blocks_;
};

}  // namespace

int FatalError(const std::string& reason) {
  std::fprintf(stderr, "Fatal Error: %s\n", reason.c_str());
  return 1;
}

int PrintOutput(const char* data, size_t size, int status) {
  // A run that printed nothing has no text at all, not even an empty one.
  const bool written = size == 0 || std::fwrite(data, 1, size, stdout) == size;
  if (!written || std::fflush(stdout) != 0) return FatalError("cannot write to standard output");
  return status;
}

int RunProgram(CRegistrySession& session, int argc, char** argv) {
  CPresetStore store;
  HeldOutput held;
  std::ostream out(&held);
  std::ostringstream err;
  const int status = RunCommandLine(store, argc, argv, out, err);
  // The stream swallows a failed allocation, and its output would be cut
  // short: the run's changes are not kept.
  if (!out || !err) return FatalError("out of memory");

  std::string error;
  if (!session.Commit(&error)) return FatalError(error);
  const std::string notice = session.Notice();
  if (!notice.empty()) std::fprintf(stderr, "Note: %s\n", notice.c_str());
  // Warnings only of a run whose changes were kept, before its output.
  std::fputs(err.str().c_str(), stderr);
  if (!held.empty() && !held.WriteTo(stdout)) return FatalError("cannot write to standard output");
  return PrintOutput(nullptr, 0, status);
}

}  // namespace dovetune
