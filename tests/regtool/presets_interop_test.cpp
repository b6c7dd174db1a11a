// Presets carried between dovetune-reg and dovetune: each reads what the
// other wrote, through the same store.

#include "tests/regtool/reg_cli_fixture.h"

namespace dovetune {

namespace {

const char kPresetsKey[] = "HKCU\\Software\\Orvane\\Ostrel\\Presets";

using PresetsInteropTest = RegCliTest;

TEST_F(PresetsInteropTest, DovetuneReadsAPresetThatDovetuneRegWrote) {
  const std::string fast = std::string(kPresetsKey) + "\\fast";
  const struct {
    const char* name;
    const char* data;
  } settings[] = {
      {"DefBitRate", "96"},     {"DefVbrMode", "0"},   {"DefCodecQuality", "2"},
      {"DefAacProfile", "5"},   {"DefUsePNS", "0"},    {"DefDownmix", "0x1"},
      {"DefMuxIntoVideo", "0"}, {"DefExportAAC", "0"}, {"DefHintForStreaming", "0"},
      {"DefOptimize", "0"},
  };
  for (const auto& setting : settings) {
    RegOutput({"add", fast, "/v", setting.name, "/t", "REG_DWORD", "/d", setting.data});
  }
  const ProcessResult view = Dovetune({"view", "fast"});
  EXPECT_EQ(view.status, 0);
  EXPECT_EQ(view.err, "");
  EXPECT_EQ(view.out,
            "fast - bitrate: cbr 96, downmix\n"
            "DefBitRate - 96\n"
            "DefVbrMode - 0\n"
            "DefCodecQuality - 2\n"
            "DefAacProfile - 5\n"
            "DefUsePNS - 0\n"
            "DefDownmix - 1\n"
            "DefMuxIntoVideo - 0\n"
            "DefExportAAC - 0\n"
            "DefHintForStreaming - 0\n"
            "DefOptimize - 0\n");
  // And "use" moves it into the current settings, which dovetune-reg then shows.
  EXPECT_EQ(Dovetune({"use", "fast"}).status, 0);
  EXPECT_EQ(
      RegOutput({"query", "HKCU\\Software\\Orvane\\Ostrel\\Zelvo (HE-AAC)", "/v", "DefBitRate"}),
      "\nHKEY_CURRENT_USER\\Software\\Orvane\\Ostrel\\Zelvo (HE-AAC)\n"
      "    DefBitRate    REG_DWORD    0x60\n\n");
}

TEST_F(PresetsInteropTest, DovetuneRegShowsAndCarriesAPresetThatDovetuneCreated) {
  const ProcessResult create = Dovetune({"create", "loud", "-cbr", "256"});
  ASSERT_EQ(create.status, 0) << create.err;
  EXPECT_EQ(RegOutput({"query", std::string(kPresetsKey) + "\\loud"}),
            "\n"
            "HKEY_CURRENT_USER\\Software\\Orvane\\Ostrel\\Presets\\loud\n"
            "    DefBitRate    REG_DWORD    0x100\n"
            "    DefVbrMode    REG_DWORD    0x0\n"
            "    DefCodecQuality    REG_DWORD    0x1\n"
            "    DefAacProfile    REG_DWORD    0x5\n"
            "    DefUsePNS    REG_DWORD    0x0\n"
            "    DefDownmix    REG_DWORD    0x0\n"
            "    DefMuxIntoVideo    REG_DWORD    0x0\n"
            "    DefExportAAC    REG_DWORD    0x0\n"
            "    DefHintForStreaming    REG_DWORD    0x0\n"
            "    DefOptimize    REG_DWORD    0x0\n"
            "\n");

  // Carried to another machine's store through a .reg file, it is the same preset.
  RegOutput({"export", kPresetsKey, File("presets.reg")});
  const std::string first_store = store_path_;
  store_path_ = File("elsewhere.db");
  RegOutput({"import", File("presets.reg")});
  const ProcessResult view = Dovetune({"view", "loud"});
  EXPECT_EQ(view.status, 0);
  EXPECT_EQ(view.out.substr(0, view.out.find('\n')), "loud - bitrate: cbr 256");
  const std::string presets = "Software\\Orvane\\Ostrel\\Presets";
  EXPECT_EQ(Tree(store_path_, presets), Tree(first_store, presets));
}

}  // namespace

}  // namespace dovetune
