// Reading a whole file (writing one whole is base/replace_file.h's job).
#pragma once

#include <string>

namespace dovetune {

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);
bool ReadStandardInput(std::string* bytes, std::string* error);

bool FileExists(const std::string& path);

}  // namespace dovetune
