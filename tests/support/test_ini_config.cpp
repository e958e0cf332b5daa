// Ini documents and the configuration: defaults, parsing, finding obabel.exe, saving.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/uConfig.h"
#include "support/uDebugLog.h"
#include "support/uIniFile.h"
#include "support/uText.h"
#include "test_temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace pelorin;
using pelorin_test::ReadFileBytes;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

namespace {

void SetPathVariable(const std::string& value) {
#ifdef _WIN32
  SetEnvironmentVariableA("PATH", value.c_str());
#else
  setenv("PATH", value.c_str(), 1);
#endif
}

// Text (UTF-8) as a file in UTF-16 LE with a byte-order mark, as Notepad saves "Unicode".
std::string Utf16LeFile(const std::string& utf8) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : Utf8ToUtf16(utf8)) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::string Utf8BomFile(const std::string& utf8) {
  return "\xEF\xBB\xBF" + utf8;
}

std::string GetPathVariable() {
  const char* p = std::getenv("PATH");
  return p ? p : "";
}

// Points the configuration at a folder of its own for one test and restores it after.
class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedPath_ = GetPathVariable();
    PluginDir = dir_.Dir();
    IniPath.clear();
  }
  void TearDown() override {
    DebugLogClose();
    SetPathVariable(savedPath_);
    PluginDir.clear();
    IniPath.clear();
    HostIniDir.clear();
  }
  void WriteIni(const std::string& text) { WriteFileBytes(dir_.File("pelorin.ini"), text); }

  TTempDir dir_;
  std::string savedPath_;
};

}  // namespace

TEST(IniDocument, ReadsKeysCaseInsensitivelyAndKeepsEverythingOnWrite) {
  const std::string text =
      "; settings\r\n[Other]\r\nKey=1\r\n\r\n[pelorin]\r\n  StartMode = 2D \r\nOBabelPath=\r\n\r\n[Last]\r\nX=y";
  TIniDocument ini(text);
  EXPECT_EQ(ini.Read("Pelorin", "startmode").value_or("?"), "2D");
  EXPECT_EQ(ini.Read("PELORIN", "OBabelPath").value_or("?"), "");  // present but empty
  EXPECT_FALSE(ini.Read("Pelorin", "Missing").has_value());
  EXPECT_FALSE(ini.Read("Nowhere", "Key").has_value());

  ini.Write("Pelorin", "StartMode", "3D");
  ini.Write("Pelorin", "Logging", "0");
  ini.Write("New", "A", "b");
  TIniDocument again(ini.Text());
  EXPECT_EQ(again.Read("Pelorin", "StartMode").value_or("?"), "3D");
  EXPECT_EQ(again.Read("Pelorin", "Logging").value_or("?"), "0");
  EXPECT_EQ(again.Read("Other", "Key").value_or("?"), "1");
  EXPECT_EQ(again.Read("Last", "X").value_or("?"), "y");
  EXPECT_EQ(again.Read("New", "A").value_or("?"), "b");
  EXPECT_NE(ini.Text().find("; settings\r\n"), std::string::npos);
  // The new key joins its own section, not the one after it.
  EXPECT_LT(ini.Text().find("Logging=0"), ini.Text().find("[Last]"));
}

TEST(IniDocument, UnderstandsEveryLineBreakAndEncoding) {
  for (const std::string& text :
       {std::string("[Pelorin]\nA=1\nB=2\n"), std::string("[Pelorin]\rA=1\rB=2"),
        Utf8BomFile("[Pelorin]\r\nA=1\r\nB=2\r\n"), Utf16LeFile("[Pelorin]\nA=1\r\nB=2") + "x"}) {
    TIniDocument ini(text);
    EXPECT_EQ(ini.Read("Pelorin", "A").value_or("?"), "1") << text;
    EXPECT_EQ(ini.Read("Pelorin", "B").value_or("?"), "2") << text;
  }
  EXPECT_EQ(TIniDocument("\xEF\xBB\xBF[S]\r\n").Text().substr(0, 3), "\xEF\xBB\xBF");
  // UTF-16 is written back unit for unit, even an unpaired surrogate of a damaged file.
  const std::string damaged = Utf16LeFile("[S]\r\nK=\xF0\x9F\x98\x80") + std::string("\x00\xD8\r\0\n\0", 6);
  EXPECT_EQ(TIniDocument(damaged).Text(), damaged);
  EXPECT_EQ(Utf8ToUtf16("\xC3\x28\xE2\x82"), std::u16string(u"\uFFFD(\uFFFD\uFFFD"));  // broken UTF-8
}

TEST(TextHelpers, LinesSplitAtEveryKindOfBreak) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\n\r\n"), (std::vector<std::string>{"a", "", ""})) << "a break at the end opens a line";
  EXPECT_EQ(SplitLines(""), std::vector<std::string>{""});
}

