// The command line as reg reads it: key paths, switches, types and data.

#include <gtest/gtest.h>

#include "regtool/command_line.h"
#include "regtool/value_data.h"

namespace dovetune {

namespace {

RegCommandLine Parsed(const std::vector<std::string>& arguments) {
  RegCommandLine command;
  std::string error;
  EXPECT_TRUE(ParseRegCommandLine(arguments, &command, &error)) << error;
  return command;
}

std::string Refusal(const std::vector<std::string>& arguments) {
  RegCommandLine command;
  std::string error;
  EXPECT_FALSE(ParseRegCommandLine(arguments, &command, &error));
  return error;
}

std::string Data(DWORD type, const std::string& text, const std::string& separator = "") {
  std::string bytes;
  std::string error;
  EXPECT_TRUE(ParseCommandLineData(type, text, separator, &bytes, &error)) << error;
  return bytes;
}

std::string DataRefusal(DWORD type, const std::string& text) {
  std::string bytes;
  std::string error;
  EXPECT_FALSE(ParseCommandLineData(type, text, "", &bytes, &error)) << text;
  return error;
}

TEST(KeyPathTest, ShortAndLongRootsInAnyCase) {
  KeyPath path;
  std::string error;
  const struct {
    const char* text;
    const char* full;
  } cases[] = {
      {"HKCU\\Software\\Orvane", "HKEY_CURRENT_USER\\Software\\Orvane"},
      {"hkey_current_user\\Software\\", "HKEY_CURRENT_USER\\Software"},
      {"HKLM", "HKEY_LOCAL_MACHINE"},
      {"hkcr\\x", "HKEY_CLASSES_ROOT\\x"},
      {"HKU\\x", "HKEY_USERS\\x"},
      {"HKCC\\x", "HKEY_CURRENT_CONFIG\\x"},
  };
  for (const auto& test : cases) {
    ASSERT_TRUE(ParseKeyPath(test.text, &path, &error)) << error;
    EXPECT_EQ(path.Full(), test.full);
  }
  ASSERT_TRUE(ParseKeyPath("HKCU\\A\\B", &path, &error));
  EXPECT_EQ(path.root, HKEY_CURRENT_USER);
  EXPECT_EQ(path.sub_path, "A\\B");
  EXPECT_EQ(path.Child("C").Full(), "HKEY_CURRENT_USER\\A\\B\\C");
}

TEST(KeyPathTest, RefusesOtherRootsRemoteMachinesAndEmptyNames) {
  KeyPath path;
  std::string error;
  for (const char* text :
       {"HKXX\\Software", "", "Software\\x", "HKEY_DYN_DATA\\x", "HKCUx\\Software",
        "\\\\machine\\HKCU\\x", "HKCU\\a\\\\b", "HKCU\\\\", "HKCU\\a\\\\"}) {
    EXPECT_FALSE(ParseKeyPath(text, &path, &error)) << text;
    EXPECT_EQ(error.rfind("Invalid key name", 0), 0u) << error;
  }
}

TEST(CommandLineTest, SwitchesOfEachOperation) {
  RegCommandLine add =
      Parsed({"ADD", "HKCU\\x", "-V", "name", "/t", "reg_dword", "/D", "0x80", "/f", "/reg:64"});
  EXPECT_EQ(add.operation, RegOperation::kAdd);
  EXPECT_TRUE(add.has_value_name);
  EXPECT_EQ(add.value_name, "name");
  EXPECT_EQ(add.type, REG_DWORD);
  EXPECT_EQ(add.data, "0x80");
  EXPECT_TRUE(add.force);

  RegCommandLine query = Parsed({"query", "HKCU\\x", "/ve", "/s"});
  EXPECT_TRUE(query.has_value_name);
  EXPECT_EQ(query.value_name, "");
  EXPECT_TRUE(query.recursive);

  // Data that looks like a switch is data; /s of add is the separator.
  RegCommandLine multi =
      Parsed({"add", "HKCU\\x", "/v", "/f", "/t", "REG_MULTI_SZ", "/s", ",", "/d", "-a,b"});
  EXPECT_EQ(multi.value_name, "/f");
  EXPECT_FALSE(multi.force);
  EXPECT_EQ(multi.separator, ",");
  EXPECT_EQ(multi.data, "-a,b");

  RegCommandLine remove = Parsed({"delete", "HKCU\\x", "/va", "/f"});
  EXPECT_TRUE(remove.all_values);

  // A file path that starts with a slash is a file, not a switch.
  RegCommandLine save = Parsed({"export", "HKCU\\x", "/tmp/out.reg", "/y"});
  EXPECT_EQ(save.file, "/tmp/out.reg");
  EXPECT_TRUE(save.overwrite_file);
  EXPECT_EQ(Parsed({"import", "/tmp/in.reg"}).file, "/tmp/in.reg");
  EXPECT_EQ(Parsed({"/?"}).operation, RegOperation::kHelp);
}

TEST(CommandLineTest, RefusesWhatRegWouldRefuseWithItsReason) {
  const std::string key_roots =
      "\": it must start with HKLM, HKCU, HKCR, HKU or HKCC (or their "
      "long names)";
  const struct {
    std::vector<std::string> arguments;
    std::string error;
  } cases[] = {
      {{}, "Invalid syntax: an operation is missing. Type \"dovetune-reg --help\" for usage."},
      {{"copy", "HKCU\\x"}, "Invalid operation \"copy\": use query, add, delete, export or import"},
      {{"QUERY"}, "Invalid syntax: query needs a key"},
      {{"export", "HKCU\\x"}, "Invalid syntax: export needs a key and a file"},
      {{"import"}, "Invalid syntax: import needs a file"},
      {{"query", "HKXX\\x"}, "Invalid key name \"HKXX\\x" + key_roots},
      // A word that is no switch of any operation is a key or a file.
      {{"query", "-x"}, "Invalid key name \"-x" + key_roots},
      // Two switches in one argument are neither: the argument is a key or a file.
      {{"query", "HKCU\\x", "/v /ve"}, "Invalid syntax: too many arguments (/v /ve)"},
      {{"delete", "HKCU\\x", "/va /f"}, "Invalid syntax: too many arguments (/va /f)"},
      {{"add", "HKCU\\x", "/t", "REG_FOO"},
       "Invalid type \"REG_FOO\": use REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, "
       "REG_BINARY or REG_NONE"},
      // A type reg's add does not write is refused too.
      {{"add", "HKCU\\x", "/t", "REG_LINK"},
       "Invalid type \"REG_LINK\": use REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, "
       "REG_QWORD, REG_BINARY or REG_NONE"},
      {{"add", "HKCU\\x", "-V"}, "Invalid syntax: -V needs a value"},
      {{"add", "HKCU\\x", "/v", "a", "-V", "b"}, "Invalid syntax: -V is given twice"},
      {{"add", "HKCU\\x", "/v", "a", "/ve"}, "Invalid syntax: use only one of /v, /ve and /va"},
      {{"delete", "HKCU\\x", "/va", "/ve", "/f"},
       "Invalid syntax: use only one of /v, /ve and /va"},
      {{"Query", "HKCU\\x", "/F"}, "Invalid syntax: query does not take /F"},
      {{"delete", "HKCU\\x", "/y"}, "Invalid syntax: delete does not take /y"},
      {{"import", "a.reg", "/s"}, "Invalid syntax: import does not take /s"},
      {{"query", "HKCU\\x", "HKCU\\y"}, "Invalid syntax: too many arguments (HKCU\\y)"},
      {{"export", "HKCU\\x", "a.reg", "b.reg"}, "Invalid syntax: too many arguments (b.reg)"},
      {{"add", "HKCU\\x", "/s", ","},
       "Invalid syntax: /s separates the strings of REG_MULTI_SZ data only"},
      {{"add", "HKCU\\x", "/t", "REG_MULTI_SZ", "/s", ",,"},
       "Invalid syntax: the /s separator must be one character"},
      // The first fault in the order of the arguments is the one reported.
      {{"query", "HKCU\\x", "HKCU\\y", "/f"}, "Invalid syntax: too many arguments (HKCU\\y)"},
      {{"add", "HKCU\\x", "/s", ",,", "/t", "REG_FOO"},
       "Invalid syntax: the /s separator must be one character"},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(Refusal(test.arguments), test.error) << test.arguments.size() << " arguments";
  }
}

TEST(CommandLineTest, HelpAnywhereAfterTheOperationWins) {
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"query", "/?"}, {"add", "HKXX", "/f", "/f", "-?"}, {"EXPORT", "/?", "/bogus"}}) {
    const RegCommandLine command = Parsed(arguments);
    EXPECT_TRUE(command.help) << arguments[0];
  }
  EXPECT_EQ(Parsed({"export", "/?"}).operation, RegOperation::kExport);
  for (const char* word : {"/?", "-?", "/HELP", "--help", "-H"}) {
    EXPECT_EQ(Parsed({word}).operation, RegOperation::kHelp) << word;
  }
  EXPECT_EQ(Parsed({"--Version"}).operation, RegOperation::kVersion);
}

