// Fuzzes a whole import as dovetune-reg runs it: the file is imported into a
// store, every root key is exported, and the export is imported into a fresh
// store and exported again. Besides crashes and sanitizer reports, it fails
// when an export cannot be read back, when the two exports differ (something
// was lost or changed on the way), or when an import removed
// HKEY_CURRENT_USER\Software.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "registry/registry_session.h"
#include "registry/win32_api.h"
#include "regtool/commands.h"

using namespace dovetune;  // NOLINT(google-build-using-namespace)

namespace {

const char* const kRoots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                              "HKEY_USERS", "HKEY_CURRENT_CONFIG"};

std::string g_folder;
std::string g_fresh_store;  // a store as a first run makes it, copied for each input
std::string g_store;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) FuzzFailure("cannot write " + path);
}

bool Run(const std::vector<std::string>& arguments, std::string* error) {
  RegCommandLine command;
  std::string out;
  return ParseRegCommandLine(arguments, &command, error) && RunRegCommand(command, &out, error);
}

// Exports each root key with everything beneath it, one file each, and
// returns their bytes.
std::vector<std::string> ExportAll() {
  std::vector<std::string> files;
  for (const char* root : kRoots) {
    const std::string file = g_folder + "/" + root + ".reg";
    std::string error;
    if (!Run({"export", root, file, "/y"}, &error))
      FuzzFailure(std::string("export failed: ") + error);
    files.push_back(ReadFile(file));
  }
  return files;
}

// Imports |files| one after another into a fresh store, and exports it all;
// false when an import is refused.
bool ImportThenExport(const std::vector<std::string>& files, std::vector<std::string>* exported,
                      std::string* error) {
  WriteFile(g_store, ReadFile(g_fresh_store));
  CRegistrySession session;
  if (!session.Open(g_store, error)) FuzzFailure(*error);
  const std::string input = g_folder + "/input.reg";
  for (const std::string& file : files) {
    WriteFile(input, file);
    if (!Run({"import", input}, error)) return false;
  }
  HKEY software = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_ALL_ACCESS, &software) != ERROR_SUCCESS) {
    FuzzFailure("HKEY_CURRENT_USER\\Software is gone");
  }
  RegCloseKey(software);
  *exported = ExportAll();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_folder = MakeFuzzFolder("import");
  g_fresh_store = g_folder + "/fresh.db";
  g_store = g_folder + "/registry.db";
  CRegistrySession session;
  std::string error;
  if (!session.Open(g_fresh_store, &error) || !session.Commit(&error)) FuzzFailure(error);
  return 0;
}

namespace {

void RunInput(const uint8_t* data, size_t size) {
  std::vector<std::string> first;
  std::string error;
  const std::string input(reinterpret_cast<const char*>(data), size);
  if (!ImportThenExport({input}, &first, &error)) return;
  std::vector<std::string> second;
  if (!ImportThenExport(first, &second, &error)) FuzzFailure("an export is refused: " + error);
  if (second != first) FuzzFailure("the export of the export differs");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunOnFixedStack([data, size] { RunInput(data, size); });
  return 0;
}