TEST(ConfigValues, StartModeAndLoggingTexts) {
  const TViewMode k2D = TViewMode::k2D, k3D = TViewMode::k3D;
  struct {
    const char* text;
    TViewMode mode;
  } modes[] = {{"3D", k3D}, {" 3d\t", k3D}, {"3d ", k3D}, {"2d", k2D}, {"x", k2D}, {"", k2D}, {"3D!", k2D}};
  for (const auto& c : modes) EXPECT_EQ(ParseStartMode(c.text), c.mode) << "[" << c.text << "]";
  EXPECT_EQ(StartModeToText(k2D), "2D");
  EXPECT_EQ(StartModeToText(k3D), "3D");
  EXPECT_EQ(StartModeToText(static_cast<TViewMode>(7)), "2D") << "any other value writes 2D";
  EXPECT_EQ(ParseStartMode(StartModeToText(k3D)), k3D);
  EXPECT_EQ(ViewModeText(k3D), "3D");

  struct {
    const char* text;
    bool on;
  } logging[] = {{"", true}, {"1", true}, {"1abc", true}, {"0", false}, {"no", false}, {" 1", false}};
  for (const auto& c : logging) EXPECT_EQ(ParseLoggingValue(c.text), c.on) << "[" << c.text << "]";

  struct {
    const char* text;
    TModel3D model;
  } models[] = {{"Auto", TModel3D::Auto}, {" surface ", TModel3D::Surface}, {"ATOMS", TModel3D::Atoms},
                {"", TModel3D::Auto},     {"atom", TModel3D::Auto},         {"Surface2", TModel3D::Auto}};
  for (const auto& c : models) EXPECT_EQ(ParseModel3D(c.text), c.model) << "[" << c.text << "]";
  for (TModel3D m : {TModel3D::Auto, TModel3D::Surface, TModel3D::Atoms}) EXPECT_EQ(ParseModel3D(Model3DToText(m)), m);

  struct {
    const char* text;
    int32_t value;
  } limits[] = {{"150", 150}, {" 0 ", 0}, {"", 7}, {"-5", 7}, {"12a", 7}, {"99999999999999999999", 1000000}};
  for (const auto& c : limits) EXPECT_EQ(ParseAtomLimit(c.text, 7), c.value) << "[" << c.text << "]";

  for (const char* shown : {"", "1", " 1 ", "yes"}) EXPECT_TRUE(ParseShowFields(shown)) << "[" << shown << "]";
  EXPECT_FALSE(ParseShowFields(" 0 "));
}

TEST_F(ConfigTest, DefaultsWithoutIniFile) {
  SetPathVariable(dir_.Dir());  // nowhere to find a converter
  LoadConfig();
  TPelorinConfig c = ConfigSnapshot();
  EXPECT_EQ(IniPath, dir_.Dir() + "pelorin.ini");
  EXPECT_EQ(c.OBabelPath, "");
  EXPECT_EQ(c.CmdLine2D, "-O tempfile.svg --gen2d");
  EXPECT_EQ(c.CmdLine3D, "-O tempfile.stl --gen3d");
  EXPECT_EQ(c.OBabelOpts, "-xC");
  EXPECT_EQ(c.StartMode, TViewMode::k3D);
  EXPECT_TRUE(c.Logging);
  EXPECT_EQ(c.Model3D, TModel3D::Auto);
  EXPECT_EQ(c.MaxSurfaceAtoms, kDefaultMaxSurfaceAtoms);
  EXPECT_EQ(c.MaxThumbnail2DAtoms, 150);
  EXPECT_TRUE(c.ShowFields);
  EXPECT_FALSE(c.TempDir.empty());
  EXPECT_TRUE(c.TempDir.back() == '\\' || c.TempDir.back() == '/');
}

TEST_F(ConfigTest, IniValuesOverrideDefaults) {
  WriteIni(
      "[Pelorin]\r\nOBabelPath=C:\\tools\\obabel.exe\r\nCmdLine2D=--gen2d\r\nCmdLine3D=\r\n"
      "OBabelOpts=  \r\nStartMode= 2d \r\nLogging=0\r\nModel3D=Atoms\r\nMaxSurfaceAtoms=12\r\n"
      "MaxThumbnail2DAtoms=0\r\n");
  LoadConfig();
  TPelorinConfig c = ConfigSnapshot();
  EXPECT_EQ(c.OBabelPath, "C:\\tools\\obabel.exe");
  EXPECT_EQ(c.CmdLine2D, "--gen2d");
  EXPECT_EQ(c.CmdLine3D, "");  // present and empty stays empty
  EXPECT_EQ(c.OBabelOpts, "");
  EXPECT_EQ(c.StartMode, TViewMode::k2D);
  EXPECT_FALSE(c.Logging);
  EXPECT_EQ(c.Model3D, TModel3D::Atoms);
  EXPECT_EQ(c.MaxSurfaceAtoms, 12);
  EXPECT_EQ(c.MaxThumbnail2DAtoms, 0);
  EXPECT_FALSE(DebugLogEnabled());
}

