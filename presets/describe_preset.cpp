// The one-line summary of a settings set that every listing shows.

#include <optional>

#include "presets/preset_schema.h"
#include "presets/preset_store.h"
#include "registry/registry.h"

namespace dovetune {

namespace {

// A setting that is missing, or is not a 32-bit number, is not set.
std::optional<DWORD> ReadSetting(CRegistry& settings, const char* name) {
  DWORD value = 0;
  if (!settings.ReadDword(name, value)) return std::nullopt;
  return value;
}

void AppendSignedDecimal(DWORD value, std::string* text) {
  *text += std::to_string(static_cast<int32_t>(value));
}

void AppendRateControl(CRegistry& settings, std::string* text) {
  const std::optional<DWORD> mode = ReadSetting(settings, schema::kVbrMode);
  if (!mode) return;
  if (*mode == schema::kConstantBitrate) {
    const std::optional<DWORD> rate = ReadSetting(settings, schema::kBitRate);
    *text += "cbr ";
    if (rate) AppendSignedDecimal(*rate, text);
    return;
  }
  static const char* const kVariableModes[] = {"vbr tape",       "vbr radio",      "vbr internet",
                                               "vbr streaming",  "vbr normal",     "vbr extreme",
                                               "vbr audiophile", "vbr tarnscoding"};
  if (*mode >= 3 && *mode <= 10) *text += kVariableModes[*mode - 3];
}

struct Flag {
  const char* setting;
  DWORD shown_when;
  const char* text;
};

// In the order the summary lists them.
const Flag kFlags[] = {
    {schema::kDownmix, 1, ", downmix"},
    {schema::kCodecQuality, 0, ", fast encoding"},
    {schema::kAacProfile, 4, ", LC"},
    {schema::kUsePns, 1, ", PNS"},
    {schema::kHintForStreaming, 1, ", hint for streaming"},
    {schema::kMuxIntoVideo, 1, ", mux into video"},
    {schema::kExportAac, 1, ", export aac"},
};

}  // namespace

std::string CPresetStore::DescribePreset(const std::string& strName) {
  CRegistry settings;
  // Opened once rather than looked for and then opened. The current settings
  // always exist: without their key, they are all missing.
  if (!OpenSettings(settings, strName) && strName != schema::kCurrent) {
    return "preset doesn't exist";
  }
  std::string text = "bitrate: ";
  AppendRateControl(settings, &text);
  for (const Flag& flag : kFlags) {
    const std::optional<DWORD> value = ReadSetting(settings, flag.setting);
    if (value && *value == flag.shown_when) text += flag.text;
  }
  const std::optional<DWORD> optimize = ReadSetting(settings, schema::kOptimize);
  if (optimize && *optimize != 0) {
    text += ", optimize: ";
    AppendSignedDecimal(*optimize, &text);
  }
  return text;
}

}  // namespace dovetune
