// Reads .reg files: UTF-16LE with a BOM as the Windows registry editor writes
// them, or UTF-8; the "Windows Registry Editor Version 5.00" header or the
// older "REGEDIT4"; [KEY] and [-KEY] sections; "name"= and @= value lines
// with quoted strings, dword: and hex(N): data (continued over lines ending
// in a backslash) or - to delete the value; comments after a semicolon.
#pragma once

#include <string>
#include <vector>

#include "regtool/key_path.h"
#include "regtool/value_data.h"

namespace dovetune {

// One change the file asks for, with the line it starts on.
struct RegFileChange {
  enum class Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = Kind::kCreateKey;
  int line = 0;
  KeyPath key;
  RegValue value;  // the name for value changes; type and data for kSetValue
};

// Reads a whole file. Nothing is returned unless all of it is well-formed;
// otherwise |error| reads "line N: REASON".
bool ParseRegFile(const std::string& bytes, std::vector<RegFileChange>* changes,
                  std::string* error);

}  // namespace dovetune
