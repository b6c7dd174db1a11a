// CRegistry: the program's only door to the registry. An object holds at most
// one open key, which it releases when destroyed, reopened or descended from,
// and offers the few operations the preset store needs. Failures are reported
// as false and never printed.
#pragma once

#include <string>

#include "registry/win32_api.h"

namespace dovetune {

class CRegistry {
 public:
  CRegistry();
  // Opens |strPath| beneath |hRoot|; a failed open leaves no key held.
  CRegistry(HKEY hRoot, const std::string& strPath);
  virtual ~CRegistry();
  CRegistry(const CRegistry&) = delete;
  CRegistry& operator=(const CRegistry&) = delete;

  void Close();
  bool Open(HKEY hRoot, const std::string& strPath);
  // Whether the subkey can be opened; the held key stays as it is.
  bool KeyExists(const std::string& strName);
  // Opens the subkey, creating every missing level, and holds it instead.
  bool CreateKey(const std::string& strName);
  // Opens the subkey and holds it instead; on failure holds no key at all.
  bool OpenKey(const std::string& strName);
  // Reads a REG_DWORD of exactly 4 bytes; anything else fails and leaves
  // |dwValue| as it was.
  bool ReadDword(const std::string& strName, DWORD& dwValue);
  bool WriteDword(const std::string& strName, DWORD dwValue);
  // Deletes |strPath| beneath |hRoot|; the held key is neither used nor changed.
  bool DeleteKey(HKEY hRoot, const std::string& strPath);
  // Each call yields the next subkey or value name; at the end the result is
  // false and the next call starts again from the first.
  bool EnumKey(std::string& strName);
  bool EnumValue(std::string& strName);

  bool IsOpen() const { return m_hKey != nullptr; }
  // The held key's path, starting with the root key's name.
  const std::string& GetPath() const { return m_strPath; }

 private:
  void Hold(HKEY hKey);

  HKEY m_hKey;
  std::string m_strPath;
  DWORD m_nValueIndex;
  DWORD m_nKeyIndex;
};

}  // namespace dovetune
