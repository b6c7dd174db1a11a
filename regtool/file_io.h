// Reading a whole file, and writing one whole or not at all.
#pragma once

#include <string>

namespace dovetune {

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);
bool ReadStandardInput(std::string* bytes, std::string* error);

// Writes |bytes| to a temporary file beside |path| and renames it into place,
// so that a failure leaves whatever was at |path| as it was.
bool ReplaceFile(const std::string& path, const std::string& bytes, std::string* error);

bool FileExists(const std::string& path);

}  // namespace dovetune
