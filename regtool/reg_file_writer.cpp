#include "regtool/reg_file_writer.h"

#include <cinttypes>
#include <cstdio>

#include "base/hex.h"
#include "base/little_endian.h"
#include "base/utf.h"

namespace dovetune {

namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00\r\n";

// Hex data is wrapped before a byte that would take the line past this width.
constexpr size_t kHexLineLimit = 76;

// A name or text that a .reg line can carry: UTF-8 without line breaks.
bool IsWritableText(const std::string& text) {
  return IsValidUtf8(text) && text.find_first_of("\r\n") == std::string::npos;
}

std::string Quote(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

// A string value the editor writes between quotes: one terminating zero and
// no other, and nothing a line could not hold.
bool IsQuotableString(const RegValue& value) {
  const std::string& data = value.data;
  return value.type == REG_SZ && !data.empty() && data.find('\0') == data.size() - 1 &&
         IsWritableText(data.substr(0, data.size() - 1));
}

std::string HexPrefix(DWORD type) {
  if (type == REG_BINARY) return "hex:";
  char prefix[24];
  std::snprintf(prefix, sizeof(prefix), "hex(%" PRIx32 "):", type);
  return prefix;
}

std::string WrappedHex(const std::string& start, const std::string& bytes) {
  std::string line = start;
  size_t width = Utf16Length(start);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0 && width > kHexLineLimit) {
      line += "\\\r\n  ";
      width = 2;
    }
    AppendHexByte(bytes[i], false, &line);
    width += 2;
    if (i + 1 < bytes.size()) {
      line.push_back(',');
      ++width;
    }
  }
  return line;
}

bool IsTextType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace

bool CanWriteKey(const std::string& full_path, std::string* error) {
  if (IsWritableText(full_path)) return true;
  *error = "the key \"" + full_path +
           "\" cannot be written to a .reg file (it is not UTF-8, or it holds a line break)";
  return false;
}

bool CanWriteValue(const RegValue& value, std::string* error) {
  if (!IsWritableText(value.name)) {
    *error = "the value name \"" + value.name + "\" cannot be written to a .reg file" +
             " (it is not UTF-8, or it holds a line break)";
    return false;
  }
  if (IsTextType(value.type) && !IsValidUtf8(value.data)) {
    *error = "the value \"" + DisplayName(value.name) +
             "\" holds text that is not UTF-8 and cannot be written to a .reg file";
    return false;
  }
  return true;
}

bool FormatValueLine(const RegValue& value, std::string* line, std::string* error) {
  if (!CanWriteValue(value, error)) return false;
  const std::string start = (value.name.empty() ? "@" : Quote(value.name)) + "=";
  if (IsQuotableString(value)) {
    *line = start + Quote(value.data.substr(0, value.data.size() - 1));
    return true;
  }
  if (value.type == REG_DWORD && value.data.size() == 4) {
    char number[24];
    const uint32_t dword = static_cast<uint32_t>(DecodeLittleEndian(value.data));
    std::snprintf(number, sizeof(number), "dword:%08" PRIx32, dword);
    *line = start + number;
    return true;
  }
  std::string bytes = value.data;
  if (IsTextType(value.type)) Utf8ToUtf16Le(value.data, &bytes);  // UTF-8, as checked
  *line = WrappedHex(start + HexPrefix(value.type), bytes);
  return true;
}

RegFileWriter::RegFileWriter() : text_(kHeader) {}

bool RegFileWriter::AddKey(const std::string& full_path, std::string* error) {
  if (!CanWriteKey(full_path, error)) return false;
  text_ += "\r\n[" + full_path + "]\r\n";
  return true;
}

bool RegFileWriter::AddValue(const RegValue& value, std::string* error) {
  std::string line;
  if (!FormatValueLine(value, &line, error)) return false;
  text_ += line + "\r\n";
  return true;
}

std::string RegFileWriter::Text() const { return text_ + "\r\n"; }

std::string RegFileWriter::Encode() const {
  std::string utf16;
  Utf8ToUtf16Le(Text(), &utf16);  // every piece was checked as it was added
  return "\xFF\xFE" + utf16;
}

}  // namespace dovetune
