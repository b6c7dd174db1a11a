// The tool's command line, with reg's operations and switches: switches start
// with / or -, in any letter case, and each may appear once.
#pragma once

#include <string>
#include <vector>

#include "registry/win32_api.h"
#include "regtool/key_path.h"

namespace dovetune {

enum class RegOperation { kHelp, kVersion, kQuery, kAdd, kDelete, kExport, kImport };

// The file name export and import take for standard output and input.
constexpr char kStandardStream[] = "-";

struct RegCommandLine {
  RegOperation operation = RegOperation::kHelp;
  bool help = false;  // "/?" after an operation: that operation's usage
  KeyPath key;
  std::string file;  // export and import

  // Which values: one by name (/v), the default value (/ve), or all (/va).
  bool has_value_name = false;
  std::string value_name;
  bool all_values = false;

  bool recursive = false;       // query /s
  bool force = false;           // add and delete /f
  bool overwrite_file = false;  // export /y
  bool has_type = false;        // add /t
  DWORD type = REG_SZ;
  bool has_data = false;  // add /d
  std::string data;
  std::string separator;  // add /s; empty for \0
};

// Reads the arguments after the program name. On failure |error| says why.
bool ParseRegCommandLine(const std::vector<std::string>& arguments, RegCommandLine* command,
                         std::string* error);

// Whether |word| names an operation (any letter case). A command line whose
// first word does not is a usage error of its own kind.
bool IsRegOperation(const std::string& word);

// The usage text: the whole tool's for kHelp, else that operation's.
std::string RegUsage(RegOperation operation = RegOperation::kHelp);

}  // namespace dovetune
