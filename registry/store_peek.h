// A look into a SQLite store that no run has open: what another store than
// the run's holds, read without changing, creating or waiting for it.
#pragma once

#include <string>
#include <vector>

namespace dovetune {

// The names of the subkeys of HKEY_CURRENT_USER\|key_path| in the SQLite
// store at |path|. The file is opened for reading only and never created; a
// run that holds it is not waited for. False when the file is missing, is no
// store, is held, or lacks the key.
bool PeekSubkeyNames(const std::string& path, const std::string& key_path,
                     std::vector<std::string>* names);

}  // namespace dovetune
