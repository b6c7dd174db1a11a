// Reading presets: whether one exists, their names, and the values of one.

#include "presets/preset_schema.h"
#include "presets/preset_store.h"
#include "registry/registry.h"

namespace dovetune {

bool CPresetStore::PresetExists(const std::string& strName) {
  if (strName == schema::kCurrent) return true;
  CRegistry presets(HKEY_CURRENT_USER, schema::kPresetsKeyPath);
  return presets.KeyExists(strName);
}

void CPresetStore::ListPresets(std::vector<std::string>& names) {
  ForEachPreset([&names](const std::string& name) { names.push_back(name); });
}

void CPresetStore::ForEachPreset(const std::function<void(const std::string&)>& each) {
  CRegistry presets(HKEY_CURRENT_USER, schema::kPresetsKeyPath);
  std::string name;
  while (presets.EnumKey(name)) each(name);
}

bool CPresetStore::OpenSettings(CRegistry& settings, const std::string& strName) {
  if (strName == schema::kCurrent) {
    return settings.Open(HKEY_CURRENT_USER, schema::kCurrentSettingsKeyPath);
  }
  return settings.Open(HKEY_CURRENT_USER, schema::kPresetsKeyPath) && settings.OpenKey(strName);
}

void CPresetStore::ReadPresetValues(const std::string& strName, std::vector<std::string>& names,
                                    std::vector<DWORD>& values) {
  CRegistry settings;
  OpenSettings(settings, strName);
  // Only 32-bit numbers are settings; anything else is left out of both lists
  // so that they stay paired.
  std::string name;
  while (settings.EnumValue(name)) {
    DWORD value = 0;
    if (!settings.ReadDword(name, value)) continue;
    names.push_back(name);
    values.push_back(value);
  }
}

}  // namespace dovetune
