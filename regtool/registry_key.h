// One open registry key for the tool's commands, closed when it goes out of
// scope, with the listings and value operations the commands need. Every
// operation goes through the registry functions and returns their status.
#pragma once

#include <string>
#include <vector>

#include "registry/win32_api.h"
#include "regtool/key_path.h"
#include "regtool/value_data.h"

namespace dovetune {

class RegKey {
 public:
  RegKey() = default;
  ~RegKey();
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  LONG Open(const KeyPath& path);
  // Opens the key, creating every missing level.
  LONG Create(const KeyPath& path);

  // The subkeys' names and the values, in the registry's order.
  LONG SubkeyNames(std::vector<std::string>* names) const;
  LONG Values(std::vector<RegValue>* values) const;

  LONG Query(const std::string& name, RegValue* value) const;
  LONG Set(const RegValue& value) const;
  LONG DeleteValue(const std::string& name) const;

 private:
  void Close();

  HKEY key_ = nullptr;
};

// Reads the values and the subkeys' names of the key at |path|, in the
// registry's order; on failure |error| names the key and says why.
bool ReadKey(const KeyPath& path, std::vector<RegValue>* values, std::vector<std::string>* subkeys,
             std::string* error);

// Deletes the key with everything beneath it.
LONG DeleteKeyTree(const KeyPath& path);

// The registry's status as a sentence for the user.
std::string DescribeStatus(LONG status);

// Sets |error| to the key's path and the status in words; returns false.
bool ReportStatus(LONG status, const KeyPath& key, std::string* error);

}  // namespace dovetune
