// Many runs of the program at once on one store, doing random commands on a
// few names, with a share of them killed at random moments. Afterwards the
// store must be whole: SQLite's own check passes, every preset holds all ten
// settings or does not exist, and each preset is in the state that the last
// run to change it left, as far as the order of the runs can be told from
// outside. No run may wait past the lock bound without saying so.
//
// The runs go in batches; between two batches, when no run is going, the
// store is checked and the state of each name compared with what the batch's
// runs printed. Size from the environment: DOVETUNE_STRESS_RUNS (default 300),
// DOVETUNE_STRESS_PARALLEL (default 8), DOVETUNE_STRESS_BATCH (default 100),
// DOVETUNE_STRESS_SEED (default: the clock). Prints its figures as its last
// line; exits 1 on any failure.

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "presets/preset_store.h"
#include "registry/registry_session.h"
#include "tests/stress/run_pool.h"
#include "tests/support/temp_store.h"

using namespace dovetune;  // NOLINT(google-build-using-namespace)

namespace {

// How long a run waits for the store before it gives up, and what a run may
// take beyond that.
constexpr double kLockWaitMs = 10000;
constexpr double kRunSlackMs = 5000;
constexpr double kKillShare = 0.25;

const char* const kNames[] = {"alpha", "beta", "gamma", "delta"};
const char* const kSettingNames[] = {
    "DefBitRate", "DefVbrMode",      "DefCodecQuality", "DefAacProfile",       "DefUsePNS",
    "DefDownmix", "DefMuxIntoVideo", "DefExportAAC",    "DefHintForStreaming", "DefOptimize"};
const char* const kFixedWords[] = {"-vbr_tape",          "-vbr_radio",       "-vbr_internet",
                                   "-vbr_streaming",     "-vbr_normal",      "-vbr_extreme",
                                   "-vbr_audiophile",    "-vbr_transcoding", "-codecquality_fast",
                                   "-codecquality_high", "-aacprofile_lc",   "-aacprofile_he",
                                   "-usepns_no",         "-usepns",          "-downmix_no",
                                   "-downmix",           "-muxintovideo_no", "-muxintovideo",
                                   "-exportaac_no",      "-exportaac",       "-hintforstreaming_no",
                                   "-hintforstreaming"};

long Setting(const char* name, long fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::strtol(value, nullptr, 10) : fallback;
}

class Failures {
 public:
  void Expect(bool ok, const std::string& what) {
    if (ok) return;
    if (count_ < 30) std::printf("FAILED: %s\n", what.c_str());
    ++count_;
  }
  int count() const { return count_; }

 private:
  int count_ = 0;
};

// Random command lines on a few names, with random parameters.
class CommandMaker {
 public:
  explicit CommandMaker(unsigned seed) : random_(seed) {}

  std::vector<std::string> Next() {
    static const char* const kWords[] = {
        "create", "create", "create_from_current", "edit", "edit", "use", "delete", "delete",
        "view",   "view"};
    const std::string word = Pick(kWords);
    if (word == "view" && Chance(0.5)) return {"view"};
    std::vector<std::string> line = {word, word == "edit" || word == "use" ? AnyName() : Name()};
    const int parameters = Number(0, 4);
    for (int i = 0; i < parameters; ++i) AddParameter(&line);
    return line;
  }

  bool Chance(double probability) {
    return std::uniform_real_distribution<double>(0, 1)(random_) < probability;
  }
  long Number(long low, long high) {
    return std::uniform_int_distribution<long>(low, high)(random_);
  }

 private:
  template <size_t N>
  const char* Pick(const char* const (&choices)[N]) {
    return choices[Number(0, N - 1)];
  }
  std::string Name() { return Pick(kNames); }
  // Also the two reserved names, now and then.
  std::string AnyName() {
    static const char* const kOthers[] = {"current", "default"};
    return Chance(0.15) ? Pick(kOthers) : Name();
  }
  void AddParameter(std::vector<std::string>* line) {
    switch (Number(0, 5)) {
      case 0:
        line->insert(line->end(), {"-cbr", std::to_string(Number(0, 500))});
        break;
      case 1:
        line->insert(line->end(), {"-optimize", std::to_string(Number(-3, 40))});
        break;
      case 2:
        line->insert(line->end(), {"-preset", AnyName()});
        break;
      default:
        line->push_back(Pick(kFixedWords));
    }
  }

