// The parameter editor: applies the parameter words of a command line to one
// settings set, strictly from left to right.

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "presets/preset_schema.h"
#include "presets/preset_store.h"
#include "registry/registry.h"

namespace dovetune {

namespace {

// Words that write one fixed number to one setting.
struct FixedParameter {
  const char* word;
  const char* setting;
  DWORD value;
};

const FixedParameter kFixedParameters[] = {
    {"-vbr_tape", schema::kVbrMode, 3},
    {"-vbr_radio", schema::kVbrMode, 4},
    {"-vbr_internet", schema::kVbrMode, 5},
    {"-vbr_streaming", schema::kVbrMode, 6},
    {"-vbr_normal", schema::kVbrMode, 7},
    {"-vbr_extreme", schema::kVbrMode, 8},
    {"-vbr_audiophile", schema::kVbrMode, 9},
    {"-vbr_transcoding", schema::kVbrMode, 10},
    {"-codecquality_fast", schema::kCodecQuality, 0},
    {"-codecquality_high", schema::kCodecQuality, 1},
    {"-aacprofile_lc", schema::kAacProfile, 4},
    {"-aacprofile_he", schema::kAacProfile, 5},
    {"-usepns_no", schema::kUsePns, 0},
    {"-usepns", schema::kUsePns, 1},
    {"-downmix_no", schema::kDownmix, 0},
    {"-downmix", schema::kDownmix, 1},
    {"-muxintovideo_no", schema::kMuxIntoVideo, 0},
    {"-muxintovideo", schema::kMuxIntoVideo, 1},
    {"-exportaac_no", schema::kExportAac, 0},
    {"-exportaac", schema::kExportAac, 1},
    {"-hintforstreaming_no", schema::kHintForStreaming, 0},
    {"-hintforstreaming", schema::kHintForStreaming, 1},
};

constexpr char kPresetWord[] = "-preset";
constexpr char kCbrWord[] = "-cbr";
constexpr char kOptimizeWord[] = "-optimize";

// The bitrates "-cbr" can write, highest first; below the last one, 16.
const int32_t kBitrateLadder[] = {448, 388, 320, 256, 244, 192, 160, 128, 112, 96,
                                  80,  64,  56,  48,  40,  32,  28,  24,  20};
constexpr int32_t kLowestBitrate = 16;

// Leading white space, an optional sign, then digits up to the first other
// character; no digits give 0, and |*digits| says whether there were any.
// Numbers beyond the 32-bit range saturate.
int32_t DecimalValue(const char* text, bool* digits = nullptr) {
  while (std::isspace(static_cast<unsigned char>(*text))) ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  if (digits) *digits = std::isdigit(static_cast<unsigned char>(*text)) != 0;
  int64_t magnitude = 0;
  for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
    magnitude = magnitude * 10 + (*text - '0');
    if (magnitude > int64_t{INT32_MAX} + 1) magnitude = int64_t{INT32_MAX} + 1;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  return static_cast<int32_t>(value > INT32_MAX ? INT32_MAX : value);
}

DWORD BitrateStep(int32_t requested) {
  for (const int32_t step : kBitrateLadder) {
    if (requested >= step) return static_cast<DWORD>(step);
  }
  return kLowestBitrate;
}

bool TakesArgument(const char* word) {
  return std::strcmp(word, kCbrWord) == 0 || std::strcmp(word, kOptimizeWord) == 0;
}

// The program name, the command word and the preset name come before the
// parameters; they are scanned too, but are no one's typing mistakes.
constexpr int kFirstParameter = 3;

// A word of the user's that the scan matched to nothing: one that looks like a
// parameter word and is not the argument of the word before it.
bool IsUnknownWord(const char* const* argv, int index) {
  if (index < kFirstParameter || argv[index][0] != '-') return false;
  const char* previous = argv[index - 1];
  return !TakesArgument(previous) && std::strcmp(previous, kPresetWord) != 0;
}

// The fixed parameter |word| is, or null.
const FixedParameter* FindFixedParameter(const char* word) {
  for (const FixedParameter& parameter : kFixedParameters) {
    if (std::strcmp(word, parameter.word) == 0) return &parameter;
  }
  return nullptr;
}

}  // namespace

std::vector<std::string> CPresetStore::EditPreset(const std::string& strName,
                                                  const char* const* argv, int argc) {
  std::vector<std::string> warnings;
  CRegistry target;
  OpenSettings(target, strName);

  // A trailing word whose argument would be missing is dropped; the argument
  // of a word still comes from the whole command line.
  int count = argc;
  while (count > 0 && TakesArgument(argv[count - 1])) --count;

  for (int index = 0; index < count; ++index) {
    const char* word = argv[index];
    const char* next = index + 1 < argc ? argv[index + 1] : "";
    if (std::strcmp(word, kPresetWord) == 0) {
      CopyPreset(next, strName);
    } else if (std::strcmp(word, kCbrWord) == 0) {
      WriteSetting(target, strName, schema::kVbrMode, schema::kConstantBitrate);
      bool digits = false;
      const DWORD bitrate = BitrateStep(DecimalValue(next, &digits));
      WriteSetting(target, strName, schema::kBitRate, bitrate);
      if (!digits) {
        warnings.push_back(std::string(kCbrWord) + " " + next + " is not a number; " +
                           std::to_string(bitrate) + " was written");
      }
    } else if (std::strcmp(word, kOptimizeWord) == 0) {
      WriteSetting(target, strName, schema::kOptimize, static_cast<DWORD>(DecimalValue(next)));
    } else if (const FixedParameter* parameter = FindFixedParameter(word)) {
      WriteSetting(target, strName, parameter->setting, parameter->value);
    } else if (IsUnknownWord(argv, index)) {
      warnings.push_back(std::string("ignoring unknown parameter '") + word + "'");
    }
  }
  return warnings;
}

}  // namespace dovetune
