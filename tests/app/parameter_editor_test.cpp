// The parameter editor, through "create" and "edit": every word, the bitrate
// ladder, trailing trims, "-preset" ordering and the decimal conversion.

#include "tests/support/command_fixture.h"

namespace dovetune {

namespace {

class ParameterEditorTest : public CommandTest {
 protected:
  // The value lines of one preset, as "view NAME" prints them.
  std::string SettingsOf(const std::string& name) {
    const std::string detail = Output({"view", name});
    return detail.substr(detail.find('\n') + 1);
  }
  std::string ValueOf(const std::string& preset, const std::string& setting) {
    const std::string settings = "\n" + SettingsOf(preset);
    const size_t at = settings.find("\n" + setting + " - ");
    if (at == std::string::npos) return "(missing)";
    const size_t start = at + setting.size() + 4;
    return settings.substr(start, settings.find('\n', start) - start);
  }
};

// Each word, the setting it writes and the value, as the manual page gives them.
TEST_F(ParameterEditorTest, EveryFixedWordWritesItsSetting) {
  struct Case {
    const char* word;
    const char* setting;
    const char* value;
  };
  const Case cases[] = {
      {"-vbr_tape", "DefVbrMode", "3"},
      {"-vbr_radio", "DefVbrMode", "4"},
      {"-vbr_internet", "DefVbrMode", "5"},
      {"-vbr_streaming", "DefVbrMode", "6"},
      {"-vbr_normal", "DefVbrMode", "7"},
      {"-vbr_extreme", "DefVbrMode", "8"},
      {"-vbr_audiophile", "DefVbrMode", "9"},
      {"-vbr_transcoding", "DefVbrMode", "10"},
      {"-codecquality_fast", "DefCodecQuality", "0"},
      {"-codecquality_high", "DefCodecQuality", "1"},
      {"-aacprofile_lc", "DefAacProfile", "4"},
      {"-aacprofile_he", "DefAacProfile", "5"},
      {"-usepns", "DefUsePNS", "1"},
      {"-usepns_no", "DefUsePNS", "0"},
      {"-downmix", "DefDownmix", "1"},
      {"-downmix_no", "DefDownmix", "0"},
      {"-muxintovideo", "DefMuxIntoVideo", "1"},
      {"-muxintovideo_no", "DefMuxIntoVideo", "0"},
      {"-exportaac", "DefExportAAC", "1"},
      {"-exportaac_no", "DefExportAAC", "0"},
      {"-hintforstreaming", "DefHintForStreaming", "1"},
      {"-hintforstreaming_no", "DefHintForStreaming", "0"},
  };
  Output({"create", "p", "-vbr_tape"});
  for (const Case& c : cases) {
    Output({"edit", "p", c.word});
    EXPECT_EQ(ValueOf("p", c.setting), c.value) << c.word;
  }
  // A variable-bitrate word leaves the bitrate alone; words are case-sensitive.
  // Words are compared exactly: these two are no parameters, and the one that
  // looks like one is reported.
  EXPECT_EQ(Run({"edit", "p", "-cbr", "64", "-vbr_radio", "-DOWNMIX", "downmix"}).err,
            "dovetune: ignoring unknown parameter '-DOWNMIX'\n");
  EXPECT_EQ(ValueOf("p", "DefBitRate"), "64");
  EXPECT_EQ(ValueOf("p", "DefVbrMode"), "4");
  EXPECT_EQ(ValueOf("p", "DefDownmix"), "0");
}

TEST_F(ParameterEditorTest, BitrateLadderAtItsBoundaries) {
  const std::pair<const char*, const char*> cases[] = {
      {"19", "16"},    {"20", "20"},      {"27", "24"},
      {"230", "192"},  {"243", "192"},    {"244", "244"},
      {"255", "244"},  {"384", "320"},    {"387", "320"},
      {"388", "388"},  {"400", "388"},    {"447", "388"},
      {"448", "448"},  {"100000", "448"}, {"99999999999999999999", "448"},
      {"abc", "16"},   {"-128", "16"},    {"0", "16"},
      {" 128", "128"}, {"+96kbps", "96"}, {"", "16"},
  };
  Output({"create", "p"});
  for (const auto& c : cases) {
    const ProcessResult result = Run({"edit", "p", "-cbr", c.first});
    EXPECT_EQ(result.status, 0);
    // Only an argument without digits is reported; the others are numbers.
    const bool digits = std::string(c.first).find_first_of("0123456789") != std::string::npos;
    EXPECT_EQ(result.err, digits ? ""
                                 : "dovetune: -cbr " + std::string(c.first) +
                                       " is not a number; 16 was written\n");
    EXPECT_EQ(ValueOf("p", "DefBitRate"), c.second) << "'" << c.first << "'";
    EXPECT_EQ(ValueOf("p", "DefVbrMode"), "0");
  }
}

TEST_F(ParameterEditorTest, TrailingWordsWithoutTheirArgumentAreDropped) {
  Output({"create", "p", "-cbr", "64"});
  EXPECT_EQ(Output({"edit", "p", "-downmix", "-cbr"}), Lines({"p - bitrate: cbr 64, downmix"}));
  EXPECT_EQ(Output({"edit", "p", "-optimize", "9", "-cbr", "-optimize"}),
            Lines({"p - bitrate: cbr 64, downmix, optimize: 9"}));
  // Only the trailing ones: "-cbr" followed by a word takes its value, 0.
  const ProcessResult taken = Run({"edit", "p", "-cbr", "-downmix_no"});
  EXPECT_EQ(taken.out, Lines({"p - bitrate: cbr 16, optimize: 9"}));
  EXPECT_EQ(taken.err, "dovetune: -cbr -downmix_no is not a number; 16 was written\n");
}

TEST_F(ParameterEditorTest, LaterWordsWinAndPresetCopiesOverwriteEarlierWords) {
  Output({"create", "p"});
  EXPECT_EQ(Output({"edit", "p", "-downmix", "-downmix_no", "-vbr_tape", "-vbr_radio"}),
            Lines({"p - bitrate: vbr radio"}));
  Output({"create", "src", "-cbr", "256", "-usepns"});
  EXPECT_EQ(Output({"edit", "p", "-downmix", "-preset", "src"}),
            Lines({"p - bitrate: cbr 256, PNS"}));
  EXPECT_EQ(Output({"edit", "p", "-preset", "default", "-downmix"}),
            Lines({"p - bitrate: vbr streaming, downmix"}));
  EXPECT_EQ(Output({"edit", "p", "-downmix", "-preset", "default"}),
            Lines({"p - bitrate: vbr streaming"}));
  EXPECT_EQ(SettingsOf("p"), SettingsOf("default"));
}

TEST_F(ParameterEditorTest, PresetWordWithNothingToCopyChangesNothing) {
  Output({"create", "p", "-exportaac"});
  const std::string before = SettingsOf("p");
  EXPECT_EQ(Output({"edit", "p", "-preset", "p"}),
            Lines({"p - bitrate: vbr streaming, export aac"}));
  EXPECT_EQ(Output({"edit", "p", "-preset", "missing"}),
            Lines({"p - bitrate: vbr streaming, export aac"}));
  EXPECT_EQ(Output({"edit", "p", "-preset"}), Lines({"p - bitrate: vbr streaming, export aac"}));
  // Before a trailing "-cbr" that was dropped, "-preset" names a preset "-cbr".
  EXPECT_EQ(Output({"edit", "p", "-preset", "-cbr"}),
            Lines({"p - bitrate: vbr streaming, export aac"}));
  EXPECT_EQ(SettingsOf("p"), before);
  EXPECT_EQ(Output({"create", "-cbr"}),
            Lines({"preset -cbr created", "-cbr - bitrate: vbr streaming"}));
  // Editing it scans its own name too: "-cbr" takes the next word's value, 0.
  const ProcessResult own_name = Run({"edit", "-cbr", "-hintforstreaming"});
  EXPECT_EQ(own_name.out, Lines({"-cbr - bitrate: cbr 16, hint for streaming"}));
  EXPECT_EQ(own_name.err, "dovetune: -cbr -hintforstreaming is not a number; 16 was written\n");
  EXPECT_EQ(Output({"edit", "p", "-preset", "-cbr"}),
            Lines({"p - bitrate: cbr 16, hint for streaming"}));
}

TEST_F(ParameterEditorTest, PresetNamedLikeAWordAppliesItToItself) {
  EXPECT_EQ(Output({"create", "-downmix"}),
            Lines({"preset -downmix created", "-downmix - bitrate: vbr streaming, downmix"}));
  Output({"edit", "-downmix", "-downmix_no"});
  EXPECT_EQ(ValueOf("-downmix", "DefDownmix"), "0");
  EXPECT_EQ(Output({"edit", "-downmix"}), Lines({"-downmix - bitrate: vbr streaming, downmix"}));
}

TEST_F(ParameterEditorTest, OptimizeTakesAnyDecimalAndSaturates) {
  Output({"create", "p"});
  const std::pair<const char*, const char*> cases[] = {
      {"7", "7"},
      {"-1", "-1"},
      {"  42xyz", "42"},
      {"2147483647", "2147483647"},
      {"2147483648", "2147483647"},
      {"99999999999999999999999", "2147483647"},
      {"-2147483648", "-2147483648"},
      {"-99999999999999999999999", "-2147483648"},
      {"text", "0"},
  };
  for (const auto& c : cases) {
    Output({"edit", "p", "-optimize", c.first});
    EXPECT_EQ(ValueOf("p", "DefOptimize"), c.second) << c.first;
  }
  EXPECT_EQ(Output({"edit", "p", "-optimize", "-3"}),
            Lines({"p - bitrate: vbr streaming, optimize: -3"}));
}

TEST_F(ParameterEditorTest, UseAppliesWordsToTheCurrentSettings) {
  Output({"create", "p"});
  EXPECT_EQ(Output({"use", "p", "-cbr", "500", "-preset"}), Lines({"current - bitrate: cbr 448"}));
  EXPECT_EQ(FirstLine(Output({"view", "p"})), "p - bitrate: vbr streaming");
}

}  // namespace

}  // namespace dovetune
