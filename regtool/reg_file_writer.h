// Writes .reg files as the Windows registry editor does: the version 5.00
// header, one [KEY] section per key, value lines in the editor's forms, long
// hex data wrapped with backslashes, and in the end UTF-16LE with a BOM and
// CRLF line ends. Text is written so that reading it back gives the same bytes.
#pragma once

#include <string>

#include "regtool/value_data.h"

namespace dovetune {

class RegFileWriter {
 public:
  RegFileWriter();

  // Starts the section of a key, given by its full path.
  bool AddKey(const std::string& full_path, std::string* error);
  bool AddValue(const RegValue& value, std::string* error);

  // The file so far as UTF-8 text with CRLF line ends.
  std::string Text() const;
  // The file as it is written to disk.
  std::string Encode() const;

 private:
  std::string text_;
};

// The value's line (or lines, for long hex data), without the final CRLF.
bool FormatValueLine(const RegValue& value, std::string* line, std::string* error);

// Whether a .reg file can hold the key |full_path| and the value |value|; if
// not, |error| says why. The writer refuses exactly what these refuse, and so
// do the commands that put keys and values into the registry, so that what
// they keep can always be exported.
bool CanWriteKey(const std::string& full_path, std::string* error);
bool CanWriteValue(const RegValue& value, std::string* error);

}  // namespace dovetune