TEST_F(ConfigTest, FindOBabelPrefersPluginFolderThenSubfolderThenSearchPath) {
  TTempDir onPath;
  WriteFileBytes(onPath.File("obabel.exe"), "x");
  SetPathVariable(onPath.Dir());
  EXPECT_EQ(FindOBabel(), "obabel.exe");  // the bare name, not the full path found

  std::filesystem::create_directories(dir_.Path() / "obabel");
  WriteFileBytes((dir_.Path() / "obabel" / "obabel.exe").string(), "x");
  EXPECT_EQ(FindOBabel(), (dir_.Path() / "obabel" / "obabel.exe").string());

  WriteFileBytes(dir_.File("obabel.exe"), "x");
  EXPECT_EQ(FindOBabel(), dir_.File("obabel.exe"));
}

TEST_F(ConfigTest, SaveThenLoadRoundTripKeepsOtherSectionsAndKeys) {
  WriteIni("[Other]\r\nKeep=me\r\n[Pelorin]\r\nCustom=stays\r\nStartMode=3D\r\n");
  LoadConfig();
  TPelorinConfig changed = ConfigSnapshot();
  changed.OBabelPath = "C:\\Program Files\\OpenBabel-3.1.1\\obabel.exe";
  changed.OBabelOpts = "-xC -xu";
  changed.StartMode = TViewMode::k2D;
  changed.Logging = false;
  changed.Model3D = TModel3D::Surface;
  StoreConfig(changed);
  std::string error;
  ASSERT_TRUE(SaveConfig(error)) << error;

  StoreConfig(TPelorinConfig{});
  LoadConfig();
  TPelorinConfig reloaded = ConfigSnapshot();
  EXPECT_EQ(reloaded.OBabelPath, changed.OBabelPath);
  EXPECT_EQ(reloaded.CmdLine2D, changed.CmdLine2D);
  EXPECT_EQ(reloaded.CmdLine3D, changed.CmdLine3D);
  EXPECT_EQ(reloaded.OBabelOpts, changed.OBabelOpts);
  EXPECT_EQ(reloaded.StartMode, TViewMode::k2D);
  EXPECT_FALSE(reloaded.Logging);
  EXPECT_EQ(reloaded.Model3D, TModel3D::Surface);
  std::string text = ReadFileBytes(dir_.File("pelorin.ini"));
  EXPECT_NE(text.find("Keep=me"), std::string::npos);
  EXPECT_NE(text.find("Custom=stays"), std::string::npos);
  EXPECT_NE(text.find("Logging=0"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("pelorin.ini.new")));

  // The D key's choice: one key written, the settings' generation (kept views) untouched.
  const uint64_t generation = ConfigGeneration();
  ASSERT_TRUE(SaveShowFields(false, error)) << error;
  EXPECT_FALSE(ConfigSnapshot().ShowFields);
  EXPECT_EQ(ConfigGeneration(), generation);
  text = ReadFileBytes(dir_.File("pelorin.ini"));
  EXPECT_NE(text.find("ShowFields=0"), std::string::npos);
  EXPECT_NE(text.find("Keep=me"), std::string::npos);
  LoadConfig();
  EXPECT_FALSE(ConfigSnapshot().ShowFields);
}

TEST_F(ConfigTest, UnicodeIniFilesAreReadAndWrittenBackInTheirOwnEncoding) {
  // Notepad's "Unicode" and "UTF-8 with BOM". Values come in as 8-bit ANSI strings; text
  // that the code page lacks (here Cyrillic, Chinese and an emoji) stays as it was, also
  // in the plugin's own section when the value was not changed.
  const std::string other = "[Other]\r\nName=\xD0\x9F\xD1\x80\xD0\xB8 \xE4\xB8\xAD \xF0\x9F\x98\x80\r\n\r\n";
  const std::string path =
      "OBabelPath=C:\\B\xC3\xBC"
      "cher\\obabel.exe\r\n";
  const std::string options = "OBabelOpts=-xC --title \xD0\x9F\r\n";
  const std::string before = other + "[Pelorin]\r\n" + path + options + "StartMode=2D\r\n";
  const std::string after = other + "[Pelorin]\r\n" + path + options +
                            "StartMode=3D\r\nCmdLine2D=-O tempfile.svg --gen2d\r\n"
                            "CmdLine3D=-O tempfile.stl --gen3d\r\nLogging=1\r\nModel3D=Auto\r\n";
  for (auto encode : {Utf16LeFile, Utf8BomFile}) {
    WriteIni(encode(before));
    LoadConfig();
    TPelorinConfig c = ConfigSnapshot();
    EXPECT_EQ(c.OBabelPath, Utf8ToAnsi("C:\\B\xC3\xBC"
                                       "cher\\obabel.exe"));
    EXPECT_EQ(c.StartMode, TViewMode::k2D);
    c.StartMode = TViewMode::k3D;
    StoreConfig(c);
    std::string error;
    ASSERT_TRUE(SaveConfig(error)) << error;
    EXPECT_EQ(ReadFileBytes(dir_.File("pelorin.ini")), encode(after));
  }
}

