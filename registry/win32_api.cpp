// The registry functions off Windows: each forwards to the embedded registry
// that the run's registry session opened. Without one, every handle is invalid.

#include "registry/win32_api.h"

#include "registry/embedded_registry.h"

using dovetune::EmbeddedRegistry;

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM /*samDesired*/,
                   PHKEY phkResult) {
  EmbeddedRegistry* registry = EmbeddedRegistry::Active();
  return registry ? registry->OpenKey(hKey, lpSubKey, phkResult) : ERROR_INVALID_HANDLE;
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/,
                     DWORD /*dwOptions*/, REGSAM /*samDesired*/,
                     LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
  EmbeddedRegistry* registry = EmbeddedRegistry::Active();
  return registry ? registry->CreateKey(hKey, lpSubKey, phkResult, lpdwDisposition)
                  : ERROR_INVALID_HANDLE;
}

LONG RegCloseKey(HKEY hKey) {
  EmbeddedRegistry* registry = EmbeddedRegistry::Active();
  return registry ? registry->CloseKey(hKey) : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD /*lpReserved*/, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
  EmbeddedRegistry* registry = EmbeddedRegistry::Active();
  return registry ? registry->QueryValue(hKey, lpValueName, lpType, lpData, lpcbData)
                  : ERROR_INVALID_HANDLE;
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
  EmbeddedRegistry* registry = EmbeddedRegistry::Active();
  return registry ? registry->SetValue(hKey, lpValueName, dwType, lpData, cbData)
                  : ERROR_INVALID_HANDLE;
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  EmbeddedRegistry* registry = EmbeddedRegistry::Active();
  return registry ? registry->DeleteKey(hKey, lpSubKey) : ERROR_INVALID_HANDLE;
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  EmbeddedRegistry* registry = EmbeddedRegistry::Active();
  return registry ? registry->DeleteValue(hKey, lpValueName) : ERROR_INVALID_HANDLE;
}

LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) {
  EmbeddedRegistry* registry = EmbeddedRegistry::Active();
  return registry ? registry->DeleteTree(hKey, lpSubKey) : ERROR_INVALID_HANDLE;
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                   LPDWORD /*lpReserved*/, LPSTR /*lpClass*/, LPDWORD /*lpcchClass*/,
                   PFILETIME /*lpftLastWriteTime*/) {
  EmbeddedRegistry* registry = EmbeddedRegistry::Active();
  return registry ? registry->EnumKey(hKey, dwIndex, lpName, lpcchName) : ERROR_INVALID_HANDLE;
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD /*lpReserved*/, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  EmbeddedRegistry* registry = EmbeddedRegistry::Active();
  return registry ? registry->EnumValue(hKey, dwIndex, lpValueName, lpcchValueName, lpType, lpData,
                                        lpcbData)
                  : ERROR_INVALID_HANDLE;
}
