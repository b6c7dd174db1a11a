// "view": the listing of every settings set and the detail of one, and the
// summary texts they show.

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "registry/registry_session.h"
#include "tests/support/command_fixture.h"
#include "tests/support/platform.h"

namespace dovetune {

namespace {

// The value lines "NAME - NUMBER" of a detail, given in the order the values
// were written, in the order the registry lists the values.
std::string ValueLines(std::vector<std::string> lines) {
  std::string text;
  for (const std::string& line : InValueOrder(std::move(lines), [](const std::string& line) {
         return line.substr(0, line.find(" - "));
       })) {
    text += line + "\n";
  }
  return text;
}

const std::string kFactoryDetail = ValueLines({
    "DefBitRate - 128",
    "DefVbrMode - 6",
    "DefCodecQuality - 1",
    "DefAacProfile - 5",
    "DefUsePNS - 0",
    "DefDownmix - 0",
    "DefMuxIntoVideo - 0",
    "DefExportAAC - 0",
    "DefHintForStreaming - 0",
    "DefOptimize - 0",
});

using ViewTest = CommandTest;

TEST_F(ViewTest, FreshRegistryListsCurrentAndDefault) {
  EXPECT_EQ(Output({"view"}),
            Lines({"current - bitrate: vbr streaming", "default - bitrate: vbr streaming"}));
}

TEST_F(ViewTest, DetailShowsTheSummaryThenEveryValueInOrder) {
  EXPECT_EQ(Output({"view", "default"}), "default - bitrate: vbr streaming\n" + kFactoryDetail);
  EXPECT_EQ(Output({"view", "current", "ignored", "-downmix"}),
            "current - bitrate: vbr streaming\n" + kFactoryDetail);
  // The name as typed, the preset the registry finds.
  EXPECT_EQ(Output({"view", "DEFAULT"}), "DEFAULT - bitrate: vbr streaming\n" + kFactoryDetail);
  EXPECT_EQ(Output({"view", "missing"}, kExitFailed), "missing - preset doesn't exist\n");
}

TEST_F(ViewTest, CurrentFirstDefaultSecondThenTheRegistryOrder) {
  Output({"create", "zeta", "-vbr_tape"});
  Output({"create", "Alpha", "-cbr", "64"});
  Output({"create", "beta", "-downmix"});
  Output({"use", "beta"});
  EXPECT_EQ(Output({"view"}), Lines({
                                  "current - bitrate: vbr streaming, downmix",
                                  "default - bitrate: vbr streaming",
                                  "Alpha - bitrate: cbr 64",
                                  "beta - bitrate: vbr streaming, downmix",
                                  "zeta - bitrate: vbr tape",
                              }));
}

TEST_F(ViewTest, DefaultStoredWithACapitalIsShownSecondAndAgainUnderItsOwnCase) {
  Output({"view"});
  DeleteKey(PresetPath("default"));
  SetDword(PresetPath("Default"), "DefVbrMode", 8);
  EXPECT_EQ(Output({"view"}), Lines({
                                  "current - bitrate: vbr streaming",
                                  "default - bitrate: vbr extreme",
                                  "Default - bitrate: vbr extreme",
                              }));
}

TEST_F(ViewTest, NumbersWithTheTopBitSetShowNegative) {
  Output({"create", "neg", "-optimize", "-5"});
  SetDword(PresetPath("neg"), "DefBitRate", 0x80000000u);
  const std::string detail = Output({"view", "neg"});
  EXPECT_EQ(FirstLine(detail), "neg - bitrate: vbr streaming, optimize: -5");
  EXPECT_NE(detail.find("\nDefBitRate - -2147483648\n"), std::string::npos) << detail;
  EXPECT_NE(detail.find("\nDefOptimize - -5\n"), std::string::npos) << detail;
}

TEST_F(ViewTest, ValuesThatAreNotNumbersAreNeitherListedNorSummarised) {
  Output({"create", "odd"});
  SetValue(PresetPath("odd"), "Comment", REG_SZ, std::string("hello", 6));
  SetValue(PresetPath("odd"), "DefDownmix", REG_BINARY, std::string("\x01\x00\x00\x00", 4));
  SetValue(PresetPath("odd"), "DefOptimize", REG_DWORD, std::string("\x07\x00", 2));
  const std::string detail = Output({"view", "odd"});
  const std::string values = ValueLines({
      "DefBitRate - 128",
      "DefVbrMode - 6",
      "DefCodecQuality - 1",
      "DefAacProfile - 5",
      "DefUsePNS - 0",
      "DefMuxIntoVideo - 0",
      "DefExportAAC - 0",
      "DefHintForStreaming - 0",
  });
  EXPECT_EQ(detail, "odd - bitrate: vbr streaming\n" + values);
}

TEST_F(ViewTest, EveryModeText) {
  Output({"create", "p"});
  const std::vector<std::pair<DWORD, std::string>> modes = {
      {0, "cbr 128"},
      {1, ""},
      {2, ""},
      {3, "vbr tape"},
      {4, "vbr radio"},
      {5, "vbr internet"},
      {6, "vbr streaming"},
      {7, "vbr normal"},
      {8, "vbr extreme"},
      {9, "vbr audiophile"},
      {10, "vbr tarnscoding"},
      {11, ""},
      {0xFFFFFFFFu, ""},
  };
  for (const auto& mode : modes) {
    SetDword(PresetPath("p"), "DefVbrMode", mode.first);
    EXPECT_EQ(FirstLine(Output({"view", "p"})), "p - bitrate: " + mode.second) << mode.first;
  }
}

TEST_F(ViewTest, FlagsShowOnlyForTheirExactCodesInOrder) {
  Output({"create", "all", "-downmix", "-codecquality_fast", "-aacprofile_lc", "-usepns",
          "-hintforstreaming", "-muxintovideo", "-exportaac", "-optimize", "3", "-cbr", "96"});
  EXPECT_EQ(FirstLine(Output({"view", "all"})),
            "all - bitrate: cbr 96, downmix, fast encoding, LC, PNS, hint for streaming, "
            "mux into video, export aac, optimize: 3");

  Output({"create", "none"});
  for (const auto& setting :
       std::vector<std::pair<const char*, DWORD>>{{"DefDownmix", 2},
                                                  {"DefCodecQuality", 2},
                                                  {"DefAacProfile", 5},
                                                  {"DefUsePNS", 2},
                                                  {"DefHintForStreaming", 0},
                                                  {"DefMuxIntoVideo", 7},
                                                  {"DefExportAAC", 0xFFFFFFFFu}}) {
    SetDword(PresetPath("none"), setting.first, setting.second);
  }
  EXPECT_EQ(FirstLine(Output({"view", "none"})), "none - bitrate: vbr streaming");
}

TEST_F(ViewTest, MissingSettingsAddNothing) {
  Output({"view"});
  SetDword(PresetPath("bare"), "DefVbrMode", 0);
  SetDword(PresetPath("bare"), "DefOptimize", 0);
  EXPECT_EQ(Output({"view", "bare"}),
            "bare - bitrate: cbr \n" + ValueLines({"DefVbrMode - 0", "DefOptimize - 0"}));
  SetDword(PresetPath("empty"), "Unrelated", 1);
  EXPECT_EQ(Output({"view", "empty"}), Lines({"empty - bitrate: ", "Unrelated - 1"}));
}

// Each listed preset is described by the name it is listed under: names that
// sort apart by upper and by lower case, or by a character between them, each
// get their own settings, and so does "CURRENT"; a preset stored as exactly
// "current" gets the current settings' summary, as "view current" shows it.
TEST_F(ViewTest, EveryListedNameIsDescribedAsItIsNamed) {
  Output({"view"});
  for (const char* current : {"current", "CURRENT"}) {
    SCOPED_TRACE(current);
    std::set<std::string> expected = {"current - bitrate: vbr streaming",
                                      "default - bitrate: vbr streaming"};
    DWORD rate = 8;
    for (const std::string name : {current, "a_b", "ab", "Ab_c", "a[b", "_x"}) {
      SetDword(PresetPath(name), "DefVbrMode", 0);
      SetDword(PresetPath(name), "DefBitRate", rate += 8);
      if (name != "current") expected.insert(name + " - bitrate: cbr " + std::to_string(rate));
    }
    std::set<std::string> listed;
    std::istringstream listing(Output({"view"}));
    for (std::string line; std::getline(listing, line);) listed.insert(line);
    EXPECT_EQ(listed, expected);
    DeleteKey(PresetPath(current));
  }
}

// A long listing comes out whole and in order: every preset, each with its
// own settings.
TEST_F(ViewTest, ALongListingComesOutWholeAndInOrder) {
  const std::string fresh = Output({"view"});
  std::string expected = fresh;
  {
    CRegistrySession session;
    ASSERT_NO_FATAL_FAILURE(OpenStore(&session));
    std::string error;
    for (int i = 0; i < 1500; ++i) {
      char name[64];
      std::snprintf(name, sizeof(name), "a-preset-with-a-long-name-to-fill-the-lines-%04d", i);
      const DWORD mode = 3 + i % 8;
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, PresetPath(name).c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr),
                ERROR_SUCCESS);
      ASSERT_EQ(RegSetValueExA(key, "DefVbrMode", 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&mode), sizeof(mode)),
                ERROR_SUCCESS);
      RegCloseKey(key);
      static const char* const kModes[] = {"tape",   "radio",   "internet",   "streaming",
                                           "normal", "extreme", "audiophile", "tarnscoding"};
      expected += std::string(name) + " - bitrate: vbr " + kModes[i % 8] + "\n";
    }
    ASSERT_TRUE(session.Commit(&error)) << error;
  }
  const std::string listing = Output({"view"});
  EXPECT_GT(listing.size(), 100000u);
  EXPECT_TRUE(listing == expected) << listing.size() << " bytes, expected " << expected.size();
}

}  // namespace

}  // namespace dovetune
