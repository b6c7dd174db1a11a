// Where the embedded registry's file lives, and how a fresh one comes to be:
// whole or not at all, with a private folder and file.
#pragma once

#include <string>

#include "registry/store_choice.h"

namespace dovetune {

// dovetune's own store: registry.db in the dovetune folder of
// $XDG_CONFIG_HOME, else of $HOME/.config (relative values of either are
// ignored, and HOME falls back to the password database only when unset).
// Empty when neither names a folder.
std::string OwnStoreFilePath(const EnvironmentLookup& environment);

// Chooses the registry of a run, as Wine chooses its prefix:
//   DOVETUNE_REGISTRY when set and not empty;
//   else WINEPREFIX when set, which must then be an absolute path to a folder
//     holding user.reg (false otherwise: nothing is made there, since Wine
//     would take a folder it finds without user.reg for a prefix to make);
//   else ~/.wine when it holds user.reg;
//   else dovetune's own store.
// Reads the environment through |environment| and only looks at files.
bool ChooseStore(const EnvironmentLookup& environment, StoreChoice* choice, std::string* error);

// Makes sure |path| names a store file that can be opened: an existing regular,
// readable, non-empty file is left as it is; a missing one is created as a
// fresh registry (missing folders with mode 0700, the file with mode 0600),
// and a failure leaves none of the folders or files it made. |created|, when
// given, says whether this call created it.
bool PrepareStoreFile(const std::string& path, std::string* error, bool* created = nullptr);

}  // namespace dovetune
