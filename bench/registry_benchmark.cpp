// The registry layer's calls on the embedded store, one at a time: opening a
// run, opening the presets key, reading and writing settings, and
// enumerating presets and values, on stores of a few and of many presets.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "bench/store_filler.h"
#include "presets/preset_schema.h"
#include "registry/registry.h"
#include "registry/registry_session.h"

namespace dovetune {

namespace {

// Stores of a few and of many presets in a temporary folder, made on first
// use and removed at exit.
class Stores {
 public:
  ~Stores() {
    for (const std::string& path : paths_) unlink(path.c_str());
    if (!folder_.empty()) rmdir(folder_.c_str());
  }

  // The path of a store of |count| presets; empty when it cannot be made.
  const std::string& Of(long count) {
    std::string& path = paths_[count > 2 ? 1 : 0];
    if (!path.empty() || !MakeFolder()) return path;
    path = folder_ + "/store-" + std::to_string(count) + ".db";
    CRegistrySession session;
    CPresetStore store;
    std::string error;
    if (session.Open(path, &error)) FillStore(store, count);
    if (!session.Commit(&error)) unlink(path.c_str()), path.clear();
    return path;
  }

 private:
  bool MakeFolder() {
    if (!folder_.empty()) return true;
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/dovetune-bench-XXXXXX";
    if (mkdtemp(pattern.data())) folder_ = pattern;
    return !folder_.empty();
  }

  std::string folder_;
  std::string paths_[2];
};

Stores g_stores;

const std::string& StoreOf(long count) { return g_stores.Of(count); }

// A run on the store of |state.range(0)| presets, open for the whole benchmark.
class Run {
 public:
  explicit Run(benchmark::State& state) {
    std::string error;
    const std::string& path = StoreOf(state.range(0));
    if (path.empty() || !session_.Open(path, &error)) state.SkipWithError("no store");
  }

 private:
  CRegistrySession session_;
};

void OpenRun(benchmark::State& state) {
  const std::string& path = StoreOf(state.range(0));
  for (auto _ : state) {
    CRegistrySession session;
    std::string error;
    if (!session.Open(path, &error)) state.SkipWithError(error.c_str());
  }
}

void OpenPresetsKey(benchmark::State& state) {
  Run run(state);
  for (auto _ : state) {
    CRegistry presets(HKEY_CURRENT_USER, schema::kPresetsKeyPath);
    benchmark::DoNotOptimize(presets.IsOpen());
  }
}

void ReadTenSettings(benchmark::State& state) {
  Run run(state);
  CRegistry preset(HKEY_CURRENT_USER, schema::kPresetsKeyPath);
  preset.OpenKey("fast");
  for (auto _ : state) {
    DWORD value = 0;
    for (const schema::Setting& setting : schema::kFactorySettings) {
      benchmark::DoNotOptimize(preset.ReadDword(setting.name, value));
    }
  }
}

void WriteSetting(benchmark::State& state) {
  Run run(state);
  CRegistry preset(HKEY_CURRENT_USER, schema::kPresetsKeyPath);
  preset.OpenKey("fast");
  DWORD value = 0;
  for (auto _ : state) benchmark::DoNotOptimize(preset.WriteDword(schema::kBitRate, ++value));
}

void EnumeratePresets(benchmark::State& state) {
  Run run(state);
  for (auto _ : state) {
    CRegistry presets(HKEY_CURRENT_USER, schema::kPresetsKeyPath);
    std::string name;
    long count = 0;
    while (presets.EnumKey(name)) ++count;
    benchmark::DoNotOptimize(count);
  }
}

void EnumerateValues(benchmark::State& state) {
  Run run(state);
  for (auto _ : state) {
    CRegistry preset(HKEY_CURRENT_USER, schema::kPresetsKeyPath);
    preset.OpenKey("fast");
    std::string name;
    while (preset.EnumValue(name)) benchmark::DoNotOptimize(name);
  }
}

// What "view" asks of the store: every preset's summary.
void DescribeEveryPreset(benchmark::State& state) {
  Run run(state);
  CPresetStore store;
  for (auto _ : state) {
    std::vector<std::string> names;
    store.ListPresets(names);
    for (const std::string& name : names) benchmark::DoNotOptimize(store.DescribePreset(name));
  }
}

}  // namespace

BENCHMARK(OpenRun)->Arg(2)->Arg(10000);
BENCHMARK(OpenPresetsKey)->Arg(2)->Arg(10000);
BENCHMARK(ReadTenSettings)->Arg(2)->Arg(10000);
BENCHMARK(WriteSetting)->Arg(2)->Arg(10000);
BENCHMARK(EnumeratePresets)->Arg(2)->Arg(10000);
BENCHMARK(EnumerateValues)->Arg(2)->Arg(10000);
BENCHMARK(DescribeEveryPreset)->Arg(2)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace dovetune

BENCHMARK_MAIN();
