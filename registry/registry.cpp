#include "registry/registry.h"

#include <vector>

#include "base/little_endian.h"

namespace dovetune {

namespace {

// Room for the longest value name the registry allows, 16,383 UTF-16 units,
// in the narrow encoding, where one unit can take up to three bytes.
constexpr DWORD kLongestValueName = 3 * 16383 + 1;

const char* RootName(HKEY hRoot) {
  if (hRoot == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (hRoot == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (hRoot == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (hRoot == HKEY_USERS) return "HKEY_USERS";
  if (hRoot == HKEY_PERFORMANCE_DATA) return "HKEY_PERFORMANCE_DATA";
  if (hRoot == HKEY_CURRENT_CONFIG) return "HKEY_CURRENT_CONFIG";
  if (hRoot == HKEY_DYN_DATA) return "HKEY_DYN_DATA";
  return "CRegistry needs an update!";
}

// Asks for one subkey or value name into a buffer of |length| characters.
template <typename Call>
LONG FetchName(DWORD length, std::string& strName, Call call) {
  std::vector<char> buffer(length, '\0');
  DWORD passed = length;
  const LONG result = call(buffer.data(), &passed);
  if (result == ERROR_SUCCESS) strName.assign(buffer.data());
  return result;
}

// The first buffer for a subkey or value name: most names fit in it.
constexpr DWORD kShortName = 500;

}  // namespace

CRegistry::CRegistry() : m_hKey(nullptr), m_nValueIndex(0), m_nKeyIndex(0) {}

CRegistry::CRegistry(HKEY hRoot, const std::string& strPath) : CRegistry() { Open(hRoot, strPath); }

CRegistry::~CRegistry() { Close(); }

void CRegistry::Close() {
  if (!m_hKey) return;
  RegCloseKey(m_hKey);
  m_hKey = nullptr;
  m_strPath.clear();
  m_nValueIndex = 0;
  m_nKeyIndex = 0;
}

void CRegistry::Hold(HKEY hKey) {
  if (m_hKey) RegCloseKey(m_hKey);
  m_hKey = hKey;
  m_nValueIndex = 0;
  m_nKeyIndex = 0;
}

bool CRegistry::Open(HKEY hRoot, const std::string& strPath) {
  Close();
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(hRoot, strPath.c_str(), 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS) {
    return false;
  }
  m_hKey = hKey;
  m_strPath = std::string(RootName(hRoot)) + "\\" + strPath;
  return true;
}

bool CRegistry::KeyExists(const std::string& strName) {
  if (!m_hKey) return false;
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(m_hKey, strName.c_str(), 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(hKey);
  return true;
}

bool CRegistry::CreateKey(const std::string& strName) {
  if (!m_hKey) return false;
  HKEY hKey = nullptr;
  DWORD dwDisposition = 0;
  if (RegCreateKeyExA(m_hKey, strName.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &hKey, &dwDisposition) != ERROR_SUCCESS) {
    return false;
  }
  Hold(hKey);
  m_strPath += "\\" + strName;
  return true;
}

bool CRegistry::OpenKey(const std::string& strName) {
  m_strPath.append(1, '\\').append(strName);  // no temporary: presets are opened by the thousand
  HKEY hKey = nullptr;
  if (!m_hKey ||
      RegOpenKeyExA(m_hKey, strName.c_str(), 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS) {
    Hold(nullptr);
    return false;
  }
  Hold(hKey);
  return true;
}

bool CRegistry::ReadDword(const std::string& strName, DWORD& dwValue) {
  if (!m_hKey) return false;
  BYTE data[4] = {0, 0, 0, 0};
  DWORD dwType = REG_NONE;
  DWORD dwSize = sizeof(data);
  if (RegQueryValueExA(m_hKey, strName.c_str(), nullptr, &dwType, data, &dwSize) != ERROR_SUCCESS ||
      dwType != REG_DWORD || dwSize != sizeof(data)) {
    return false;
  }
  dwValue = static_cast<DWORD>(DecodeLittleEndian(data, sizeof(data)));
  return true;
}

bool CRegistry::WriteDword(const std::string& strName, DWORD dwValue) {
  if (!m_hKey) return false;
  const std::string data = EncodeLittleEndian(dwValue, 4);
  return RegSetValueExA(m_hKey, strName.c_str(), 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool CRegistry::DeleteKey(HKEY hRoot, const std::string& strPath) {
  return RegDeleteKeyA(hRoot, strPath.c_str()) == ERROR_SUCCESS;
}

bool CRegistry::EnumKey(std::string& strName) {
  auto call = [this](char* buffer, DWORD* length) {
    return RegEnumKeyExA(m_hKey, m_nKeyIndex, buffer, length, nullptr, nullptr, nullptr, nullptr);
  };
  LONG result = m_hKey ? FetchName(kShortName, strName, call) : ERROR_INVALID_HANDLE;
  if (result == ERROR_MORE_DATA) result = FetchName(1000, strName, call);
  if (result != ERROR_SUCCESS) {
    m_nKeyIndex = 0;
    return false;
  }
  ++m_nKeyIndex;
  return true;
}

bool CRegistry::EnumValue(std::string& strName) {
  // A name too long for the first buffer is asked for again with room for the
  // longest one the registry allows, so that no value is ever skipped.
  auto call = [this](char* buffer, DWORD* length) {
    return RegEnumValueA(m_hKey, m_nValueIndex, buffer, length, nullptr, nullptr, nullptr, nullptr);
  };
  LONG result = m_hKey ? FetchName(kShortName, strName, call) : ERROR_INVALID_HANDLE;
  if (result == ERROR_MORE_DATA) result = FetchName(kLongestValueName, strName, call);
  if (result != ERROR_SUCCESS) {
    m_nValueIndex = 0;
    return false;
  }
  ++m_nValueIndex;
  return true;
}

}  // namespace dovetune
