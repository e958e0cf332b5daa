// The plugin's settings: defaults, pelorin.ini, and where obabel.exe is looked for.
#include "uConfig.h"

#include <cstdlib>

#include "uDebugLog.h"
#include "uFileIO.h"
#include "uIniFile.h"
#include "uText.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace pelorin {

TPelorinConfig Config;
std::string PluginDir;
std::string IniPath;

namespace {

#ifdef _WIN32
constexpr char kSep = '\\';
#else
constexpr char kSep = '/';
#endif

const char* const kOBabelCandidates[] = {
    "C:\\Program Files\\OpenBabel-3.1.1\\obabel.exe",
    "C:\\Program Files\\OpenBabel\\obabel.exe",
    "C:\\Program Files (x86)\\OpenBabel-3.1.1\\obabel.exe",
    "C:\\Program Files (x86)\\OpenBabel\\obabel.exe",
    "C:\\OpenBabel\\obabel.exe",
    "obabel.exe",
};

std::string WithTrailingSeparator(std::string dir) {
  if (!dir.empty() && dir.back() != kSep) dir += kSep;
  return dir;
}

// Directory of the module that holds this code (the plugin DLL, or a test program).
std::string OwnModuleDirectory() {
#ifdef _WIN32
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&OwnModuleDirectory), &module);
  char path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
  std::string full(path, n);
#else
  std::string full = "./";
#endif
  size_t cut = full.find_last_of(kSep);
  return cut == std::string::npos ? std::string() : full.substr(0, cut + 1);
}

TPelorinConfig DefaultConfig() {
  TPelorinConfig c;
  c.OBabelPath = FindOBabel();
  c.CmdLine2D = kDefaultCmdLine2D;
  c.CmdLine3D = kDefaultCmdLine3D;
  c.OBabelOpts = kDefaultOBabelOpts;
  c.StartMode = 1;
  c.TempDir = SystemTempDir();
  c.Logging = true;
  return c;
}

void ReadIniInto(const TIniDocument& ini, TPelorinConfig& c) {
  c.OBabelPath = ini.ReadString(kIniSection, "OBabelPath", c.OBabelPath);
  c.CmdLine2D = ini.ReadString(kIniSection, "CmdLine2D", c.CmdLine2D);
  c.CmdLine3D = ini.ReadString(kIniSection, "CmdLine3D", c.CmdLine3D);
  c.OBabelOpts = ini.ReadString(kIniSection, "OBabelOpts", c.OBabelOpts);
  c.StartMode = ParseStartMode(ini.ReadString(kIniSection, "StartMode", "3D"));
  auto logging = ini.Read(kIniSection, "Logging");
  c.Logging = logging ? ParseLoggingValue(*logging) : true;
}

void LogConfig(const TPelorinConfig& c) {
  DebugLogFmt("LoadConfig: PluginDir=[%s]", PluginDir.c_str());
  DebugLogFmt("LoadConfig: IniPath=[%s]", IniPath.c_str());
  DebugLogFmt("LoadConfig: OBabelPath=[%s]", c.OBabelPath.c_str());
  DebugLogFmt("LoadConfig: CmdLine2D=[%s]", c.CmdLine2D.c_str());
  DebugLogFmt("LoadConfig: CmdLine3D=[%s]", c.CmdLine3D.c_str());
  DebugLogFmt("LoadConfig: OBabelOpts=[%s]", c.OBabelOpts.c_str());
  DebugLogFmt("LoadConfig: StartMode=%s", StartModeToText(c.StartMode).c_str());
  DebugLogFmt("LoadConfig: TempDir=[%s]", c.TempDir.c_str());
}

}  // namespace

std::mutex& ConfigMutex() {
  static std::mutex* m = new std::mutex;  // outlives every thread, even during unload
  return *m;
}

std::recursive_mutex& ConfigLoadMutex() {
  static std::recursive_mutex* m = new std::recursive_mutex;
  return *m;
}

