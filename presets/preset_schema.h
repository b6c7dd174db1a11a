// Where the presets live in the registry, the two reserved preset names, and
// the ten settings every settings set holds, with their factory values.
#pragma once

#include "registry/win32_api.h"

namespace dovetune {

namespace schema {

// All paths lie beneath HKEY_CURRENT_USER.
constexpr char kSoftwarePath[] = "Software";
constexpr char kProductKeyPath[] = "Software\\Orvane\\Ostrel";
// The presets key is opened under this letter case but created as "Presets";
// the registry does not tell them apart.
constexpr char kPresetsKeyPath[] = "Software\\Orvane\\Ostrel\\presets";
constexpr char kPresetsDeletePath[] = "Software\\Orvane\\Ostrel\\Presets";
constexpr char kCurrentSettingsKeyPath[] = "Software\\Orvane\\Ostrel\\Zelvo (HE-AAC)";

// The levels Initialize creates, one at a time, beneath "Software".
constexpr char kMakerKeyName[] = "Orvane";
constexpr char kProductKeyName[] = "Ostrel";
constexpr char kPresetsKeyName[] = "Presets";
constexpr char kCurrentSettingsKeyName[] = "Zelvo (HE-AAC)";

// Recognised only when spelled exactly so.
constexpr char kCurrent[] = "current";
constexpr char kDefault[] = "default";

constexpr char kBitRate[] = "DefBitRate";
constexpr char kVbrMode[] = "DefVbrMode";
constexpr char kCodecQuality[] = "DefCodecQuality";
constexpr char kAacProfile[] = "DefAacProfile";
constexpr char kUsePns[] = "DefUsePNS";
constexpr char kDownmix[] = "DefDownmix";
constexpr char kMuxIntoVideo[] = "DefMuxIntoVideo";
constexpr char kExportAac[] = "DefExportAAC";
constexpr char kHintForStreaming[] = "DefHintForStreaming";
constexpr char kOptimize[] = "DefOptimize";

// DefVbrMode: 0 is constant bitrate; 3 to 10 are the variable-bitrate levels.
constexpr DWORD kConstantBitrate = 0;

struct Setting {
  const char* name;
  DWORD value;
};

// The factory settings, in the order a new "default" preset receives them.
constexpr Setting kFactorySettings[] = {
    {kBitRate, 128}, {kVbrMode, 6},      {kCodecQuality, 1}, {kAacProfile, 5},       {kUsePns, 0},
    {kDownmix, 0},   {kMuxIntoVideo, 0}, {kExportAac, 0},    {kHintForStreaming, 0}, {kOptimize, 0},
};

}  // namespace schema

}  // namespace dovetune
