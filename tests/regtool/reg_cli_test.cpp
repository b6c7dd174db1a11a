// dovetune-reg's runs: reg's output layout, add and delete, export and
// import round trips, refusals that leave the store as it was, and what the
// built program adds: its exit statuses and streams, "-" for them.

#include "tests/regtool/reg_cli_fixture.h"

namespace dovetune {

namespace {

const char kTestKey[] = "HKCU\\Software\\Test";
const char kCompleted[] = "The operation completed successfully.\n";

// A name and a key name outside ASCII: "Größe" and "Ürün €".
const char kGroesse[] =
    "Gr\xc3\xb6\xc3\x9f"
    "e";
const char kUrun[] = "\xc3\x9cr\xc3\xbcn \xe2\x82\xac";

class RegToolTest : public RegCliTest {
 protected:
  void Add(const std::string& key, const std::string& name, const char* type,
           const std::string& data) {
    EXPECT_EQ(RegOutput({"add", key, "/v", name, "/t", type, "/d", data}), kCompleted);
  }
  // Values of every type the tool writes, beneath the test key.
  void AddOneOfEachType() {
    Add(kTestKey, "sz", "REG_SZ", "a \"q\" \\ b");
    Add(kTestKey, "ex", "REG_EXPAND_SZ", "%PATH%;x");
    Add(kTestKey, "ms", "REG_MULTI_SZ", "one\\0two\\0three");
    Add(kTestKey, "qw", "REG_QWORD", "0x123456789");
    Add(kTestKey, "dw", "REG_DWORD", "128");
    Add(kTestKey, "bin", "REG_BINARY", "00ff10ab");
    Add(kTestKey, "none", "REG_NONE", "");
    EXPECT_EQ(RegOutput({"add", kTestKey, "/ve", "/d", "def"}), kCompleted);
    Add(std::string(kTestKey) + "\\Sub", kGroesse, "REG_DWORD", "0x5");
    EXPECT_EQ(RegOutput({"add", std::string(kTestKey) + "\\Sub\\Deep\\" + kUrun}), kCompleted);
    EXPECT_EQ(RegOutput({"add", std::string(kTestKey) + "\\Empty"}), kCompleted);
  }

