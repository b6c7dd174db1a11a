// dovetune on a store that fails on purpose: the program's own code, with the
// store the session opens wrapped in a FaultyStore. Test-only, never
// installed. It reads two variables, which the shipped program ignores:
//   DOVETUNE_TEST_FAULT=N:KIND  fail store operation N and all after it with
//                               KIND (io, full, read-only, damaged, busy, memory)
//   DOVETUNE_TEST_OPERATIONS=FILE  write the number of store operations there

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "app/program.h"
#include "registry/registry_session.h"
#include "registry/stores/faulty_store.h"

using namespace dovetune;  // NOLINT(google-build-using-namespace)

namespace {

bool ReadFault(FaultPlan* plan) {
  const char* text = std::getenv("DOVETUNE_TEST_FAULT");
  if (!text || !*text) return true;
  const std::string fault = text;
  const size_t colon = fault.find(':');
  if (colon == std::string::npos) return false;
  plan->fail_at = std::atoi(fault.substr(0, colon).c_str());
  return plan->fail_at > 0 && ParseStoreFailure(fault.substr(colon + 1), &plan->kind);
}

void WriteOperations(int operations) {
  const char* path = std::getenv("DOVETUNE_TEST_OPERATIONS");
  if (path && *path) std::ofstream(path) << operations << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  FaultPlan plan;
  if (!ReadFault(&plan)) return FatalError("DOVETUNE_TEST_FAULT is not N:KIND");
  const std::string path = CRegistrySession::DefaultStorePath();
  std::string error;
  std::unique_ptr<KeyStore> store = OpenStoreAt(path, &error);
  if (!store) return FatalError(path + ": " + error);
  int status;
  {
    CRegistrySession session;
    status = session.Open(std::make_unique<FaultyStore>(std::move(store), &plan), path, &error)
                 ? RunProgram(session, argc, argv)
                 : FatalError(error);
  }
  WriteOperations(plan.operations);
  return status;
}
