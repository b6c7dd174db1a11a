// export and import: a key and everything beneath it to a .reg file, and the
// changes a .reg file asks for into the registry.

#include "regtool/file_commands.h"

#include "base/replace_file.h"
#include "regtool/commands.h"
#include "regtool/file_io.h"
#include "regtool/reg_file_reader.h"
#include "regtool/reg_file_writer.h"
#include "regtool/registry_key.h"

namespace dovetune {

namespace {

bool ExportTree(const KeyPath& path, RegFileWriter* writer, std::string* error) {
  std::vector<RegValue> values;
  std::vector<std::string> subkeys;
  if (!ReadKey(path, &values, &subkeys, error)) return false;
  if (!writer->AddKey(path.Full(), error)) return false;
  for (const RegValue& value : values) {
    if (!writer->AddValue(value, error)) {
      *error += " (in " + path.Full() + ")";
      return false;
    }
  }
  for (const std::string& name : subkeys) {
    if (!ExportTree(path.Child(name), writer, error)) return false;
  }
  return true;
}

// Whether export could carry what |change| puts in; if not, |error| says why.
bool CanExport(const RegFileChange& change, std::string* error) {
  switch (change.kind) {
    case RegFileChange::Kind::kCreateKey:
      return CanWriteKey(change.key.Full(), error);
    case RegFileChange::Kind::kSetValue:
      return CanWriteValue(change.value, error);
    default:
      return true;
  }
}

// Makes one change; a key or value to delete that is not there is no failure.
LONG Apply(const RegFileChange& change, RegKey* current) {
  LONG status = ERROR_SUCCESS;
  switch (change.kind) {
    case RegFileChange::Kind::kCreateKey:
      return current->Create(change.key);
    case RegFileChange::Kind::kDeleteKey:
      status = DeleteKeyTree(change.key);
      break;
    case RegFileChange::Kind::kSetValue:
      return current->Set(change.value);
    case RegFileChange::Kind::kDeleteValue:
      status = current->DeleteValue(change.value.name);
      break;
  }
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace

bool RunExport(const RegCommandLine& command, std::string* out, std::string* error) {
  // "-" is standard output, as for tar and sort: the file itself is the output.
  const bool to_output = command.file == kStandardStream;
  if (!to_output && FileExists(command.file) && !command.overwrite_file) {
    *error = "The file " + command.file + " already exists; add /y to overwrite it.";
    return false;
  }
  RegFileWriter writer;
  if (!ExportTree(command.key, &writer, error)) return false;
  if (to_output) {
    *out += writer.Encode();
    return true;
  }
  // A new file is the user's alone, as settings may be private; a replaced
  // one keeps its mode, so that a file made readable for others stays so.
  if (!ReplaceFileWhole(command.file, writer.Encode(), error, 0600)) return false;
  *out += kOperationCompleted;
  return true;
}

bool RunImport(const RegCommandLine& command, std::string* out, std::string* error) {
  std::string bytes;
  std::vector<RegFileChange> changes;
  const bool from_input = command.file == kStandardStream;
  const std::string source = from_input ? "standard input" : command.file;
  if (!(from_input ? ReadStandardInput(&bytes, error)
                   : ReadWholeFile(command.file, &bytes, error))) {
    return false;
  }
  if (!ParseRegFile(bytes, &changes, error)) {
    *error = source + ", " + *error;
    return false;
  }
  // Refused whole before any change, as a file that cannot be parsed is.
  for (const RegFileChange& change : changes) {
    if (!CanExport(change, error)) {
      *error = source + ", line " + std::to_string(change.line) + ": " + *error;
      return false;
    }
  }
  RegKey current;
  for (const RegFileChange& change : changes) {
    const LONG status = Apply(change, &current);
    if (status != ERROR_SUCCESS) {
      *error = source + ", line " + std::to_string(change.line) + ": " + change.key.Full() + ": " +
               DescribeStatus(status);
      return false;
    }
  }
  *out += kOperationCompleted;
  return true;
}

}  // namespace dovetune
