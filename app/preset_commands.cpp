// The commands that change presets or the current settings: "create",
// "create_from_current", "edit", "delete" and "use".

#include <string>

#include "app/commands.h"
#include "presets/preset_store.h"

namespace dovetune {

namespace {

constexpr char kCurrent[] = "current";
constexpr char kDefault[] = "default";

// A handler takes the preset name to be present whenever anything follows the
// command word.
bool HasName(int argc) { return argc != 2; }

void PrintSummaryLine(CPresetStore& store, const std::string& name, std::ostream& out) {
  out << name << " - " << store.DescribePreset(name) << std::endl;
}

void PrintMissingName(const char* message, std::ostream& out) {
  out << std::endl << message << std::endl << std::endl;
}

void PrintDoesNotExist(const std::string& name, std::ostream& out) {
  out << std::endl << name << " doesn't exists" << std::endl;
}

int CreateFrom(const char* source, CPresetStore& store, int argc, const char* const* argv,
               std::ostream& out) {
  if (!HasName(argc)) {
    PrintMissingName("no name given for new preset", out);
    return 0;
  }
  const std::string name = argv[2];
  if (store.PresetExists(name)) {
    out << "preset " << name << " already exists" << std::endl;
    return 0;
  }
  if (!store.CreatePreset(source, name)) {
    out << "preset " << name << " could not be created" << std::endl;
    return 1;
  }
  store.EditPreset(name, argv, argc);
  out << "preset " << name << " created" << std::endl;
  PrintSummaryLine(store, name, out);
  return 0;
}

}  // namespace

int RunCreate(CPresetStore& store, int argc, const char* const* argv, std::ostream& out) {
  return CreateFrom(kDefault, store, argc, argv, out);
}

int RunCreateFromCurrent(CPresetStore& store, int argc, const char* const* argv,
                         std::ostream& out) {
  return CreateFrom(kCurrent, store, argc, argv, out);
}

void RunEdit(CPresetStore& store, int argc, const char* const* argv, std::ostream& out) {
  if (!HasName(argc)) {
    PrintMissingName("no name given for preset to edit", out);
    return;
  }
  const std::string name = argv[2];
  if (!store.PresetExists(name)) {
    PrintDoesNotExist(name, out);
    out << std::endl;
    return;
  }
  store.EditPreset(name, argv, argc);
  PrintSummaryLine(store, name, out);
}

void RunDelete(CPresetStore& store, int argc, const char* const* argv, std::ostream& out) {
  if (!HasName(argc)) {
    PrintMissingName("no name given for preset to delete", out);
    return;
  }
  const std::string name = argv[2];
  if (!store.PresetExists(name)) {
    PrintDoesNotExist(name, out);
    return;
  }
  // A preset with keys beneath it stays; say so rather than print nothing as
  // if it had gone.
  if (!store.DeletePreset(name)) {
    out << std::endl << "preset " << name << " could not be deleted" << std::endl;
  }
}

void RunUse(CPresetStore& store, int argc, const char* const* argv, std::ostream& out) {
  if (!HasName(argc)) {
    PrintMissingName("no name given for preset to use", out);
    return;
  }
  const std::string name = argv[2];
  if (!store.PresetExists(name)) {
    PrintDoesNotExist(name, out);
    return;
  }
  store.CopyPreset(name, kCurrent);
  store.EditPreset(kCurrent, argv, argc);
  PrintSummaryLine(store, kCurrent, out);
}

}  // namespace dovetune
