// Which names are one is the store's own rule: no locale, environment
// variable or C library tables change it, so one store file answers alike on
// every machine.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/cli_fixture.h"

namespace dovetune {

namespace {

class LocaleTest : public CliTest {
 protected:
  // Runs the program with |environment|: a command (env, unshare) that starts
  // it with the environment changed.
  ProcessResult RunIn(const std::vector<std::string>& environment,
                      const std::vector<std::string>& arguments) {
    std::vector<std::string> words(environment.begin() + 1, environment.end());
    words.push_back(DOVETUNE_BINARY);
    words.insert(words.end(), arguments.begin(), arguments.end());
    return RunProgram(environment[0], words, store_path_);
  }

  // True when this test may hide the C library's locale files from a run: as
  // root, in a mount namespace of the run's own.
  static bool CanHideLocaleFiles() {
    if (geteuid() != 0) return false;
    const int status = system("unshare -m true >/dev/null 2>&1");
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
};

TEST_F(LocaleTest, NamesCompareAlikeWithAndWithoutAUtf8Locale) {
  const std::string summer = "\xc3\x89t\xc3\xa9";   // Été
  const std::string lower = "\xc3\xa9t\xc3\xa9";    // été
  const std::string shouted = "\xc3\x89T\xc3\x89";  // ÉTÉ
  ASSERT_EQ(Output({"create", summer, "-cbr", "96"}),
            Lines({"preset \xc3\x89t\xc3\xa9 created", "\xc3\x89t\xc3\xa9 - bitrate: cbr 96"}));
  const std::vector<std::vector<std::string>> questions = {
      {"edit", lower, "-downmix"}, {"view"}, {"view", lower}, {"create", shouted}};

  const std::string no_locales = folder_.File("no-locales");
  ASSERT_EQ(mkdir(no_locales.c_str(), 0700), 0);
  std::vector<std::vector<std::string>> environments = {
      {"env"},
      {"env", "-u", "LC_ALL", "-u", "LC_CTYPE", "-u", "LANG", "LOCPATH=" + no_locales},
      {"env", "LC_ALL=C", "LOCPATH=" + no_locales},
      {"env", "LC_ALL=C.UTF-8"},
  };
  if (CanHideLocaleFiles()) {
    // The locale files themselves gone, as on a machine without them.
    environments.push_back({"unshare", "-m", "sh", "-c",
                            "mount -t tmpfs none /usr/lib/locale && exec \"$@\"", "sh", "env",
                            "LC_ALL=C.UTF-8", "LOCPATH=" + no_locales});
  } else {
    std::printf("not root or no mount namespaces: the locale files stay in place\n");
  }

  std::vector<ProcessResult> answers;
  for (const std::vector<std::string>& question : questions) {
    answers.push_back(RunIn(environments[0], question));
  }
  EXPECT_EQ(FirstLine(answers[2].out), lower + " - bitrate: cbr 96, downmix");
  EXPECT_EQ(answers[3].out, "preset " + shouted + " already exists\n");
  EXPECT_EQ(answers[3].status, kExitFailed);
  for (size_t e = 1; e < environments.size(); ++e) {
    for (size_t q = 0; q < questions.size(); ++q) {
      const ProcessResult result = RunIn(environments[e], questions[q]);
      EXPECT_EQ(result.status, answers[q].status) << result.err;
      EXPECT_EQ(result.out, answers[q].out) << "environment " << e << ", question " << q;
    }
  }
}

}  // namespace

}  // namespace dovetune
