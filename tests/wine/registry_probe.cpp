// A Windows program run under Wine by the Wine prefix tests: it stores, through
// Wine's own registry, values that are awkward to write back in Wine's file
// format, so that the tests can check that the file comes back byte for byte.
// Every value type, escapes, control and non-ASCII characters, binary data
// around the line-wrap width, a key class and a symbolic link key.
// Exits 0 when every call succeeded.

#include <windows.h>

#include <string>

namespace {

bool Set(HKEY key, const std::wstring& name, DWORD type, const void* data, size_t size) {
  return RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                        static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

bool SetText(HKEY key, const std::wstring& name, DWORD type, const std::wstring& text) {
  return Set(key, name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

bool StoreValues(HKEY key) {
  bool ok = true;
  const std::wstring awkward(
      L"q\"\\[]\a\b\t\n\v\f\r\x1b\x01"
      L"7\x02z\x7f\xe9"
      L"a\x20ac\xe9",
      24);
  ok &= SetText(key, L"", REG_SZ, L"default");
  ok &= SetText(key, awkward, REG_SZ, awkward);
  ok &= SetText(key, L"expand", REG_EXPAND_SZ, L"%PATH%;\xe9");
  ok &= Set(key, L"multi", REG_MULTI_SZ, L"a\0b\0", 10);
  ok &= Set(key, L"odd", REG_SZ, "abc", 3);
  ok &= Set(key, L"empty sz", REG_SZ, "", 0);
  const DWORD number = 0x80000001;
  ok &= Set(key, L"dword", REG_DWORD, &number, 4);
  ok &= Set(key, L"short dword", REG_DWORD, &number, 2);
  const unsigned long long wide = 0x0123456789abcdefULL;
  ok &= Set(key, L"qword", REG_QWORD, &wide, 8);
  ok &= Set(key, L"none", REG_NONE, "", 0);
  ok &= Set(key, L"big endian", REG_DWORD_BIG_ENDIAN, &number, 4);
  std::string bytes;
  for (int size = 18; size <= 26; ++size) {
    bytes.assign(size * 3, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 37);
    ok &= Set(key, L"binary " + std::to_wstring(size), REG_BINARY, bytes.data(), bytes.size());
    ok &= Set(key, L"type 0x" + std::to_wstring(size), 0x100 + size, bytes.data(), size);
  }
  return ok;
}

}  // namespace

int main() {
  HKEY key = nullptr;
  wchar_t class_name[] = L"a \"class\" \xe9";
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Probe\\Awk[w]ard \xe9\x01", 0, class_name, 0,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return 1;
  }
  const bool stored = StoreValues(key);
  RegCloseKey(key);
  HKEY link = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Probe\\Link", 0, nullptr,
                      REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS, nullptr, &link,
                      nullptr) != ERROR_SUCCESS) {
    return 2;
  }
  const std::wstring target = L"\\Registry\\User\\S-1-5-21-0-0-0-1000\\Software\\Probe";
  const bool linked =
      Set(link, L"SymbolicLinkValue", REG_LINK, target.c_str(), target.size() * sizeof(wchar_t));
  RegCloseKey(link);
  return stored && linked ? 0 : 3;
}
