// Writes a .reg file (regedit's text form) of about BYTES bytes whose keys
// look like those real programs leave in HKEY_CURRENT_USER: recent-file
// lists, most-recently-used lists of the open dialogs, window placements and
// toolbar layouts as binary blobs, paths as plain and expandable strings,
// multi-strings, numbers, and one value of about 100 KB for every 2 MB.
// The same BYTES always gives the same file.
//
//   dovetune_realistic_reg BYTES FILE

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* const kVendors[] = {"Adatum",    "Contoso",   "Fabrikam", "Litware",
                                "Northwind", "Proseware", "Tailspin", "Wingtip"};
const char* const kProducts[] = {"Studio", "Editor", "Viewer", "Player", "Sync", "Designer"};
const char* const kExtensions[] = {"txt", "png", "wav", "flac", "docx", "psd", "mkv", "zip"};

class Writer {
 public:
  explicit Writer(std::FILE* out) : out_(out) {}
  uint32_t Random() {  // a fixed linear congruential sequence
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state_ >> 33);
  }
  void Line(const std::string& text) { Put(text + "\r\n"); }
  void Key(const std::string& path) { Line("\r\n[HKEY_CURRENT_USER\\Software\\" + path + "]"); }
  void String(const std::string& name, const std::string& text) {
    std::string escaped;
    for (const char c : text) escaped += c == '\\' ? "\\\\" : std::string(1, c);
    Line("\"" + name + "\"=\"" + escaped + "\"");
  }
  void Dword(const std::string& name, uint32_t number) {
    char text[16];
    std::snprintf(text, sizeof(text), "%08x", number);
    Line("\"" + name + "\"=dword:" + text);
  }
  // |kind| is "hex", "hex(2)" or "hex(7)"; wrapped as regedit wraps it.
  void Hex(const std::string& name, const std::string& kind, const std::string& data) {
    std::string line = "\"" + name + "\"=" + kind + ":";
    for (size_t i = 0; i < data.size(); ++i) {
      char byte[4];
      std::snprintf(byte, sizeof(byte), "%02x", static_cast<unsigned char>(data[i]));
      line += byte;
      if (i + 1 == data.size()) break;
      line += ",";
      if (line.size() > 76) {
        Line(line + "\\");
        line = "  ";
      }
    }
    Line(line);
  }
  std::string Blob(size_t size) {
    std::string data;
    for (size_t i = 0; i < size; ++i) data += static_cast<char>(Random() >> 7);
    return data;
  }
  static std::string Utf16(const std::string& text) {
    std::string data;
    for (const char c : text) data += std::string(1, c) + '\0';
    return data;
  }
  size_t written() const { return written_; }

 private:
  void Put(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out_);
    written_ += text.size();
  }
  std::FILE* out_;
  uint64_t state_ = 20241;
  size_t written_ = 0;
};

std::string Document(Writer& writer, int program, int item) {
  return "C:\\Users\\bench\\Documents\\Project " + std::to_string(writer.Random() % 97) +
         "\\take " + std::to_string(program) + "-" + std::to_string(item) + "." +
         kExtensions[writer.Random() % 8];
}

// One program's keys, about 6 KB of text.
void Program(Writer& writer, int program) {
  const std::string root = std::string(kVendors[program % 8]) + "\\" + kProducts[program / 8 % 6] +
                           " " + std::to_string(program);
  writer.Key(root + "\\Recent File List");
  for (int item = 1; item <= 10; ++item) {
    writer.String("File" + std::to_string(item), Document(writer, program, item));
  }
  writer.Key(root + "\\Settings");
  writer.Hex("WindowPlacement", "hex", writer.Blob(44));
  writer.Hex("Toolbar", "hex", writer.Blob(200 + writer.Random() % 1800));
  writer.String("LastFolder", "C:\\Users\\bench\\Music\\Album " + std::to_string(program));
  writer.Hex("SearchPath", "hex(2)",
             Writer::Utf16("%USERPROFILE%\\AppData\\Local\\" + root + "\\Cache") + '\0' + '\0');
  writer.Hex("History", "hex(7)",
             Writer::Utf16(std::string("first\0second\0third ", 19) + std::to_string(program) +
                           std::string(2, '\0')));
  writer.Dword("Flags", writer.Random());
  writer.Dword("Version", 0x00030000 + program);
  writer.Key("Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU\\" +
             std::string(kExtensions[program % 8]) + "\\" + std::to_string(program));
  std::string order;
  for (int item = 0; item < 8; ++item) {
    const std::string letter(1, static_cast<char>('a' + item));
    order += letter;
    writer.String(letter, Document(writer, program, item));
  }
  writer.String("MRUList", order);
}

}  // namespace

int main(int argc, char** argv) {
  const long long bytes = argc == 3 ? std::atoll(argv[1]) : 0;
  std::FILE* out = argc == 3 ? std::fopen(argv[2], "wb") : nullptr;
  if (bytes <= 0 || !out) {
    std::fprintf(stderr, "usage: %s BYTES FILE\n", argv[0]);
    return 2;
  }
  Writer writer(out);
  writer.Line("Windows Registry Editor Version 5.00");
  size_t next_big = static_cast<size_t>(bytes) / 2 % (2 << 20);
  for (int program = 0; writer.written() < static_cast<size_t>(bytes); ++program) {
    if (writer.written() >= next_big) {
      writer.Key("Tailspin\\Big Cache " + std::to_string(program));
      writer.Hex("Thumbnails", "hex", writer.Blob(100 * 1024));
      next_big += 2 << 20;
    }
    Program(writer, program);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