TPelorinConfig ConfigSnapshot() {
  std::lock_guard<std::mutex> guard(ConfigMutex());
  return Config;
}

void StoreConfig(const TPelorinConfig& config) {
  std::lock_guard<std::mutex> guard(ConfigMutex());
  Config = config;
}

int32_t ParseStartMode(std::string_view text) {
  return LowerAscii(TrimView(text)) == "3d" ? 1 : 0;
}

std::string StartModeToText(int32_t mode) {
  return mode == 1 ? "3D" : "2D";
}

bool ParseLoggingValue(std::string_view text) {
  return text.empty() || text.front() == '1';
}

std::string SystemTempDir() {
#ifdef _WIN32
  char buffer[MAX_PATH + 1] = {};
  DWORD n = GetTempPathA(MAX_PATH, buffer);
  return WithTrailingSeparator(std::string(buffer, n <= MAX_PATH ? n : 0));
#else
  const char* dir = std::getenv("TMPDIR");
  return WithTrailingSeparator(dir && *dir ? dir : "/tmp");
#endif
}

bool SearchPathFinds(const std::string& fileName) {
#ifdef _WIN32
  char found[MAX_PATH + 1] = {};
  DWORD n = SearchPathA(nullptr, fileName.c_str(), nullptr, MAX_PATH, found, nullptr);
  return n > 0 && n <= MAX_PATH;
#else
  const char* path = std::getenv("PATH");
  for (const std::string& dir : SplitWhite(ReplaceAll(path ? path : "", ':', ' ')))
    if (FileExists(WithTrailingSeparator(dir) + fileName)) return true;
  return false;
#endif
}

std::string FindOBabel() {
  if (!PluginDir.empty()) {
    for (const std::string& place : {PluginDir + "obabel.exe", PluginDir + "obabel" + kSep + "obabel.exe"})
      if (FileExists(place)) return place;
  }
  for (const char* candidate : kOBabelCandidates) {
    std::string c = candidate;
    bool found = c.find('\\') != std::string::npos ? FileExists(c) : SearchPathFinds(c);
    if (found) return c;
  }
  return {};
}

void LoadConfig() {
  std::lock_guard<std::recursive_mutex> loading(ConfigLoadMutex());
  if (PluginDir.empty()) PluginDir = OwnModuleDirectory();
  if (IniPath.empty()) IniPath = PluginDir + "pelorin.ini";
  TPelorinConfig loaded = DefaultConfig();
  ReadIniInto(LoadIniFile(IniPath), loaded);
  StoreConfig(loaded);
  DebugLogSetup(PluginDir, loaded.Logging);
  LogConfig(loaded);
}

bool SaveConfig(std::string& error) {
  std::lock_guard<std::recursive_mutex> loading(ConfigLoadMutex());
  if (IniPath.empty()) IniPath = PluginDir + "pelorin.ini";
  TPelorinConfig c = ConfigSnapshot();
  // An ini file that exists but cannot be read is not rewritten: that would drop the
  // sections and keys of other programs.
  auto existing = ReadWholeFile(IniPath);
  if (!existing && FileExists(IniPath)) {
    error = "cannot read " + IniPath;
    return false;
  }
  TIniDocument ini(existing ? *existing : std::string());
  ini.Write(kIniSection, "OBabelPath", c.OBabelPath);
  ini.Write(kIniSection, "CmdLine2D", c.CmdLine2D);
  ini.Write(kIniSection, "CmdLine3D", c.CmdLine3D);
  ini.Write(kIniSection, "OBabelOpts", c.OBabelOpts);
  ini.Write(kIniSection, "StartMode", StartModeToText(c.StartMode));
  ini.Write(kIniSection, "Logging", c.Logging ? "1" : "0");
  return ReplaceFileContents(IniPath, ini.Text(), error);
}

}  // namespace pelorin
