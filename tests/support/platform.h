// Test support: the registry the tests run against, and the few behaviours in
// which the registries we test on knowingly differ. Off Windows the tests run
// on our embedded store, which follows Windows; on Windows they run on the
// system registry, which under Wine differs from Windows in the ways named
// here. A test that meets one of these asks for the behaviour of the registry
// it runs on, so that each registry is held to its own behaviour exactly.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace dovetune {

// Whether the registry functions reach the system's registry (Windows, or
// Wine) rather than our embedded store.
bool OnSystemRegistry();

// Whether the tests run under Wine.
bool RunningOnWine();

// Windows and the store enumerate a key's values in the order they were
// created; Wine enumerates them sorted by name, as it sorts subkeys.
bool RegistryKeepsValueCreationOrder();

// Subkeys come sorted by name without regard to case. Windows and the store
// compare the names' upper-case forms; Wine compares their lower-case forms,
// which puts the characters between 'Z' and 'a' ("_", "^" ...) before the
// letters rather than after them.
bool RegistrySortsByUpperCaseForms();

// Whether |a| comes before |b| when compared by their lower-case forms.
bool LessByLowerCaseForms(const std::string& a, const std::string& b);

// |items|, given in the order their values were created, in the order the
// registry enumerates the values; |name_of| gives an item's value name.
template <typename Item, typename NameOf>
std::vector<Item> InValueOrder(std::vector<Item> items, NameOf name_of) {
  if (!RegistryKeepsValueCreationOrder()) {
    std::stable_sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
      return LessByLowerCaseForms(name_of(a), name_of(b));
    });
  }
  return items;
}

inline std::vector<std::string> InValueOrder(std::vector<std::string> names) {
  return InValueOrder(std::move(names), [](const std::string& name) { return name; });
}

// The longest key-name component the registry accepts: 255 characters on
// Windows and in the store, 256 under Wine.
size_t LongestKeyNameComponent();

// |text| in the narrow character set the registry functions take: UTF-8 for
// the store, the ANSI code page on Windows. Empty when a character has no
// form there.
std::string NarrowText(const wchar_t* text);

}  // namespace dovetune
