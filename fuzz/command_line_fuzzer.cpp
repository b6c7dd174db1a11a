// Fuzzes the command entry with whole command lines. An input holds one or more
// command lines, separated by the byte 0x1E; within one, the arguments are
// separated by 0x00. They run one after another in one transaction on a
// temporary store, which is then rolled back, so that every input starts from
// the same store and later commands see what earlier ones made.
//
// Besides crashes and sanitizer reports, it fails when a command ends with a
// status other than 0 (save a preset the registry refused to create, which
// says so), when the store fails, or when any key outside the
// presets key appears or disappears: a preset name reaches nothing else.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/held_text.h"
#include "fuzz/fuzz_support.h"
#include "presets/preset_store.h"
#include "registry/registry_session.h"
#include "registry/win32_api.h"

using namespace dovetune;  // NOLINT(google-build-using-namespace)

namespace {

constexpr char kCommandSeparator = '\x1E';
constexpr char kPresetsPath[] = "HKEY_CURRENT_USER\\Software\\Orvane\\Ostrel\\Presets";

std::string g_folder;
std::string g_store_path;
std::string g_keys_outside_presets;

// The paths of every key, one a line, leaving out what lies beneath the
// presets key.
void ListKeys(HKEY key, const std::string& path, std::string* text) {
  *text += path + "\n";
  if (path == kPresetsPath) return;
  char name[1024];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof(name);
    if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      return;
    }
    HKEY child = nullptr;
    if (RegOpenKeyExA(key, name, 0, KEY_ALL_ACCESS, &child) != ERROR_SUCCESS) {
      FuzzFailure("a listed key cannot be opened: " + path + "\\" + name);
    }
    ListKeys(child, path + "\\" + name, text);
    RegCloseKey(child);
  }
}

std::string KeysOutsidePresets() {
  std::string text;
  ListKeys(HKEY_CURRENT_USER, "HKEY_CURRENT_USER", &text);
  ListKeys(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", &text);
  return text;
}

std::vector<std::vector<std::string>> CommandLines(const uint8_t* data, size_t size) {
  std::vector<std::vector<std::string>> lines(1, std::vector<std::string>(1));
  for (size_t i = 0; i < size; ++i) {
    const char byte = static_cast<char>(data[i]);
    if (byte == kCommandSeparator) {
      lines.emplace_back(1);
    } else if (byte == '\0') {
      lines.back().emplace_back();
    } else {
      lines.back().back() += byte;
    }
  }
  return lines;
}

}  // namespace

// Makes the store once, with the tree every run makes sure of.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_folder = MakeFuzzFolder("command_line");
  g_store_path = g_folder + "/registry.db";
  CRegistrySession session;
  std::string error;
  if (!session.Open(g_store_path, &error)) FuzzFailure(error);
  CPresetStore().Initialize();
  g_keys_outside_presets = KeysOutsidePresets();
  if (!session.Commit(&error)) FuzzFailure(error);
  return 0;
}

namespace {

void RunInput(const uint8_t* data, size_t size) {
  CRegistrySession session;
  std::string error;
  if (!session.Open(g_store_path, &error)) FuzzFailure(error);
  CPresetStore store;
  for (const std::vector<std::string>& line : CommandLines(data, size)) {
    std::vector<const char*> argv = {"dovetune"};
    for (const std::string& word : line) argv.push_back(word.c_str());
    // An empty command line stands for the program run without arguments.
    const int argc = line.size() == 1 && line[0].empty() ? 1 : static_cast<int>(argv.size());
    argv.push_back(nullptr);
    HeldText out, err;
    const int status = RunCommandLine(store, argc, argv.data(), out, err);
    if (status < kExitDone || status > kExitUsage)
      FuzzFailure("a command returned an unknown status");
  }
  if (KeysOutsidePresets() != g_keys_outside_presets) {
    FuzzFailure("the keys outside the presets key changed");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunOnFixedStack([data, size] { RunInput(data, size); });
  return 0;
}
