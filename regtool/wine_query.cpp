#include "regtool/wine_query.h"

#include <memory>
#include <vector>

#include "base/scratch_folder.h"
#include "registry/registry_session.h"
#include "registry/running_wine.h"
#include "registry/stores/memory_store.h"
#include "regtool/file_commands.h"
#include "regtool/query_command.h"

namespace dovetune {

bool RunQueryThroughWine(const std::string& prefix, const RegCommandLine& command, std::string* out,
                         std::string* error) {
  ScratchFolder folder;
  if (!folder.Make("dovetune-reg", error)) return false;
  RegCommandLine import;
  import.operation = RegOperation::kImport;
  import.file = folder.path() + "/key.reg";
  std::string windows_file, printed;
  if (!WindowsPathOf(prefix, import.file, &windows_file, error)) return false;
  const std::vector<std::string> arguments = {"reg", "export", command.key.Full(), windows_file,
                                              "/y"};
  const int status = RunUnderWineQuietly(prefix, arguments, &printed, error);
  if (!error->empty()) return false;

  CRegistrySession copy;
  auto contents = MemoryStore::Fresh({}, MemoryStore::Order::kAsWine);
  if (!copy.Open(std::make_unique<MemoryStore>(contents), "Wine's registry", error)) return false;
  // A key Wine's reg cannot export is one the copy lacks: the query then
  // says so as it does on the prefix itself.
  if (status == 0 && !RunImport(import, &printed, error)) return false;
  return RunQuery(command, out, error);
}

}  // namespace dovetune
