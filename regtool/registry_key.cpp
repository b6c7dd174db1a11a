#include "regtool/registry_key.h"

namespace dovetune {

namespace {

// Long enough for any name: 16383 UTF-16 units take at most three UTF-8 bytes each.
constexpr DWORD kNameBufferSize = 16383 * 3 + 1;
constexpr DWORD kFirstDataBufferSize = 256;

}  // namespace

RegKey::~RegKey() { Close(); }

void RegKey::Close() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
}

LONG RegKey::Open(const KeyPath& path) {
  Close();
  return RegOpenKeyExA(path.root, path.sub_path.c_str(), 0, KEY_ALL_ACCESS, &key_);
}

LONG RegKey::Create(const KeyPath& path) {
  Close();
  return RegCreateKeyExA(path.root, path.sub_path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, &key_, nullptr);
}

LONG RegKey::SubkeyNames(std::vector<std::string>* names) const {
  std::vector<char> name(kNameBufferSize);
  for (DWORD index = 0;; ++index) {
    DWORD length = kNameBufferSize;
    const LONG status =
        RegEnumKeyExA(key_, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    names->emplace_back(name.data(), length);
  }
}

LONG RegKey::Values(std::vector<RegValue>* values) const {
  std::vector<char> name(kNameBufferSize);
  std::string data(kFirstDataBufferSize, '\0');
  for (DWORD index = 0;;) {
    DWORD name_length = kNameBufferSize;
    DWORD data_size = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    const LONG status = RegEnumValueA(key_, index, name.data(), &name_length, nullptr, &type,
                                      reinterpret_cast<BYTE*>(&data[0]), &data_size);
    if (status == ERROR_MORE_DATA && data_size > data.size()) {
      data.resize(data_size);
      continue;  // the same index again, with room for its data
    }
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    values->push_back(
        RegValue{std::string(name.data(), name_length), type, data.substr(0, data_size)});
    ++index;
  }
}

LONG RegKey::Query(const std::string& name, RegValue* value) const {
  DWORD size = 0;
  DWORD type = REG_NONE;
  LONG status = RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size);
  std::string data;
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    data.resize(size);
    DWORD got = size;
    status = RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                              &got);
    if (status == ERROR_SUCCESS) {
      *value = RegValue{name, type, data.substr(0, got)};
      return ERROR_SUCCESS;
    }
    size = got;
  }
  return status;
}

LONG RegKey::Set(const RegValue& value) const {
  return RegSetValueExA(key_, value.name.c_str(), 0, value.type,
                        reinterpret_cast<const BYTE*>(value.data.data()),
                        static_cast<DWORD>(value.data.size()));
}

LONG RegKey::DeleteValue(const std::string& name) const {
  return RegDeleteValueA(key_, name.c_str());
}

LONG DeleteKeyTree(const KeyPath& path) { return RegDeleteTreeA(path.root, path.sub_path.c_str()); }

std::string DescribeStatus(LONG status) {
  switch (status) {
    case ERROR_FILE_NOT_FOUND:
      return "The system was unable to find the specified registry key or value.";
    case ERROR_ACCESS_DENIED:
      return "Access is denied.";
    case ERROR_DISK_FULL:
      return "There is not enough space on the disk.";
    case ERROR_INVALID_PARAMETER:
      return "The parameter is incorrect (a name may be too long).";
    case ERROR_KEY_DELETED:
      return "The key has been deleted.";
    case ERROR_REGISTRY_IO_FAILED:
      return "The registry store could not be read or written.";
    case ERROR_MORE_DATA:
      return "The key path is longer than the registry allows (260 characters).";
    case ERROR_BAD_PATHNAME:
      return "The key path is not valid.";
    case ERROR_INVALID_HANDLE:
      return "The key is not open.";
    default:
      return "The registry reported error " + std::to_string(status) + ".";
  }
}

bool ReportStatus(LONG status, const KeyPath& key, std::string* error) {
  *error = key.Full() + ": " + DescribeStatus(status);
  return false;
}

}  // namespace dovetune
