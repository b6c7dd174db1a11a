// What one large value costs the runs that pass it: two stores alike but for
// a 20 MB REG_BINARY value in the current settings key, and on each the time
// of 1,000 pairs of setting and deleting a small value in that key (one run)
// and of a whole run of "dovetune use fast": medians of 21 rounds, the stores
// taking turns so that a machine growing busier slows both alike.
//
//   dovetune_big_value_bench DOVETUNE_BINARY FOLDER

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/store_filler.h"
#include "presets/preset_schema.h"
#include "registry/registry_session.h"
#include "registry/win32_api.h"

using namespace dovetune;  // NOLINT(google-build-using-namespace)

namespace {

constexpr size_t kBigValueBytes = 20 * 1024 * 1024;
constexpr int kPairs = 1000;
constexpr int kRounds = 21;

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

// Runs |work| on the current settings key inside one committed run.
template <typename Work>
bool OnCurrentSettings(const std::string& store_path, Work work) {
  CRegistrySession session;
  std::string error;
  HKEY key = nullptr;
  bool done = session.Open(store_path, &error) &&
              RegOpenKeyExA(HKEY_CURRENT_USER, schema::kCurrentSettingsKeyPath, 0, 0xF003F, &key) ==
                  ERROR_SUCCESS &&
              work(key);
  if (key) RegCloseKey(key);
  done = done && session.Commit(&error);
  if (!done) std::fprintf(stderr, "%s: %s\n", store_path.c_str(), error.c_str());
  return done;
}

bool MakeStore(const std::string& path, bool big_value) {
  unlink(path.c_str());
  {
    CRegistrySession session;
    std::string error;
    if (!session.Open(path, &error)) return false;
    CPresetStore store;
    FillStore(store, 2);
    if (!session.Commit(&error)) return false;
  }
  if (!big_value) return true;
  const std::vector<BYTE> data(kBigValueBytes, 0x5a);
  return OnCurrentSettings(path, [&](HKEY key) {
    return RegSetValueExA(key, "Pictures", 0, REG_BINARY, data.data(),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  });
}

double TimeSetDeletePairs(const std::string& path) {
  const auto start = Clock::now();
  const bool done = OnCurrentSettings(path, [](HKEY key) {
    const DWORD number = 7;
    for (int pair = 0; pair < kPairs; ++pair) {
      if (RegSetValueExA(key, "Note", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                         sizeof number) != ERROR_SUCCESS ||
          RegDeleteValueA(key, "Note") != ERROR_SUCCESS) {
        return false;
      }
    }
    return true;
  });
  return done ? MillisecondsSince(start) : -1;
}

double TimeUseRun(const std::string& program, const std::string& path) {
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    setenv("DOVETUNE_REGISTRY", path.c_str(), 1);
    if (!freopen("/dev/null", "w", stdout)) _exit(127);
    execl(program.c_str(), program.c_str(), "use", "fast", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  const double elapsed = MillisecondsSince(start);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? elapsed : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DOVETUNE_BINARY FOLDER\n", argv[0]);
    return 2;
  }
  const std::string program = argv[1];
  const std::string stores[2] = {std::string(argv[2]) + "/plain.db",
                                 std::string(argv[2]) + "/big-value.db"};
  for (int i = 0; i < 2; ++i) {
    if (!MakeStore(stores[i], i == 1)) {
      std::fprintf(stderr, "cannot make %s\n", stores[i].c_str());
      return 1;
    }
  }
  std::vector<double> pairs[2];
  std::vector<double> uses[2];
  for (int round = 0; round < kRounds; ++round) {
    for (int i = 0; i < 2; ++i) {
      pairs[i].push_back(TimeSetDeletePairs(stores[i]));
      uses[i].push_back(TimeUseRun(program, stores[i]));
      if (pairs[i].back() < 0 || uses[i].back() < 0) {
        std::fprintf(stderr, "a run on %s failed\n", stores[i].c_str());
        return 1;
      }
    }
  }
  std::printf("%-34s %12s %12s %8s\n", "median, ms", "no big value", "20 MB value", "ratio");
  const double pair_times[2] = {Median(pairs[0]), Median(pairs[1])};
  const double use_times[2] = {Median(uses[0]), Median(uses[1])};
  std::printf("%-34s %12.2f %12.2f %8.2f\n", "1,000 set/delete pairs, one run", pair_times[0],
              pair_times[1], pair_times[1] / pair_times[0]);
  std::printf("%-34s %12.2f %12.2f %8.2f\n", "dovetune use fast, whole run", use_times[0],
              use_times[1], use_times[1] / use_times[0]);
  return 0;
}
