// What a script can rely on: the exit status of every kind of outcome, the
// help and version words, and the warnings on standard error for words the
// parameter editor ignores. Standard output keeps its texts throughout. The
// outcomes run in process; the program as a process shows each kind once.

#include <string>
#include <vector>

#include "tests/support/command_fixture.h"

namespace dovetune {

namespace {

struct Outcome {
  std::vector<std::string> arguments;
  int status;
  std::string err;  // all of standard error
};

std::string Unknown(const std::string& word) {
  return "dovetune: unknown command '" + word + "' (run dovetune with no arguments for help)\n";
}

std::string Ignored(const std::string& word) {
  return "dovetune: ignoring unknown parameter '" + word + "'\n";
}

using ExitStatusTest = CommandTest;
using ProcessExitStatusTest = CliTest;

// One store through the whole table, in order: fast exists, and nested has a
// key beneath it, so that it cannot be deleted.
TEST_F(ExitStatusTest, EachOutcomeHasItsStatusAndItsMessages) {
  Output({"create", "fast"});
  Output({"create", "nested\\inner"});
  const Outcome outcomes[] = {
      // Done.
      {{"view"}, kExitDone, ""},
      {{"view", "fast"}, kExitDone, ""},
      {{"edit", "fast", "-downmix", "-cbr", "128"}, kExitDone, ""},
      {{"use", "fast"}, kExitDone, ""},
      {{"create", "new"}, kExitDone, ""},
      {{"delete", "new"}, kExitDone, ""},
      // The command line is wrong.
      {{"create"}, kExitUsage, ""},
      {{"create_from_current"}, kExitUsage, ""},
      {{"edit"}, kExitUsage, ""},
      {{"delete"}, kExitUsage, ""},
      {{"use"}, kExitUsage, ""},
      {{"vieww"}, kExitUsage, Unknown("vieww")},
      {{"View", "fast"}, kExitUsage, Unknown("View")},
      {{"help"}, kExitUsage, Unknown("help")},
      {{"-downmix"}, kExitUsage, Unknown("-downmix")},
      // The command could not do what was asked, and said so.
      {{"create", "fast", "-cbr", "128"}, kExitFailed, ""},
      {{"create", "FAST"}, kExitFailed, ""},
      {{"create_from_current", "current"}, kExitFailed, ""},
      {{"edit", "missing", "-downmix"}, kExitFailed, ""},
      {{"use", "missing"}, kExitFailed, ""},
      {{"delete", "missing"}, kExitFailed, ""},
      {{"delete", "nested"}, kExitFailed, ""},
      {{"view", "missing"}, kExitFailed, ""},
      // Words the editor ignores are done, with a warning for each.
      {{"edit", "fast", "-downmixx", "--cbr", "-vbr-extreme"},
       kExitDone,
       Ignored("-downmixx") + Ignored("--cbr") + Ignored("-vbr-extreme")},
      {{"create", "typo", "-cbr", "abc", "x", "-Downmix"},
       kExitDone,
       "dovetune: -cbr abc is not a number; 16 was written\n" + Ignored("-Downmix")},
      {{"use", "fast", "-vbr_tape", "-cbr", "-"},
       kExitDone,
       "dovetune: -cbr - is not a number; 16 was written\n"},
      // Arguments of the words that take one, and the preset name, are no
      // parameters of their own; a trailing "-cbr" is dropped, not unknown.
      {{"edit", "fast", "-optimize", "-3", "-preset", "-missing", "-cbr", "-96"}, kExitDone, ""},
      {{"edit", "-x", "-downmix"}, kExitFailed, ""},
      {{"create", "-x", "-downmix", "-cbr"}, kExitDone, ""},
      {{"edit", "-x", "-x"}, kExitDone, Ignored("-x")},
  };
  for (const Outcome& outcome : outcomes) {
    const ProcessResult result = Run(outcome.arguments);
    const std::string line = ::testing::PrintToString(outcome.arguments);
    EXPECT_EQ(result.status, outcome.status) << line;
    EXPECT_EQ(result.err, outcome.err) << line;
  }
}

// Each kind of outcome once, as a process: its status, and what reaches each
// stream of its own; the last run finds what the first one kept.
TEST_F(ProcessExitStatusTest, EachKindOfOutcomeAsAProcess) {
  const ProcessResult done = Run({"create", "fast", "-downmix"});
  EXPECT_EQ(done.status, kExitDone);
  EXPECT_EQ(done.out, Lines({"preset fast created", "fast - bitrate: vbr streaming, downmix"}));
  EXPECT_EQ(done.err, "");
  const ProcessResult failed = Run({"view", "missing"});
  EXPECT_EQ(failed.status, kExitFailed);
  EXPECT_EQ(failed.out, Lines({"missing - preset doesn't exist"}));
  EXPECT_EQ(failed.err, "");
  const ProcessResult usage = Run({"vieww"});
  EXPECT_EQ(usage.status, kExitUsage);
  EXPECT_EQ(usage.out, "");
  EXPECT_EQ(usage.err, Unknown("vieww"));
  const ProcessResult warned = Run({"edit", "fast", "-downmixx"});
  EXPECT_EQ(warned.status, kExitDone);
  EXPECT_EQ(warned.out, Lines({"fast - bitrate: vbr streaming, downmix"}));
  EXPECT_EQ(warned.err, Ignored("-downmixx"));
}

TEST_F(ProcessExitStatusTest, HelpAndVersionNeedNoStore) {
  const std::string help = Output({});
  store_path_ = folder_.File("never made/registry.db");
#ifdef _WIN32
  const std::string registry;  // always the system's
#else
  // --help also says which registry a run uses, and what chose it.
  const std::string registry = "Registry: " + store_path_ + " (from DOVETUNE_REGISTRY)\n";
#endif
  EXPECT_EQ(Output({"--help"}), help + registry);
  EXPECT_EQ(Output({"-h", "view"}), help + registry);
  EXPECT_EQ(Output({"--version"}), "dovetune " DOVETUNE_VERSION "\n");
  EXPECT_EQ(ReadWholeFile(store_path_), "");
}

}  // namespace

}  // namespace dovetune