TEST(SearchPath, OnlyAbsoluteEntriesAreSearched) {
  // A relative or empty entry would be looked up from the current directory.
#ifdef _WIN32
  EXPECT_EQ(AbsoluteSearchDirs("C:\\a;;.;bin;\"C:\\b c\";C:rel;\\root;\\\\srv\\share; D:/x "),
            (std::vector<std::string>{"C:\\a", "C:\\b c", "\\\\srv\\share", "D:/x"}));
#else
  EXPECT_EQ(AbsoluteSearchDirs("/a::.:bin: /b c"), (std::vector<std::string>{"/a", "/b c"}));
#endif
}

TEST_F(ConfigTest, SaveIntoMissingFolderFailsWithReason) {
  PluginDir = dir_.Dir() + "missing" + static_cast<char>(std::filesystem::path::preferred_separator);
  IniPath.clear();
  std::string error;
  EXPECT_FALSE(SaveConfig(error));
  EXPECT_FALSE(error.empty());
}

TEST_F(ConfigTest, UnwritablePluginFolderKeepsSettingsAndLogInTheHostsSettingsFolder) {
  // Wine run as root ignores the read-only attribute: a folder below a file cannot be written.
  const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
  TTempDir host;
  WriteFileBytes(dir_.File("file"), "x");
  PluginDir = dir_.File("file") + separator;
  SetHostIniName(host.File("wincmd.ini"));
  EXPECT_EQ(SettingsDir(), host.Dir());
  LoadConfig();
  EXPECT_EQ(DebugLogFileName(), host.File("pelorindebug.log"));
  TPelorinConfig changed = ConfigSnapshot();
  changed.StartMode = TViewMode::k2D;
  StoreConfig(changed);
  std::string error;
  ASSERT_TRUE(SaveConfig(error)) << error;
  EXPECT_EQ(IniPath, host.File("pelorin.ini"));
  EXPECT_NE(ReadFileBytes(host.File("pelorin.ini")).find("StartMode=2D"), std::string::npos);

  // From then on that file wins, also over one in a writable plugin folder.
  PluginDir = dir_.Dir();
  IniPath.clear();
  WriteIni("[Pelorin]\r\nStartMode=3D\r\n");
  LoadConfig();
  EXPECT_EQ(IniPath, host.File("pelorin.ini"));
  EXPECT_EQ(ConfigSnapshot().StartMode, TViewMode::k2D);

  // A writable plugin folder and a host folder without pelorin.ini: everything stays in the plugin's.
  TTempDir otherHost;
  SetHostIniName(otherHost.File("wincmd.ini"));
  IniPath.clear();
  LoadConfig();
  EXPECT_EQ(IniPath, dir_.File("pelorin.ini"));
  EXPECT_EQ(ConfigSnapshot().StartMode, TViewMode::k3D);
  ASSERT_TRUE(SaveConfig(error)) << error;
  EXPECT_TRUE(std::filesystem::is_empty(otherHost.Path()));
}

TEST(IniDocument, OnePairOfEnclosingQuotesIsRemoved) {
  TIniDocument ini(
      "[Pelorin]\r\nOBabelPath=\"C:\\Program Files\\OpenBabel-3.1.1\\obabel.exe\"\r\nA='x'\r\nB=\"x\r\nC=\"a\" "
      "\"b\"\r\n");
  EXPECT_EQ(ini.Read("Pelorin", "OBabelPath").value_or("?"), "C:\\Program Files\\OpenBabel-3.1.1\\obabel.exe");
  EXPECT_EQ(ini.Read("Pelorin", "A").value_or("?"), "x");
  EXPECT_EQ(ini.Read("Pelorin", "B").value_or("?"), "\"x");      // no matching pair
  EXPECT_EQ(ini.Read("Pelorin", "C").value_or("?"), "a\" \"b");  // only the outer pair goes
}