  std::mt19937 random_;
};

// What a run did to the one settings set it may change, as told by its output.
struct Effect {
  enum Kind { kNone, kChanged, kDeleted, kUnknown } kind = kNone;
  std::string target;   // the preset, or "current"
  std::string summary;  // for kChanged: the summary it printed
};

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The summary in "NAME - SUMMARY\n" when |text| is exactly that.
bool SummaryLine(const std::string& text, const std::string& name, std::string* summary) {
  const std::string prefix = name + " - ";
  if (!StartsWith(text, prefix) || text.back() != '\n') return false;
  *summary = text.substr(prefix.size(), text.size() - prefix.size() - 1);
  return summary->find('\n') == std::string::npos;
}

// Standard error without the notice a run gives when it has waited a second
// for the store, which runs started together often do.
std::string WithoutWaitNotice(const std::string& err) {
  const std::string notice = "dovetune: waiting for another run to finish with the store \u2026\n";
  return StartsWith(err, notice) ? err.substr(notice.size()) : err;
}

bool IsLockTimeout(const RunRecord& record, const std::string& store_path) {
  return record.exit_status == 1 && record.out.empty() &&
         WithoutWaitNotice(record.err) ==
             "Fatal Error: " + store_path +
                 ": the registry store is in use by another run, and stayed so past "
                 "the wait\n";
}

// Reads the effect of one finished run from its output; false when the output
// is none of the forms its command prints.
bool ReadEffect(const std::vector<std::string>& line, const RunRecord& record, Effect* effect) {
  const std::string& word = line[0];
  const std::string& out = record.out;
  if (word == "view") return StartsWith(out, "current - ") || StartsWith(out, line[1] + " - ");
  const std::string& name = line[1];
  const std::string missing = "\n" + name + " doesn't exists\n";
  effect->target = word == "use" ? "current" : name;
  if (word == "create" || word == "create_from_current") {
    const std::string created = "preset " + name + " created\n";
    if (out == "preset " + name + " already exists\n") return true;
    effect->kind = Effect::kChanged;
    return StartsWith(out, created) &&
           SummaryLine(out.substr(created.size()), name, &effect->summary);
  }
  if (word == "edit") {
    if (out == missing + "\n") return true;
    effect->kind = Effect::kChanged;
    return SummaryLine(out, name, &effect->summary);
  }
  if (word == "use") {
    if (out == missing) return true;
    effect->kind = Effect::kChanged;
    return SummaryLine(out, "current", &effect->summary);
  }
  if (out == missing) return true;
  effect->kind = Effect::kDeleted;
  return out.empty();
}

// The exit status a finished run owes its output: 1 when it printed that it
// could not do what was asked (the preset exists already, or is missing).
int ExpectedStatus(const std::vector<std::string>& line, const std::string& out,
                   const Effect& effect) {
  if (line[0] == "view") {
    return line.size() > 1 && out == line[1] + " - preset doesn't exist\n" ? 1 : 0;
  }
  return effect.kind == Effect::kNone ? 1 : 0;
}

// The state of one settings set at a moment when no run is going.
struct State {
  bool exists = false;
  std::string summary;
  bool operator==(const State& other) const {
    return exists == other.exists && summary == other.summary;
  }
};
using States = std::map<std::string, State>;

std::string Describe(const State& state) {
  return state.exists ? "\"" + state.summary + "\"" : "missing";
}

struct Figures {
  int runs = 0;
  int killed = 0;
  int finished = 0;
  int gave_up = 0;
  int waited = 0;
  int checkpoints = 0;
  double longest_wait_ms = 0;
  double baseline_ms = 0;
};

// One batch of runs that all ended before the next batch began.
struct Batch {
  size_t first = 0;  // the number of the first run, for messages
  std::vector<PlannedRun> plan;
  std::vector<RunRecord> records;
  std::vector<Effect> effects;
};

class StressTest {
 public:
  StressTest() : store_path_(folder_.File("registry.db")) {}

  int Run() {
    const long runs = Setting("DOVETUNE_STRESS_RUNS", 300);
    const long batch_size = std::max(1L, Setting("DOVETUNE_STRESS_BATCH", 100));
    const int parallel = static_cast<int>(Setting("DOVETUNE_STRESS_PARALLEL", 8));
    const unsigned seed = static_cast<unsigned>(Setting("DOVETUNE_STRESS_SEED", time(nullptr)));
    std::printf("stress: %ld runs, %d at a time, checked every %ld, seed %u\n", runs, parallel,
                batch_size, seed);
    MeasureBaseline();

    CommandMaker maker(seed);
    const double longest_kill_us = figures_.baseline_ms * 1000 * parallel * 1.5;
    States states = ReadStates();
    for (long done = 0; done < runs; done += batch_size) {
      Batch batch;
      batch.first = static_cast<size_t>(done);
      batch.plan.resize(static_cast<size_t>(std::min(batch_size, runs - done)));
      for (PlannedRun& planned : batch.plan) {
        planned.arguments = maker.Next();
        if (maker.Chance(kKillShare)) {
          planned.kill_after =
              std::chrono::microseconds(maker.Number(1, static_cast<long>(longest_kill_us)));
        }
      }
      batch.records = RunAll(DOVETUNE_BINARY, store_path_, batch.plan, parallel);
      CheckRuns(&batch);
      const States after = ReadStates();
      CheckStoreFile();
      CheckHistory(batch, states, after);
      states = after;
      ++figures_.checkpoints;
    }
    CheckNoJournalLeft();
    std::printf(
        "stress figures: %d runs, %d killed, %d finished, %d waited for the lock, %d gave up "
        "after the wait, longest wait %.0f ms (a lone run takes %.0f ms), %d checkpoints, "
        "%d failures\n",
        figures_.runs, figures_.killed, figures_.finished, figures_.waited, figures_.gave_up,
        figures_.longest_wait_ms, figures_.baseline_ms, figures_.checkpoints, failures_.count());
    return failures_.count() == 0 ? 0 : 1;
  }

