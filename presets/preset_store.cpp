// The operations that change the tree of settings sets: initialising it,
// creating and copying presets, deleting one; and what they share.

#include "presets/preset_store.h"

#include <vector>

#include "presets/preset_schema.h"
#include "registry/registry.h"

namespace dovetune {

void CPresetStore::Initialize() {
  // Each level is created only inside the one before it; where one cannot be
  // created nothing further is written, least of all into its parent.
  CRegistry presets(HKEY_CURRENT_USER, schema::kSoftwarePath);
  if (presets.CreateKey(schema::kMakerKeyName) && presets.CreateKey(schema::kProductKeyName) &&
      presets.CreateKey(schema::kPresetsKeyName) && !presets.KeyExists(schema::kDefault) &&
      presets.CreateKey(schema::kDefault)) {
    for (const schema::Setting& setting : schema::kFactorySettings) {
      WriteSetting(presets, schema::kDefault, setting.name, setting.value);
    }
  }

  CRegistry product(HKEY_CURRENT_USER, schema::kSoftwarePath);
  product.OpenKey(schema::kMakerKeyName);
  product.OpenKey(schema::kProductKeyName);
  if (product.IsOpen() && !product.KeyExists(schema::kCurrentSettingsKeyName) &&
      product.CreateKey(schema::kCurrentSettingsKeyName)) {
    CopyPreset(schema::kDefault, schema::kCurrent);
  }
}

namespace {

// The paths, beneath the presets key, of the levels of |name| that do not
// exist yet, outermost first.
std::vector<std::string> MissingLevels(CRegistry& presets, const std::string& name) {
  std::vector<std::string> missing;
  std::string path;
  for (size_t start = 0; start <= name.size();) {
    size_t end = name.find('\\', start);
    if (end == std::string::npos) end = name.size();
    if (end > start) {
      path += (path.empty() ? "" : "\\") + name.substr(start, end - start);
      if (!missing.empty() || !presets.KeyExists(path)) missing.push_back(path);
    }
    start = end + 1;
  }
  return missing;
}

}  // namespace

bool CPresetStore::CreatePreset(const std::string& strSource, const std::string& strName) {
  CRegistry presets(HKEY_CURRENT_USER, schema::kPresetsKeyPath);
  if (!presets.IsOpen()) return false;
  const std::vector<std::string> missing = MissingLevels(presets, strName);
  CRegistry created(HKEY_CURRENT_USER, schema::kPresetsKeyPath);
  if (!created.CreateKey(strName)) {
    // The registry makes the levels before the one it refuses; none of them
    // is a preset anyone asked for.
    for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
      presets.DeleteKey(HKEY_CURRENT_USER, std::string(schema::kPresetsDeletePath) + "\\" + *level);
    }
    return false;
  }
  CopyPreset(strSource, strName);
  return true;
}

void CPresetStore::CopyPreset(const std::string& strSource, const std::string& strDestination) {
  if (strSource == strDestination) return;

  CRegistry source;
  if (strSource == schema::kCurrent) {
    source.Open(HKEY_CURRENT_USER, schema::kCurrentSettingsKeyPath);
  } else {
    source.Open(HKEY_CURRENT_USER, schema::kPresetsKeyPath);
    if (!source.KeyExists(strSource)) return;
    source.OpenKey(strSource);
  }

  CRegistry destination;
  const bool opened = strDestination == schema::kCurrent
                          ? destination.Open(HKEY_CURRENT_USER, schema::kCurrentSettingsKeyPath)
                          : destination.Open(HKEY_CURRENT_USER, schema::kPresetsKeyPath) &&
                                destination.CreateKey(strDestination);
  if (!opened) {
    NoteFailedChange(SettingsKeyPath(strDestination) + ": the registry refused to open the key");
    return;
  }

  std::string name;
  while (source.EnumValue(name)) {
    DWORD value = 0;
    if (source.ReadDword(name, value)) WriteSetting(destination, strDestination, name, value);
  }
}

bool CPresetStore::DeletePreset(const std::string& strName) {
  CRegistry presets(HKEY_CURRENT_USER, schema::kPresetsKeyPath);
  return presets.DeleteKey(HKEY_CURRENT_USER,
                           std::string(schema::kPresetsDeletePath) + "\\" + strName);
}

void CPresetStore::WriteSetting(CRegistry& settings, const std::string& strSet,
                                const std::string& strName, DWORD dwValue) {
  if (!settings.WriteDword(strName, dwValue)) {
    NoteFailedChange(SettingsKeyPath(strSet) + ": the registry refused to write " + strName);
  }
}

std::string CPresetStore::SettingsKeyPath(const std::string& strSet) {
  const std::string path = strSet == schema::kCurrent
                               ? std::string(schema::kCurrentSettingsKeyPath)
                               : std::string(schema::kPresetsDeletePath) + "\\" + strSet;
  return "HKEY_CURRENT_USER\\" + path;
}

void CPresetStore::NoteFailedChange(const std::string& strChange) {
  if (m_strFailedChange.empty()) m_strFailedChange = strChange;
}

}  // namespace dovetune
