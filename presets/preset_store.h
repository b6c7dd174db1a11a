// CPresetStore: every operation on presets and on the current settings. It
// holds no settings itself: each operation opens the keys it needs, works,
// and lets them go; the registry is the only state but for the first change
// the registry refused, kept so that the run can say so. It never prints.
//
// Its operations are in files named after them: preset_store.cpp changes the
// tree (Initialize, CreatePreset, CopyPreset, DeletePreset); read_presets.cpp
// reads it (PresetExists, ListPresets, ForEachPreset, ReadPresetValues);
// edit_preset.cpp applies parameter words (EditPreset); describe_preset.cpp
// makes the one-line summary (DescribePreset).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "registry/win32_api.h"

namespace dovetune {

class CRegistry;

class CPresetStore {
 public:
  // Makes sure the tree, the "default" preset and the current settings exist.
  void Initialize();
  // Copies every 32-bit number of |strSource| into |strDestination|, creating
  // the destination preset when the source exists and the destination is missing.
  void CopyPreset(const std::string& strSource, const std::string& strDestination);

  // Creates the preset |strName| as a copy of |strSource|. When the registry
  // refuses the key (a name too long, say), removes the levels of the name
  // this call made, so that nothing of it is left, and returns false.
  bool CreatePreset(const std::string& strSource, const std::string& strName);

  bool PresetExists(const std::string& strName);
  void ListPresets(std::vector<std::string>& names);
  // Calls |each| with every preset name in the order ListPresets lists them,
  // one at a time as the registry enumerates them, so that a listing of
  // thousands is never held as a list of names. |each| may use the store; a
  // preset it creates or deletes may then be seen or missed.
  void ForEachPreset(const std::function<void(const std::string&)>& each);
  // Appends the name and number of every 32-bit value of the settings set.
  void ReadPresetValues(const std::string& strName, std::vector<std::string>& names,
                        std::vector<DWORD>& values);
  // Whether the preset was deleted; a preset with keys beneath it is not.
  bool DeletePreset(const std::string& strName);

  // Applies the parameters of a whole command line to the settings set.
  // Words it does not know are ignored, as are the digits "-cbr" finds none
  // of; the result says so for each, in words for the user ("ignoring unknown
  // parameter '-downmixx'"). Only what follows the preset name (argument 2)
  // is taken for a parameter that way.
  std::vector<std::string> EditPreset(const std::string& strName, const char* const* argv,
                                      int argc);

  // The one-line summary of a settings set's rate control and flags.
  std::string DescribePreset(const std::string& strName);

  // The first change an operation meant to make and the registry refused (the
  // key's path and what was refused), or empty when there was none: a run
  // with one has not done what it was asked.
  const std::string& FailedChange() const { return m_strFailedChange; }

 private:
  // Opens in |settings| the key of the settings set |strName|: the current
  // settings key for "current", else the preset's; false when it cannot.
  static bool OpenSettings(CRegistry& settings, const std::string& strName);
  // Writes one setting into |settings|, the open key of the settings set
  // |strSet|, noting a refusal.
  void WriteSetting(CRegistry& settings, const std::string& strSet, const std::string& strName,
                    DWORD dwValue);
  // The full path of the settings set |strSet|'s key, for the user.
  static std::string SettingsKeyPath(const std::string& strSet);
  // Notes |strChange| as refused unless an earlier change was.
  void NoteFailedChange(const std::string& strChange);

  std::string m_strFailedChange;
};

}  // namespace dovetune
