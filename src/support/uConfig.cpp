// The plugin's settings: defaults, pelorin.ini, and where obabel.exe is looked for.
#include "uConfig.h"

#include <algorithm>
#include <atomic>
#include <cctype>
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
std::string HostIniDir;

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
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&OwnModuleDirectory), &module);
  wchar_t path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring full(path, n <= MAX_PATH ? n : 0);
  return FileNameToAnsi(full.substr(0, full.find_last_of(L'\\') + 1).c_str());
#else
  return "./";
#endif
}

#ifdef _WIN32
constexpr char kListSep = ';';
#else
constexpr char kListSep = ':';
#endif

// The PATH variable as UTF-8 (on Windows read in UTF-16, so no folder name is lost).
std::string PathVariableUtf8() {
#ifdef _WIN32
  DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  std::wstring value(size, L'\0');
  DWORD n = size ? GetEnvironmentVariableW(L"PATH", value.data(), size) : 0;
  if (n == 0 || n >= size) return {};
  return Utf16ToUtf8(std::u16string(value.begin(), value.begin() + n));
#else
  const char* value = std::getenv("PATH");
  return value ? value : "";
#endif
}

// The 8-bit path of `fileName` in `dir` when it is a file there, else empty.
std::string FileInDirectory(const std::string& dirUtf8, const std::string& fileName) {
#ifdef _WIN32
  bool separated = dirUtf8.back() == '\\' || dirUtf8.back() == '/';
  std::u16string dir = Utf8ToUtf16(separated ? dirUtf8 : dirUtf8 + '\\');
  std::wstring candidate = std::wstring(dir.begin(), dir.end()) + AnsiToWide(fileName);
  DWORD attributes = GetFileAttributesW(candidate.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
  // A folder that the code page cannot represent and that has no short name is of no use
  // to the 8-bit process start.
  std::string path = FileNameToAnsi(candidate.c_str());
#else
  std::string path = WithTrailingSeparator(dirUtf8) + fileName;
#endif
  return FileExists(path) ? path : std::string();
}

TPelorinConfig DefaultConfig() {
  TPelorinConfig c;
  c.OBabelPath = FindOBabel();
  c.CmdLine2D = kDefaultCmdLine2D;
  c.CmdLine3D = kDefaultCmdLine3D;
  c.OBabelOpts = kDefaultOBabelOpts;
  c.StartMode = TViewMode::k3D;
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
  c.ThumbnailTimeoutMs = ParseThumbnailTimeout(ini.ReadString(kIniSection, "ThumbnailTimeout", ""));
  c.Model3D = ParseModel3D(ini.ReadString(kIniSection, "Model3D", ""));
  c.MaxSurfaceAtoms = ParseAtomLimit(ini.ReadString(kIniSection, "MaxSurfaceAtoms", ""), kDefaultMaxSurfaceAtoms);
  c.MaxThumbnail2DAtoms =
      ParseAtomLimit(ini.ReadString(kIniSection, "MaxThumbnail2DAtoms", ""), kDefaultMaxThumbnail2DAtoms);
  c.ShowFields = ParseShowFields(ini.ReadString(kIniSection, "ShowFields", ""));
  c.DepthCue = ParseDepthCueValue(ini.ReadString(kIniSection, "DepthCue", ""));
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
  DebugLogFmt("LoadConfig: ThumbnailTimeout=%u ms", c.ThumbnailTimeoutMs);
  DebugLogFmt("LoadConfig: Model3D=%s MaxSurfaceAtoms=%d MaxThumbnail2DAtoms=%d", Model3DToText(c.Model3D).c_str(),
              c.MaxSurfaceAtoms, c.MaxThumbnail2DAtoms);
  DebugLogFmt("LoadConfig: DepthCue=%d", c.DepthCue ? 1 : 0);
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

namespace {
std::atomic<uint64_t> gConfigGeneration{1};
}  // namespace

void StoreConfig(const TPelorinConfig& config) {
  std::lock_guard<std::mutex> guard(ConfigMutex());
  Config = config;
  ++gConfigGeneration;
}

uint64_t ConfigGeneration() {
  return gConfigGeneration.load();
}

TViewMode ParseStartMode(std::string_view text) {
  return LowerAscii(TrimView(text)) == "3d" ? TViewMode::k3D : TViewMode::k2D;
}

std::string StartModeToText(TViewMode mode) {
  return mode == TViewMode::k3D ? "3D" : "2D";
}

std::string ViewModeText(TViewMode mode) {
  return StartModeToText(mode);  // the same words: a start mode is a view mode
}

uint32_t ParseThumbnailTimeout(std::string_view text) {
  text = TrimView(text);
  uint64_t value = 0;
  size_t digits = 0;
  for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits)
    if (value < kMaxThumbnailTimeoutMs) value = value * 10 + static_cast<unsigned>(text[digits] - '0');
  if (digits == 0 || digits != text.size()) return kDefaultThumbnailTimeoutMs;
  return static_cast<uint32_t>(std::clamp<uint64_t>(value, kMinThumbnailTimeoutMs, kMaxThumbnailTimeoutMs));
}

TModel3D ParseModel3D(std::string_view text) {
  const std::string word = LowerAscii(TrimView(text));
  if (word == "surface") return TModel3D::Surface;
  if (word == "atoms") return TModel3D::Atoms;
  return TModel3D::Auto;
}

std::string Model3DToText(TModel3D model) {
  switch (model) {
    case TModel3D::Surface:
      return "Surface";
    case TModel3D::Atoms:
      return "Atoms";
    default:
      return "Auto";
  }
}

int32_t ParseAtomLimit(std::string_view text, int32_t fallback) {
  text = TrimView(text);
  int64_t value = 0;
  size_t digits = 0;
  for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits)
    if (value <= kMaxAtomLimitValue) value = value * 10 + (text[digits] - '0');
  if (digits == 0 || digits != text.size()) return fallback;
  return static_cast<int32_t>(std::min<int64_t>(value, kMaxAtomLimitValue));
}

