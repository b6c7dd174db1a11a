#include "app/preset_commands.h"

#include <string>
#include <vector>

#include "app/commands.h"
#include "app/view_command.h"
#include "presets/preset_schema.h"
#include "presets/preset_store.h"

namespace dovetune {

namespace {

// A handler takes the preset name to be present whenever anything follows the
// command word.
bool HasName(int argc) { return argc != 2; }

int PrintMissingName(const char* message, HeldText& out) {
  out << '\n' << message << '\n' << '\n';
  return kExitUsage;
}

void PrintDoesNotExist(const std::string& name, HeldText& out) {
  out << '\n' << name << " doesn't exists" << '\n';
}

// The editor goes on past words it does not know; the user hears of them on
// standard error.
void Edit(CPresetStore& store, const std::string& name, const char* const* argv, int argc,
          HeldText& err) {
  for (const std::string& warning : store.EditPreset(name, argv, argc)) {
    err << "dovetune: " << warning << '\n';
  }
}

int CreateFrom(const char* source, CPresetStore& store, int argc, const char* const* argv,
               HeldText& out, HeldText& err) {
  if (!HasName(argc)) return PrintMissingName("no name given for new preset", out);
  const std::string name = argv[2];
  if (store.PresetExists(name)) {
    out << "preset " << name << " already exists" << '\n';
    return kExitFailed;
  }
  if (!store.CreatePreset(source, name)) {
    out << "preset " << name << " could not be created" << '\n';
    return kExitFailed;
  }
  Edit(store, name, argv, argc, err);
  out << "preset " << name << " created" << '\n';
  PrintSummaryLine(store, name, out);
  return kExitDone;
}

}  // namespace

int RunCreate(CPresetStore& store, int argc, const char* const* argv, HeldText& out,
              HeldText& err) {
  return CreateFrom(schema::kDefault, store, argc, argv, out, err);
}

int RunCreateFromCurrent(CPresetStore& store, int argc, const char* const* argv, HeldText& out,
                         HeldText& err) {
  return CreateFrom(schema::kCurrent, store, argc, argv, out, err);
}

int RunEdit(CPresetStore& store, int argc, const char* const* argv, HeldText& out, HeldText& err) {
  if (!HasName(argc)) return PrintMissingName("no name given for preset to edit", out);
  const std::string name = argv[2];
  if (!store.PresetExists(name)) {
    PrintDoesNotExist(name, out);
    out << '\n';
    return kExitFailed;
  }
  Edit(store, name, argv, argc, err);
  PrintSummaryLine(store, name, out);
  return kExitDone;
}

int RunDelete(CPresetStore& store, int argc, const char* const* argv, HeldText& out,
              HeldText& /*err*/) {
  if (!HasName(argc)) return PrintMissingName("no name given for preset to delete", out);
  const std::string name = argv[2];
  if (!store.PresetExists(name)) {
    PrintDoesNotExist(name, out);
    return kExitFailed;
  }
  // A preset with keys beneath it stays; say so rather than print nothing as
  // if it had gone.
  if (!store.DeletePreset(name)) {
    out << '\n' << "preset " << name << " could not be deleted" << '\n';
    return kExitFailed;
  }
  return kExitDone;
}

int RunUse(CPresetStore& store, int argc, const char* const* argv, HeldText& out, HeldText& err) {
  if (!HasName(argc)) return PrintMissingName("no name given for preset to use", out);
  const std::string name = argv[2];
  if (!store.PresetExists(name)) {
    PrintDoesNotExist(name, out);
    return kExitFailed;
  }
  store.CopyPreset(name, schema::kCurrent);
  Edit(store, schema::kCurrent, argv, argc, err);
  PrintSummaryLine(store, schema::kCurrent, out);
  return kExitDone;
}

}  // namespace dovetune
