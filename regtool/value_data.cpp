#include "regtool/value_data.h"

#include <strings.h>

#include <cinttypes>
#include <cstdio>

#include "base/hex.h"
#include "base/little_endian.h"

namespace dovetune {

namespace {

struct TypeNameEntry {
  DWORD type;
  const char* name;
  bool addable;  // reg's add writes it; the others can only come from a .reg file
};

const TypeNameEntry kTypeNames[] = {
    {REG_NONE, "REG_NONE", true},
    {REG_SZ, "REG_SZ", true},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ", true},
    {REG_BINARY, "REG_BINARY", true},
    {REG_DWORD, "REG_DWORD", true},
    {5, "REG_DWORD_BIG_ENDIAN", false},
    {6, "REG_LINK", false},
    {REG_MULTI_SZ, "REG_MULTI_SZ", true},
    {8, "REG_RESOURCE_LIST", false},
    {9, "REG_FULL_RESOURCE_DESCRIPTOR", false},
    {10, "REG_RESOURCE_REQUIREMENTS_LIST", false},
    {REG_QWORD, "REG_QWORD", true},
};

// A number in decimal, or in hex after 0x, no larger than |largest|.
bool ParseNumber(const std::string& text, uint64_t largest, uint64_t* number) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const unsigned base = hex ? 16 : 10;
  if (text.empty()) return false;
  uint64_t value = 0;
  for (size_t i = hex ? 2 : 0; i < text.size(); ++i) {
    const int digit = HexDigitValue(text[i]);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) return false;
    if (value > (largest - static_cast<uint64_t>(digit)) / base) return false;
    value = value * base + static_cast<uint64_t>(digit);
  }
  *number = value;
  return true;
}

bool ParseHexDigits(const std::string& text, std::string* bytes) {
  if (text.size() % 2 != 0) return false;
  std::string out;
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigitValue(text[i]);
    const int low = HexDigitValue(text[i + 1]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<char>(high * 16 + low));
  }
  *bytes = std::move(out);
  return true;
}

bool ParseMultiString(const std::string& data, const std::string& separator, std::string* bytes,
                      std::string* error) {
  const std::string split_at = separator.empty() ? "\\0" : separator;
  std::string out;
  if (!data.empty()) {
    for (size_t start = 0;;) {
      const size_t end = data.find(split_at, start);
      const std::string item = data.substr(start, end - start);
      if (item.empty()) {
        *error = "REG_MULTI_SZ data cannot hold an empty string";
        return false;
      }
      out += item;
      out.push_back('\0');
      if (end == std::string::npos) break;
      start = end + split_at.size();
    }
  }
  out.push_back('\0');
  *bytes = std::move(out);
  return true;
}

std::string MultiStringForQuery(const std::string& bytes) {
  std::string text;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\0', start);
    if (end == std::string::npos) end = bytes.size();
    if (end == start) break;  // the empty string that ends the list
    if (!text.empty()) text += "\\0";
    text += bytes.substr(start, end - start);
    start = end + 1;
  }
  return text;
}

// Bytes as upper-case hex digits without separators.
std::string HexDigits(const std::string& bytes) {
  std::string text;
  for (const char byte : bytes) AppendHexByte(byte, true, &text);
  return text;
}

}  // namespace

bool ParseTypeName(const std::string& name, DWORD* type) {
  for (const TypeNameEntry& entry : kTypeNames) {
    if (entry.addable && strcasecmp(name.c_str(), entry.name) == 0) {
      *type = entry.type;
      return true;
    }
  }
  return false;
}

std::string TypeName(DWORD type) {
  for (const TypeNameEntry& entry : kTypeNames) {
    if (entry.type == type) return entry.name;
  }
  char text[16];
  std::snprintf(text, sizeof(text), "0x%" PRIx32, type);
  return text;
}

bool ParseCommandLineData(DWORD type, const std::string& data, const std::string& separator,
                          std::string* bytes, std::string* error) {
  uint64_t number = 0;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      *bytes = data + std::string(1, '\0');
      return true;
    case REG_MULTI_SZ:
      return ParseMultiString(data, separator, bytes, error);
    case REG_DWORD:
    case REG_QWORD: {
      const bool dword = type == REG_DWORD;
      if (!ParseNumber(data, dword ? UINT32_MAX : UINT64_MAX, &number)) {
        *error = "\"" + data + "\" is not a number for " + TypeName(type) +
                 " (decimal, or hex after 0x, from 0 to " +
                 (dword ? "0xffffffff" : "0xffffffffffffffff") + ")";
        return false;
      }
      *bytes = EncodeLittleEndian(number, dword ? 4 : 8);
      return true;
    }
    case REG_BINARY:
    case REG_NONE:
      if (ParseHexDigits(data, bytes)) return true;
      *error = "\"" + data + "\" is not data for " + TypeName(type) +
               " (pairs of hex digits, such as 00ff10)";
      return false;
    default:
      break;
  }
  *error = "data of type " + TypeName(type) + " cannot be written here";
  return false;
}

std::string FormatQueryData(DWORD type, const std::string& bytes) {
  char number[24];
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return bytes.substr(0, bytes.find('\0'));
    case REG_MULTI_SZ:
      return MultiStringForQuery(bytes);
    case REG_DWORD:
    case REG_QWORD:
      if (bytes.size() != (type == REG_DWORD ? 4u : 8u)) break;
      std::snprintf(number, sizeof(number), "0x%" PRIx64, DecodeLittleEndian(bytes));
      return number;
    default:
      break;
  }
  return HexDigits(bytes);
}

std::string DisplayName(const std::string& name) { return name.empty() ? "(Default)" : name; }

}  // namespace dovetune