 private:
  // How long a lone run takes; the first one also creates the store.
  void MeasureBaseline() {
    std::vector<PlannedRun> plan(7, PlannedRun{{"view"}, {}});
    std::vector<double> times;
    const std::string created = "dovetune: created a new registry at " + store_path_ + "\n";
    bool first = true;
    for (const RunRecord& record : RunAll(DOVETUNE_BINARY, store_path_, plan, 1)) {
      failures_.Expect(record.exit_status == 0 && record.err == (first ? created : ""),
                       "a lone view failed");
      first = false;
      times.push_back(record.Milliseconds());
    }
    std::sort(times.begin(), times.end());
    figures_.baseline_ms = times[times.size() / 2];
  }

  // Each run ended as one of: killed by us; finished with one of its
  // command's outputs; or gave up on the lock after the whole wait.
  void CheckRuns(Batch* batch) {
    batch->effects.resize(batch->plan.size());
    for (size_t i = 0; i < batch->plan.size(); ++i) {
      const RunRecord& record = batch->records[i];
      const std::vector<std::string>& line = batch->plan[i].arguments;
      Effect& effect = batch->effects[i];
      const std::string what = RunName(*batch, i);
      ++figures_.runs;
      if (record.killed) {
        ++figures_.killed;
        if (line[0] != "view") {
          effect.kind = Effect::kUnknown;
          effect.target = line[0] == "use" ? "current" : line[1];
        }
        continue;
      }
      failures_.Expect(record.other_signal == 0,
                       what + " died of signal " + std::to_string(record.other_signal));
      const double took = record.Milliseconds();
      if (IsLockTimeout(record, store_path_)) {
        ++figures_.gave_up;
        failures_.Expect(took >= kLockWaitMs * 0.95,
                         what + " gave up after only " + std::to_string(took) + " ms");
        continue;
      }
      ++figures_.finished;
      failures_.Expect(ReadEffect(line, record, &effect),
                       what + " printed an unexpected text: " + record.out);
      failures_.Expect(
          record.exit_status == ExpectedStatus(line, record.out, effect) &&
              WithoutWaitNotice(record.err).empty(),
          what + " failed: status " + std::to_string(record.exit_status) + ", " + record.err);
      failures_.Expect(took <= kLockWaitMs + kRunSlackMs,
                       what + " took " + std::to_string(took) + " ms without giving up");
      const double waited = took - figures_.baseline_ms;
      if (waited > figures_.baseline_ms) ++figures_.waited;
      figures_.longest_wait_ms = std::max(figures_.longest_wait_ms, waited);
    }
  }

  // Reads every settings set through the registry layer, which also rolls
  // back what a killed run left. Each one holds the ten settings, all of them.
  States ReadStates() {
    CRegistrySession session;
    std::string error;
    States states;
    if (!session.Open(store_path_, &error)) {
      failures_.Expect(false, "cannot open the store to read it: " + error);
      return states;
    }
    CPresetStore store;
    std::vector<std::string> presets;
    store.ListPresets(presets);
    presets.push_back("current");
    const std::set<std::string> ten(std::begin(kSettingNames), std::end(kSettingNames));
    for (const std::string& name : presets) {
      std::vector<std::string> names;
      std::vector<DWORD> values;
      store.ReadPresetValues(name, names, values);
      failures_.Expect(
          names.size() == ten.size() && std::set<std::string>(names.begin(), names.end()) == ten,
          name + " does not hold exactly the ten settings");
    }
    for (const std::string name : {"alpha", "beta", "gamma", "delta", "current"}) {
      State& state = states[name];
      state.exists = store.PresetExists(name);
      if (state.exists) state.summary = store.DescribePreset(name);
    }
    return states;
  }

