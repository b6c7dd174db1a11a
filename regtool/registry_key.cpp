#include "regtool/registry_key.h"

#include "base/utf.h"

namespace dovetune {

namespace {

// Long enough for any name: 16383 UTF-16 units take at most three UTF-8 bytes each.
constexpr DWORD kNameBufferSize = 16383 * 3 + 1;
constexpr DWORD kFirstDataBufferSize = 256;

// The narrow registry functions take a subkey path of at most 260 UTF-16
// units in one call, while the registry holds keys at any depth, each name up
// to 255 units long, and reg exports and imports their full paths.
constexpr size_t kLongestPathInOneCall = 260;

// |sub_path| in steps of whole names that each fit one call, in order. A name
// too long for a call is a step of its own, which the registry refuses.
std::vector<std::string> Steps(const std::string& sub_path) {
  if (Utf16Length(sub_path) <= kLongestPathInOneCall) return {sub_path};
  std::vector<std::string> steps;
  std::string step;
  for (size_t start = 0; start <= sub_path.size();) {
    size_t end = sub_path.find('\\', start);
    if (end == std::string::npos) end = sub_path.size();
    const std::string name = sub_path.substr(start, end - start);
    if (!step.empty() && Utf16Length(step) + 1 + Utf16Length(name) > kLongestPathInOneCall) {
      steps.push_back(step);
      step = name;
    } else {
      step += (step.empty() ? "" : "\\") + name;
    }
    start = end + 1;
  }
  steps.push_back(step);
  return steps;
}

// Opens |steps| one beneath the other from |root| with |call| (an open or a
// create), keeping only the last key open; its status is the first failure's.
template <typename Call>
LONG Walk(HKEY root, const std::vector<std::string>& steps, HKEY* key, Call call) {
  HKEY at = root;
  for (const std::string& step : steps) {
    HKEY next = nullptr;
    const LONG status = call(at, step.c_str(), &next);
    if (at != root) RegCloseKey(at);
    if (status != ERROR_SUCCESS) return status;
    at = next;
  }
  *key = at;
  return ERROR_SUCCESS;
}

LONG OpenOne(HKEY parent, const char* step, HKEY* key) {
  return RegOpenKeyExA(parent, step, 0, KEY_ALL_ACCESS, key);
}

}  // namespace

RegKey::~RegKey() { Close(); }

void RegKey::Close() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
}

LONG RegKey::Open(const KeyPath& path) {
  Close();
  return Walk(path.root, Steps(path.sub_path), &key_, OpenOne);
}

LONG RegKey::Create(const KeyPath& path) {
  Close();
  return Walk(path.root, Steps(path.sub_path), &key_, [](HKEY parent, const char* step, HKEY* key) {
    return RegCreateKeyExA(parent, step, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, key, nullptr);
  });
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

bool ReadKey(const KeyPath& path, std::vector<RegValue>* values, std::vector<std::string>* subkeys,
             std::string* error) {
  RegKey key;
  LONG status = key.Open(path);
  if (status == ERROR_SUCCESS) status = key.Values(values);
  if (status == ERROR_SUCCESS) status = key.SubkeyNames(subkeys);
  return status == ERROR_SUCCESS || ReportStatus(status, path, error);
}

LONG DeleteKeyTree(const KeyPath& path) {
  std::vector<std::string> steps = Steps(path.sub_path);
  const std::string last = steps.back();
  steps.pop_back();
  HKEY parent = path.root;
  const LONG status = Walk(path.root, steps, &parent, OpenOne);
  if (status != ERROR_SUCCESS) return status;
  const LONG deleted = RegDeleteTreeA(parent, last.c_str());
  if (parent != path.root) RegCloseKey(parent);
  return deleted;
}

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
