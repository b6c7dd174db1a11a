// Fuzzes the .reg reader with whole files (UTF-8 or UTF-16 bytes, any
// header). Besides crashes and sanitizer reports, it fails when a refusal
// gives no reason, and when a value it read, written back by the .reg writer
// with its key, reads back as anything but that key and that value.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "regtool/reg_file_reader.h"
#include "regtool/reg_file_writer.h"

using namespace dovetune;  // NOLINT(google-build-using-namespace)

namespace {

// Writes |change|'s value under its key and reads the file back.
void CheckRoundTrip(const RegFileChange& change) {
  RegFileWriter writer;
  std::string error;
  // The writer refuses what a .reg line cannot carry (a name with a line
  // break, say); the reader may have taken such a name from a continued line.
  if (!writer.AddKey(change.key.Full(), &error) || !writer.AddValue(change.value, &error)) return;
  std::vector<RegFileChange> again;
  if (!ParseRegFile(writer.Encode(), &again, &error))
    FuzzFailure("the writer's file is refused: " + error);
  if (again.size() != 2 || again[1].kind != RegFileChange::Kind::kSetValue) {
    FuzzFailure("the writer's file holds other changes");
  }
  const RegValue& value = again[1].value;
  if (again[1].key.Full() != change.key.Full() || value.name != change.value.name ||
      value.type != change.value.type || value.data != change.value.data) {
    FuzzFailure("a value changed on its way through the writer: " + change.value.name);
  }
}

void RunInput(const uint8_t* data, size_t size) {
  std::vector<RegFileChange> changes;
  std::string error;
  if (!ParseRegFile(std::string(reinterpret_cast<const char*>(data), size), &changes, &error)) {
    if (error.empty()) FuzzFailure("a file refused without a reason");
    return;
  }
  int line = 0;
  for (const RegFileChange& change : changes) {
    if (change.line <= line && change.kind != RegFileChange::Kind::kSetValue &&
        change.kind != RegFileChange::Kind::kDeleteValue) {
      FuzzFailure("keys out of line order");
    }
    line = change.line;
    if (change.kind == RegFileChange::Kind::kSetValue) CheckRoundTrip(change);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunOnFixedStack([data, size] { RunInput(data, size); });
  return 0;
}
