// A word as a POSIX shell reads it back unchanged: for commands that a
// message tells the user to type.
#pragma once

#include <string>

namespace dovetune {

// |word| in single quotes, each quote in it written as '\''.
inline std::string ShellQuote(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace dovetune