  // Runs a command that must be refused without touching the store.
  void ExpectRefused(const std::vector<std::string>& arguments, const std::string& reason) {
    const std::string before = ReadWholeFile(store_path_);
    ASSERT_FALSE(before.empty());
    const ProcessResult result = Reg(arguments);
    EXPECT_EQ(result.status, 1) << arguments[0];
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("ERROR: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
    EXPECT_TRUE(ReadWholeFile(store_path_) == before) << "the store changed: " << result.err;
  }
};

TEST_F(RegToolTest, QueryPrintsRegsLayout) {
  AddOneOfEachType();
  EXPECT_EQ(RegOutput({"query", kTestKey}),
            "\n"
            "HKEY_CURRENT_USER\\Software\\Test\n"
            "    sz    REG_SZ    a \"q\" \\ b\n"
            "    ex    REG_EXPAND_SZ    %PATH%;x\n"
            "    ms    REG_MULTI_SZ    one\\0two\\0three\n"
            "    qw    REG_QWORD    0x123456789\n"
            "    dw    REG_DWORD    0x80\n"
            "    bin    REG_BINARY    00FF10AB\n"
            "    none    REG_NONE    \n"
            "    (Default)    REG_SZ    def\n"
            "\n"
            "HKEY_CURRENT_USER\\Software\\Test\\Empty\n"
            "HKEY_CURRENT_USER\\Software\\Test\\Sub\n");
  EXPECT_EQ(RegOutput({"query", "hkey_current_user\\software\\test\\sub", "/s"}),
            "\n"
            "HKEY_CURRENT_USER\\software\\test\\sub\n"
            "    " +
                std::string(kGroesse) +
                "    REG_DWORD    0x5\n"
                "\n"
                "HKEY_CURRENT_USER\\software\\test\\sub\\Deep\n"
                "HKEY_CURRENT_USER\\software\\test\\sub\\Deep\\" +
                kUrun + "\n");
  // A value asked for by name is shown under the name as typed, like the key.
  EXPECT_EQ(RegOutput({"query", kTestKey, "/v", "DW"}),
            "\nHKEY_CURRENT_USER\\Software\\Test\n    DW    REG_DWORD    0x80\n\n");
  EXPECT_EQ(RegOutput({"query", std::string(kTestKey) + "\\Sub", "/ve"}),
            "\nHKEY_CURRENT_USER\\Software\\Test\\Sub\n"
            "    (Default)    REG_SZ    (value not set)\n\n");
  EXPECT_EQ(RegOutput({"query", kTestKey, "/v", kGroesse, "/s"}),
            "\n"
            "HKEY_CURRENT_USER\\Software\\Test\\Sub\n"
            "    " +
                std::string(kGroesse) +
                "    REG_DWORD    0x5\n"
                "\n"
                "End of search: 1 match(es) found.\n");
}

TEST_F(RegToolTest, QueryOfWhatIsNotThereFails) {
  AddOneOfEachType();
  const std::string missing = "The system was unable to find the specified registry key or value.";
  const struct {
    std::vector<std::string> arguments;
    std::string key;
  } cases[] = {
      {{"query", "HKCU\\Software\\Missing"}, "HKEY_CURRENT_USER\\Software\\Missing"},
      {{"query", kTestKey, "/v", "missing"}, "HKEY_CURRENT_USER\\Software\\Test"},
      {{"query", kTestKey, "/v", "missing", "/s"}, "HKEY_CURRENT_USER\\Software\\Test"},
      {{"query", "HKCU\\Software\\Missing", "/ve"}, "HKEY_CURRENT_USER\\Software\\Missing"}};
  for (const auto& c : cases) {
    const ProcessResult result = Reg(c.arguments);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "ERROR: " + c.key + ": " + missing + "\n");
  }
}

TEST_F(RegToolTest, AddCreatesEveryLevelAndOverwritesOnlyWithF) {
  Add("HKCU\\Software\\A\\B\\C", "v", "REG_DWORD", "1");
  ExpectRefused({"add", "HKCU\\Software\\a\\b\\c", "/v", "V", "/t", "REG_DWORD", "/d", "2"},
                "The value V already exists in HKEY_CURRENT_USER\\Software\\a\\b\\c; add /f");
  EXPECT_EQ(
      RegOutput({"add", "HKCU\\Software\\a\\b\\c", "/v", "V", "/t", "REG_SZ", "/d", "two", "/f"}),
      kCompleted);
  // Replaced in place: the stored name and the value's place are kept.
  EXPECT_EQ(RegOutput({"query", "HKCU\\Software\\A\\B\\C", "/v", "v"}),
            "\nHKEY_CURRENT_USER\\Software\\A\\B\\C\n    v    REG_SZ    two\n\n");
  // Without a value name the key alone is made; /d alone writes the default value.
  EXPECT_EQ(RegOutput({"add", "HKCU\\Software\\A\\Only"}), kCompleted);
  EXPECT_EQ(RegOutput({"query", "HKCU\\Software\\A\\Only"}), "\n");
  EXPECT_EQ(RegOutput({"add", "HKCU\\Software\\A\\Only", "/d", "x"}), kCompleted);
  EXPECT_EQ(RegOutput({"query", "HKCU\\Software\\A\\Only", "/ve"}),
            "\nHKEY_CURRENT_USER\\Software\\A\\Only\n    (Default)    REG_SZ    x\n\n");
}

TEST_F(RegToolTest, DeleteValuesAllValuesOrTheWholeKey) {
  AddOneOfEachType();
  ExpectRefused({"delete", kTestKey, "/v", "sz"}, "needs /f");
  EXPECT_EQ(RegOutput({"delete", kTestKey, "/v", "SZ", "/f"}), kCompleted);
  EXPECT_EQ(RegOutput({"delete", kTestKey, "/ve", "/f"}), kCompleted);
  ExpectRefused({"delete", kTestKey, "/v", "sz", "/f"}, "unable to find");
  const std::vector<std::string> rest = {"ex", "ms", "qw", "dw", "bin", "none"};
  std::vector<std::string> names;
  for (const ValueInTree& entry : Tree(store_path_, "Software\\Test")) {
    if (entry.key == "Software\\Test" && entry.type != 0xFFFFFFFF) names.push_back(entry.name);
  }
  EXPECT_EQ(names, rest);

  EXPECT_EQ(RegOutput({"delete", kTestKey, "/va", "/f"}), kCompleted);
  EXPECT_EQ(RegOutput({"query", kTestKey}),
            "\nHKEY_CURRENT_USER\\Software\\Test\\Empty\nHKEY_CURRENT_USER\\Software\\Test\\Sub\n");
  EXPECT_EQ(RegOutput({"delete", kTestKey, "/f"}), kCompleted);
  EXPECT_TRUE(Tree(store_path_, "Software\\Test").empty());
  ExpectRefused({"delete", kTestKey, "/f"}, "unable to find");
  ExpectRefused({"delete", "HKCU", "/f"}, "HKEY_CURRENT_USER: Access is denied.");
}

TEST_F(RegToolTest, ExportThenImportIntoAFreshStoreGivesTheSameTree) {
  AddOneOfEachType();
  // Values the command line cannot write, put in through the registry functions.
  SetValue("Software\\Test\\" + std::string(kUrun), kUrun, REG_SZ,
           std::string("\xe2\x82\xac\0", 4));
  SetValue("Software\\Test", "no zero", REG_SZ, "abc");
  SetValue("Software\\Test", "lines", REG_SZ, std::string("a\r\nb\0", 5));
  SetValue("Software\\Test", "long", REG_BINARY, std::string(500, '\x5a'));
  SetValue("Software\\Test", "short dword", REG_DWORD, "\x01\x02");
  SetValue("Software\\Test", "odd type", 0x4321, "\x07");
  EXPECT_EQ(RegOutput({"export", kTestKey, File("first.reg")}), kCompleted);

  const std::string first_store = store_path_;
  store_path_ = File("fresh.db");
  EXPECT_EQ(RegOutput({"import", File("first.reg")}), kCompleted);
  EXPECT_EQ(Tree(store_path_, "Software\\Test"), Tree(first_store, "Software\\Test"));
  EXPECT_GT(Tree(store_path_, "Software\\Test").size(), 20u);

  EXPECT_EQ(RegOutput({"export", kTestKey, File("second.reg")}), kCompleted);
  EXPECT_TRUE(ReadWholeFile(File("first.reg")) == ReadWholeFile(File("second.reg")));
}

// The registry holds keys at any depth, each name up to 255 characters, and
// reg exports and imports their whole paths, however long: so does the tool,
// for presets of the longest names and for keys beneath them.
TEST_F(RegToolTest, KeysOfAnyDepthAreExportedImportedQueriedAndDeleted) {
  const std::string preset(255, 'p');
  ASSERT_EQ(Dovetune({"create", preset, "-downmix"}).status, 0);
  const std::string deep =
      std::string(kTestKey) + "\\" + std::string(255, 'a') + "\\" + std::string(255, 'b');
  Add(deep, "v", "REG_DWORD", "7");
  EXPECT_EQ(RegOutput({"export", "HKCU\\Software", File("long.reg")}), kCompleted);
  EXPECT_NE(RegOutput({"query", deep, "/v", "v"}).find("0x7"), std::string::npos);

  const std::string first_store = store_path_;
  store_path_ = File("fresh.db");
  EXPECT_EQ(RegOutput({"import", File("long.reg")}), kCompleted);
  EXPECT_EQ(Tree(store_path_, "Software"), Tree(first_store, "Software"));
  EXPECT_EQ(RegOutput({"delete", deep, "/f"}), kCompleted);
  ExpectRefused({"query", deep}, "unable to find");
}

TEST_F(RegToolTest, ExportWritesUtf16WithBomAndReplacesAFileOnlyWithY) {
  Add("HKCU\\Software\\Small", kGroesse, "REG_DWORD", "128");
  EXPECT_EQ(RegOutput({"export", "HKCU\\Software\\Small", File("small.reg")}), kCompleted);
  const std::string expected_text =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Small]\r\n"
      "\"Gr\xf6\xdf"
      "e\"=dword:00000080\r\n\r\n";
  std::string expected = "\xff\xfe";
  for (const char c : expected_text) expected += std::string{c, '\0'};  // Latin-1 only here
  EXPECT_TRUE(ReadWholeFile(File("small.reg")) == expected);

