#include "app/view_command.h"

#include <cstdint>
#include <string>
#include <vector>

#include "app/commands.h"
#include "presets/preset_schema.h"
#include "presets/preset_store.h"

namespace dovetune {

namespace {

constexpr char kSeparator[] = " - ";

}  // namespace

void PrintSummaryLine(CPresetStore& store, const std::string& name, HeldText& out) {
  out << name << kSeparator << store.DescribePreset(name) << '\n';
}

int RunView(CPresetStore& store, int argc, const char* const* argv, HeldText& out,
            HeldText& /*err*/) {
  if (argc == 2) {
    PrintSummaryLine(store, schema::kCurrent, out);
    PrintSummaryLine(store, schema::kDefault, out);
    // Each preset is described as the enumeration reaches it: a list of
    // thousands of names, held beside the registry's own, would cost more
    // memory than anything else the run holds. Nothing here changes the
    // presets key, so the order is the listing's.
    store.ForEachPreset([&store, &out](const std::string& name) {
      if (name != schema::kDefault) PrintSummaryLine(store, name, out);
    });
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
