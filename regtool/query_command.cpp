// query: a key's values and subkeys in reg's layout, a path line and then a
// line of four-space-separated name, type and data for each value.

#include "regtool/query_command.h"

#include "regtool/registry_key.h"

namespace dovetune {

namespace {

const char kNotFound[] = "The system was unable to find the specified registry key or value.";

std::string ValueLine(const RegValue& value) {
  return "    " + DisplayName(value.name) + "    " + TypeName(value.type) + "    " +
         FormatQueryData(value.type, value.data) + "\n";
}

// Lists the key's values, then its subkeys' paths.
bool QueryKey(const KeyPath& path, std::string* out, std::string* error) {
  std::vector<RegValue> values;
  std::vector<std::string> subkeys;
  if (!ReadKey(path, &values, &subkeys, error)) return false;
  *out += "\n";
  if (!values.empty()) {
    *out += path.Full() + "\n";
    for (const RegValue& value : values) *out += ValueLine(value);
    *out += "\n";
  }
  for (const std::string& name : subkeys) *out += path.Child(name).Full() + "\n";
  return true;
}

// Lists the key and every key beneath it, each with its values.
bool QueryTree(const KeyPath& path, std::string* out, std::string* error) {
  std::vector<RegValue> values;
  std::vector<std::string> subkeys;
  if (!ReadKey(path, &values, &subkeys, error)) return false;
  *out += path.Full() + "\n";
  for (const RegValue& value : values) *out += ValueLine(value);
  if (!values.empty()) *out += "\n";
  for (const std::string& name : subkeys) {
    if (!QueryTree(path.Child(name), out, error)) return false;
  }
  return true;
}

// Finds the value in the key and every key beneath it.
bool SearchTree(const KeyPath& path, const std::string& name, int* matches, std::string* out,
                std::string* error) {
  RegKey key;
  std::vector<std::string> subkeys;
  LONG status = key.Open(path);
  if (status == ERROR_SUCCESS) status = key.SubkeyNames(&subkeys);
  if (status != ERROR_SUCCESS) return ReportStatus(status, path, error);
  RegValue value;
  status = key.Query(name, &value);
  if (status == ERROR_SUCCESS) {
    *out += path.Full() + "\n" + ValueLine(value) + "\n";
    ++*matches;
  } else if (status != ERROR_FILE_NOT_FOUND) {
    return ReportStatus(status, path, error);
  }
  for (const std::string& subkey : subkeys) {
    if (!SearchTree(path.Child(subkey), name, matches, out, error)) return false;
  }
  return true;
}

bool QueryValue(const KeyPath& path, const std::string& name, std::string* out,
                std::string* error) {
  RegKey key;
  RegValue value;
  LONG status = key.Open(path);
  if (status != ERROR_SUCCESS) return ReportStatus(status, path, error);
  status = key.Query(name, &value);
  // A key without a default value still shows one, as not set; a key that
  // is not there is not found, whatever value is asked for.
  if (status == ERROR_FILE_NOT_FOUND && name.empty()) {
    *out += "\n" + path.Full() + "\n    (Default)    REG_SZ    (value not set)\n\n";
    return true;
  }
  if (status != ERROR_SUCCESS) return ReportStatus(status, path, error);
  *out += "\n" + path.Full() + "\n" + ValueLine(value) + "\n";
  return true;
}

}  // namespace

bool RunQuery(const RegCommandLine& command, std::string* out, std::string* error) {
  if (!command.has_value_name) {
    if (!command.recursive) return QueryKey(command.key, out, error);
    *out += "\n";
    return QueryTree(command.key, out, error);
  }
  if (!command.recursive) return QueryValue(command.key, command.value_name, out, error);
  int matches = 0;
  std::string found = "\n";
  if (!SearchTree(command.key, command.value_name, &matches, &found, error)) return false;
  if (matches == 0) {
    *error = command.key.Full() + ": " + kNotFound;
    return false;
  }
  *out += found + "End of search: " + std::to_string(matches) + " match(es) found.\n";
  return true;
}

}  // namespace dovetune
