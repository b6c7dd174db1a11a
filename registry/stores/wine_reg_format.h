// A Wine registry file (user.reg and its kin) as a tree in memory: read with
// the rules wineserver reads it by, and written back byte for byte as
// wineserver writes it (server/registry.c: load_keys, save_all_subkeys).
//
// Names and string data stay in UTF-16 units, as Wine holds them, so that a
// key or value nobody changed is written back exactly as it was read. Keys and
// values are kept in Wine's order: by the lower-case form of their names, unit
// by unit, the shorter name first on equal prefixes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dovetune {

struct WineRegValue {
  std::u16string name;   // empty for the default value, written "@"
  std::u16string order;  // the lower-case name the values are sorted by
  uint32_t type = 0;
  std::string data;  // the bytes as Wine holds them: strings in UTF-16LE
};

struct WineRegKey {
  std::u16string name;
  std::u16string order;  // the lower-case name the subkeys are sorted by
  uint64_t time = 0;     // the last change, as a FILETIME
  bool has_class = false;
  std::u16string class_name;
  bool link = false;
  WineRegKey* parent = nullptr;
  std::vector<WineRegValue> values;                  // sorted by |order|
  std::vector<std::unique_ptr<WineRegKey>> subkeys;  // sorted by |order|
  // Where this key's block and its subkeys' lie in the text last matched
  // (MatchWineRegText); |changed| once anything there may differ from it.
  size_t text_begin = 0;
  size_t text_end = 0;
  bool changed = true;

  // Marks this key and the keys above it as no longer as matched. Every
  // change to a key must do this: the methods below do, and so must whoever
  // sets |time| or another field.
  void MarkChanged();

  // The subkey or value of that lower-case name; null when there is none.
  WineRegKey* FindSubkey(const std::u16string& order_name) const;
  WineRegValue* FindValue(const std::u16string& order_name);
  // Adds a subkey at its place. REQUIRES: none of that name exists.
  WineRegKey* AddSubkey(const std::u16string& name, uint64_t time);
  // Sets a value at its place; a value of the same name keeps its spelling.
  // Returns false when it already held exactly this type and data.
  bool SetValue(std::u16string name, uint32_t type, std::string data);
  bool DeleteValue(const std::u16string& order_name);
  void DeleteSubkey(const WineRegKey* subkey);
};

struct WineRegFile {
  std::string relative_to;  // the ";;" line that names the branch, as read
  std::string arch;         // "win32", "win64", or empty when the file has none
  WineRegKey root;
};

// Wine's lower-case form of a name, the form it sorts and compares names by.
std::u16string WineOrder(const std::u16string& name);

// Reads |text| as wineserver would. Fails, saying which line and why, on
// anything wineserver would refuse, drop or turn into an empty value: the
// first line, an unknown #arch, a malformed key or value, a stray line, a NUL
// byte, a name too long.
bool ParseWineReg(const std::string& text, WineRegFile* file, std::string* error);

// The file as wineserver would save this tree. With |matched|, the text the
// tree was last matched against (MatchWineRegText), the keys that have not
// changed since are copied from it rather than formatted again.
std::string FormatWineReg(const WineRegFile& file, const std::string* matched = nullptr);

// Whether |text| is byte for byte the file as wineserver would save this
// tree. When it is, notes where each key lies in it and marks every key
// unchanged, for FormatWineReg to copy from |text|.
bool MatchWineRegText(WineRegFile* file, const std::string& text);

// Names between the tree's UTF-16 and the registry's UTF-8. Units that are no
// character (a lone surrogate) pass through as their three-byte form, so that
// every name converts back unchanged.
std::string Utf16ToUtf8Lossless(const std::u16string& text);
std::u16string Utf8ToUtf16Lossless(const std::string& text);

// FILETIME of now, as wineserver stamps a change.
uint64_t WineTimeNow();

}  // namespace dovetune