TEST(CommandLineDataTest, NumbersInDecimalOrHexWithinTheirSize) {
  EXPECT_EQ(Data(REG_DWORD, "128"), std::string("\x80\0\0\0", 4));
  EXPECT_EQ(Data(REG_DWORD, "0x80"), std::string("\x80\0\0\0", 4));
  EXPECT_EQ(Data(REG_DWORD, "0XFFFFFFFF"), "\xff\xff\xff\xff");
  EXPECT_EQ(Data(REG_DWORD, "4294967295"), "\xff\xff\xff\xff");
  EXPECT_EQ(Data(REG_QWORD, "0x123456789"), std::string("\x89\x67\x45\x23\x01\0\0\0", 8));
  EXPECT_EQ(Data(REG_QWORD, "18446744073709551615"), std::string(8, '\xff'));
  for (const char* bad : {"", "12x", "-1", "+1", "4294967296", "0x100000000", "0x", " 1", "1.0"}) {
    EXPECT_NE(DataRefusal(REG_DWORD, bad).find("is not a number for REG_DWORD"), std::string::npos)
        << bad;
  }
  DataRefusal(REG_QWORD, "18446744073709551616");
  DataRefusal(REG_QWORD, "0x10000000000000000");
}

TEST(CommandLineDataTest, TextBinaryAndMultiString) {
  EXPECT_EQ(Data(REG_SZ, "abc"), std::string("abc\0", 4));
  EXPECT_EQ(Data(REG_SZ, ""), std::string("\0", 1));
  EXPECT_EQ(Data(REG_EXPAND_SZ, "%P%"), std::string("%P%\0", 4));
  EXPECT_EQ(Data(REG_BINARY, "00ff10AB"), std::string("\0\xff\x10\xab", 4));
  EXPECT_EQ(Data(REG_BINARY, ""), "");
  EXPECT_EQ(Data(REG_NONE, "0102"), "\x01\x02");
  EXPECT_NE(DataRefusal(REG_BINARY, "abc").find("pairs of hex digits"), std::string::npos);
  DataRefusal(REG_BINARY, "zz");
  EXPECT_EQ(Data(REG_MULTI_SZ, "one\\0two"), std::string("one\0two\0\0", 9));
  EXPECT_EQ(Data(REG_MULTI_SZ, "one,two", ","), std::string("one\0two\0\0", 9));
  EXPECT_EQ(Data(REG_MULTI_SZ, ""), std::string(1, '\0'));
  EXPECT_NE(DataRefusal(REG_MULTI_SZ, "a\\0\\0b").find("empty string"), std::string::npos);
}