bool ParseLoggingValue(std::string_view text) {
  return text.empty() || text.front() == '1';
}

bool ParseDepthCueValue(std::string_view text) {
  return TrimView(text) != "0";
}

bool IsAbsolutePath(std::string_view path) {
#ifdef _WIN32
  auto isSlash = [](char c) { return c == '\\' || c == '/'; };
  bool drive =
      path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && isSlash(path[2]);
  bool unc = path.size() >= 3 && isSlash(path[0]) && isSlash(path[1]) && !isSlash(path[2]);
  return drive || unc;
#else
  return !path.empty() && path.front() == '/';
#endif
}

std::vector<std::string> AbsoluteSearchDirs(std::string_view pathVariable) {
  std::vector<std::string> dirs;
  size_t start = 0;
  while (start <= pathVariable.size()) {
    size_t end = std::min(pathVariable.find(kListSep, start), pathVariable.size());
    std::string entry = Trim(pathVariable.substr(start, end - start));
    if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') entry = entry.substr(1, entry.size() - 2);
    if (IsAbsolutePath(entry)) dirs.push_back(entry);
    start = end + 1;
  }
  return dirs;
}

std::string SystemTempDir() {
#ifdef _WIN32
  wchar_t buffer[MAX_PATH + 2] = {};
  DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  return WithTrailingSeparator(FileNameToAnsi(n <= MAX_PATH + 1 ? buffer : L""));
#else
  const char* dir = std::getenv("TMPDIR");
  return WithTrailingSeparator(dir && *dir ? dir : "/tmp");
#endif
}

std::string FindOnSearchPath(const std::string& fileName) {
  for (const std::string& dir : AbsoluteSearchDirs(PathVariableUtf8())) {
    std::string path = FileInDirectory(dir, fileName);
    if (!path.empty()) return path;
  }
  return {};
}

