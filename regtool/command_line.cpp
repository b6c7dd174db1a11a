#include "regtool/command_line.h"

#include <strings.h>

#include <set>

#include "regtool/value_data.h"

namespace dovetune {

namespace {

struct OperationRule {
  const char* word;
  RegOperation operation;
  int positionals;       // key, or key and file, or file
  const char* switches;  // the switches it takes, each followed by a space
  const char* usage;     // its line of the usage text
  const char* details;   // what "OPERATION '/?'" adds to that line
};

const OperationRule kOperations[] = {
    {"query", RegOperation::kQuery, 1, "/v /ve /s /reg:32 /reg:64 ",
     "  query  KEY [/v NAME | /ve] [/s]\n",
     "Prints the values of KEY and its subkeys' names: /v NAME one value, /ve the\n"
     "default value, /s every key beneath KEY as well.\n"},
    {"add", RegOperation::kAdd, 1, "/v /ve /t /s /d /f /reg:32 /reg:64 ",
     "  add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n",
     "Creates KEY, and with /v or /ve sets a value of type TYPE to DATA. /s gives\n"
     "the one character between the strings of REG_MULTI_SZ data (default \\0).\n"
     "An existing value is overwritten only with /f.\n"},
    {"delete", RegOperation::kDelete, 1, "/v /ve /va /f /reg:32 /reg:64 ",
     "  delete KEY [/v NAME | /ve | /va] /f\n",
     "Deletes KEY and everything beneath it, or with /v, /ve or /va one value, the\n"
     "default value or all values of KEY. Refuses without /f.\n"},
    {"export", RegOperation::kExport, 2, "/y /reg:32 /reg:64 ", "  export KEY FILE [/y]\n",
     "Writes KEY and everything beneath it to FILE as a .reg file (UTF-16LE), or to\n"
     "standard output when FILE is -. An existing FILE is replaced only with /y.\n"},
    {"import", RegOperation::kImport, 1, "/reg:32 /reg:64 ", "  import FILE\n",
     "Makes the changes a .reg file (UTF-16LE or UTF-8) asks for, all or none;\n"
     "FILE - reads standard input.\n"},
};

bool IsHelpWord(const std::string& argument) { return argument == "/?" || argument == "-?"; }

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool Takes(const OperationRule& rule, const std::string& name) {
  return std::string(rule.switches).find(name + " ") != std::string::npos;
}

// The switch an argument names, in the form "/name", or empty when no
// operation takes it: any other argument, even one starting with a slash
// such as a file's path, is a key or a file.
std::string SwitchName(const std::string& argument) {
  if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return "";
  if (argument.find(' ') != std::string::npos) return "";  // no switch holds a blank
  const std::string name = "/" + Lower(argument.substr(1));
  for (const OperationRule& rule : kOperations) {
    if (Takes(rule, name)) return name;
  }
  return "";
}

class Parser {
 public:
  Parser(const OperationRule& rule, RegCommandLine* command, std::string* error)
      : rule_(rule), command_(command), error_(error) {}

  bool Parse(const std::vector<std::string>& arguments);

 private:
  bool Apply(const std::string& name, const std::string& argument);
  bool Positional(const std::string& argument);
  bool Check() const;
  bool Fail(const std::string& reason) const {
    *error_ = "Invalid syntax: " + reason;
    return false;
  }

  const OperationRule& rule_;
  RegCommandLine* command_;
  std::string* error_;
  std::set<std::string> seen_;
  int positionals_ = 0;
  const bool add_ = rule_.operation == RegOperation::kAdd;  // where /s takes a separator
};

bool Parser::Parse(const std::vector<std::string>& arguments) {
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (IsHelpWord(arguments[i])) {
      command_->help = true;
      return true;
    }
  }
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    const std::string name = SwitchName(word);
    if (name.empty()) {
      if (!Positional(word)) return false;
      continue;
    }
    if (!Takes(rule_, name)) return Fail(std::string(rule_.word) + " does not take " + word);
    if (!seen_.insert(name).second) return Fail(word + " is given twice");
    std::string argument;
    if (name == "/v" || name == "/t" || name == "/d" || (name == "/s" && add_)) {
      if (++i == arguments.size()) return Fail(word + " needs a value");
      argument = arguments[i];
    }
    if (!Apply(name, argument)) return false;
  }
  return Check();
}

bool Parser::Positional(const std::string& argument) {
  if (positionals_ == rule_.positionals) return Fail("too many arguments (" + argument + ")");
  ++positionals_;
  if (rule_.operation == RegOperation::kImport || positionals_ == 2) {
    command_->file = argument;
    return true;
  }
  return ParseKeyPath(argument, &command_->key, error_);
}

