#include "tests/support/platform.h"

#include <cctype>

#ifdef _WIN32
#include <windows.h>
#endif

namespace dovetune {

bool OnSystemRegistry() {
#ifdef _WIN32
  return true;
#else
  return false;
#endif
}

bool RunningOnWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
  return false;
#endif
}

bool RegistryKeepsValueCreationOrder() { return !RunningOnWine(); }

bool RegistrySortsByUpperCaseForms() { return !RunningOnWine(); }

bool LessByLowerCaseForms(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) <
           std::tolower(static_cast<unsigned char>(y));
  });
}

size_t LongestKeyNameComponent() { return RunningOnWine() ? 256 : 255; }

std::string NarrowText(const wchar_t* text) {
#ifdef _WIN32
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, &lossy);
  if (size <= 0 || lossy) return std::string();
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], size, nullptr, nullptr);
  narrow.pop_back();  // the terminating zero
  return narrow;
#else
  std::string utf8;
  for (; *text; ++text) {
    const auto c = static_cast<char32_t>(*text);
    if (c < 0x80) {
      utf8.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      utf8.push_back(static_cast<char>(0xE0 | (c >> 12)));
      utf8.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return utf8;
#endif
}

}  // namespace dovetune