std::string FindOBabel() {
  if (!PluginDir.empty()) {
    for (const std::string& place : {PluginDir + "obabel.exe", PluginDir + "obabel" + kSep + "obabel.exe"})
      if (FileExists(place)) return place;
  }
  for (const char* candidate : kOBabelCandidates) {
    std::string c = candidate;
    bool found = c.find('\\') != std::string::npos ? FileExists(c) : !FindOnSearchPath(c).empty();
    if (found) return c;
  }
  return {};
}

void SetHostIniName(const std::string& defaultIniName) {
  std::lock_guard<std::recursive_mutex> loading(ConfigLoadMutex());
  size_t slash = defaultIniName.find_last_of("\\/");
  HostIniDir = slash == std::string::npos ? std::string() : defaultIniName.substr(0, slash + 1);
}

std::string SettingsDir() {
  std::lock_guard<std::recursive_mutex> loading(ConfigLoadMutex());
  if (PluginDir.empty()) PluginDir = OwnModuleDirectory();
  if (!HostIniDir.empty() && (FileExists(HostIniDir + "pelorin.ini") || !CanCreateFileIn(PluginDir))) return HostIniDir;
  return PluginDir;
}

void LoadConfig() {
  std::lock_guard<std::recursive_mutex> loading(ConfigLoadMutex());
  if (PluginDir.empty()) PluginDir = OwnModuleDirectory();
  const std::string settingsDir = SettingsDir();
  if (settingsDir != PluginDir && FileExists(settingsDir + "pelorin.ini"))
    IniPath = settingsDir + "pelorin.ini";
  else if (IniPath.empty())
    IniPath = PluginDir + "pelorin.ini";
  TPelorinConfig loaded = DefaultConfig();
  ReadIniInto(LoadIniFile(IniPath), loaded);
  StoreConfig(loaded);
  DebugLogSetup(settingsDir, loaded.Logging);
  LogConfig(loaded);
}

namespace {

// Rewrites SettingsDir's pelorin.ini (IniPath while that is in the plugin's folder) with the keys
// `write` sets, keeping everything else IniPath holds; IniPath then names the file written.
template <typename TWriteKeys>
bool RewriteIni(std::string& error, TWriteKeys write) {
  std::lock_guard<std::recursive_mutex> loading(ConfigLoadMutex());
  if (IniPath.empty()) IniPath = PluginDir + "pelorin.ini";
  const std::string settingsDir = SettingsDir();
  const std::string target = settingsDir == PluginDir ? IniPath : settingsDir + "pelorin.ini";
  const std::string source = FileExists(target) ? target : IniPath;
  // An ini file that exists but cannot be read is not rewritten: that would drop the
  // sections and keys of other programs.
  auto existing = ReadWholeFile(source);
  if (!existing && FileExists(source)) {
    error = "cannot read " + source;
    return false;
  }
  TIniDocument ini(existing ? *existing : std::string());
  write(ini);
  if (!ReplaceFileContents(target, ini.Text(), error)) return false;
  IniPath = target;
  return true;
}

}  // namespace

bool SaveConfig(std::string& error) {
  const TPelorinConfig c = ConfigSnapshot();
  return RewriteIni(error, [&c](TIniDocument& ini) {
    ini.Write(kIniSection, "OBabelPath", c.OBabelPath);
    ini.Write(kIniSection, "CmdLine2D", c.CmdLine2D);
    ini.Write(kIniSection, "CmdLine3D", c.CmdLine3D);
    ini.Write(kIniSection, "OBabelOpts", c.OBabelOpts);
    ini.Write(kIniSection, "StartMode", StartModeToText(c.StartMode));
    ini.Write(kIniSection, "Logging", c.Logging ? "1" : "0");
    ini.Write(kIniSection, "Model3D", Model3DToText(c.Model3D));
  });
}

bool SaveShowFields(bool show, std::string& error) {
  {
    std::lock_guard<std::mutex> guard(ConfigMutex());
    Config.ShowFields = show;
  }
  return RewriteIni(error, [show](TIniDocument& ini) { ini.Write(kIniSection, "ShowFields", show ? "1" : "0"); });
}

bool ParseShowFields(std::string_view text) {
  return TrimView(text) != "0";
}

}  // namespace pelorin