  WriteWholeFile(File("taken.reg"), "keep me");
  ExpectRefused({"export", "HKCU\\Software\\Small", File("taken.reg")}, "add /y");
  EXPECT_EQ(ReadWholeFile(File("taken.reg")), "keep me");
  EXPECT_EQ(RegOutput({"export", "HKCU\\Software\\Small", File("taken.reg"), "/y"}), kCompleted);
  EXPECT_TRUE(ReadWholeFile(File("taken.reg")) == expected);
  ExpectRefused({"export", "HKCU\\Software\\Missing", File("missing.reg")}, "unable to find");
  EXPECT_EQ(ReadWholeFile(File("missing.reg")), "");
}

TEST_F(RegToolTest, ImportAppliesDeletionsOfKeysAndValues) {
  AddOneOfEachType();
  WriteWholeFile(File("changes.reg"),
                 "Windows Registry Editor Version 5.00\n\n"
                 "[-HKEY_CURRENT_USER\\Software\\Test\\Sub]\n"
                 "[-HKEY_CURRENT_USER\\Software\\Test\\NotThere]\n\n"
                 "[HKEY_CURRENT_USER\\Software\\Test]\n"
                 "\"sz\"=-\n"
                 "\"not there\"=-\n"
                 "@=-\n"
                 "\"dw\"=dword:00000001\n");
  EXPECT_EQ(RegOutput({"import", File("changes.reg")}), kCompleted);
  EXPECT_EQ(RegOutput({"query", kTestKey}),
            "\n"
            "HKEY_CURRENT_USER\\Software\\Test\n"
            "    ex    REG_EXPAND_SZ    %PATH%;x\n"
            "    ms    REG_MULTI_SZ    one\\0two\\0three\n"
            "    qw    REG_QWORD    0x123456789\n"
            "    dw    REG_DWORD    0x1\n"
            "    bin    REG_BINARY    00FF10AB\n"
            "    none    REG_NONE    \n"
            "\n"
            "HKEY_CURRENT_USER\\Software\\Test\\Empty\n");
}

TEST_F(RegToolTest, EveryRefusalLeavesTheStoreAsItWas) {
  AddOneOfEachType();
  ExpectRefused({"add", "HKXX\\Software\\x", "/v", "v", "/d", "1"}, "Invalid key name");
  ExpectRefused({"add", "HKCU\\Software\\New", "/v", "v", "/t", "REG_WORD", "/d", "1"},
                "Invalid type \"REG_WORD\"");
  ExpectRefused({"add", "HKCU\\Software\\New", "/v", "v", "/t", "REG_DWORD", "/d", "12x"},
                "\"12x\" is not a number for REG_DWORD");
  ExpectRefused({"add", "HKCU\\Software\\New", "/v", "v", "/t", "REG_DWORD"}, "needs its number");
  ExpectRefused({"add", kTestKey, "/v", "dw", "/t", "REG_DWORD", "/d", "1"}, "add /f");
  ExpectRefused({"query", "HKCU\\Software\\Test", "/t", "REG_SZ"}, "does not take");
  // What export could not write is not put in: names with line breaks or that
  // are not UTF-8 (a lone surrogate), text that is not UTF-8.
  const std::string surrogate = "\xed\xa0\x80";
  for (const std::string& key :
       {std::string("HKCU\\Software\\a\nb"), std::string("HKCU\\Software\\a\rb"),
        "HKCU\\Software\\" + surrogate + "\\c"}) {
    ExpectRefused({"add", key}, "cannot be written to a .reg file");
    ExpectRefused({"add", key, "/v", "v", "/d", "1"}, "cannot be written to a .reg file");
  }
  for (const std::string& name : {std::string("a\nb"), std::string("x") + surrogate}) {
    ExpectRefused({"add", kTestKey, "/v", name, "/d", "1"}, "cannot be written to a .reg file");
  }
  for (const char* type : {"REG_SZ", "REG_EXPAND_SZ", "REG_MULTI_SZ"}) {
    ExpectRefused({"add", kTestKey, "/v", "t", "/t", type, "/d", "\xff" + surrogate},
                  "holds text that is not UTF-8");
  }

  // A damaged file changes nothing, not even the lines before the damage.
  const std::string good =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[-HKEY_CURRENT_USER\\Software\\Test]\r\n"
      "[HKEY_CURRENT_USER\\Software\\Imported]\r\n"
      "\"a\"=dword:00000001\r\n";
  WriteWholeFile(File("damaged.reg"), good + "\"b\"=dword:1x\r\n");
  ExpectRefused({"import", File("damaged.reg")}, "damaged.reg, line 6: dword:");
  WriteWholeFile(File("cut.reg"), good + "\"b\"=hex:01,02,\\\r\n");
  ExpectRefused({"import", File("cut.reg")}, "cut.reg, line 6: the file ends inside");
  WriteWholeFile(File("header.reg"), "Windows Registry Editor Version 6.00\r\n");
  ExpectRefused({"import", File("header.reg")}, "header.reg, line 1: not a .reg file");
  // A change the registry refuses halfway through undoes the ones before it.
  WriteWholeFile(File("too long.reg"),
                 good + "\"" + std::string(16384, 'n') + "\"=dword:00000001\r\n");
  ExpectRefused({"import", File("too long.reg")},
                "too long.reg, line 6: HKEY_CURRENT_USER\\Software\\Imported: The parameter is "
                "incorrect");
  ExpectRefused({"import", File("nowhere.reg")}, "cannot open");
}

// Help, the version and mistakes in the operation: what each prints where,
// its status, and that none of them makes a store.
TEST_F(RegToolTest, HelpVersionAndUnknownOperationsNeedNoStore) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out_begins;  // standard output starts with this
    std::string err;         // standard error holds this
  };
  const std::string usage = "Usage: dovetune-reg OPERATION";
  const Case cases[] = {
      {{"/?"}, 0, usage, ""},
      {{"-?"}, 0, usage, ""},
      {{"--help"}, 0, usage, ""},
      {{"-h"}, 0, usage, ""},
      {{"--version"}, 0, "dovetune-reg " DOVETUNE_VERSION "\n", ""},
      {{"query", "/?"}, 0, "Usage: dovetune-reg query  KEY [/v NAME | /ve] [/s]\nPrints", ""},
      {{"EXPORT", "HKCU\\x", "-?"}, 0, "Usage: dovetune-reg export KEY FILE [/y]\nWrites", ""},
      {{"import", "nowhere.reg", "/?"}, 0, "Usage: dovetune-reg import FILE\n", ""},
      {{"frob", "HKCU"}, 2, "", "Invalid operation \"frob\""},
      {{"/help2"}, 2, "", "Invalid operation"},
      {{}, 1, "", "Type \"dovetune-reg --help\" for usage."},
      {{"query"}, 1, "", "query needs a key"},
  };
  for (const Case& c : cases) {
    const ProcessResult result = Reg(c.arguments);
    const std::string line = ::testing::PrintToString(c.arguments);
    EXPECT_EQ(result.status, c.status) << line;
    EXPECT_EQ(result.out.substr(0, c.out_begins.size()), c.out_begins) << line;
    EXPECT_NE(result.err.find(c.err), std::string::npos) << line << ": " << result.err;
    if (c.err.empty()) {
      EXPECT_EQ(result.err, "") << line;
    }
  }
  EXPECT_EQ(ReadWholeFile(store_path_), "");  // no store was created
  // The usage never shows an unquoted "/?", which the shell would expand.
  const std::string help = Reg({"--help"}).out;
  EXPECT_EQ(help.find(" /?"), std::string::npos);
  EXPECT_NE(help.find("'/?'"), std::string::npos);
}