bool Parser::Apply(const std::string& name, const std::string& argument) {
  if (name == "/v" || name == "/ve") {
    command_->has_value_name = true;
    command_->value_name = argument;  // empty for /ve: the default value
  } else if (name == "/va") {
    command_->all_values = true;
  } else if (name == "/s" && add_) {
    if (argument.size() != 1) return Fail("the /s separator must be one character");
    command_->separator = argument;
  } else if (name == "/s") {
    command_->recursive = true;
  } else if (name == "/t") {
    command_->has_type = true;
    if (!ParseTypeName(argument, &command_->type)) {
      *error_ = "Invalid type \"" + argument +
                "\": use REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, "
                "REG_BINARY or REG_NONE";
      return false;
    }
  } else if (name == "/d") {
    command_->has_data = true;
    command_->data = argument;
  } else if (name == "/f") {
    command_->force = true;
  } else if (name == "/y") {
    command_->overwrite_file = true;
  }
  return true;  // /reg:32 and /reg:64 choose a view the store does not have
}

bool Parser::Check() const {
  if (positionals_ < rule_.positionals) {
    return Fail(std::string(rule_.word) + " needs " +
                (rule_.operation == RegOperation::kExport   ? "a key and a file"
                 : rule_.operation == RegOperation::kImport ? "a file"
                                                            : "a key"));
  }
  if (seen_.count("/v") + seen_.count("/ve") + seen_.count("/va") > 1) {
    return Fail("use only one of /v, /ve and /va");
  }
  if (seen_.count("/s") && add_ && command_->type != REG_MULTI_SZ) {
    return Fail("/s separates the strings of REG_MULTI_SZ data only");
  }
  return true;
}

}  // namespace

bool ParseRegCommandLine(const std::vector<std::string>& arguments, RegCommandLine* command,
                         std::string* error) {
  *command = RegCommandLine();
  if (arguments.empty()) {
    *error = "Invalid syntax: an operation is missing. Type \"dovetune-reg --help\" for usage.";
    return false;
  }
  const std::string first = Lower(arguments[0]);
  if (IsHelpWord(first) || first == "/help" || first == "--help" || first == "-h") {
    command->operation = RegOperation::kHelp;
    return true;
  }
  if (first == "--version") {
    command->operation = RegOperation::kVersion;
    return true;
  }
  for (const OperationRule& rule : kOperations) {
    if (strcasecmp(arguments[0].c_str(), rule.word) == 0) {
      command->operation = rule.operation;
      return Parser(rule, command, error).Parse(arguments);
    }
  }
  *error = "Invalid operation \"" + arguments[0] + "\": use query, add, delete, export or import";
  return false;
}

bool IsRegOperation(const std::string& word) {
  for (const OperationRule& rule : kOperations) {
    if (strcasecmp(word.c_str(), rule.word) == 0) return true;
  }
  return false;
}

std::string RegUsage(RegOperation operation) {
  for (const OperationRule& rule : kOperations) {
    if (rule.operation == operation) {
      return std::string("Usage: dovetune-reg") + (rule.usage + 1) + rule.details;
    }
  }
  std::string usage =
      "Usage: dovetune-reg OPERATION [ARGUMENTS]\n"
      "Looks into and changes the embedded registry that dovetune uses.\n"
      "\n";
  for (const OperationRule& rule : kOperations) usage += rule.usage;
  // "/?" unquoted is a glob to the shell: it would match a one-letter file in /.
  return usage +
         "\n"
         "dovetune-reg OPERATION '/?' tells more of one operation; --version the version.\n"
         "KEY is ROOT\\SUBKEY with ROOT one of HKLM, HKCU, HKCR, HKU, HKCC\n"
         "(or HKEY_LOCAL_MACHINE and the other long names).\n"
         "TYPE is REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD,\n"
         "REG_QWORD, REG_BINARY or REG_NONE.\n"
         "/f overwrites a value or deletes without asking: this tool never asks,\n"
         "so without /f it refuses. /y lets export replace an existing file.\n"
         "A FILE of - is standard output for export and standard input for import.\n"
         "The registry is $DOVETUNE_REGISTRY; else the Wine prefix $WINEPREFIX names;\n"
         "else Wine's default prefix ~/.wine when it holds user.reg; else dovetune's\n"
         "own store, registry.db in $XDG_CONFIG_HOME/dovetune or ~/.config/dovetune.\n"
         "The last line says which one a run uses. Exit status 0 on success, 1 on failure,\n"
         "2 for an unknown operation.\n";
}

}  // namespace dovetune
