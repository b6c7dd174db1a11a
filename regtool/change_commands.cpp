// add and delete. The tool never asks a question: where reg would ask before
// overwriting or deleting, it refuses unless /f is given.

#include "regtool/change_commands.h"

#include "regtool/commands.h"
#include "regtool/reg_file_writer.h"
#include "regtool/registry_key.h"

namespace dovetune {

namespace {

// The value that add writes, from /v or /ve, /t, /d and /s.
bool ValueToAdd(const RegCommandLine& command, RegValue* value, std::string* error) {
  value->name = command.value_name;
  value->type = command.type;
  if (!command.has_data && (command.type == REG_DWORD || command.type == REG_QWORD)) {
    *error = TypeName(command.type) + " needs its number after /d";
    return false;
  }
  return ParseCommandLineData(command.type, command.data, command.separator, &value->data, error);
}

bool DeleteValues(const RegCommandLine& command, std::string* error) {
  RegKey key;
  LONG status = key.Open(command.key);
  if (status != ERROR_SUCCESS) return ReportStatus(status, command.key, error);
  if (!command.all_values) {
    status = key.DeleteValue(command.value_name);
    return status == ERROR_SUCCESS || ReportStatus(status, command.key, error);
  }
  std::vector<RegValue> values;
  status = key.Values(&values);
  for (size_t i = 0; status == ERROR_SUCCESS && i < values.size(); ++i) {
    status = key.DeleteValue(values[i].name);
  }
  return status == ERROR_SUCCESS || ReportStatus(status, command.key, error);
}

}  // namespace

bool RunAdd(const RegCommandLine& command, std::string* out, std::string* error) {
  // Without a name, a type or data only the key is made; with /t or /d alone
  // the default value is written, as reg does.
  const bool writes_value =
      command.has_value_name || command.has_data || command.has_type || !command.separator.empty();
  RegValue value;
  if (writes_value && !ValueToAdd(command, &value, error)) return false;
  // What export could not carry is not put in.
  if (!CanWriteKey(command.key.Full(), error)) return false;
  if (writes_value && !CanWriteValue(value, error)) return false;
  RegKey key;
  LONG status = key.Create(command.key);
  if (status != ERROR_SUCCESS) return ReportStatus(status, command.key, error);
  if (writes_value) {
    RegValue existing;
    status = key.Query(value.name, &existing);
    if (status == ERROR_SUCCESS && !command.force) {
      *error = "The value " + DisplayName(value.name) + " already exists in " + command.key.Full() +
               "; add /f to overwrite it (this tool never asks).";
      return false;
    }
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      return ReportStatus(status, command.key, error);
    status = key.Set(value);
    if (status != ERROR_SUCCESS) return ReportStatus(status, command.key, error);
  }
  *out += kOperationCompleted;
  return true;
}

bool RunDelete(const RegCommandLine& command, std::string* out, std::string* error) {
  if (!command.force) {
    *error = "Deleting needs /f: reg would ask first, and this tool never asks.";
    return false;
  }
  if (command.has_value_name || command.all_values) {
    if (!DeleteValues(command, error)) return false;
  } else {
    // The registry refuses a root key and HKEY_CURRENT_USER\\Software.
    const LONG status = DeleteKeyTree(command.key);
    if (status != ERROR_SUCCESS) return ReportStatus(status, command.key, error);
  }
  *out += kOperationCompleted;
  return true;
}

}  // namespace dovetune
