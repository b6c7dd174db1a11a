#include "regtool/commands.h"

#include "regtool/change_commands.h"
#include "regtool/file_commands.h"
#include "regtool/query_command.h"

namespace dovetune {

bool RunRegCommand(const RegCommandLine& command, std::string* out, std::string* error) {
  if (command.help) {
    *out += RegUsage(command.operation);
    return true;
  }
  switch (command.operation) {
    case RegOperation::kHelp:
      *out += RegUsage();
      return true;
    case RegOperation::kVersion:
      *out += "dovetune-reg " DOVETUNE_VERSION "\n";
      return true;
    case RegOperation::kQuery:
      return RunQuery(command, out, error);
    case RegOperation::kAdd:
      return RunAdd(command, out, error);
    case RegOperation::kDelete:
      return RunDelete(command, out, error);
    case RegOperation::kExport:
      return RunExport(command, out, error);
    case RegOperation::kImport:
      return RunImport(command, out, error);
  }
  return false;
}

}  // namespace dovetune
