#include "tests/support/cli_fixture.h"

#include "registry/registry_session.h"
#ifndef _WIN32
#include <unistd.h>

#include "registry/store_file.h"
#endif
#include "tests/support/platform.h"
#include "tests/support/registry_keys.h"

namespace dovetune {

const char CliTest::kCurrentPath[] = "Software\\Orvane\\Ostrel\\Zelvo (HE-AAC)";

std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\n";
  return text;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

CliTest::CliTest() : store_path_(folder_.File("registry.db")) {}

void CliTest::SetUp() {
  if (OnSystemRegistry()) {
    ASSERT_TRUE(ResetToolKeys());
  }
#ifndef _WIN32
  // The runs work on a store that exists, as every run but the first does;
  // the tests of a first run name a path of their own.
  std::string error;
  ASSERT_TRUE(PrepareStoreFile(store_path_, &error)) << error;
#endif
}

void CliTest::TearDown() {
  if (OnSystemRegistry()) {
    EXPECT_TRUE(ResetToolKeys());
  }
}

ProcessResult CliTest::Run(const std::vector<std::string>& arguments,
                           const ProcessOptions& options) {
  return RunProgram(DOVETUNE_BINARY, arguments, store_path_, options);
}

std::string CliTest::Output(const std::vector<std::string>& arguments, int status) {
#ifndef _WIN32
  // A run that creates the store says so, and nothing else.
  const bool missing = access(store_path_.c_str(), F_OK) != 0;
  const ProcessResult result = Run(arguments);
  const bool fresh = missing && access(store_path_.c_str(), F_OK) == 0;
#else
  const ProcessResult result = Run(arguments);
  const bool fresh = false;
#endif
  EXPECT_EQ(result.status, status) << "dovetune " << ::testing::PrintToString(arguments);
  EXPECT_EQ(result.err, fresh ? "dovetune: created a new registry at " + store_path_ + "\n" : "");
  return result.out;
}

std::string CliTest::PresetPath(const std::string& name) {
  return "Software\\Orvane\\Ostrel\\Presets\\" + name;
}

void CliTest::OpenStore(CRegistrySession* session) {
  std::string error;
  ASSERT_TRUE(session->Open(store_path_, &error)) << error;
}

void CliTest::SetValue(const std::string& key_path, const std::string& name, DWORD type,
                       const std::string& bytes) {
  CRegistrySession session;
  ASSERT_NO_FATAL_FAILURE(OpenStore(&session));
  WriteValuesAndCommit(session, key_path, type, {{name, bytes}});
}

void CliTest::SetDword(const std::string& key_path, const std::string& name, DWORD value) {
  const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                         static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
  SetValue(key_path, name, REG_DWORD, std::string(bytes, 4));
}

void CliTest::DeleteKey(const std::string& key_path) {
  CRegistrySession session;
  ASSERT_NO_FATAL_FAILURE(OpenStore(&session));
  std::string error;
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, key_path.c_str()), ERROR_SUCCESS) << key_path;
  ASSERT_TRUE(session.Commit(&error)) << error;
}

}  // namespace dovetune
