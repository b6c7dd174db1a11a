// "view": every settings set with its summary, or one preset in detail.

#include <cstdint>
#include <string>
#include <vector>

#include "app/commands.h"
#include "presets/preset_store.h"

namespace dovetune {

namespace {

constexpr char kSeparator[] = " - ";

void PrintSummaryLine(CPresetStore& store, const std::string& name, HeldText& out) {
  out << name << kSeparator << store.DescribePreset(name) << '\n';
}

}  // namespace

int RunView(CPresetStore& store, int argc, const char* const* argv, HeldText& out,
            HeldText& /*err*/) {
  if (argc == 2) {
    std::vector<std::string> names;
    store.ListPresets(names);
    PrintSummaryLine(store, "current", out);
    PrintSummaryLine(store, "default", out);
    for (const std::string& name : names) {
      if (name != "default") PrintSummaryLine(store, name, out);
    }
    return kExitDone;
  }

  const std::string name = argv[2];
  PrintSummaryLine(store, name, out);
  std::vector<std::string> value_names;
  std::vector<DWORD> values;
  store.ReadPresetValues(name, value_names, values);
  for (size_t i = 0; i < value_names.size(); ++i) {
    out << value_names[i] << kSeparator << static_cast<int32_t>(values[i]) << '\n';
  }
  // A missing preset shows as "preset doesn't exist": a failure to the caller.
  return store.PresetExists(name) ? kExitDone : kExitFailed;
}

}  // namespace dovetune