TEST(QueryFormatTest, EachTypeAsRegPrintsIt) {
  EXPECT_EQ(FormatQueryData(REG_SZ, std::string("a b\0", 4)), "a b");
  EXPECT_EQ(FormatQueryData(REG_SZ, "no zero"), "no zero");
  EXPECT_EQ(FormatQueryData(REG_EXPAND_SZ, std::string("%P%\0", 4)), "%P%");
  EXPECT_EQ(FormatQueryData(REG_MULTI_SZ, std::string("one\0two\0\0", 9)), "one\\0two");
  EXPECT_EQ(FormatQueryData(REG_MULTI_SZ, std::string(1, '\0')), "");
  EXPECT_EQ(FormatQueryData(REG_DWORD, std::string("\x80\0\0\0", 4)), "0x80");
  EXPECT_EQ(FormatQueryData(REG_DWORD, "\xff\xff\xff\xff"), "0xffffffff");
  EXPECT_EQ(FormatQueryData(REG_DWORD, "\x01\x02"), "0102");  // not four bytes
  EXPECT_EQ(FormatQueryData(REG_QWORD, std::string("\x89\x67\x45\x23\x01\0\0\0", 8)),
            "0x123456789");
  EXPECT_EQ(FormatQueryData(REG_BINARY, std::string("\0\xff\x10\xab", 4)), "00FF10AB");
  EXPECT_EQ(FormatQueryData(REG_NONE, ""), "");
  EXPECT_EQ(TypeName(REG_MULTI_SZ), "REG_MULTI_SZ");
  EXPECT_EQ(TypeName(0x12345), "0x12345");
  EXPECT_EQ(DisplayName(""), "(Default)");
}

}  // namespace

}  // namespace dovetune
