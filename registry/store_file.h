// Where the embedded registry's file lives, and how a fresh one comes to be:
// whole or not at all, with a private folder and file.
#pragma once

#include <string>

namespace dovetune {

// DOVETUNE_REGISTRY when set; otherwise registry.db in the dovetune folder of
// $XDG_CONFIG_HOME, else of $HOME/.config.
std::string DefaultStoreFilePath();

// Makes sure |path| names a store file that can be opened: an existing regular,
// readable, non-empty file is left as it is; a missing one is created as a
// fresh registry (missing folders with mode 0700, the file with mode 0600).
bool PrepareStoreFile(const std::string& path, std::string* error);

}  // namespace dovetune
