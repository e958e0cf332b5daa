// What the viewer window does with input and how it describes itself, as plain functions
// over plain values, so the window procedure stays a thin dispatcher.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/uRecordIndex.h"
#include "formats/uRecordSearch.h"
#include "formats/uSDFData.h"
#include "render/uViewValues.h"
#include "support/uConfig.h"

namespace pelorin {

inline constexpr int32_t kNavBarHeight = 28;
inline constexpr int32_t kMinDrawHeight = 29;
inline constexpr float kWheelZoomFactor = 1.15f;
inline constexpr float kMinZoom = 0.05f;
inline constexpr float kMaxZoom2D = 200.0f;
inline constexpr float kMaxZoom3D = 50.0f;
inline constexpr float kDegreesPerPixel = 0.5f;

// 2D becomes 3D and 3D 2D (T and the navigation bar's button).
TViewMode ToggledMode(TViewMode mode);

// One wheel notch: forward multiplies by 1.15, back divides, then the zoom is clamped.
float WheelZoom(float zoom, int delta, float maxZoom);

// The toggle button of the navigation bar, in client coordinates for client height h.
bool HitsToggleButton(int x, int y, int clientHeight);

// A drag step: rotation in 3D, pan in scene units in 2D (fitted to width x height of
// the drawing area and the scene's view box).
void ApplyDrag(TViewValues& view, TViewMode mode, int dx, int dy, int width, int height, float viewBoxWidth,
               float viewBoxHeight);

// R and double-click: zoom, pan and rotation back to their start values.
void ResetView(TViewValues& view);
// After a finished load: zoom and pan reset; a rotation of exactly 0 gets its start value.
void ResetViewAfterLoad(TViewValues& view);

// Record navigation; returns the new index (unchanged at either end or for one record).
int32_t PreviousRecord(int32_t index, int32_t count);
int32_t NextRecord(int32_t index, int32_t count);
// The host's percent position: the record at that share of `count`, 0 the first and 100 the last
// (rounded to the nearest); a share beyond either end goes to that end.
int32_t RecordAtPercent(int percent, int32_t count);
// The record converted in the background once the shown one is drawn: the next one in the
// direction of the last step (+1 forward, -1 back); -1 when there is none that way.
int32_t PrefetchRecord(int32_t index, int32_t count, int32_t direction);

// What the status line of the navigation bar tells: the window's state, by name.
struct TNavBarStatus {
  TViewMode Mode = TViewMode::k2D;
  bool Loading = false;
  int32_t ShownRecord = 0;  // 0-based
  int32_t RecordCount = 1;  // known so far
  bool CountFinal = true;   // false while the records are still being counted
  bool ShowHeadings = true;
  std::string Title;       // the record's title: shown after the count
  std::string Notice;      // a search's progress or "Not found": shown instead of the title
  bool HasFields = false;  // the record has data fields: the D key is told
  bool ShowFields = true;
  std::string RecordWord = "Molecule";  // what a record is called: RecordWordOf (formats/uMolFormat)
};
// The status line of the navigation bar. While the records are still being counted the count
// shows as the records known so far, followed by "...".
std::string NavBarStatusText(const TNavBarStatus& status);
// Titles in the status line are cut to this many characters.
inline constexpr size_t kStatusTitleChars = 48;
// The window's message while a load runs: after the first second it counts the seconds and
// says how to stop the wait (T, and the arrows where there are records to step to).
std::string LoadingMessage(uint64_t elapsedMs, bool hasRecords);
// The caption of the 2D/3D toggle button.
std::string ToggleButtonText(TViewMode mode);

// What the converter gets for record `index` while the pass that counts the records runs.
enum class TRecordSource : uint8_t {
  kWait,       // not known yet: the pass is still counting
  kRecord,     // the record alone, through a temporary file
  kWholeFile,  // the file itself: an SDF without records, a file drawn as one grid (DrawnAsOneGrid)
  kMissing,    // the pass ended without it (failed, or the file has fewer records)
};
TRecordSource ChooseRecordSource(TRecordRule rule, size_t index, size_t known, TRecordIndexState pass);
// The records the window steps through, from the records known: at least 1, a file drawn as one
// grid (a SMILES file of up to kGridMaxLines lines) counting as one picture.
int32_t SteppedRecordCount(TRecordRule rule, size_t known);

// The host's display parameters: ListLoad's ShowFlags and the parameter of its "new display
// parameters" command. Only the dark-mode bits matter here, and the one bit only ListLoad carries.
inline constexpr int kParamForceShow = 16;        // ListLoad only: the user asked for this viewer
inline constexpr int kParamDarkMode = 128;        // the host's interface is dark
inline constexpr int kParamDarkModeNative = 256;  // the system draws dark controls itself
// Whether the host's "new display parameters" command opens the options dialog. The host sends
// it when the user changes a lister option, and also when its interface switches between light
// and dark by itself: a parameter that differs from the previous one in the dark-mode bits only
// opens nothing. Any other command, one with an unchanged parameter included, is the user's. A
// bit that only ListLoad's flags carry (kParamForceShow) is no difference.
bool NewParamsOpenOptions(int previousParameter, int parameter);

// The data fields panel beside the drawing: its width in a window of `clientWidth` pixels, 0 when
// the window is too narrow to spare one.
inline constexpr int32_t kFieldsPanelMinWindow = 360;
int32_t FieldsPanelWidth(int32_t clientWidth);
// One row of the panel: an item's name, its value (the value's lines joined by blanks), or the
// "+N more" line for the items that do not fit.
struct TPanelRow {
  enum class TKind : uint8_t { kName, kValue, kMore };
  TKind Kind = TKind::kName;
  std::string Text;
  size_t Item = 0;  // the data item the row shows (kMore: the first one left out)
};
// The rows of at most `maxRows` lines: every item as its name and value while all fit, else as
// many as fit beside a "+N more" line. `marked` (an item index, or SIZE_MAX for none) is among
// those shown: the items shown end with it when it would not fit otherwise.
std::vector<TPanelRow> FieldsPanelRows(const std::vector<TDataItem>& items, size_t maxRows, size_t marked = SIZE_MAX);
// How many characters of a text fit into `maxWidth` with an ellipsis of `ellipsisWidth` after
// them, given `ends`, the width of the text up to and including each character: SIZE_MAX when
// the whole text fits without one.
size_t CharsBeforeEllipsis(const std::vector<int>& ends, int ellipsisWidth, int maxWidth);

// The host's search flags (ListSearchText's SearchParameter).
inline constexpr int kSearchFindFirst = 1;  // from the first record (the last, backwards)
inline constexpr int kSearchMatchCase = 2;
inline constexpr int kSearchWholeWords = 4;
inline constexpr int kSearchBackwards = 8;
// Where a search of the host's begins: the record after the shown one (before it, backwards),
// or with kSearchFindFirst the first (the last: SIZE_MAX, which the search takes for the last
// record). None when there is nothing that way.
struct TSearchStart {
  bool Possible = false;
  size_t From = 0;
};
TSearchStart SearchStartOf(int flags, int32_t shown);
// The nearer of two hits in the direction of the search (either may be absent).
const TSearchHit* NearerHit(const TSearchHit* a, const TSearchHit* b, bool backwards);
// The navigation bar's notice while a search has taken longer than a second.
std::string SearchProgressNotice(uint64_t done, uint64_t total);

// Whether the viewer takes a key from the host (virtual-key code and the modifiers held):
// the arrows, D, G, H, R, S and T without Ctrl or Alt, and Ctrl+C. Everything else, every other
// key with Ctrl or Alt included, belongs to the host (its menus and shortcuts).
bool ViewerTakesKey(int virtualKey, bool ctrl, bool alt);

}  // namespace pelorin
