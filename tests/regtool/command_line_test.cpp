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

TEST(CommandLineTest, RefusesWhatRegWouldRefuse) {
  EXPECT_NE(Refusal({}).find("an operation is missing"), std::string::npos);
  EXPECT_NE(Refusal({"copy", "HKCU\\x"}).find("Invalid operation"), std::string::npos);
  EXPECT_NE(Refusal({"query"}).find("needs a key"), std::string::npos);
  EXPECT_NE(Refusal({"export", "HKCU\\x"}).find("needs a key and a file"), std::string::npos);
  EXPECT_NE(Refusal({"import"}).find("needs a file"), std::string::npos);
  EXPECT_NE(Refusal({"query", "HKXX\\x"}).find("Invalid key name"), std::string::npos);
  EXPECT_NE(Refusal({"add", "HKCU\\x", "/t", "REG_FOO"}).find("Invalid type \"REG_FOO\""),
            std::string::npos);
  // A type reg's add does not write is refused too.
  EXPECT_NE(Refusal({"add", "HKCU\\x", "/t", "REG_LINK"}).find("Invalid type"), std::string::npos);
  EXPECT_NE(Refusal({"add", "HKCU\\x", "/v"}).find("needs a value"), std::string::npos);
  EXPECT_NE(Refusal({"add", "HKCU\\x", "/v", "a", "/v", "b"}).find("given twice"),
            std::string::npos);
  EXPECT_NE(Refusal({"add", "HKCU\\x", "/v", "a", "/ve"}).find("only one of"), std::string::npos);
  EXPECT_NE(Refusal({"query", "HKCU\\x", "/f"}).find("does not take"), std::string::npos);
  EXPECT_NE(Refusal({"delete", "HKCU\\x", "/y"}).find("does not take"), std::string::npos);
  EXPECT_NE(Refusal({"query", "HKCU\\x", "HKCU\\y"}).find("too many"), std::string::npos);
  EXPECT_NE(Refusal({"add", "HKCU\\x", "/s", ","}).find("REG_MULTI_SZ"), std::string::npos);
  EXPECT_NE(Refusal({"add", "HKCU\\x", "/t", "REG_MULTI_SZ", "/s", ",,"}).find("one character"),
            std::string::npos);
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
