#include "regtool/reg_file_reader.h"

#include <utility>

#include "base/hex.h"
#include "base/little_endian.h"
#include "base/utf.h"

namespace dovetune {

namespace {

const char kVersion5Header[] = "Windows Registry Editor Version 5.00";
const char kVersion4Header[] = "REGEDIT4";

bool Fail(int line, const std::string& reason, std::string* error) {
  *error = "line " + std::to_string(line) + ": " + reason;
  return false;
}

std::string TrimRight(const std::string& text) {
  const size_t end = text.find_last_not_of(" \t\r");
  return end == std::string::npos ? "" : text.substr(0, end + 1);
}

std::string TrimLeft(const std::string& text) {
  const size_t start = text.find_first_not_of(" \t");
  return start == std::string::npos ? "" : text.substr(start);
}

// Splits the file into lines of UTF-8 text, decoding UTF-16LE after a BOM;
// line N of the file is (*lines)[N - 1].
bool DecodeLines(const std::string& bytes, std::vector<std::string>* lines, std::string* error) {
  const bool utf16 = bytes.compare(0, 2, "\xFF\xFE") == 0;
  if (bytes.compare(0, 2, "\xFE\xFF") == 0) {
    return Fail(1, "UTF-16 big-endian files are not supported", error);
  }
  const size_t unit = utf16 ? 2 : 1;
  size_t start = utf16 ? 2 : (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0);
  for (int number = 1; start < bytes.size() || number == 1; ++number) {
    size_t end = start;
    while (end + unit <= bytes.size() && !(bytes[end] == '\n' && (!utf16 || bytes[end + 1] == 0))) {
      end += unit;
    }
    if (end < bytes.size() && end + unit > bytes.size()) {
      return Fail(number, "the file ends in half a UTF-16 character", error);
    }
    std::string line = bytes.substr(start, end - start);
    if (utf16 ? !Utf16LeToUtf8(line, &line) : !IsValidUtf8(line)) {
      return Fail(number, utf16 ? "the line is not valid UTF-16 text" : "the line is not UTF-8",
                  error);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A carriage return inside a line would make a name or text that no
    // .reg file can hold again: the export of what was imported would fail.
    if (line.find('\r') != std::string::npos) {
      return Fail(number, "the line holds a carriage return before its end", error);
    }
    if (line.find('\0') != std::string::npos) {
      return Fail(number, "the line holds a zero character", error);
    }
    lines->push_back(std::move(line));
    start = end + unit;
  }
  return true;
}

// Whether only blanks or a comment follow |pos|.
bool RestIsBlank(const std::string& text, size_t pos) {
  const size_t next = text.find_first_not_of(" \t", pos);
  return next == std::string::npos || text[next] == ';';
}

// Reads a number of 1 to |max_digits| hex digits at |pos|.
bool ReadHexNumber(const std::string& text, size_t* pos, size_t max_digits, uint32_t* number) {
  uint32_t value = 0;
  size_t count = 0;
  while (*pos < text.size() && HexDigitValue(text[*pos]) >= 0 && count < max_digits) {
    value = value * 16 + static_cast<uint32_t>(HexDigitValue(text[*pos]));
    ++*pos;
    ++count;
  }
  *number = value;
  return count > 0 && (*pos >= text.size() || HexDigitValue(text[*pos]) < 0);
}

// Reads a quoted text at |pos| (on the opening quote) up to its closing quote.
bool ReadQuoted(const std::string& text, size_t* pos, std::string* out, std::string* reason) {
  std::string value;
  for (size_t at = *pos + 1; at < text.size(); ++at) {
    if (text[at] == '"') {
      *out = value;
      *pos = at + 1;
      return true;
    }
    if (text[at] != '\\') {
      value.push_back(text[at]);
      continue;
    }
    if (++at == text.size()) break;
    switch (text[at]) {
      case '\\':
      case '"':
        value.push_back(text[at]);
        break;
      case 'n':
        value.push_back('\n');
        break;
      case 'r':
        value.push_back('\r');
        break;
      default:
        *reason = std::string("unknown escape \\") + text[at] + " in quoted text";
        return false;
    }
  }
  *reason = "a quoted text is not closed";
  return false;
}

bool ParseHexBytes(const std::string& text, std::string* bytes, std::string* reason) {
  std::string list = TrimRight(text.substr(0, text.find(';')));  // without a comment
  if (!list.empty() && list.back() == ',') list.pop_back();
  std::string out;
  size_t start = 0;
  while (!list.empty()) {
    const size_t comma = list.find(',', start);
    const std::string item =
        TrimRight(TrimLeft(list.substr(start, comma == std::string::npos ? comma : comma - start)));
    size_t pos = 0;
    uint32_t byte = 0;
    if (!ReadHexNumber(item, &pos, 2, &byte) || pos != item.size()) {
      *reason = "\"" + item + "\" is not a byte in hex";
      return false;
    }
    out.push_back(static_cast<char>(byte));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  *bytes = std::move(out);
  return true;
}

class Reader {
 public:
  Reader(const std::vector<std::string>& lines, std::vector<RegFileChange>* changes,
         std::string* error)
      : lines_(lines), changes_(changes), error_(error) {}

  bool Run();

 private:
  bool ReadHeader();
  bool ReadKeyLine(const std::string& text);
  bool ReadValueLine(size_t* index);
  bool ReadData(const std::string& data, size_t* index, RegFileChange* change);
  bool ReadHexData(const std::string& data, size_t* index, RegFileChange* change);
  // The rest of a value line with the lines it continues onto, joined.
  bool JoinContinuations(const std::string& first, size_t* index, std::string* joined);
  bool Fail(const std::string& reason) { return dovetune::Fail(line_number_, reason, error_); }

  const std::vector<std::string>& lines_;
  std::vector<RegFileChange>* changes_;
  std::string* error_;
  bool version5_ = true;
  int line_number_ = 1;
  enum class Section { kNone, kKey, kDeletedKey } section_ = Section::kNone;
  KeyPath key_;
};

bool Reader::Run() {
  if (!ReadHeader()) return false;
  for (size_t index = 1; index < lines_.size(); ++index) {
    line_number_ = static_cast<int>(index) + 1;
    const std::string text = TrimLeft(lines_[index]);
    if (TrimRight(text).empty() || text[0] == ';') continue;
    if (text[0] == '[') {
      if (!ReadKeyLine(text)) return false;
    } else if (text[0] == '"' || text[0] == '@') {
      if (!ReadValueLine(&index)) return false;
    } else {
      return Fail("not a [KEY] line, a value line or a comment");
    }
  }
  return true;
}

bool Reader::ReadHeader() {
  const std::string header = TrimRight(lines_[0]);
  if (header == kVersion5Header) return true;
  if (header == kVersion4Header) {
    version5_ = false;
    return true;
  }
  return Fail("not a .reg file: the first line must read \"" + std::string(kVersion5Header) +
              "\" or \"" + kVersion4Header + "\"");
}

bool Reader::ReadKeyLine(const std::string& text) {
  const size_t close = text.rfind(']');
  if (close == std::string::npos || !RestIsBlank(text, close + 1)) {
    return Fail("a key line must end with ]");
  }
  const bool remove = text.size() > 1 && text[1] == '-';
  const std::string path_text = text.substr(remove ? 2 : 1, close - (remove ? 2 : 1));
  RegFileChange change;
  change.kind = remove ? RegFileChange::Kind::kDeleteKey : RegFileChange::Kind::kCreateKey;
  change.line = line_number_;
  std::string reason;
  if (!ParseKeyPath(path_text, &change.key, &reason)) return Fail(reason);
  if (remove && change.key.sub_path.empty()) return Fail("a root key cannot be deleted");
  key_ = change.key;
  section_ = remove ? Section::kDeletedKey : Section::kKey;
  changes_->push_back(change);
  return true;
}

bool Reader::ReadValueLine(size_t* index) {
  const std::string text = TrimLeft(lines_[*index]);
  if (section_ == Section::kNone) return Fail("a value line before the first [KEY] line");
  if (section_ == Section::kDeletedKey) return Fail("a value line under a deleted key");
  RegFileChange change;
  change.line = line_number_;
  change.key = key_;
  size_t pos = 0;
  std::string reason;
  if (text[0] == '@') {
    pos = 1;
  } else if (!ReadQuoted(text, &pos, &change.value.name, &reason)) {
    return Fail(reason);
  }
  pos = text.find_first_not_of(" \t", pos);
  if (pos == std::string::npos || text[pos] != '=')
    return Fail("the value name is not followed by =");
  const std::string data = TrimLeft(text.substr(pos + 1));
  if (!ReadData(data, index, &change)) return false;
  changes_->push_back(change);
  return true;
}

bool Reader::ReadData(const std::string& data, size_t* index, RegFileChange* change) {
  std::string reason;
  size_t pos = 0;
  RegValue& value = change->value;
  change->kind = RegFileChange::Kind::kSetValue;
  if (data.compare(0, 1, "-") == 0 && RestIsBlank(data, 1)) {
    change->kind = RegFileChange::Kind::kDeleteValue;
  } else if (data.compare(0, 1, "\"") == 0) {
    if (!ReadQuoted(data, &pos, &value.data, &reason)) return Fail(reason);
    if (!RestIsBlank(data, pos)) return Fail("text follows the closing quote");
    value.type = REG_SZ;
    value.data.push_back('\0');
  } else if (data.compare(0, 6, "dword:") == 0) {
    uint32_t number = 0;
    pos = 6;
    if (!ReadHexNumber(data, &pos, 8, &number) || !RestIsBlank(data, pos)) {
      return Fail("dword: must be followed by 1 to 8 hex digits");
    }
    value.type = REG_DWORD;
    value.data = EncodeLittleEndian(number, 4);
  } else if (data.compare(0, 3, "hex") == 0) {
    return ReadHexData(data, index, change);
  } else {
    return Fail("unknown data: a value is \"text\", dword:, hex:, hex(N): or -");
  }
  return true;
}

bool Reader::ReadHexData(const std::string& data, size_t* index, RegFileChange* change) {
  RegValue& value = change->value;
  size_t pos = 3;
  uint32_t type = REG_BINARY;
  if (data.compare(pos, 1, "(") == 0) {
    ++pos;
    if (!ReadHexNumber(data, &pos, 8, &type) || data.compare(pos, 1, ")") != 0) {
      return Fail("hex( must be followed by a type number in hex and )");
    }
    ++pos;
  }
  if (data.compare(pos, 1, ":") != 0) return Fail("hex data must start with hex: or hex(N):");
  std::string joined;
  std::string reason;
  if (!JoinContinuations(data.substr(pos + 1), index, &joined)) return false;
  if (!ParseHexBytes(joined, &value.data, &reason)) return Fail(reason);
  value.type = type;
  const bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
  if (text && version5_ && !Utf16LeToUtf8(value.data, &value.data)) {
    return Fail("the data of a text value is not UTF-16 text");
  }
  // The older header's text is UTF-8, in hex as on its lines: anything else
  // would be kept as text that no export could write again.
  if (text && !version5_ && !IsValidUtf8(value.data)) {
    return Fail("the data of a text value is not UTF-8 text");
  }
  return true;
}

bool Reader::JoinContinuations(const std::string& first, size_t* index, std::string* joined) {
  std::string text = TrimRight(first);
  while (!text.empty() && text.back() == '\\') {
    text.pop_back();
    do {
      if (++*index == lines_.size()) return Fail("the file ends inside continued hex data");
    } while (TrimLeft(lines_[*index]).compare(0, 1, ";") == 0);
    text += TrimRight(TrimLeft(lines_[*index]));
  }
  *joined = text;
  return true;
}

}  // namespace

bool ParseRegFile(const std::string& bytes, std::vector<RegFileChange>* changes,
                  std::string* error) {
  std::vector<std::string> lines;
  if (!DecodeLines(bytes, &lines, error)) return false;
  std::vector<RegFileChange> parsed;
  if (!Reader(lines, &parsed, error).Run()) return false;
  *changes = std::move(parsed);
  return true;
}

}  // namespace dovetune
