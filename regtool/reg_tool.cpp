// dovetune-reg's run: see reg_tool.h.
//
// A run is one transaction: its changes are kept only when the whole
// operation succeeds, and its output is printed only once they are kept.

#include "regtool/reg_tool.h"

#include <cstdio>
#include <string>
#include <vector>

#include "registry/registry_session.h"
#include "registry/running_wine.h"
#include "registry/win32_api.h"
#include "regtool/command_line.h"
#include "regtool/commands.h"
#include "regtool/wine_query.h"

namespace dovetune {

namespace {

int Fail(const std::string& error, int status = 1) {
  std::fprintf(stderr, "ERROR: %s\n", error.c_str());
  return status;
}

// Help and the version need no store: they are answered before it opens.
bool NeedsNoStore(const RegCommandLine& command) {
  return command.help || command.operation == RegOperation::kHelp ||
         command.operation == RegOperation::kVersion;
}

// A store may lack roots: a Wine prefix's user.reg holds HKEY_CURRENT_USER alone.
bool HasRoot(HKEY root) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, "", 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// While Wine runs in the prefix, Wine's own reg does the work on what Wine
// holds (a query excepted: see wine_query.h), with the same arguments but for
// the file of export and import, named as the prefix's programs reach it.
int RunWineReg(const std::string& store_path, const RegCommandLine& command,
               std::vector<std::string> arguments) {
  const std::string prefix = WinePrefixFolder(store_path);
  std::string error;
  if (!WineCarriesArguments(arguments, &error)) return Fail(error);
  const bool has_file =
      command.operation == RegOperation::kExport || command.operation == RegOperation::kImport;
  if (has_file) {
    // The file is the last argument that names it (switches may come between).
    size_t at = arguments.size() - 1;
    while (at > 0 && arguments[at] != command.file) --at;
    if (command.file == kStandardStream) {
      return Fail(
          "Wine is running in this prefix, and its reg reads and writes files only: name "
          "a file in place of '-'");
    }
    if (at == 0 || !WindowsPathOf(prefix, command.file, &arguments[at], &error)) {
      return Fail(error.empty() ? "no file named" : error);
    }
  }
  arguments.insert(arguments.begin(), "reg");
  const int status = RunUnderWine(prefix, arguments, &error);
  return error.empty() ? status : Fail(error);
}

// Runs the operation on the store at |store_path| and keeps its changes: 0,
// or the status to exit with after saying why.
int RunOnStore(const std::string& store_path, const RegCommandLine& command,
               CRegistrySession* session, std::string* out) {
  std::string error;
  if (!session->Open(store_path, &error)) return Fail(error);
  if (command.key.root && !HasRoot(command.key.root)) {
    return Fail(command.key.root_name +
                " is not there: only HKEY_CURRENT_USER is available in a Wine prefix");
  }
  if (!RunRegCommand(command, out, &error)) {
    // A status such as "could not be read or written" has its cause in the store.
    const std::string cause = session->StoreFailure();
    return Fail(cause.empty() ? error : error + " (" + cause + ")");
  }
  if (!session->Commit(&error)) return Fail(error);
  const std::string notice = session->Notice();
  if (!notice.empty()) std::fprintf(stderr, "Note: %s\n", notice.c_str());
  return 0;
}

}  // namespace

int RunRegTool(const std::vector<std::string>& arguments) {
  RegCommandLine command;
  std::string error;
  if (!ParseRegCommandLine(arguments, &command, &error)) {
    // An operation it does not know is a mistake of another kind than a
    // wrong switch, as it is for dovetune's command words.
    const bool unknown = !arguments.empty() && !IsRegOperation(arguments[0]);
    return Fail(error, unknown ? 2 : 1);
  }

  StoreChoice choice;
  std::string no_choice;
  const bool chosen = CRegistrySession::ChooseStore(&choice, &no_choice);
  std::string out;
  CRegistrySession session;
  session.SetWaitNotice([] {
    std::fprintf(stderr, "dovetune-reg: waiting for another run to finish with the store \u2026\n");
  });
  if (NeedsNoStore(command)) {
    RunRegCommand(command, &out, &error);
    if (!command.help && command.operation == RegOperation::kHelp) {
      out += "Registry: " + (chosen ? DescribeStoreChoice(choice) : "none: " + no_choice) + "\n";
    }
  } else {
    if (!chosen) return Fail(no_choice);
    bool no_wine_seen = false;
    const bool wine_runs = WineRunsFor(choice.path, &no_wine_seen);
    if (wine_runs && command.operation != RegOperation::kQuery) {
      return RunWineReg(choice.path, command, arguments);
    }
    if (wine_runs) {
      if (!WineCarriesArguments(arguments, &error) ||
          !RunQueryThroughWine(WinePrefixFolder(choice.path), command, &out, &error)) {
        return Fail(error);
      }
    } else {
      if (no_wine_seen) session.SetNoWineSeen();
      const int status = RunOnStore(choice.path, command, &session, &out);
      if (status != 0) return status;
    }
  }
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    return Fail("cannot write to standard output");
  }
  return 0;
}

}  // namespace dovetune
