// Value types by their reg names, the data reg's /d switch takes for each
// type, and the data as reg's query prints it. Text data is kept as the
// store keeps it: UTF-8, each string ended by a zero byte.
#pragma once

#include <string>

#include "registry/win32_api.h"

namespace dovetune {

// One value: its name (empty for the default value), type and bytes.
struct RegValue {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;
};

// REG_SZ and the other names reg's /t accepts, without regard to letter case.
bool ParseTypeName(const std::string& name, DWORD* type);
// The name reg prints for |type|; types of no name print as their number.
std::string TypeName(DWORD type);

// Turns /d DATA into the value's bytes. REG_MULTI_SZ strings are separated by
// |separator|, or by the two characters \0 when it is empty. On failure
// |error| says why.
bool ParseCommandLineData(DWORD type, const std::string& data, const std::string& separator,
                          std::string* bytes, std::string* error);

// The data as the value lines of reg's query show it.
std::string FormatQueryData(DWORD type, const std::string& bytes);

// The value's name as query shows it: "(Default)" for the default value.
std::string DisplayName(const std::string& name);

}  // namespace dovetune
