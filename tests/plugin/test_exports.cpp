// The entry points as the host sees them: the built DLL copied into a folder of its own,
// loaded with LoadLibrary, and called through the exported names.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "test_temp_dir.h"

using pelorin_test::ReadFileBytes;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

namespace {

struct TDefaultParams {
  int32_t size;
  uint32_t low, hi;
  char iniName[260];
};
using TDetectFn = void(__stdcall*)(char*, int);
using TDefaultParamsFn = void(__stdcall*)(TDefaultParams*);

const std::string kDetect =
    "EXT=\"MOL\" | EXT=\"SDF\" | EXT=\"MOL2\" | EXT=\"SMI\" | EXT=\"SMILES\" | EXT=\"PDB\" | EXT=\"XYZ\" | EXT=\"CML\"";

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A private copy of the plugin, so its ini file and log live in a folder of the test's own.
class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(PELORIN_PLUGIN_DLL, dir_.File("PELORINPLUGIN.dll"));
    // No converter anywhere: these tests must not depend on one being installed.
    WriteIni("[Pelorin]\r\nOBabelPath=C:\\none\\obabel.exe\r\n");
  }
  void TearDown() override { Unload(); }

  void Load() {
    module_ = LoadLibraryA(dir_.File("PELORINPLUGIN.dll").c_str());
    ASSERT_NE(module_, nullptr);
    detect_ = reinterpret_cast<TDetectFn>(GetProcAddress(module_, "ListGetDetectString"));
    defaults_ = reinterpret_cast<TDefaultParamsFn>(GetProcAddress(module_, "ListSetDefaultParams"));
    ASSERT_NE(detect_, nullptr);
    ASSERT_NE(defaults_, nullptr);
  }
  void Unload() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }
  void WriteIni(const std::string& text) { WriteFileBytes(dir_.File("pelorin.ini"), text); }
  std::string Log() const { return ReadFileBytes(dir_.File("pelorindebug.log")); }
  void SetDefaults(const char* hostIni) {
    TDefaultParams p{};
    p.size = sizeof p;
    p.low = 10;
    p.hi = 2;
    std::strcpy(p.iniName, hostIni);
    defaults_(&p);
  }

  TTempDir dir_;
  HMODULE module_ = nullptr;
  TDetectFn detect_ = nullptr;
  TDefaultParamsFn defaults_ = nullptr;
};

}  // namespace

TEST_F(PluginTest, DetectStringIsCutToTheHostsBuffer) {
  Load();
  ASSERT_EQ(kDetect.size(), 97u);
  char buffer[2048];
  detect_(buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer), kDetect);

  char small[16];
  std::memset(small, '#', sizeof small);
  detect_(small, 10);
  EXPECT_EQ(std::string(small), "EXT=\"MOL\"");
  EXPECT_EQ(std::string(small + 10, 6), "######");  // nothing written past maxlen

  std::memset(small, '#', sizeof small);
  detect_(small, 1);
  EXPECT_EQ(small[0], '\0');
  EXPECT_EQ(small[1], '#');
  std::memset(small, '#', sizeof small);
  detect_(small, 0);
  EXPECT_EQ(small[0], '#');
}

TEST_F(PluginTest, DefaultParamsLoadTheConfigurationEveryTime) {
  WriteIni("[Pelorin]\r\nOBabelPath=C:\\none\\obabel.exe\r\nStartMode=2D\r\n");
  Load();
  SetDefaults("C:\\host\\wincmd.ini");
  WriteIni("[Pelorin]\r\nOBabelPath=C:\\none\\obabel.exe\r\nStartMode=3D\r\n");
  defaults_(nullptr);
  char buffer[128];
  detect_(buffer, sizeof buffer);  // the log is open now, so this call is logged

  std::string log = Log();
  std::string pluginDir = dir_.Dir();
  EXPECT_EQ(CountOf(log, "LoadConfig: PluginDir=[" + pluginDir + "]"), 2u) << log;
  EXPECT_NE(log.find("LoadConfig: IniPath=[" + pluginDir + "pelorin.ini]"), std::string::npos);
  size_t first = log.find("LoadConfig: StartMode=2D");
  size_t second = log.find("LoadConfig: StartMode=3D");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_NE(log.find("ListSetDefaultParams: TC-IniPath=C:\\host\\wincmd.ini PluginDir=" + pluginDir + "\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("ListSetDefaultParams: dps=nil PluginDir=" + pluginDir + "\r\n"), std::string::npos);
  EXPECT_NE(log.find("ListGetDetectString \xE2\x86\x92 " + kDetect + "\r\n"), std::string::npos);
}

TEST_F(PluginTest, LogAppendsAcrossLibraryLoadsAndClosesOncePerUnload) {
  for (int i = 0; i < 2; ++i) {
    Load();
    defaults_(nullptr);
    Unload();
  }
  std::string log = Log();
  EXPECT_EQ(log.rfind("\r\n" + std::string(64, '=') + "\r\n", 0), 0u);
  EXPECT_EQ(CountOf(log, "  Pelorin WLX Plugin \xE2\x80\x93 log opened\r\n"), 2u) << log;
  EXPECT_EQ(CountOf(log, "  Log closed.\r\n"), 2u) << log;
  EXPECT_EQ(log.substr(log.size() - 15), "  Log closed.\r\n");
}

TEST_F(PluginTest, LoggingOffWritesNoFile) {
  WriteIni("[Pelorin]\r\nOBabelPath=C:\\none\\obabel.exe\r\nLogging=0\r\n");
  Load();
  SetDefaults("C:\\host\\wincmd.ini");
  Unload();
  EXPECT_FALSE(std::filesystem::exists(dir_.File("pelorindebug.log")));
}
