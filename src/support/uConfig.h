// The plugin's settings: one global record filled from pelorin.ini, and the path globals.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

// What a viewer window shows: the converter's 2D drawing or a 3D model of the molecule.
enum class TViewMode : int32_t { k2D = 0, k3D = 1 };

// Which 3D model the viewer draws: the converter's surface up to MaxSurfaceAtoms atoms and
// spheres above (Auto), or always the one named.
enum class TModel3D : int32_t { Auto = 0, Surface = 1, Atoms = 2 };

inline constexpr int32_t kDefaultMaxSurfaceAtoms = 80;
inline constexpr int32_t kDefaultMaxThumbnail2DAtoms = 150;
// Atom counts in the ini file are clamped to 0..this.
inline constexpr int32_t kMaxAtomLimitValue = 1000000;

struct TPelorinConfig {
  std::string OBabelPath;
  std::string CmdLine2D;
  std::string CmdLine3D;
  std::string OBabelOpts;
  TViewMode StartMode = TViewMode::k2D;  // of a newly opened file
  std::string TempDir;                   // ends in the path separator; never stored in the ini file
  bool Logging = false;
  // A thumbnail is drawn on the host's own thread: its one converter run gets this long.
  uint32_t ThumbnailTimeoutMs = 4000;
  TModel3D Model3D = TModel3D::Auto;
  // Auto draws the surface of records with up to this many atoms (its working set grows by
  // about 6.4 MB an atom: 80 atoms stay within about 512 MB) and atoms above.
  int32_t MaxSurfaceAtoms = kDefaultMaxSurfaceAtoms;
  // Thumbnails of records with more atoms show the atoms instead of the 2D drawing, which
  // takes the converter long on large molecules and shows little in a thumbnail.
  int32_t MaxThumbnail2DAtoms = kDefaultMaxThumbnail2DAtoms;
  // The data fields panel beside the drawing (the D key switches it and saves the choice).
  bool ShowFields = true;
  // Large atom models fade towards the background with depth; the DepthCue key turns it off.
  bool DepthCue = true;
};

// The one configuration. Written only on the host's thread; load threads must not read
// it directly but take a ConfigSnapshot, since the options dialog may replace its strings.
extern TPelorinConfig Config;
extern std::string PluginDir;  // directory of the plugin library, ending in the separator
extern std::string IniPath;    // the pelorin.ini read last: SettingsDir's, or PluginDir's
// Folder of the host's own settings file (ListSetDefaultParams' DefaultIniName), ending in
// the separator; empty while the host has not named one.
extern std::string HostIniDir;

// Guards Config while it is replaced or copied.
std::mutex& ConfigMutex();
// Serialises whole configuration loads (a thumbnail on one thread, ListSetDefaultParams
// on another). Recursive, so EnsureConfigLoaded may hold it around LoadConfig.
std::recursive_mutex& ConfigLoadMutex();

// A consistent copy of Config for one conversion.
TPelorinConfig ConfigSnapshot();
// Replaces Config as a whole (the options dialog's changes).
void StoreConfig(const TPelorinConfig& config);
// Counts the replacements of Config: what was made under one generation of the settings (a
// conversion's result) may differ from what another would make.
uint64_t ConfigGeneration();

inline constexpr const char* kIniSection = "Pelorin";
inline constexpr const char* kDefaultCmdLine2D = "-O tempfile.svg --gen2d";
inline constexpr const char* kDefaultCmdLine3D = "-O tempfile.stl --gen3d";
inline constexpr const char* kDefaultOBabelOpts = "-xC";

// StartMode key: "3d" (trimmed, any case) gives 3D; anything else 2D.
TViewMode ParseStartMode(std::string_view text);
// The StartMode key's text: "2D" or "3D" (any value but 3D writes "2D").
std::string StartModeToText(TViewMode mode);
// "2D" or "3D": the view mode as the log, the converter's log lines and the navigation bar name it.
std::string ViewModeText(TViewMode mode);
// Logging key: empty keeps the default (on); otherwise on exactly when it starts with "1".
bool ParseLoggingValue(std::string_view text);
// DepthCue key: "0" (trimmed) turns the depth cue off; anything else keeps it on.
bool ParseDepthCueValue(std::string_view text);
inline constexpr uint32_t kDefaultThumbnailTimeoutMs = 4000;
inline constexpr uint32_t kMinThumbnailTimeoutMs = 500;
inline constexpr uint32_t kMaxThumbnailTimeoutMs = 30000;
// ThumbnailTimeout key in milliseconds, clamped to 500..30000; not a number keeps 4000.
uint32_t ParseThumbnailTimeout(std::string_view text);

// Model3D key: "Surface" or "Atoms" (trimmed, any case); anything else is Auto.
TModel3D ParseModel3D(std::string_view text);
std::string Model3DToText(TModel3D model);
// An atom count key (MaxSurfaceAtoms, MaxThumbnail2DAtoms): digits only, clamped to
// 0..kMaxAtomLimitValue; anything else keeps `fallback`.
int32_t ParseAtomLimit(std::string_view text, int32_t fallback);

// Takes HostIniDir from the host's settings file name (its folder; empty for an empty name).
void SetHostIniName(const std::string& defaultIniName);
// Where settings are saved and the log is written: HostIniDir once a pelorin.ini is there
// or when the plugin's folder cannot be written to (an installation under Program Files),
// otherwise PluginDir.
std::string SettingsDir();

// Fills PluginDir/IniPath if empty, sets the defaults, reads the ini file (SettingsDir's
// pelorin.ini when there is one), switches the debug log and logs the result.
void LoadConfig();
// Writes the seven keys of Config the options dialog edits (Model3D among them) to SettingsDir's pelorin.ini (IniPath
// while that is in the plugin's folder), keeping everything else IniPath holds; IniPath then names the file written.
// Returns false with a reason when the file cannot be written.
[[nodiscard]] bool SaveConfig(std::string& error);
// The D key's choice: sets ShowFields without counting a new generation of the settings (nothing
// converted changes) and writes only that key to the ini file SaveConfig would write. Returns
// false with a reason when the file cannot be written; the choice then holds until the next load.
[[nodiscard]] bool SaveShowFields(bool show, std::string& error);
// ShowFields key: "0" (trimmed) hides the panel; anything else, a missing key included, shows it.
bool ParseShowFields(std::string_view text);
// First place where obabel.exe is found, or empty.
std::string FindOBabel();

// True for a path that names the same place whatever the current directory: on Windows
// "X:\..." or "X:/..." and "\\server\share...", elsewhere "/...".
bool IsAbsolutePath(std::string_view path);
// The folders of a search-path variable (PATH) that do not depend on the current
// directory, in order, without enclosing quotes; empty and relative entries are left out.
std::vector<std::string> AbsoluteSearchDirs(std::string_view pathVariable);

// Platform queries used by the configuration.
// The temporary folder, ending in the separator; on Windows as an 8-bit path that the
// code page can represent (the short form where the long one has other characters).
std::string SystemTempDir();
// Full path of `fileName` in the first folder of AbsoluteSearchDirs(PATH) that holds it
// as a file, or empty. Unlike the platform's search, neither the current directory nor
// the program's own folder is looked in: a file manager's current directory is the
// folder being browsed, and any program placed there would be run.
std::string FindOnSearchPath(const std::string& fileName);

}  // namespace pelorin