// The built program exits and prints as its run in process does, for each
// kind of outcome, and keeps what it changed.
TEST_F(RegToolTest, TheProgramExitsAndPrintsAsItsRunInProcess) {
  AddOneOfEachType();
  const std::vector<std::string> cases[] = {{"query", kTestKey, "/v", "dw"},
                                            {"--version"},
                                            {"query", "HKCU\\Software\\Missing"},
                                            {"query"},
                                            {"frob", "HKCU"}};
  for (const std::vector<std::string>& arguments : cases) {
    const ProcessResult process = RegProcess(arguments);
    const ProcessResult in_process = Reg(arguments);
    EXPECT_EQ(process.status, in_process.status) << arguments[0];
    EXPECT_EQ(process.out, in_process.out);
    EXPECT_EQ(process.err, in_process.err);
  }
  const ProcessResult added = RegProcess({"add", kTestKey, "/v", "p", "/d", "kept"});
  EXPECT_EQ(added.out, kCompleted);
  EXPECT_EQ(RegOutput({"query", kTestKey, "/v", "p"}),
            "\nHKEY_CURRENT_USER\\Software\\Test\n    p    REG_SZ    kept\n\n");
}

// "-" is standard output for export and standard input for import, and never
// a file of that name.
TEST_F(RegToolTest, DashIsStandardOutputAndInput) {
  AddOneOfEachType();
  ASSERT_EQ(RegOutput({"export", kTestKey, File("tree.reg")}), kCompleted);
  const ProcessResult exported =
      RunProgram("/bin/sh",
                 {"-c", "cd \"$1\" && exec \"$0\" export 'HKCU\\Software\\Test' -",
                  DOVETUNE_REG_BINARY, folder_.path()},
                 store_path_);
  EXPECT_EQ(exported.status, 0);
  EXPECT_EQ(exported.err, "");
  EXPECT_EQ(exported.out, ReadWholeFile(File("tree.reg")));
  EXPECT_EQ(ReadWholeFile(File("-")), "");

  const std::vector<ValueInTree> before = Tree(store_path_, "Software\\Test");
  ASSERT_EQ(RegOutput({"delete", kTestKey, "/f"}), kCompleted);
  const ProcessResult imported = RunProgram(
      "/bin/sh", {"-c", "exec \"$0\" import - < \"$1\"", DOVETUNE_REG_BINARY, File("tree.reg")},
      store_path_);
  EXPECT_EQ(imported.status, 0);
  EXPECT_EQ(imported.out, kCompleted);
  EXPECT_EQ(Tree(store_path_, "Software\\Test"), before);

  const ProcessResult refused = RunProgram(
      "/bin/sh", {"-c", "echo nonsense | exec \"$0\" import -", DOVETUNE_REG_BINARY}, store_path_);
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err.rfind("ERROR: standard input, line 1: not a .reg file", 0), 0u)
      << refused.err;
}

}  // namespace

}  // namespace dovetune
