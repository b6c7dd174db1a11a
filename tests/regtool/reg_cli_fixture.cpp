#include "tests/regtool/reg_cli_fixture.h"

#include "registry/registry_session.h"
#include "regtool/reg_tool.h"

namespace dovetune {

namespace {

void Walk(const std::string& path, std::vector<ValueInTree>* tree) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    return;
  tree->push_back(ValueInTree{path, "", 0xFFFFFFFF, ""});
  std::vector<char> name(65536);
  std::vector<BYTE> data(65536);
  for (DWORD index = 0;; ++index) {
    DWORD name_length = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG status = RegEnumValueA(key, index, name.data(), &name_length, nullptr, &type,
                                      data.data(), &data_size);
    if (status != ERROR_SUCCESS) {
      EXPECT_EQ(status, ERROR_NO_MORE_ITEMS) << path;
      break;
    }
    tree->push_back(ValueInTree{path, std::string(name.data(), name_length), type,
                                std::string(data.begin(), data.begin() + data_size)});
  }
  std::vector<std::string> subkeys;
  for (DWORD index = 0;; ++index) {
    DWORD name_length = static_cast<DWORD>(name.size());
    if (RegEnumKeyExA(key, index, name.data(), &name_length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    subkeys.emplace_back(name.data(), name_length);
  }
  RegCloseKey(key);
  for (const std::string& subkey : subkeys) Walk(path + "\\" + subkey, tree);
}

}  // namespace

ProcessResult RegCliTest::Reg(const std::vector<std::string>& arguments) {
  return RunCapturing([&] { return RunRegTool(arguments); }, store_path_);
}

std::string RegCliTest::RegOutput(const std::vector<std::string>& arguments) {
  const ProcessResult result = Reg(arguments);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  return result.out;
}

std::vector<ValueInTree> RegCliTest::Tree(const std::string& store_path, const std::string& path) {
  std::vector<ValueInTree> tree;
  CRegistrySession session;
  std::string error;
  EXPECT_TRUE(session.Open(store_path, &error)) << error;
  Walk(path, &tree);
  return tree;
}

void RegCliTest::SetValue(const std::string& key_path, const std::string& name, DWORD type,
                          const std::string& bytes) {
  WriteValueBetweenRuns(store_path_, key_path, name, type, bytes);
}

}  // namespace dovetune