  void CheckStoreFile() {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(store_path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      failures_.Expect(false, "the store cannot be opened for the checks");
      sqlite3_close(db);
      return;
    }
    failures_.Expect(QueryText(db, "PRAGMA integrity_check") == "ok", "integrity check");
    failures_.Expect(QueryText(db,
                               "SELECT count(*) FROM vals WHERE key NOT IN"
                               " (SELECT id FROM keys)") == "0",
                     "values of keys that no longer exist");
    failures_.Expect(QueryText(db,
                               "SELECT count(*) FROM keys WHERE parent <> 0 AND parent NOT IN"
                               " (SELECT id FROM keys)") == "0",
                     "keys whose parent no longer exists");
    sqlite3_close(db);
  }

  static std::string QueryText(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    std::string text = "(failed)";
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      const unsigned char* column = sqlite3_column_text(statement, 0);
      text = column ? reinterpret_cast<const char*>(column) : "";
    }
    sqlite3_finalize(statement);
    return text;
  }

  // A run that writes removes its journal when it commits, so none is left.
  void CheckNoJournalLeft() {
    const std::vector<RunRecord> last = RunAll(
        DOVETUNE_BINARY, store_path_, {PlannedRun{{"edit", "default", "-optimize", "0"}, {}}}, 1);
    failures_.Expect(last[0].exit_status == 0 && last[0].err.empty(),
                     "the last run failed: " + last[0].err);
    failures_.Expect(access((store_path_ + "-journal").c_str(), F_OK) != 0,
                     "a journal is left beside the store after a run that wrote");
  }

  // For each name: the run that changed it last is one whose end came after
  // the start of every finished run that changed it (runs hold the store one
  // at a time, from start to end). Its state at the end of the batch must be
  // what one of those left; with no finished change, the state it had before
  // the batch counts too.
  void CheckHistory(const Batch& batch, const States& before, const States& after) {
    for (const auto& [name, state] : after) {
      Clock::time_point last_start = Clock::time_point::min();
      bool any_finished = false;
      for (size_t i = 0; i < batch.plan.size(); ++i) {
        const Effect& effect = batch.effects[i];
        if (effect.target != name || effect.kind == Effect::kNone) continue;
        if (effect.kind == Effect::kChanged || effect.kind == Effect::kDeleted) {
          any_finished = true;
          last_start = std::max(last_start, batch.records[i].start);
        }
      }
      const auto previous = before.find(name);
      bool explained = !any_finished && previous != before.end() && previous->second == state;
      for (size_t i = 0; i < batch.plan.size() && !explained; ++i) {
        const Effect& effect = batch.effects[i];
        if (effect.target != name || effect.kind == Effect::kNone) continue;
        if (batch.records[i].end <= last_start) continue;
        const bool deletes = batch.plan[i].arguments[0] == "delete";
        switch (effect.kind) {
          case Effect::kChanged:
            explained = state.exists && state.summary == effect.summary;
            break;
          case Effect::kDeleted:
            explained = !state.exists;
            break;
          default:
            explained = state.exists != deletes;
        }
      }
      failures_.Expect(explained, name + " is " + Describe(state) + " after runs " +
                                      std::to_string(batch.first) + " on, which no run that " +
                                      "could have been last left");
      CheckCreatesKept(batch, name, state);
    }
  }

  // Every run that printed "preset NAME created" is still seen, unless a
  // delete of NAME may have come after it.
  void CheckCreatesKept(const Batch& batch, const std::string& name, const State& state) {
    if (state.exists) return;
    for (size_t i = 0; i < batch.plan.size(); ++i) {
      const bool created = batch.effects[i].kind == Effect::kChanged &&
                           batch.effects[i].target == name &&
                           StartsWith(batch.plan[i].arguments[0], "create");
      if (!created) continue;
      bool deleted_later = false;
      for (size_t j = 0; j < batch.plan.size() && !deleted_later; ++j) {
        const Effect& effect = batch.effects[j];
        deleted_later = effect.target == name && batch.plan[j].arguments[0] == "delete" &&
                        (effect.kind == Effect::kDeleted || effect.kind == Effect::kUnknown) &&
                        batch.records[j].end > batch.records[i].start;
      }
      failures_.Expect(deleted_later, RunName(batch, i) + " created " + name +
                                          ", which is gone though no delete came after it");
    }
  }

  static std::string RunName(const Batch& batch, size_t i) {
    std::string text = "run " + std::to_string(batch.first + i) + " (";
    for (const std::string& word : batch.plan[i].arguments) text += word + " ";
    text.back() = ')';
    return text;
  }

  TempFolder folder_;
  std::string store_path_;
  Failures failures_;
  Figures figures_;
};

}  // namespace

int main() { return StressTest().Run(); }
